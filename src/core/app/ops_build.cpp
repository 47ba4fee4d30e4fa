#include "app/operations.h"
#include "replacement/apply_replacement.h"
#include "platform/numeric.h"

namespace resmill::app {

std::vector<replacement::CheckedReplacement> CheckReplacements(Session& session) {
  const replacement::ReplacementTable& table = session.replacementTable;
  ProgressStep step(session.ui.ProgressWindow(), "Checking pictures");
  replacement::ReplacementChecker checker;
  std::vector<replacement::CheckedReplacement> checked;
  checked.reserve(table.Count());
  for (const replacement::TRepItem& item : table) {
    checked.push_back(checker.Check(item.SourcePath, item.TargetPath, item.MatchSize));
    step.SetPosition(PercentDone(static_cast<std::int64_t>(checked.size()), static_cast<std::int64_t>(table.Count())));
  }
  return checked;
}

void ApplyReplacements(Session& session, const std::vector<replacement::CheckedReplacement>& pairings) {
  replacement::GifWorkArea gif;
  replacement::ReplacementContext ctx{session.ui, gif};
  for (const replacement::CheckedReplacement& pairing : pairings) replacement::ApplyReplacement(ctx, pairing);
}

}  // namespace resmill::app
