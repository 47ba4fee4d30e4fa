#include "replacement/build_setup.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "replacement/port_table.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::replacement {

int CompareNames(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.empty() ? 0 : std::memcmp(a.data(), b.data(), a.size());  // memcmp compares unsigned bytes
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::vector<std::string> ListFolderSorted(const std::filesystem::path& folder, std::string_view masks) {
  std::vector<std::string> names;
  for (FoundFile& file : FindFiles(folder, masks)) names.push_back(std::move(file.name));
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return CompareNames(a, b) < 0; });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

int FindPairing(const ReplacementTable& table, int targetIndex, TRepItem* entry) {
  for (const TRepItem& item : table) {
    if (item.TargetIndex == targetIndex) {
      if (entry) *entry = item;
      return item.SourceIndex;
    }
  }
  return -1;
}

PreviewPlacement PlacePreview(const Rect& panel, int w, int h, bool stretch) {
  PreviewPlacement placement;
  placement.blackArea = {panel.left + 4, panel.top + 4, panel.width - 8, panel.height - 8};
  if (w <= 0 || h <= 0) return placement;
  int aw = panel.width - 8, ah = panel.height - 8;
  int nw = w, nh = h;
  if (stretch || (w > aw && h > ah)) {
    int s = std::min(aw, ah), b = std::max(w, h);
    nw = MultiplyDivide(w, s, b);
    nh = MultiplyDivide(h, s, b);
  } else if (w > aw) {
    nw = aw;
    nh = MultiplyDivide(h, aw, w);
  } else if (h > ah) {
    nh = ah;
    nw = MultiplyDivide(w, ah, h);
  }
  // A picture of extreme proportions can shrink to nothing on one side; keep one pixel of it.
  nw = std::max(nw, 1);
  nh = std::max(nh, 1);
  placement.drawPicture = true;
  placement.picture = {panel.left + 4 + (aw - nw) / 2, panel.top + 4 + (ah - nh) / 2, nw, nh};
  return placement;
}

// ---------------------------------------------------------------------------

BuildSetupModel::BuildSetupModel(BuildSetupFolders folders, ReplacementTable& table, UserInterface& ui)
    : folders_(std::move(folders)), table_(table), ui_(ui) {}

std::filesystem::path BuildSetupModel::TargetPathOf(int index) const {
  return folders_.targetIconsFolder / targetItems_.at(static_cast<std::size_t>(index));
}

std::filesystem::path BuildSetupModel::SourcePathOf(int index) const {
  return sourceFolder_ / sourceItems_.at(static_cast<std::size_t>(index));
}

void BuildSetupModel::FillTargetList() {
  targetItems_ = ListFolderSorted(folders_.targetIconsFolder, kTargetMask);
  targetSelection_ = targetItems_.empty() ? -1 : 0;
  targetPreviewPath_ = targetItems_.empty() ? std::filesystem::path() : TargetPathOf(0);
}

void BuildSetupModel::FillSourceList() {
  sourceItems_ = ListFolderSorted(sourceFolder_, kSourceMask);
  sourceSelection_ = sourceItems_.empty() ? -1 : 0;
  // An empty folder must not keep showing a picture of the folder chosen before.
  sourcePreviewPath_ = sourceItems_.empty() ? std::filesystem::path() : SourcePathOf(0);
}

void BuildSetupModel::UpdatePortTableEnabled() {
  portTableEnabled_ = stage_.convertRawToBmp && !stage_.oneFileWork;
}

void BuildSetupModel::DropPairings() {
  table_.Clear();
  markerShown_ = false;
  // With the pairings gone the selected icon is unpaired: the box edits the default again,
  // otherwise a click on it would change nothing at all.
  matchSizeEditsDefault_ = true;
  matchSizeChecked_ = defaultMatchSize_;
}

void BuildSetupModel::Show(const BuildSetupStage& stage, bool& buildCompleted) {
  stage_ = stage;
  if (!buildCompleted) {
    FillTargetList();
    if (stage_.oneFileWork) {
      sourceItems_.clear();
      sourceSelection_ = -1;
      sourceFolder_.clear();
      sourcePreviewPath_.clear();
    } else {
      sourceFolder_ = folders_.sourceIconsFolder;
      sourceInUse_ = true;
      FillSourceList();
    }
    DropPairings();
  }
  UpdatePortTableEnabled();
  Activate(buildCompleted);
}

void BuildSetupModel::Activate(bool& buildCompleted) {
  if (buildCompleted) {
    DropPairings();
    buildCompleted = false;
  }
}

