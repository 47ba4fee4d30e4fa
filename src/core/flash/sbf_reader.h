#pragma once
// Opening an SBF file: the flash header, then one block per code group.

#include <filesystem>

#include "platform/user_interface.h"

namespace resmill::flash {

/// Splits an SBF file into header.bin, RAMDLD.bin and CG<k>.bin in `slotFolder`.
/// True when code group 15 is present (only header.bin is written otherwise).
/// The block structure is checked first; a damaged file leaves no code-group file.
bool ExtractSbfCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress);

}  // namespace resmill::flash
