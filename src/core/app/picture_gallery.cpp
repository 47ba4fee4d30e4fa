#include "app/picture_gallery.h"

#include <exception>

#include <fmt/format.h>

#include "app/operations.h"
#include "image/graphics/graphics.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::app {
namespace fs = std::filesystem;
namespace gfx = image::graphics;

PictureStatus ExamineShown(const PictureCatalogue& catalogue, int number) {
  try {
    return catalogue.Examine(number);
  } catch (const std::exception& e) {
    return {PictureState::Unreadable, e.what()};
  }
}

std::optional<Thumbnail> MakeThumbnail(const PictureCatalogue& catalogue, int number, int side) {
  if (side <= 0) return std::nullopt;
  std::optional<gfx::Bitmap> picture = catalogue.Decode(number);
  if (!picture) return std::nullopt;
  const gfx::Bitmap small = gfx::Thumbnail(*picture, side, side);
  if (small.Empty()) return std::nullopt;
  Thumbnail thumbnail{small.Width(), small.Height(), {}};
  thumbnail.argb.assign(small.Pixels().begin(), small.Pixels().end());
  return thumbnail;
}

void ReplacePictures(Session& session, std::span<const PictureReplacement> replacements) {
  const PictureCatalogue catalogue = OpenCatalogue(session, 1);
  replacement::ReplacementTable table;
  for (const PictureReplacement& wanted : replacements) {
    const PictureEntry& entry = catalogue.Picture(wanted.number);
    if (!entry.file) {
      throw Error(Error::Kind::Refused,
                  fmt::format("picture {} has no file in {} to replace; revert it first", wanted.number,
                              catalogue.DrmPackFolder().string()));
    }
    if (SameFileOrFolder(wanted.file, *entry.file)) continue;
    if (!table.Append({*entry.file, wanted.file, 0, 0, wanted.matchSize})) {
      throw Error(Error::Kind::Limit, "too many pictures to replace at once");
    }
  }
  if (table.Empty()) return;
  const std::vector<replacement::CheckedReplacement> checked = CheckReplacements(session, table);
  session.drmSaved = false;
  ApplyReplacements(session, checked);
}

void RevertPictures(Session& session, std::span<const int> numbers) {
  PictureCatalogue catalogue = OpenCatalogue(session, 1);
  session.drmSaved = false;
  catalogue.Revert(numbers, session.ui.ProgressWindow());
}

}  // namespace resmill::app
