// The compile: round trips, table rebuilding, padding, pointer moves, and the
// refusals that keep a damaged image from being written.

#include "drm/compile.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "drm_fixture.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::uint32_t WordAt(const Bytes& b, std::int64_t at) { return GetU32BE(&b[static_cast<std::size_t>(at)]); }

drm::CompileResult Compile(Slot& slot, const fs::path& output, bool convert = false) {
  NullProgress progress;
  return drm::CompileDrm(slot.drmpack, slot.image, output, convert, progress);
}

TEST(CompileDrm, UnchangedCanonicalTreesCompileToTheSameBytes) {
  struct Case {
    const char* name;
    sample::DrmRecipe recipe;
  };
  sample::DrmRecipe shortHeader = SmallRecipe(1, 4, 5);
  shortHeader.longHeader = false;
  sample::DrmRecipe wordZeroV0 = SmallRecipe(0, 0, 3);
  wordZeroV0.headerAtEight = true;
  sample::DrmRecipe headerAtZero = SmallRecipe(1, 2, 2);
  headerAtZero.headerAtEight = false;
  headerAtZero.headerWord = 0x30000011;
  sample::DrmRecipe noPictures = SmallRecipe(1, 0, 0);
  const Case cases[] = {
      {"variant 0", SmallRecipe(0, 0, 7)},
      {"variant 0, header word at 8", wordZeroV0},
      {"variant 1", SmallRecipe(1, 12, 9)},
      {"variant 1, short header", shortHeader},
      {"variant 1, header word at 0", headerAtZero},
      {"variant 1 without pictures", noPictures},
      {"sample variant 0", sample::SampleVariant0Drm()},
  };
  for (const Case& c : cases) {
    Bytes image = sample::BuildDrmImage(c.recipe);
    Slot slot(image);
    slot.Unpack();
    Compile(slot, slot.dir / "new.bin");
    EXPECT_EQ(ReadBytes(slot.dir / "new.bin"), image) << c.name;
  }
}

TEST(CompileDrm, RawTableOffsetsAndPadding) {
  sample::DrmRecipe recipe = SmallRecipe(1, 0, 1);
  recipe.raws = {FakeRaw(2, 1, 1), FakeRaw(1, 1, 2)};  // 6 and 4 bytes
  Slot slot(sample::BuildDrmImage(recipe));
  drm::DrmLayout before = slot.Unpack();
  ASSERT_EQ(fs::file_size(slot.raws / "1(2x1).raw"), 6u);
  Compile(slot, slot.dir / "new.bin");
  Bytes out = ReadBytes(slot.dir / "new.bin");
  const std::int64_t table = before.RawData + 12;  // 10 bytes of pictures and 2 bytes of padding
  EXPECT_EQ(out[static_cast<std::size_t>(before.RawData + 10)], 0);
  EXPECT_EQ(out[static_cast<std::size_t>(before.RawData + 11)], 0);
  EXPECT_EQ(WordAt(out, table + 16 + 12), 0u);  // picture 1
  EXPECT_EQ(WordAt(out, table + 32 + 12), 3u);  // picture 2 after 6 bytes
  EXPECT_EQ(WordAt(out, table + 48 + 12), 5u);  // closing entry: 10 bytes
  EXPECT_EQ(out[static_cast<std::size_t>(table + 16 + 1)], 2);
  EXPECT_EQ(out[static_cast<std::size_t>(table + 16 + 3)], 1);
}

TEST(CompileDrm, GifDataArePaddedTo16AndTheTableClosesWithTheirSize) {
  sample::DrmRecipe recipe = SmallRecipe(0, 0, 2);
  recipe.gifs = {FakeGif(1, 20), FakeGif(2, 13)};
  Slot slot(sample::BuildDrmImage(recipe));
  drm::DrmLayout l = slot.Unpack();
  WriteBytes(slot.icons / "2.gif", FakeGif(2, 13));
  Compile(slot, slot.dir / "new.bin");
  Bytes out = ReadBytes(slot.dir / "new.bin");
  for (int i = 33; i < 48; ++i) EXPECT_EQ(out[static_cast<std::size_t>(l.GifData + i)], 0) << i;
  const std::int64_t table = l.GifData + 48;
  EXPECT_THAT((std::vector<std::uint32_t>{WordAt(out, table), WordAt(out, table + 4), WordAt(out, table + 8),
                                          WordAt(out, table + 12)}),
              ElementsAre(0u, 0u, 20u, 33u));
}

