// BMP, our own small codec: what Windows and the common picture tools write.
// Reading: 1, 4, 8, 16, 24 and 32 bits per pixel, bit-field masks, RLE4 and
// RLE8, bottom-up and top-down rows, core (OS/2 1.x), info, OS/2 2.x, V4 and V5
// headers. Writing: 24-bit when every pixel is opaque, else 32-bit with an
// alpha mask in a V4 header.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "image/graphics/codecs.h"
#include "platform/error.h"

namespace resmill::image::graphics::codec {

namespace {

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct Header {
  std::uint32_t headerSize = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive, see topDown
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t coloursUsed = 0;
  std::uint32_t dataOffset = 0;
  std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
  bool haveMasks = false;
};

std::optional<Header> ParseHeader(std::span<const std::uint8_t> data) {
  if (data.size() < 26 || data[0] != 'B' || data[1] != 'M') return std::nullopt;
  Header h;
  h.dataOffset = U32(&data[10]);
  h.headerSize = U32(&data[14]);
  const std::uint8_t* p = &data[14];
  if (h.headerSize == 12) {
    h.width = U16(p + 4);
    h.height = U16(p + 6);
    h.bits = U16(p + 10);
  } else if (h.headerSize >= 16 && h.headerSize <= 124 + 256) {
    // OS/2 2.x headers may be cut short after any field; missing fields are zero.
    std::array<std::uint8_t, 124> full{};
    std::size_t have = std::min<std::size_t>({h.headerSize, full.size(), data.size() - 14});
    std::memcpy(full.data(), p, have);
    h.width = static_cast<std::int32_t>(U32(&full[4]));
    auto height = static_cast<std::int32_t>(U32(&full[8]));
    h.topDown = height < 0;
    h.height = height < 0 ? -static_cast<std::int64_t>(height) : height;
    h.bits = U16(&full[14]);
    h.compression = U32(&full[16]);
    h.coloursUsed = U32(&full[32]);
    if (h.headerSize >= 52) {
      h.masks = {U32(&full[40]), U32(&full[44]), U32(&full[48]), h.headerSize >= 56 ? U32(&full[52]) : 0};
      h.haveMasks = true;
    }
    if (h.headerSize == 64 && h.compression == 3 && h.bits == 1) return std::nullopt;  // OS/2 Huffman 1D
  } else {
    return std::nullopt;
  }
  if (h.width <= 0 || h.height <= 0) return std::nullopt;
  switch (h.bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return std::nullopt;
  }
  return h;
}

struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;
  std::uint8_t Extract(std::uint32_t v) const {
    if (mask == 0) return 0;
    std::uint32_t raw = (v & mask) >> shift;
    return static_cast<std::uint8_t>((raw * 255 + max / 2) / max);
  }
};

Channel MakeChannel(std::uint32_t mask) {
  Channel c;
  if (mask == 0) return c;
  c.shift = std::countr_zero(mask);
  std::uint32_t bits = mask >> c.shift;
  // Only the low contiguous run counts; a mask with holes is read by its low run.
  int width = std::countr_one(bits);
  if (width > 16) {  // keep the top 16 bits so (raw × 255) stays in 32 bits
    c.shift += width - 16;
    width = 16;
  }
  c.max = (1u << width) - 1;
  c.mask = c.max << c.shift;
  return c;
}

}  // namespace

std::optional<PictureInfo> BmpInfo(std::span<const std::uint8_t> data) {
  auto h = ParseHeader(data);
  if (!h || h->width > 0x7FFFFFFF || h->height > 0x7FFFFFFF) return std::nullopt;
  return PictureInfo{PictureFormat::Bmp, static_cast<int>(h->width), static_cast<int>(h->height), h->bits};
}

