// Port table lines, name matching and whole files.

#include "replacement/port_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/error.h"
#include "test_support.h"

namespace resmill::replacement {
namespace {

TEST(ParsePortTableLineTest, Lines) {
  struct Case {
    const char* line;
    bool entry;
    const char* source;
    const char* target;
    const char* option;
  };
  const Case cases[] = {
      {"mainmenu_1 icon_27", true, "mainmenu_1", "icon_27", ""},
      {"anim3 icon_30 /n", true, "anim3", "icon_30", "/n"},
      {"   a   b   /N  tail text", true, "a", "b", "/N"},
      {"", false, "", "", ""},
      {"a", false, "a", "", ""},
      {"    // a b", false, "", "", ""},
      {"//a b", false, "", "", ""},
      {"/ a b", true, "/", "a", "b"},
      {"a\tb", false, "a\tb", "", ""},       // a tab belongs to its field
      {"a\tb c", true, "a\tb", "c", ""},
      {"   ", false, "", "", ""},
      {"/", false, "/", "", ""},
  };
  for (const Case& c : cases) {
    PortTableFields f;
    EXPECT_EQ(ParsePortTableLine(c.line, f), c.entry) << '"' << c.line << '"';
    if (c.entry) {
      EXPECT_EQ(f.source, c.source);
      EXPECT_EQ(f.target, c.target);
      EXPECT_EQ(f.option, c.option);
    }
  }
}

TEST(PortTableNamesTest, MatchSizeOption) {
  EXPECT_TRUE(MatchSizeOff("/n"));
  EXPECT_TRUE(MatchSizeOff("/N"));
  EXPECT_FALSE(MatchSizeOff("/x"));
  EXPECT_FALSE(MatchSizeOff(""));
  EXPECT_FALSE(MatchSizeOff("/NO"));
}

TEST(PortTableNamesTest, StripAndFind) {
  EXPECT_EQ(StripExtension("icon_27.gif"), "icon_27");
  EXPECT_EQ(StripExtension("a.b.png"), "a.b");
  EXPECT_EQ(StripExtension("noext"), "noext");
  EXPECT_EQ(StripExtension(".gif"), "");
  // Sorted lists put icon_27.bmp before .gif and .png: the first match wins.
  std::vector<std::string> items{"icon_27.bmp", "icon_27.gif", "icon_27.png", "Main.G"};
  EXPECT_EQ(FindByBaseName("ICON_27", items), 0);
  EXPECT_EQ(FindByBaseName("main", items), 3);
  EXPECT_EQ(FindByBaseName("icon", items), -1);
  EXPECT_EQ(FindByBaseName("x", {}), -1);
}

TEST(ReadPortTableTest, HeaderAndEntries) {
  test::TempDir dir;
  std::vector<std::string> sources{"a.gif", "b.png", "c.raw"};
  std::vector<std::string> targets{"1.gif", "2.png", "10.gif"};
  struct Case {
    const char* text;
    bool valid;
    std::vector<PortTableEntry> entries;
  };
  const Case cases[] = {
      {"[DRM PORT TABLE]\r\na 1\r\nb 2 /n\r\n", true, {{0, 0, true}, {1, 1, false}}},
      {"[Drm Port Table]\na 10\rc 1 /x", true, {{0, 2, true}, {2, 0, true}}},  // LF, CR, no last line end
      {" [DRM PORT TABLE]\r\na 1\r\n", false, {}},
      {"[DRM PORT TABLE] \r\na 1\r\n", false, {}},
      {"", false, {}},
      {"[DRM PORT TABLE]\r\nzz 1\r\na zz\r\n// a 1\r\n", true, {}},  // nothing matches: still valid
      {"[DRM PORT TABLE]\r\na 1\r\nb 1\r\n", true, {{0, 0, true}, {1, 0, true}}},  // one icon twice
  };
  for (const Case& c : cases) {
    test::WriteText(dir / "t.dpt", c.text);
    PortTable table = ReadPortTable(dir / "t.dpt", sources, targets);
    EXPECT_EQ(table.validHeader, c.valid) << c.text;
    ASSERT_EQ(table.entries.size(), c.entries.size()) << c.text;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(table.entries[i].sourceIndex, c.entries[i].sourceIndex);
      EXPECT_EQ(table.entries[i].targetIndex, c.entries[i].targetIndex);
      EXPECT_EQ(table.entries[i].matchSize, c.entries[i].matchSize);
    }
  }
}

TEST(ReadPortTableTest, AFileFarLargerThanATableIsRefusedUnread) {
  test::TempDir dir;
  test::WriteText(dir / "big.dpt", "[DRM PORT TABLE]\r\na 1\r\n");
  std::filesystem::resize_file(dir / "big.dpt", std::uintmax_t{17} << 20);  // sparse: nothing to write
  try {
    ReadPortTable(dir / "big.dpt", {"a.gif"}, {"1.gif"});
    FAIL() << "a 17 MiB port table was read";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Limit);
    EXPECT_NE(std::string(e.what()).find("big.dpt"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("too large for a port table"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace resmill::replacement
