// The check of a Build's pairings before anything is written, what one checked
// pairing leaves in the target icon's file, and the Build command end to end
// through resmill-cli on a prepared work tree.

#include "replacement/apply_replacement.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "replacement/replacement_check.h"
#include "platform/error.h"
#include "test_support.h"

namespace resmill::replacement {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;

fs::path Data(const std::string& name) { return test::TestDataDir() / "build" / name; }

std::string Identify(const fs::path& file) {
  std::string out;
  EXPECT_EQ(test::RunCommand("identify -format '%m %W %H\\n' '" + file.string() + "' 2>&1", &out), 0) << out;
  return out;
}

/// `bytes` cut at `at`.
std::vector<std::uint8_t> CutAt(std::vector<std::uint8_t> bytes, std::size_t at) {
  bytes.resize(std::min(at, bytes.size()));
  return bytes;
}

/// A PNG cut in the middle of its image data.
std::vector<std::uint8_t> CutPng(const std::vector<std::uint8_t>& png) {
  const char* tag = "IDAT";
  auto idat = std::search(png.begin(), png.end(), tag, tag + 4);
  EXPECT_NE(idat, png.end());
  std::size_t at = static_cast<std::size_t>(idat - png.begin());
  std::size_t length = (std::size_t{png[at - 4]} << 24) | (std::size_t{png[at - 3]} << 16) |
                       (std::size_t{png[at - 2]} << 8) | png[at - 1];
  EXPECT_GT(length, 64u);
  return CutAt(png, at + 4 + length / 2);
}

/// A GIF cut in the middle of frame `frame`'s image data (frames counted from 0). Frames are found by their
/// image descriptors: after the global colour table, each ',' that follows a block terminator or a control
/// extension starts one; the fixtures come from ImageMagick, which writes a control extension before each.
std::vector<std::uint8_t> CutGif(const std::vector<std::uint8_t>& gif, std::size_t frame) {
  EXPECT_GT(gif.size(), 13u);
  std::size_t at = 13 + ((gif[10] & 0x80) ? 3u * (1u << ((gif[10] & 7) + 1)) : 0u);
  std::vector<std::size_t> starts;
  for (std::size_t i = at; i + 8 < gif.size(); ++i) {
    if (gif[i] == 0x21 && gif[i + 1] == 0xF9 && gif[i + 2] == 4 && gif[i + 7] == 0 && gif[i + 8] == 0x2C) {
      starts.push_back(i + 8);
    }
  }
  if (starts.empty() && gif[at] == 0x2C) starts.push_back(at);
  EXPECT_GT(starts.size(), frame);
  if (starts.size() <= frame) return gif;
  const std::size_t end = frame + 1 < starts.size() ? starts[frame + 1] : gif.size() - 1;
  EXPECT_GT(end - starts[frame], 100u);
  return CutAt(gif, starts[frame] + (end - starts[frame]) * 3 / 4);
}

std::vector<std::uint8_t> KPicture(std::uint32_t width, std::uint32_t height, std::size_t bodyBytes) {
  std::vector<std::uint8_t> k(16 + bodyBytes, 0x7F);
  const std::uint32_t header[4] = {width, height, 32, 4 * width};
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 4; ++b) k[4 * i + b] = static_cast<std::uint8_t>(header[i] >> (8 * b));
  }
  return k;
}