std::optional<Bitmap> DecodeBmp(std::span<const std::uint8_t> data) {
  auto parsed = ParseHeader(data);
  if (!parsed) return std::nullopt;
  const Header& h = *parsed;
  if (!SizeAcceptable(static_cast<std::uint64_t>(h.width), static_cast<std::uint64_t>(h.height))) return std::nullopt;
  const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  if (rle && (h.topDown || (h.compression == kBiRle8 && h.bits != 8) || (h.compression == kBiRle4 && h.bits != 4))) {
    return std::nullopt;
  }
  if (!rle && h.compression != kBiRgb && h.compression != kBiBitfields && h.compression != kBiAlphaBitfields) {
    return std::nullopt;  // embedded JPEG/PNG and OS/2 Huffman are not read
  }

  // Masks: after a 40-byte header they follow it (3, or 4 for alpha bit-fields).
  std::array<std::uint32_t, 4> masks = h.masks;
  std::size_t afterHeader = 14 + h.headerSize;
  bool bitfields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  bool defaultMasks = !bitfields;
  if (bitfields && !h.haveMasks) {
    std::size_t n = h.compression == kBiAlphaBitfields ? 4 : 3;
    if (h.dataOffset == afterHeader) {
      // Some writers (ImageMagick's 5-5-5 BMP3 among them) declare bit-fields but store no
      // masks: the pixels start right after the header. Read them with the default masks.
      defaultMasks = true;
    } else {
      if (data.size() < afterHeader + 4 * n) return std::nullopt;
      for (std::size_t i = 0; i < n; ++i) masks[i] = U32(&data[afterHeader + 4 * i]);
      afterHeader += 4 * n;
    }
  }
  if (bitfields && h.bits != 16 && h.bits != 32) return std::nullopt;

  // Palette.
  std::array<Argb, 256> palette{};
  palette.fill(MakeArgb(255, 0, 0, 0));
  if (h.bits <= 8) {
    std::size_t entrySize = h.headerSize == 12 ? 3 : 4;
    std::size_t count = h.coloursUsed != 0 && h.coloursUsed < (1u << h.bits) ? h.coloursUsed : (1u << h.bits);
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t at = afterHeader + i * entrySize;
      if (at + 3 > data.size()) break;
      palette[i] = MakeArgb(255, data[at + 2], data[at + 1], data[at]);
    }
    afterHeader += count * entrySize;
  }
  std::size_t offset = h.dataOffset >= 14 + 12 && h.dataOffset < data.size() ? h.dataOffset : afterHeader;
  if (offset >= data.size()) return std::nullopt;
  std::span<const std::uint8_t> pixels = data.subspan(offset);

  auto rowOf = [&](int fileRow) { return h.topDown ? fileRow : height - 1 - fileRow; };

  if (rle) {
    // Pixels that the runs skip (delta, early end of line or bitmap) stay transparent.
    Bitmap bitmap(width, height, 0);
    const bool four = h.compression == kBiRle4;
    std::size_t i = 0;
    int x = 0, row = 0;
    auto put = [&](std::uint8_t index) {
      if (x < width && row < height) bitmap.Set(x, rowOf(row), palette[index]);
      ++x;
    };
    while (i + 1 < pixels.size() && row < height) {
      std::uint8_t count = pixels[i], value = pixels[i + 1];
      i += 2;
      if (count > 0) {
        for (int k = 0; k < count; ++k) put(four ? ((k & 1) ? (value & 15) : (value >> 4)) : value);
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++row;
      } else if (value == 1) {  // end of bitmap
        break;
      } else if (value == 2) {  // delta
        if (i + 1 >= pixels.size()) break;
        x += pixels[i];
        row += pixels[i + 1];
        i += 2;
      } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
        std::size_t bytes = four ? (value + 1u) / 2 : value;
        if (i + bytes > pixels.size()) break;
        for (int k = 0; k < value; ++k) {
          put(four ? ((k & 1) ? (pixels[i + k / 2] & 15) : (pixels[i + k / 2] >> 4)) : pixels[i + k]);
        }
        i += (bytes + 1) & ~std::size_t{1};
      }
    }
    return bitmap;
  }

  const std::size_t stride = ((static_cast<std::size_t>(width) * h.bits + 31) / 32) * 4;
  if (pixels.size() < stride * (height - 1) + (static_cast<std::size_t>(width) * h.bits + 7) / 8) {
    return std::nullopt;  // truncated pixel data
  }
  Bitmap bitmap(width, height);
  if (h.bits <= 8) {
    const int perByte = 8 / h.bits, valueMask = (1 << h.bits) - 1;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
      const std::uint8_t* in = pixels.data() + stride * fileRow;
      Argb* out = bitmap.Row(rowOf(fileRow));
      for (int x = 0; x < width; ++x) {
        int shift = 8 - h.bits * (x % perByte + 1);
        out[x] = palette[(in[x / perByte] >> shift) & valueMask];
      }
    }
    return bitmap;
  }
  if (h.bits == 24) {
    for (int fileRow = 0; fileRow < height; ++fileRow) {
      const std::uint8_t* in = pixels.data() + stride * fileRow;
      Argb* out = bitmap.Row(rowOf(fileRow));
      for (int x = 0; x < width; ++x, in += 3) out[x] = MakeArgb(255, in[2], in[1], in[0]);
    }
    return bitmap;
  }
  // 16 and 32 bits: the default masks are 5-5-5 and 8-8-8; alpha only when a mask names it.
  if (defaultMasks) {
    masks = h.bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                         : std::array<std::uint32_t, 4>{0x00FF0000, 0x0000FF00, 0x000000FF, h.masks[3]};
  }
  Channel red = MakeChannel(masks[0]), green = MakeChannel(masks[1]), blue = MakeChannel(masks[2]),
          alpha = MakeChannel(masks[3]);
  for (int fileRow = 0; fileRow < height; ++fileRow) {
    const std::uint8_t* in = pixels.data() + stride * fileRow;
    Argb* out = bitmap.Row(rowOf(fileRow));
    for (int x = 0; x < width; ++x) {
      std::uint32_t v = h.bits == 16 ? U16(in + 2 * x) : U32(in + 4 * x);
      std::uint8_t a = alpha.mask != 0 ? alpha.Extract(v) : 255;
      out[x] = MakeArgb(a, red.Extract(v), green.Extract(v), blue.Extract(v));
    }
  }
  // A 32-bit picture without an alpha mask: tools that meant alpha still store it in the
  // fourth byte; use it when any pixel's fourth byte is non-zero, else all stay opaque.
  if (h.bits == 32 && alpha.mask == 0 && defaultMasks) {
    bool anyAlpha = false;
    for (int fileRow = 0; fileRow < height && !anyAlpha; ++fileRow) {
      const std::uint8_t* in = pixels.data() + stride * fileRow;
      for (int x = 0; x < width; ++x) {
        if (in[4 * x + 3] != 0) {
          anyAlpha = true;
          break;
        }
      }
    }
    if (anyAlpha) {
      for (int fileRow = 0; fileRow < height; ++fileRow) {
        const std::uint8_t* in = pixels.data() + stride * fileRow;
        Argb* out = bitmap.Row(rowOf(fileRow));
        for (int x = 0; x < width; ++x) out[x] = (out[x] & 0x00FFFFFFu) | (Argb{in[4 * x + 3]} << 24);
      }
    }
  }
  return bitmap;
}

