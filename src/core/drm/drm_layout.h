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
inline constexpr std::int64_t kHeaderPointerTable = 32;
/// The largest tables the format's tools ever handled; larger counts mean a damaged image.
inline constexpr std::int32_t kMaxRawPictures = 8191;
inline constexpr std::int32_t kMaxGifPictures = 65534;
inline constexpr std::int64_t kRawEntrySize = 16;

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
  int RawWidth(int i) const { return rawEntries[static_cast<std::size_t>(i - 1) * kRawEntrySize + 1]; }
  int RawHeight(int i) const { return rawEntries[static_cast<std::size_t>(i - 1) * kRawEntrySize + 3]; }
  /// Byte offset (relative to RawData) where RAW picture i ends; 0 for i = 0.
  std::int64_t RawEnd(int i) const;
};

/// Looks for the DRM marker at 468, 456, 464 (in that order), then for the
/// signature word at 8. `variant` is 1 for a marker at 464 or the signature,
/// else 0. An image too short for a position holds no marker there.
bool FindDrmMarker(BinaryFile& image, std::int32_t& variant);

/// Reads the layout values of `image` for `variant` and checks every pointer,
/// count and table bound against the image's size. Throws resmill::Error
/// (Format or Limit) naming the image, the offset and the value.
DrmLayout ReadDrmLayout(BinaryFile& image, std::int32_t variant);

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
/// Reads descr.dat; a file of the wrong length, an unknown variant or counts
/// beyond the limits are refused naming the file.
DrmLayout ReadDescrDat(const std::filesystem::path& file);

}  // namespace resmill::drm
