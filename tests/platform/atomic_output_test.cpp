#include "platform/atomic_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "test_support.h"

namespace resmill {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using test::ListFolder;
using test::ReadText;
using test::TempDir;
using test::WriteText;

struct ChildEnd {
  int exitCode = -1;  ///< the child's exit status, or -1 when a signal ended it
  int signal = 0;
  std::string message;  ///< what the child wrote to its message pipe
};

// Runs `body` in a child process; the child exits 0 after it, 1 when it throws
// (the exception's text goes to the message), and whatever `body` does to end
// it otherwise (a signal, _exit).
ChildEnd RunInChild(const std::function<void(int messageFd)>& body) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    int code = 0;
    try {
      body(pipeFds[1]);
    } catch (const std::exception& e) {
      std::string text = e.what();
      code = ::write(pipeFds[1], text.data(), text.size()) < 0 ? 3 : 1;
    }
    ::_exit(code);
  }
  ::close(pipeFds[1]);
  ChildEnd end;
  char buffer[512];
  for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) end.message.append(buffer, got);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

// Every test below runs with both kinds of temporary file: the unnamed one and
// the named one that a file system without unnamed files gets.
class AtomicOutput : public ::testing::TestWithParam<TemporaryKind> {
 protected:
  OutputOptions Options(Durability durability = Durability::Durable) const { return {durability, GetParam()}; }
};

INSTANTIATE_TEST_SUITE_P(Kinds, AtomicOutput, ::testing::Values(TemporaryKind::Unnamed, TemporaryKind::Named),
                         [](const auto& kind) { return kind.param == TemporaryKind::Unnamed ? "Unnamed" : "Named"; });

TEST_P(AtomicOutput, CommitReplacesTheTargetWhole) {
  for (Durability durability : {Durability::Durable, Durability::Deferred}) {
    TempDir dir;
    WriteText(dir / "out.shx", "old");
    {
      AtomicOutputFile out(dir / "out.shx", Options(durability));
      EXPECT_EQ(out.Unnamed(), GetParam() == TemporaryKind::Unnamed);
      out.File().Write(std::string_view("new content"));
      EXPECT_EQ(ReadText(dir / "out.shx"), "old");  // untouched until complete
      // An unnamed file shows in no folder listing while it is written.
      EXPECT_EQ(ListFolder(dir.path()).size(), out.Unnamed() ? 1u : 2u);
      out.Commit();
    }
    EXPECT_EQ(ReadText(dir / "out.shx"), "new content");
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"out.shx"});
  }
}

TEST_P(AtomicOutput, ANewFileGetsThePermissionsOfAPlainNewFile) {
  TempDir dir;
  WriteText(dir / "plain", "");
  WriteFileAtomically(dir / "new.bin", {}, Durability::Durable);
  AtomicOutputFile out(dir / "other.bin", Options());
  out.Commit();
  auto perms = [](const fs::path& p) { return fs::status(p).permissions(); };
  EXPECT_EQ(perms(dir / "new.bin"), perms(dir / "plain"));
  EXPECT_EQ(perms(dir / "other.bin"), perms(dir / "plain"));
}

TEST_P(AtomicOutput, AFailureLeavesNoFileAndKeepsTheOldOne) {
  TempDir dir;
  WriteText(dir / "kept.bin", "older file");
  for (const char* name : {"kept.bin", "fresh.bin"}) {
    try {
      AtomicOutputFile out(dir / name, Options());
      out.File().Write(std::string_view("partial"));
      throw std::runtime_error("writer failed half-way");
    } catch (const std::runtime_error&) {
    }
  }
  EXPECT_EQ(ReadText(dir / "kept.bin"), "older file");
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"kept.bin"});
}

TEST_P(AtomicOutput, TheVerifierReadsTheWrittenBytesAndItsFailureKeepsTheTarget) {
  for (const char* name : {"t.bin", "new.bin"}) {
    TempDir dir;
    WriteText(dir / "t.bin", "good");
    AtomicOutputFile out(dir / name, Options());
    out.File().Write(std::string_view("bad"));
    std::string seen;
    out.SetVerifier([&](const fs::path& temp) {
      seen = ReadText(temp);
      throw Error(Error::Kind::Internal, "read-back differs");
    });
    EXPECT_THROW(out.Commit(), Error);
    EXPECT_EQ(seen, "bad");
    EXPECT_EQ(ReadText(dir / "t.bin"), "good");
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"t.bin"});
  }
}

TEST_P(AtomicOutput, TargetsThatCannotBeWritten) {
  TempDir dir;
  fs::create_directory(dir / "folder");
  WriteText(dir / "folder/inside", "x");
  struct Case {
    const char* what;
    fs::path target;
  };
  const Case cases[] = {
      {"missing folder", dir / "no" / "x.bin"},
      {"a folder under the name", dir / "folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      AtomicOutputFile out(c.target, Options());
      out.File().Write(std::string_view("data"));
      out.Commit();
      ADD_FAILURE() << "written";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Io);
      EXPECT_THAT(e.what(), HasSubstr(c.target.string()));
    }
  }
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"folder"});
  EXPECT_EQ(ListFolder(dir / "folder"), std::vector<std::string>{"inside"});
}

TEST_P(AtomicOutput, ALongNameStillGetsATemporaryFile) {
  TempDir dir;
  const std::string name = std::string(250, 'n') + ".shx";
  AtomicOutputFile out(dir / name, Options());
  out.File().Write(std::string_view("long"));
  out.Commit();
  EXPECT_EQ(ReadText(dir / name), "long");
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{name});
}

