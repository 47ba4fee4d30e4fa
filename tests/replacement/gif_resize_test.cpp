// The frame-by-frame resize in memory, checked against files written by
// ImageMagick, gifsicle and giflib (the icon sample), and read back with
// gifsicle and ImageMagick.

#include "replacement/gif_resize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <fmt/format.h>

#include "image/graphics/gif_animation.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "sample/icon_sample.h"
#include "test_support.h"

namespace resmill::replacement {
namespace {

namespace fs = std::filesystem;
namespace g = image::graphics;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

fs::path Data(const std::string& name) { return test::TestDataDir() / "build" / name; }

std::string Tool(const std::string& command) {
  std::string output;
  EXPECT_EQ(test::RunCommand(command + " 2>&1", &output), 0) << command << "\n" << output;
  return output;
}

// The numbers a tool printed, one a line.
std::vector<double> Numbers(const std::string& text) {
  std::vector<double> numbers;
  std::istringstream lines(text);
  for (double n = 0; lines >> n;) numbers.push_back(n);
  return numbers;
}

std::string Q(const fs::path& path) { return "'" + path.string() + "'"; }

TEST(CountGifFramesTest, CountsFramesWithoutDecodingThem) {
  struct Case {
    const char* name;
    std::size_t frames;  // 0: refused
  } cases[] = {{"anim3.gif", 3}, {"noglobal.gif", 2}, {"icon16.gif", 1}, {"icon12x9.png", 0}};
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(Data(c.name), 1 << 20, "a GIF");
    if (c.frames == 0) {
      EXPECT_THROW(image::graphics::CountGifFrames(bytes, Data(c.name)), Error) << c.name;
      continue;
    }
    EXPECT_EQ(image::graphics::CountGifFrames(bytes, Data(c.name)), c.frames) << c.name;
  }
}

class ResizeGifTest : public ::testing::Test {
 protected:
  bool Resize(const fs::path& source, const fs::path& target, int w, int h) {
    return ResizeGif(area_, source, target, w, h, ui_);
  }
  // Nothing but the files a test made itself: frames never reach the disk, and a
  // refused resize leaves no temporary output beside its target.
  void ExpectOnlyFiles(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    EXPECT_EQ(test::ListFolder(dir_.path()), names);
  }
  TempDir dir_;
  GifWorkArea area_;
  test::ScriptedUi ui_;
};

TEST_F(ResizeGifTest, AnimationKeepsTimingLoopAndTransparency) {
  if (!test::HaveTool("gifsicle") || !test::HaveTool("identify")) GTEST_SKIP() << "gifsicle or ImageMagick missing";
  fs::path out = dir_ / "icon.gif";
  ASSERT_TRUE(Resize(Data("anim3.gif"), out, 16, 12));
  ExpectOnlyFiles({"icon.gif"});

  std::string info = Tool("gifsicle --info " + out.string());
  for (const char* expected : {"3 images", "logical screen 16x12", "loop forever", "disposal asis delay 0.10s",
                               "disposal background delay 0.20s", "disposal previous delay 0.30s",
                               "transparent 40"}) {
    EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
  }
  EXPECT_EQ(info.find("comment"), std::string::npos) << info;
  EXPECT_EQ(Tool("identify -format '%W %H %T %D\\n' " + out.string()),
            "16 12 10 None\n16 12 20 Background\n16 12 30 Previous\n");

  // The looping block stands right after the global colour table.
  std::vector<std::uint8_t> bytes = ReadBytes(out);
  ASSERT_NE(bytes[10] & 0x80, 0);
  std::size_t afterTable = 13 + 3 * (std::size_t{2} << (bytes[10] & 7));
  EXPECT_EQ(bytes[afterTable], 0x21);
  EXPECT_EQ(bytes[afterTable + 1], 0xFF);
  EXPECT_EQ(std::string(bytes.begin() + afterTable + 3, bytes.begin() + afterTable + 14), "NETSCAPE2.0");

  // Frames of other colours than the first carry their own table, so each decodes in its colours.
  // (14, 2) lies in the red of frame 0, outside frame 1's circle (transparent, so still red),
  // and in the green of frame 2.
  std::string pixels = Tool("convert " + out.string() + " -coalesce -format '%[pixel:p{14,2}]\\n' info:");
  const int expected[3][3] = {{255, 0, 0}, {255, 0, 0}, {0, 255, 0}};
  std::istringstream lines(pixels);
  std::string line;
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(std::getline(lines, line)) << pixels;
    int rgb[3] = {-1, -1, -1};
    ASSERT_EQ(std::sscanf(line.c_str() + line.find('(') + 1, "%d,%d,%d", &rgb[0], &rgb[1], &rgb[2]), 3) << line;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(rgb[c], expected[k][c], 8) << "frame " << k << ": " << line;
  }
}

