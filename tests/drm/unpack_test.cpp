// Locating the DRM, reading its layout and unpacking it into the tree.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "drm_fixture.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

void PutBE(Bytes& b, std::size_t at, std::uint32_t v) { PutU32BE(v, &b[at]); }
void PutText(Bytes& b, std::size_t at, const char* text) {
  for (std::size_t i = 0; text[i] != 0; ++i) b[at + i] = static_cast<std::uint8_t>(text[i]);
}

bool Find(const Bytes& bytes, std::int32_t& variant) {
  TempDir dir;
  WriteBytes(dir / "x.bin", bytes);
  BinaryFile file(dir / "x.bin", BinaryFile::Mode::Read);
  return drm::FindDrmMarker(file, variant);
}

TEST(FindDrmMarker, MarkerPositionsOrderCaseAndSignature) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::size_t, const char*>> texts;
    std::uint32_t wordAt8;
    std::size_t size;
    bool found;
    int variant;
  };
  const Case cases[] = {
      {"468 wins over 464 and the signature", {{468, "_drm"}, {464, "_drm"}}, 0x10D0001C, 600, true, 0},
      {"456", {{456, "_drm"}}, 0, 600, true, 0},
      {"464 means variant 1", {{464, "_drm"}}, 0, 600, true, 1},
      {"other letter case is no marker", {{468, "_DRM"}}, 0, 600, false, 0},
      {"signature word alone", {}, 0x10D0001C, 600, true, 1},
      {"signature word with another low byte", {}, 0x10D0001D, 600, false, 0},
      {"nothing", {}, 0, 600, false, 0},
      {"too short for 468, marker at 464", {{464, "_drm"}}, 0, 470, true, 1},
      {"too short for every position", {}, 0, 6, false, 0},
  };
  for (const Case& c : cases) {
    Bytes bytes(std::max<std::size_t>(c.size, 12), 0);
    PutBE(bytes, 8, c.wordAt8);
    for (auto [at, text] : c.texts) PutText(bytes, at, text);
    bytes.resize(c.size);
    std::int32_t variant = -1;
    EXPECT_EQ(Find(bytes, variant), c.found) << c.name;
    EXPECT_EQ(variant, c.variant) << c.name;
  }
}

TEST(ReadDrmLayout, EveryHeaderFormReadsBackWhatWasBuilt) {
  struct Case {
    int variant;
    bool atEight;
    bool longHeader;
    std::uint32_t headerWord;
    int headerPointers;
  };
  const Case cases[] = {
      {1, true, true, 0x10D0001C, 35},   // S = 52, check slot 36
      {1, true, false, 0x10D0001C, 30},  // check slot elsewhere: S = 44
      {1, false, true, 0x20000000, 35},  // header word at 0, check slot 28
      {1, false, false, 0x200000FF, 30},
      {0, true, false, 0x10B00040, 0},   // S = 56
      {0, false, false, 0x10B00040, 0},  // S = 44
  };
  for (const Case& c : cases) {
    sample::DrmRecipe recipe = SmallRecipe(c.variant, c.variant == 1 ? 3 : 0, 4);
    recipe.headerAtEight = c.atEight;
    recipe.longHeader = c.longHeader;
    recipe.headerWord = c.headerWord;
    recipe.markerOffset = c.variant == 1 ? 464 : 456;
    sample::DrmPlacement p;
    Slot slot(sample::BuildDrmImage(recipe, &p));
    drm::DrmLayout l = slot.Unpack();
    std::string name = fmt::format("variant {} at8 {} long {}", c.variant, c.atEight, c.longHeader);
    EXPECT_EQ(l.DrmVariant, c.variant) << name;
    EXPECT_EQ(static_cast<std::uint32_t>(l.Base), c.headerWord & 0xFFFFFF00u) << name;
    EXPECT_EQ(l.HeaderPointerCount, c.headerPointers) << name;
    EXPECT_EQ(l.Dir, p.dir) << name;
    EXPECT_EQ(l.GifData, p.gifData) << name;
    EXPECT_EQ(l.GifTable, p.gifTable) << name;
    EXPECT_EQ(l.GifTableEnd, p.gifTableEnd) << name;
    EXPECT_EQ(l.GifCount, 4) << name;
    EXPECT_EQ(l.RawCount, c.variant == 1 ? 3 : 0) << name;
    if (c.variant == 1) {
      EXPECT_EQ(l.RawData, p.rawData) << name;
      EXPECT_EQ(l.RawTable, p.rawTable) << name;
      EXPECT_EQ(l.RawTableEnd, p.rawTableEnd) << name;
    }
  }
}