const std::filesystem::path& BuildSetupModel::SourceFolderStart() const {
  return sourceFolder_.empty() ? folders_.startFolder : sourceFolder_;
}

void BuildSetupModel::SetSourceFolder(const std::filesystem::path& folder) {
  if (folder == sourceFolder_) return;
  sourceFolder_ = folder;
  sourceInUse_ = true;
  FillSourceList();
}

void BuildSetupModel::SelectTarget(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= targetItems_.size()) return;
  targetSelection_ = index;
  targetPreviewPath_ = TargetPathOf(index);
  if (sourceFolder_.empty()) return;
  TRepItem pairing;
  if (FindPairing(table_, index, &pairing) >= 0) {
    matchSizeEditsDefault_ = false;
    matchSizeChecked_ = pairing.MatchSize;
    markerShown_ = true;
    sourcePreviewPath_ = pairing.SourcePath;
  } else {
    markerShown_ = false;
    if (sourceSelection_ >= 0) sourcePreviewPath_ = SourcePathOf(sourceSelection_);
    matchSizeEditsDefault_ = true;
    matchSizeChecked_ = defaultMatchSize_;
  }
}

void BuildSetupModel::SelectSource(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= sourceItems_.size()) return;
  sourceSelection_ = index;
  sourcePreviewPath_ = SourcePathOf(index);
}

bool BuildSetupModel::Pair() {
  if (targetSelection_ < 0 || sourceSelection_ < 0) return false;
  TRepItem item{TargetPathOf(targetSelection_), SourcePathOf(sourceSelection_), targetSelection_,
                sourceSelection_, defaultMatchSize_};
  // The same pairing again would only run the same replacement twice.
  for (const TRepItem& existing : table_) {
    if (existing.TargetPath == item.TargetPath && existing.SourcePath == item.SourcePath) {
      markerShown_ = true;
      return false;
    }
  }
  if (!table_.Append(item)) {
    ui_.ShowMessage(fmt::format("At most {} pairings can be made; this one was not added",
                                ReplacementTable::kCapacity),
                    "Error", MessageOwner::Desktop);
    return false;
  }
  markerShown_ = true;
  return true;
}

void BuildSetupModel::SetMatchSize(bool checked) {
  matchSizeChecked_ = checked;
  if (targetSelection_ >= 0) {
    for (TRepItem& item : table_) {
      if (item.TargetIndex == targetSelection_) {
        item.MatchSize = checked;
        break;
      }
    }
  }
  if (matchSizeEditsDefault_) defaultMatchSize_ = checked;
}

void BuildSetupModel::Reset() {
  DropPairings();
  UpdatePortTableEnabled();
  portTableChecked_ = false;
}

void BuildSetupModel::ApplyPortTable(const std::optional<std::filesystem::path>& file) {
  if (!file) {
    portTableChecked_ = false;
    return;
  }
  ApplyPortTableFile(*file);
}

bool BuildSetupModel::ApplyPortTableFile(const std::filesystem::path& file) {
  PortTable table = ReadPortTable(file, sourceItems_, targetItems_);
  if (!table.validHeader) {
    // Not a port table at all: the pairings made by hand stay, with their markers.
    ui_.ShowMessage("Invalid port table header", "Error", MessageOwner::Desktop);
    portTableChecked_ = false;
    return false;
  }
  table_.Clear();
  for (const PortTableEntry& entry : table.entries) {
    TRepItem item{TargetPathOf(entry.targetIndex), SourcePathOf(entry.sourceIndex), entry.targetIndex,
                  entry.sourceIndex, entry.matchSize};
    if (!table_.Append(item)) {
      ui_.ShowMessage(fmt::format("{}: more than {} entries; the rest was not applied", file.string(),
                                  ReplacementTable::kCapacity),
                      "Error", MessageOwner::Desktop);
      break;
    }
  }
  ui_.ShowMessage("Table applied", "", MessageOwner::Desktop);
  portTableChecked_ = true;
  portTableEnabled_ = false;
  return true;
}

BuildSetupControls BuildSetupModel::Controls() const {
  BuildSetupControls c;
  c.pairEnabled = sourceInUse_;
  c.resetEnabled = sourceInUse_;
  c.matchSizeEnabled = sourceInUse_;
  c.matchSizeChecked = matchSizeChecked_;
  c.portTableEnabled = portTableEnabled_;
  c.portTableChecked = portTableChecked_;
  c.stretchChecked = stretch_;
  c.pairingMarkerShown = markerShown_;
  return c;
}

}  // namespace resmill::replacement
