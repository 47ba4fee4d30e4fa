#pragma once
// The one in-memory picture of the graphics layer: 32-bit ARGB pixels (alpha in
// bits 31-24, red 23-16, green 15-8, blue 7-0), rows from the top, no padding.
// Per-pixel work runs over Pixels() directly.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace resmill::image::graphics {

using Argb = std::uint32_t;

constexpr Argb MakeArgb(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return (Argb{a} << 24) | (Argb{r} << 16) | (Argb{g} << 8) | Argb{b};
}
constexpr std::uint8_t AlphaOf(Argb c) { return static_cast<std::uint8_t>(c >> 24); }
constexpr std::uint8_t RedOf(Argb c) { return static_cast<std::uint8_t>(c >> 16); }
constexpr std::uint8_t GreenOf(Argb c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t BlueOf(Argb c) { return static_cast<std::uint8_t>(c); }

/// Transparent white: what a fresh drawing surface holds.
inline constexpr Argb kTransparentWhite = 0x00FFFFFFu;

/// Decoders refuse pictures larger than this (width × height), so that a damaged
/// header cannot make us allocate gigabytes.
inline constexpr std::uint64_t kMaxPixels = 1u << 26;
inline constexpr int kMaxSide = 65535;

/// A rectangle of pixels: its top-left pixel and its size.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

class Bitmap {
 public:
  Bitmap() = default;
  /// A width × height bitmap filled with `fill`; throws resmill::Error (Limit) beyond kMaxPixels.
  Bitmap(int width, int height, Argb fill = 0);

  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  bool Empty() const noexcept { return width_ == 0 || height_ == 0; }

  std::span<Argb> Pixels() noexcept { return pixels_; }
  std::span<const Argb> Pixels() const noexcept { return pixels_; }
  Argb* Row(int y) noexcept { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  const Argb* Row(int y) const noexcept { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  Argb At(int x, int y) const noexcept { return Row(y)[x]; }
  void Set(int x, int y, Argb c) noexcept { Row(y)[x] = c; }
  void Fill(Argb c);

  /// True when every pixel has alpha 255.
  bool IsOpaque() const noexcept;
  /// True when some pixel is neither opaque nor fully transparent.
  bool HasPartialAlpha() const noexcept;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Argb> pixels_;
};

}  // namespace resmill::image::graphics