std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap) {
  if (bitmap.Empty()) throw Error(Error::Kind::Refused, "cannot write an empty picture as BMP");
  const bool opaque = bitmap.IsOpaque();
  const int bits = opaque ? 24 : 32;
  const std::uint32_t headerSize = opaque ? 40 : 108;
  const std::size_t stride = ((static_cast<std::size_t>(bitmap.Width()) * bits + 31) / 32) * 4;
  const std::size_t imageSize = stride * bitmap.Height();
  const std::uint32_t dataOffset = 14 + headerSize;
  std::vector<std::uint8_t> out;
  out.reserve(dataOffset + imageSize);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(dataOffset + imageSize));
  Put32(out, 0);
  Put32(out, dataOffset);
  Put32(out, headerSize);
  Put32(out, static_cast<std::uint32_t>(bitmap.Width()));
  Put32(out, static_cast<std::uint32_t>(bitmap.Height()));  // bottom-up, as every reader expects
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(bits));
  Put32(out, opaque ? kBiRgb : kBiBitfields);
  Put32(out, static_cast<std::uint32_t>(imageSize));
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  if (!opaque) {
    Put32(out, 0x00FF0000);
    Put32(out, 0x0000FF00);
    Put32(out, 0x000000FF);
    Put32(out, 0xFF000000);
    Put32(out, 0x73524742);  // colour space 'sRGB'
    out.insert(out.end(), 36 + 12, 0);  // end points and gamma, unused with sRGB
  }
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    const Argb* row = bitmap.Row(y);
    std::size_t start = out.size();
    for (int x = 0; x < bitmap.Width(); ++x) {
      out.push_back(BlueOf(row[x]));
      out.push_back(GreenOf(row[x]));
      out.push_back(RedOf(row[x]));
      if (!opaque) out.push_back(AlphaOf(row[x]));
    }
    out.resize(start + stride, 0);
  }
  return out;
}

}  // namespace resmill::image::graphics::codec