TEST(CompileDrm, PointersMoveWithTheAreasBehindThem) {
  for (int variant : {0, 1}) {
    sample::DrmRecipe recipe = SmallRecipe(variant, variant == 1 ? 3 : 0, 3);
    recipe.gifs = {FakeGif(1, 32), FakeGif(2, 32), FakeGif(3, 32)};
    sample::DrmPlacement p;
    const Bytes image = sample::BuildDrmImage(recipe, &p);
    Slot slot(image);
    drm::DrmLayout l = slot.Unpack();
    const int r = l.RawCount;
    // GIF-table picture 2 grows by 100 bytes: the GIF data grow from 96 to 196 bytes, 208 with padding.
    WriteBytes(slot.icons / fmt::format("{}.gif", r + 2), FakeGif(2, 132));
    if (variant == 1) {
      // RAW picture 1 grows from 2x3 (14 bytes) to 4x4 (34 bytes): 58 -> 78 bytes, 60 -> 80 with padding.
      fs::remove(slot.raws / "1(2x3).raw");
      WriteBytes(slot.raws / "1(4x4).raw", FakeRaw(4, 4, 9).data);
    }
    Compile(slot, slot.dir / "new.bin");
    const Bytes out = ReadBytes(slot.dir / "new.bin");
    Slot again(out);
    drm::DrmLayout n = again.Unpack();
    const std::int64_t rawShift = n.GifData - l.GifData;
    const std::int64_t gifShift = 112;  // 208 - 96
    EXPECT_EQ(n.GifCount, 3);
    EXPECT_EQ(n.RawCount, r);
    EXPECT_EQ(ReadBytes(again.icons / fmt::format("{}.gif", r + 2)).size(), 132u);
    EXPECT_EQ(ReadBytes(again.icons / fmt::format("{}.gif", r + 3)), recipe.gifs[2]);
    for (int k = 0; k < 16; ++k) {
      const std::uint32_t was = WordAt(image, p.dir + 4 * k);
      const std::uint32_t now = WordAt(out, p.dir + 4 * k);
      const std::int64_t q = std::int64_t{was} - static_cast<std::uint32_t>(l.Base);
      std::int64_t expected = was;
      if (was == 0) {
        expected = 0;
      } else if (q > l.GifData) {
        expected = was + rawShift + gifShift;
      } else if (variant == 1 && q > l.RawData) {
        expected = was + rawShift;  // RAW table pointers and a pointer equal to GifData
      }
      EXPECT_EQ(now, static_cast<std::uint32_t>(expected)) << "variant " << variant << " directory entry " << k;
    }
    if (variant == 1) {
      EXPECT_EQ(rawShift, 20);
      EXPECT_EQ(ReadBytes(again.raws / "1(4x4).raw"), FakeRaw(4, 4, 9).data);
      // Pointers of the header pointer table into the area between the tables move with the RAW data.
      for (int k = 0; k < l.HeaderPointerCount; ++k) {
        const std::uint32_t was = WordAt(image, 32 + 4 * k);
        const std::int64_t q = std::int64_t{was} - static_cast<std::uint32_t>(l.Base);
        const std::uint32_t expected = was != 0 && q > l.RawData ? static_cast<std::uint32_t>(was + rawShift) : was;
        EXPECT_EQ(WordAt(out, 32 + 4 * k), expected) << "header pointer " << k;
      }
    }
  }
}