TEST_F(ResizeGifTest, SameSizeIsByteCopy) {
  fs::path out = dir_ / "icon.gif";
  test::WriteText(out, "old");
  ASSERT_TRUE(Resize(Data("anim3.gif"), out, 40, 30));
  EXPECT_EQ(ReadBytes(out), ReadBytes(Data("anim3.gif")));
  ExpectOnlyFiles({"icon.gif"});
}

TEST_F(ResizeGifTest, NoGlobalTableSource) {
  if (!test::HaveTool("gifsicle")) GTEST_SKIP() << "gifsicle missing";
  fs::path out = dir_ / "icon.gif";
  ASSERT_TRUE(Resize(Data("noglobal.gif"), out, 5, 5));
  std::string info = Tool("gifsicle --info " + out.string());
  EXPECT_NE(info.find("2 images"), std::string::npos) << info;
  EXPECT_NE(info.find("disposal background delay 0.09s"), std::string::npos) << info;
}

TEST_F(ResizeGifTest, ZeroSizeAsksAndSkips) {
  struct Case {
    std::optional<IconSize> answer;
    bool written;
  };
  const Case cases[] = {{std::nullopt, false}, {IconSize{32, 0}, false}, {IconSize{8, 8}, true}};
  for (const Case& c : cases) {
    fs::path out = dir_ / "zero.gif";
    test::WriteText(out, "old");
    ui_.iconSizeAnswer = c.answer;
    ui_.messages.clear();
    EXPECT_EQ(Resize(Data("anim3.gif"), out, 0, 0), c.written);
    if (c.written) {
      EXPECT_EQ(ReadBytes(out)[6], 8);  // logical screen width
    } else {
      EXPECT_EQ(test::ReadText(out), "old");
      ASSERT_EQ(ui_.messages.size(), 1u);
      EXPECT_EQ(ui_.messages[0].text, "Cannot resize to 0");
    }
  }
}

