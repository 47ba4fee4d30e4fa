// The Build Setup dialog's logic: list order, pairing, the Match Size box, the
// port table reactions, control states and where the previews go.

#include "replacement/build_setup.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace resmill::replacement {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteText;

TEST(CompareNamesTest, ShorterFirstThenUnsignedBytes) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"9.gif", "10.gif", -1}, {"B.gif", "a.gif", -1}, {"a.gif", "B.gif", 1},
      {"a.gif", "a.gif", 0},   {"", "a", -1},          {"\xE9.gif", "z.gif", 1},  // bytes compare unsigned
  };
  for (const Case& c : cases) EXPECT_EQ(CompareNames(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(ListFolderSortedTest, MaskHiddenAndFolders) {
  TempDir dir;
  for (const char* name : {"10.gif", "9.gif", "B.gif", "a.gif", "x.RAW", "y.k", "z.g", "note.txt", ".hidden.gif"}) {
    WriteText(dir / name, "x");
  }
  fs::create_directory(dir / "sub.gif");
  EXPECT_EQ(ListFolderSorted(dir.path(), kTargetMask), (std::vector<std::string>{"9.gif", "B.gif", "a.gif", "10.gif"}));
  EXPECT_EQ(ListFolderSorted(dir.path(), kSourceMask),
            (std::vector<std::string>{"y.k", "z.g", "9.gif", "B.gif", "a.gif", "x.RAW", "10.gif"}));
  EXPECT_TRUE(ListFolderSorted(dir / "missing", kTargetMask).empty());
}

TEST(PlacePreviewTest, SizingRules) {
  struct Case {
    int w, h;
    bool stretch;
    Rect picture;  // relative to the black area's corner
  };
  const Case cases[] = {
      {240, 100, false, {0, 43, 121, 50}},   // both larger than 121 x 137? only w: width to 121
      {300, 200, false, {0, 28, 121, 81}},   // w larger only (200 > 137 too): both larger, longer side to 121
      {16, 16, false, {52, 60, 16, 16}},     // small pictures keep their size
      {16, 16, true, {0, 8, 121, 121}},      // Stretch enlarges until the longer side is 121
      {100, 200, false, {26, 0, 69, 137}},   // only h larger
      {121, 137, false, {0, 0, 121, 137}},   // exactly the area
      {1000, 1, false, {0, 68, 121, 1}},     // a sliver keeps one pixel
  };
  for (const Case& c : cases) {
    PreviewPlacement p = PlacePreview(kTargetPanelRect, c.w, c.h, c.stretch);
    ASSERT_TRUE(p.drawPicture);
    EXPECT_EQ(p.blackArea, (Rect{12, 44, 121, 137}));
    Rect rel{p.picture.left - 12, p.picture.top - 44, p.picture.width, p.picture.height};
    EXPECT_EQ(rel, c.picture) << c.w << "x" << c.h << (c.stretch ? " stretched" : "");
  }
  EXPECT_FALSE(PlacePreview(kSourcePanelRect, 0, 10, false).drawPicture);
}

TEST(GeometryTest, MarkerBesideTargetList) {
  EXPECT_EQ(kMarkerLeft, 267);
  EXPECT_EQ(kMarkerTop, 50);
}

// A work tree with target icons and a source folder, and a model over it.
class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    targets_ = dir_ / "binary1/drmpack/icons";
    sources_ = dir_ / "binary2/drmpack/icons";
    picked_ = dir_ / "picked";
    for (const fs::path& f : {targets_, sources_, picked_}) fs::create_directories(f);
    for (const char* name : {"10.gif", "9.gif", "B.png", "a.bmp"}) WriteText(targets_ / name, "t");
    for (const char* name : {"s1.gif", "s2.png"}) WriteText(sources_ / name, "s");
    for (const char* name : {"p2.raw", "p1.gif", "readme.txt"}) WriteText(picked_ / name, "p");
    model_ = std::make_unique<BuildSetupModel>(
        BuildSetupFolders{targets_, sources_, dir_ / "binary1/drmpack", dir_.path()}, table_, ui_);
  }

  void ShowOneFile() {
    bool completed = false;
    model_->Show({true, true}, completed);
  }

  TempDir dir_;
  fs::path targets_, sources_, picked_;
  ReplacementTable table_;
  test::ScriptedUi ui_;
  std::unique_ptr<BuildSetupModel> model_;
};

