// The DRM operations of the workflow: each hands the DRM layer the work-tree
// folders and settings of the session, and chains the flash layer where an
// operation spans both.

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
  drm::UnpackDrm(image, session.tree.DrmPackFolder(slot), session.settings.convertRawToBmp, session.conversion,
                 session.ui.ProgressWindow());
}

}  // namespace

bool OpenShxDrm(Session& session, int slot) {
  if (!flash::ExtractShxCodeGroups(session.FlashFile(slot), session.tree.BinaryFolder(slot),
                                   session.ui.ProgressWindow())) {
    return false;
  }
  Unpack(session, slot);
  return true;
}

bool OpenSbfDrm(Session& session, int slot) {
  if (!flash::ExtractSbfCodeGroups(session.FlashFile(slot), session.tree.BinaryFolder(slot),
                                   session.ui.ProgressWindow())) {
    return false;
  }
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

void CompileDrm(Session& session) {
  const fs::path image = ResolveCaseBlind(session.tree.binary1Folder, "cg15.bin");
  drm::CompileDrm(session.tree.drmPack1Folder, image, session.drmOutputFile, session.settings.convertRawToBmp,
                  session.conversion, session.ui.ProgressWindow());
}

void CompileSuperfile(Session& session) {
  CompileDrm(session);
  flash::WriteSuperfile(session.tree.binary1Folder, session.drmOutputFile, session.saveFileName, session.clock(),
                        session.ui.ProgressWindow());
}

}  // namespace resmill::app
