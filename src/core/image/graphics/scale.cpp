// Stretched drawing: Catmull-Rom bicubic resampling by zimg, one floating-point
// plane per channel. zimg places its filter exactly for every size, from one
// pixel to the largest picture we decode, so there is a single scaler and no
// fallback. Planes of grey keep zimg away from any colour-space conversion.
//
// At the picture's edges the taps that fall outside are dropped and the rest
// weighted up to a sum of one, as ImageMagick does: an icon is shrunk by 10x and
// more, its filter then reaches two output pixels in from every edge, and
// mirroring the picture there (zimg's own edge rule) bends its edge colours.
// zimg gets there by a detour: each plane sits in a border of zeros wider than
// the filter, with the picture marked as the active region, so the taps outside
// read nothing; the coverage plane (1 on the picture, 0 in the border), scaled
// alike, is the sum of the taps that were kept, and the result is divided by it.
//
// Colours are premultiplied by alpha for the filter when some pixel is not
// opaque, so transparent pixels do not bleed their (meaningless) colour into the
// edges of what is drawn; the result is un-premultiplied again.

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <zimg.h>

#include "image/graphics/graphics.h"
#include "platform/error.h"

namespace resmill::image::graphics {

namespace {

static_assert(std::endian::native == std::endian::little, "the alpha byte of an Argb word is byte 3 in memory");

// zimg wants plane rows and strides aligned to the widest vector unit it uses.
constexpr std::size_t kPlaneAlign = 64;

struct AlignedDelete {
  void operator()(std::uint8_t* p) const noexcept { ::operator delete[](p, std::align_val_t{kPlaneAlign}); }
};
using AlignedBytes = std::unique_ptr<std::uint8_t[], AlignedDelete>;

AlignedBytes AllocateAligned(std::size_t bytes) {
  return AlignedBytes(new (std::align_val_t{kPlaneAlign}) std::uint8_t[std::max<std::size_t>(bytes, 1)]);
}

// A plane of floats, zeroed when made.
class Plane {
 public:
  Plane(int width, int height)
      : stride_((static_cast<std::size_t>(width) * sizeof(float) + kPlaneAlign - 1) / kPlaneAlign * kPlaneAlign),
        bytes_(AllocateAligned(stride_ * static_cast<std::size_t>(height))) {
    std::fill_n(bytes_.get(), stride_ * static_cast<std::size_t>(height), std::uint8_t{0});
  }
  float* Row(int y) noexcept { return reinterpret_cast<float*>(bytes_.get() + stride_ * static_cast<std::size_t>(y)); }
  void* Data() noexcept { return bytes_.get(); }
  std::ptrdiff_t Stride() const noexcept { return static_cast<std::ptrdiff_t>(stride_); }

 private:
  std::size_t stride_;
  AlignedBytes bytes_;
};

struct GraphDelete {
  void operator()(zimg_filter_graph* graph) const noexcept { zimg_filter_graph_free(graph); }
};

[[noreturn]] void ThrowScalerFailure(std::string_view what) {
  char reason[256] = {};
  zimg_get_last_error(reason, sizeof reason);
  throw Error(Error::Kind::Internal, fmt::format("picture scaler: {}{}{}", what, reason[0] ? ": " : "", reason));
}

zimg_image_format GreyPlane(int width, int height) {
  zimg_image_format format;
  zimg_image_format_default(&format, ZIMG_API_VERSION);
  format.width = static_cast<unsigned>(width);
  format.height = static_cast<unsigned>(height);
  format.pixel_type = ZIMG_PIXEL_FLOAT;
  format.color_family = ZIMG_COLOR_GREY;
  format.pixel_range = ZIMG_RANGE_FULL;
  format.depth = 32;
  return format;
}

// The border of zeros one axis needs: Catmull-Rom reaches 2 pixels of the smaller
// side, which is 2 times the shrink factor on the source; one more for where the
// output pixel's centre falls. An axis that keeps its size is not filtered.
int BorderFor(int from, int to) {
  if (from == to) return 0;
  return static_cast<int>(std::ceil(2.0 * std::max(1.0, static_cast<double>(from) / to))) + 1;
}

// Below this share of the filter left on the picture there is no picture to weight up.
// Catmull-Rom keeps about a quarter at a corner, so this only guards against rounding.
constexpr float kLeastCoverage = 1e-3f;

std::uint8_t ToByte(float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

}  // namespace

// One zimg graph with its planes, kept while the sizes stay the same (every frame
// of an animation): building its filters, and scaling the coverage, costs more
// than scaling an icon.
struct Scaler::State {
  int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0, borderX = 0, borderY = 0;
  std::unique_ptr<zimg_filter_graph, GraphDelete> graph;
  AlignedBytes work;
  std::unique_ptr<Plane> in, scaled;  ///< `in` keeps its border of zeros from frame to frame
  std::vector<float> weightUp;        ///< 1 / the scaled coverage, per output pixel (0 where none)
  std::vector<float> alpha;           ///< the scaled alpha of the current picture, 0…255

