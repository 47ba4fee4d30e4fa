#pragma once
// The DRM image as the program understands it: how a file is recognised as a
// DRM, the two layout variants, the layout values read from the header, and
// descr.dat, which keeps those values beside the unpacked tree.
//
// Every value is checked against the image before anything is written from it:
// a damaged image is refused with a message naming the value and its offset.

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/binary_file.h"

namespace resmill::drm {

/// "_drm", compared byte for byte.
inline constexpr std::array<std::uint8_t, 4> kDrmMarker = {'_', 'd', 'r', 'm'};
/// Marker offsets in the order they are tried; the first two mean variant 0.
inline constexpr std::array<std::int64_t, 3> kMarkerOffsets = {468, 456, 464};
/// A big-endian word at offset 8 that marks a variant-1 DRM without a marker.
inline constexpr std::uint32_t kDrmSignature = 0x10D0001C;
inline constexpr std::int64_t kSignatureOffset = 8;

inline constexpr std::int32_t kDirCount = 16;
/// The largest tables the format's tools ever handled; larger counts mean a damaged image.
inline constexpr std::int32_t kMaxRawPictures = 8191;
inline constexpr std::int32_t kMaxGifPictures = 65534;
/// The RAW table keeps each side of a picture in one byte.
inline constexpr int kMaxRawSide = 255;

// The header. Word 0 decides where the header word (Base) stands; with the
// variant it decides slot S, which holds the GIF descriptor pointer, and the
// check slot that tells the long variant-1 header from the short one.
inline constexpr std::int64_t kHeaderWordAt = 0;          ///< word 0 not 0
inline constexpr std::int64_t kHeaderWordAtWordZero = 8;  ///< word 0 is 0
inline constexpr std::int64_t kSlotS = 44;                ///< word 0 not 0; also every short variant-1 header
inline constexpr std::int64_t kSlotSWordZeroV0 = 56;
inline constexpr std::int64_t kSlotSWordZeroV1 = 52;
inline constexpr std::int64_t kCheckSlot = 28;
inline constexpr std::int64_t kCheckSlotWordZero = 36;
/// Variant 1: the pointer table at offset 32 holds 35 words in the long form, 30 in the short one.
inline constexpr std::int64_t kHeaderPointerTable = 32;
inline constexpr std::int32_t kLongHeaderPointerCount = 35;
inline constexpr std::int32_t kShortHeaderPointerCount = 30;
/// The pointer to the resource directory stands before slot S, the end of the RAW table after it.
inline constexpr std::int64_t kDirSlotFromS = -4;
inline constexpr std::int64_t kRawTableEndSlotFromS = 4;

// The GIF descriptor G: pointers around it.
inline constexpr std::int64_t kDescriptorGifTableEnd = -12;
inline constexpr std::int64_t kDescriptorGifData = 0;
inline constexpr std::int64_t kDescriptorGifTable = 4;

// Resource directory entries (byte offsets from Dir) that point to the RAW areas.
inline constexpr std::int64_t kDirRawTable = 48;
inline constexpr std::int64_t kDirRawData = 52;

// A RAW table entry: 16 bytes, of which these fields are read and rebuilt;
// every other byte is kept.
inline constexpr std::int64_t kRawEntrySize = 16;
inline constexpr std::size_t kRawEntryWidth = 1;    ///< width in pixels, one byte
inline constexpr std::size_t kRawEntryHeight = 3;   ///< height in pixels, one byte
inline constexpr std::size_t kRawEntryOffset = 12;  ///< big-endian word: picture start from RawData, in 16-bit units

// A GIF table word is 4 bytes: offsets from GifData.
inline constexpr std::int64_t kGifEntrySize = 4;

/// Layout values (descr.dat order). All offsets are file offsets in the image.
struct DrmLayout {
  std::int32_t DrmVariant = 0;
  std::int32_t Base = 0;
  std::int32_t Dir = 0;
  std::int32_t DirCount = kDirCount;
  std::int32_t GifData = 0;
  std::int32_t GifCount = 0;
  std::int32_t GifTable = 0;
  std::int32_t GifTableEnd = 0;
  // Variant 1 only (0 for variant 0).
  std::int32_t HeaderPointerCount = 0;
  std::int32_t RawData = 0;
  std::int32_t RawCount = 0;
  std::int32_t RawTable = 0;
  std::int32_t RawTableEnd = 0;