TEST_F(ResizeGifTest, DamagedSourcesAreRefusedNamingFileAndOffset) {
  const std::vector<std::uint8_t> good = ReadBytes(Data("anim3.gif"));
  const std::size_t bodyStart = 13 + 3 * 64;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    Error::Kind kind;
    const char* where;  // in the message after the file's name
  };
  std::vector<Case> cases;
  cases.push_back({"cut in the last image", {good.begin(), good.end() - 9}, Error::Kind::Format, "offset 0x"});
  cases.push_back({"cut in the colour table", {good.begin(), good.begin() + 100}, Error::Kind::Format, "offset 0x"});
  cases.push_back({"header only", {good.begin(), good.begin() + 13}, Error::Kind::Format, "offset 0x"});
  cases.push_back({"not a GIF", std::vector<std::uint8_t>(good.size(), 'x'), Error::Kind::Format, "offset 0x"});
  cases.push_back({"unknown block", good, Error::Kind::Format, "offset 0x"});
  cases.back().bytes[bodyStart] = 0x99;
  cases.push_back({"no frame at all", {good.begin(), good.begin() + bodyStart}, Error::Kind::Format, "no frame"});
  cases.back().bytes.push_back(0x3B);
  // Twenty frames of 4000 x 4000 that hold no pixel data: refused before anything is decoded.
  std::vector<std::uint8_t> huge = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  for (int k = 0; k < 20; ++k) {
    // A descriptor, then image data of the clear and end codes only.
    huge.insert(huge.end(), {0x2C, 0, 0, 0, 0, 0xA0, 0x0F, 0xA0, 0x0F, 0x00, 2, 1, 0x2C, 0});
  }
  huge.push_back(0x3B);
  cases.push_back({"frames beyond the pixel limit", huge, Error::Kind::Limit, "pixels"});
  cases.push_back({"a screen beyond the pixel limit", good, Error::Kind::Limit, "screen of 65535 x 65535"});
  std::fill_n(cases.back().bytes.begin() + 6, 4, 0xFF);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir_ / "bad.gif", c.bytes);
    fs::path out = dir_ / "icon.gif";
    test::WriteText(out, "old");
    try {
      Resize(dir_ / "bad.gif", out, 16, 16);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      EXPECT_NE(std::string(e.what()).find("bad.gif"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::ReadText(out), "old");
    ExpectOnlyFiles({"bad.gif", "icon.gif"});
  }
}

TEST_F(ResizeGifTest, SizesBeyondAPictureAreRefused) {
  fs::path out = dir_ / "icon.gif";
  test::WriteText(out, "old");
  for (auto [w, h] : {std::pair{65535, 65535}, std::pair{70000, 4}, std::pair{-3, 4}}) {
    try {
      Resize(Data("anim3.gif"), out, w, h);
      ADD_FAILURE() << w << " x " << h << " accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), w < 0 ? Error::Kind::Refused : Error::Kind::Limit) << e.what();
      EXPECT_NE(std::string(e.what()).find("icon.gif"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(test::ReadText(out), "old");
}

TEST_F(ResizeGifTest, UnusualButReadableSources) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::vector<std::uint8_t> good = ReadBytes(Data("anim3.gif"));
  const std::size_t bodyStart = 13 + 3 * 64;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"padded after the trailer", good});
  cases.back().bytes.insert(cases.back().bytes.end(), {0, 0, 0x2C, 1});
  cases.push_back({"no trailer", {good.begin(), good.end() - 1}});
  cases.push_back({"an extension of another writer", good});
  for (std::size_t i = bodyStart; i + 1 < good.size(); ++i) {
    if (good[i] == 0x21 && good[i + 1] == 0xFE) {  // the comment becomes an unknown extension
      cases.back().bytes[i + 1] = 0xEE;
      break;
    }
  }
  ASSERT_TRUE(test::RunCommand("convert " + Q(Data("anim3.gif")) + " -interlace GIF " + Q(dir_ / "i.gif")) == 0);
  cases.push_back({"interlaced", ReadBytes(dir_ / "i.gif")});
  fs::remove(dir_ / "i.gif");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir_ / "src.gif", c.bytes);
    ASSERT_TRUE(Resize(dir_ / "src.gif", dir_ / "icon.gif", 20, 15));
    g::GifAnimation out = g::DecodeGifAnimation(ReadBytes(dir_ / "icon.gif"), "icon.gif");
    EXPECT_EQ(out.frames.size(), 3u);
    EXPECT_TRUE(out.application && out.application->IsLoop());
  }
  // Interlaced rows are put in order: the same pictures as from the plain file.
  ASSERT_TRUE(Resize(Data("anim3.gif"), dir_ / "plain.gif", 20, 15));
  EXPECT_EQ(ReadBytes(dir_ / "plain.gif"), ReadBytes(dir_ / "icon.gif"));
}

