// PNG through libpng's simplified interface: libpng keeps its own error
// recovery (setjmp) inside, so no longjmp ever crosses our frames.

#include <bit>
#include <cstring>

#include <png.h>

#include "image/graphics/codecs.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::image::graphics::codec {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Our Argb words in memory, byte by byte: B G R A on a little-endian machine.
constexpr png_uint_32 kArgbFormat = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;

struct PngImage {
  png_image image{};
  PngImage() { image.version = PNG_IMAGE_VERSION; }
  ~PngImage() { png_image_free(&image); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
};

}  // namespace

std::optional<PictureInfo> PngInfo(std::span<const std::uint8_t> data) {
  if (data.size() < 33 || std::memcmp(data.data(), kSignature, 8) != 0) return std::nullopt;
  if (std::memcmp(data.data() + 12, "IHDR", 4) != 0) return std::nullopt;
  std::uint32_t width = GetU32BE(data.data() + 16), height = GetU32BE(data.data() + 20);
  int depth = data[24], colourType = data[25];
  int channels = 0;
  switch (colourType) {
    case 0: channels = 1; break;
    case 2: channels = 3; break;
    case 3: channels = 1; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return std::nullopt;
  }
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
  return PictureInfo{PictureFormat::Png, static_cast<int>(width), static_cast<int>(height), depth * channels};
}

std::optional<Bitmap> DecodePng(std::span<const std::uint8_t> data) {
  if (!PngInfo(data)) return std::nullopt;
  PngImage png;
  if (!png_image_begin_read_from_memory(&png.image, data.data(), data.size())) return std::nullopt;
  if (!SizeAcceptable(png.image.width, png.image.height)) return std::nullopt;
  png.image.format = kArgbFormat;
  Bitmap bitmap(static_cast<int>(png.image.width), static_cast<int>(png.image.height));
  static_assert(sizeof(Argb) == 4);
  if (!png_image_finish_read(&png.image, nullptr, bitmap.Pixels().data(), 0, nullptr)) return std::nullopt;
  return bitmap;
}

std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap) {
  if (bitmap.Empty()) throw Error(Error::Kind::Refused, "cannot write an empty picture as PNG");
  PngImage png;
  png.image.width = static_cast<png_uint_32>(bitmap.Width());
  png.image.height = static_cast<png_uint_32>(bitmap.Height());
  png.image.flags = PNG_IMAGE_FLAG_FAST;
  const void* pixels = bitmap.Pixels().data();
  std::vector<std::uint8_t> rgb;
  if (bitmap.IsOpaque()) {
    // Without an alpha channel the file is a quarter smaller and every reader agrees on it.
    png.image.format = PNG_FORMAT_RGB;
    rgb.resize(bitmap.Pixels().size() * 3);
    std::uint8_t* out = rgb.data();
    for (Argb c : bitmap.Pixels()) {
      *out++ = RedOf(c);
      *out++ = GreenOf(c);
      *out++ = BlueOf(c);
    }
    pixels = rgb.data();
  } else {
    png.image.format = kArgbFormat;
  }
  std::vector<std::uint8_t> bytes(PNG_IMAGE_PNG_SIZE_MAX(png.image));
  png_alloc_size_t size = bytes.size();
  if (!png_image_write_to_memory(&png.image, bytes.data(), &size, 0, pixels, 0, nullptr)) {
    throw Error(Error::Kind::Internal, std::string("PNG encoder failed: ") + png.image.message);
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace resmill::image::graphics::codec
