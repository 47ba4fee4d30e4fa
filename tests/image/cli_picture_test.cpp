// resmill-cli convert and info on pictures.

#include <gtest/gtest.h>

#include "image/graphics/graphics.h"
#include "image/raw_picture.h"
#include "image_test_util.h"
#include "test_support.h"

namespace resmill::image {
namespace {

using test::RunCliIn;
using test::TempDir;

TEST(CliConvert, RoundTripsThroughEveryDeviceKind) {
  TempDir dir;
  graphics::Bitmap picture = test::Pattern(12, 8, true, 6);
  graphics::SaveBitmap(picture, dir / "p.png", "image/png");
  struct Case {
    std::vector<std::string> toDevice;
    std::string device, back;
    std::string kindLine;
  } cases[] = {
      {{"p.png", "3(12x8).raw"}, "3(12x8).raw", "b1.png", "Bits per pixel: 16"},
      {{"p.png", "a.k"}, "a.k", "b2.bmp", "Bits per pixel: 18"},
      {{"p.png", "b.k", "--k32"}, "b.k", "b3.png", "Bits per pixel: 32"},
      {{"p.png", "c.g"}, "c.g", "c.png", "G picture holding a PNG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    std::vector<std::string> args = {"convert", (dir / c.toDevice[0]).string(), (dir / c.toDevice[1]).string()};
    if (c.toDevice.size() > 2) args.push_back(c.toDevice[2]);
    test::CliResult r = RunCliIn(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunCliIn(dir.path(), {"info", (dir / c.device).string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Size: 12 x 8"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.kindLine), std::string::npos) << r.out;
    r = RunCliIn(dir.path(), {"convert", (dir / c.device).string(), (dir / c.back).string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::optional<graphics::Bitmap> back = graphics::LoadBitmap(dir / c.back);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Width(), 12);
    // Transparency survives every kind (the half-transparent pixels become opaque in RAW and 18-bit K).
    EXPECT_EQ(graphics::AlphaOf(back->At(0, 3)), 0);
    EXPECT_NE(graphics::AlphaOf(back->At(5, 3)), 0);
  }
}

TEST(CliConvert, FailuresNameTheFileAndLeaveTargetsAlone) {
  TempDir dir;
  test::WriteText(dir / "keep.png", "old");
  test::WriteText(dir / "junk.bmp", "not a picture");
  test::WriteBytes(dir / "4(0x5).raw", {});
  test::WriteBytes(dir / "untagged.raw", {1, 2});
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"junk.bmp", "keep.png"}, 1, "junk.bmp"},
      {{"junk.bmp", "x.raw"}, 1, "junk.bmp"},
      {{"4(0x5).raw", "keep.png"}, 1, "zero width or height"},
      {{"untagged.raw", "keep.png"}, 1, "no size tag"},
      {{"missing.png", "keep.gif"}, 1, "missing.png"},
      {{"keep.png", "out.tiff"}, 2, "out.tiff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    test::CliResult r =
        RunCliIn(dir.path(), {"convert", (dir / c.args[0]).string(), (dir / c.args[1]).string()});
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(test::ReadText(dir / "keep.png"), "old");
  EXPECT_EQ(test::ListFolder(dir.path()).size(), 4u);  // convert leaves the program folder alone
}

}  // namespace
}  // namespace resmill::image
