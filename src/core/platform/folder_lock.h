#pragma once
// One ResMill at a time in a folder. Two runs that share a program folder or a
// work folder would read and write the same state file, settings and work tree
// under each other's feet, so each run holds an advisory lock (flock) on the
// file "resmill.lock" in the folder while it works there. The system drops the
// lock when its holder ends, however it ends: a crash or a kill never leaves a
// folder locked, and the lock file itself is never removed (removing it would
// let two runs lock two different files of the same name).

#include <filesystem>

namespace resmill {

inline constexpr const char* kFolderLockFileName = "resmill.lock";

class FolderLock {
 public:
  /// Takes the lock on `folder` without waiting. Throws Error::Kind::Refused,
  /// naming the folder, when another run holds it, and Error::Kind::Io when the
  /// folder can be neither locked through its lock file nor by itself.
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  const std::filesystem::path& Folder() const noexcept { return folder_; }

 private:
  std::filesystem::path folder_;
  int fd_ = -1;
};

}  // namespace resmill
