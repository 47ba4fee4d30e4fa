// What one pairing of the Build run leaves in the target icon's file, and the
// Build command end to end through resmill-cli on a prepared work tree.

#include "build/apply_replacement.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace resmill::build {
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
    std::string identified;   // ImageMagick's view of the target afterwards; "" = unchanged
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
      {"unreadable source", "bad.bmp", "", "icon.png", "icon12x9.png", false, ReplacementOutcome::Skipped, ""},
      {"unreadable icon with match size", "a.bmp", "pic10x7.bmp", "icon.png", "", true, ReplacementOutcome::Skipped,
       ""},
      {"damaged animation", "cut.gif", "", "icon.gif", "icon16.gif", true, ReplacementOutcome::Skipped, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::path temp = dir / "drmpack";
    fs::create_directories(temp);
    fs::path source = dir / c.source, target = temp / c.target;
    if (!c.from.empty()) {
      fs::copy_file(Data(c.from), source);
    } else if (c.source.ends_with(".raw")) {
      std::vector<std::uint8_t> raw(10 * 7 * 2);
      for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 37);
      test::WriteBytes(source, raw);
    } else if (c.source == "cut.gif") {
      std::vector<std::uint8_t> cut = ReadBytes(Data("anim3.gif"));
      cut.resize(cut.size() - 9);
      test::WriteBytes(source, cut);
    } else {
      test::WriteText(source, "this is not a picture");
    }
    if (c.targetFrom.empty()) {
      test::WriteText(target, "not an icon");
    } else {
      fs::copy_file(Data(c.targetFrom), target);
    }
    std::vector<std::uint8_t> before = ReadBytes(target);

    test::ScriptedUi ui;
    GifWorkArea gif;
    ReplacementContext ctx{temp, ui, gif};
    EXPECT_EQ(ApplyReplacement(ctx, source, target, c.matchSize), c.outcome);

    if (c.identified.empty()) {
      EXPECT_EQ(ReadBytes(target), before);
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].caption, "Icon skipped");
    } else if (c.identified == "copy") {
      EXPECT_EQ(ReadBytes(target), ReadBytes(source));
    } else {
      EXPECT_EQ(Identify(target), c.identified);
      EXPECT_TRUE(ui.messages.empty());
    }
    // Only the icon is left in the drmpack folder: no temp.png, no frame files.
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
}  // namespace resmill::build
