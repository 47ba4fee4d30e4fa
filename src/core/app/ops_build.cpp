#include "app/operations.h"
#include "build/apply_replacement.h"
#include "platform/numeric.h"

namespace resmill::app {

std::vector<build::CheckedReplacement> CheckReplacements(Session& session) {
  const build::ReplacementTable& table = session.replacementTable;
  ProgressStep step(session.ui.ProgressWindow(), "Checking pictures");
  build::ReplacementChecker checker;
  std::vector<build::CheckedReplacement> checked;
  checked.reserve(table.Count());
  for (const build::TRepItem& item : table) {
    checked.push_back(checker.Check(item.SourcePath, item.TargetPath, item.MatchSize));
    step.SetPosition(PercentDone(static_cast<std::int64_t>(checked.size()), static_cast<std::int64_t>(table.Count())));
  }
  return checked;
}

void ApplyReplacements(Session& session, const std::vector<build::CheckedReplacement>& pairings) {
  // The GIF frame files go to the target's drmpack folder: inside the work tree,
  // never where the user's own pictures are.
  build::GifWorkArea gif;
  build::ReplacementContext ctx{session.tree.drmPack1Folder, session.ui, gif};
  for (const build::CheckedReplacement& pairing : pairings) build::ApplyReplacement(ctx, pairing);
}

}  // namespace resmill::app
