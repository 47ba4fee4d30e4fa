#include "app/convert.h"

#include <cerrno>
#include <optional>

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "replacement/gif_resize.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::app {
namespace fs = std::filesystem;

namespace {

namespace gfx = image::graphics;

// The format index of an ordinary picture's extension; -1 for any other.
int OrdinaryFormat(const std::string& extension) {
  if (extension == ".JPEG") return image::kJpegFormat;
  for (int i = 0; i < static_cast<int>(image::OutputFormats.size()); ++i) {
    if (extension == ToUpperAscii(image::OutputFormats[i].extension)) return i;
  }
  return -1;
}

std::string KindName(image::PictureKind kind) {
  switch (kind) {
    case image::PictureKind::Raw: return "RAW picture";
    case image::PictureKind::K18: return "18-bit K picture";
    case image::PictureKind::K32: return "32-bit K picture";
    case image::PictureKind::G: return "G picture";
    case image::PictureKind::Other: break;
  }
  return "picture";
}

gfx::PictureFormat SniffFile(const fs::path& file) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  std::uint8_t head[8] = {};
  std::size_t got = in.Read(head);
  return gfx::SniffFormat(std::span(head, got));
}

ConvertResult FromDevice(const fs::path& source, const fs::path& target, image::PictureKind kind, int format) {
  if (format < 0) {
    throw Error(Error::Kind::Refused, "convert a device picture to .png first, then the .png to the device kind");
  }
  if (kind == image::PictureKind::Raw) {
    // Checked here so that a bad tag leaves an existing target alone.
    std::optional<image::RawSize> size = image::ParseRawSize(source);
    if (!size || size->width == 0 || size->height == 0) {
      ThrowFormatError(source, "file name",
                       fmt::format("{}; nothing written", size ? "the size tag has a zero width or height"
                                                               : "the name carries no size tag such as (176x220)"));
    }
  }
  image::RawToBmpResult result = image::RawToBmp(source, target, format);
  if (kind == image::PictureKind::G) {
    image::RawSize s = image::GetPictureSize(result.target);
    return {result.target, "G picture restored", s.width, s.height};
  }
  return {result.target, KindName(kind), result.size.width, result.size.height};
}

}  // namespace

ConvertResult Convert(const fs::path& source, const fs::path& target, const ConvertOptions& options) {
  const std::string targetExtension = UpperExtension(target.string());
  const int format = OrdinaryFormat(targetExtension);
  const bool deviceTarget = targetExtension == ".RAW" || targetExtension == ".K" || targetExtension == ".G";
  if (format < 0 && !deviceTarget) {
    throw Error(Error::Kind::Refused, fmt::format("cannot tell the format of '{}': use .gif, .png, .bmp, .jpg, "
                                                  ".raw, .k or .g",
                                                  target.string()));
  }
  const image::PictureKind kind = image::DetectPictureKind(source);
  if (kind != image::PictureKind::Other) return FromDevice(source, target, kind, format);
  if (!FileExists(source)) ThrowIoError("open", source, ENOENT);
  std::optional<gfx::Bitmap> picture = gfx::LoadBitmap(source);
  if (!picture) ThrowFormatError(source, "offset 0x000000", "not a PNG, GIF, BMP or JPEG picture that can be read");
  const int width = picture->Width(), height = picture->Height();
  if (targetExtension == ".RAW") {
    image::BmpToRaw(source, image::PictureKind::Raw, target);
    return {target, "RAW picture", width, height};
  }
  if (targetExtension == ".K") {
    // Straight to the encoder: the dispatcher would keep a GIF or PNG source as a G picture.
    if (options.k32) {
      image::EncodeK32(source, target);
    } else {
      image::EncodeK18(source, target);
    }
    return {target, options.k32 ? "32-bit K picture" : "18-bit K picture", width, height};
  }
  if (targetExtension == ".G") {
    gfx::PictureFormat inside = SniffFile(source);
    if (inside == gfx::PictureFormat::Gif || inside == gfx::PictureFormat::Png) {
      return {image::BmpToRaw(source, image::PictureKind::G, target)->written, "G picture", width, height};
    }
    // A G picture holds a GIF or PNG file: other sources go in as PNG.
    gfx::SaveBitmap(*picture, target, "image/png");
    return {target, "G picture", width, height};
  }
  gfx::SaveBitmap(*picture, target, image::OutputFormats[format].mime);
  const auto encoder = gfx::ImageEncoders()[gfx::FindEncoderByMime(image::OutputFormats[format].mime)];
  return {target, std::string(gfx::FormatName(encoder.format)), width, height};
}

bool ResizeGif(const fs::path& source, const fs::path& target, IconSize size, UserInterface& ui) {
  if (UpperExtension(target.filename().string()) != ".GIF") {
    throw Error(Error::Kind::Refused, fmt::format("'{}' is not a .gif file", target.string()));
  }
  replacement::GifWorkArea gif;
  return replacement::ResizeGif(gif, source, target, size.width, size.height, ui);
}

}  // namespace resmill::app
