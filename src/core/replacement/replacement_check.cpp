#include "replacement/replacement_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::replacement {

namespace fs = std::filesystem;
using image::graphics::Bitmap;
using image::graphics::PictureFormat;

namespace {

// No picture the graphics layer decodes comes from a larger file.
constexpr std::int64_t kMaxSourceFileSize = std::int64_t{1} << 30;

constexpr std::array<std::string_view, 3> kTargetExtensions = {".BMP", ".GIF", ".PNG"};

PictureFormat FormatOfExtension(std::string_view extension) {
  const int encoder = image::graphics::FindEncoderByExtension(extension);
  return encoder < 0 ? PictureFormat::Unknown : image::graphics::ImageEncoders()[static_cast<std::size_t>(encoder)].format;
}

[[noreturn]] void ThrowShort(const fs::path& file, std::int64_t have, std::uint64_t need, std::string_view what) {
  ThrowFormatError(file, fmt::format("offset {}", HexOffset(static_cast<std::uint64_t>(have))),
                   fmt::format("the file ends after {} bytes; {} needs {}", have, what, need));
}

// The first `length` bytes of a file that must have at least that many.
std::vector<std::uint8_t> ReadLeading(const fs::path& file, std::uint64_t length, std::string_view what) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  const std::int64_t size = in.Size();
  if (static_cast<std::uint64_t>(size) < length) ThrowShort(file, size, length, what);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  in.ReadExact(bytes, what);
  return bytes;
}

std::vector<std::uint8_t> ReadWhole(const fs::path& file) {
  return ReadWholeFile(file, kMaxSourceFileSize, "a picture");
}

// An ordinary picture, whole: every frame of a GIF decodes, not only the first one
// that a redraw uses. `required` is the format the bytes must be, when they go on
// as they are.
Bitmap DecodeOrdinary(std::span<const std::uint8_t> bytes, const fs::path& file, PictureFormat required) {
  namespace graphics = image::graphics;
  const PictureFormat format = graphics::SniffFormat(bytes);
  if (format == PictureFormat::Unknown) ThrowFormatError(file, "", "not a PNG, GIF, BMP or JPEG picture");
  if (required != PictureFormat::Unknown && format != required) {
    ThrowFormatError(file, "", fmt::format("holds a {} picture, not the {} its name says", graphics::FormatName(format),
                                           graphics::FormatName(required)));
  }
  std::optional<Bitmap> picture = graphics::LoadBitmapFromMemory(bytes);
  if (!picture || picture->Empty()) {
    ThrowFormatError(file, "", fmt::format("the {} picture is damaged or cut short", graphics::FormatName(format)));
  }
  if (format == PictureFormat::Gif && !graphics::EveryGifFrameDecodes(bytes)) {
    ThrowFormatError(file, "", "a frame of the GIF animation is damaged or cut short");
  }
  return std::move(*picture);
}

Bitmap DecodeRaw(const fs::path& file) {
  std::optional<image::RawSize> size = image::ParseRawSize(file);
  if (!size) ThrowFormatError(file, "", "the name carries no size tag such as (176x220), so the picture has no size");
  const int w = size->width, h = size->height;
  if (w <= 0 || h <= 0 || std::uint64_t(w) * std::uint64_t(h) > image::kMaxRawPixels) {
    return image::DecodeRawBytes({}, w, h, file);  // refuses the size in the RAW decoder's own words
  }
  const std::uint64_t length = image::RawFileLength(std::uint64_t(w), std::uint64_t(h));
  std::vector<std::uint8_t> bytes = ReadLeading(file, length, fmt::format("a RAW picture of {} x {} pixels", w, h));
  return image::DecodeRawBytes(bytes, w, h, file);
}

