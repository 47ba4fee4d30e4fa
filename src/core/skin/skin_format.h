#pragma once
// The EZX skin container: a text header that points at a binary directory,
// a name area of line-feed-terminated names, and one data block per picture.
// The reader here validates a whole skin before anyone writes a byte from it,
// so the unpack and `info` share one idea of what a sound skin is.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "image/picture_convert.h"
#include "platform/binary_file.h"

namespace resmill::skin {

/// Length of the header text; the name area starts right after it.
inline constexpr std::uint32_t kHeaderSize = 55;
/// Where the directory offset stands in the header, as eight hexadecimal digits.
inline constexpr std::uint32_t kDirectoryOffsetField = 16;
inline constexpr std::uint32_t kDirectoryMagic = 0xABCDDCBAu;
inline constexpr std::uint32_t kDataMagic = 0xDCBAABCDu;
/// Size of the fixed part of the directory (magic, name area, count, entry table, data area).
inline constexpr std::uint32_t kDirectoryHeadSize = 20;
inline constexpr std::uint32_t kEntrySize = 12;
/// Size of a data block's head (magic, length).
inline constexpr std::uint32_t kDataHeadSize = 8;
/// Fields of the directory's head after its magic, from the directory offset.
inline constexpr std::uint32_t kHeadNameArea = 4;
inline constexpr std::uint32_t kHeadCount = 8;
inline constexpr std::uint32_t kHeadEntryTable = 12;
inline constexpr std::uint32_t kHeadDataArea = 16;
/// Fields of a skin entry.
inline constexpr std::uint32_t kEntryHash = 0;
inline constexpr std::uint32_t kEntryName = 4;
inline constexpr std::uint32_t kEntryData = 8;
/// The picture's length in a data block, after the block's magic.
inline constexpr std::uint32_t kBlockLength = 4;

/// The most entries a skin may hold.
inline constexpr std::uint32_t kMaxEntries = 65536;
/// The longest picture a skin may hold.
inline constexpr std::uint32_t kMaxPictureLength = 1u << 20;
/// How far the reader looks for the line feed that ends a name.
inline constexpr std::uint32_t kNameReadLength = 100;
/// The longest name the pack accepts (a file-name component).
inline constexpr std::size_t kMaxPackedNameLength = 255;

/// The 55-byte header text with `directoryOffset` as eight lower-case hexadecimal digits at offset 16.
std::string HeaderTextFor(std::uint32_t directoryOffset);

/// h := ((h << 1) ^ (h >> 20)) ^ c over the name's bytes, on 32-bit unsigned values.
std::uint32_t SkinNameHash(std::string_view name);

/// Why a skin name cannot be used as a file name in the work tree; empty when it can.
/// Names are single file names: no separators, no "..", no NUL and no line feed
/// (which would end the name inside the skin).
std::string NameProblem(std::string_view name);

/// One directory entry with what it points at.
struct SkinEntry {
  std::uint32_t hash = 0;        ///< as stored
  std::uint32_t nameOffset = 0;  ///< from the name area offset
  std::uint32_t dataOffset = 0;  ///< from the data area offset
  std::string name;              ///< bytes before the first line feed
  std::int64_t nameAt = 0;       ///< file offset of the name
  std::int64_t blockAt = 0;      ///< file offset of the data block (its magic)
  std::uint32_t blockMagic = 0;  ///< as stored (not checked: readers ignore it)
  std::uint32_t length = 0;      ///< picture length; 0 for an entry without a name
  /// File offset of the picture's first byte.
  std::int64_t DataAt() const { return blockAt + kDataHeadSize; }
};

struct SkinDirectory {
  std::int64_t fileSize = 0;
  std::uint32_t directoryOffset = 0;  ///< D, from the header text
  std::uint32_t directoryMagic = 0;   ///< as stored (not checked)
  std::uint32_t nameAreaOffset = 0;
  std::uint32_t entryTableOffset = 0;
  std::uint32_t dataAreaOffset = 0;
  std::vector<SkinEntry> entries;
};

struct ReadOptions {
  /// How many bytes a name may take, its line feed included.
  std::uint32_t nameReadLength = kNameReadLength;
  /// Refuse names that cannot be file names (the unpack needs this; `info` lists them instead).
  bool requireFileNames = true;
};

/// Reads and validates the directory, every name, and the data block head of
/// every named entry. A skin that would make the unpack read beyond the file
/// or beyond the limits is refused with a Format or Limit error naming the
/// file, the value and its offset. Entries without a name are not followed
/// to their data (the unpack skips them).
SkinDirectory ReadSkinDirectory(BinaryFile& skin, const ReadOptions& options = {});

/// Where each picture goes in a skin holding these pictures in this order: the
/// directory the pack writes, as ReadSkinDirectory reads it back. Each entry
/// brings its name and length; the rest is filled in. A skin whose offsets
/// would not fit 32 bits is refused (Limit).
SkinDirectory LayOutSkin(std::vector<SkinEntry> entries);
/// A laid-out skin's bytes before its data area: header text, names, zero bytes
/// up to the directory, the directory's head and its entry table.
std::vector<std::uint8_t> EncodeSkinHead(const SkinDirectory& dir);
/// The head of an entry's data block: its magic and the picture's length.
std::array<std::uint8_t, kDataHeadSize> EncodeDataHead(const SkinEntry& entry);


/// The kind's name as `info` prints it: "RAW", "K18", "K32", "G", "other".
std::string_view PictureKindName(image::PictureKind kind);

}  // namespace resmill::skin
