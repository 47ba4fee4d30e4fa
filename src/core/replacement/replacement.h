#pragma once
// The replacement list that Build Setup fills and the Build command runs.

#include <cstddef>
#include <filesystem>
#include <vector>

namespace resmill::replacement {

/// One pairing of a source picture with a target icon.
struct TRepItem {
  std::filesystem::path TargetPath;  ///< full path of the target icon
  std::filesystem::path SourcePath;  ///< full path of the source picture
  int TargetIndex = 0;               ///< position in the target list
  int SourceIndex = 0;               ///< position in the source list
  bool MatchSize = false;            ///< redraw the source at the target icon's size
};

/// ReplacementTable with its ReplacementCount. The count is 16 bits wide, so at
/// most 65,535 pairings are kept; one more is refused rather than wrapping to 0.
class ReplacementTable {
 public:
  static constexpr std::size_t kCapacity = 65535;

  /// Appends at position Count(); false (nothing added) when the table is full.
  bool Append(const TRepItem& item) {
    if (items_.size() >= kCapacity) return false;
    items_.push_back(item);
    return true;
  }
  void Clear() { items_.clear(); }
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  TRepItem& operator[](std::size_t i) { return items_.at(i); }
  const TRepItem& operator[](std::size_t i) const { return items_.at(i); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }

 private:
  std::vector<TRepItem> items_;
};

}  // namespace resmill::replacement