TEST_F(ResizeGifTest, LoopingBlockWinsOverLaterApplicationExtensions) {
  // ImageMagick writes application extensions of its own after the looping block.
  std::vector<std::uint8_t> bytes = ReadBytes(Data("anim3.gif"));
  bytes.pop_back();
  const char xmp[] = "XMP DataXMP";
  bytes.insert(bytes.end(), {0x21, 0xFF, 11});
  bytes.insert(bytes.end(), xmp, xmp + 11);
  bytes.insert(bytes.end(), {1, 'x', 0, 0x3B});
  WriteBytes(dir_ / "im.gif", bytes);
  ASSERT_TRUE(Resize(dir_ / "im.gif", dir_ / "icon.gif", 8, 8));
  g::GifAnimation out = g::DecodeGifAnimation(ReadBytes(dir_ / "icon.gif"), "icon.gif");
  ASSERT_TRUE(out.application);
  EXPECT_EQ(out.application->identifier, "NETSCAPE2.0");
  EXPECT_EQ(out.application->subBlocks, (std::vector<std::vector<std::uint8_t>>{{1, 0, 0}}));
}

TEST(ScaledFrameRectTest, TakesThePixelsTheSourceRectangleCoversAtLeastHalf) {
  struct Case {
    int left, top, width, height;  // on a 176 x 220 screen
    int toWidth, toHeight;
    FrameRect expected;
  } cases[] = {
      {0, 0, 176, 220, 48, 48, {0, 0, 48, 48}},
      {29, 99, 79, 59, 48, 48, {8, 22, 21, 12}},   // 29*48/176 = 7.91 up, 108*48/176 = 29.45 down
      {89, 19, 70, 90, 48, 48, {24, 4, 19, 20}},
      {175, 219, 1, 1, 16, 16, {15, 15, 1, 1}},    // the last pixel still covers one
      {100, 100, 1, 1, 4, 4, {2, 2, 1, 1}},        // never narrower than a pixel
      {170, 200, 50, 50, 48, 48, {46, 44, 2, 4}},  // cut at the screen's edge
      {300, 300, 5, 5, 48, 48, {47, 47, 1, 1}},    // off the screen
      {10, 10, 20, 20, 352, 440, {20, 20, 40, 40}},
      {11, 55, 2, 2, 88, 110, {6, 28, 1, 1}},      // halves (5.5, 6.5, 27.5, 28.5) round up
  };
  for (const Case& c : cases) {
    g::GifSourceFrame frame;
    frame.left = c.left;
    frame.top = c.top;
    frame.width = c.width;
    frame.height = c.height;
    FrameRect got = ScaledFrameRect(frame, 176, 220, c.toWidth, c.toHeight);
    EXPECT_EQ(got, c.expected) << c.left << "," << c.top << " " << c.width << "x" << c.height << " -> " << got.left
                               << "," << got.top << " " << got.width << "x" << got.height;
  }
}

