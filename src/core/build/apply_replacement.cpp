#include "build/apply_replacement.h"

#include <fmt/format.h>

#include "image/picture_convert.h"
#include "platform/atomic_output.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::build {

namespace {

constexpr std::string_view kSkippedCaption = "Icon skipped";

std::string_view MimeForTarget(std::string_view upperExtension) {
  if (upperExtension == ".GIF") return "image/gif";
  if (upperExtension == ".PNG") return "image/png";
  return "image/bmp";
}

// Removes the temporary pictures of one replacement however it ends.
class TempPictures {
 public:
  ~TempPictures() {
    for (const auto& path : paths_) DeleteFileQuietly(path);
  }
  void Add(std::filesystem::path path) { paths_.push_back(std::move(path)); }

 private:
  std::vector<std::filesystem::path> paths_;
};

ReplacementOutcome Skip(ReplacementContext& ctx, const std::string& why) {
  ctx.ui.ShowMessage(why, kSkippedCaption, MessageOwner::MainWindow);
  return ReplacementOutcome::Skipped;
}

ReplacementOutcome Replace(ReplacementContext& ctx, const std::filesystem::path& source,
                           const std::filesystem::path& target, bool matchSize) {
  using image::PictureKind;
  std::string sourceExt = UpperExtension(source.string());
  std::string targetExt = UpperExtension(target.string());
  PictureKind sourceKind = image::DetectPictureKind(source);
  image::RawSize sourceSize, targetSize;
  if (sourceKind == PictureKind::Other) sourceSize = image::GetPictureSize(source);
  if (image::DetectPictureKind(target) == PictureKind::Other) targetSize = image::GetPictureSize(target);
  std::filesystem::path tempPicture = ctx.tempFolder / "temp.png";

  if (!matchSize && sourceExt == targetExt) {
    CopyFileAtomically(source, target);
    return ReplacementOutcome::Copied;
  }
  if (matchSize && sourceExt == ".GIF" && targetExt == ".GIF") {
    bool written = ResizeGif(ctx.gif, source, target, targetSize.width, targetSize.height, ctx.tempFolder, ctx.ui);
    return written ? ReplacementOutcome::Resized : ReplacementOutcome::Skipped;
  }

  std::string_view mime = MimeForTarget(targetExt);
  std::filesystem::path drawn = source;
  image::RawSize size = matchSize ? targetSize : sourceSize;
  TempPictures temps;
  if (sourceKind != PictureKind::Other) {
    image::ConversionContext conversion;
    temps.Add(tempPicture);
    image::RawToBmpResult converted = image::RawToBmp(conversion, source, tempPicture, image::kPngFormat);
    if (!converted.target.empty()) temps.Add(converted.target);
    if (!converted.produced) return Skip(ctx, fmt::format("{}: the picture cannot be converted", source.string()));
    drawn = converted.target.empty() ? tempPicture : converted.target;
    if (!matchSize) {
      // A G picture records no size; it is drawn at the size of the picture it holds.
      size = sourceKind == PictureKind::G ? image::GetPictureSize(drawn)
                                          : image::RawSize{conversion.LastPictureWidth, conversion.LastPictureHeight};
    }
  }
  if (size.width <= 0 || size.height <= 0) {
    const std::filesystem::path& unreadable = (matchSize && targetSize.width <= 0) ? target : source;
    return Skip(ctx, fmt::format("{}: cannot be read as a picture; {} left unchanged", unreadable.string(),
                                 target.filename().string()));
  }
  if (!image::ScalePicture(drawn, target, size.width, mime, size.height)) {
    return Skip(ctx, fmt::format("{}: the picture cannot be read; {} left unchanged", source.string(),
                                 target.filename().string()));
  }
  return ReplacementOutcome::Converted;
}

}  // namespace

ReplacementOutcome ApplyReplacement(ReplacementContext& ctx, const std::filesystem::path& source,
                                    const std::filesystem::path& target, bool matchSize) {
  try {
    return Replace(ctx, source, target, matchSize);
  } catch (const Error& e) {
    // A damaged or oversized picture spoils only its own pairing; a failed file
    // operation (Io) still ends the whole run.
    if (e.kind() != Error::Kind::Format && e.kind() != Error::Kind::Limit) throw;
    return Skip(ctx, e.what());
  }
}

}  // namespace resmill::build
