// GIF parsing, splitting and the frame-by-frame resize, checked against files
// written by ImageMagick, gifsicle and giflib, and read back with gifsicle and
// ImageMagick.

#include "build/gif_resize.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include <fmt/format.h>

#include "platform/binary_file.h"
#include "platform/error.h"
#include "test_support.h"

namespace resmill::build {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

fs::path Data(const std::string& name) { return test::TestDataDir() / "build" / name; }

// Every test folder's temporary frame files must be gone when a resize ends.
std::vector<std::string> FrameFilesIn(const fs::path& folder) {
  std::vector<std::string> left;
  for (const std::string& name : test::ListFolder(folder)) {
    if (name.rfind("temp", 0) == 0) left.push_back(name);
  }
  return left;
}

std::string Tool(const std::string& command) {
  std::string output;
  EXPECT_EQ(test::RunCommand(command + " 2>&1", &output), 0) << command << "\n" << output;
  return output;
}

TEST(GifBytesTest, SkipSubBlocksAndSamePalette) {
  // Sub-blocks of 2 and 1 bytes, the terminator, then the next block.
  std::vector<std::uint8_t> blocks{0x21, 2, 'a', 'b', 1, 'c', 0, 0x3B};
  std::size_t offset = 0;
  SkipSubBlocks(blocks, 1, offset, "x.gif");
  EXPECT_EQ(offset, 6u);
  std::vector<std::uint8_t> cut{3, 1, 2};
  offset = 0;
  EXPECT_THROW(SkipSubBlocks(cut, 0, offset, "x.gif"), Error);

  std::vector<std::uint8_t> a{1, 2, 3, 4, 5, 6}, b{1, 2, 3, 4, 5, 7};
  EXPECT_TRUE(SamePalette(a, 2, a, 2));
  EXPECT_FALSE(SamePalette(a, 2, b, 2));
  EXPECT_TRUE(SamePalette(a, 1, b, 1));
  EXPECT_FALSE(SamePalette(a, 2, a, 1));
  EXPECT_TRUE(SamePalette({}, 0, {}, 0));
}

TEST(ParseGifTest, ImageMagickAnimation) {
  GifWorkArea area;
  BinaryFile file(Data("anim3.gif"), BinaryFile::Mode::Read);
  ParseGif(area, file);
  ASSERT_EQ(area.FrameCount(), 3u);
  EXPECT_EQ(area.ColourCount(), 64u);
  struct Expected {
    bool transparent;
    std::uint8_t disposal;
    std::uint16_t delay;
  };
  const Expected expected[] = {{false, 1 << 2, 10}, {true, 2 << 2, 20}, {false, 3 << 2, 30}};
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(area.FrameControl[k].transparent, expected[k].transparent) << k;
    EXPECT_EQ(area.FrameControl[k].disposalBits, expected[k].disposal) << k;
    EXPECT_EQ(area.FrameControl[k].delay, expected[k].delay) << k;
  }
  ASSERT_GE(area.AppExtension.size(), 19u);
  EXPECT_EQ(std::string(area.AppExtension.begin() + 3, area.AppExtension.begin() + 14), "NETSCAPE2.0");
  EXPECT_EQ(area.AppExtension.back(), 0);
  // The spans tile the body, which ends before the trailer.
  EXPECT_EQ(area.FrameTable[0].start, 0u);
  EXPECT_EQ(area.FrameTable[2].start + area.FrameTable[2].length, area.body.size());
}

TEST(ParseGifTest, DamagedAndUnusualFiles) {
  std::vector<std::uint8_t> good = ReadBytes(Data("anim3.gif"));
  const std::size_t bodyStart = 13 + 3 * 64;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int frames;  // -1: refused
  };
  std::vector<Case> cases;
  cases.push_back({"as written", good, 3});
  cases.push_back({"padded after the trailer", good, 3});
  cases.back().bytes.insert(cases.back().bytes.end(), {0, 0, 0x2C, 1});
  cases.push_back({"no trailer", {good.begin(), good.end() - 1}, 3});
  cases.push_back({"cut in the last image", {good.begin(), good.end() - 9}, -1});
  cases.push_back({"cut in the colour table", {good.begin(), good.begin() + 100}, -1});
  cases.push_back({"header only", {good.begin(), good.begin() + 13}, -1});
  cases.push_back({"empty", {}, -1});
  cases.push_back({"not a GIF", std::vector<std::uint8_t>(good.size(), 'x'), -1});
  cases.push_back({"unknown block", good, -1});
  cases.back().bytes[bodyStart] = 0x99;
  cases.push_back({"unknown extension label", good, 3});
  // The comment extension becomes an extension of another writer: still stepped over.
  for (std::size_t i = bodyStart; i + 1 < good.size(); ++i) {
    if (good[i] == 0x21 && good[i + 1] == 0xFE) {
      cases.back().bytes[i + 1] = 0xEE;
      break;
    }
  }
  cases.push_back({"no frame at all", {good.begin(), good.begin() + static_cast<std::ptrdiff_t>(bodyStart)}, 0});
  cases.back().bytes.push_back(0x3B);

  for (const Case& c : cases) {
    GifWorkArea area;
    if (c.frames < 0) {
      try {
        ParseGifBytes(area, c.bytes, "src.gif");
        ADD_FAILURE() << c.name << ": accepted";
      } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::Format) << c.name;
        EXPECT_NE(std::string(e.what()).find("src.gif"), std::string::npos) << c.name << ": " << e.what();
      }
    } else {
      ParseGifBytes(area, c.bytes, "src.gif");
      EXPECT_EQ(area.FrameCount(), static_cast<std::size_t>(c.frames)) << c.name;
    }
  }
}

