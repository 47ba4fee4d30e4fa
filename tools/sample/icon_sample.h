#pragma once
// Phone icons drawn on a transparent background, as most of them are: circles,
// rectangles and text, either filled with hard edges or anti-aliased (their
// edges partly transparent), and a small animation on a transparent screen with
// every disposal method and frames smaller than the screen. The tests and the
// benchmark resize these; the pictures are written with libpng and giflib
// directly, never by the code under test.

#include <cstdint>
#include <string_view>
#include <vector>

#include "sample/drm_sample.h"

namespace resmill::sample {

/// Straight (not premultiplied) ARGB pixels: alpha in bits 31-24, then red, green, blue.
struct IconPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  ///< width × height, rows from the top
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

/// Draws shapes source-over onto a transparent picture. A filled shape takes the
/// pixels whose centre it covers; an anti-aliased one covers each pixel by the share
/// of 8 × 8 sample points inside it, which becomes the alpha of its edge.
class IconCanvas {
 public:
  IconCanvas(int width, int height);
  void Circle(double centreX, double centreY, double radius, std::uint32_t rgb, bool antiAliased);
  void Rectangle(double left, double top, double right, double bottom, std::uint32_t rgb, bool antiAliased);
  /// Text in the built-in 5 × 7 font (digits, upper-case letters, ":" and space), each
  /// font pixel `scale` pixels large, the top left of the first letter at (left, top).
  void Text(double left, double top, double scale, std::string_view text, std::uint32_t rgb, bool antiAliased);
  const IconPicture& Picture() const { return picture_; }

 private:
  template <typename Inside>
  void Fill(double left, double top, double right, double bottom, std::uint32_t rgb, bool antiAliased, Inside inside);
  IconPicture picture_;
};

/// An icon of any size: a disc, a bar and a short word on transparency, placed in
/// proportion to the size; `seed` varies colours and places.
IconPicture DrawTransparentIcon(int width, int height, bool antiAliased, int seed = 0);

/// The count of pixels of at least half alpha (128): the area a shape covers.
std::size_t OpaqueArea(const IconPicture& picture);

struct IconFrame {
  int left = 0, top = 0;
  IconPicture picture;  ///< opaque or fully transparent pixels only
  int disposal = 0;     ///< as a GIF stores it: 1 keep, 2 background, 3 previous
  int delay = 0;        ///< hundredths of a second
};

struct IconAnimation {
  int width = 0, height = 0;
  std::vector<IconFrame> frames;
  bool loops = true;
};

/// Three frames on a transparent width × height screen: the whole screen kept
/// (disposal 1), a smaller frame at an offset restored to the background (2), and
/// another one restored to the previous picture (3); delays 0.10, 0.20, 0.30 s.
IconAnimation DrawTransparentAnimation(int width = 176, int height = 220);

/// The picture as a PNG with alpha.
Bytes EncodeIconPng(const IconPicture& picture);
/// The animation as a GIF89a: one colour table per frame, transparent index 0, a
/// NETSCAPE2.0 looping block when it loops.
Bytes EncodeIconGif(const IconAnimation& animation);

}  // namespace resmill::sample
