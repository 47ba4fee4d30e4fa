#include "app/operations.h"
#include "build/apply_replacement.h"

namespace resmill::app {

void ApplyReplacement(Session& session, const std::filesystem::path& sourcePath,
                      const std::filesystem::path& targetPath, bool matchSize) {
  // The temporary pictures go to the target's drmpack folder: inside the work tree,
  // never where the user's own pictures are.
  build::GifWorkArea gif;
  build::ReplacementContext ctx{session.tree.drmPack1Folder, session.ui, gif};
  build::ApplyReplacement(ctx, sourcePath, targetPath, matchSize);
}

}  // namespace resmill::app
