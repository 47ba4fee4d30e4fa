#include "app/settings.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace resmill::app {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

TEST(Settings, AMissingFileIsCreatedWithTheDefaults) {
  TempDir dir;
  Settings s = LoadSettings(dir / "resmill.ini", dir.path());
  EXPECT_TRUE(s.cleanUpOnCompletion && s.askForSourceFile && s.convertRawToBmp && s.autoCloseOnStage);
  EXPECT_EQ(s.workFolder, dir.path());
  EXPECT_EQ(ReadText(dir / "resmill.ini"), "1\r\n1\r\n1\r\n1\r\n" + dir.path().string() + "\r\n");
}

TEST(Settings, LinesAreReadAsNumbersWithDefaultsForDamage) {
  struct Case { const char* text; bool clean, ask, convert, autoClose; const char* folder; };
  const Case cases[] = {
      {"0\r\n2\r\n1\r\n0\r\n/w\r\n", false, false, true, false, "/w"},
      {"1 trailing\n0\n0\n1\n/x y\n", true, false, false, true, "/x y"},  // LF alone, rest of line skipped
      {"abc\r\n\r\n0\r\n257\r\n/w\r\n", true, true, false, true, "/w"},     // no number: default; 257 is 1 in 8 bits
      {"0\r\n", false, true, true, true, ""},                               // cut short: defaults, program folder
      {"  1\r\n-1\r\n0\r\n0\r\n/w", true, false, false, false, "/w"},        // no final line end
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteText(dir / "resmill.ini", c.text);
    Settings s = LoadSettings(dir / "resmill.ini", dir.path());
    EXPECT_EQ(s.cleanUpOnCompletion, c.clean) << c.text;
    EXPECT_EQ(s.askForSourceFile, c.ask) << c.text;
    EXPECT_EQ(s.convertRawToBmp, c.convert) << c.text;
    EXPECT_EQ(s.autoCloseOnStage, c.autoClose) << c.text;
    EXPECT_EQ(s.workFolder, *c.folder ? std::filesystem::path(c.folder) : dir.path()) << c.text;
  }
}

TEST(Settings, SaveWritesFiveCrLfLines) {
  TempDir dir;
  Settings s{false, true, false, true, "/some/folder"};
  SaveSettings(s, dir / "resmill.ini");
  EXPECT_EQ(ReadText(dir / "resmill.ini"), "0\r\n1\r\n0\r\n1\r\n/some/folder\r\n");
  Settings back = LoadSettings(dir / "resmill.ini", dir.path());
  EXPECT_EQ(back.workFolder, s.workFolder);
  EXPECT_FALSE(back.cleanUpOnCompletion);
}

TEST(StateFile, OnlyTheSixStageValuesCountAsPendingWork) {
  struct Case { const char* text; std::optional<int> flags; };
  const Case cases[] = {{"6", 6}, {"10", 10}, {"1\r\n", 1}, {"5 extra", 5}, {"3", std::nullopt},
                        {"0", std::nullopt}, {"", std::nullopt}, {"x", std::nullopt}, {"266", std::nullopt},
                        {"-2", std::nullopt}};
  for (const Case& c : cases) {
    TempDir dir;
    WriteText(dir / "shxdata.dat", c.text);
    auto flags = ReadStateFile(dir / "shxdata.dat");
    EXPECT_EQ(flags.has_value(), c.flags.has_value()) << c.text;
    if (flags && c.flags) {
      EXPECT_EQ(*flags, *c.flags);
    }
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), c.text) << "reading leaves the state file as it is";
  }
  TempDir dir;
  EXPECT_FALSE(ReadStateFile(dir / "shxdata.dat"));
  WriteStateFile(dir / "shxdata.dat", 6);
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "6");
  WriteStateFile(dir / "shxdata.dat", 10);
  EXPECT_EQ(ReadText(dir / "shxdata.dat"), "10");
}

}  // namespace
}  // namespace resmill::app