TEST_F(ModelTest, OneFileShowingStartsWithoutSource) {
  ShowOneFile();
  EXPECT_EQ(model_->TargetItems(), (std::vector<std::string>{"9.gif", "B.png", "a.bmp", "10.gif"}));
  EXPECT_EQ(model_->TargetSelection(), 0);
  EXPECT_EQ(model_->TargetPreviewPath(), targets_ / "9.gif");
  EXPECT_TRUE(model_->SourceItems().empty());
  EXPECT_TRUE(model_->SourceFolder().empty());
  BuildSetupControls c = model_->Controls();
  EXPECT_FALSE(c.pairEnabled || c.resetEnabled || c.matchSizeEnabled || c.portTableEnabled);
  EXPECT_FALSE(model_->Pair());  // no source selection
}

TEST_F(ModelTest, TwoFileShowingOffersSourceTreeAndPortTable) {
  bool completed = false;
  model_->Show({false, true}, completed);
  EXPECT_EQ(model_->SourceFolder(), sources_);
  EXPECT_EQ(model_->SourceItems(), (std::vector<std::string>{"s1.gif", "s2.png"}));
  EXPECT_EQ(model_->SourcePreviewPath(), sources_ / "s1.gif");
  BuildSetupControls c = model_->Controls();
  EXPECT_TRUE(c.pairEnabled && c.resetEnabled && c.matchSizeEnabled && c.portTableEnabled);
  model_->Show({false, false}, completed);  // conversion off: no port table
  EXPECT_FALSE(model_->Controls().portTableEnabled);
}

TEST_F(ModelTest, ChoosingSourceFolder) {
  ShowOneFile();
  EXPECT_TRUE(model_->SourceFolder().empty());
  EXPECT_EQ(model_->SourceFolderStart(), dir_.path());  // the chooser starts in the program folder
  model_->SetSourceFolder(picked_);
  EXPECT_EQ(model_->SourceFolderStart(), picked_);
  EXPECT_EQ(model_->SourceItems(), (std::vector<std::string>{"p1.gif", "p2.raw"}));
  EXPECT_TRUE(model_->Controls().pairEnabled);
  model_->SelectSource(1);
  model_->SetSourceFolder(picked_);  // the same folder keeps the selection
  EXPECT_EQ(model_->SourceSelection(), 1);
  fs::create_directory(dir_ / "empty");
  model_->SetSourceFolder(dir_ / "empty");
  EXPECT_EQ(model_->SourceSelection(), -1);
  EXPECT_TRUE(model_->SourcePreviewPath().empty());
  EXPECT_FALSE(model_->Pair());
}

TEST_F(ModelTest, PairingTwiceShowsFirstPairing) {
  ShowOneFile();
  model_->SetSourceFolder(picked_);
  model_->SelectTarget(3);  // 10.gif
  model_->SelectSource(0);  // p1.gif
  ASSERT_TRUE(model_->Pair());
  model_->SelectSource(1);  // p2.raw
  ASSERT_TRUE(model_->Pair());
  EXPECT_FALSE(model_->Pair());  // the same pairing again adds nothing
  ASSERT_EQ(table_.Count(), 2u);
  EXPECT_EQ(table_[0].TargetPath, targets_ / "10.gif");
  EXPECT_EQ(table_[0].SourcePath, picked_ / "p1.gif");
  EXPECT_EQ(table_[0].TargetIndex, 3);
  EXPECT_EQ(table_[1].SourceIndex, 1);
  EXPECT_TRUE(model_->Controls().pairingMarkerShown);

  model_->SelectTarget(0);
  EXPECT_FALSE(model_->Controls().pairingMarkerShown);
  EXPECT_EQ(model_->SourcePreviewPath(), picked_ / "p2.raw");  // the source list's selection
  model_->SelectTarget(3);
  EXPECT_TRUE(model_->Controls().pairingMarkerShown);
  EXPECT_EQ(model_->SourcePreviewPath(), picked_ / "p1.gif");  // the first pairing's source
  TRepItem found;
  EXPECT_EQ(FindPairing(table_, 3, &found), 0);
  EXPECT_EQ(found.SourcePath, picked_ / "p1.gif");
  EXPECT_EQ(FindPairing(table_, 2), -1);
}

