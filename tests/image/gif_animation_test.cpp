// Whole animations through giflib: what we write is read by gifsicle and
// ImageMagick as meant, and what ImageMagick writes (frames at offsets,
// interlaced, local colour tables) reads back as its own decoder sees it.

#include "image/graphics/gif_animation.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "image_test_util.h"
#include "platform/error.h"
#include "test_support.h"

namespace resmill::image::graphics {
namespace {

using test::Quote;

// A frame of `width` × `height` in two colours (plus transparency when asked).
GifOutputFrame TwoColourFrame(int left, int top, int width, int height, Argb a, Argb b, bool transparent,
                              GifFrameControl control) {
  Bitmap picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.Set(x, y, (x + y) % 3 == 0 ? a : b);
  }
  if (transparent) picture.Set(0, 0, kTransparentWhite);
  return {left, top, QuantizeForGif(picture), control};
}

std::string Tool(const std::string& command) {
  std::string output;
  EXPECT_EQ(test::RunCommand(command + " 2>&1", &output), 0) << command << "\n" << output;
  return output;
}

TEST(GifAnimation, WrittenFramesReadBackAsMeant) {
  const GifApplicationBlock loop{"NETSCAPE2.0", {{1, 0, 0}}};
  const std::vector<GifOutputFrame> frames = {
      TwoColourFrame(0, 0, 12, 10, 0xFFFF0000, 0xFF0000FF, true, {kGifDisposalKeep, 10, false}),
      // The same colours: no table of its own. Then other colours, with one.
      TwoColourFrame(3, 2, 5, 4, 0xFFFF0000, 0xFF0000FF, true, {kGifDisposalBackground, 20, true}),
      TwoColourFrame(6, 5, 6, 5, 0xFF00FF00, 0xFF000000, false, {kGifDisposalPrevious, 655, false}),
  };
  const std::vector<std::uint8_t> bytes = EncodeGifAnimation(12, 10, frames, &loop);
  ASSERT_GE(bytes.size(), 6u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");

  GifAnimation back = DecodeGifAnimation(bytes, "a.gif");
  EXPECT_EQ(back.width, 12);
  EXPECT_EQ(back.height, 10);
  ASSERT_EQ(back.frames.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(back.frames[k].left, frames[k].left);
    EXPECT_EQ(back.frames[k].top, frames[k].top);
    EXPECT_EQ(back.frames[k].indices, frames[k].picture.indices);
    EXPECT_EQ(back.frames[k].control, frames[k].control);
    EXPECT_EQ(back.frames[k].transparentIndex, frames[k].picture.hasTransparent ? kGifTransparentIndex : -1);
  }
  ASSERT_TRUE(back.application);
  EXPECT_EQ(*back.application, loop);

  if (!test::HaveTool("gifsicle")) GTEST_SKIP() << "gifsicle missing";
  test::TempDir dir;
  test::WriteBytes(dir / "a.gif", bytes);
  std::string info = Tool("gifsicle --info " + Quote(dir / "a.gif"));
  for (const char* expected : {"3 images", "logical screen 12x10", "loop forever", "+ image #0 12x10 transparent 40\n",
                               "disposal asis delay 0.10s", "+ image #1 5x4 at 3,2 transparent 40\n",
                               "disposal background delay 0.20s", "+ image #2 6x5 at 6,5\n",
                               "local color table", "disposal previous delay 6.55s"}) {
    EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
  }
  // Only the frame of other colours carries a table of its own.
  EXPECT_EQ(info.find("local color table"), info.rfind("local color table")) << info;
  EXPECT_GT(info.find("local color table"), info.find("+ image #2")) << info;
}

TEST(GifAnimation, FramesOfTheScreensColoursAfterOneOfOtherColoursKeepTheirColours) {
  // The screen's colours, other colours, then the screen's colours again: each
  // frame reads back with the colours it was written with (and, under the leak
  // checker, the writer leaves nothing behind).
  const GifFrameControl control{kGifDisposalKeep, 5, false};
  const std::vector<GifOutputFrame> frames = {
      TwoColourFrame(0, 0, 6, 4, 0xFFFF0000, 0xFF0000FF, false, control),
      TwoColourFrame(0, 0, 6, 4, 0xFF00FF00, 0xFF000000, false, control),
      TwoColourFrame(0, 0, 6, 4, 0xFFFF0000, 0xFF0000FF, false, control),
      TwoColourFrame(1, 1, 3, 2, 0xFFFF0000, 0xFF0000FF, false, control),
  };
  const GifAnimation back = DecodeGifAnimation(EncodeGifAnimation(6, 4, frames, nullptr), "a.gif");
  ASSERT_EQ(back.frames.size(), frames.size());
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const IndexedPicture& written = frames[k].picture;
    ASSERT_EQ(back.frames[k].indices.size(), written.indices.size()) << "frame " << k;
    for (std::size_t i = 0; i < written.indices.size(); ++i) {
      const Argb want = written.palette[written.indices[i]] & 0xFFFFFFu;
      const Argb got = back.frames[k].colours[back.frames[k].indices[i]] & 0xFFFFFFu;
      ASSERT_EQ(got, want) << "frame " << k << ", pixel " << i;
    }
  }
}

TEST(GifAnimation, FramesOfImageMagickReadAsItsOwnDecoderShowsThem) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  test::TempDir dir;
  // Frames at offsets with local tables, one interlaced, a transparent one.
  ASSERT_TRUE(test::Magick("-size 30x20 xc:none -fill red -draw 'circle 10,10 17,10' " + Quote(dir / "f0.png")));
  ASSERT_TRUE(test::Magick("-size 9x7 plasma:fractal " + Quote(dir / "f1.png")));
  ASSERT_TRUE(test::Magick("-dispose none -delay 7 " + Quote(dir / "f0.png") +
                           " -dispose previous -delay 9 -page +13+8 " + Quote(dir / "f1.png") +
                           " -interlace GIF -loop 3 " + Quote(dir / "im.gif")));
  GifAnimation animation = DecodeGifAnimation(test::ReadBytes(dir / "im.gif"), dir / "im.gif");
  ASSERT_EQ(animation.frames.size(), 2u);
  EXPECT_EQ(animation.frames[1].left, 13);
  EXPECT_EQ(animation.frames[1].top, 8);
  EXPECT_EQ(animation.frames[1].control, (GifFrameControl{kGifDisposalPrevious, 9, false}));
  ASSERT_TRUE(animation.application && animation.application->IsLoop());
  ASSERT_EQ(animation.application->subBlocks.size(), 1u);
  // ImageMagick stores "-loop 3" as two repeats after the first showing.
  EXPECT_EQ(animation.application->subBlocks[0], (std::vector<std::uint8_t>{1, 2, 0}));
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    ASSERT_TRUE(test::Magick(Quote(dir / "im.gif") + "[" + std::to_string(k) + "] +repage " +
                             Quote(dir / fmt::format("frame{}.png", k))));
    std::optional<Bitmap> theirs = test::MagickRead(dir / fmt::format("frame{}.png", k));
    ASSERT_TRUE(theirs);
    Bitmap ours = animation.frames[static_cast<std::size_t>(k)].Pixels();
    for (Argb& c : ours.Pixels()) c = AlphaOf(c) == 0 ? 0 : c;
    for (Argb& c : theirs->Pixels()) c = AlphaOf(c) == 0 ? 0 : c;
    EXPECT_EQ(test::MaxDifference(ours, *theirs), 0);
  }
  // The first frame on its screen is what a picture load of the file gives.
  std::optional<Bitmap> first = LoadBitmap(dir / "im.gif");
  ASSERT_TRUE(first);
  EXPECT_EQ(test::MaxDifference(animation.frames[0].OnScreen(animation.width, animation.height), *first), 0);
}

TEST(GifAnimation, WriterRefusesWhatItCannotWriteWithoutLeaking) {
  const GifOutputFrame good = TwoColourFrame(0, 0, 4, 4, 0xFFFF0000, 0xFF0000FF, false, {});
  GifOutputFrame offScreen = good;
  offScreen.left = 2;
  GifOutputFrame badPalette = good;
  badPalette.picture.palette.resize(3);
  GifOutputFrame badIndices = good;
  badIndices.picture.indices.pop_back();
  struct Case {
    const char* name;
    std::vector<GifOutputFrame> frames;
    int width, height;
  } cases[] = {
      {"no frame", {}, 4, 4},
      {"a frame off the screen", {good, offScreen}, 4, 4},
      {"a palette of 3 colours", {good, badPalette}, 4, 4},
      {"indices short of the size", {badIndices}, 4, 4},
      {"a screen of no pixels", {good}, 0, 4},
  };
  for (const Case& c : cases) {
    try {
      EncodeGifAnimation(c.width, c.height, c.frames);
      ADD_FAILURE() << c.name << ": written";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Internal) << c.name;
    }
  }
}

}  // namespace
}  // namespace resmill::image::graphics
