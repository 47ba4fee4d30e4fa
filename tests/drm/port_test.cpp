// Port between two unpacked trees.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "drm/port.h"
#include "drm_fixture.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

drm::PortResult Port(Slot& source, Slot& target, bool convert) {
  NullProgress progress;
  return drm::PortDrm(source.drmpack, target.drmpack, convert, progress);
}

sample::DrmRecipe Distinct(int variant, int raws, int gifs, int seed) {
  sample::DrmRecipe recipe = SmallRecipe(variant, raws, gifs);
  for (auto& gif : recipe.gifs) gif.push_back(static_cast<std::uint8_t>(seed));
  for (int i = 0; i < raws; ++i) recipe.raws[static_cast<std::size_t>(i)] = FakeRaw(1 + (i + seed) % 4, 2, seed + i);
  return recipe;
}

TEST(PortDrm, GifTablePicturesGoPositionByPosition) {
  struct Case {
    const char* name;
    int variant, targetRaws, targetGifs, sourceRaws, sourceGifs;
  };
  const Case cases[] = {
      {"target 5 GIFs, source 3", 0, 0, 5, 0, 3},
      {"target 2 GIFs, source 4", 0, 0, 2, 0, 4},
      {"RAW counts 10 and 12: source 13 goes to target 11", 1, 10, 3, 12, 3},
  };
  for (const Case& c : cases) {
    Slot target(sample::BuildDrmImage(Distinct(c.variant, c.targetRaws, c.targetGifs, 1)));
    Slot source(sample::BuildDrmImage(Distinct(c.variant, c.sourceRaws, c.sourceGifs, 2)));
    target.Unpack();
    source.Unpack();
    const auto before = ListFolder(target.icons);
    const drm::PortResult result = Port(source, target, false);
    ASSERT_TRUE(result.compatible) << c.name;
    EXPECT_EQ(result.gifCopied, std::min(c.targetGifs, c.sourceGifs)) << c.name;
    EXPECT_EQ(result.rawCopied, std::min(c.targetRaws, c.sourceRaws)) << c.name;
    EXPECT_EQ(ListFolder(target.icons), before) << c.name;
    const int n = std::min(c.targetGifs, c.sourceGifs);
    for (int k = 1; k <= c.targetGifs; ++k) {
      auto got = ReadBytes(target.icons / fmt::format("{}.gif", c.targetRaws + k));
      auto from = k <= n ? source.icons / fmt::format("{}.gif", c.sourceRaws + k)
                         : target.dir / "unused";
      if (k <= n) {
        EXPECT_EQ(got, ReadBytes(from)) << c.name << " picture " << k;
      } else {
        EXPECT_EQ(got.back(), 1) << c.name << " picture " << k << " keeps the target's";
      }
    }
  }
}

TEST(PortDrm, RawPicturesTakeTheSourceSizeTag) {
  Slot target(sample::BuildDrmImage(Distinct(1, 4, 1, 1)));
  Slot source(sample::BuildDrmImage(Distinct(1, 3, 1, 2)));
  target.Unpack();
  source.Unpack();
  WriteText(target.raws / "2(9x9) copy.raw", "a second file of picture 2");
  ASSERT_TRUE(Port(source, target, false).compatible);
  EXPECT_THAT(ListFolder(target.raws), ElementsAre("1(3x2).raw", "2(4x2).raw", "3(1x2).raw", "4(1x2).raw"));
  EXPECT_EQ(ReadBytes(target.raws / "2(4x2).raw"), ReadBytes(source.raws / "2(4x2).raw"));
}

TEST(PortDrm, BmpPictureReplacesTheTargetGif) {
  sample::DrmRecipe sourceSpec = Distinct(0, 0, 2, 2);
  sourceSpec.gifs[0] = sample::DrawBmp(2, 2, 1);
  Slot target(sample::BuildDrmImage(Distinct(0, 0, 2, 1)));
  Slot source(sample::BuildDrmImage(sourceSpec));
  target.Unpack();
  source.Unpack();
  ASSERT_TRUE(Port(source, target, false).compatible);
  EXPECT_THAT(ListFolder(target.icons), ElementsAre("1.bmp", "2.gif"));
  EXPECT_EQ(ReadBytes(target.icons / "1.bmp"), sourceSpec.gifs[0]);
}

TEST(PortDrm, WithConversionThePngCopiesAreCarried) {
  Slot target(sample::BuildDrmImage(Distinct(1, 3, 1, 1)));
  Slot source(sample::BuildDrmImage(Distinct(1, 2, 1, 2)));
  target.Unpack();
  source.Unpack();
  WriteText(source.icons / "1.png", "png of source picture 1");
  WriteText(source.icons / "2.PNG", "png of source picture 2");
  WriteText(target.icons / "2.png", "png of target picture 2");
  WriteText(target.icons / "3.png", "png of target picture 3");
  ASSERT_TRUE(Port(source, target, true).compatible);
  EXPECT_EQ(ReadText(target.icons / "1.png"), "png of source picture 1");
  EXPECT_EQ(ReadText(target.icons / "2.png"), "png of source picture 2");
  EXPECT_EQ(ReadText(target.icons / "3.png"), "png of target picture 3");
  EXPECT_EQ(ReadBytes(target.icons / "4.gif"), ReadBytes(source.icons / "3.gif"));
}

TEST(PortDrm, IncompatibleVariantsCopyNothing) {
  for (int targetVariant : {0, 1}) {
    Slot target(sample::BuildDrmImage(Distinct(targetVariant, targetVariant ? 2 : 0, 2, 1)));
    Slot source(sample::BuildDrmImage(Distinct(1 - targetVariant, targetVariant ? 0 : 2, 2, 2)));
    target.Unpack();
    source.Unpack();
    const auto before = ReadBytes(target.icons / fmt::format("{}.gif", targetVariant ? 3 : 1));
    ScriptedUi ui;
    EXPECT_FALSE(drm::PortDrm(source.drmpack, target.drmpack, false, ui).compatible);
    EXPECT_EQ(ReadBytes(target.icons / fmt::format("{}.gif", targetVariant ? 3 : 1)), before);
    EXPECT_TRUE(ui.progressCaptions.empty());
  }
}

}  // namespace
}  // namespace resmill::test