TEST_F(ModelTest, MatchSizeEditsPairingOrDefault) {
  ShowOneFile();
  model_->SetSourceFolder(picked_);
  model_->SelectTarget(1);
  model_->SetMatchSize(true);  // unpaired icon: the default
  EXPECT_TRUE(model_->DefaultMatchSize());
  ASSERT_TRUE(model_->Pair());
  EXPECT_TRUE(table_[0].MatchSize);
  model_->SetMatchSize(false);  // right after "<=": both the new pairing and the default
  EXPECT_FALSE(table_[0].MatchSize);
  EXPECT_FALSE(model_->DefaultMatchSize());

  model_->SetMatchSize(true);
  model_->SelectTarget(2);  // another, unpaired icon shows the default
  model_->SelectTarget(1);  // back to the paired icon: its own value, the box edits it alone
  EXPECT_FALSE(model_->MatchSizeEditsDefault());
  EXPECT_TRUE(model_->Controls().matchSizeChecked);
  model_->SetMatchSize(false);
  EXPECT_FALSE(table_[0].MatchSize);
  EXPECT_TRUE(model_->DefaultMatchSize());
  model_->SelectTarget(2);
  EXPECT_TRUE(model_->Controls().matchSizeChecked);
  EXPECT_FALSE(table_[0].MatchSize);
}

TEST_F(ModelTest, ResetAndShowingAgain) {
  bool completed = false;
  model_->Show({false, true}, completed);
  model_->SelectTarget(1);
  ASSERT_TRUE(model_->Pair());
  model_->SelectTarget(1);
  model_->Reset();
  EXPECT_TRUE(table_.Empty());
  BuildSetupControls c = model_->Controls();
  EXPECT_FALSE(c.pairingMarkerShown);
  EXPECT_TRUE(c.portTableEnabled);
  EXPECT_FALSE(c.portTableChecked);
  model_->SetMatchSize(true);  // the icon is unpaired now: the click sets the default
  EXPECT_TRUE(model_->DefaultMatchSize());

  // After a Build the lists and selections stay but the pairings go.
  model_->SelectSource(1);
  ASSERT_TRUE(model_->Pair());
  completed = true;
  model_->Show({false, true}, completed);
  EXPECT_FALSE(completed);
  EXPECT_TRUE(table_.Empty());
  EXPECT_EQ(model_->SourceSelection(), 1);
  EXPECT_EQ(model_->TargetSelection(), 1);
  // Any other showing rebuilds the lists.
  model_->Show({false, true}, completed);
  EXPECT_EQ(model_->SourceSelection(), 0);
  EXPECT_EQ(model_->TargetSelection(), 0);
}

TEST_F(ModelTest, FullTableRefusesWithMessage) {
  ShowOneFile();
  model_->SetSourceFolder(picked_);
  TRepItem item{targets_ / "filler.gif", picked_ / "p1.gif", 0, 0, false};  // not the pairing asked for
  for (std::size_t i = 0; i < ReplacementTable::kCapacity; ++i) ASSERT_TRUE(table_.Append(item));
  EXPECT_FALSE(model_->Pair());
  EXPECT_EQ(table_.Count(), ReplacementTable::kCapacity);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "Error");
}

