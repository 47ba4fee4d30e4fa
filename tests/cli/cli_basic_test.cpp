#include <sstream>

#include <gtest/gtest.h>

#include "cli_app.h"
#include "test_support.h"

namespace resmill::cli {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempDir;
using test::WriteText;

using test::CliResult;
using test::RunCliIn;

TEST(Cli, StatusInAnEmptyFolderSetsUpTheProgramFolder) {
  TempDir dir;
  CliResult r = RunCliIn(dir.path(), {"status"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(dir / "resmill.ini"), "1\r\n1\r\n1\r\n1\r\n" + dir.path().string() + "\r\n");
  EXPECT_TRUE(fs::is_directory(dir / "binary1/drmpack/icons"));
  EXPECT_TRUE(fs::is_directory(dir / "binary2/drmpack/icons"));
  EXPECT_NE(r.out.find("StageFlags: 0"), std::string::npos);
  EXPECT_NE(r.out.find("Open: on"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
}

TEST(Cli, StatusKeepsPendingWorkForTheNextRun) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "6");
  CliResult r = RunCliIn(dir.path(), {"status"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("StageFlags: 6"), std::string::npos);
  EXPECT_NE(r.out.find("Port: on"), std::string::npos);
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "6");
}

TEST(Cli, SettingsPrintAndChange) {
  TempDir dir;
  CliResult r = RunCliIn(dir.path(), {"settings", "--convert", "off"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(dir / "resmill.ini"), "1\r\n1\r\n0\r\n1\r\n" + dir.path().string() + "\r\n");
  r = RunCliIn(dir.path(), {"settings", "--auto-close", "off", "--work-folder", "w"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(dir / "resmill.ini"), "1\r\n1\r\n0\r\n0\r\n" + (dir / "w").string() + "\r\n");
  EXPECT_TRUE(fs::is_directory(dir / "w/binary1/drmpack/icons"));
  r = RunCliIn(dir.path(), {"settings"});
  EXPECT_NE(r.out.find("convert: off"), std::string::npos);
  EXPECT_NE(r.out.find("auto-close: off"), std::string::npos);
  EXPECT_EQ(RunCliIn(dir.path(), {"settings", "--convert", "maybe"}).status, 2);
}

TEST(Cli, SettingsCannotChangeWhileWorkIsPending) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "1");
  CliResult r = RunCliIn(dir.path(), {"settings", "--clean-up", "off"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("pending"), std::string::npos);
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");  // the pending work is kept
  EXPECT_EQ(ReadText(dir / "resmill.ini").substr(0, 3), "1\r\n");
}

TEST(Cli, ResetRemovesPendingWorkButKeepsReadOnlyFiles) {
  TempDir dir;
  WriteText(dir / "shxdata.dat", "5");
  ASSERT_EQ(RunCliIn(dir.path(), {"status"}).status, 0);
  WriteText(dir / "binary1/CG15.bin", "x");
  WriteText(dir / "binary1/drmpack/icons/keep.gif", "k");
  fs::permissions(dir / "binary1/drmpack/icons/keep.gif", fs::perms::owner_write, fs::perm_options::remove);
  CliResult r = RunCliIn(dir.path(), {"reset"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
  EXPECT_FALSE(fs::exists(dir / "binary1/CG15.bin"));
  EXPECT_TRUE(fs::exists(dir / "binary1/drmpack/icons/keep.gif"));
}

TEST(Cli, UsageErrorsExitTwo) {
  TempDir dir;
  EXPECT_EQ(RunCliIn(dir.path(), {}).status, 2);
  EXPECT_EQ(RunCliIn(dir.path(), {"bogus"}).status, 2);
  CliResult help = RunCliIn(dir.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("resize-gif"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  CliResult sub = RunCliIn(dir.path(), {"settings", "--help"});
  EXPECT_EQ(sub.status, 0);
  EXPECT_NE(sub.out.find("--work-folder"), std::string::npos);
  CliResult version = RunCliIn(dir.path(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("resmill-cli ", 0), 0u) << version.out;
  EXPECT_FALSE(fs::exists(dir / "resmill.ini"));  // neither help nor version starts the program
}

}  // namespace
}  // namespace resmill::cli