  bool operator==(const DrmLayout&) const = default;
};

/// The tables of a DRM image, read and checked once so that the extraction
/// cannot run past the image.
struct DrmTables {
  /// RAW table entries 1 … RawCount + 1, 16 bytes each.
  std::vector<std::uint8_t> rawEntries;
  /// GIF table words 0 … GifCount + 1 (word 1 is kept but never used).
  std::vector<std::uint32_t> gifOffsets;

  /// Width and height bytes of RAW entry i (1 … RawCount + 1).
  int RawWidth(int i) const { return rawEntries[static_cast<std::size_t>(i - 1) * kRawEntrySize + kRawEntryWidth]; }
  int RawHeight(int i) const { return rawEntries[static_cast<std::size_t>(i - 1) * kRawEntrySize + kRawEntryHeight]; }
  /// Byte offset (relative to RawData) where RAW picture i ends; 0 for i = 0.
  std::int64_t RawEnd(int i) const;
};

/// Looks for the DRM marker at 468, 456, 464 (in that order), then for the
/// signature word at 8. `variant` is 1 for a marker at 464 or the signature,
/// else 0. An image too short for a position holds no marker there.
/// Only a raw dump needs the found flag; everything that reads a DRM's layout
/// takes its variant from DrmVariantOf.
bool FindDrmMarker(BinaryFile& image, std::int32_t& variant);

/// The variant a DRM image is read with, by the unpack, the compile and the
/// compile's read-back alike: FindDrmMarker's variant, whether or not a marker
/// was found. A code group 15 without marker and signature word is variant 0.
std::int32_t DrmVariantOf(BinaryFile& image);

/// Where ReadDrmLayout found the pointers it followed (file offsets of the
/// words; -1 where it did not come), so that a message can name the word
/// behind a layout value.
struct DrmLayoutSlots {
  std::int64_t headerWord = -1;
  std::int64_t checkSlot = -1;      ///< variant 1 only
  std::int64_t dir = -1;            ///< S - 4
  std::int64_t gifDescriptor = -1;  ///< S
  std::int64_t rawTableEnd = -1;    ///< S + 4, variant 1 only
  std::int64_t gifTableEnd = -1;    ///< G - 12
  std::int64_t gifData = -1;        ///< G: the GIF descriptor itself lies here
  std::int64_t gifTable = -1;       ///< G + 4
  std::int64_t rawTable = -1;       ///< Dir + 48, variant 1 only
  std::int64_t rawData = -1;        ///< Dir + 52, variant 1 only
};

/// Reads the layout values of `image` for `variant` and checks every pointer,
/// count and table bound against the image's size. Throws resmill::Error
/// (Format or Limit) naming the image, the offset and the value. `slots`, when
/// given, receives where each pointer was read, as it is read: after a
/// refusal it shows how far the reader came.
DrmLayout ReadDrmLayout(BinaryFile& image, std::int32_t variant, DrmLayoutSlots* slots = nullptr);

/// Reads the RAW and GIF tables and checks that every picture lies inside the
/// image and that no table entry goes backwards.
DrmTables ReadDrmTables(BinaryFile& image, const DrmLayout& layout);

/// The extra checks a compile needs: the areas it rebuilds follow each other
/// in the order RAW data, RAW table, GIF data, GIF table, and the header
/// pointer table and resource directory lie inside the image.
void CheckCompilableLayout(const DrmLayout& layout, std::int64_t imageSize, const std::filesystem::path& image);

/// descr.dat: 9 (variant 0) or 15 (variant 1) little-endian 32-bit values.
std::vector<std::uint8_t> EncodeDescrDat(const DrmLayout& layout);
void WriteDescrDat(const std::filesystem::path& file, const DrmLayout& layout);
/// Refuses (Format) a tree whose descr.dat (`described`, read from `descrDat`) is not
/// what the unpack of `image` (`actual`) writes: the tree came from another image.
/// The message names the first value that differs.
void CheckDescrDatDescribes(const DrmLayout& described, const std::filesystem::path& descrDat,
                            const DrmLayout& actual, const std::filesystem::path& image);
/// Reads descr.dat; a file of the wrong length, an unknown variant or counts
/// beyond the limits are refused naming the file.
DrmLayout ReadDescrDat(const std::filesystem::path& file);

}  // namespace resmill::drm
