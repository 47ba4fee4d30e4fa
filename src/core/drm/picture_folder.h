#pragma once
// One listing of a picture folder of the unpacked tree, taken once per
// operation: names are matched case-blind as the tree's users expect, without
// a folder scan per picture (a DRM holds thousands of pictures).

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace resmill::drm {

class PictureFolder {
 public:
  /// Lists the plain, visible files of `folder`; a missing folder lists nothing.
  explicit PictureFolder(std::filesystem::path folder);

  const std::filesystem::path& Folder() const noexcept { return folder_; }
  /// The file named `name`: the exact name when present, else the first case-blind match.
  std::optional<std::filesystem::path> Find(std::string_view name) const;
  /// Where to write `name`: an existing file of that name in another letter case
  /// is overwritten rather than left beside a new one.
  std::filesystem::path PathFor(std::string_view name) const;
  /// The ".raw" files of RAW picture `number`: their names are the number in
  /// decimal followed by a non-digit (the size tag), so picture 1 never takes
  /// 10(16x16).raw. Sorted case-blind.
  std::vector<std::filesystem::path> RawFiles(int number) const;

 private:
  std::filesystem::path folder_;
  std::map<std::string, std::string> byUpperName_;  // upper-cased name -> name on disk
  std::map<int, std::vector<std::string>> rawByNumber_;
};

}  // namespace resmill::drm
