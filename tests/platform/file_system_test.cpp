#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace resmill {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteText;

TEST(Names, CaseBlindComparisonAndWildcards) {
  EXPECT_TRUE(EqualsCaseBlind("RAMDLD.bin", "ramdld.BIN"));
  EXPECT_FALSE(EqualsCaseBlind("cg15.bin", "cg15.bi"));
  EXPECT_LT(CompareCaseBlind("a.gif", "B.gif"), 0);
  EXPECT_EQ(CompareCaseBlind("ABC", "abc"), 0);
  struct Case { const char* mask; const char* name; bool match; };
  for (Case c : {Case{"*.bmp", "x.BMP", true}, Case{"*.bmp", "x.bmp.png", false}, Case{"*.*", "noext", true},
                 Case{"?.gif", "1.gif", true}, Case{"?.gif", "12.gif", false}, Case{"1*.raw", "10(16x16).raw", true},
                 Case{"*", "", true}, Case{"a*b*c", "aXbYbc", true}}) {
    EXPECT_EQ(WildcardMatch(c.mask, c.name), c.match) << c.mask << " " << c.name;
  }
}

TEST(Names, UpperExtensionTakesTheLastDotAfterTheLastSeparator) {
  struct Case { const char* path; const char* ext; };
  for (Case c : {Case{"/x/flash.shx", ".SHX"}, Case{"flash.Sbf", ".SBF"}, Case{"/a.b/noext", ""},
                 Case{"C:name", ""}, Case{"dir\\x.smg", ".SMG"}, Case{"a.tar.ezx", ".EZX"}, Case{"trailing.", "."}}) {
    EXPECT_EQ(UpperExtension(c.path), c.ext) << c.path;
  }
}

TEST(Folders, CaseBlindLookupPrefersTheExactName) {
  TempDir dir;
  WriteText(dir / "RAMDLD.bin", "r");
  WriteText(dir / "CG15.bin", "a");
  EXPECT_EQ(FindCaseBlind(dir.path(), "ramdld.bin"), dir / "RAMDLD.bin");
  EXPECT_EQ(FindCaseBlind(dir.path(), "CG15.bin"), dir / "CG15.bin");
  WriteText(dir / "cg15.bin", "b");
  EXPECT_EQ(FindCaseBlind(dir.path(), "cg15.bin"), dir / "cg15.bin");
  EXPECT_FALSE(FindCaseBlind(dir.path(), "cg1.bin"));
  EXPECT_EQ(ResolveCaseBlind(dir.path(), "new.bin"), dir / "new.bin");
}

TEST(Folders, SearchListsPlainFilesSortedCaseBlind) {
  TempDir dir;
  for (const char* name : {"b.GIF", "A.png", "c.bmp", "d.raw", ".hidden.gif"}) WriteText(dir / name, "x");
  fs::create_directory(dir / "sub.gif");
  WriteText(dir / "ro.png", "x");
  fs::permissions(dir / "ro.png", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::vector<std::string> names;
  for (const auto& f : FindFiles(dir.path(), "*.bmp;*.gif;*.png")) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.png", "b.GIF", "c.bmp", "ro.png"}));
  auto withoutReadOnly = FindFiles(dir.path(), "*.png", SearchOptions{.includeHidden = false, .includeReadOnly = false});
  ASSERT_EQ(withoutReadOnly.size(), 1u);
  EXPECT_EQ(FindFiles(dir.path(), "*.gif", SearchOptions{.includeHidden = true}).size(), 2u);
  EXPECT_TRUE(FindFiles(dir / "missing", "*.*").empty());
}

TEST(Folders, JoinTailNeverDoublesTheSeparator) {
  EXPECT_EQ(JoinTail("/w", "binary1"), fs::path("/w/binary1"));
  EXPECT_EQ(JoinTail("/w/", "binary1"), fs::path("/w/binary1"));
}

}  // namespace
}  // namespace resmill
