// Stretched drawing: separable Catmull-Rom bicubic resampling in floating point.
// When shrinking, the filter widens by the shrink factor so every source pixel
// counts. At the picture's edges the taps that fall outside are dropped and the
// rest weighted up to a sum of one: an icon is shrunk by 10x and more, its
// filter then reaches two output pixels in from every edge, and mirroring the
// picture there (as general-purpose scalers do) bends its edge colours.
// Colours are premultiplied by alpha for the filter, so transparent pixels do
// not bleed their (meaningless) colour into the edges of what is drawn; the
// result is un-premultiplied again.

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "platform/error.h"

namespace resmill::image::graphics {

namespace {

// Catmull-Rom: the Mitchell-Netravali cubic with B = 0, C = 1/2.
double CatmullRom(double x) {
  x = std::abs(x);
  if (x < 1.0) return (1.5 * x - 2.5) * x * x + 1.0;
  if (x < 2.0) return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
  return 0.0;
}
constexpr double kSupport = 2.0;

// The taps of one axis: output pixel i reads `count[i]` source pixels from `first[i]`.
struct Taps {
  std::vector<int> first, count;
  std::vector<float> weights;  ///< `stride` per output pixel
  int stride = 0;
};

Taps MakeTaps(int from, int to) {
  const double factor = static_cast<double>(to) / from;
  const double widen = std::max(1.0 / factor, 1.0);
  const double support = kSupport * widen;
  Taps taps;
  taps.stride = static_cast<int>(std::ceil(2.0 * support)) + 2;
  taps.first.resize(static_cast<std::size_t>(to));
  taps.count.resize(static_cast<std::size_t>(to));
  taps.weights.assign(static_cast<std::size_t>(to) * static_cast<std::size_t>(taps.stride), 0.0f);
  std::vector<double> w(static_cast<std::size_t>(taps.stride));
  for (int i = 0; i < to; ++i) {
    // The output pixel's centre on the source axis; a hair to the right, so that a
    // centre falling exactly between two pixels takes the same side at every size.
    const double centre = (i + 0.5) / factor + 1e-12;
    int begin = static_cast<int>(std::max(centre - support + 0.5, 0.0));
    int end = static_cast<int>(std::min(centre + support + 0.5, static_cast<double>(from)));
    end = std::clamp(end, begin + 1, std::min(from, begin + taps.stride));
    begin = std::min(begin, from - 1);
    double sum = 0.0;
    for (int j = begin; j < end; ++j) sum += w[static_cast<std::size_t>(j - begin)] = CatmullRom((j - centre + 0.5) / widen);
    if (sum == 0.0) {  // only where the filter is all but gone: the nearest pixel
      std::fill(w.begin(), w.end(), 0.0);
      w[static_cast<std::size_t>(std::clamp(static_cast<int>(centre), begin, end - 1) - begin)] = sum = 1.0;
    }
    taps.first[static_cast<std::size_t>(i)] = begin;
    taps.count[static_cast<std::size_t>(i)] = end - begin;
    float* out = &taps.weights[static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.stride)];
    for (int n = 0; n < end - begin; ++n) out[n] = static_cast<float>(w[static_cast<std::size_t>(n)] / sum);
  }
  return taps;
}

// A premultiplied pixel in floating point: red, green, blue (0…255 times alpha), alpha (0…1).
using Sample = std::array<float, 4>;

// What one pass leaves for the next, as a stored picture holds it: alpha within 0…1 and
// colours within 0…255 once un-premultiplied (the filter's lobes overshoot at sharp edges).
Sample Clamped(Sample s) {
  float a = std::clamp(s[3], 0.0f, 1.0f);
  if (a <= 0.0f) return Sample{};
  float k = a / s[3];
  for (int c = 0; c < 3; ++c) s[c] = std::clamp(s[c] * k, 0.0f, 255.0f * a);
  s[3] = a;
  return s;
}

Sample Load(const Sample& s) { return s; }
Sample Load(Argb c) {
  float a = AlphaOf(c) / 255.0f;
  return Sample{RedOf(c) * a, GreenOf(c) * a, BlueOf(c) * a, a};
}

// Filters `lines` lines of `in` (`along` apart along the line, `across` apart from
// line to line) into `out` (likewise `outAlong`, `outAcross`), one output pixel per
// tap set. The source picture is read as it is, not copied: it may be large.
template <typename Pixel>
void FilterLines(const Pixel* in, std::ptrdiff_t along, std::ptrdiff_t across, int lines, const Taps& taps,
                 Sample* out, std::ptrdiff_t outAlong, std::ptrdiff_t outAcross) {
  const int size = static_cast<int>(taps.first.size());
  for (int line = 0; line < lines; ++line) {
    const Pixel* source = in + line * across;
    Sample* target = out + line * outAcross;
    for (int i = 0; i < size; ++i) {
      const float* w = &taps.weights[static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.stride)];
      const Pixel* p = source + taps.first[static_cast<std::size_t>(i)] * along;
      float r = 0, g = 0, b = 0, a = 0;
      for (int n = 0, count = taps.count[static_cast<std::size_t>(i)]; n < count; ++n, p += along) {
        const Sample v = Load(*p);
        r += w[n] * v[0];
        g += w[n] * v[1];
        b += w[n] * v[2];
        a += w[n] * v[3];
      }
      target[i * outAlong] = Clamped(Sample{r, g, b, a});
    }
  }
}

}  // namespace

// The taps of both axes, kept while the sizes stay the same (every frame of an
// animation): working them out costs more than scaling an icon.
struct Scaler::State {
  int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
  Taps across, down;
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
  if (state.across.first.empty() || state.sourceWidth != sourceWidth || state.sourceHeight != sourceHeight ||
      state.width != width || state.height != height) {
    state.across = MakeTaps(sourceWidth, width);
    state.down = MakeTaps(sourceHeight, height);
    state.sourceWidth = sourceWidth;
    state.sourceHeight = sourceHeight;
    state.width = width;
    state.height = height;
  }

  const Argb* in = source.Pixels().data();
  // The axis that shrinks most goes second, so the first pass does the least work.
  const bool acrossFirst = static_cast<double>(width) / sourceWidth > static_cast<double>(height) / sourceHeight;
  std::vector<Sample> middle, scaled(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  if (acrossFirst) {
    middle.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(sourceHeight));
    FilterLines(in, 1, sourceWidth, sourceHeight, state.across, middle.data(), 1, width);
    FilterLines(middle.data(), width, 1, width, state.down, scaled.data(), width, 1);
  } else {
    middle.resize(static_cast<std::size_t>(sourceWidth) * static_cast<std::size_t>(height));
    FilterLines(in, sourceWidth, 1, sourceWidth, state.down, middle.data(), sourceWidth, 1);
    FilterLines(middle.data(), 1, sourceWidth, height, state.across, scaled.data(), 1, width);
  }

  Bitmap out(width, height);
  auto pixels = out.Pixels();
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const Sample& s = scaled[i];
    const auto alpha = static_cast<std::uint8_t>(std::lround(s[3] * 255.0f));
    if (alpha == 0) {
      pixels[i] = 0;
      continue;
    }
    auto straight = [&](float premultiplied) {
      return static_cast<std::uint8_t>(std::lround(std::clamp(premultiplied / s[3], 0.0f, 255.0f)));
    };
    pixels[i] = MakeArgb(alpha, straight(s[0]), straight(s[1]), straight(s[2]));
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