TEST_F(ModelTest, PortTableReactions) {
  bool completed = false;
  model_->Show({false, true}, completed);
  WriteText(dir_ / "good.dpt", "[drm port table]\r\ns2 10 /n\r\ns1 b\r\nnothing 9\r\n");
  WriteText(dir_ / "bad.dpt", " [DRM PORT TABLE]\r\ns1 9\r\n");

  model_->ApplyPortTable(std::nullopt);  // cancel keeps the pairings and clears the box
  EXPECT_FALSE(model_->Controls().portTableChecked);

  ASSERT_TRUE(model_->Pair());
  model_->ApplyPortTable(dir_ / "good.dpt");
  ASSERT_EQ(table_.Count(), 2u);  // the earlier pairing is discarded
  EXPECT_EQ(table_[0].SourcePath, sources_ / "s2.png");
  EXPECT_EQ(table_[0].TargetPath, targets_ / "10.gif");
  EXPECT_FALSE(table_[0].MatchSize);
  EXPECT_EQ(table_[1].TargetPath, targets_ / "B.png");
  EXPECT_TRUE(table_[1].MatchSize);
  EXPECT_EQ(ui_.messages.back().text, "Table applied");
  EXPECT_EQ(ui_.messages.back().caption, "");
  BuildSetupControls c = model_->Controls();
  EXPECT_TRUE(c.portTableChecked);
  EXPECT_FALSE(c.portTableEnabled);

  EXPECT_FALSE(model_->ApplyPortTableFile(dir_ / "bad.dpt"));
  EXPECT_EQ(table_.Count(), 2u);  // not a port table: the pairings stay
  EXPECT_EQ(ui_.messages.back().text, "Invalid port table header");
  EXPECT_EQ(ui_.messages.back().caption, "Error");
  EXPECT_FALSE(model_->Controls().portTableChecked);

  EXPECT_THROW(model_->ApplyPortTableFile(dir_ / "missing.dpt"), Error);
}

}  // namespace
}  // namespace resmill::replacement

namespace resmill::replacement {
namespace {

TEST(DrawPreviewTest, PicturesDevicePicturesAndNoImage) {
  test::TempDir dir;
  fs::path temp = dir / "drmpack";
  fs::create_directories(temp);
  std::vector<std::uint8_t> raw(20 * 10 * 2, 0x5A);
  test::WriteBytes(dir / "p(20x10).raw", raw);
  test::WriteText(dir / "broken.png", "not a picture");

  Preview none = DrawPreview(kTargetPanelRect, {}, false, temp);
  EXPECT_TRUE(none.empty);

  Preview device = DrawPreview(kSourcePanelRect, dir / "p(20x10).raw", false, temp);
  ASSERT_TRUE(device.hasPicture);
  EXPECT_EQ(device.picture, (Rect{428 + 50, 44 + 63, 20, 10}));
  EXPECT_EQ(device.image.argb.size(), 200u);
  EXPECT_TRUE(test::ListFolder(temp).empty());  // temp.png is gone again

  Preview stretched = DrawPreview(kSourcePanelRect, dir / "p(20x10).raw", true, temp);
  EXPECT_EQ(stretched.picture.width, 121);
  EXPECT_EQ(stretched.image.width, 121);

  Preview broken = DrawPreview(kTargetPanelRect, dir / "broken.png", false, temp);
  EXPECT_FALSE(broken.hasPicture);
  EXPECT_TRUE(broken.noImage);
  EXPECT_EQ(broken.blackArea, (Rect{12, 44, 121, 137}));
  EXPECT_DOUBLE_EQ(broken.textX, 8 + 64.5 - 30);
  EXPECT_DOUBLE_EQ(broken.textY, 40 + 72.5 - 5);
  EXPECT_TRUE(DrawPreview(kTargetPanelRect, dir / "missing.k", false, temp).noImage);
}

}  // namespace
}  // namespace resmill::replacement
