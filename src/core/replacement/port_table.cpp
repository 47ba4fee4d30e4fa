#include "replacement/port_table.h"

#include "platform/binary_file.h"
#include "platform/file_system.h"

namespace resmill::replacement {

namespace {

// The next run of non-space characters from `pos`, then the spaces after it.
std::string_view TakeField(std::string_view line, std::size_t& pos) {
  std::size_t start = pos;
  while (pos < line.size() && line[pos] != ' ') ++pos;
  std::string_view field = line.substr(start, pos - start);
  while (pos < line.size() && line[pos] == ' ') ++pos;
  return field;
}

// Text lines as a text reader on the desktop gives them: CR LF, a lone LF or a
// lone CR ends a line; a last line without an end still counts.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

}  // namespace

bool ParsePortTableLine(std::string_view line, PortTableFields& fields) {
  fields = {};
  std::size_t pos = 0;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (line.size() - pos >= 2 && line[pos] == '/' && line[pos + 1] == '/') return false;
  fields.source = TakeField(line, pos);
  fields.target = TakeField(line, pos);
  fields.option = TakeField(line, pos);
  return !fields.source.empty() && !fields.target.empty();
}

bool MatchSizeOff(std::string_view option) { return ToUpperAscii(option) == "/N"; }

std::string StripExtension(std::string_view name) {
  std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

int FindByBaseName(std::string_view name, const std::vector<std::string>& items) {
  std::string wanted = ToUpperAscii(name);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (ToUpperAscii(StripExtension(items[i])) == wanted) return static_cast<int>(i);
  }
  return -1;
}

constexpr std::int64_t kMaxPortTableSize = std::int64_t{16} << 20;

PortTable ReadPortTable(const std::filesystem::path& file, const std::vector<std::string>& sourceItems,
                        const std::vector<std::string>& targetItems) {
  // A table is a few kilobytes of text; it is read whole, and a file far larger
  // (chosen by mistake) is refused rather than read into memory.
  const std::vector<std::uint8_t> bytes = ReadWholeFile(file, kMaxPortTableSize, "a port table");
  const std::string text(bytes.begin(), bytes.end());

  PortTable table;
  std::vector<std::string_view> lines = SplitLines(text);
  table.validHeader = !lines.empty() && ToUpperAscii(lines[0]) == kPortTableHeader;
  if (!table.validHeader) return table;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    PortTableFields fields;
    if (!ParsePortTableLine(lines[i], fields)) continue;
    int s = FindByBaseName(fields.source, sourceItems);
    if (s < 0) continue;
    int t = FindByBaseName(fields.target, targetItems);
    if (t < 0) continue;
    table.entries.push_back({s, t, !MatchSizeOff(fields.option)});
  }
  return table;
}

}  // namespace resmill::replacement