/// Source pictures, good and bad, made by ImageMagick and cut, or written here.
class PairingFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
    fs::create_directories(pics_);
    fs::create_directories(icons_);
    auto convert = [&](const std::string& args, const std::string& name) {
      ASSERT_EQ(test::RunCommand("convert " + args + " '" + (pics_ / name).string() + "'"), 0) << name;
    };
    convert("-seed 3 -size 40x30 plasma:fractal", "photo.png");
    convert("-seed 4 -size 24x24 plasma:fractal +dither -colors 64", "still.gif");
    convert("-seed 5 -size 24x24 plasma:fractal plasma:fractal plasma:fractal +dither -colors 64 -loop 0 -delay 10",
            "anim.gif");
    convert("-seed 6 -size 20x10 plasma:fractal", "photo.jpg");
    const std::string garbage = "this is not a picture, only some words in a file";
    for (const char* name : {"junk.png", "junk.gif", "junk.bmp", "junk.jpg", "junk.g"}) {
      test::WriteText(pics_ / name, garbage);
    }
    Write("cut.png", CutPng(ReadBytes(pics_ / "photo.png")));
    Write("cut.g", CutPng(ReadBytes(pics_ / "photo.png")));
    Write("cut1.gif", CutGif(ReadBytes(pics_ / "still.gif"), 0));
    Write("cut2of3.gif", CutGif(ReadBytes(pics_ / "anim.gif"), 1));
    Write("cut.jpg", CutAt(ReadBytes(pics_ / "photo.jpg"), ReadBytes(pics_ / "photo.jpg").size() / 2));
    fs::copy_file(pics_ / "photo.png", pics_ / "png.gif");
    fs::copy_file(pics_ / "photo.png", pics_ / "photo.g");
    // RAW: 10 x 7 pixels are 140 bytes and a 10-byte mask.
    Write("x(10x7).raw", std::vector<std::uint8_t>(150, 0x5A));
    Write("short(10x7).raw", std::vector<std::uint8_t>(140, 0x5A));
    Write("notag.raw", std::vector<std::uint8_t>(150, 0x5A));
    Write("empty(0x0).raw", {});
    Write("huge(300x300).raw", std::vector<std::uint8_t>(10, 0));
    Write("whole.k", KPicture(10, 7, 280));
    Write("short.k", KPicture(10, 7, 200));
    Write("zero.k", KPicture(0, 7, 0));
    Write("header.k", std::vector<std::uint8_t>(10, 0));

    fs::copy_file(Data("icon16.gif"), icons_ / "5.gif");
    fs::copy_file(Data("icon12x9.png"), icons_ / "12.png");
    fs::copy_file(Data("pic10x7.bmp"), icons_ / "20.bmp");
    test::WriteText(icons_ / "bad.png", "not an icon");
    test::WriteText(icons_ / "7.jpg", "not an icon kind");
  }
  void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) { test::WriteBytes(pics_ / name, bytes); }

  TempDir dir_;
  fs::path pics_ = dir_ / "pics";
  fs::path icons_ = dir_ / "drmpack/icons";
};

TEST_F(PairingFiles, CheckRefusesWhatIsNotAWholePicture) {
  struct Case {
    const char* source;
    const char* target;
    bool matchSize;
    Error::Kind kind;
    const char* why;
  };
  using K = Error::Kind;
  const Case cases[] = {
      // Garbage under every picture extension, converted and copied.
      {"junk.png", "12.png", false, K::Format, "not a PNG, GIF, BMP or JPEG picture"},
      {"junk.png", "20.bmp", false, K::Format, "not a PNG, GIF, BMP or JPEG picture"},
      {"junk.gif", "5.gif", false, K::Format, "not a PNG, GIF, BMP or JPEG picture"},
      {"junk.gif", "5.gif", true, K::Format, "not a PNG, GIF, BMP or JPEG picture"},
      {"junk.bmp", "12.png", true, K::Format, "not a PNG, GIF, BMP or JPEG picture"},
      {"junk.jpg", "20.bmp", false, K::Format, "not a PNG, GIF, BMP or JPEG picture"},
      // Cut in the middle of the image data.
      {"cut.png", "12.png", false, K::Format, "the PNG picture is damaged or cut short"},
      {"cut.png", "5.gif", true, K::Format, "the PNG picture is damaged or cut short"},
      {"cut1.gif", "5.gif", false, K::Format, "the GIF picture is damaged or cut short"},
      {"cut2of3.gif", "5.gif", false, K::Format, "a frame of the GIF animation is damaged or cut short"},
      {"cut2of3.gif", "5.gif", true, K::Format, "a frame of the GIF animation is damaged or cut short"},
      {"cut2of3.gif", "12.png", true, K::Format, "a frame of the GIF animation is damaged or cut short"},
      {"cut.jpg", "12.png", false, K::Format, "the JPEG picture is damaged or cut short"},
      // A whole picture whose bytes would go on under a name that says another format.
      {"png.gif", "5.gif", false, K::Format, "holds a PNG picture, not the GIF its name says"},
      {"png.gif", "5.gif", true, K::Format, "holds a PNG picture, not the GIF its name says"},
      // Device pictures.
      {"short(10x7).raw", "12.png", false, K::Format, "a RAW picture of 10 x 7 pixels needs 150"},
      {"notag.raw", "12.png", false, K::Format, "no size tag"},
      {"empty(0x0).raw", "12.png", true, K::Format, "0 x 0 pixels"},
      {"huge(300x300).raw", "12.png", false, K::Limit, "38,721 pixels"},
      {"short.k", "20.bmp", false, K::Format, "a K picture of 10 x 7 pixels needs 296"},
      {"zero.k", "20.bmp", false, K::Format, "0 x 7 pixels"},
      {"header.k", "20.bmp", false, K::Format, "16-byte K picture header"},
      {"junk.g", "12.png", false, K::Format, "holds neither"},
      {"cut.g", "12.png", false, K::Format, "the PNG picture is damaged or cut short"},
      {"missing.png", "12.png", false, K::Io, "No such file"},
      // Targets the pairing cannot write.
      {"photo.png", "7.jpg", false, K::Refused, "writes only .bmp, .gif and .png icons"},
      {"photo.png", "bad.png", true, K::Refused, "Match Size has no size"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " over " + c.target + (c.matchSize ? " with Match Size" : ""));
    const fs::path source = pics_ / c.source, target = icons_ / c.target;
    ReplacementChecker checker;
    try {
      checker.Check(source, target, c.matchSize);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      const std::string message = e.what();
      EXPECT_NE(message.find(c.why), std::string::npos) << message;
      const fs::path& named = c.kind == K::Refused ? target : source;
      EXPECT_NE(message.find(named.string()), std::string::npos) << message;
    }
  }
}

