// Skins in the workflow: the unpack and pack of the skin layer with the
// session's conversion flag, progress window and messages.

#include <fmt/format.h>

#include "app/operations.h"
#include "platform/error.h"
#include "skin/picture_converter.h"
#include "skin/skin_pack.h"
#include "skin/skin_unpack.h"

namespace resmill::app {

std::size_t UnpackSkin(Session& session, const std::filesystem::path& skinFile,
                       const std::filesystem::path& drmPackFolder) {
  skin::ImageConverter converter;
  return skin::UnpackSkin(skinFile, drmPackFolder, session.convertSkinPictures, converter, session.ui.ProgressWindow())
      .pictures;
}

void PackSkin(Session& session, const std::filesystem::path& drmPackFolder, const std::filesystem::path& outputFile) {
  skin::ImageConverter converter;
  skin::PackResult result =
      skin::PackSkin(drmPackFolder, outputFile, session.convertSkinPictures, converter, session.ui.ProgressWindow(),
                     [&](std::string_view name) { session.ui.ShowMessage(name, "Not Found", MessageOwner::Desktop); });
  // "Operation Complete" over a skin that was never written would be a lie.
  if (!result.written) {
    throw Error(Error::Kind::Format,
                fmt::format("{}: no skin pictures (*.k, *.g) to pack; {} was not written",
                            (drmPackFolder / skin::kRawsFolder).string(), outputFile.string()));
  }
}

}  // namespace resmill::app
