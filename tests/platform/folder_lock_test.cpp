#include "platform/folder_lock.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/file_system.h"
#include "test_support.h"

namespace resmill {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using test::TempDir;

// The lock is refused with a message that names the folder.
void ExpectRefused(const fs::path& folder) {
  try {
    FolderLock again(folder);
    ADD_FAILURE() << "a second lock on " << folder << " was granted";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Refused);
    EXPECT_THAT(e.what(), HasSubstr("another ResMill is working in the folder '" + folder.string() + "'"));
  }
}

TEST(FolderLock, OneHolderAtATimeUntilItLetsGo) {
  TempDir dir;
  {
    FolderLock lock(dir.path());
    EXPECT_TRUE(fs::exists(dir / kFolderLockFileName));
    ExpectRefused(dir.path());
    FolderLock moved(std::move(lock));
    ExpectRefused(dir.path());
  }
  EXPECT_NO_THROW(FolderLock(dir.path()));
  EXPECT_TRUE(fs::exists(dir / kFolderLockFileName)) << "the lock file stays";
}

TEST(FolderLock, TheSystemReleasesTheLockOfAKilledHolder) {
  TempDir dir;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = ::fork();
  if (holder == 0) {
    FolderLock lock(dir.path());
    char c = 'r';
    if (::write(ready[1], &c, 1) != 1) ::_exit(2);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ExpectRefused(dir.path());
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_NO_THROW(FolderLock(dir.path()));
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(FolderLock, AFolderReachedThroughALinkIsTheSameFolder) {
  TempDir dir;
  fs::create_directory(dir / "work");
  fs::create_directory_symlink(dir / "work", dir / "link");
  EXPECT_TRUE(SameFileOrFolder(dir / "work", dir / "link"));
  EXPECT_TRUE(SameFileOrFolder(dir / "work", dir / "work/../work"));
  EXPECT_FALSE(SameFileOrFolder(dir / "work", dir.path()));
  EXPECT_FALSE(SameFileOrFolder(dir / "work", dir / "missing"));
  test::WriteText(dir / "work/a.png", "a");
  fs::create_hard_link(dir / "work/a.png", dir / "b.png");
  EXPECT_TRUE(SameFileOrFolder(dir / "link/a.png", dir / "b.png"));
  test::WriteText(dir / "c.png", "a");
  EXPECT_FALSE(SameFileOrFolder(dir / "b.png", dir / "c.png")) << "the same bytes are not the same file";
  FolderLock lock(dir / "work");
  ExpectRefused(dir / "link");
}

TEST(FolderLock, AMissingFolderIsAnIoError) {
  TempDir dir;
  try {
    FolderLock lock(dir / "missing");
    ADD_FAILURE() << "locked a missing folder";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Io);
    EXPECT_THAT(e.what(), HasSubstr((dir / "missing" / kFolderLockFileName).string()));
  }
}

TEST(FolderLock, AFolderThatMayOnlyBeReadIsLockedByItself) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir dir;
  fs::create_directory(dir / "ro");
  fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  {
    FolderLock lock(dir / "ro");
    EXPECT_FALSE(fs::exists(dir / "ro" / kFolderLockFileName));
    ExpectRefused(dir / "ro");
  }
  EXPECT_NO_THROW(FolderLock(dir / "ro"));
}

TEST(SyncFileSystem, FlushesAFolderOrNamesTheMissingOne) {
  TempDir dir;
  EXPECT_NO_THROW(SyncFileSystem(dir.path()));
  EXPECT_NO_THROW(SyncFolder(dir.path()));
  for (auto flush : {&SyncFileSystem, &SyncFolder}) {
    try {
      flush(dir / "missing");
      ADD_FAILURE() << "flushed a missing folder";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Io);
      EXPECT_THAT(e.what(), HasSubstr((dir / "missing").string()));
    }
  }
}

}  // namespace
}  // namespace resmill
