#pragma once
// The code-group table of a flash header: which code groups a flash file
// carries, in which order its sections hold them, and the file each becomes.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "flash/flash_header.h"

namespace resmill::flash {

/// One entry of the code-group table.
struct CodeGroupEntry {
  std::filesystem::path FileName;  ///< full path of the code-group file
  std::uint32_t StartAddress = 0;
  std::uint32_t EndAddress = 0;
  std::int32_t Length = 0;  ///< EndAddress − StartAddress + 1
};

/// Entry 0 is RAMDLD; entries 1 … are the present code groups in header order
/// (code groups 0 and 1 joined into CG1.bin). At most 21 entries.
struct CodeGroupTable {
  std::vector<CodeGroupEntry> entries;
  std::uint32_t codeGroupCount = 0;  ///< as the header gives it, RAMDLD included
  bool hasCodeGroup15 = false;
};

/// The table of `header`, whose code-group files go to `slotFolder`. Refuses
/// (a format error naming `file`, the flash file or header.bin) a table it cannot bound.
CodeGroupTable ParseCodeGroupTable(const FlashHeader& header, const std::filesystem::path& file,
                                   const std::filesystem::path& slotFolder);
/// The same from a file that starts with a flash header (header.bin or the flash file itself).
CodeGroupTable ParseCodeGroupTable(const std::filesystem::path& headerFile, const std::filesystem::path& slotFolder);

}  // namespace resmill::flash
