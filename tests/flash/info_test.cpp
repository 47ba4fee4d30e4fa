// resmill-cli info on flash files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash_test_util.h"
#include "test_support.h"

namespace resmill::flash::test {
namespace {

using ::testing::HasSubstr;

TEST(InfoFlashTest, ListsTheCodeGroupTable) {
  resmill::test::TempDir dir;
  Bytes header = MakeHeader(4, {0x03FC0000, 0x03FC7FFF},
                            {{0, {0x100000, 0x1FFFFF}}, {1, {0x200000, 0x2FFFFF}}, {15, {0x10000000, 0x1000FFFF}}});
  for (const char* name : {"a.shx", "a.sbf"}) {
    SCOPED_TRACE(name);
    resmill::test::WriteBytes(dir / name, header);
    auto result = resmill::test::RunCliIn(dir.path(), {"info", (dir / name).string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("N: 4\n"));
    EXPECT_THAT(result.out, HasSubstr("RAMDLD.bin   0x03FC0000 0x03FC7FFF      32768\n"));
    EXPECT_THAT(result.out, HasSubstr("CG1.bin      0x00100000 0x002FFFFF    2097152\n"));
    EXPECT_THAT(result.out, HasSubstr("CG15.bin     0x10000000 0x1000FFFF      65536\n"));
    EXPECT_THAT(result.out, HasSubstr("code group 15: present\n"));
  }
}

TEST(InfoFlashTest, DamagedHeaderIsAnError) {
  resmill::test::TempDir dir;
  resmill::test::WriteBytes(dir / "bad.shx", MakeHeader(30, {1, 2}, {}));
  resmill::test::WriteBytes(dir / "short.sbf", Bytes(100, 0));
  for (const char* name : {"bad.shx", "short.sbf"}) {
    auto result = resmill::test::RunCliIn(dir.path(), {"info", (dir / name).string()});
    EXPECT_NE(result.status, 0);
    EXPECT_THAT(result.err, HasSubstr(name));
  }
}

}  // namespace
}  // namespace resmill::flash::test
