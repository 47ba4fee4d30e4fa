#include "app/work_tree.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace resmill::app {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteText;

TEST(WorkTree, CreatesBothSlotsAndJoinsPathsWithoutDoubling) {
  TempDir dir;
  WorkTree tree = CreateWorkFolders(dir / "work");
  EXPECT_TRUE(fs::is_directory(dir / "work/binary1/drmpack/icons"));
  EXPECT_TRUE(fs::is_directory(dir / "work/binary2/drmpack/icons"));
  EXPECT_EQ(tree.icons2Folder, dir / "work/binary2/drmpack/icons");
  WorkTree slash = CreateWorkFolders(dir.path().string() + "/");
  EXPECT_EQ(slash.binary1Folder, dir / "binary1");
  // A missing parent makes every level fail quietly.
  WorkTree none = CreateWorkFolders(dir / "a" / "b");
  EXPECT_FALSE(fs::exists(dir / "a"));
  EXPECT_EQ(none.binary1Folder, dir / "a/b/binary1");
}

TEST(WorkTree, CleanUpRemovesTheTreeButKeepsReadOnlyFilesAndForeignFolders) {
  TempDir dir;
  WorkTree tree = CreateWorkFolders(dir.path());
  fs::create_directory(tree.drmPack1Folder / "raws");
  WriteText(tree.icons1Folder / "1.gif", "g");
  WriteText(tree.drmPack1Folder / "raws" / "1(1x1).raw", "r");
  WriteText(tree.binary1Folder / "CG15.bin", "d");
  WriteText(tree.binary1Folder / "kept.bin", "k");
  fs::permissions(tree.binary1Folder / "kept.bin", fs::perms::owner_write, fs::perm_options::remove);
  fs::create_directory(tree.drmPack2Folder / "mine");
  WriteText(tree.icons2Folder / ".hidden", "h");

  CleanUpWorkFolders(tree);

  EXPECT_FALSE(fs::exists(tree.drmPack1Folder));
  EXPECT_TRUE(fs::exists(tree.binary1Folder / "kept.bin"));
  EXPECT_FALSE(fs::exists(tree.binary1Folder / "CG15.bin"));
  EXPECT_FALSE(fs::exists(tree.icons2Folder));
  EXPECT_TRUE(fs::exists(tree.drmPack2Folder / "mine"));
  EXPECT_TRUE(fs::exists(dir.path()));
}

TEST(WorkTree, DrmOutputFileReplacesTheLastFourCharacters) {
  struct Case { const char* save; const char* out; };
  for (Case c : {Case{"/out/new.shx", "/out/new.bin"}, Case{"/out/new.bin", "/out/new.bin"}, Case{"abc", ".bin"},
                 Case{"abcd", ".bin"}, Case{"x.ezx", "x.bin"}, Case{"/o/name", "/o/.bin"},
                 Case{"/out/ab", "/out/.bin"}, Case{"dir/a.b", "dir/.bin"}, Case{"/o/flash.image", "/o/flash.i.bin"}}) {
    EXPECT_EQ(DeriveDrmOutputFile(c.save), std::filesystem::path(c.out)) << c.save;
  }
}

}  // namespace
}  // namespace resmill::app
