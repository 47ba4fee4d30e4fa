#include "app/settings.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/atomic_output.h"
#include "platform/error.h"

namespace resmill::app {
namespace fs = std::filesystem;

namespace {

// The number at the start of a line of these files: blanks before it are
// skipped, an optional sign and the digits are read, and the rest of the line
// is ignored.
std::optional<long long> LeadingInteger(const std::string& line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return std::nullopt;
  long long value = 0;
  for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
    value = value * 10 + (line[i] - '0');
    if (value > 1'000'000'000LL) value = 1'000'000'000LL;  // far beyond any valid value; stays invalid
  }
  return negative ? -value : value;
}

std::vector<std::string> ReadLines(std::istream& in) {
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool SwitchFromLine(const std::vector<std::string>& lines, std::size_t index) {
  if (index >= lines.size()) return true;
  auto value = LeadingInteger(lines[index]);
  if (!value) return true;  // no number: the default, which is on
  return static_cast<std::uint8_t>(*value) == 1;
}

}  // namespace

Settings LoadSettings(const fs::path& settingsFile, const fs::path& programFolder) {
  std::ifstream in(settingsFile, std::ios::binary);
  if (!in) {
    Settings defaults;
    defaults.workFolder = programFolder;
    SaveSettings(defaults, settingsFile);
    return defaults;
  }
  std::vector<std::string> lines = ReadLines(in);
  Settings settings;
  settings.cleanUpOnCompletion = SwitchFromLine(lines, 0);
  settings.askForSourceFile = SwitchFromLine(lines, 1);
  settings.convertRawToBmp = SwitchFromLine(lines, 2);
  settings.autoCloseOnStage = SwitchFromLine(lines, 3);
  // An empty or missing folder line would put the work tree at the file system's root.
  settings.workFolder = (lines.size() > 4 && !lines[4].empty()) ? fs::path(lines[4]) : programFolder;
  return settings;
}

void SaveSettings(const Settings& settings, const fs::path& settingsFile) {
  std::string text;
  for (bool on : {settings.cleanUpOnCompletion, settings.askForSourceFile, settings.convertRawToBmp,
                  settings.autoCloseOnStage}) {
    text += on ? "1\r\n" : "0\r\n";
  }
  text += settings.workFolder.string() + "\r\n";
  WriteFileAtomically(settingsFile, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                      Durability::Durable);
}

bool IsValidStageFlags(int value) {
  switch (value) {
    case 1: case 2: case 5: case 6: case 9: case 10: return true;
    default: return false;
  }
}

std::optional<std::uint8_t> ReadStateFile(const fs::path& stateFile) {
  std::ifstream in(stateFile, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  auto value = LeadingInteger(line);
  if (!value || !IsValidStageFlags(static_cast<int>(*value))) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

void WriteStateFile(const fs::path& stateFile, std::uint8_t stageFlags) {
  std::string text = std::to_string(stageFlags);
  WriteFileAtomically(stateFile, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                      Durability::Durable);
}

}  // namespace resmill::app