// A full disk, as a file-size limit shows it: the write fails, the error names
// the file, the old file stays and nothing else is left.
TEST_P(AtomicOutput, ADiskThatFillsUpKeepsTheOldFile) {
  TempDir dir;
  WriteText(dir / "out.bin", "old");
  const OutputOptions options = Options();
  ChildEnd end = RunInChild([&](int) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    AtomicOutputFile out(dir / "out.bin", options);
    std::vector<std::uint8_t> block(16 * 1024, 0x5A);
    for (int i = 0; i < 64; ++i) out.File().Write(block);
    out.Commit();
  });
  EXPECT_EQ(end.exitCode, 1) << end.message;
  EXPECT_THAT(end.message, StartsWith("write '" + (dir / "out.bin").string() + "': File too large"));
  EXPECT_EQ(ReadText(dir / "out.bin"), "old");
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"out.bin"});
}

// A writer killed half-way: with an unnamed file nothing is left; a named file
// stays until the next durable write into the folder, which removes it.
TEST_P(AtomicOutput, AWriterKilledHalfWayLeavesTheTargetAndNoLastingTemporaryFile) {
  TempDir dir;
  WriteText(dir / "out.bin", "old");
  const OutputOptions options = Options();
  ChildEnd end = RunInChild([&](int) {
    AtomicOutputFile out(dir / "out.bin", options);
    out.File().Write(std::string_view("half"));
    ::raise(SIGKILL);
  });
  EXPECT_EQ(end.signal, SIGKILL);
  EXPECT_EQ(ReadText(dir / "out.bin"), "old");
  EXPECT_EQ(ListFolder(dir.path()).size(), GetParam() == TemporaryKind::Unnamed ? 1u : 2u);

  WriteFileAtomically(dir / "state", std::vector<std::uint8_t>{'1'}, Durability::Deferred);
  EXPECT_EQ(ListFolder(dir.path()).size(), GetParam() == TemporaryKind::Unnamed ? 2u : 3u)
      << "a deferred write leaves the folder alone";
  WriteFileAtomically(dir / "state", std::vector<std::uint8_t>{'2'}, Durability::Durable);
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"out.bin", "state"}));
}

TEST(AtomicOutputSweep, OnlyTemporaryFilesOfGoneWritersAreRemoved) {
  TempDir dir;
  // A pid that belonged to a process that has ended.
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string goneMark = ".resmill-" + std::to_string(gone) + "-";
  const std::string liveMark = ".resmill-" + std::to_string(::getppid()) + "-";

  struct Case {
    std::string name;
    bool removed;
  };
  const std::vector<Case> cases = {
      {".out.shx" + goneMark + "0123abcd", true},
      {".x" + goneMark + "ffffffff", true},
      {".out.shx" + liveMark + "0123abcd", false},           // its writer still runs
      {"out.shx" + goneMark + "0123abcd", false},            // not hidden: a user's file
      {".out.shx" + goneMark + "0123abc", false},            // not the random part
      {".out.shx" + goneMark + "0123ABCD", false},
      {".out.shx.resmill-x-0123abcd", false},
      {".out.shx.resmill--0123abcd", false},
      {".out.shx.resmill-0123abcd", false},                  // another scheme
      {"plain.bin", false},
  };
  for (const Case& c : cases) WriteText(dir / c.name, "x");
  fs::create_directory(dir / (".dir" + goneMark + "0123abcd"));
  RemoveStaleTemporaryFiles(dir.path());
  for (const Case& c : cases) EXPECT_EQ(fs::exists(dir / c.name), !c.removed) << c.name;
  EXPECT_TRUE(fs::is_directory(dir / (".dir" + goneMark + "0123abcd")));
}

TEST(AtomicOutputSweep, AFileStillLockedIsKeptEvenWhenItsPidIsGone) {
  // A writer on another machine sharing the folder: its pid means nothing here, its lock does.
  TempDir dir;
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const fs::path file = dir / (".out.bin.resmill-" + std::to_string(gone) + "-00c0ffee");
  WriteText(file, "x");
  int fd = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  RemoveStaleTemporaryFiles(dir.path());
  EXPECT_TRUE(fs::exists(file));
  ::close(fd);
  RemoveStaleTemporaryFiles(dir.path());
  EXPECT_FALSE(fs::exists(file));
}

TEST(AtomicOutputSweep, ALiveWriterInAnotherProcessKeepsItsFile) {
  TempDir dir;
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t writer = ::fork();
  if (writer == 0) {
    AtomicOutputFile out(dir / "a.bin", {Durability::Durable, TemporaryKind::Named});
    out.File().Write(std::string_view("a"));
    char c = 'r';
    if (::write(ready[1], &c, 1) != 1 || ::read(release[0], &c, 1) != 1) ::_exit(2);
    out.Commit();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  WriteFileAtomically(dir / "b.bin", std::vector<std::uint8_t>{'b'}, Durability::Durable);
  EXPECT_EQ(ListFolder(dir.path()).size(), 2u) << "the live writer's file was taken";
  ASSERT_EQ(::write(release[1], &c, 1), 1);
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"a.bin", "b.bin"}));
  EXPECT_EQ(ReadText(dir / "a.bin"), "a");
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(AtomicOutputHelpers, CopyReplaces) {
  TempDir dir;
  WriteText(dir / "a", std::string(20000, 'a'));
  WriteText(dir / "b", "b");
  CopyFileAtomically(dir / "a", dir / "b");
  EXPECT_EQ(ReadText(dir / "b"), std::string(20000, 'a'));
  EXPECT_THROW(CopyFileAtomically(dir / "missing", dir / "b"), Error);
  EXPECT_EQ(ReadText(dir / "b"), std::string(20000, 'a'));
}

}  // namespace
}  // namespace resmill