TEST(CompileDrm, RawFilesAreChosenByTheirNumber) {
  Slot slot(sample::BuildDrmImage(SmallRecipe(1, 12, 1)));
  slot.Unpack();
  fs::remove(slot.raws / "1(2x3).raw");                 // picture 1 is gone: 10… 11… 12… must not stand in
  WriteBytes(slot.raws / "3(2x2).RAW", FakeRaw(2, 2, 1).data);  // another case, and a second file for 3
  fs::remove(slot.raws / "3(4x2).raw");
  fs::remove(slot.raws / "4(5x3).raw");
  drm::CompileResult result = Compile(slot, slot.dir / "new.bin");
  EXPECT_THAT(result.skipped, ElementsAre(1, 4));
  Slot again(ReadBytes(slot.dir / "new.bin"));
  again.Unpack();
  EXPECT_TRUE(fs::exists(again.raws / "1(0x0).raw"));
  EXPECT_EQ(fs::file_size(again.raws / "1(0x0).raw"), 0u);
  EXPECT_EQ(ReadBytes(again.raws / "3(2x2).raw"), FakeRaw(2, 2, 1).data);
  EXPECT_TRUE(fs::exists(again.raws / "4(0x0).raw"));
  EXPECT_EQ(ReadBytes(again.raws / "10(1x3).raw"), ReadBytes(slot.raws / "10(1x3).raw"));
}

TEST(CompileDrm, RefusalsWriteNothingAndKeepAnOlderOutput) {
  struct Case {
    const char* name;
    std::function<void(Slot&)> damage;
    const char* message;
  };
  const Case cases[] = {
      {"descr.dat of another DRM",
       [](Slot& s) {
         drm::DrmLayout l = drm::ReadDescrDat(s.drmpack / "descr.dat");
         l.GifCount -= 1;
         l.GifTableEnd -= 4;
         drm::WriteDescrDat(s.drmpack / "descr.dat", l);
       },
       "does not describe"},
      {"missing descr.dat", [](Slot& s) { fs::remove(s.drmpack / "descr.dat"); }, "descr.dat"},
      {"missing GIF-table picture", [](Slot& s) { fs::remove(s.icons / "5.gif"); }, "picture 5 is missing"},
      {"odd RAW length", [](Slot& s) { WriteText(s.raws / "2(3x4).raw", "odd"); }, "even length"},
      {"picture too wide", [](Slot& s) { WriteText(s.raws / "2(300x4).raw", "ab"); }, "255x255"},
      // Sorts before 2(3x4).raw: the picture's size is unknown, and storing it empty would lose it.
      {"RAW file without size tag",
       [](Slot& s) {
         WriteText(s.raws / "2 copy.raw", "ab");
         WriteText(s.raws / "2(3x4).raw", "abcd");
       },
       "2 copy.raw: RAW picture 2 has no size tag"},
      {"damaged image", [](Slot& s) { fs::resize_file(s.image, 40); }, "CG15.bin"},
  };
  for (const Case& c : cases) {
    Slot slot(sample::BuildDrmImage(SmallRecipe(1, 3, 3)));
    slot.Unpack();
    if (std::string(c.name).find("RAW") != std::string::npos || std::string(c.name).find("wide") != std::string::npos) {
      for (const auto& name : ListFolder(slot.raws)) {
        if (name.rfind("2(", 0) == 0) fs::remove(slot.raws / name);
      }
    }
    c.damage(slot);
    WriteText(slot.dir / "new.bin", "older output");
    try {
      Compile(slot, slot.dir / "new.bin");
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.name;
    }
    EXPECT_EQ(ReadText(slot.dir / "new.bin"), "older output") << c.name;
    EXPECT_THAT(ListFolder(slot.dir.path()), ElementsAre("CG15.bin", "drmpack", "new.bin")) << c.name;
  }
}

TEST(CompileDrm, ProgressCaptions) {
  Slot slot(sample::BuildDrmImage(SmallRecipe(1, 1, 3)));
  slot.Unpack();
  ScriptedUi ui;
  drm::CompileDrm(slot.drmpack, slot.image, slot.dir / "new.bin", false, ui);
  EXPECT_THAT(ui.progressCaptions, ElementsAre("Converting and moving RAWs", "Moving gifs"));
  EXPECT_THAT(ui.progressPositions, ElementsAre(25, 50, 75, 100));
  EXPECT_FALSE(ui.progressVisible);
}

}  // namespace
}  // namespace resmill::test

