// Stretched drawing: Catmull-Rom bicubic resampling, separable, with the
// weights of each axis worked out once per call. Alpha is premultiplied for the
// filter, so transparent pixels do not bleed their (meaningless) colour into
// the edges of what is drawn. Icons are small and drawn one after another by the
// thousand, so the filter runs in one pass over the source rows, keeping only
// the few horizontally resampled rows the current output row needs.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/graphics/graphics.h"
#include "platform/error.h"

namespace resmill::image::graphics {

namespace {

static_assert(std::endian::native == std::endian::little, "Argb words are B G R A in memory");

// Four channels (B, G, R, A) of one pixel, so that the compiler keeps each in one SIMD register.
typedef float Channels __attribute__((vector_size(16)));

// Catmull-Rom cubic: B-spline 0, tension 0.5; support 2.
float CatmullRom(double x) {
  x = std::fabs(x);
  if (x < 1.0) return static_cast<float>(1.0 - x * x * (2.5 - 1.5 * x));
  if (x < 2.0) return static_cast<float>(2.0 - x * (4.0 + x * (0.5 * x - 2.5)));
  return 0.0f;
}

// How each output sample along one axis is made from `taps` consecutive input
// samples starting at first[o]: the same count for every output keeps the inner
// loops free of bounds checks.
struct AxisFilter {
  int taps = 0;
  std::vector<int> first;
  std::vector<float> weights;  // taps per output sample
  std::vector<Channels> spread;  // the same weights, each in all four lanes (horizontal pass)
};

AxisFilter MakeAxisFilter(int in, int out) {
  const double scale = static_cast<double>(out) / in;
  // When shrinking, the kernel widens over the input so that every input sample counts.
  const double widen = std::max(1.0, 1.0 / scale);
  const double support = 2.0 * widen;
  // Input samples i whose centre i + 0.5 lies within the support around the output's centre.
  auto range = [&](int o) {
    const double center = (o + 0.5) / scale;
    return std::pair{static_cast<int>(std::floor(center - support - 0.5)) + 1,
                     static_cast<int>(std::ceil(center + support - 0.5)) - 1};
  };
  AxisFilter f;
  for (int o = 0; o < out; ++o) {
    auto [from, to] = range(o);
    f.taps = std::max(f.taps, std::clamp(to, 0, in - 1) - std::clamp(from, 0, in - 1) + 1);
  }
  f.first.resize(static_cast<std::size_t>(out));
  f.weights.assign(static_cast<std::size_t>(out) * f.taps, 0.0f);
  std::vector<double> w(static_cast<std::size_t>(f.taps));
  for (int o = 0; o < out; ++o) {
    auto [from, to] = range(o);
    const double center = (o + 0.5) / scale;
    // A run of f.taps samples that holds the clamped range and stays inside the input.
    const int first = std::min(std::clamp(from, 0, in - 1), in - f.taps);
    std::fill(w.begin(), w.end(), 0.0);
    double total = 0.0;
    for (int i = from; i <= to; ++i) {
      const double weight = CatmullRom((i + 0.5 - center) / widen);
      // Samples beyond the edges repeat the edge sample: their weight goes to it.
      w[static_cast<std::size_t>(std::clamp(i, 0, in - 1) - first)] += weight;
      total += weight;
    }
    f.first[static_cast<std::size_t>(o)] = first;
    float* target = f.weights.data() + static_cast<std::size_t>(o) * f.taps;
    for (int k = 0; k < f.taps; ++k) {
      target[k] = static_cast<float>(total != 0.0 ? w[static_cast<std::size_t>(k)] / total : 0.0);
    }
  }
  f.spread.reserve(f.weights.size());
  for (float x : f.weights) f.spread.push_back(Channels{x, x, x, x});
  return f;
}

// One source row resampled horizontally into `out` (width pixels of Channels),
// premultiplied when `premultiply`.
void ResampleRow(const Argb* row, int inWidth, const AxisFilter& fx, bool premultiply, std::vector<Channels>& line,
                 Channels* out) {
  int x = 0;
#if defined(__SSE2__)
  // Four pixels at a time: bytes widened to 16 and then 32 bits, then to float.
  const __m128i zero = _mm_setzero_si128();
  for (; x + 4 <= inWidth; x += 4) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
    __m128 lanes[4] = {_mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)),
                       _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)),
                       _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero))};
    for (int k = 0; k < 4; ++k) {
      Channels v;
      std::memcpy(&v, &lanes[k], sizeof v);
      line[static_cast<std::size_t>(x + k)] = v;
    }
  }
