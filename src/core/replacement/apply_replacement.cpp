#include "replacement/apply_replacement.h"

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "platform/atomic_output.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::replacement {

namespace {

ReplacementOutcome Redraw(ReplacementContext& ctx, const CheckedReplacement& pairing) {
  namespace graphics = image::graphics;
  std::optional<graphics::Bitmap> decoded;
  if (!pairing.picture) decoded = DecodeReplacementSource(pairing.source);
  const graphics::Bitmap& picture = pairing.picture ? *pairing.picture : *decoded;
  // Without Match Size a picture keeps its own size: a RAW picture the size its tag
  // names, a K picture its header's, a GIF its logical screen.
  image::RawSize size{picture.Width(), picture.Height()};
  if (pairing.matchSize) size = image::GetPictureSize(pairing.target);
  if (size.width <= 0 || size.height <= 0) {
    // The check found the icon readable; it changed since.
    ctx.ui.ShowMessage(fmt::format("{}: cannot be read as a picture; left unchanged", pairing.target.string()),
                       "Icon skipped", MessageOwner::MainWindow);
    return ReplacementOutcome::Skipped;
  }
  // The check let through only targets of an encoder's extension.
  const int encoder = graphics::FindEncoderByExtension(UpperExtension(pairing.target.string()));
  graphics::SaveBitmap(graphics::Stretch(picture, size.width, size.height), pairing.target, encoder);
  return ReplacementOutcome::Converted;
}

}  // namespace

ReplacementOutcome ApplyReplacement(ReplacementContext& ctx, const CheckedReplacement& pairing) {
  switch (pairing.plan) {
    case ReplacementPlan::Copy:
      CopyFileAtomically(pairing.source, pairing.target);
      return ReplacementOutcome::Copied;
    case ReplacementPlan::ResizeGif: {
      image::RawSize size = image::GetPictureSize(pairing.target);
      bool written = ResizeGif(ctx.gif, pairing.source, pairing.target, size.width, size.height, ctx.ui);
      return written ? ReplacementOutcome::Resized : ReplacementOutcome::Skipped;
    }
    case ReplacementPlan::Redraw:
      break;
  }
  return Redraw(ctx, pairing);
}

}  // namespace resmill::replacement