namespace resmill::test {
namespace {

TEST(CompileDrm, WithConversionRawPicturesComeFromThePngCopies) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  sample::DrmRecipe recipe = SmallRecipe(1, 4, 1);
  recipe.raws[1] = {0, 5, {}};  // width 0: no usable PNG copy
  Bytes image = sample::BuildDrmImage(recipe);
  Slot slot(image);
  slot.Unpack(true);
  EXPECT_TRUE(fs::exists(slot.icons / "1.png"));
  // A picture edited with another tool, and one deleted.
  ASSERT_EQ(RunCommand(fmt::format("convert -size 20x10 xc:'#ff0000' -fill '#00ff00' -draw 'rectangle 0,0 4,4' "
                                   "PNG32:'{}'",
                                   (slot.icons / "1.png").string())),
            0);
  fs::remove(slot.icons / "3.png");
  drm::CompileResult result = Compile(slot, slot.dir / "new.bin", true);
  EXPECT_THAT(result.skipped, ElementsAre(2, 3));
  Slot again(ReadBytes(slot.dir / "new.bin"));
  again.Unpack();
  EXPECT_THAT(ListFolder(again.raws), ElementsAre("1(20x10).raw", "2(0x0).raw", "3(0x0).raw", "4(5x3).raw"));
  Bytes raw = ReadBytes(again.raws / "1(20x10).raw");
  ASSERT_EQ(raw.size(), 2u * 200 + 26);
  EXPECT_EQ(GetU32BE(&raw[0]), 0x07E007E0u);   // green in the corner, RGB565
  EXPECT_EQ(GetU32BE(&raw[20]), 0xF800F800u);  // red beside it
  EXPECT_EQ(ReadBytes(again.raws / "4(5x3).raw"), recipe.raws[3].data);
}

}  // namespace
}  // namespace resmill::test

namespace resmill::test {
namespace {

TEST(CompileDrm, WithConversionAPngThatCannotBeUsedStopsTheSave) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& icons)> damage;
    Error::Kind kind;
    const char* message;  // empty: saved, with the picture stored empty
  };
  const Case cases[] = {
      {"not a picture", [](const fs::path& icons) { WriteText(icons / "2.png", "not a picture"); }, Error::Kind::Format,
       "2.png: RAW picture 2 cannot be read as a picture"},
      {"cut short",
       [](const fs::path& icons) {
         Bytes png = ReadBytes(icons / "2.png");
         png.resize(40);
         WriteBytes(icons / "2.png", png);
       },
       Error::Kind::Format, "2.png"},
      {"larger than the RAW table can say",
       [](const fs::path& icons) {
         if (RunCommand(fmt::format("convert -size 300x10 xc:'#ff0000' PNG32:'{}'", (icons / "2.png").string())) != 0) {
           WriteText(icons / "2.png", "convert failed");
         }
       },
       Error::Kind::Limit, "2.png: a 300x10 picture does not fit the DRM"},
      {"missing", [](const fs::path& icons) { fs::remove(icons / "2.png"); }, Error::Kind::Io, ""},
      // The unpack leaves an empty file for a picture of width or height 0.
      {"empty", [](const fs::path& icons) { WriteText(icons / "2.png", ""); }, Error::Kind::Io, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string_view(c.name).starts_with("larger") && !HaveTool("convert")) continue;
    Slot slot(sample::BuildDrmImage(SmallRecipe(1, 3, 2)));
    slot.Unpack(true);
    c.damage(slot.icons);
    WriteText(slot.dir / "new.bin", "older output");
    if (std::string_view(c.message).empty()) {
      drm::CompileResult result = Compile(slot, slot.dir / "new.bin", true);
      EXPECT_THAT(result.skipped, ElementsAre(2));
      Slot again(ReadBytes(slot.dir / "new.bin"));
      again.Unpack();
      EXPECT_EQ(fs::file_size(again.raws / "2(0x0).raw"), 0u);
      continue;
    }
    try {
      Compile(slot, slot.dir / "new.bin", true);
      ADD_FAILURE() << "saved";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
    EXPECT_EQ(ReadText(slot.dir / "new.bin"), "older output");
    EXPECT_THAT(ListFolder(slot.dir.path()), ElementsAre("CG15.bin", "drmpack", "new.bin"));
  }
}

}  // namespace
}  // namespace resmill::test
