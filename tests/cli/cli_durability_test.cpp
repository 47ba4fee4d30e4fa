// The real resmill-cli binary under the blows a user's machine deals it: killed
// during a save, killed while work is pending, a second run in the same folder,
// a disk that fills up.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/folder_lock.h"
#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

struct Limits {
  /// RLIMIT_FSIZE for the run (SIGXFSZ ignored, so a write fails as on a full disk); 0 for none.
  rlim_t fileSize = 0;
};

/// resmill-cli started in `folder`, its standard output and error going to `log`.
pid_t Spawn(const fs::path& folder, const std::vector<std::string>& args, const fs::path& log, Limits limits = {}) {
  const std::string program = (BinaryDir() / "resmill-cli").string();
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = ::fork();
  if (pid == 0) {
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || ::chdir(folder.c_str()) != 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(out, 2);
    if (limits.fileSize != 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{limits.fileSize, limits.fileSize};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    ::execv(program.c_str(), pointers.data());
    ::_exit(127);
  }
  return pid;
}

/// True once `pid` has ended; it stays to be reaped by Wait.
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
}

struct Ended {
  int status = -1;  ///< exit status, or -1 when a signal ended it
  int signal = 0;
  std::string output;
};

Ended Wait(pid_t pid, const fs::path& log) {
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  Ended end;
  if (WIFEXITED(raw)) end.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) end.signal = WTERMSIG(raw);
  end.output = ReadText(log);
  return end;
}

/// One run of the binary to its end.
Ended RunBinary(const fs::path& folder, const std::vector<std::string>& args, Limits limits = {}) {
  TempDir logs;
  return Wait(Spawn(folder, args, logs / "log", limits), logs / "log");
}

/// Every file under `folder` with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = ReadText(entry.path());
  }
  return files;
}

/// True once `pid` holds a lock (flock) of its own: the run has started and locked its folder.
/// Read from the process's own descriptors, so that it holds in any PID namespace
/// (/proc/locks names the holder by a PID of the namespace /proc was mounted in).
bool HoldsALock(pid_t pid) {
  const fs::path fds = fs::path("/proc") / std::to_string(pid) / "fdinfo";
  std::error_code ec;
  for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
    // Descriptors come and go while the run works: one that is gone is no lock.
    std::ifstream info(it->path());
    std::stringstream text;
    text << info.rdbuf();
    if (text.str().find("FLOCK") != std::string::npos) return true;
  }
  return false;
}

/// A program folder with `image` opened as a raw dump ("phone.bin"), conversion and clean-up off.
struct Opened {
  TempDir dir;
  explicit Opened(const Bytes& image) {
    WriteBytes(dir / "phone.bin", image);
    EXPECT_EQ(RunBinary(dir.path(), {"settings", "--convert", "off", "--clean-up", "off"}).status, 0);
    Ended open = RunBinary(dir.path(), {"open", "phone.bin"});
    EXPECT_EQ(open.status, 0) << open.output;
  }
  std::map<std::string, std::string> Tree() const { return Snapshot(dir / "binary1"); }
  void ExpectPending(const std::string& why) const {
    Ended status = RunBinary(dir.path(), {"status"});
    EXPECT_EQ(status.status, 0) << why << ": " << status.output;
    EXPECT_THAT(status.output, HasSubstr("Pending: one file, target is a raw dump")) << why;
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "5") << why;
  }
};

// A DRM of 20 MB in a few hundred full-screen pictures: its save takes long
// enough for the kills to land all through it (the compile, the read-back, the
// flush, the rename, the state file's removal), and its tree is quick to remove.
sample::DrmRecipe BigPicturesDrm() {
  sample::DrmRecipe spec;
  for (int i = 0; i < 250; ++i) spec.raws.push_back(sample::DrawRaw(176, 220, i, i % 4 == 0));
  for (int k = 0; k < 50; ++k) spec.gifs.push_back(sample::DrawGif(48, 48, k % 5 == 0 ? 3 : 1, k % 2 == 0, k));
  return spec;
}

