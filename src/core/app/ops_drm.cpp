// The DRM operations of the workflow: each hands the DRM layer the work-tree
// folders and settings of the session, and chains the flash layer where an
// operation spans both.

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/operations.h"
#include "drm/compile.h"
#include "drm/drm_layout.h"
#include "drm/port.h"
#include "drm/unpack.h"
#include "flash/sbf_reader.h"
#include "flash/shx_reader.h"
#include "flash/superfile_writer.h"
#include "platform/atomic_output.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::app {
namespace fs = std::filesystem;

namespace {

constexpr const char* kDrmImageName = "CG15.bin";

void Unpack(Session& session, int slot) {
  const fs::path image = ResolveCaseBlind(session.tree.BinaryFolder(slot), kDrmImageName);
  drm::UnpackDrm(image, session.tree.DrmPackFolder(slot), session.settings.convertRawToBmp,
                 session.ui.ProgressWindow());
}

}  // namespace

bool OpenFlashDrm(Session& session, int slot, bool sbf) {
  const auto extract = sbf ? flash::ExtractSbfCodeGroups : flash::ExtractShxCodeGroups;
  if (!extract(session.FlashFile(slot), session.tree.BinaryFolder(slot), session.ui.ProgressWindow())) return false;
  Unpack(session, slot);
  return true;
}

bool OpenBinDrm(Session& session, int slot) {
  const fs::path& dump = session.FlashFile(slot);
  {
    BinaryFile input(dump, BinaryFile::Mode::Read);
    std::int32_t variant = 0;
    if (!drm::FindDrmMarker(input, variant)) return false;
  }
  // The whole dump is the DRM image, copied unchanged.
  CopyFileAtomically(dump, ResolveCaseBlind(session.tree.BinaryFolder(slot), kDrmImageName));
  Unpack(session, slot);
  return true;
}

drm::PortResult PortDrm(Session& session) {
  const drm::PortResult result = drm::PortDrm(session.tree.drmPack2Folder, session.tree.drmPack1Folder,
                                              session.settings.convertRawToBmp, session.ui.ProgressWindow());
  if (!result.compatible) session.ui.ShowMessage("Incompatible DRMs", "Error", MessageOwner::Desktop);
  return result;
}

drm::CompileResult CompileDrm(Session& session) {
  const fs::path image = ResolveCaseBlind(session.tree.binary1Folder, "cg15.bin");
  return drm::CompileDrm(session.tree.drmPack1Folder, image, session.drmOutputFile, session.settings.convertRawToBmp,
                         session.ui.ProgressWindow());
}

drm::CompileResult CompileSuperfile(Session& session) {
  drm::CompileResult compiled = CompileDrm(session);
  flash::WriteSuperfile(session.tree.binary1Folder, session.drmOutputFile, session.saveFileName, session.clock(),
                        session.ui.ProgressWindow());
  return compiled;
}

std::string StoredEmptyWarning(const Session& session, const drm::CompileResult& compiled) {
  const std::vector<int>& pictures = compiled.skipped;
  if (pictures.empty()) return {};
  // Runs of three or more become "12–15"; a long list names its first runs and counts the rest.
  constexpr std::size_t kRunsNamed = 40;
  std::vector<std::string> runs;
  std::size_t notNamed = 0;
  for (std::size_t i = 0; i < pictures.size();) {
    std::size_t j = i;
    while (j + 1 < pictures.size() && pictures[j + 1] == pictures[j] + 1) ++j;
    const std::size_t length = j - i + 1;
    const std::size_t take = length >= 3 ? 1 : length;
    if (runs.size() + take > kRunsNamed) {
      notNamed += pictures.size() - i;
      break;
    }
    if (length >= 3) {
      runs.push_back(fmt::format("{}\u2013{}", pictures[i], pictures[j]));
    } else {
      for (std::size_t k = i; k <= j; ++k) runs.push_back(fmt::to_string(pictures[k]));
    }
    i = j + 1;
  }
  std::string list = fmt::format("{}", fmt::join(runs, ", "));
  if (notNamed != 0) list += fmt::format(" and {} more", notNamed);
  const bool one = pictures.size() == 1;
  const std::string number = one ? fmt::to_string(pictures.front()) : "<n>";
  const std::string missing = session.settings.convertRawToBmp ? fmt::format("icons/{}.png", number)
                                                               : fmt::format("raws/{}(<W>x<H>).raw", number);
  // Converting, the unpack leaves an empty placeholder for a picture that was empty already.
  return fmt::format("{} {} {} stored empty (0x0): no {} found in {}{}", one ? "picture" : "pictures", list,
                     one ? "was" : "were", missing, session.tree.drmPack1Folder.string(),
                     session.settings.convertRawToBmp ? ", or only an empty one" : "");
}

}  // namespace resmill::app
