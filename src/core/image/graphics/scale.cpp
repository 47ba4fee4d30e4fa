// Stretched drawing: Catmull-Rom bicubic resampling by libswscale, one 8-bit
// plane per channel. Scaling planes of grey keeps swscale away from its internal
// YUV conversion, which would shift colours; bit-exact mode makes the output the
// same on every CPU, so a build gives the same pictures on every machine.
// Colours are premultiplied by alpha for the filter when some pixel is not
// opaque, so transparent pixels do not bleed their (meaningless) colour into the
// edges of what is drawn.
//
// swscale places its filter wrongly along an axis shorter than a few pixels
// (two pixels stretched to three come out up to 120 levels away from any
// Catmull-Rom result), so sources that small go through stb_image_resize, which
// is exact there and costs nothing at that size. stb also takes the sizes
// swscale refuses (a very wide output).

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

extern "C" {
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "image/graphics/graphics.h"
#include "platform/error.h"

namespace resmill::image::graphics {

namespace {

static_assert(std::endian::native == std::endian::little, "the alpha byte of an Argb word is byte 3 in memory");

// swscale's vector code reads and writes whole blocks past a row's end, and
// wants rows aligned; every plane row gets room for that.
constexpr std::size_t kPlaneAlign = 64;

class Plane {
 public:
  Plane(int width, int height)
      : stride_((static_cast<std::size_t>(width) + kPlaneAlign - 1) / kPlaneAlign * kPlaneAlign + kPlaneAlign),
        bytes_(new (std::align_val_t{kPlaneAlign}) std::uint8_t[stride_ * (static_cast<std::size_t>(height) + 1)]) {}
  std::uint8_t* Row(int y) noexcept { return bytes_.get() + stride_ * static_cast<std::size_t>(y); }
  std::uint8_t* Data() noexcept { return bytes_.get(); }
  int Stride() const noexcept { return static_cast<int>(stride_); }

 private:
  struct AlignedDelete {
    void operator()(std::uint8_t* p) const noexcept { ::operator delete[](p, std::align_val_t{kPlaneAlign}); }
  };
  std::size_t stride_;
  std::unique_ptr<std::uint8_t[], AlignedDelete> bytes_;
};

struct SwsContextDelete {
  void operator()(SwsContext* context) const noexcept { sws_freeContext(context); }
};

// swscale reports refusals through av_log on standard error; ours are reported
// once, by the caller, as an exception.
void SilenceLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// Below this many pixels along either axis a source is scaled by stb.
constexpr int kSmallestSwscaleSide = 8;

Bitmap ResampleWithStb(const Bitmap& source, int width, int height) {
  Bitmap out(width, height);
  int alphaChannel = source.IsOpaque() ? STBIR_ALPHA_CHANNEL_NONE : 3;
  int ok = stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(source.Pixels().data()), source.Width(),
                                      source.Height(), 0, reinterpret_cast<unsigned char*>(out.Pixels().data()),
                                      width, height, 0, 4, alphaChannel, 0, STBIR_EDGE_CLAMP,
                                      STBIR_FILTER_CATMULLROM, STBIR_COLORSPACE_LINEAR, nullptr);
  if (!ok) throw Error(Error::Kind::Internal, "picture scaler failed");
  return out;
}

}  // namespace

// One swscale set-up, kept while the sizes stay the same (every frame of an
// animation): building its filters costs about a third of scaling an icon.
struct Scaler::State {
  int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
  std::unique_ptr<SwsContext, SwsContextDelete> context;
  std::unique_ptr<Plane> in, scaled;
};

Scaler::Scaler() = default;
Scaler::~Scaler() = default;
Scaler::Scaler(Scaler&&) noexcept = default;
Scaler& Scaler::operator=(Scaler&&) noexcept = default;

Bitmap Scaler::Resample(const Bitmap& source, int width, int height) {
  const int sourceWidth = source.Width(), sourceHeight = source.Height();
  if (sourceWidth == width && sourceHeight == height) return source;
  if (sourceWidth < kSmallestSwscaleSide || sourceHeight < kSmallestSwscaleSide) {
    return ResampleWithStb(source, width, height);
  }
  if (!state_) state_ = std::make_unique<State>();
  State& state = *state_;
  if (!state.context || !state.in || !state.scaled || state.sourceWidth != sourceWidth || state.sourceHeight != sourceHeight ||
      state.width != width || state.height != height) {
    state.context.reset();
    SilenceLibraryLog();
    double catmullRom[2] = {0.0, 0.5};  // Mitchell-Netravali B and C
    state.context.reset(sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_GRAY8, width, height, AV_PIX_FMT_GRAY8,
                                       SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, catmullRom));
    if (!state.context) return ResampleWithStb(source, width, height);
    state.in = std::make_unique<Plane>(sourceWidth, sourceHeight);
    state.scaled = std::make_unique<Plane>(width, height);
    state.sourceWidth = sourceWidth;
    state.sourceHeight = sourceHeight;
    state.width = width;
    state.height = height;
  }
  Plane& in = *state.in;
  Plane& scaled = *state.scaled;
  Bitmap out(width, height);
  // Alpha needs premultiplying only when some pixel is not opaque; the check costs far less than the work.
  const bool opaque = source.IsOpaque();
  const int channels = opaque ? 3 : 4;
  for (int channel = 0; channel < channels; ++channel) {
    for (int y = 0; y < sourceHeight; ++y) {
      const Argb* row = source.Row(y);
      std::uint8_t* plane = in.Row(y);
      const int shift = 8 * channel;
      if (opaque || channel == 3) {
        for (int x = 0; x < sourceWidth; ++x) plane[x] = static_cast<std::uint8_t>(row[x] >> shift);
      } else {
        for (int x = 0; x < sourceWidth; ++x) {
          unsigned c = (row[x] >> shift) & 0xFFu, a = row[x] >> 24;
          unsigned t = c * a + 128;
          plane[x] = static_cast<std::uint8_t>((t + (t >> 8)) >> 8);  // c * a / 255, rounded
        }
      }
    }
    const std::uint8_t* const inPlanes[1] = {in.Data()};
    const int inStrides[1] = {in.Stride()};
    std::uint8_t* const outPlanes[1] = {scaled.Data()};
    const int outStrides[1] = {scaled.Stride()};
    if (sws_scale(state.context.get(), inPlanes, inStrides, 0, sourceHeight, outPlanes, outStrides) != height) {
      throw Error(Error::Kind::Internal, "picture scaler failed");
    }
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* plane = scaled.Row(y);
      Argb* row = out.Row(y);
      if (channel == 0) {
        for (int x = 0; x < width; ++x) row[x] = plane[x];
      } else {
        for (int x = 0; x < width; ++x) row[x] |= Argb{plane[x]} << (8 * channel);
      }
    }
  }
  if (opaque) {
    for (Argb& c : out.Pixels()) c |= 0xFF000000u;
    return out;
  }
  // Back to straight alpha. The filter's negative lobes can leave a colour above
  // its alpha, which no premultiplied pixel can hold; it is clamped to the alpha.
  for (Argb& c : out.Pixels()) {
    unsigned a = c >> 24;
    if (a == 0) {
      c = 0;
      continue;
    }
    if (a == 255) continue;
    auto straight = [a](unsigned premultiplied) { return (std::min(premultiplied, a) * 255 + a / 2) / a; };
    c = MakeArgb(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(straight(RedOf(c))),
                 static_cast<std::uint8_t>(straight(GreenOf(c))), static_cast<std::uint8_t>(straight(BlueOf(c))));
  }
  return out;
}

namespace {

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

void DrawStretched(Bitmap& surface, const Bitmap& source, int x, int y, int width, int height, Scaler* scaler) {
  if (width <= 0 || height <= 0 || source.Empty()) return;
  int left = std::max(x, 0), top = std::max(y, 0);
  int right = static_cast<int>(std::min<std::int64_t>(std::int64_t{x} + width, surface.Width()));
  int bottom = static_cast<int>(std::min<std::int64_t>(std::int64_t{y} + height, surface.Height()));
  if (left >= right || top >= bottom) return;
  Scaler once;
  Bitmap scaled = (scaler != nullptr ? *scaler : once).Resample(source, width, height);
  for (int row = top; row < bottom; ++row) {
    const Argb* in = scaled.Row(row - y) + (left - x);
    Argb* out = surface.Row(row) + left;
    for (int column = 0; column < right - left; ++column) out[column] = Over(in[column], out[column]);
  }
}

Bitmap Stretch(const Bitmap& source, int width, int height, Scaler* scaler) {
  Bitmap surface = NewSurface(width, height);
  DrawStretched(surface, source, 0, 0, width, height, scaler);
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
