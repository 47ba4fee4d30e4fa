// Build runs all of its pairings or none, and Save As says which RAW pictures it
// stored empty, through the controller as the window drives it.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "app/controller.h"
#include "app/operations.h"
#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::app {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::ScriptedUi;
using test::TempDir;

fs::path Data(const std::string& name) { return test::TestDataDir() / "build" / name; }

/// A controller started on pending one-file work with three icons and a folder of pictures.
struct PendingBuild {
  TempDir dir;
  ScriptedUi ui;
  Controller c{ui, dir.path()};
  fs::path icons = dir / "binary1/drmpack/icons";
  fs::path pics = dir / "pics";
  replacement::ReplacementTable pairings;

  PendingBuild() {
    test::WriteText(dir / "shxdata.dat", "1");
    c.InitApp();
    fs::copy_file(Data("icon16.gif"), icons / "5.gif");
    fs::copy_file(Data("icon12x9.png"), icons / "12.png");
    fs::copy_file(Data("pic10x7.bmp"), icons / "20.bmp");
    fs::create_directories(pics);
    fs::copy_file(Data("anim3.gif"), pics / "anim.gif");
    fs::copy_file(Data("pic10x7.bmp"), pics / "pic.bmp");
    fs::copy_file(Data("icon12x9.png"), pics / "good.png");
  }
  void Pair(const std::string& source, const std::string& target, bool matchSize) {
    ASSERT_TRUE(pairings.Append({icons / target, pics / source, 0, 0, matchSize}));
  }
  std::vector<std::vector<std::uint8_t>> Icons() {
    return {ReadBytes(icons / "5.gif"), ReadBytes(icons / "12.png"), ReadBytes(icons / "20.bmp")};
  }
  bool Said(const std::string& text) {
    for (const auto& m : ui.messages) {
      if (m.text == text) return true;
    }
    return false;
  }
};