TEST(CliDurability, ASaveKilledAtAnyMomentLosesNothing) {
  const Bytes image = sample::BuildDrmImage(BigPicturesDrm());
  ASSERT_GT(image.size(), 19'000'000u);
  Opened w(image);
  const auto tree = w.Tree();
  ASSERT_EQ(tree.size(), 302u);
  const std::string old = "the previous reflash";
  WriteText(w.dir / "out.bin", old);
  const std::vector<std::string> entries = {"binary1", "binary2", "out.bin", "phone.bin", "resmill.ini",
                                            "resmill.lock", "shxdata.dat"};

  int killed = 0;
  bool completed = false;
  for (int delayMs = 5; !completed && delayMs < 60000; delayMs = delayMs * 7 / 5 + 1) {
    SCOPED_TRACE("kill after " + std::to_string(delayMs) + " ms");
    const int signal = killed % 3 == 2 ? SIGTERM : SIGKILL;
    TempDir logs;
    pid_t save = Spawn(w.dir.path(), {"save", "out.bin"}, logs / "log");
    // The clock starts once the save has locked the folder, so that each delay lands inside it.
    bool locked = false;
    while (!(locked = HoldsALock(save)) && !HasEnded(save)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(locked) << "the save ended before it was seen to lock its folder";
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    // Frozen where the delay found it, so that the second run below (slow to start
    // under a sanitizer) cannot move the moment of the kill.
    ::kill(save, SIGSTOP);
    // A second run while the save works is refused, and touches nothing. (Once the
    // save is done it would start afresh and empty the tree, which takes long.)
    Ended second;
    if (fs::exists(w.dir / "shxdata.dat")) second = RunBinary(w.dir.path(), {"status"});
    ::kill(save, signal);
    ::kill(save, SIGCONT);
    Ended end = Wait(save, logs / "log");
    if (end.signal == signal && second.status != -1) {
      EXPECT_EQ(second.status, 2) << second.output;
      EXPECT_THAT(second.output, HasSubstr("another ResMill is working in the folder '" + w.dir.path().string()));
    }
    if (!fs::exists(w.dir / "shxdata.dat")) {
      // The save had done its work (the kill came as it ended, or after).
      completed = true;
      EXPECT_TRUE(end.status == 0 || end.signal == signal) << end.output;
      EXPECT_EQ(ReadBytes(w.dir / "out.bin"), image) << "a compile of the unchanged tree gives the image back";
      continue;
    }
    ASSERT_EQ(end.signal, signal) << "the save ended on its own but left the work pending: " << end.output;
    ++killed;
    const Bytes now = ReadBytes(w.dir / "out.bin");
    if (now != Bytes(old.begin(), old.end())) {
      EXPECT_EQ(now, image) << "the file under the chosen name is neither the old one nor the new one";
    }
    EXPECT_EQ(ListFolder(w.dir.path()), entries) << "a temporary file was left";
    EXPECT_TRUE(w.Tree() == tree) << "the work tree changed";
    w.ExpectPending("after the kill");
  }
  EXPECT_TRUE(completed) << "the save never ran to its end";
  EXPECT_GE(killed, 6) << "too few kills landed inside the save";
}

TEST(CliDurability, ADiskThatFillsUpDuringASaveKeepsTheOldFileAndTheWork) {
  const Bytes image = sample::BuildDrmImage(sample::SampleDrm());
  Opened w(image);
  const auto tree = w.Tree();
  WriteText(w.dir / "out.bin", "old");
  Ended end = RunBinary(w.dir.path(), {"save", "out.bin"}, Limits{image.size() / 2});
  EXPECT_EQ(end.status, 1) << end.output;
  EXPECT_THAT(end.output, HasSubstr("write '" + (w.dir / "out.bin").string() + "': File too large"));
  EXPECT_EQ(ReadText(w.dir / "out.bin"), "old");
  EXPECT_EQ(ListFolder(w.dir.path()), (std::vector<std::string>{"binary1", "binary2", "out.bin", "phone.bin",
                                                                 "resmill.ini", "resmill.lock", "shxdata.dat"}));
  EXPECT_TRUE(w.Tree() == tree);
  w.ExpectPending("after the failed save");
  // With room again the same save goes through.
  EXPECT_EQ(RunBinary(w.dir.path(), {"save", "out.bin"}).status, 0);
  EXPECT_EQ(ReadBytes(w.dir / "out.bin"), image);
}

TEST(CliDurability, OneRunAtATimeInAProgramFolderOrAWorkFolder) {
  TempDir dir;
  WriteBytes(dir / "phone.bin", sample::BuildDrmImage(sample::SampleDrm()));
  WriteBytes(dir / "pic.bmp", sample::DrawBmp(8, 6, 1));
  ASSERT_EQ(RunBinary(dir.path(), {"status"}).status, 0);
  {
    FolderLock held(dir.path());  // as another run holds it
    struct Case {
      std::vector<std::string> args;
      int status;
    };
    const Case cases[] = {
        {{"status"}, 2},
        {{"open", "phone.bin"}, 2},
        {{"reset"}, 2},
        {{"settings"}, 2},
        {{"save", "out.bin"}, 2},
        // Commands that touch no state file, settings or work tree need no lock.
        {{"info", "phone.bin"}, 0},
        {{"convert", "pic.bmp", "pic.png"}, 0},
        {{"--version"}, 0},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.args[0]);
      Ended end = RunBinary(dir.path(), c.args);
      EXPECT_EQ(end.status, c.status) << end.output;
      if (c.status == 2) {
        EXPECT_EQ(end.output, "resmill-cli: another ResMill is working in the folder '" + dir.path().string() +
                                  "'; let it finish (or close its window) and try again\n");
      }
    }
    EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
    EXPECT_TRUE(fs::exists(dir / "pic.png"));
  }

  // A work folder apart from the program folder is locked too.
  ASSERT_EQ(RunBinary(dir.path(), {"settings", "--work-folder", "work"}).status, 0);
  {
    FolderLock held(dir / "work");
    Ended end = RunBinary(dir.path(), {"open", "phone.bin"});
    EXPECT_EQ(end.status, 2);
    EXPECT_THAT(end.output, HasSubstr("another ResMill is working in the folder '" + (dir / "work").string()));
    EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
  }
  EXPECT_EQ(RunBinary(dir.path(), {"open", "phone.bin"}).status, 0);
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "5");
}

