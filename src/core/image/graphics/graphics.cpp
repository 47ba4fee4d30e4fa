#include "image/graphics/graphics.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>

#include <fmt/format.h>
#include <libimagequant.h>

#include "image/graphics/codecs.h"
#include "image/graphics/gif_animation.h"
#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::image::graphics {

// --- Bitmap ------------------------------------------------------------------

Bitmap::Bitmap(int width, int height, Argb fill) {
  if (width < 0 || height < 0 || static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels) {
    throw Error(Error::Kind::Limit, fmt::format("a picture of {} x {} pixels is too large", width, height));
  }
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(width) * height, fill);
}

void Bitmap::Fill(Argb c) { std::fill(pixels_.begin(), pixels_.end(), c); }

bool Bitmap::IsOpaque() const noexcept {
  // Blocks without an early exit inside, so that the compiler can vectorise the AND.
  constexpr std::size_t kBlock = 256;
  const Argb* p = pixels_.data();
  for (std::size_t left = pixels_.size(); left > 0;) {
    std::size_t n = std::min(left, kBlock);
    Argb all = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) all &= p[i];
    if (AlphaOf(all) != 255) return false;
    p += n;
    left -= n;
  }
  return true;
}

bool Bitmap::HasPartialAlpha() const noexcept {
  return std::any_of(pixels_.begin(), pixels_.end(), [](Argb c) { return AlphaOf(c) != 0 && AlphaOf(c) != 255; });
}

// --- Loading -------------------------------------------------------------------

PictureFormat SniffFormat(std::span<const std::uint8_t> head) {
  if (head.size() >= 8 && head[0] == 0x89 && std::memcmp(&head[1], "PNG", 3) == 0) return PictureFormat::Png;
  if (head.size() >= 4 && std::memcmp(head.data(), "GIF8", 4) == 0) return PictureFormat::Gif;
  if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M') return PictureFormat::Bmp;
  if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return PictureFormat::Jpeg;
  return PictureFormat::Unknown;
}

std::string_view FormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Gif: return "GIF";
    case PictureFormat::Bmp: return "BMP";
    case PictureFormat::Jpeg: return "JPEG";
    case PictureFormat::Unknown: break;
  }
  return "unknown";
}

namespace {

// The codec that reads a format: its decoder and the reader of its header alone.
struct Codec {
  std::optional<Bitmap> (*decode)(std::span<const std::uint8_t>);
  std::optional<PictureInfo> (*info)(std::span<const std::uint8_t>);
};

std::optional<Codec> CodecOf(std::span<const std::uint8_t> data) {
  switch (SniffFormat(data)) {
    case PictureFormat::Png: return Codec{&codec::DecodePng, &codec::PngInfo};
    case PictureFormat::Gif: return Codec{&codec::DecodeGif, &codec::GifInfo};
    case PictureFormat::Bmp: return Codec{&codec::DecodeBmp, &codec::BmpInfo};
    case PictureFormat::Jpeg: return Codec{&codec::DecodeJpeg, &codec::JpegInfo};
    case PictureFormat::Unknown: break;
  }
  return std::nullopt;
}

// Reads at most `limit` bytes of a file; nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadFileHeadQuietly(const std::filesystem::path& file, std::int64_t limit) {
  try {
    return ReadFileHead(file, static_cast<std::uint64_t>(limit));
  } catch (const Error&) {
    return std::nullopt;
  }
}

// No picture we can decode is larger than this; bigger files are not read into memory.
constexpr std::int64_t kMaxPictureFileSize = std::int64_t{1} << 30;

}  // namespace

std::optional<Bitmap> LoadBitmap(const std::filesystem::path& file) {
  auto bytes = ReadFileHeadQuietly(file, kMaxPictureFileSize);
  if (!bytes) return std::nullopt;
  return LoadBitmapFromMemory(*bytes);
}

std::optional<Bitmap> LoadBitmapFromMemory(std::span<const std::uint8_t> data) {
  const std::optional<Codec> codec = CodecOf(data);
  return codec ? codec->decode(data) : std::nullopt;
}

std::optional<PictureInfo> ReadPictureInfoFromMemory(std::span<const std::uint8_t> data) {
  const std::optional<Codec> codec = CodecOf(data);
  return codec ? codec->info(data) : std::nullopt;
}

