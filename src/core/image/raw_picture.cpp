#include "image/raw_picture.h"

#include <algorithm>

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::image {

using graphics::Argb;
using graphics::Bitmap;
using graphics::MakeArgb;

namespace {

[[noreturn]] void ThrowTooLarge(const std::filesystem::path& file, std::uint64_t width, std::uint64_t height,
                                std::string_view limit) {
  throw Error(Error::Kind::Limit, fmt::format("{}: a picture of {} x {} pixels is larger than {}", file.string(),
                                              width, height, limit));
}

void CheckRawSize(std::uint64_t width, std::uint64_t height, const std::filesystem::path& file) {
  if (width * height > kMaxRawPixels) ThrowTooLarge(file, width, height, "a RAW picture may be (38,721 pixels)");
}

int EncoderFor(std::string_view mime) {
  int index = graphics::FindEncoderByMime(mime);
  if (index < 0) throw Error(Error::Kind::Refused, fmt::format("no picture encoder for \"{}\"", mime));
  return index;
}

Bitmap LoadSource(const std::filesystem::path& picture) {
  std::optional<Bitmap> bitmap = graphics::LoadBitmap(picture);
  return bitmap ? std::move(*bitmap) : Bitmap();
}

// The byte counts a K picture of this header spans, checked against the K limits.
struct KExtent {
  std::uint64_t pixelBytes;  // stride × height as the header's stride gives it
  std::uint64_t maskBytes;   // 0 for the 32-bit layout
  std::uint64_t bufferBytes; // what per-pixel reads can reach
};

KExtent CheckKHeader(const KHeader& h, KLayout layout, const std::filesystem::path& file) {
  if (h.width == 0 || h.height == 0) {
    ThrowFormatError(file, "offset 0x000000", fmt::format("K picture of {} x {} pixels has no pixels", h.width, h.height));
  }
  const std::uint64_t w = h.width, hh = h.height;
  const std::uint64_t natural = layout == KLayout::Bits18 ? KStride18(w) : 4 * w;
  KExtent e{std::uint64_t{h.stride} * hh, layout == KLayout::Bits18 ? KMaskStride(w) * hh : 0, 0};
  if (natural * hh > kMaxKBytes || e.pixelBytes > kMaxKBytes || e.maskBytes > kMaxKBytes) {
    ThrowTooLarge(file, w, hh, "a K picture may be (1,228,801 bytes of pixels and of mask)");
  }
  // A stride shorter than a row still decodes; the row then reads on into the next one.
  e.bufferBytes = std::max(e.pixelBytes, (hh - 1) * h.stride + natural);
  return e;
}

}  // namespace

KHeader ReadKHeader(std::span<const std::uint8_t> bytes, const std::filesystem::path& file) {
  if (bytes.size() < kKHeaderSize) {
    ThrowFormatError(file, fmt::format("offset {}", HexOffset(bytes.size())),
                     "file ends inside the 16-byte K picture header");
  }
  return KHeader{GetU32LE(&bytes[0]), GetU32LE(&bytes[4]), GetU32LE(&bytes[8]), GetU32LE(&bytes[12])};
}

std::uint64_t KFileLength(const KHeader& h, KLayout layout, const std::filesystem::path& file) {
  const KExtent e = CheckKHeader(h, layout, file);
  return kKHeaderSize + e.pixelBytes + e.maskBytes;
}

// --- RAW -----------------------------------------------------------------------

Bitmap DecodeRawBytes(std::span<const std::uint8_t> bytes, int width, int height, const std::filesystem::path& file) {
  if (width <= 0 || height <= 0) {
    ThrowFormatError(file, "size tag", fmt::format("a RAW picture of {} x {} pixels has no pixels", width, height));
  }
  const std::uint64_t w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
  CheckRawSize(w, h, file);
  const std::size_t count = static_cast<std::size_t>(w * h);
  const std::size_t pixelBytes = std::min(bytes.size(), 2 * count);
  const std::size_t maskBytes = bytes.size() > 2 * count ? bytes.size() - 2 * count : 0;
  const std::uint8_t* mask = bytes.data() + 2 * count;
  Bitmap bitmap(width, height);
  Argb* out = bitmap.Pixels().data();
  for (std::size_t i = 0; i < count; ++i) {
    // A file shorter than its size implies: the pixels it does not reach are transparent.
    if (2 * i + 1 >= pixelBytes || i / 8 >= maskBytes) {
      out[i] = 0;
      continue;
    }
    unsigned word = (unsigned{bytes[2 * i]} << 8) | bytes[2 * i + 1];
    bool transparent = (mask[i / 8] >> (7 - i % 8)) & 1;
    out[i] = MakeArgb(transparent ? 0 : 255, static_cast<std::uint8_t>((word >> 11) * 8),
                      static_cast<std::uint8_t>(((word >> 5) & 63) * 4), static_cast<std::uint8_t>((word & 31) * 8));
  }
  return bitmap;
}

std::vector<std::uint8_t> EncodeRawBytes(const Bitmap& bitmap, const std::filesystem::path& file) {
  const std::uint64_t w = static_cast<std::uint64_t>(bitmap.Width()), h = static_cast<std::uint64_t>(bitmap.Height());
  CheckRawSize(w, h, file);
  const std::size_t count = bitmap.Pixels().size();
  if (bitmap.Empty()) return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(RawFileLength(w, h)), 0);
  std::uint8_t* mask = bytes.data() + 2 * count;
  const Argb* in = bitmap.Pixels().data();
  for (std::size_t i = 0; i < count; ++i) {
    Argb c = in[i];
    unsigned word = (unsigned{graphics::RedOf(c)} >> 3 << 11) | (unsigned{graphics::GreenOf(c)} >> 2 << 5) |
                    (unsigned{graphics::BlueOf(c)} >> 3);
    bytes[2 * i] = static_cast<std::uint8_t>(word >> 8);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(word);
    if (graphics::AlphaOf(c) == 0) mask[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
  }
  return bytes;
}

// --- K ---------------------------------------------------------------------------

Bitmap DecodeKBytes(std::span<const std::uint8_t> bytes, KLayout layout, const std::filesystem::path& file) {
  const KHeader h = ReadKHeader(bytes, file);
  const KExtent e = CheckKHeader(h, layout, file);
  // Bytes the file does not have read as zero: transparent in both layouts.
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(e.bufferBytes), 0);
  std::span<const std::uint8_t> body = bytes.subspan(kKHeaderSize);
  std::copy_n(body.begin(), std::min<std::size_t>(body.size(), static_cast<std::size_t>(e.pixelBytes)),
              pixels.begin());
  const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  Bitmap bitmap(width, height);
  if (layout == KLayout::Bits32) {
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* in = pixels.data() + static_cast<std::size_t>(y) * h.stride;
      Argb* out = bitmap.Row(y);
      for (int x = 0; x < width; ++x, in += 4) out[x] = MakeArgb(in[3], in[2], in[1], in[0]);
    }
    return bitmap;
  }
  const std::size_t maskStride = static_cast<std::size_t>(KMaskStride(h.width));
  std::vector<std::uint8_t> mask(static_cast<std::size_t>(e.maskBytes), 0);
  if (body.size() > e.pixelBytes) {
    std::span<const std::uint8_t> stored = body.subspan(static_cast<std::size_t>(e.pixelBytes));
    std::copy_n(stored.begin(), std::min(stored.size(), mask.size()), mask.begin());
  }
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels.data() + static_cast<std::size_t>(y) * h.stride;
    const std::uint8_t* maskRow = mask.data() + static_cast<std::size_t>(y) * maskStride;
    Argb* out = bitmap.Row(y);
    for (int x = 0; x < width; ++x, in += 3) {
      std::uint32_t v = in[0] | (std::uint32_t{in[1]} << 8) | (std::uint32_t{in[2]} << 16);
      bool opaque = (maskRow[x / 8] >> (x % 8)) & 1;
      out[x] = MakeArgb(opaque ? 255 : 0, static_cast<std::uint8_t>(((v >> 12) & 63) * 4),
                        static_cast<std::uint8_t>(((v >> 6) & 63) * 4), static_cast<std::uint8_t>((v & 63) * 4));
    }
  }
  return bitmap;
}

