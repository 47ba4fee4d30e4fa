#pragma once
// The operations the workflow commands call. Each lives in the subsystem that
// owns it; these functions chain them and hand them the work-tree folders and
// settings of the session, so the lower layers never see the work tree.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session.h"
#include "replacement/replacement.h"
#include "replacement/replacement_check.h"
#include "drm/compile.h"
#include "drm/port.h"

namespace resmill::app {

// DRM and flash files (ops_drm.cpp).
/// Splits a superfile (or, with `sbf`, an SBF file) into the slot's code-group files;
/// when code group 15 is present, unpacks the DRM.
bool OpenFlashDrm(Session& session, int slot, bool sbf);
/// Takes a raw dump whole as the slot's DRM image when it holds a DRM, and unpacks it.
bool OpenBinDrm(Session& session, int slot);
/// Carries the source DRM's pictures into the target tree; incompatible DRMs are told by a message too.
drm::PortResult PortDrm(Session& session);
/// Builds the new DRM image at session.drmOutputFile from binary1's tree.
drm::CompileResult CompileDrm(Session& session);
/// CompileDrm, then the superfile at session.saveFileName.
drm::CompileResult CompileSuperfile(Session& session);
/// The warning that lists the RAW pictures a compile stored empty (0x0), naming the
/// file each one lacked and the folder; empty when there are none.
std::string StoredEmptyWarning(const Session& session, const drm::CompileResult& compiled);

// Skins (ops_skin.cpp).
/// The number of pictures unpacked.
std::size_t UnpackSkin(Session& session, const std::filesystem::path& skinFile, const std::filesystem::path& drmPackFolder);
void PackSkin(Session& session, const std::filesystem::path& drmPackFolder, const std::filesystem::path& outputFile);

// Build (ops_build.cpp).
/// Checks every pairing, in order, before any is run; throws resmill::Error naming
/// the first file that fails and why.
std::vector<replacement::CheckedReplacement> CheckReplacements(Session& session,
                                                               const replacement::ReplacementTable& table);
/// Runs checked pairings in order.
void ApplyReplacements(Session& session, const std::vector<replacement::CheckedReplacement>& pairings);

}  // namespace resmill::app