std::optional<PictureInfo> ReadPictureInfo(const std::filesystem::path& file) {
  auto bytes = ReadFileHeadQuietly(file, kHeaderProbeSize);
  if (!bytes) return std::nullopt;
  return ReadPictureInfoFromMemory(*bytes);
}

// --- Saving --------------------------------------------------------------------

namespace {
constexpr std::array<ImageEncoder, 4> kEncoders = {{
    {"image/bmp", ".bmp", PictureFormat::Bmp},
    {"image/jpeg", ".jpg", PictureFormat::Jpeg},
    {"image/gif", ".gif", PictureFormat::Gif},
    {"image/png", ".png", PictureFormat::Png},
}};
constexpr int kJpegQuality = 90;
}  // namespace

std::span<const ImageEncoder> ImageEncoders() { return kEncoders; }

int FindEncoderByMime(std::string_view mime) {
  int found = -1;
  for (std::size_t i = 0; i < kEncoders.size(); ++i) {
    if (kEncoders[i].mime == mime) found = static_cast<int>(i);
  }
  return found;
}

int FindEncoderByExtension(std::string_view extension) {
  for (std::size_t i = 0; i < kEncoders.size(); ++i) {
    if (EqualsCaseBlind(kEncoders[i].extension, extension)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::uint8_t> EncodeBitmap(const Bitmap& bitmap, int encoderIndex) {
  if (encoderIndex < 0 || encoderIndex >= static_cast<int>(kEncoders.size())) {
    throw Error(Error::Kind::Internal, fmt::format("no picture encoder number {}", encoderIndex));
  }
  switch (kEncoders[encoderIndex].format) {
    case PictureFormat::Png: return codec::EncodePng(bitmap);
    case PictureFormat::Gif: return EncodeGif(bitmap);
    case PictureFormat::Bmp: return codec::EncodeBmp(bitmap);
    case PictureFormat::Jpeg: return codec::EncodeJpeg(bitmap, kJpegQuality);
    case PictureFormat::Unknown: break;
  }
  throw Error(Error::Kind::Internal, "picture encoder without a format");
}

void SaveBitmap(const Bitmap& bitmap, const std::filesystem::path& file, int encoderIndex) {
  std::vector<std::uint8_t> bytes = EncodeBitmap(bitmap, encoderIndex);
  WriteFileAtomically(file, bytes);
}

bool SaveBitmap(const Bitmap& bitmap, const std::filesystem::path& file, std::string_view mime) {
  int index = FindEncoderByMime(mime);
  if (index < 0) return false;
  SaveBitmap(bitmap, file, index);
  return true;
}

// --- GIF palettes ----------------------------------------------------------------

namespace {

int PaletteSizeFor(int entries) {
  int size = 2;
  while (size < entries) size *= 2;
  return size;
}

// Slot of the n-th opaque colour: every slot but the transparent one.
int SlotOf(int n) { return n < kGifTransparentIndex ? n : n + 1; }

bool ExactPalette(const Bitmap& bitmap, IndexedPicture& out) {
  std::unordered_map<Argb, std::uint8_t> slots;
  slots.reserve(512);
  std::vector<Argb> colours;
  Argb lastColour = 0;
  std::uint8_t lastSlot = 0;
  bool haveLast = false;
  auto pixels = bitmap.Pixels();
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    Argb c = pixels[i];
    if (AlphaOf(c) == 0) {
      out.indices[i] = kGifTransparentIndex;
      out.hasTransparent = true;
      continue;
    }
    Argb rgb = c & 0x00FFFFFFu;
    if (haveLast && rgb == lastColour) {
      out.indices[i] = lastSlot;
      continue;
    }
    auto [it, added] = slots.try_emplace(rgb, std::uint8_t{0});
    if (added) {
      if (colours.size() == 255) return false;
      it->second = static_cast<std::uint8_t>(SlotOf(static_cast<int>(colours.size())));
      colours.push_back(rgb);
    }
    out.indices[i] = lastSlot = it->second;
    lastColour = rgb;
    haveLast = true;
  }
  int used = colours.empty() ? 0 : SlotOf(static_cast<int>(colours.size()) - 1) + 1;
  if (out.hasTransparent) used = std::max(used, kGifTransparentIndex + 1);
  out.palette.assign(static_cast<std::size_t>(PaletteSizeFor(used)), 0x000000);
  for (std::size_t n = 0; n < colours.size(); ++n) out.palette[SlotOf(static_cast<int>(n))] = colours[n];
  if (out.hasTransparent) out.palette[kGifTransparentIndex] = 0xFFFFFF;
  out.exact = true;
  return true;
}

struct LiqFree {
  void operator()(liq_attr* p) const { liq_attr_destroy(p); }
  void operator()(liq_image* p) const { liq_image_destroy(p); }
  void operator()(liq_result* p) const { liq_result_destroy(p); }
};

void QuantizedPalette(const Bitmap& bitmap, IndexedPicture& out) {
  // The quantiser sees two alphas only: a GIF pixel is either transparent or opaque.
  const auto pixels = bitmap.Pixels();
  std::vector<std::uint8_t> rgba(pixels.size() * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    Argb c = pixels[i];
    bool transparent = AlphaOf(c) == 0;
    rgba[4 * i] = transparent ? 255 : RedOf(c);
    rgba[4 * i + 1] = transparent ? 255 : GreenOf(c);
    rgba[4 * i + 2] = transparent ? 255 : BlueOf(c);
    rgba[4 * i + 3] = transparent ? 0 : 255;
    out.hasTransparent = out.hasTransparent || transparent;
  }
  std::unique_ptr<liq_attr, LiqFree> attr(liq_attr_create());
  if (!attr) throw Error(Error::Kind::Internal, "colour quantiser: out of memory");
  liq_set_max_colors(attr.get(), 255);  // slot 40 stays for the transparent pixels
  // Speed 8 leaves out the slow palette refinement: for icon-sized frames it costs
  // well under 1 dB and saves about four fifths of the quantiser's time.
  liq_set_speed(attr.get(), 8);
  std::unique_ptr<liq_image, LiqFree> image(
      liq_image_create_rgba(attr.get(), rgba.data(), bitmap.Width(), bitmap.Height(), 0));
  if (!image) throw Error(Error::Kind::Internal, "colour quantiser: cannot take the picture");
  liq_result* rawResult = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK) {
    throw Error(Error::Kind::Internal, "colour quantiser failed");
  }
  std::unique_ptr<liq_result, LiqFree> result(rawResult);
  liq_set_dithering_level(result.get(), 1.0f);
  std::vector<std::uint8_t> remapped(pixels.size());
  if (liq_write_remapped_image(result.get(), image.get(), remapped.data(), remapped.size()) != LIQ_OK) {
    throw Error(Error::Kind::Internal, "colour quantiser could not remap the picture");
  }
  const liq_palette* palette = liq_get_palette(result.get());
  int count = static_cast<int>(palette->count);
  int used = count == 0 ? 0 : SlotOf(count - 1) + 1;
  if (out.hasTransparent) used = std::max(used, kGifTransparentIndex + 1);
  out.palette.assign(static_cast<std::size_t>(PaletteSizeFor(used)), 0x000000);
  for (int n = 0; n < count; ++n) {
    const liq_color& c = palette->entries[n];
    out.palette[SlotOf(n)] = MakeArgb(0, c.r, c.g, c.b);
  }
  if (out.hasTransparent) out.palette[kGifTransparentIndex] = 0xFFFFFF;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    out.indices[i] = AlphaOf(pixels[i]) == 0 ? std::uint8_t{kGifTransparentIndex}
                                             : static_cast<std::uint8_t>(SlotOf(remapped[i]));
  }
  out.exact = false;
}

}  // namespace

IndexedPicture QuantizeForGif(const Bitmap& bitmap) {
  if (bitmap.Empty()) throw Error(Error::Kind::Refused, "cannot write an empty picture as GIF");
  IndexedPicture out;
  out.width = bitmap.Width();
  out.height = bitmap.Height();
  out.indices.resize(bitmap.Pixels().size());
  if (!ExactPalette(bitmap, out)) {
    out.hasTransparent = false;
    QuantizedPalette(bitmap, out);
  }
  return out;
}

std::vector<std::uint8_t> EncodeGif(const IndexedPicture& picture) {
  const GifOutputFrame frame{0, 0, picture, {}};
  return EncodeGifAnimation(picture.width, picture.height, std::span(&frame, 1));
}
std::vector<std::uint8_t> EncodeGif(const Bitmap& bitmap) { return EncodeGif(QuantizeForGif(bitmap)); }

}  // namespace resmill::image::graphics
