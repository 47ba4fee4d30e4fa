#pragma once
// The codec adapters of the graphics layer, one file each. Internal to
// image/graphics: everyone else goes through graphics.h.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/graphics/bitmap.h"
#include "image/graphics/graphics.h"

namespace resmill::image::graphics::codec {

std::optional<Bitmap> DecodePng(std::span<const std::uint8_t> data);
std::optional<PictureInfo> PngInfo(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap);

std::optional<Bitmap> DecodeGif(std::span<const std::uint8_t> data);
std::optional<PictureInfo> GifInfo(std::span<const std::uint8_t> data);

std::optional<Bitmap> DecodeBmp(std::span<const std::uint8_t> data);
std::optional<PictureInfo> BmpInfo(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

std::optional<Bitmap> DecodeJpeg(std::span<const std::uint8_t> data);
std::optional<PictureInfo> JpegInfo(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, int quality);

/// True when a decoder may allocate a width × height bitmap.
inline bool SizeAcceptable(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

}  // namespace resmill::image::graphics::codec