TEST(ParseGifTest, LoopingBlockWinsOverLaterApplicationExtensions) {
  // ImageMagick writes application extensions of its own after the looping block.
  std::vector<std::uint8_t> bytes = ReadBytes(Data("anim3.gif"));
  bytes.pop_back();
  const char xmp[] = "XMP DataXMP";
  bytes.insert(bytes.end(), {0x21, 0xFF, 11});
  bytes.insert(bytes.end(), xmp, xmp + 11);
  bytes.insert(bytes.end(), {1, 'x', 0, 0x3B});
  GifWorkArea area;
  ParseGifBytes(area, bytes, "im.gif");
  ASSERT_GE(area.AppExtension.size(), 14u);
  EXPECT_EQ(std::string(area.AppExtension.begin() + 3, area.AppExtension.begin() + 14), "NETSCAPE2.0");
}

TEST(SplitGifFramesTest, FramesAreGifsOfTheirOwn) {
  if (!test::HaveTool("identify")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  GifWorkArea area;
  ASSERT_EQ(SplitGifFrames(area, Data("anim3.gif"), dir.path()), 3u);
  for (int k = 0; k < 3; ++k) {
    fs::path frame = dir / fmt::format("tempn{}.gif", k);
    EXPECT_EQ(Tool("identify -format '%n %W %H\\n' " + frame.string()), "1 40 30\n") << k;
  }
  // Without a global colour table the frame files have none either.
  ASSERT_EQ(SplitGifFrames(area, Data("noglobal.gif"), dir.path()), 2u);
  EXPECT_TRUE(area.colourTable.empty());
  std::vector<std::uint8_t> frame1 = ReadBytes(dir / "tempn1.gif");
  EXPECT_EQ(frame1[10] & 0x80, 0);
  EXPECT_EQ(Tool("identify -format '%n %W %H\\n' " + (dir / "tempn1.gif").string()), "1 8 6\n");
  EXPECT_TRUE(area.FrameControl[1].transparent);
  EXPECT_EQ(area.FrameControl[1].transparentIndex, 1);

  std::vector<std::uint8_t> none = ReadBytes(Data("anim3.gif"));
  none.resize(13 + 3 * 64);
  none.push_back(0x3B);
  WriteBytes(dir / "none.gif", none);
  EXPECT_THROW(SplitGifFrames(area, dir / "none.gif", dir / "out"), Error);
}

class ResizeGifTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = dir_ / "drmpack";
    fs::create_directories(temp_);
  }
  bool Resize(const fs::path& source, const fs::path& target, int w, int h) {
    return ResizeGif(area_, source, target, w, h, temp_, ui_);
  }
  TempDir dir_;
  fs::path temp_;
  GifWorkArea area_;
  test::ScriptedUi ui_;
};

TEST_F(ResizeGifTest, AnimationKeepsTimingLoopAndTransparency) {
  if (!test::HaveTool("gifsicle") || !test::HaveTool("identify")) GTEST_SKIP() << "gifsicle or ImageMagick missing";
  fs::path out = dir_ / "icon.gif";
  ASSERT_TRUE(Resize(Data("anim3.gif"), out, 16, 12));
  EXPECT_TRUE(FrameFilesIn(temp_).empty());

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

TEST_F(ResizeGifTest, SameSizeIsByteCopyWithoutTemporaryFiles) {
  fs::path out = dir_ / "icon.gif";
  test::WriteText(out, "old");
  ASSERT_TRUE(Resize(Data("anim3.gif"), out, 40, 30));
  EXPECT_EQ(ReadBytes(out), ReadBytes(Data("anim3.gif")));
  EXPECT_TRUE(test::ListFolder(temp_).empty());
}

TEST_F(ResizeGifTest, NoGlobalTableSource) {
  if (!test::HaveTool("gifsicle")) GTEST_SKIP() << "gifsicle missing";
  fs::path out = dir_ / "icon.gif";
  ASSERT_TRUE(Resize(Data("noglobal.gif"), out, 5, 5));
  std::string info = Tool("gifsicle --info " + out.string());
  EXPECT_NE(info.find("2 images"), std::string::npos) << info;
  EXPECT_NE(info.find("disposal background delay 0.09s"), std::string::npos) << info;
  EXPECT_TRUE(FrameFilesIn(temp_).empty());
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

TEST_F(ResizeGifTest, DamagedSourceLeavesTargetAndNoTemporaryFiles) {
  std::vector<std::uint8_t> cut = ReadBytes(Data("anim3.gif"));
  cut.resize(cut.size() - 9);
  WriteBytes(dir_ / "cut.gif", cut);
  fs::path out = dir_ / "icon.gif";
  test::WriteText(out, "old");
  try {
    Resize(dir_ / "cut.gif", out, 16, 16);
    ADD_FAILURE() << "accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("cut.gif: offset 0x"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::ReadText(out), "old");
  EXPECT_TRUE(FrameFilesIn(temp_).empty());
}

TEST_F(ResizeGifTest, RedrawnFrameWithoutControlExtensionIsRefused) {
  // giflib writes this frame without a Graphic Control Extension.
  fs::copy_file(Data("nogce.gif"), temp_ / "temp1n0.gif");
  std::size_t position = 0;
  EXPECT_THROW(AppendGifFrame(area_, 0, position, temp_, "temp1n"), Error);
}

}  // namespace
}  // namespace resmill::build