TEST(UnpackDrm, Variant1WritesNumberedPicturesAndDescription) {
  sample::DrmRecipe recipe = SmallRecipe(1, 3, 2);
  recipe.raws[1] = FakeRaw(176, 20, 5);
  Slot slot(sample::BuildDrmImage(recipe));
  slot.Unpack();
  EXPECT_THAT(ListFolder(slot.raws), ElementsAre("1(2x3).raw", "2(176x20).raw", "3(4x2).raw"));
  EXPECT_THAT(ListFolder(slot.icons), ElementsAre("4.gif", "5.gif"));
  EXPECT_EQ(ReadBytes(slot.raws / "2(176x20).raw"), recipe.raws[1].data);
  EXPECT_EQ(ReadBytes(slot.icons / "5.gif"), recipe.gifs[1]);
  EXPECT_EQ(fs::file_size(slot.drmpack / "descr.dat"), 60u);
}

TEST(UnpackDrm, Variant0HasNoRawsFolderAndNumbersFromOne) {
  Slot slot(sample::BuildDrmImage(SmallRecipe(0, 0, 3)));
  slot.Unpack();
  EXPECT_FALSE(fs::exists(slot.raws));
  EXPECT_THAT(ListFolder(slot.icons), ElementsAre("1.gif", "2.gif", "3.gif"));
  EXPECT_EQ(fs::file_size(slot.drmpack / "descr.dat"), 36u);
  drm::DrmLayout l = drm::ReadDescrDat(slot.drmpack / "descr.dat");
  EXPECT_EQ(l.GifCount, 3);
  EXPECT_EQ(l.RawCount, 0);
}

TEST(UnpackDrm, EdgePicturesOfTheTables) {
  sample::DrmRecipe recipe = SmallRecipe(1, 3, 4);
  recipe.raws[1] = {0, 96, {}};               // width 0, no data
  recipe.gifs[1] = {};                        // empty GIF-table picture
  recipe.gifs[2] = sample::DrawBmp(3, 2, 1);  // a BMP in the GIF table
  recipe.gifs[3] = {'B'};                     // one byte "B": too short to be a BMP
  sample::DrmPlacement p;
  Bytes image = sample::BuildDrmImage(recipe, &p);
  // Picture 1 starts at entry 0 whatever entry 1 holds.
  PutBE(image, static_cast<std::size_t>(p.gifTable + 4), 0x00000007);
  Slot slot(image);
  WriteText(slot.icons / "6.bmp", "older picture");  // replaced, not an error
  WriteText(slot.icons / "6.gif", "stale");          // would shadow the BMP in the compile
  slot.Unpack();
  EXPECT_THAT(ListFolder(slot.raws), ElementsAre("1(2x3).raw", "2(0x96).raw", "3(4x2).raw"));
  EXPECT_EQ(fs::file_size(slot.raws / "2(0x96).raw"), 0u);
  EXPECT_THAT(ListFolder(slot.icons), ElementsAre("4.gif", "5.gif", "6.bmp", "7.gif"));
  EXPECT_EQ(ReadBytes(slot.icons / "4.gif"), recipe.gifs[0]);
  EXPECT_EQ(fs::file_size(slot.icons / "5.gif"), 0u);
  EXPECT_EQ(ReadBytes(slot.icons / "6.bmp"), recipe.gifs[2]);
}