Bitmap DecodeK(const fs::path& file, image::PictureKind kind) {
  const image::KLayout layout = kind == image::PictureKind::K18 ? image::KLayout::Bits18 : image::KLayout::Bits32;
  const image::KHeader header = image::ReadKHeader(ReadLeading(file, image::kKHeaderSize, "a K picture header"), file);
  const std::uint64_t length = image::KFileLength(header, layout, file);
  std::vector<std::uint8_t> bytes =
      ReadLeading(file, length, fmt::format("a K picture of {} x {} pixels", header.width, header.height));
  return image::DecodeKBytes(bytes, layout, file);
}

// A G picture is a GIF or PNG file under another name.
Bitmap DecodeG(const fs::path& file) {
  std::vector<std::uint8_t> bytes = ReadWhole(file);
  const PictureFormat format = image::graphics::SniffFormat(bytes);
  if (format != PictureFormat::Gif && format != PictureFormat::Png) {
    ThrowFormatError(file, "", "a G picture holds a GIF or PNG picture; this one holds neither");
  }
  return DecodeOrdinary(bytes, file, format);
}

std::size_t PictureBytes(const Bitmap& picture) { return picture.Pixels().size_bytes(); }

}  // namespace

Bitmap DecodeReplacementSource(const fs::path& source) {
  const image::PictureKind kind = image::DetectPictureKind(source);
  switch (kind) {
    case image::PictureKind::Raw:
      return DecodeRaw(source);
    case image::PictureKind::K18:
    case image::PictureKind::K32:
      return DecodeK(source, kind);
    case image::PictureKind::G:
      return DecodeG(source);
    case image::PictureKind::Other:
      break;
  }
  std::vector<std::uint8_t> bytes = ReadWhole(source);
  return DecodeOrdinary(bytes, source, PictureFormat::Unknown);
}

CheckedReplacement ReplacementChecker::Check(const fs::path& source, const fs::path& target, bool matchSize) {
  const std::string sourceExt = UpperExtension(source.string());
  const std::string targetExt = UpperExtension(target.string());
  if (std::find(kTargetExtensions.begin(), kTargetExtensions.end(), targetExt) == kTargetExtensions.end()) {
    throw Error(Error::Kind::Refused,
                fmt::format("{}: a Build writes only .bmp, .gif and .png icons", target.string()));
  }
  CheckedReplacement checked{source, target, matchSize, ReplacementPlan::Redraw, std::nullopt};
  if (!matchSize && sourceExt == targetExt) {
    checked.plan = ReplacementPlan::Copy;
  } else if (matchSize && sourceExt == ".GIF" && targetExt == ".GIF") {
    checked.plan = ReplacementPlan::ResizeGif;
  }

  // What an earlier pairing writes is a picture of its own extension's format by then.
  const bool sourceRewritten = writtenTargets_.contains(source.lexically_normal());
  if (sourceRewritten) {
    // Decoded when the pairing runs, from what the earlier one left.
  } else if (checked.plan == ReplacementPlan::Redraw) {
    Bitmap picture = DecodeReplacementSource(source);
    if (keptBytes_ + PictureBytes(picture) <= kKeptPictureBytes) {
      keptBytes_ += PictureBytes(picture);
      checked.picture = std::move(picture);
    }
  } else {
    // The bytes go into the icon as they are, or are cut into frames as GIF blocks: they
    // must be the format the extension names, whole. For a GIF that means every frame
    // decodes as the resize will decode it, so the resize cannot refuse it later.
    DecodeOrdinary(ReadWhole(source), source, FormatOfExtension(sourceExt));
  }

  // A GIF resize asks for a size when the icon has none; a redraw has nobody to ask.
  const bool targetRewritten = writtenTargets_.contains(target.lexically_normal());
  if (matchSize && checked.plan == ReplacementPlan::Redraw && !targetRewritten) {
    image::RawSize size = image::GetPictureSize(target);
    if (size.width <= 0 || size.height <= 0) {
      throw Error(Error::Kind::Refused,
                  fmt::format("{}: the icon cannot be read as a picture, so Match Size has no size to draw {} at",
                              target.string(), source.filename().string()));
    }
  }
  writtenTargets_.insert(target.lexically_normal());
  return checked;
}

}  // namespace resmill::replacement
