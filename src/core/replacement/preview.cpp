// The two previews of the Build Setup dialog, ready for the window to paint.

#include "replacement/build_setup.h"
#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::replacement {

namespace {

// Loads a picture for previewing; a device picture goes through a temporary PNG,
// removed before this returns. Nothing when the picture cannot be read.
std::optional<image::graphics::Bitmap> LoadPreviewPicture(const std::filesystem::path& picture,
                                                          const std::filesystem::path& tempFolder) {
  try {
    if (image::DetectPictureKind(picture) == image::PictureKind::Other) return image::graphics::LoadBitmap(picture);
    std::filesystem::path temp = tempFolder / "temp.png";
    image::RawToBmpResult converted;
    try {
      converted = image::RawToBmp(picture, temp, image::kPngFormat);
    } catch (...) {
      DeleteFileQuietly(temp);
      throw;
    }
    std::optional<image::graphics::Bitmap> bitmap;
    if (converted.produced) bitmap = image::graphics::LoadBitmap(converted.target);
    DeleteFileQuietly(temp);
    if (!converted.target.empty()) DeleteFileQuietly(converted.target);
    return bitmap;
  } catch (const Error&) {
    // A preview never stops the dialog: a picture it cannot show shows "[No image]".
    return std::nullopt;
  }
}

}  // namespace

Preview DrawPreview(const Rect& panel, const std::filesystem::path& picture, bool stretch,
                    const std::filesystem::path& tempFolder) {
  Preview preview;
  if (picture.empty()) return preview;
  preview.empty = false;
  std::optional<image::graphics::Bitmap> bitmap = LoadPreviewPicture(picture, tempFolder);
  PreviewPlacement placement =
      PlacePreview(panel, bitmap ? bitmap->Width() : 0, bitmap ? bitmap->Height() : 0, stretch);
  preview.blackArea = placement.blackArea;
  if (!bitmap) {
    preview.noImage = true;
    preview.textX = panel.left + panel.width / 2.0 - 30;
    preview.textY = panel.top + panel.height / 2.0 - 5;
    return preview;
  }
  if (!placement.drawPicture) return preview;
  image::graphics::Bitmap thumbnail =
      image::graphics::Stretch(*bitmap, placement.picture.width, placement.picture.height);
  preview.hasPicture = true;
  preview.picture = placement.picture;
  preview.image.width = thumbnail.Width();
  preview.image.height = thumbnail.Height();
  auto pixels = thumbnail.Pixels();
  preview.image.argb.assign(pixels.begin(), pixels.end());
  return preview;
}

Preview BuildSetupModel::TargetPreview() const {
  return DrawPreview(kTargetPanelRect, targetPreviewPath_, stretch_, folders_.tempFolder);
}

Preview BuildSetupModel::SourcePreview() const {
  return DrawPreview(kSourcePanelRect, sourcePreviewPath_, stretch_, folders_.tempFolder);
}

}  // namespace resmill::replacement
