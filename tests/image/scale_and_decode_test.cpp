// The resampler and the PNG reader on the shapes and stored forms that take
// their own paths: common 8-bit PNGs are widened by us, the rest by libpng;
// the filter runs over a window of source rows that moves down the picture.

#include <gtest/gtest.h>

#include "image/graphics/graphics.h"
#include "image_test_util.h"
#include "test_support.h"

namespace resmill::image::graphics {
namespace {

using test::Magick;
using test::Quote;

class ScaleDecodeTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  }
  test::TempDir dir_;
};

// Fully transparent pixels carry no colour worth comparing.
Bitmap Normalised(Bitmap b) {
  for (Argb& c : b.Pixels()) {
    if (AlphaOf(c) == 0) c = 0;
  }
  return b;
}

TEST_F(ScaleDecodeTest, PngStoredFormsReadAsImageMagickReadsThem) {
  ASSERT_TRUE(Magick("-seed 5 -size 37x23 plasma:fractal " + Quote(dir_ / "photo.png")));
  struct Case {
    const char* output;
    const char* arguments;  // written from photo.png
    int tolerance;
  } cases[] = {
      {"rgb.png", "-define png:color-type=2 PNG24:", 0},
      {"rgb-interlaced.png", "-interlace PNG -define png:color-type=2 PNG24:", 0},
      {"rgba.png", "-alpha set -channel A -fx 'i/w' +channel PNG32:", 0},
      {"rgba-interlaced.png", "-alpha set -channel A -fx 'j/h' +channel -interlace PNG PNG32:", 0},
      {"rgb-trns.png", "-depth 8 -fill '#102030' -draw 'rectangle 3,3 12,9' -transparent '#102030' "
                       "-define png:color-type=2 PNG24:", 0},
      {"grey.png", "-colorspace Gray -define png:color-type=0 -depth 8 PNG:", 0},
      // 16-bit samples are cut to their high byte, ImageMagick rounds; its grey-alpha reading rounds too.
      {"grey-alpha.png", "-colorspace Gray -alpha set -channel A -fx 'i/w' +channel -define png:color-type=4 PNG:", 1},
      {"rgb16.png", "-depth 16 PNG48:", 1},
      {"rgba16.png", "-alpha set -channel A -fx 'i/w' +channel -depth 16 PNG64:", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    std::filesystem::path out = dir_ / c.output;
    ASSERT_TRUE(Magick(Quote(dir_ / "photo.png") + " " + c.arguments + Quote(out)));
    std::optional<Bitmap> ours = LoadBitmap(out), theirs = test::MagickRead(out);
    ASSERT_TRUE(ours);
    ASSERT_TRUE(theirs);
    EXPECT_LE(test::MaxDifference(Normalised(*ours), Normalised(*theirs)), c.tolerance);
  }
}

TEST_F(ScaleDecodeTest, StretchOfEveryShapeStaysCloseToImageMagickCatrom) {
  struct Case {
    int sourceWidth, sourceHeight, width, height;
  } cases[] = {
      {176, 220, 16, 16},  // many taps on both axes
      {176, 220, 1, 1},    {400, 30, 7, 29},   // one axis shrinks, the other grows a little
      {50, 3, 7, 40},      {5, 5, 96, 96},     // few source rows, large growth
      {31, 600, 31, 13},   // a tall source: the row window moves a long way
      {2, 2, 1, 1},        {3, 1, 1, 5},
      {2, 2, 3, 3},        {7, 300, 20, 9},    // short sides, where one scaler misplaces its filter
      {8, 8, 3, 40},       {16, 16, 48, 48},   // just long enough for the other, and an icon grown
  };
  for (const Case& c : cases) {
    std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    SCOPED_TRACE(std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + " -> " + size);
    ASSERT_TRUE(Magick("-seed 7 -size " + std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) +
                       " plasma:fractal -blur 0x1 -depth 8 " + Quote(dir_ / "src.png")));
    ASSERT_TRUE(Magick(Quote(dir_ / "src.png") + " -filter Catrom -resize " + size + "! " + Quote(dir_ / "ref.png")));
    std::optional<Bitmap> source = LoadBitmap(dir_ / "src.png"), reference = LoadBitmap(dir_ / "ref.png");
    ASSERT_TRUE(source && reference);
    Bitmap ours = Stretch(*source, c.width, c.height);
    ASSERT_EQ(ours.Width(), c.width);
    ASSERT_EQ(ours.Height(), c.height);
    EXPECT_TRUE(ours.IsOpaque());
    // Tiny outputs differ more at the edges (edge samples repeated here, dropped there).
    EXPECT_GT(test::Psnr(ours, *reference), c.width * c.height < 16 ? 25.0 : 35.0);
  }
}

