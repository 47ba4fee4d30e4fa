#pragma once
// Opening an S-record superfile: the flash header, then one section of
// S-records per code group, each closed by an S7 record.

#include <filesystem>

#include "platform/user_interface.h"

namespace resmill::flash {

/// Splits a superfile into header.bin, RAMDLD.bin and CG<k>.bin in `slotFolder`.
/// True when code group 15 is present (only header.bin is written otherwise).
/// Every record is verified first; a damaged file leaves no code-group file.
bool ExtractShxCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress);

}  // namespace resmill::flash