TEST(UnpackDrm, LongPicturesAreCopiedWhole) {
  // Pictures longer than what the unpack holds in memory at once are copied in
  // blocks, with and without conversion; the files are the same.
  sample::DrmRecipe recipe = SmallRecipe(1, 2, 3);
  Bytes animation(300000);
  for (std::size_t i = 0; i < animation.size(); ++i) animation[i] = static_cast<std::uint8_t>(i * 31 + i / 977);
  PutText(animation, 0, "GIF89a");
  recipe.gifs[1] = animation;
  Bytes bmp = sample::DrawBmp(300, 300, 4);  // 270 kB
  ASSERT_GT(bmp.size(), 262144u);
  recipe.gifs[2] = bmp;
  for (bool convert : {false, true}) {
    Slot slot(sample::BuildDrmImage(recipe));
    slot.Unpack(convert);
    EXPECT_EQ(ReadBytes(slot.icons / "4.gif"), animation) << convert;
    EXPECT_EQ(ReadBytes(slot.icons / "5.bmp"), bmp) << convert;
    EXPECT_EQ(ReadBytes(slot.icons / "3.gif"), recipe.gifs[0]) << convert;
  }
}

TEST(UnpackDrm, RawNamesOverwriteCaseVariantsFromAnEarlierUnpack) {
  Slot slot(sample::BuildDrmImage(SmallRecipe(1, 1, 1)));
  fs::create_directories(slot.raws);
  WriteText(slot.raws / "1(2X3).RAW", "old");
  WriteText(slot.icons / "2.GIF", "old");
  slot.Unpack();
  EXPECT_THAT(ListFolder(slot.raws), ElementsAre("1(2X3).RAW"));
  EXPECT_THAT(ListFolder(slot.icons), ElementsAre("2.GIF"));
  EXPECT_NE(ReadText(slot.icons / "2.GIF"), "old");
}

TEST(UnpackDrm, ReportsProgressPerTable) {
  Slot slot(sample::BuildDrmImage(SmallRecipe(1, 2, 4)));
  ScriptedUi ui;
  drm::UnpackDrm(slot.image, slot.drmpack, false, ui);
  EXPECT_THAT(ui.progressCaptions, ElementsAre("Extracting RAWs", "Extracting GIFs"));
  EXPECT_THAT(ui.progressPositions, ElementsAre(50, 100, 25, 50, 75, 100));
  EXPECT_FALSE(ui.progressVisible);
}

/// Damaged layouts: each is refused naming the value, and nothing is written.
TEST(UnpackDrm, DamagedLayoutsAreRefusedBeforeAnythingIsWritten) {
  sample::DrmPlacement p;
  const Bytes good = sample::BuildDrmImage(SmallRecipe(1, 3, 3), &p);
  const std::uint32_t base = 0x10D00000;
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    const char* message;
  };
  const Case cases[] = {
      {"GIF descriptor pointer below Base", [&](Bytes& b) { PutBE(b, p.slotS, base - 4); }, "below Base"},
      {"directory pointer beyond the image",
       [&](Bytes& b) { PutBE(b, p.slotS - 4, base + static_cast<std::uint32_t>(b.size()) + 16); },
       "beyond the end"},
      {"GIF table end before its start (negative count)",
       [&](Bytes& b) { PutBE(b, p.dir + 4, base + static_cast<std::uint32_t>(p.gifTable) - 4); }, "too short"},
      {"GIF table of 70,000 entries",
       [&](Bytes& b) {
         b.resize(static_cast<std::size_t>(p.gifTable) + 70000 * 4, 0);
         PutBE(b, p.dir + 4, base + static_cast<std::uint32_t>(b.size()));
       },
       "more than 65534"},
      {"RAW table of 9,000 entries",
       [&](Bytes& b) {
         b.resize(static_cast<std::size_t>(p.rawTable) + 9000 * 16 + 64, 0);
         PutBE(b, p.slotS + 4, base + static_cast<std::uint32_t>(p.rawTable + 9000 * 16));
       },
       "more than 8191"},
      {"RAW table end before the table", [&](Bytes& b) { PutBE(b, p.slotS + 4, base + static_cast<std::uint32_t>(p.rawTable)); },
       "too short"},
      {"GIF entry going backwards", [&](Bytes& b) { PutBE(b, p.gifTable + 12, 1); }, "goes back"},
      {"GIF picture beyond the image", [&](Bytes& b) { PutBE(b, p.gifTable + 16, 0x00FFFFFF); }, "beyond the end"},
      {"RAW entry going backwards", [&](Bytes& b) { PutBE(b, p.rawTable + 3 * 16 + 12, 0); }, "goes back"},
      {"RAW picture beyond the image",
       [&](Bytes& b) { PutBE(b, p.rawTable + 4 * 16 + 12, 0x00FFFFFF); }, "beyond the end"},
      {"truncated header", [&](Bytes& b) { b.resize(10); }, "too few"},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    c.damage(bytes);
    Slot slot(bytes);
    try {
      slot.Unpack();
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.name;
      EXPECT_THAT(e.what(), HasSubstr("CG15.bin")) << c.name;
    }
    EXPECT_THAT(ListFolder(slot.drmpack), ElementsAre("icons")) << c.name;
    EXPECT_TRUE(ListFolder(slot.icons).empty()) << c.name;
  }
}

