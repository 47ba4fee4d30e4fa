#pragma once
// Build Setup on the session's work tree: the folders and stage its dialog is
// shown with, and the pairings the command line names by file name.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/session.h"
#include "replacement/build_setup.h"

namespace resmill::app {

replacement::BuildSetupFolders BuildSetupFoldersOf(const Session& session);
replacement::BuildSetupStage BuildSetupStageOf(const Session& session);

struct PairingRequest {
  /// The replacement pictures; empty: the source DRM's icons when two files were opened.
  std::filesystem::path sourceFolder;
  /// A port table (.dpt) applied first; empty: none.
  std::filesystem::path portTable;
  /// Source picture and target icon by file name (exact, else differing only in case), after the table.
  std::vector<std::pair<std::string, std::string>> pairs;
  /// Redraw the sources of `pairs` at their icon's size.
  bool matchSize = false;
};

/// The pairings Build Setup makes from `request`. Throws Error::Kind::Refused for a
/// name that is not in its list, Io for a missing source folder, Format for a
/// table with a bad header, Limit for a pairing that was not added.
replacement::ReplacementTable PairByName(Session& session, const PairingRequest& request);

}  // namespace resmill::app