// Shrunk 10x and more, the filter reaches two output pixels in from every edge; there
// taps beyond the picture are dropped and the rest weighted up, as ImageMagick does.
// The ring of edge pixels is a quarter of a 16 x 16 icon.
TEST_F(ScaleDecodeTest, EdgesOfAnIconShrunkFarFollowImageMagick) {
  struct Case {
    const char* source;  // ImageMagick's picture of 176 x 220
    int width, height;
  } cases[] = {
      {"gradient:'hsl(40,80%,60%)'-navy", 16, 16},
      {"gradient:'hsl(40,80%,60%)'-navy", 11, 13},
      {"gradient:'hsl(200,80%,60%)'-white -rotate 90 -resize 176x220!", 48, 48},
      {"plasma:fractal -seed 3 -blur 0x2", 16, 16},
      {"plasma:fractal -seed 3 -blur 0x2", 48, 60},
  };
  for (const Case& c : cases) {
    std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    SCOPED_TRACE(std::string(c.source) + " -> " + size);
    ASSERT_TRUE(Magick("-size 176x220 " + std::string(c.source) + " -depth 8 " + Quote(dir_ / "src.png")));
    ASSERT_TRUE(Magick(Quote(dir_ / "src.png") + " -filter Catrom -resize " + size + "! " + Quote(dir_ / "ref.png")));
    std::optional<Bitmap> source = LoadBitmap(dir_ / "src.png"), reference = LoadBitmap(dir_ / "ref.png");
    ASSERT_TRUE(source && reference);
    Bitmap ours = Stretch(*source, c.width, c.height);
    EXPECT_LE(test::MaxDifference(ours, *reference), 2);
    EXPECT_GT(test::Psnr(ours, *reference), 50.0);
  }
}

// Alpha is filtered premultiplied, as ImageMagick does: compared both flattened on
// white (what the eye sees) and by the alpha channel alone.
TEST_F(ScaleDecodeTest, TranslucentStretchMatchesImageMagickOnWhiteAndInAlpha) {
  auto onWhite = [](const Bitmap& b) {
    Bitmap flat = Stretch(Bitmap(b.Width(), b.Height(), 0xFFFFFFFF), b.Width(), b.Height());
    DrawStretched(flat, b, 0, 0, b.Width(), b.Height());
    return flat;
  };
  auto alphaAsGrey = [](const Bitmap& b) {
    Bitmap grey(b.Width(), b.Height());
    for (std::size_t i = 0; i < b.Pixels().size(); ++i) {
      Argb a = AlphaOf(b.Pixels()[i]);
      grey.Pixels()[i] = MakeArgb(255, static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a),
                                  static_cast<std::uint8_t>(a));
    }
    return grey;
  };
  struct Case {
    int sourceWidth, sourceHeight, width, height;
  } cases[] = {{176, 220, 48, 48}, {40, 40, 90, 90}, {5, 40, 20, 20}};
  for (const Case& c : cases) {
    std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    SCOPED_TRACE(std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + " -> " + size);
    std::string sourceSize = std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight);
    ASSERT_TRUE(Magick("-seed 3 -size " + sourceSize + " plasma:fractal -blur 0x1 \\( -size " + sourceSize +
                       " gradient:white-black \\) -alpha off -compose CopyOpacity -composite -depth 8 PNG32:" +
                       Quote(dir_ / "src.png")));
    ASSERT_TRUE(Magick(Quote(dir_ / "src.png") + " -filter Catrom -resize " + size + "! PNG32:" +
                       Quote(dir_ / "ref.png")));
    std::optional<Bitmap> source = LoadBitmap(dir_ / "src.png"), reference = LoadBitmap(dir_ / "ref.png");
    ASSERT_TRUE(source && reference);
    ASSERT_FALSE(source->IsOpaque());
    Bitmap ours = Stretch(*source, c.width, c.height);
    EXPECT_GT(test::Psnr(onWhite(ours), onWhite(*reference)), 35.0);
    EXPECT_GT(test::Psnr(alphaAsGrey(ours), alphaAsGrey(*reference)), 35.0);
  }
}