TEST(DescrDat, RoundTripAndDamagedFilesAreRefused) {
  drm::DrmLayout l{1, 0x10D00000, 0x200, 16, 0x900, 3, 0x940, 0x954, 35, 0x400, 2, 0x420, 0x460};
  TempDir dir;
  drm::WriteDescrDat(dir / "descr.dat", l);
  Bytes bytes = ReadBytes(dir / "descr.dat");
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(GetU32LE(&bytes[24]), 0x40u);  // GifTable - GifData
  EXPECT_EQ(GetU32LE(&bytes[48]), 0x20u);  // RawTable - RawData
  EXPECT_EQ(drm::ReadDescrDat(dir / "descr.dat"), l);

  struct Case {
    const char* name;
    std::size_t at;
    std::uint32_t value;
    std::size_t size;
  };
  const Case cases[] = {
      {"short file", 0, 1, 40},         {"variant 2", 0, 2, 60},          {"variant 0 with 60 bytes", 0, 0, 60},
      {"negative GIF count", 20, 0xFFFFFFFF, 60}, {"too many RAWs", 44, 8192, 60}, {"header pointer count", 36, 31, 60},
      {"GIF offset mismatch", 24, 0x41, 60},
  };
  for (const Case& c : cases) {
    Bytes damaged = bytes;
    PutU32LE(c.value, &damaged[c.at]);
    damaged.resize(c.size);
    WriteBytes(dir / "bad.dat", damaged);
    EXPECT_THROW(drm::ReadDescrDat(dir / "bad.dat"), Error) << c.name;
  }
}

}  // namespace
}  // namespace resmill::test

namespace resmill::test {
namespace {

TEST(UnpackDrm, SamplePicturesAreRealPicturesForOrdinaryTools) {
  if (!HaveTool("identify")) GTEST_SKIP() << "ImageMagick is not installed";
  Slot slot(sample::BuildDrmImage(sample::SampleDrm()));
  slot.Unpack();
  std::string out;
  // Picture 15 is an animation of 4 frames, 20 (the BMP) a 20x20 picture.
  ASSERT_EQ(RunCommand("identify -format '%m %wx%h\\n' '" + (slot.icons / "15.gif").string() + "'", &out), 0) << out;
  EXPECT_EQ(out, "GIF 32x32\nGIF 32x32\nGIF 32x32\nGIF 32x32\n");
  ASSERT_EQ(RunCommand("identify -format '%m %wx%h' '" + (slot.icons / "20.bmp").string() + "'", &out), 0) << out;
  EXPECT_THAT(out, ::testing::MatchesRegex("BMP[0-9]? 20x20"));
}

}  // namespace
}  // namespace resmill::test