// The icon animation: transparent screen, frames kept, restored to the background
// and restored to the previous picture, two of them smaller than the screen.
class TransparentAnimationTest : public ResizeGifTest {
 protected:
  void SetUp() override {
    if (!test::HaveTool("convert") || !test::HaveTool("gifsicle")) GTEST_SKIP() << "ImageMagick or gifsicle missing";
    sample::WriteFile((dir_ / "anim.gif").string(), sample::EncodeIconGif(sample::DrawTransparentAnimation()));
  }
  // Per coalesced frame: pixels of at least half alpha.
  std::vector<double> OpaqueCounts(const std::string& input) {
    return Numbers(Tool("convert " + input +
                        " -alpha extract -threshold 50% -format '%[fx:round(mean*w*h)]\\n' info:"));
  }
  // Per coalesced frame on white: PSNR against the full-colour Catmull-Rom resize of
  // the source, and the best a picture of opaque and transparent pixels can reach: that
  // resize with its alpha decided at half.
  struct Quality {
    std::vector<double> ours, best;
  };
  Quality PsnrOnWhite(const fs::path& resized, const std::string& size) {
    Tool("convert " + Q(dir_ / "anim.gif") + " -coalesce -filter Catrom -resize " + size + "! " +
         Q(dir_ / "ref-%d.png"));
    Tool("convert " + Q(resized) + " -coalesce -background white -alpha remove " + Q(dir_ / "out-%d.png"));
    auto psnr = [&](const fs::path& a, const fs::path& b) {
      std::string text;
      test::RunCommand("compare -metric PSNR " + Q(a) + " " + Q(b) + " null: 2>&1", &text);
      return text.rfind("inf", 0) == 0 ? 99.0 : std::atof(text.c_str());
    };
    Quality q;
    for (int k = 0; fs::exists(dir_ / fmt::format("ref-{}.png", k)); ++k) {
      fs::path ref = dir_ / fmt::format("ref-{}.png", k), flat = dir_ / "flat.png", best = dir_ / "best.png";
      Tool("convert " + Q(ref) + " -background white -alpha remove " + Q(flat));
      Tool("convert " + Q(ref) + " -channel A -threshold 50% +channel -background white -alpha remove " + Q(best));
      q.ours.push_back(psnr(dir_ / fmt::format("out-{}.png", k), flat));
      q.best.push_back(psnr(best, flat));
      fs::remove(ref);
    }
    return q;
  }
};

