#include "platform/folder_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fmt/format.h>

#include "platform/error.h"

namespace resmill {
namespace fs = std::filesystem;

namespace {

int OpenLockFile(const fs::path& folder) {
  const fs::path file = folder / kFolderLockFileName;
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    // A folder this run may only read: an existing lock file, or else the folder itself.
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) ThrowIoError("lock", file);
  return fd;
}

}  // namespace

FolderLock::FolderLock(const fs::path& folder) : folder_(folder) {
  fd_ = OpenLockFile(folder_.empty() ? fs::path(".") : folder_);
  int result = 0;
  do {
    result = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return;
  const int failure = errno;
  ::close(fd_);
  fd_ = -1;
  if (failure == EWOULDBLOCK) {
    throw Error(Error::Kind::Refused,
                fmt::format("another ResMill is working in the folder '{}'; let it finish (or close its window) "
                            "and try again",
                            folder_.string()));
  }
  ThrowIoError("lock", folder_ / kFolderLockFileName, failure);
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

FolderLock::FolderLock(FolderLock&& other) noexcept : folder_(std::move(other.folder_)), fd_(other.fd_) {
  other.fd_ = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    folder_ = std::move(other.folder_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

}  // namespace resmill
