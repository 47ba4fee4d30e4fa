#pragma once
// Folder work as the work tree needs it: names matched without regard to case
// (the tree's files were named on a case-blind file system and users still
// rename them that way), wildcard searches, and folder creation and clean-up
// that ignore failures.

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace resmill {

std::string ToUpperAscii(std::string_view text);
bool EqualsCaseBlind(std::string_view a, std::string_view b);
/// Case-blind ordering of names: the order in which listings show the tree's files.
int CompareCaseBlind(std::string_view a, std::string_view b);
/// Wildcard match ("*" any run, "?" one character), case-blind; "*.*" takes every
/// name, one without a dot too, so that "all files" means all.
bool WildcardMatch(std::string_view mask, std::string_view name);

/// The extension of a path from the last "." after the last "/", "\" or ":",
/// dot included and upper-cased; empty when there is none.
std::string UpperExtension(std::string_view path);

/// `name` in `folder`: the exact name when it exists, otherwise the first entry
/// whose name equals it case-blind; nothing when neither exists.
std::optional<std::filesystem::path> FindCaseBlind(const std::filesystem::path& folder,
                                                   std::string_view name);
/// As FindCaseBlind, but gives folder/name when no such file exists yet (for creating it).
std::filesystem::path ResolveCaseBlind(const std::filesystem::path& folder, std::string_view name);

struct FoundFile {
  std::string name;             ///< file name without folder
  std::filesystem::path path;   ///< full path
  bool hidden = false;          ///< name starts with "."
};

struct SearchOptions {
  bool includeHidden = false;
  /// Files without owner write permission. Leaving them out costs a status
  /// read per file, which a folder of thousands of pictures feels.
  bool includeReadOnly = true;
};

/// Plain (regular) files of `folder` matching any of the ";"-separated masks,
/// e.g. "*.bmp;*.gif;*.png", sorted case-blind by name. A missing folder gives none.
std::vector<FoundFile> FindFiles(const std::filesystem::path& folder, std::string_view masks,
                                 SearchOptions options = {});

/// Creates one folder level; failure (an existing folder, a missing parent) is ignored.
bool CreateFolder(const std::filesystem::path& folder) noexcept;
/// Removes an empty folder; failure is ignored.
bool RemoveFolder(const std::filesystem::path& folder) noexcept;
/// Removes a file; failure is ignored.
bool DeleteFileQuietly(const std::filesystem::path& file) noexcept;
bool FolderExists(const std::filesystem::path& folder) noexcept;
/// True when both paths reach one existing file or folder (through links or
/// different spellings); false when either is missing.
bool SameFileOrFolder(const std::filesystem::path& a, const std::filesystem::path& b) noexcept;
bool FileExists(const std::filesystem::path& file) noexcept;
/// The length of a file; a missing file or a folder is an I/O error naming it.
std::int64_t FileSize(const std::filesystem::path& file);
/// Renames, replacing an existing target; throws on failure.
void RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

/// Flushes every written file of the file system that holds `folder` to the disk
/// (syncfs): one call that makes a whole stage's files durable.
void SyncFileSystem(const std::filesystem::path& folder);
/// Flushes a folder's entries (new, renamed and removed names) to the disk.
void SyncFolder(const std::filesystem::path& folder);

/// Appends a tail ("binary1", "drmpack/icons") to a folder without doubling a separator.
std::filesystem::path JoinTail(const std::filesystem::path& folder, std::string_view tail);

}  // namespace resmill