// The state file is on disk exactly while work is pending, whatever ends a run.
TEST(CliDurability, PendingWorkOutlivesEveryRunUntilSavedOrReset) {
  const Bytes image = sample::BuildDrmImage(sample::SampleDrm());
  Opened w(image);
  EXPECT_EQ(ReadText(w.dir / "shxdata.dat"), "5");
  WriteText(w.dir / "binary1/drmpack/icons/edited.txt", "the user's edit");
  for (int i = 0; i < 2; ++i) w.ExpectPending("a later run");
  EXPECT_EQ(ReadText(w.dir / "binary1/drmpack/icons/edited.txt"), "the user's edit");

  ASSERT_EQ(RunBinary(w.dir.path(), {"save", "out.bin"}).status, 0);
  EXPECT_FALSE(fs::exists(w.dir / "shxdata.dat"));
  EXPECT_THAT(RunBinary(w.dir.path(), {"status"}).output, HasSubstr("Pending: nothing"));

  ASSERT_EQ(RunBinary(w.dir.path(), {"open", "phone.bin"}).status, 0);
  EXPECT_TRUE(fs::exists(w.dir / "shxdata.dat"));
  ASSERT_EQ(RunBinary(w.dir.path(), {"reset"}).status, 0);
  EXPECT_FALSE(fs::exists(w.dir / "shxdata.dat"));

  // A damaged state file counts as nothing pending, and goes.
  for (const char* damaged : {"", "x", "7", "-1", "300"}) {
    WriteText(w.dir / "shxdata.dat", damaged);
    Ended status = RunBinary(w.dir.path(), {"status"});
    EXPECT_THAT(status.output, HasSubstr("Pending: nothing")) << damaged;
    EXPECT_FALSE(fs::exists(w.dir / "shxdata.dat")) << damaged;
  }
}

}  // namespace
}  // namespace resmill::test
