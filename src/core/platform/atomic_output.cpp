#include "platform/atomic_output.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMark = ".resmill-";
// Room for ".", the mark, a pid and the random part within a 255-byte file name.
constexpr std::size_t kMaxNameInTemp = 200;

// ".<name>.resmill-<pid>-<random>": the leading dot keeps it out of the
// case-blind folder searches, the pid and the lock tell a later writer whether
// it is stale.
fs::path TemporaryName(const fs::path& folder, const fs::path& target, std::uint32_t random) {
  std::string name = target.filename().string().substr(0, kMaxNameInTemp);
  return folder / fmt::format(".{}{}{}-{:08x}", name, kTempMark, ::getpid(), random);
}

// The writer's pid in a name made by TemporaryName; nothing for any other name.
std::optional<pid_t> TemporaryWriter(std::string_view name) {
  if (name.empty() || name[0] != '.') return std::nullopt;
  std::size_t mark = name.rfind(kTempMark);
  if (mark == std::string_view::npos || mark == 0) return std::nullopt;
  std::string_view rest = name.substr(mark + kTempMark.size());
  std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0 || rest.size() - dash - 1 != 8) return std::nullopt;
  if (rest.find_first_not_of("0123456789abcdef", dash + 1) != std::string_view::npos) return std::nullopt;
  pid_t pid = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
  if (error != std::errc() || end != rest.data() + dash || pid <= 0) return std::nullopt;
  return pid;
}

bool ProcessIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Removes `file` when nobody holds its lock, and only when the name still holds
// the file that was checked.
void RemoveIfUnlocked(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return;
  // A file system without locks cannot tell: the dead pid decides alone.
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) == 0 && ::lstat(file.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
        opened.st_dev == named.st_dev && S_ISREG(named.st_mode)) {
      ::unlink(file.c_str());
    }
  }
  ::close(fd);
}

// An unnamed file in `folder`, or -1 when the file system has none (or the
// process cannot reach it through /proc, which the verifier and the link need).
int OpenUnnamed(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (::access(fmt::format("/proc/self/fd/{}", fd).c_str(), R_OK | W_OK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int CreateNamed(const fs::path& folder, const fs::path& target, fs::path& name) {
  std::random_device random;
  for (int attempt = 0;; ++attempt) {
    name = TemporaryName(folder, target, random());
    // O_EXCL with a fresh name each try: the file gets the permissions a plain new
    // file would get (umask applies), and no other file is ever truncated.
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST || attempt > 100) ThrowIoError("create", target);
  }
}

}  // namespace

void RemoveStaleTemporaryFiles(const fs::path& folder) noexcept {
  try {
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      auto writer = TemporaryWriter(it->path().filename().string());
      if (writer && *writer != ::getpid() && ProcessIsGone(*writer)) RemoveIfUnlocked(it->path());
    }
  } catch (...) {  // a sweep is a courtesy: it never fails a write
  }
}

AtomicOutputFile::AtomicOutputFile(fs::path target, OutputOptions options)
    : target_(std::move(target)), folder_(target_.parent_path()), options_(options) {
  if (folder_.empty()) folder_ = ".";
  if (options_.durability == Durability::Durable) RemoveStaleTemporaryFiles(folder_);
  int fd = options_.temporary == TemporaryKind::Unnamed ? OpenUnnamed(folder_) : -1;
  if (fd >= 0) {
    unnamed_ = true;
    temp_ = fmt::format("/proc/self/fd/{}", fd);
  } else {
    fd = CreateNamed(folder_, target_, temp_);
  }
  // The lock tells a sweep in another process that a named file is alive (an
  // unnamed one no sweep can see). It cannot fail on a fresh file that nobody
  // else has opened; a file system without locks leaves the pid alone to tell.
  if (!unnamed_) ::flock(fd, LOCK_EX | LOCK_NB);
  file_ = BinaryFile::Adopt(fd, target_);
}

AtomicOutputFile::~AtomicOutputFile() { Discard(); }

void AtomicOutputFile::Discard() noexcept {
  if (done_) return;
  done_ = true;
  if (!linked_.empty()) ::unlink(linked_.c_str());
  // A named file goes while its lock is still held, so no sweep sees it unlocked.
  if (!unnamed_ && !temp_.empty()) ::unlink(temp_.c_str());
  try {
    file_.Close();
  } catch (...) {
  }
}

void AtomicOutputFile::LinkIntoPlace() {
  // A new name is taken at once; an existing file is replaced by a rename, which
  // needs the bytes under a name of their own first.
  if (::linkat(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
  if (errno != EEXIST) ThrowIoError("create", target_);
  std::random_device random;
  for (int attempt = 0;; ++attempt) {
    fs::path name = TemporaryName(folder_, target_, random());
    if (::linkat(AT_FDCWD, temp_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      linked_ = std::move(name);
      break;
    }
    if (errno != EEXIST || attempt > 100) ThrowIoError("create", target_);
  }
  if (::rename(linked_.c_str(), target_.c_str()) != 0) ThrowIoError("rename to", target_);
  linked_.clear();
}

void AtomicOutputFile::Commit() {
  if (done_) throw Error(Error::Kind::Internal, "output file committed twice: " + target_.string());
  const bool durable = options_.durability == Durability::Durable;
  try {
    if (verifier_) verifier_(temp_);
    if (durable) file_.Sync();
    if (unnamed_) {
      LinkIntoPlace();
      file_.Close();
    } else {
      // Closed first: a file system that reports write failures only at the close
      // must not get the file under the target's name.
      file_.Close();
      if (::rename(temp_.c_str(), target_.c_str()) != 0) ThrowIoError("rename to", target_);
    }
  } catch (...) {
    Discard();
    throw;
  }
  done_ = true;
  if (durable) SyncFolder(folder_);
}

void WriteFileAtomically(const fs::path& target, std::span<const std::uint8_t> data, Durability durability) {
  AtomicOutputFile out(target, {durability});
  out.File().Write(data);
  out.Commit();
}

void CopyFileAtomically(const fs::path& source, const fs::path& target, Durability durability) {
  BinaryFile in(source, BinaryFile::Mode::Read);
  AtomicOutputFile out(target, {durability});
  std::vector<std::uint8_t> block(8192);
  for (;;) {
    std::size_t got = in.Read(block);
    if (got == 0) break;
    out.File().Write(std::span(block.data(), got));
  }
  out.Commit();
}

}  // namespace resmill