#endif
  for (; x < inWidth; ++x) {
    Argb c = row[x];
    line[static_cast<std::size_t>(x)] = Channels{static_cast<float>(BlueOf(c)), static_cast<float>(GreenOf(c)),
                                                 static_cast<float>(RedOf(c)), static_cast<float>(AlphaOf(c))};
  }
  if (premultiply) {
    for (Channels& v : line) v *= Channels{v[3], v[3], v[3], 255.0f} * (1.0f / 255.0f);
  }
  const int taps = fx.taps;
  const std::size_t outWidth = fx.first.size();
  for (std::size_t o = 0; o < outWidth; ++o) {
    const Channels* w = fx.spread.data() + o * taps;
    const Channels* in = line.data() + fx.first[o];
    Channels sum = {0, 0, 0, 0};
#pragma GCC unroll 4
    for (int k = 0; k < taps; ++k) sum += w[k] * in[k];
    out[o] = sum;
  }
}

std::uint8_t ToByte(float v) {
  // Catmull-Rom overshoots at sharp edges: clamp, then round half up.
  return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f);
}

// `source` resampled to width × height, straight (not premultiplied) alpha.
Bitmap Resample(const Bitmap& source, int width, int height) {
  Bitmap out(width, height);
  if (source.Width() == width && source.Height() == height) {
    std::copy(source.Pixels().begin(), source.Pixels().end(), out.Pixels().begin());
    return out;
  }
  // Alpha needs premultiplying only when some pixel is not opaque; the check costs far less than the work.
  const bool premultiply = !source.IsOpaque();
  const AxisFilter fx = MakeAxisFilter(source.Width(), width);
  const AxisFilter fy = MakeAxisFilter(source.Height(), height);
  const std::size_t w = static_cast<std::size_t>(width);
  // Horizontally resampled source rows, by source row modulo the ring size: the
  // rows of one output row are consecutive and never more than fy.taps.
  const int ring = fy.taps;
  std::vector<Channels> rows(static_cast<std::size_t>(ring) * w);
  std::vector<Channels> line(static_cast<std::size_t>(source.Width()));
  std::vector<const Channels*> tapRows(static_cast<std::size_t>(ring));
  int ready = 0;  // source rows below this have been resampled (the last `ring` of them are kept)
  for (int y = 0; y < height; ++y) {
    const int first = fy.first[static_cast<std::size_t>(y)];
    ready = std::max(ready, first);  // rows no output row needs are skipped
    for (; ready < first + fy.taps; ++ready) {
      ResampleRow(source.Row(ready), source.Width(), fx, premultiply, line,
                  rows.data() + static_cast<std::size_t>(ready % ring) * w);
    }
    const Channels* wy = fy.spread.data() + static_cast<std::size_t>(y) * fy.taps;
    for (int k = 0; k < fy.taps; ++k) {
      tapRows[static_cast<std::size_t>(k)] = rows.data() + static_cast<std::size_t>((first + k) % ring) * w;
    }
    Argb* target = out.Row(y);
    for (std::size_t x = 0; x < w; ++x) {
      Channels v = {0, 0, 0, 0};
#pragma GCC unroll 4
      for (int k = 0; k < fy.taps; ++k) v += wy[k] * tapRows[static_cast<std::size_t>(k)][x];
      std::uint8_t alpha = premultiply ? ToByte(v[3]) : 255;
      if (alpha == 0) {
        target[x] = 0;
        continue;
      }
      if (premultiply) v *= 255.0f / v[3];
      target[x] = MakeArgb(alpha, ToByte(v[2]), ToByte(v[1]), ToByte(v[0]));
    }
  }
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
