// convert: device pictures (.raw with size tag, .k, .g) <-> ordinary pictures.

#include <cerrno>

#include <fmt/format.h>

#include "command.h"
#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::cli {

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

std::string_view KindName(image::PictureKind kind) {
  switch (kind) {
    case image::PictureKind::Raw: return "RAW picture";
    case image::PictureKind::K18: return "18-bit K picture";
    case image::PictureKind::K32: return "32-bit K picture";
    case image::PictureKind::G: return "G picture";
    case image::PictureKind::Other: break;
  }
  return "picture";
}

gfx::PictureFormat SniffFile(const std::filesystem::path& file) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  std::uint8_t head[8] = {};
  std::size_t got = in.Read(head);
  return gfx::SniffFormat(std::span(head, got));
}

class ConvertCommand final : public Command {
 public:
  std::string Name() const override { return "convert"; }
  std::string Summary() const override {
    return "Convert a device picture (.raw, .k, .g) to an ordinary picture (.gif, .png, .bmp, .jpg) or back";
  }
  void Configure(CLI::App& sub) override {
    sub.add_option("SOURCE", source_, "The picture to convert")->required();
    sub.add_option("TARGET", target_,
                   "The picture to write; its extension chooses the format (.raw needs a size tag only to be read)")
        ->required();
    sub.add_flag("--k32", k32_, "Write a .k target as a 32-bit K picture (with alpha) instead of 18-bit");
  }

  int Execute(CliRun& run) override {
    source_ = run.ArgumentPath(source_.string());
    target_ = run.ArgumentPath(target_.string());
    const std::string targetExtension = UpperExtension(target_.string());
    const int format = OrdinaryFormat(targetExtension);
    const bool deviceTarget = targetExtension == ".RAW" || targetExtension == ".K" || targetExtension == ".G";
    if (format < 0 && !deviceTarget) return UnknownTarget(run);
    const image::PictureKind kind = image::DetectPictureKind(source_);
    if (kind != image::PictureKind::Other) return FromDevice(run, kind, format);
    if (!FileExists(source_)) ThrowIoError("open", source_, ENOENT);
    std::optional<gfx::Bitmap> picture = gfx::LoadBitmap(source_);
    if (!picture) {
      ThrowFormatError(source_, "offset 0x000000", "not a PNG, GIF, BMP or JPEG picture that can be read");
    }
    image::ConversionContext context;
    if (targetExtension == ".RAW") {
      image::BmpToRaw(context, source_, image::PictureKind::Raw, target_);
      return Wrote(run, target_, "RAW picture", picture->Width(), picture->Height());
    }
    if (targetExtension == ".K") {
      // Straight to the encoder: the dispatcher would keep a GIF or PNG source as a G picture.
      if (k32_) {
        image::EncodeK32(source_, target_);
      } else {
        image::EncodeK18(source_, target_);
      }
      return Wrote(run, target_, k32_ ? "32-bit K picture" : "18-bit K picture", picture->Width(),
                   picture->Height());
    }
    if (targetExtension == ".G") {
      gfx::PictureFormat inside = SniffFile(source_);
      if (inside == gfx::PictureFormat::Gif || inside == gfx::PictureFormat::Png) {
        std::optional<std::filesystem::path> written =
            image::BmpToRaw(context, source_, image::PictureKind::G, target_);
        return Wrote(run, *written, "G picture", picture->Width(), picture->Height());
      }
      // A G picture holds a GIF or PNG file: other sources go in as PNG.
      gfx::SaveBitmap(*picture, target_, "image/png");
      return Wrote(run, target_, "G picture", picture->Width(), picture->Height());
    }
    gfx::SaveBitmap(*picture, target_, image::OutputFormats[format].mime);
    return Wrote(run, target_, gfx::FormatName(gfx::ImageEncoders()[gfx::FindEncoderByMime(
                                   image::OutputFormats[format].mime)].format),
                 picture->Width(), picture->Height());
  }

 private:
  int FromDevice(CliRun& run, image::PictureKind kind, int format) {
    if (format < 0) {
      return run.NotAllowed("convert", "convert a device picture to .png first, then the .png to the device kind");
    }
    if (kind == image::PictureKind::Raw) {
      // Checked here so that a bad tag leaves an existing target alone.
      std::optional<image::RawSize> size = image::ParseRawSize(source_);
      if (!size || size->width == 0 || size->height == 0) {
        run.err << fmt::format("resmill-cli: convert: {}: {}; nothing written\n", source_.string(),
                               size ? "the size tag has a zero width or height"
                                    : "the name carries no size tag such as (176x220)");
        return kExitFailed;
      }
    }
    image::ConversionContext context;
    image::RawToBmpResult result = image::RawToBmp(context, source_, target_, format);
    if (kind == image::PictureKind::G) {
      image::RawSize s = image::GetPictureSize(result.target);
      return Wrote(run, result.target, "G picture restored", s.width, s.height);
    }
    return Wrote(run, result.target, KindName(kind), context.LastPictureWidth, context.LastPictureHeight);
  }

  int Wrote(CliRun& run, const std::filesystem::path& written, std::string_view what, int width, int height) {
    run.out << fmt::format("Wrote {} ({}, {} x {})\n", written.string(), what, width, height);
    return kExitDone;
  }

  int UnknownTarget(CliRun& run) {
    return run.NotAllowed("convert", fmt::format("cannot tell the format of '{}': use .gif, .png, .bmp, .jpg, "
                                                 ".raw, .k or .g",
                                                 target_.string()));
  }

  std::filesystem::path source_, target_;
  bool k32_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeConvertCommand() { return std::make_unique<ConvertCommand>(); }

}  // namespace resmill::cli
