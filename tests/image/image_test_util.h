#pragma once
// Helpers of the image tests: deterministic pictures and ImageMagick as the
// independent reader and writer.

#include <filesystem>
#include <optional>
#include <string>

#include "image/graphics/bitmap.h"

namespace resmill::test {

/// A picture whose every pixel differs from its neighbours; with `transparency` a
/// fully transparent border column and some half-transparent pixels.
image::graphics::Bitmap Pattern(int width, int height, bool transparency = false, int colours = 0);

/// ImageMagick's decode of a picture (8-bit RGBA), or nothing when it fails.
std::optional<image::graphics::Bitmap> MagickRead(const std::filesystem::path& file);
/// Runs `convert <arguments>`; true on success.
bool Magick(const std::string& arguments);
std::string Quote(const std::filesystem::path& path);

/// Largest channel difference over all pixels (sizes must match; 256 when they do not).
int MaxDifference(const image::graphics::Bitmap& a, const image::graphics::Bitmap& b);
/// Peak signal-to-noise ratio over the colour channels (dB).
double Psnr(const image::graphics::Bitmap& a, const image::graphics::Bitmap& b);

}  // namespace resmill::test
