#pragma once
// Flash files (S-record superfiles, SBF files) split into code-group files,
// and the DRM reflash superfile written back.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace resmill::flash {

inline constexpr std::int64_t kFlashHeaderSize = 8172;

/// One entry of the code-group table.
struct strrec {
  std::filesystem::path FileName;  ///< full path of the code-group file
  std::uint32_t StartAddress = 0;
  std::uint32_t EndAddress = 0;
  std::int32_t Length = 0;  ///< EndAddress − StartAddress + 1
};

/// Entry 0 is RAMDLD; entries 1 … are the present code groups in header order
/// (code groups 0 and 1 joined into CG1.bin). At most 21 entries.
struct CodeGroupTable {
  std::vector<strrec> entries;
  std::uint32_t N = 0;                ///< code-group count from the header, RAMDLD included
  bool hasCodeGroup15 = false;
};

/// Reads the code-group table of a flash header (header.bin) whose code-group
/// files go to `slotFolder`. Refuses (resmill::Error) a table it cannot bound.
CodeGroupTable ParseCodeGroupTable(const std::filesystem::path& headerFile, const std::filesystem::path& slotFolder);

/// Splits a superfile into header.bin, RAMDLD.bin and CG<k>.bin in `slotFolder`.
/// True when code group 15 is present (only header.bin is written otherwise).
bool ExtractShxCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress);
/// The same for an SBF file.
bool ExtractSbfCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress);

/// Patches ramdld.bin and header.bin in `binaryFolder` for the new DRM image and
/// writes the superfile (header, RAMDLD and DRM as S3 records) to `saveFile`
/// through the atomic output file. `now` is the local time for the header's date.
void WriteSuperfile(const std::filesystem::path& binaryFolder, const std::filesystem::path& drmImage,
                    const std::filesystem::path& saveFile, const std::tm& now, Progress& progress);

}  // namespace resmill::flash