TEST_F(PairingFiles, CheckAcceptsWholePicturesAndKeepsWhatItDecoded) {
  struct Case {
    const char* source;
    const char* target;
    bool matchSize;
    ReplacementPlan plan;
    int keptWidth;  // 0: nothing kept
    int keptHeight;
  };
  const Case cases[] = {
      {"photo.png", "12.png", false, ReplacementPlan::Copy, 0, 0},
      {"anim.gif", "5.gif", false, ReplacementPlan::Copy, 0, 0},
      {"anim.gif", "5.gif", true, ReplacementPlan::ResizeGif, 0, 0},
      {"anim.gif", "12.png", true, ReplacementPlan::Redraw, 24, 24},
      // Converted by its content: a PNG under a GIF name.
      {"png.gif", "12.png", true, ReplacementPlan::Redraw, 40, 30},
      {"photo.jpg", "20.bmp", false, ReplacementPlan::Redraw, 20, 10},
      {"x(10x7).raw", "12.png", false, ReplacementPlan::Redraw, 10, 7},
      {"whole.k", "5.gif", true, ReplacementPlan::Redraw, 10, 7},
      {"photo.g", "20.bmp", false, ReplacementPlan::Redraw, 40, 30},
      // An unreadable icon is simply replaced when its size is not needed.
      {"photo.png", "bad.png", false, ReplacementPlan::Copy, 0, 0},
      {"photo.jpg", "bad.png", false, ReplacementPlan::Redraw, 20, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " over " + c.target);
    ReplacementChecker checker;
    CheckedReplacement checked = checker.Check(pics_ / c.source, icons_ / c.target, c.matchSize);
    EXPECT_EQ(checked.plan, c.plan);
    ASSERT_EQ(checked.picture.has_value(), c.keptWidth != 0);
    if (checked.picture) {
      EXPECT_EQ(checked.picture->Width(), c.keptWidth);
      EXPECT_EQ(checked.picture->Height(), c.keptHeight);
    }
  }
}

TEST_F(PairingFiles, EarlierPairingsOfTheSameBuildCount) {
  // The unreadable icon gets a size from the first pairing before the second needs it.
  ReplacementChecker checker;
  EXPECT_EQ(checker.Check(pics_ / "photo.png", icons_ / "bad.png", false).plan, ReplacementPlan::Copy);
  EXPECT_EQ(checker.Check(pics_ / "photo.jpg", icons_ / "bad.png", true).plan, ReplacementPlan::Redraw);
  // An icon written by an earlier pairing, used as a source, is decoded when its pairing runs.
  CheckedReplacement fromIcon = checker.Check(icons_ / "bad.png", icons_ / "20.bmp", false);
  EXPECT_EQ(fromIcon.plan, ReplacementPlan::Redraw);
  EXPECT_FALSE(fromIcon.picture.has_value());
  // A fresh checker reads the icon as it is now.
  ReplacementChecker fresh;
  EXPECT_THROW(fresh.Check(icons_ / "bad.png", icons_ / "20.bmp", false), Error);
}

