#pragma once
// The phone's own picture formats: the RAW picture of the DRM (16-bit RGB 5-6-5
// words, big-endian, then a 1-bit transparency mask; its size is in the file
// name) and the K picture of skins (16-byte little-endian header, then 18-bit
// pixels with a per-row opacity mask, or 32-bit BGRA pixels).
//
// The in-memory codecs serve the file operations below and the fuzz targets;
// the file operations are what the dispatchers of picture_convert.h run.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "image/graphics/bitmap.h"
#include "image/picture_convert.h"

namespace resmill::image {

/// The largest RAW picture the phone's converter handles (176 × 220 + 1 pixels).
inline constexpr std::uint64_t kMaxRawPixels = 38721;
/// The largest K pixel data, and the largest K mask, in bytes (640 × 480 × 4 + 1).
inline constexpr std::uint64_t kMaxKBytes = 1228801;
inline constexpr std::size_t kKHeaderSize = 16;

/// Mask bytes of a RAW picture of `pixels` pixels: ceil(pixels / 8), made even.
constexpr std::uint64_t RawMaskLength(std::uint64_t pixels) {
  std::uint64_t n = (pixels + 7) / 8;
  return n + (n & 1);
}
/// Bytes of a whole RAW picture.
constexpr std::uint64_t RawFileLength(std::uint64_t width, std::uint64_t height) {
  return 2 * width * height + RawMaskLength(width * height);
}
/// Bytes of the largest RAW picture a conversion reads.
inline constexpr std::uint64_t kMaxRawFileLength = 2 * kMaxRawPixels + RawMaskLength(kMaxRawPixels);
/// Row stride of an 18-bit K picture: 3 bytes a pixel, rounded up to 4.
constexpr std::uint64_t KStride18(std::uint64_t width) { return (3 * width + 3) / 4 * 4; }
/// Row stride of the 18-bit K mask: one bit a pixel, rounded up to 4 bytes.
constexpr std::uint64_t KMaskStride(std::uint64_t width) { return ((width + 7) / 8 + 3) / 4 * 4; }

struct KHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitsPerPixel = 0;
  std::uint32_t stride = 0;
};
/// The header of a K file's bytes; throws a format error naming `file` when there are fewer than 16.
KHeader ReadKHeader(std::span<const std::uint8_t> bytes, const std::filesystem::path& file);

enum class KLayout { Bits18, Bits32 };

/// Bytes of a whole K picture with this header: the header, the pixel rows at the header's
/// stride and, in the 18-bit layout, the opacity mask. Throws for a header that DecodeKBytes refuses.
std::uint64_t KFileLength(const KHeader& h, KLayout layout, const std::filesystem::path& file);

// --- In memory -----------------------------------------------------------------

/// Decodes RAW bytes of a width × height picture. Pixels the bytes do not reach
/// (a short file) are transparent. Throws for a size outside 1 … kMaxRawPixels pixels.
graphics::Bitmap DecodeRawBytes(std::span<const std::uint8_t> bytes, int width, int height,
                                const std::filesystem::path& file);
/// The RAW bytes of `bitmap`; alpha 0 is transparent, any other alpha opaque. Throws beyond kMaxRawPixels.
std::vector<std::uint8_t> EncodeRawBytes(const graphics::Bitmap& bitmap, const std::filesystem::path& file);
/// Decodes a K file's bytes in the given layout (the header's stride is used as it stands).
/// Pixels beyond the bytes are transparent. Throws for a zero size or one beyond the K limits.
graphics::Bitmap DecodeKBytes(std::span<const std::uint8_t> bytes, KLayout layout, const std::filesystem::path& file);
std::vector<std::uint8_t> EncodeKBytes(const graphics::Bitmap& bitmap, KLayout layout,
                                       const std::filesystem::path& file);

/// The picture file DecodeRaw16 makes of RAW bytes of a width × height picture,
/// as bytes in the format of `mime` (only the first RawFileLength bytes count).
/// `file` names the RAW picture in messages. Touches no file, so it may run on
/// any thread.
std::vector<std::uint8_t> RawBytesToPicture(std::span<const std::uint8_t> bytes, int width, int height,
                                            std::string_view mime, const std::filesystem::path& file);

// --- Files ---------------------------------------------------------------------
// Outputs go through the atomic output file: on any error the target is untouched.

/// RAW picture → picture file in the format of `mime`.
void DecodeRaw16(const std::filesystem::path& raw, const std::filesystem::path& output, int width,
                 std::string_view mime, int height);
/// K picture (18-bit layout) → picture file; the size its header gives.
RawSize DecodeK18(const std::filesystem::path& k, const std::filesystem::path& output, std::string_view mime);
/// K picture (32-bit layout, the header's stride) → picture file; the size its header gives.
RawSize DecodeK32(const std::filesystem::path& k, const std::filesystem::path& output, std::string_view mime);
/// Picture file → 18-bit K picture; a source that cannot be read is refused.
void EncodeK18(const std::filesystem::path& picture, const std::filesystem::path& k);
/// Picture file → 32-bit K picture; a source that cannot be read is refused.
void EncodeK32(const std::filesystem::path& picture, const std::filesystem::path& k);

}  // namespace resmill::image