std::vector<std::uint8_t> EncodeKBytes(const Bitmap& bitmap, KLayout layout, const std::filesystem::path& file) {
  const std::uint64_t w = static_cast<std::uint64_t>(bitmap.Width()), hh = static_cast<std::uint64_t>(bitmap.Height());
  KHeader h{static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(hh), layout == KLayout::Bits18 ? 18u : 32u,
            static_cast<std::uint32_t>(layout == KLayout::Bits18 ? KStride18(w) : 4 * w)};
  if (bitmap.Empty()) {
    ThrowFormatError(file, "picture", "cannot be read as a picture, so no K picture can be made of it");
  }
  const KExtent e = CheckKHeader(h, layout, file);
  std::vector<std::uint8_t> bytes(kKHeaderSize + static_cast<std::size_t>(e.pixelBytes + e.maskBytes), 0);
  PutU32LE(h.width, &bytes[0]);
  PutU32LE(h.height, &bytes[4]);
  PutU32LE(h.bitsPerPixel, &bytes[8]);
  PutU32LE(h.stride, &bytes[12]);
  std::uint8_t* pixels = bytes.data() + kKHeaderSize;
  std::uint8_t* mask = pixels + e.pixelBytes;
  const std::size_t maskStride = static_cast<std::size_t>(KMaskStride(w));
  for (int y = 0; y < bitmap.Height(); ++y) {
    const Argb* in = bitmap.Row(y);
    std::uint8_t* out = pixels + static_cast<std::size_t>(y) * h.stride;
    for (int x = 0; x < bitmap.Width(); ++x) {
      Argb c = in[x];
      if (layout == KLayout::Bits32) {
        out[4 * x] = graphics::BlueOf(c);
        out[4 * x + 1] = graphics::GreenOf(c);
        out[4 * x + 2] = graphics::RedOf(c);
        out[4 * x + 3] = graphics::AlphaOf(c);
        continue;
      }
      std::uint32_t v = (std::uint32_t{graphics::RedOf(c)} >> 2 << 12) |
                        (std::uint32_t{graphics::GreenOf(c)} >> 2 << 6) | (std::uint32_t{graphics::BlueOf(c)} >> 2);
      out[3 * x] = static_cast<std::uint8_t>(v);
      out[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      out[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
      if (graphics::AlphaOf(c) != 0) mask[static_cast<std::size_t>(y) * maskStride + x / 8] |= 1u << (x % 8);
    }
  }
  return bytes;
}

// --- Files -------------------------------------------------------------------------

void DecodeRaw16(const std::filesystem::path& raw, const std::filesystem::path& output, int width,
                 std::string_view mime, int height) {
  EncoderFor(mime);
  if (width <= 0 || height <= 0) {
    ThrowFormatError(raw, "size tag", fmt::format("a RAW picture of {} x {} pixels has no pixels", width, height));
  }
  CheckRawSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), raw);
  std::vector<std::uint8_t> bytes = ReadFileHead(raw, RawFileLength(static_cast<std::uint64_t>(width),
                                                               static_cast<std::uint64_t>(height)));
  WriteFileAtomically(output, RawBytesToPicture(bytes, width, height, mime, raw));
}

