// Stretched drawing: Catmull-Rom bicubic resampling from stb_image_resize,
// which premultiplies alpha for the filter, so transparent pixels do not bleed
// their (meaningless) colour into the edges of what is drawn.

#include <algorithm>
#include <bit>
#include <cmath>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

#include "image/graphics/graphics.h"
#include "platform/error.h"

namespace resmill::image::graphics {

namespace {

static_assert(std::endian::native == std::endian::little, "the alpha byte of an Argb word is byte 3 in memory");

// `source` resampled to width × height, straight (not premultiplied) alpha.
Bitmap Resample(const Bitmap& source, int width, int height) {
  Bitmap out(width, height);
  if (source.Width() == width && source.Height() == height) {
    std::copy(source.Pixels().begin(), source.Pixels().end(), out.Pixels().begin());
    return out;
  }
  // Alpha needs premultiplying only when some pixel is not opaque; the check costs far less than the work.
  int alphaChannel = source.IsOpaque() ? STBIR_ALPHA_CHANNEL_NONE : 3;
  int ok = stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(source.Pixels().data()), source.Width(),
                                      source.Height(), 0, reinterpret_cast<unsigned char*>(out.Pixels().data()),
                                      width, height, 0, 4, alphaChannel, 0, STBIR_EDGE_CLAMP,
                                      STBIR_FILTER_CATMULLROM,
                                      STBIR_COLORSPACE_LINEAR, nullptr);
  if (!ok) throw Error(Error::Kind::Internal, "picture scaler failed");
  return out;
}

// Source-over of one straight-alpha pixel onto another.
Argb Over(Argb s, Argb d) {
  unsigned sa = AlphaOf(s);
  if (sa == 255) return s;
  if (sa == 0) return d;
  unsigned da = AlphaOf(d);
  unsigned dw = da * (255 - sa);  // destination weight, scaled by 255
  unsigned outA = sa * 255 + dw;  // scaled by 255
  auto mix = [&](unsigned sc, unsigned dc) {
    return static_cast<std::uint8_t>((sc * sa * 255 + dc * dw + outA / 2) / outA);
  };
  return MakeArgb(static_cast<std::uint8_t>((outA + 127) / 255), mix(RedOf(s), RedOf(d)), mix(GreenOf(s), GreenOf(d)),
                  mix(BlueOf(s), BlueOf(d)));
}

}  // namespace

Bitmap NewSurface(int width, int height) { return Bitmap(width, height, kTransparentWhite); }

void DrawStretched(Bitmap& surface, const Bitmap& source, int x, int y, int width, int height) {
  if (width <= 0 || height <= 0 || source.Empty()) return;
  int left = std::max(x, 0), top = std::max(y, 0);
  int right = static_cast<int>(std::min<std::int64_t>(std::int64_t{x} + width, surface.Width()));
  int bottom = static_cast<int>(std::min<std::int64_t>(std::int64_t{y} + height, surface.Height()));
  if (left >= right || top >= bottom) return;
  Bitmap scaled = Resample(source, width, height);
  for (int row = top; row < bottom; ++row) {
    const Argb* in = scaled.Row(row - y) + (left - x);
    Argb* out = surface.Row(row) + left;
    for (int column = 0; column < right - left; ++column) out[column] = Over(in[column], out[column]);
  }
}

Bitmap Stretch(const Bitmap& source, int width, int height) {
  Bitmap surface = NewSurface(width, height);
  DrawStretched(surface, source, 0, 0, width, height);
  return surface;
}

Bitmap Thumbnail(const Bitmap& source, int maxWidth, int maxHeight) {
  if (source.Empty() || maxWidth <= 0 || maxHeight <= 0) return Bitmap();
  double scale = std::min({1.0, static_cast<double>(maxWidth) / source.Width(),
                           static_cast<double>(maxHeight) / source.Height()});
  int width = std::clamp(static_cast<int>(std::lround(source.Width() * scale)), 1, maxWidth);
  int height = std::clamp(static_cast<int>(std::lround(source.Height() * scale)), 1, maxHeight);
  return Stretch(source, width, height);
}

}  // namespace resmill::image::graphics
