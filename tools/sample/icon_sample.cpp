#include "icon_sample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <stdexcept>

#include <gif_lib.h>
#include <png.h>

namespace resmill::sample {

namespace {

constexpr std::uint32_t kTransparent = 0x00000000u;

std::uint32_t Alpha(std::uint32_t c) { return c >> 24; }

// Straight-alpha source-over of `rgb` at `alpha` (0…255) onto `under`.
std::uint32_t Over(std::uint32_t rgb, unsigned alpha, std::uint32_t under) {
  if (alpha == 0) return under;
  const double sa = alpha / 255.0, da = Alpha(under) / 255.0;
  const double oa = sa + da * (1 - sa);
  auto channel = [&](int shift) {
    double s = (rgb >> shift) & 0xFF, d = (under >> shift) & 0xFF;
    return static_cast<std::uint32_t>(std::lround((s * sa + d * da * (1 - sa)) / oa)) << shift;
  };
  return (static_cast<std::uint32_t>(std::lround(oa * 255)) << 24) | channel(16) | channel(8) | channel(0);
}

// The 5 × 7 font: seven rows of five bits, the leftmost pixel in bit 4.
using Glyph = std::array<std::uint8_t, 7>;
Glyph GlyphOf(char c) {
  static const std::map<char, Glyph> kFont = {
      {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
      {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
      {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
      {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
      {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
      {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
      {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
      {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
      {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
      {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
      {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
      {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
      {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
      {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
      {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
      {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
      {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
      {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
      {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
  };
  auto it = kFont.find(c);
  return it != kFont.end() ? it->second : Glyph{0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F};
}

constexpr int kGlyphAdvance = 6;  // five pixels and a gap

const std::uint32_t kColours[] = {0xE02020, 0x2050E0, 0x20A040, 0xF0C020, 0x8030B0, 0x101010, 0x30C0C0};

std::uint32_t ColourAt(int seed, int k) {
  return kColours[static_cast<std::size_t>(seed + k) % (sizeof kColours / sizeof kColours[0])];
}

void PngFailed(png_structp, png_const_charp message) { throw std::runtime_error(std::string("libpng: ") + message); }

int WriteToBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

}  // namespace

IconCanvas::IconCanvas(int width, int height) {
  picture_.width = width;
  picture_.height = height;
  picture_.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kTransparent);
}

template <typename Inside>
void IconCanvas::Fill(double left, double top, double right, double bottom, std::uint32_t rgb, bool antiAliased,
                      Inside inside) {
  const int samples = antiAliased ? 8 : 1;
  const int x0 = std::max(0, static_cast<int>(std::floor(left))), y0 = std::max(0, static_cast<int>(std::floor(top)));
  const int x1 = std::min(picture_.width, static_cast<int>(std::ceil(right)));
  const int y1 = std::min(picture_.height, static_cast<int>(std::ceil(bottom)));
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      int in = 0;
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          in += inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples) ? 1 : 0;
        }
      }
      unsigned alpha = static_cast<unsigned>(std::lround(255.0 * in / (samples * samples)));
      std::uint32_t& pixel = picture_.pixels[static_cast<std::size_t>(y) * picture_.width + x];
      pixel = Over(rgb & 0xFFFFFF, alpha, pixel);
    }
  }
}

void IconCanvas::Circle(double centreX, double centreY, double radius, std::uint32_t rgb, bool antiAliased) {
  Fill(centreX - radius, centreY - radius, centreX + radius, centreY + radius, rgb, antiAliased,
       [&](double x, double y) {
         return (x - centreX) * (x - centreX) + (y - centreY) * (y - centreY) <= radius * radius;
       });
}

void IconCanvas::Rectangle(double left, double top, double right, double bottom, std::uint32_t rgb, bool antiAliased) {
  Fill(left, top, right, bottom, rgb, antiAliased,
       [&](double x, double y) { return x >= left && x < right && y >= top && y < bottom; });
}

void IconCanvas::Text(double left, double top, double scale, std::string_view text, std::uint32_t rgb,
                      bool antiAliased) {
  const double right = left + static_cast<double>(text.size()) * kGlyphAdvance * scale, bottom = top + 7 * scale;
  Fill(left, top, right, bottom, rgb, antiAliased, [&](double x, double y) {
    int column = static_cast<int>(std::floor((x - left) / scale));
    int row = static_cast<int>(std::floor((y - top) / scale));
    if (column < 0 || row < 0 || row >= 7) return false;
    std::size_t letter = static_cast<std::size_t>(column / kGlyphAdvance);
    int inLetter = column % kGlyphAdvance;
    if (letter >= text.size() || inLetter >= 5) return false;
    return ((GlyphOf(text[letter])[static_cast<std::size_t>(row)] >> (4 - inLetter)) & 1) != 0;
  });
}

IconPicture DrawTransparentIcon(int width, int height, bool antiAliased, int seed) {
  IconCanvas canvas(width, height);
  const double w = width, h = height, side = std::min(w, h);
  const double shift = 0.03 * (seed % 3);
  canvas.Circle(w * (0.33 + shift), h * 0.34, side * 0.26, ColourAt(seed, 0), antiAliased);
  canvas.Rectangle(w * 0.47, h * (0.52 + shift), w * 0.93, h * 0.69, ColourAt(seed, 1), antiAliased);
  const double scale = side / 26.0;
  canvas.Text(w * 0.08, h - 7.6 * scale - 0.04 * h, scale, "OK", ColourAt(seed, 2), antiAliased);
  return canvas.Picture();
}

std::size_t OpaqueArea(const IconPicture& picture) {
  return static_cast<std::size_t>(
      std::count_if(picture.pixels.begin(), picture.pixels.end(), [](std::uint32_t c) { return Alpha(c) >= 128; }));
}

IconAnimation DrawTransparentAnimation(int width, int height) {
  const double w = width, h = height;
  IconAnimation animation;
  animation.width = width;
  animation.height = height;

  IconCanvas screen(width, height);
  screen.Circle(w * 0.34, h * 0.32, std::min(w, h) * 0.25, 0xE02020, false);
  screen.Rectangle(w * 0.57, h * 0.55, w * 0.91, h * 0.9, 0x2050E0, false);
  screen.Text(w * 0.06, h * 0.78, std::min(w, h) / 40.0, "12", 0x101010, false);
  animation.frames.push_back({0, 0, screen.Picture(), 1, 10});

  // A smaller frame at an offset, cleared to the background after it was shown.
  const int left1 = static_cast<int>(w * 0.17), top1 = static_cast<int>(h * 0.45);
  IconCanvas disc(static_cast<int>(w * 0.45), static_cast<int>(h * 0.27));
  disc.Circle(w * 0.22, h * 0.135, std::min(w, h) * 0.12, 0x20A040, false);
  animation.frames.push_back({left1, top1, disc.Picture(), 2, 20});

  // Another, put back to what was there before it.
  const int left2 = static_cast<int>(w * 0.51), top2 = static_cast<int>(h * 0.09);
  IconCanvas label(static_cast<int>(w * 0.4), static_cast<int>(h * 0.41));
  label.Rectangle(w * 0.05, h * 0.04, w * 0.35, h * 0.22, 0xF0C020, false);
  label.Text(w * 0.04, h * 0.27, std::min(w, h) / 50.0, "OK", 0x8030B0, false);
  animation.frames.push_back({left2, top2, label.Picture(), 3, 30});
  return animation;
}

Bytes EncodeIconPng(const IconPicture& picture) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) throw std::runtime_error("libpng: cannot start a PNG");
  try {
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
          auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
          bytes->insert(bytes->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(picture.width) * 4);
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        std::uint32_t c = picture.At(x, y);
        png_byte* p = &row[static_cast<std::size_t>(x) * 4];
        p[0] = static_cast<png_byte>(c >> 16);
        p[1] = static_cast<png_byte>(c >> 8);
        p[2] = static_cast<png_byte>(c);
        p[3] = static_cast<png_byte>(c >> 24);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  } catch (...) {
    png_destroy_write_struct(&png, &info);
    throw;
  }
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeIconGif(const IconAnimation& animation) {
  // One global table for every frame's colours; index 0 is the transparent one.
  std::vector<std::uint32_t> colours = {0xFFFFFF};
  for (const IconFrame& frame : animation.frames) {
    for (std::uint32_t c : frame.picture.pixels) {
      if (Alpha(c) != 0 && std::find(colours.begin(), colours.end(), c & 0xFFFFFF) == colours.end()) {
        colours.push_back(c & 0xFFFFFF);
      }
    }
  }
  if (colours.size() > 256) throw std::runtime_error("icon animation: more than 255 colours");
  int tableSize = 2;
  while (tableSize < static_cast<int>(colours.size())) tableSize *= 2;
  std::vector<GifColorType> table(static_cast<std::size_t>(tableSize), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < colours.size(); ++i) {
    table[i] = {static_cast<GifByteType>(colours[i] >> 16), static_cast<GifByteType>(colours[i] >> 8),
                static_cast<GifByteType>(colours[i])};
  }

  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToBytes, &error);
  if (gif == nullptr) throw std::runtime_error("giflib: cannot start a GIF");
  ColorMapObject* map = GifMakeMapObject(tableSize, table.data());
  EGifSetGifVersion(gif, true);
  bool ok = map != nullptr && EGifPutScreenDesc(gif, animation.width, animation.height, 8, 0, map) == GIF_OK;
  if (ok && animation.loops) {
    static const char kApplication[] = "NETSCAPE2.0";
    static const GifByteType kForever[] = {1, 0, 0};
    ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, kApplication) == GIF_OK && EGifPutExtensionBlock(gif, 3, kForever) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
  }
  for (const IconFrame& frame : animation.frames) {
    if (!ok) break;
    GraphicsControlBlock control{};
    control.DisposalMode = frame.disposal;
    control.DelayTime = frame.delay;
    control.TransparentColor = 0;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
         EGifPutImageDesc(gif, frame.left, frame.top, frame.picture.width, frame.picture.height, false, nullptr) ==
             GIF_OK;
    std::vector<GifPixelType> row(static_cast<std::size_t>(frame.picture.width));
    for (int y = 0; ok && y < frame.picture.height; ++y) {
      for (int x = 0; x < frame.picture.width; ++x) {
        std::uint32_t c = frame.picture.At(x, y);
        row[static_cast<std::size_t>(x)] =
            Alpha(c) == 0 ? 0
                          : static_cast<GifPixelType>(std::find(colours.begin() + 1, colours.end(), c & 0xFFFFFF) -
                                                      colours.begin());
      }
      ok = EGifPutLine(gif, row.data(), frame.picture.width) == GIF_OK;
    }
  }
  EGifCloseFile(gif, &error);
  if (map != nullptr) GifFreeMapObject(map);
  if (!ok) throw std::runtime_error("giflib: cannot write the icon animation");
  return out;
}

}  // namespace resmill::sample
