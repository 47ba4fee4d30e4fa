// save on the command line: a warning about pictures stored empty goes to
// standard error and does not change the exit status.

#include <gtest/gtest.h>

#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::cli {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::RunCliIn;
using test::TempDir;

TEST(CliSave, MissingRawPicturesAreStoredEmptyWithAWarning) {
  TempDir dir;
  test::WriteBytes(dir / "phone.smg", sample::BuildDrmImage(sample::SampleDrm()));
  ASSERT_EQ(RunCliIn(dir.path(), {"open", "phone.smg"}).status, 0);
  ASSERT_TRUE(fs::remove(dir / "binary1/drmpack/icons/4.png"));
  ASSERT_TRUE(fs::remove(dir / "binary1/drmpack/icons/5.png"));
  CliResult r = RunCliIn(dir.path(), {"save", "out.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Operation Complete\n");
  EXPECT_EQ(r.err, "Warning: pictures 4, 5 were stored empty (0x0): no icons/<n>.png found in " +
                       (dir / "binary1/drmpack").string() + ", or only an empty one\n");
  EXPECT_TRUE(fs::exists(dir / "out.bin"));
  EXPECT_FALSE(fs::exists(dir / "shxdata.dat"));
}

}  // namespace
}  // namespace resmill::cli
