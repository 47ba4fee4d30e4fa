#include <fmt/format.h>

#include "app/operations.h"
#include "app/pairings.h"
#include "replacement/apply_replacement.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::app {
namespace fs = std::filesystem;

namespace {
/// Position of `name` in a list: the exact name, else the first that differs only in case.
int FindItem(const std::vector<std::string>& items, std::string_view name, std::string_view list,
             const fs::path& folder) {
  for (bool caseBlind : {false, true}) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (caseBlind ? EqualsCaseBlind(items[i], name) : items[i] == name) return static_cast<int>(i);
    }
  }
  throw Error(Error::Kind::Refused, fmt::format("'{}' is not in the {} list ({})", name, list,
                                                folder.empty() ? "no source folder" : folder.string()));
}
}  // namespace

replacement::BuildSetupFolders BuildSetupFoldersOf(const Session& session) {
  return {session.tree.icons1Folder, session.tree.icons2Folder, session.tree.drmPack1Folder, session.programFolder};
}

replacement::BuildSetupStage BuildSetupStageOf(const Session& session) {
  return {session.OneFileWork(), session.settings.convertRawToBmp};
}

replacement::ReplacementTable PairByName(Session& session, const PairingRequest& request) {
  replacement::ReplacementTable table;
  replacement::BuildSetupModel model(BuildSetupFoldersOf(session), table, session.ui);
  model.Show(BuildSetupStageOf(session), session.buildCompleted);
  if (!request.sourceFolder.empty()) {
    if (!FolderExists(request.sourceFolder)) {
      throw Error(Error::Kind::Io, fmt::format("source folder '{}' does not exist", request.sourceFolder.string()));
    }
    model.SetSourceFolder(request.sourceFolder);
  }
  if (!request.portTable.empty() && !model.ApplyPortTableFile(request.portTable)) {
    throw Error(Error::Kind::Format, fmt::format("{}: not a port table", request.portTable.string()));
  }
  for (const auto& [source, target] : request.pairs) {
    const int sourceIndex = FindItem(model.SourceItems(), source, "source", model.SourceFolder());
    model.SelectTarget(FindItem(model.TargetItems(), target, "target", model.TargetIconsFolder()));
    model.SelectSource(sourceIndex);
    if (!model.Pair()) {
      throw Error(Error::Kind::Limit, fmt::format("'{}' was not paired with '{}'", source, target));
    }
    table[table.Count() - 1].MatchSize = request.matchSize;
  }
  return table;
}

std::vector<replacement::CheckedReplacement> CheckReplacements(Session& session,
                                                               const replacement::ReplacementTable& table) {
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