TEST(Scale, TransparentColourNeverBleedsAndSolidStaysSolid) {
  struct Case {
    int sourceWidth, sourceHeight, width, height;
  } cases[] = {{40, 40, 7, 9}, {40, 40, 90, 90}, {300, 4, 11, 11}, {3, 300, 1, 17}, {9, 9, 9, 4}, {2, 1, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + " -> " +
                 std::to_string(c.width) + "x" + std::to_string(c.height));
    // Opaque red over the left half; the right half is transparent but carries green.
    Bitmap halves(c.sourceWidth, c.sourceHeight, MakeArgb(0, 0, 255, 0));
    for (int y = 0; y < c.sourceHeight; ++y) {
      for (int x = 0; x < (c.sourceWidth + 1) / 2; ++x) halves.Set(x, y, MakeArgb(255, 255, 0, 0));
    }
    Bitmap out = Stretch(halves, c.width, c.height);
    bool someOpaque = false;
    for (Argb p : out.Pixels()) {
      if (AlphaOf(p) == 0) {
        EXPECT_EQ(p, kTransparentWhite);
        continue;
      }
      someOpaque = true;
      EXPECT_EQ(GreenOf(p), 0) << std::hex << p;
      EXPECT_EQ(RedOf(p), 255) << std::hex << p;
    }
    EXPECT_TRUE(someOpaque);

    Bitmap solid = Stretch(Bitmap(c.sourceWidth, c.sourceHeight, 0xFF3366CC), c.width, c.height);
    EXPECT_EQ(test::MaxDifference(solid, Bitmap(c.width, c.height, 0xFF3366CC)), 0);
  }
}

// A kept set-up must never leak from one size (or one picture) into the next.
TEST(Scale, ReusedScalerDrawsAsAFreshOne) {
  struct Step {
    int sourceWidth, sourceHeight, width, height;
    bool translucent;
  } steps[] = {{176, 220, 48, 48, false}, {176, 220, 48, 48, true},  {176, 220, 48, 47, false},
               {175, 220, 48, 47, true},  {4, 9, 48, 48, false},     {176, 220, 48, 48, false},
               {48, 48, 176, 220, true},  {48, 48, 176, 220, true}};
  Scaler kept;
  std::uint32_t seed = 7;
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.sourceWidth) + "x" + std::to_string(step.sourceHeight) + " -> " +
                 std::to_string(step.width) + "x" + std::to_string(step.height));
    Bitmap source(step.sourceWidth, step.sourceHeight);
    for (Argb& p : source.Pixels()) {
      seed = seed * 1664525u + 1013904223u;
      p = step.translucent ? seed : (seed | 0xFF000000u);
    }
    Bitmap fresh = Stretch(source, step.width, step.height);
    Bitmap reused = Stretch(source, step.width, step.height, &kept);
    EXPECT_EQ(test::MaxDifference(fresh, reused), 0);
  }
}

// Sizes one scaler refuses are drawn by the other, never reported as a failure.
TEST(Scale, SizesOutsideTheFastScalerStillDraw) {
  struct Case {
    int sourceWidth, sourceHeight, width, height;
  } cases[] = {{8, 8, 65535, 8}, {3, 3, 2000, 1}, {65535, 8, 8, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + " -> " +
                 std::to_string(c.width) + "x" + std::to_string(c.height));
    Bitmap out = Stretch(Bitmap(c.sourceWidth, c.sourceHeight, 0xFF3366CC), c.width, c.height);
    EXPECT_EQ(test::MaxDifference(out, Bitmap(c.width, c.height, 0xFF3366CC)), 0);
  }
}

TEST(Scale, OpaqueChecksEveryPixel) {
  for (int count : {1, 255, 256, 257, 1000}) {
    Bitmap b(count, 1, 0xFF000000);
    EXPECT_TRUE(b.IsOpaque()) << count;
    b.Set(count - 1, 0, 0xFE000000);
    EXPECT_FALSE(b.IsOpaque()) << count;
    b.Set(count - 1, 0, 0xFF000000);
    b.Set(0, 0, 0x01000000);
    EXPECT_FALSE(b.IsOpaque()) << count;
  }
  EXPECT_TRUE(Bitmap().IsOpaque());
}

}  // namespace
}  // namespace resmill::image::graphics