TEST(BuildCommand, OneBadPairingOfThreeReplacesNothing) {
  struct Case {
    const char* name;
    std::function<void(PendingBuild&)> damage;  // makes the second pairing's source bad
    bool matchSize;
    std::string why;
  };
  const Case cases[] = {
      {"random bytes copied under a picture's name",
       [](PendingBuild& b) { test::WriteText(b.pics / "good.png", "no picture"); }, false,
       "not a PNG, GIF, BMP or JPEG picture"},
      {"a PNG cut short, redrawn",
       [](PendingBuild& b) {
         auto png = ReadBytes(b.pics / "good.png");
         png.resize(png.size() / 2);
         test::WriteBytes(b.pics / "good.png", png);
       },
       true, "the PNG picture is damaged or cut short"},
      {"a missing picture", [](PendingBuild& b) { fs::remove(b.pics / "good.png"); }, false, "No such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PendingBuild b;
    c.damage(b);
    b.Pair("pic.bmp", "5.gif", true);
    b.Pair("good.png", "12.png", c.matchSize);
    b.Pair("anim.gif", "20.bmp", false);
    const auto before = b.Icons();

    BuildResult result = b.c.Build(b.pairings);
    EXPECT_EQ(result.status, BuildResult::Status::Refused);
    EXPECT_EQ(b.Icons(), before);
    EXPECT_FALSE(b.Said("Transfer complete"));
    EXPECT_FALSE(b.c.session().buildCompleted);
    EXPECT_EQ(result.message.rfind("Nothing was replaced. ", 0), 0u) << result.message;
    EXPECT_NE(result.message.find((b.pics / "good.png").string()), std::string::npos) << result.message;
    EXPECT_NE(result.message.find(c.why), std::string::npos) << result.message;
    ASSERT_EQ(b.ui.messages.size(), 2u);  // "Are you sure?", then the refusal
    EXPECT_EQ(b.ui.messages[1].text, result.message);
    EXPECT_EQ(b.ui.messages[1].caption, "Error");
    EXPECT_EQ(b.ui.messages[1].owner, MessageOwner::MainWindow);
  }
}

TEST(BuildCommand, GoodPairingsAllRun) {
  PendingBuild b;
  b.Pair("anim.gif", "5.gif", true);
  b.Pair("pic.bmp", "12.png", false);
  b.Pair("good.png", "20.bmp", false);
  const auto before = b.Icons();
  EXPECT_EQ(b.c.Build(b.pairings).status, BuildResult::Status::Done);
  const auto after = b.Icons();
  for (std::size_t i = 0; i < after.size(); ++i) EXPECT_NE(after[i], before[i]) << i;
  EXPECT_EQ(b.ui.messages.back().text, "Transfer complete");
  EXPECT_TRUE(b.c.session().buildCompleted);
  EXPECT_EQ(b.ui.progressCaptions, std::vector<std::string>{"Checking pictures"});
  EXPECT_FALSE(b.ui.progressVisible);

  PendingBuild cancelled;
  cancelled.Pair("pic.bmp", "5.gif", true);
  cancelled.ui.confirmAnswers.push_back(false);
  EXPECT_EQ(cancelled.c.Build(cancelled.pairings).status, BuildResult::Status::Cancelled);
  EXPECT_EQ(cancelled.Icons()[0], ReadBytes(Data("icon16.gif")));
}

TEST(SaveAs, WarnsAboutEveryPictureItStoredEmpty) {
  struct Case {
    bool convert;
    std::vector<int> removed;
    std::string warning;  // "" = none; {} stands for the drmpack folder
  };
  const Case cases[] = {
      {true, {}, ""},
      {true, {3}, "picture 3 was stored empty (0x0): no icons/3.png found in {}, or only an empty one"},
      {true, {3, 7, 9, 10, 11},
       "pictures 3, 7, 9\u201311 were stored empty (0x0): no icons/<n>.png found in {}, or only an empty one"},
      {false, {1, 2}, "pictures 1, 2 were stored empty (0x0): no raws/<n>(<W>x<H>).raw found in {}"},
      {false, {12}, "picture 12 was stored empty (0x0): no raws/12(<W>x<H>).raw found in {}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    TempDir dir;
    test::WriteBytes(dir / "phone.smg", sample::BuildDrmImage(sample::SampleDrm()));
    ScriptedUi ui;
    Controller controller(ui, dir.path());
    controller.InitApp();
    controller.session().settings.autoCloseOnStage = false;
    controller.session().settings.convertRawToBmp = c.convert;
    ASSERT_EQ(controller.Open(dir / "phone.smg"), OpenResult::Done);
    const fs::path drmpack = dir / "binary1/drmpack";
    for (int n : c.removed) {
      if (c.convert) {
        ASSERT_TRUE(fs::remove(drmpack / fmt::format("icons/{}.png", n)));
        continue;
      }
      for (const auto& entry : fs::directory_iterator(drmpack / "raws")) {
        if (entry.path().filename().string().starts_with(fmt::format("{}(", n))) fs::remove(entry.path());
      }
    }
    ui.messages.clear();
    ASSERT_EQ(controller.Save(dir / "out.bin"), SaveResult::Done);
    ASSERT_TRUE(fs::exists(dir / "out.bin"));
    std::vector<std::string> said;
    for (const auto& m : ui.messages) said.push_back(m.caption + ": " + m.text);
    std::vector<std::string> expected;
    if (!c.warning.empty()) expected.push_back("Warning: " + fmt::format(fmt::runtime(c.warning), drmpack.string()));
    expected.push_back(": Operation Complete");
    EXPECT_EQ(said, expected);
  }
}

TEST(SaveAs, AVeryLongListIsCut) {
  TempDir dir;
  ScriptedUi ui;
  Session session(ui, dir.path(), LocalTimeNow);
  session.tree.drmPack1Folder = "/w/binary1/drmpack";
  drm::CompileResult compiled{{}, {1, 2, 3}};
  for (int n = 5; n <= 203; n += 2) compiled.skipped.push_back(n);  // 100 pictures, no runs
  const std::string warning = StoredEmptyWarning(session, compiled);
  EXPECT_EQ(warning.rfind("pictures 1\u20133, 5, 7, ", 0), 0u) << warning;
  EXPECT_NE(warning.find(", 79, 81 and 61 more were stored empty (0x0): no icons/<n>.png found in "
                         "/w/binary1/drmpack, or only an empty one"),
            std::string::npos)
      << warning;
}

}  // namespace
}  // namespace resmill::app