  void Process() {
    zimg_image_buffer_const inBuffer{};
    inBuffer.version = ZIMG_API_VERSION;
    inBuffer.plane[0].data = in->Data();
    inBuffer.plane[0].stride = in->Stride();
    inBuffer.plane[0].mask = ZIMG_BUFFER_MAX;
    zimg_image_buffer outBuffer{};
    outBuffer.version = ZIMG_API_VERSION;
    outBuffer.plane[0].data = scaled->Data();
    outBuffer.plane[0].stride = scaled->Stride();
    outBuffer.plane[0].mask = ZIMG_BUFFER_MAX;
    if (zimg_filter_graph_process(graph.get(), &inBuffer, &outBuffer, work.get(), nullptr, nullptr, nullptr,
                                  nullptr) != ZIMG_ERROR_SUCCESS) {
      ThrowScalerFailure("scaling failed");
    }
  }
};

Scaler::Scaler() = default;
Scaler::~Scaler() = default;
Scaler::Scaler(Scaler&&) noexcept = default;
Scaler& Scaler::operator=(Scaler&&) noexcept = default;

Bitmap Scaler::Resample(const Bitmap& source, int width, int height) {
  const int sourceWidth = source.Width(), sourceHeight = source.Height();
  if (sourceWidth == width && sourceHeight == height) return source;
  if (source.Empty() || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    throw Error(Error::Kind::Internal, fmt::format("picture scaler: cannot draw {} x {} at {} x {}", sourceWidth,
                                                   sourceHeight, width, height));
  }
  if (!state_) state_ = std::make_unique<State>();
  State& state = *state_;
  if (!state.graph || state.sourceWidth != sourceWidth || state.sourceHeight != sourceHeight ||
      state.width != width || state.height != height) {
    state.graph.reset();
    const int borderX = BorderFor(sourceWidth, width), borderY = BorderFor(sourceHeight, height);
    zimg_image_format from = GreyPlane(sourceWidth + 2 * borderX, sourceHeight + 2 * borderY);
    from.active_region.left = borderX;
    from.active_region.top = borderY;
    from.active_region.width = sourceWidth;
    from.active_region.height = sourceHeight;
    zimg_image_format to = GreyPlane(width, height);
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    params.resample_filter = ZIMG_RESIZE_BICUBIC;
    params.filter_param_a = 0.0;  // Mitchell-Netravali B and C of Catmull-Rom
    params.filter_param_b = 0.5;
    state.graph.reset(zimg_filter_graph_build(&from, &to, &params));
    if (!state.graph) ThrowScalerFailure(fmt::format("no filter for {} x {} to {} x {}", sourceWidth, sourceHeight,
                                                     width, height));
    std::size_t workBytes = 0;
    if (zimg_filter_graph_get_tmp_size(state.graph.get(), &workBytes) != ZIMG_ERROR_SUCCESS) {
      ThrowScalerFailure("no work area size");
    }
    state.work = AllocateAligned(workBytes);
    state.in = std::make_unique<Plane>(static_cast<int>(from.width), static_cast<int>(from.height));
    state.scaled = std::make_unique<Plane>(width, height);
    state.borderX = borderX;
    state.borderY = borderY;
    for (int y = 0; y < sourceHeight; ++y) std::fill_n(state.in->Row(y + borderY) + borderX, sourceWidth, 1.0f);
    state.Process();
    state.weightUp.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      const float* coverage = state.scaled->Row(y);
      float* weightUp = &state.weightUp[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
      for (int x = 0; x < width; ++x) weightUp[x] = coverage[x] > kLeastCoverage ? 1.0f / coverage[x] : 0.0f;
    }
    state.alpha.resize(state.weightUp.size());
    state.sourceWidth = sourceWidth;
    state.sourceHeight = sourceHeight;
    state.width = width;
    state.height = height;
  }
  Plane& in = *state.in;
  Plane& scaled = *state.scaled;
  const std::size_t outWidth = static_cast<std::size_t>(width);

  Bitmap out(width, height);
  // Alpha needs premultiplying only when some pixel is not opaque; the check costs far less than the work.
  const bool opaque = source.IsOpaque();
  // Alpha first: the colours are un-premultiplied by it.
  static constexpr int kOpaqueOrder[] = {0, 1, 2}, kAlphaOrder[] = {3, 0, 1, 2};
  const std::span<const int> order = opaque ? std::span<const int>(kOpaqueOrder) : std::span<const int>(kAlphaOrder);
  for (const int channel : order) {
    const int shift = 8 * channel;
    for (int y = 0; y < sourceHeight; ++y) {
      const Argb* row = source.Row(y);
      float* plane = in.Row(y + state.borderY) + state.borderX;
      if (opaque || channel == 3) {
        for (int x = 0; x < sourceWidth; ++x) plane[x] = static_cast<float>((row[x] >> shift) & 0xFFu);
      } else {
        for (int x = 0; x < sourceWidth; ++x) {
          plane[x] = static_cast<float>((row[x] >> shift) & 0xFFu) * static_cast<float>(row[x] >> 24) * (1.0f / 255);
        }
      }
    }
    state.Process();
    for (int y = 0; y < height; ++y) {
      const float* plane = scaled.Row(y);
      const float* weightUp = &state.weightUp[static_cast<std::size_t>(y) * outWidth];
      float* alpha = &state.alpha[static_cast<std::size_t>(y) * outWidth];
      Argb* row = out.Row(y);
      if (opaque) {
        for (int x = 0; x < width; ++x) row[x] |= Argb{ToByte(plane[x] * weightUp[x])} << shift;
      } else if (channel == 3) {
        for (int x = 0; x < width; ++x) {
          alpha[x] = std::clamp(plane[x] * weightUp[x], 0.0f, 255.0f);
          row[x] = Argb{ToByte(alpha[x])} << 24;
        }
      } else {
        // Back to straight alpha. The filter's negative lobes can leave a colour above
        // its alpha, which no premultiplied pixel can hold; it is clamped to the alpha.
        for (int x = 0; x < width; ++x) {
          if (row[x] == 0) continue;  // alpha rounds to 0: the pixel stays transparent black
          const float premultiplied = std::min(plane[x] * weightUp[x], alpha[x]);
          row[x] |= Argb{ToByte(premultiplied * 255.0f / alpha[x])} << shift;
        }
      }
    }
  }
  if (opaque) {
    for (Argb& c : out.Pixels()) c |= 0xFF000000u;
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

void SnapAlphaAtHalf(Bitmap& bitmap) {
  for (Argb& c : bitmap.Pixels()) c = AlphaOf(c) >= kHalfAlpha ? (c | 0xFF000000u) : kTransparentWhite;
}

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