TEST(ApplyReplacementTest, Outcomes) {
  if (!test::HaveTool("identify")) GTEST_SKIP() << "ImageMagick missing";
  struct Case {
    const char* name;
    std::string source;       // file in the source folder (copied from the data folder by `from`)
    std::string from;
    std::string target;       // icon file, copied from `targetFrom` ("" = garbage bytes)
    std::string targetFrom;
    bool matchSize;
    ReplacementOutcome outcome;
    std::string identified;   // ImageMagick's view of the target afterwards; "copy" = the source's bytes
  };
  const Case cases[] = {
      {"same extension, case-blind: byte copy", "a.PNG", "icon12x9.png", "b.png", "icon16.gif", false,
       ReplacementOutcome::Copied, "copy"},
      {"BMP over GIF at its own size", "a.bmp", "pic10x7.bmp", "b.gif", "icon16.gif", false,
       ReplacementOutcome::Converted, "GIF 10 7\n"},
      {"RAW over BMP at the RAW's size", "x(10x7).raw", "", "icon.bmp", "pic10x7.bmp", false,
       ReplacementOutcome::Converted, "BMP 10 7\n"},
      {"RAW with match size", "x(10x7).raw", "", "icon.png", "icon12x9.png", true, ReplacementOutcome::Converted,
       "PNG 12 9\n"},
      {"animation over GIF icon: resized", "anim.gif", "anim3.gif", "icon.gif", "icon16.gif", true,
       ReplacementOutcome::Resized, "GIF 16 16\nGIF 16 16\nGIF 16 16\n"},
      {"animation over PNG icon: first frame", "anim.gif", "anim3.gif", "icon.png", "icon12x9.png", true,
       ReplacementOutcome::Converted, "PNG 12 9\n"},
      {"G picture over BMP at its own size", "z.g", "icon12x9.png", "icon.bmp", "pic10x7.bmp", false,
       ReplacementOutcome::Converted, "BMP3 12 9\n"},
      {"over an unreadable icon at the source's size", "a.bmp", "pic10x7.bmp", "icon.png", "", false,
       ReplacementOutcome::Converted, "PNG 10 7\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::path temp = dir / "drmpack";
    fs::create_directories(temp);
    fs::path source = dir / c.source, target = temp / c.target;
    if (!c.from.empty()) {
      fs::copy_file(Data(c.from), source);
    } else {
      std::vector<std::uint8_t> raw(10 * 7 * 2 + 10);
      for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 37);
      test::WriteBytes(source, raw);
    }
    if (c.targetFrom.empty()) {
      test::WriteText(target, "not an icon");
    } else {
      fs::copy_file(Data(c.targetFrom), target);
    }

    test::ScriptedUi ui;
    GifWorkArea gif;
    ReplacementContext ctx{ui, gif};
    ReplacementChecker checker;
    CheckedReplacement checked = checker.Check(source, target, c.matchSize);
    EXPECT_EQ(ApplyReplacement(ctx, checked), c.outcome);
    // The same result when the check kept no picture and the run decodes the source itself.
    if (checked.picture) {
      std::vector<std::uint8_t> withKept = ReadBytes(target);
      checked.picture.reset();
      EXPECT_EQ(ApplyReplacement(ctx, checked), c.outcome);
      EXPECT_EQ(ReadBytes(target), withKept);
    }

    if (c.identified == "copy") {
      EXPECT_EQ(ReadBytes(target), ReadBytes(source));
    } else {
      EXPECT_EQ(Identify(target), c.identified);
    }
    EXPECT_TRUE(ui.messages.empty());
    // Only the icon is left in the drmpack folder: no temporary picture, no frame files.
    EXPECT_EQ(test::ListFolder(temp), std::vector<std::string>{c.target});
  }
}

// A pending one-file work tree as an earlier `open` leaves it.
class CliBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::RunCliIn(dir_.path(), {"status"}).status, 0);
    icons_ = dir_ / "binary1/drmpack/icons";
    fs::copy_file(Data("icon16.gif"), icons_ / "5.gif");
    fs::copy_file(Data("icon12x9.png"), icons_ / "12.png");
    pics_ = dir_ / "pics";
    fs::create_directories(pics_);
    fs::copy_file(Data("anim3.gif"), pics_ / "anim.gif");
    fs::copy_file(Data("pic10x7.bmp"), pics_ / "Pic.bmp");
    test::WriteText(dir_ / "shxdata.dat", "1");
  }
  TempDir dir_;
  fs::path icons_, pics_;
};

