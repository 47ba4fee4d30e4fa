#pragma once
// Port tables (".dpt"): pairings written down by name so that the same set of
// replacements can be made again on another flash file.
//
//   [DRM PORT TABLE]
//   // comment
//   mainmenu_1 icon_27         source base name, target base name: Match Size on
//   anim3 icon_30 /n           "/N" in any case turns Match Size off

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace resmill::replacement {

inline constexpr std::string_view kPortTableHeader = "[DRM PORT TABLE]";

/// The three space-separated fields of one entry line.
struct PortTableFields {
  std::string source;   ///< field 1: source picture without extension
  std::string target;   ///< field 2: target icon without extension
  std::string option;   ///< field 3 ("/N" turns Match Size off), empty when absent
};

/// Splits one line (without its line end) into fields separated by runs of spaces
/// (only 0x20; a tab belongs to its field). False for an empty line, a comment
/// ("//" after leading spaces) and a line with fewer than two fields.
bool ParsePortTableLine(std::string_view line, PortTableFields& fields);

/// True when the option field turns Match Size off ("/N" in any case).
bool MatchSizeOff(std::string_view option);

/// `name` without the part from its last "."; unchanged when it has none.
std::string StripExtension(std::string_view name);

/// Position of the first of `items` whose name without extension equals `name`,
/// ASCII case-blind; −1 when none.
int FindByBaseName(std::string_view name, const std::vector<std::string>& items);

/// One entry of a table resolved against the two lists.
struct PortTableEntry {
  int sourceIndex = -1;
  int targetIndex = -1;
  bool matchSize = true;
};

struct PortTable {
  bool validHeader = false;             ///< line 1 upper-cased is exactly "[DRM PORT TABLE]"
  std::vector<PortTableEntry> entries;  ///< in file order; unmatched lines left out
};

/// Reads the table `file` (line ends CR LF, LF or CR) and resolves each entry line:
/// field 1 in `sourceItems`, field 2 in `targetItems`. Lines that do not parse or name
/// no listed file are skipped. Throws resmill::Error when the file cannot be read.
PortTable ReadPortTable(const std::filesystem::path& file, const std::vector<std::string>& sourceItems,
                        const std::vector<std::string>& targetItems);

}  // namespace resmill::replacement