TEST_F(TransparentAnimationTest, ShapesKeepTheirAreaAndLook) {
  for (const char* size : {"48x48", "96x120", "16x16"}) {
    SCOPED_TRACE(size);
    int w = 0, h = 0;
    ASSERT_EQ(std::sscanf(size, "%dx%d", &w, &h), 2);
    fs::path out = dir_ / "icon.gif";
    ASSERT_TRUE(Resize(dir_ / "anim.gif", out, w, h));
    std::vector<double> ours = OpaqueCounts(Q(out) + " -coalesce");
    std::vector<double> reference =
        OpaqueCounts(Q(dir_ / "anim.gif") + " -coalesce -filter Catrom -resize " + size + "!");
    ASSERT_EQ(ours.size(), 3u);
    ASSERT_EQ(reference.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
      // A soft edge made opaque whole would add a ring of pixels round every shape.
      EXPECT_NEAR(ours[k], reference[k], std::max(2.0, 0.02 * reference[k])) << "frame " << k;
    }
    // On white, as close to the full-colour resize as opaque and transparent pixels allow.
    Quality q = PsnrOnWhite(out, size);
    ASSERT_EQ(q.ours.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_GT(q.ours[k], q.best[k] - 0.5) << "frame " << k;
  }
}

TEST_F(TransparentAnimationTest, DisposalAndFramesInPlaceAreKept) {
  fs::path out = dir_ / "icon.gif";
  ASSERT_TRUE(Resize(dir_ / "anim.gif", out, 48, 48));
  std::string info = Tool("gifsicle --info " + Q(out));
  for (const char* expected : {"3 images", "logical screen 48x48", "loop forever", "+ image #0 48x48",
                               "disposal asis delay 0.10s", "+ image #1 21x12 at 8,22",
                               "disposal background delay 0.20s", "+ image #2 19x20 at 24,4",
                               "disposal previous delay 0.30s"}) {
    EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
  }
}

TEST_F(ResizeGifTest, FullyTransparentFrameStaysFullyTransparent) {
  // Shapes kept on the screen, then a frame of nothing but transparency over all of
  // it, and a small one at an offset.
  sample::IconAnimation animation = sample::DrawTransparentAnimation(60, 40);
  sample::IconFrame empty{0, 0, sample::IconCanvas(60, 40).Picture(), 1, 10};
  animation.frames.insert(animation.frames.begin() + 1, empty);
  animation.frames.push_back({33, 9, sample::IconCanvas(17, 11).Picture(), 2, 10});
  sample::WriteFile((dir_ / "anim.gif").string(), sample::EncodeIconGif(animation));
  ASSERT_TRUE(Resize(dir_ / "anim.gif", dir_ / "icon.gif", 23, 17));

  g::GifAnimation out = g::DecodeGifAnimation(ReadBytes(dir_ / "icon.gif"), "icon.gif");
  ASSERT_EQ(out.frames.size(), 5u);
  for (std::size_t k : {1u, 4u}) {
    g::Bitmap frame = out.frames[k].Pixels();
    for (g::Argb c : frame.Pixels()) ASSERT_EQ(g::AlphaOf(c), 0) << "frame " << k;
  }
  // The small one keeps its own place: restored to the background, it clears no more than it covered.
  g::GifSourceFrame small;
  small.left = 33;
  small.top = 9;
  small.width = 17;
  small.height = 11;
  const FrameRect expected = ScaledFrameRect(small, 60, 40, 23, 17);
  EXPECT_EQ((FrameRect{out.frames[4].left, out.frames[4].top, out.frames[4].width, out.frames[4].height}), expected);
  EXPECT_EQ(out.frames[4].control.disposal, g::kGifDisposalBackground);
  EXPECT_FALSE(out.frames[0].Pixels().IsOpaque());
  EXPECT_TRUE(std::any_of(out.frames[0].indices.begin(), out.frames[0].indices.end(),
                          [&](std::uint8_t i) { return g::AlphaOf(out.frames[0].colours[i]) == 255; }));
}

// Discs drawn on transparency over a kept picture: a small frame at an offset,
// restored to the previous picture, then one of the whole screen. Its soft edge must blend with the picture below as the
// source shows it, not stand out whole in the disc's colour.
TEST_F(ResizeGifTest, FrameOverAKeptPictureBlendsWithIt) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  Tool("convert -size 176x220 gradient:'hsl(120,80%,60%)'-navy " + Q(dir_ / "f0.png"));
  Tool("convert -size 60x60 xc:none -fill '#e03020' -draw 'circle 30,30 52,30' " + Q(dir_ / "f1.png"));
  Tool("convert -size 176x220 xc:none -fill white -draw 'circle 120,150 150,150' " + Q(dir_ / "f2.png"));
  Tool("convert -dispose none -delay 10 " + Q(dir_ / "f0.png") + " -dispose previous -page +40+70 " +
       Q(dir_ / "f1.png") + " -dispose none -page +0+0 " + Q(dir_ / "f2.png") + " -loop 0 " + Q(dir_ / "anim.gif"));
  for (const char* size : {"16x16", "48x48"}) {
    SCOPED_TRACE(size);
    int w = 0, h = 0;
    ASSERT_EQ(std::sscanf(size, "%dx%d", &w, &h), 2);
    fs::path out = dir_ / "icon.gif";
    ASSERT_TRUE(Resize(dir_ / "anim.gif", out, w, h));
    Tool("convert " + Q(dir_ / "anim.gif") + " -coalesce -filter Catrom -resize " + size + "! -background white " +
         "-alpha remove " + Q(dir_ / "ref-%d.png"));
    Tool("convert " + Q(out) + " -coalesce -background white -alpha remove " + Q(dir_ / "out-%d.png"));
    for (int k = 0; k < 3; ++k) {
      std::string text;
      test::RunCommand("compare -metric PSNR " + Q(dir_ / fmt::format("out-{}.png", k)) + " " +
                           Q(dir_ / fmt::format("ref-{}.png", k)) + " null: 2>&1",
                       &text);
      double psnr = text.rfind("inf", 0) == 0 ? 99.0 : std::atof(text.c_str());
      // Drawn alone and snapped at half alpha, the discs' edges scored 27-35 dB.
      EXPECT_GT(psnr, 40.0) << "frame " << k;
    }
  }
}

}  // namespace
}  // namespace resmill::replacement
