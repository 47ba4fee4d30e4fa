#pragma once
// The operations the workflow commands call. Each lives in the subsystem that
// owns it; these functions chain them and hand them the work-tree folders and
// settings of the session, so the lower layers never see the work tree.

#include <cstddef>
#include <filesystem>

#include "app/session.h"
#include "drm/port.h"

namespace resmill::app {

// DRM and flash files (ops_drm.cpp).
/// Splits a superfile into the slot's code-group files; when code group 15 is present, unpacks the DRM.
bool OpenShxDrm(Session& session, int slot);
/// The same for an SBF file.
bool OpenSbfDrm(Session& session, int slot);
/// Takes a raw dump whole as the slot's DRM image when it holds a DRM, and unpacks it.
bool OpenBinDrm(Session& session, int slot);
/// Carries the source DRM's pictures into the target tree; incompatible DRMs are told by a message too.
drm::PortResult PortDrm(Session& session);
/// Builds the new DRM image at session.drmOutputFile from binary1's tree.
void CompileDrm(Session& session);
/// CompileDrm, then the superfile at session.saveFileName.
void CompileSuperfile(Session& session);

// Skins (ops_skin.cpp).
/// The number of pictures unpacked.
std::size_t UnpackSkin(Session& session, const std::filesystem::path& skinFile, const std::filesystem::path& drmPackFolder);
void PackSkin(Session& session, const std::filesystem::path& drmPackFolder, const std::filesystem::path& outputFile);

// Build (ops_build.cpp).
void ApplyReplacement(Session& session, const std::filesystem::path& sourcePath,
                      const std::filesystem::path& targetPath, bool matchSize);

}  // namespace resmill::app