std::vector<std::uint8_t> RawBytesToPicture(std::span<const std::uint8_t> bytes, int width, int height,
                                            std::string_view mime, const std::filesystem::path& file) {
  const int encoder = EncoderFor(mime);
  // Bytes beyond the picture's length are never looked at: the decode reads
  // width × height pixels and their mask bits, nothing after.
  return graphics::EncodeBitmap(DecodeRawBytes(bytes, width, height, file), encoder);
}

namespace {
RawSize DecodeK(const std::filesystem::path& k, const std::filesystem::path& output, std::string_view mime,
                KLayout layout) {
  int encoder = EncoderFor(mime);
  // Pixel data and mask may each reach the K limit; nothing beyond them is read.
  std::vector<std::uint8_t> bytes = ReadFileHead(k, kKHeaderSize + 2 * kMaxKBytes);
  KHeader h = ReadKHeader(bytes, k);
  graphics::SaveBitmap(DecodeKBytes(bytes, layout, k), output, encoder);
  return {static_cast<int>(std::min<std::uint32_t>(h.width, INT32_MAX)),
          static_cast<int>(std::min<std::uint32_t>(h.height, INT32_MAX))};
}

void EncodeK(const std::filesystem::path& picture, const std::filesystem::path& k, KLayout layout) {
  Bitmap bitmap = LoadSource(picture);
  if (bitmap.Empty()) ThrowFormatError(picture, "offset 0x000000", "not a picture that can be read");
  WriteFileAtomically(k, EncodeKBytes(bitmap, layout, picture));
}
}  // namespace

RawSize DecodeK18(const std::filesystem::path& k, const std::filesystem::path& output, std::string_view mime) {
  return DecodeK(k, output, mime, KLayout::Bits18);
}

RawSize DecodeK32(const std::filesystem::path& k, const std::filesystem::path& output, std::string_view mime) {
  return DecodeK(k, output, mime, KLayout::Bits32);
}

void EncodeK18(const std::filesystem::path& picture, const std::filesystem::path& k) {
  EncodeK(picture, k, KLayout::Bits18);
}

void EncodeK32(const std::filesystem::path& picture, const std::filesystem::path& k) {
  EncodeK(picture, k, KLayout::Bits32);
}

}  // namespace resmill::image