TEST_F(CliBuildTest, PairsAndTableRunInOrder) {
  if (!test::HaveTool("identify")) GTEST_SKIP() << "ImageMagick missing";
  test::WriteText(dir_ / "t.dpt", "[DRM PORT TABLE]\r\nanim 5\r\npic 12 /n\r\n");
  // The table's anim → 5.gif comes first; the pair after it for the same icon wins.
  test::CliResult r = test::RunCliIn(dir_.path(), {"build", "--source-folder", "pics", "--table", "t.dpt", "--pair",
                                                   "Pic.bmp", "5.gif", "--match-size"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Table applied"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Transfer complete"), std::string::npos) << r.out;
  EXPECT_EQ(Identify(icons_ / "5.gif"), "GIF 16 16\n");
  EXPECT_EQ(Identify(icons_ / "12.png"), "PNG 10 7\n");  // "/n": at the picture's own size
  EXPECT_EQ(test::ListFolder(dir_ / "binary1/drmpack"), std::vector<std::string>{"icons"});
  // The work stays pending for the next command.
  EXPECT_EQ(test::ReadText(dir_ / "shxdata.dat"), "1");
}

TEST_F(CliBuildTest, ABadPairingReplacesNothing) {
  // x.png is no picture: without Match Size it would have been copied over 12.png unchecked.
  test::WriteText(pics_ / "x.png", "random bytes under a picture's name");
  fs::copy_file(Data("icon16.gif"), icons_ / "7.gif");
  const std::vector<std::uint8_t> before5 = ReadBytes(icons_ / "5.gif"), before7 = ReadBytes(icons_ / "7.gif"),
                                  before12 = ReadBytes(icons_ / "12.png");
  test::CliResult r = test::RunCliIn(dir_.path(), {"build", "--source-folder", "pics", "--pair", "Pic.bmp", "5.gif",
                                                   "--pair", "x.png", "12.png", "--pair", "anim.gif", "7.gif"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Error: Nothing was replaced. " + (pics_ / "x.png").string() +
                       ": not a PNG, GIF, BMP or JPEG picture"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Transfer complete"), std::string::npos) << r.out;
  EXPECT_EQ(ReadBytes(icons_ / "5.gif"), before5);
  EXPECT_EQ(ReadBytes(icons_ / "7.gif"), before7);
  EXPECT_EQ(ReadBytes(icons_ / "12.png"), before12);
  EXPECT_EQ(test::ReadText(dir_ / "shxdata.dat"), "1");
}

TEST_F(CliBuildTest, RefusalsAndZeroSizedIcon) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  test::WriteText(icons_ / "7.gif", "unreadable icon");
  const Case cases[] = {
      {{"build", "--pair", "anim.gif", "5.gif"}, 2, "not in the source list"},
      {{"build", "--source-folder", "pics", "--pair", "anim.gif", "9.gif"}, 2, "not in the target list"},
      {{"build", "--source-folder", "nowhere"}, 1, "does not exist"},
      {{"build", "--icon-size", "12"}, 2, "not WIDTHxHEIGHT"},
      {{"build", "--source-folder", "pics", "--pair", "anim.gif", "7.gif", "--match-size"}, 0,
       "Icon skipped: Cannot resize to 0"},
  };
  for (const Case& c : cases) {
    test::CliResult r = test::RunCliIn(dir_.path(), c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  EXPECT_EQ(test::ReadText(icons_ / "7.gif"), "unreadable icon");

  test::CliResult r = test::RunCliIn(
      dir_.path(), {"build", "--source-folder", "pics", "--pair", "anim.gif", "7.gif", "--match-size", "--icon-size",
                    "20x10"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(test::ReadText(icons_ / "7.gif"), "unreadable icon");

  test::RunCliIn(dir_.path(), {"reset"});
  r = test::RunCliIn(dir_.path(), {"build"});
  EXPECT_EQ(r.status, 2);
}

TEST(CliResizeGifTest, ResizesAndRefuses) {
  TempDir dir;
  fs::copy_file(Data("anim3.gif"), dir / "a.gif");
  test::CliResult r = test::RunCliIn(dir.path(), {"resize-gif", "a.gif", "b.gif", "24x18"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::uint8_t> b = ReadBytes(dir / "b.gif");
  ASSERT_GT(b.size(), 10u);
  EXPECT_EQ(b[6] | (b[7] << 8), 24);
  EXPECT_EQ(b[8] | (b[9] << 8), 18);
  EXPECT_EQ(test::RunCliIn(dir.path(), {"resize-gif", "a.gif", "b.png", "24x18"}).status, 2);
  EXPECT_EQ(test::RunCliIn(dir.path(), {"resize-gif", "a.gif", "c.gif", "24by18"}).status, 2);
  r = test::RunCliIn(dir.path(), {"resize-gif", "a.gif", "c.gif", "0x0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Icon skipped: Cannot resize to 0"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "c.gif"));
  test::WriteText(dir / "bad.gif", "GIF89a");
  r = test::RunCliIn(dir.path(), {"resize-gif", "bad.gif", "c.gif", "8x8"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.gif"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace resmill::replacement
