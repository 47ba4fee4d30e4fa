// Skins through the workflow: Open and Save As of the controller and of
// resmill-cli, with the real picture conversions.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/controller.h"
#include "platform/error.h"
#include "skin/conv_list.h"
#include "skin_fixtures.h"
#include "test_support.h"

namespace resmill::skin {
namespace {

namespace fs = std::filesystem;
using image::PictureKind;
using resmill::test::HaveTool;
using resmill::test::ListFolder;
using resmill::test::ReadBytes;
using resmill::test::RunCliIn;
using resmill::test::RunCommand;
using resmill::test::ScriptedUi;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using resmill::test::WriteText;
using test::Bytes;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A 2 × 1 picture, red then blue, in both K forms.
Bytes K18Picture() {
  Bytes k;
  for (std::uint32_t v : {2u, 1u, 18u, 8u}) test::AppendU32(k, v);
  Bytes pixels = {0x00, 0xF0, 0x03, 0x3F, 0x00, 0x00, 0, 0, 0x03, 0, 0, 0};  // two pixels, padding, mask row
  k.insert(k.end(), pixels.begin(), pixels.end());
  return k;
}
Bytes K32Picture() {
  Bytes k;
  for (std::uint32_t v : {2u, 1u, 32u, 8u}) test::AppendU32(k, v);
  Bytes pixels = {0, 0, 255, 255, 255, 0, 0, 255};
  k.insert(k.end(), pixels.begin(), pixels.end());
  return k;
}

struct Workflow {
  TempDir dir;
  ScriptedUi ui;
  fs::path Tree(const std::string& tail) const { return dir / ("binary1/drmpack/" + tail); }
  fs::path Tree2(const std::string& tail) const { return dir / ("binary2/drmpack/" + tail); }
};

/// A skin of both K forms and, when ImageMagick is there, a G picture holding a real GIF.
Bytes MakeSkin(const TempDir& dir, bool withGif) {
  std::vector<test::RawEntry> entries = {{"x.k", K18Picture()}, {"y.k", K32Picture()}};
  if (withGif) {
    EXPECT_EQ(RunCommand("convert -size 3x2 xc:green '" + (dir / "g.gif").string() + "'"), 0);
    entries.push_back({"anim.g", ReadBytes(dir / "g.gif")});
  }
  return test::BuildSkin(entries);
}

TEST(SkinWorkflow, ATargetSkinOpenedAndSavedComesBackWithTheSamePictures) {
  Workflow w;
  app::Controller c(w.ui, w.dir.path());
  c.InitApp();
  c.session().settings.autoCloseOnStage = false;
  c.session().settings.cleanUpOnCompletion = false;
  const Bytes original = MakeSkin(w.dir, HaveTool("convert"));
  WriteBytes(w.dir / "in.ezx", original);

  ASSERT_EQ(c.Open(w.dir / "in.ezx"), app::OpenResult::Done);
  EXPECT_EQ(c.session().stageFlags, 1 + 8);
  EXPECT_FALSE(c.session().convertSkinPictures);  // a target skin is never converted
  EXPECT_EQ(ReadBytes(w.Tree("raws/x.k")), K18Picture());
  EXPECT_TRUE(ListFolder(w.Tree("icons")).empty());
  EXPECT_THAT(w.ui.progressCaptions, Contains("Extracting icons"));

  EXPECT_EQ(app::SaveQuestion(c.session()).title, "Select a file to save skin");
  EXPECT_EQ(app::SaveQuestion(c.session()).filter, "EZX files|*.ezx");
  ASSERT_EQ(c.Save(w.dir / "out.ezx"), app::SaveResult::Done);
  EXPECT_EQ(w.ui.messages.back().text, "Operation Complete");
  auto want = test::PicturesOf(original);
  EXPECT_EQ(test::PicturesOf(ReadBytes(w.dir / "out.ezx")), want);
}

TEST(SkinWorkflow, ASourceSkinIsConvertedAndItsPicturesGoIntoTheTargetAsTheirKinds) {
  if (!HaveTool("convert") || !HaveTool("identify")) GTEST_SKIP() << "needs ImageMagick";
  Workflow w;
  app::Controller c(w.ui, w.dir.path());
  c.InitApp();
  c.session().settings.autoCloseOnStage = false;
  c.session().settings.cleanUpOnCompletion = false;
  ASSERT_TRUE(c.session().settings.convertRawToBmp);
  WriteBytes(w.dir / "target.ezx", test::BuildSkin({{"x.k", Bytes(4, 0xEE)}, {"keep.g", Bytes(3, 0xDD)}}));
  WriteBytes(w.dir / "source.ezx", MakeSkin(w.dir, true));

  ASSERT_EQ(c.Open(w.dir / "target.ezx", w.dir / "source.ezx"), app::OpenResult::Done);
  EXPECT_EQ(c.session().stageFlags, 2 + 8);
  EXPECT_TRUE(c.session().convertSkinPictures);
  EXPECT_THAT(ListFolder(w.Tree2("icons")), ElementsAre("anim.gif", "conv.dat", "x.gif", "y.gif"));
  EXPECT_EQ(*ReadConvList(w.Tree2("icons/conv.dat")),
            (std::vector<TConvRec>{{"x.k", "x.gif", PictureKind::K18},
                                   {"y.k", "y.gif", PictureKind::K32},
                                   {"anim.g", "anim.gif", PictureKind::G}}));
  // An independent reader sees the converted pictures.
  std::string size;
  ASSERT_EQ(RunCommand("identify -format '%m %wx%h' '" + w.Tree2("icons/x.gif").string() + "'", &size), 0);
  EXPECT_EQ(size, "GIF 2x1");

  // The user carries the converted source pictures over to the target.
  for (const char* name : {"x.gif", "y.gif", "conv.dat"}) fs::copy_file(w.Tree2("icons") / name, w.Tree("icons") / name);
  ASSERT_EQ(c.Save(w.dir / "out.ezx"), app::SaveResult::Done);
  Bytes skin = ReadBytes(w.dir / "out.ezx");
  EXPECT_THAT(test::NamesOf(skin), ElementsAre("x.k", "keep.g", "y.k"));
  auto pictures = test::PicturesOf(skin);
  EXPECT_EQ(pictures["keep.g"], Bytes(3, 0xDD));
  ASSERT_GE(pictures["x.k"].size(), 16u);
  ASSERT_GE(pictures["y.k"].size(), 16u);
  // Same size and the kind conv.dat recorded: the header's width, height and bits per pixel.
  auto head = [](const Bytes& b) { return Bytes(b.begin(), b.begin() + 12); };
  EXPECT_EQ(head(pictures["x.k"]), head(K18Picture()));
  EXPECT_EQ(head(pictures["y.k"]), head(K32Picture()));
  // Two opaque colours survive the trip through GIF exactly.
  EXPECT_EQ(pictures["x.k"], K18Picture());
  EXPECT_EQ(pictures["y.k"], K32Picture());
  EXPECT_TRUE(ListFolder(w.Tree("conv")).empty());
}

TEST(SkinWorkflow, SaveFailuresAreNotReportedAsComplete) {
  struct Case { const char* what; bool convert; std::function<void(const Workflow&)> edit; const char* message; bool notFound; };
  const Case cases[] = {
      {"no pictures", false, [](const Workflow& w) { fs::remove(w.Tree("raws/x.k")); }, "no skin pictures", false},
      {"unreadable picture", true, [](const Workflow& w) { WriteText(w.Tree("icons/bad.bmp"), "not a bitmap"); },
       "bad.bmp", true},
  };
  for (const Case& c : cases) {
    Workflow w;
    app::Controller controller(w.ui, w.dir.path());
    controller.InitApp();
    controller.session().settings.autoCloseOnStage = false;
    WriteBytes(w.dir / "in.ezx", test::BuildSkin({{"x.k", K18Picture()}}));
    ASSERT_EQ(controller.Open(w.dir / "in.ezx"), app::OpenResult::Done);
    controller.session().convertSkinPictures = c.convert;
    c.edit(w);
    w.ui.messages.clear();
    try {
      controller.Save(w.dir / "out.ezx");
      ADD_FAILURE() << c.what << ": saved";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.what;
    }
    EXPECT_FALSE(fs::exists(w.dir / "out.ezx")) << c.what;
    std::vector<std::string> shown;
    for (const auto& m : w.ui.messages) shown.push_back(m.caption + ": " + m.text);
    if (c.notFound) {
      EXPECT_THAT(shown, ElementsAre("Not Found: bad.bmp")) << c.what;
    } else {
      EXPECT_TRUE(shown.empty()) << c.what;
    }
    EXPECT_TRUE(fs::exists(w.Tree("raws"))) << "the work stays for another try";
  }
}

TEST(SkinWorkflow, CommandLineOpenSaveAndInfo) {
  TempDir dir;
  WriteBytes(dir / "in.ezx", test::BuildSkin({{"x.k", K18Picture()}, {"", {}}, {"y.k", K32Picture()}}));
  auto info = RunCliIn(dir.path(), {"info", (dir / "in.ezx").string()});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("Entries: 3"));
  EXPECT_THAT(info.out, HasSubstr("(no name: skipped)"));
  // hash of x.k, data offset 0, at 0x6C + 8, length 28, 18-bit K picture
  EXPECT_THAT(info.out, ::testing::ContainsRegex("0x000001D7  0x00000000  0x00000080        28  K18    x.k"));
  EXPECT_THAT(info.out, ::testing::ContainsRegex("K32    y.k"));

  auto open = RunCliIn(dir.path(), {"open", "in.ezx"});
  ASSERT_EQ(open.status, 0) << open.err;
  EXPECT_EQ(ReadBytes(dir / "binary1/drmpack/raws/y.k"), K32Picture());
  auto save = RunCliIn(dir.path(), {"save", "out.ezx"});
  ASSERT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(test::NamesOf(ReadBytes(dir / "out.ezx")), (std::vector<std::string>{"x.k", "y.k"}));

  Bytes damaged = ReadBytes(dir / "in.ezx");
  damaged[20] = 'z';
  WriteBytes(dir / "bad.ezx", damaged);
  auto bad = RunCliIn(dir.path(), {"info", (dir / "bad.ezx").string()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_THAT(bad.err, HasSubstr("bad.ezx: offset 0x000010: directory offset"));
}

}  // namespace
}  // namespace resmill::skin
