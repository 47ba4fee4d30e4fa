#include "drm/picture_folder.h"

#include <charconv>

#include "platform/file_system.h"

namespace resmill::drm {
namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// The picture number a RAW file name starts with; nothing for other names.
std::optional<int> RawNumber(std::string_view name) {
  if (UpperExtension(name) != ".RAW") return std::nullopt;
  std::size_t digits = 0;
  while (digits < name.size() && IsDigit(name[digits])) ++digits;
  // A leading zero is not how the number i is written, and the number must be
  // followed by something (the size tag or the extension).
  if (digits == 0 || digits == name.size() || (digits > 1 && name[0] == '0') || digits > 9) return std::nullopt;
  int number = 0;
  std::from_chars(name.data(), name.data() + digits, number);
  return number;
}

}  // namespace

PictureFolder::PictureFolder(fs::path folder) : folder_(std::move(folder)) {
  // FindFiles sorts case-blind, so the first of several case variants wins, as
  // it does in a single-name lookup.
  for (const FoundFile& file : FindFiles(folder_, "*")) {
    byUpperName_.emplace(ToUpperAscii(file.name), file.name);
    if (auto number = RawNumber(file.name)) rawByNumber_[*number].push_back(file.name);
  }
}

std::optional<fs::path> PictureFolder::Find(std::string_view name) const {
  auto it = byUpperName_.find(ToUpperAscii(name));
  if (it == byUpperName_.end()) return std::nullopt;
  // The exact spelling is preferred when it exists too.
  if (it->second != name && FileExists(folder_ / std::string(name))) return folder_ / std::string(name);
  return folder_ / it->second;
}

fs::path PictureFolder::PathFor(std::string_view name) const {
  if (auto found = Find(name)) return *found;
  return folder_ / std::string(name);
}

std::vector<fs::path> PictureFolder::RawFiles(int number) const {
  std::vector<fs::path> paths;
  auto it = rawByNumber_.find(number);
  if (it != rawByNumber_.end()) {
    for (const std::string& name : it->second) paths.push_back(folder_ / name);
  }
  return paths;
}

}  // namespace resmill::drm
