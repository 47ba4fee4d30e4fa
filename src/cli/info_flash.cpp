// info for .shx and .sbf files: the code-group table of the flash header.

#include <fmt/format.h>

#include "flash/code_groups.h"
#include "info.h"

namespace resmill::cli {

int InfoFlashFile(const std::filesystem::path& file, std::ostream& out) {
  // The table is read straight from the flash file: its header is the first 8172 bytes.
  flash::CodeGroupTable table = flash::ParseCodeGroupTable(file, {});
  out << fmt::format("{}: flash file, code-group table\n", file.string());
  out << fmt::format("N: {}\n", table.N);
  out << fmt::format("{:<12} {:>10} {:>10} {:>10}\n", "name", "start", "end", "length");
  for (const flash::strrec& entry : table.entries) {
    out << fmt::format("{:<12} 0x{:08X} 0x{:08X} {:>10}\n", entry.FileName.filename().string(), entry.StartAddress,
                       entry.EndAddress, entry.Length);
  }
  out << fmt::format("code group 15: {}\n", table.hasCodeGroup15 ? "present" : "absent");
  return 0;
}

}  // namespace resmill::cli
