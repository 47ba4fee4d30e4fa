#include "skin/skin_unpack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "skin/conv_list.h"
#include "skin_fixtures.h"
#include "test_support.h"

namespace resmill::skin {
namespace {

namespace fs = std::filesystem;
using image::PictureKind;
using resmill::test::ListFolder;
using resmill::test::ReadBytes;
using resmill::test::ScriptedUi;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using test::Bytes;
using test::BuildSkin;
using test::FakeConverter;
using ::testing::ElementsAre;

struct Unpacked {
  UnpackResult result;
  ScriptedUi ui;
};

UnpackResult Unpack(const TempDir& dir, const Bytes& skin, bool convert, FakeConverter& converter, ScriptedUi& ui) {
  WriteBytes(dir / "x.ezx", skin);
  return UnpackSkin(dir / "x.ezx", dir / "drmpack", convert, converter, ui);
}

TEST(UnpackSkin, WritesEachNamedPictureUnchangedAndSkipsEmptyNames) {
  TempDir dir;
  FakeConverter converter;
  ScriptedUi ui;
  const Bytes k18 = test::KPicture(18, 40, 0x11), g = test::GPicture(7, 0x22);
  UnpackResult r = Unpack(dir, BuildSkin({{"a.k", k18}, {"", Bytes(5, 9)}, {"logo.g", g}}), false, converter, ui);
  EXPECT_EQ(r.entries, 3u);
  EXPECT_EQ(r.pictures, 2u);
  EXPECT_EQ(r.converted, 0u);
  EXPECT_THAT(ListFolder(dir / "drmpack/raws"), ElementsAre("a.k", "logo.g"));
  EXPECT_EQ(ReadBytes(dir / "drmpack/raws/a.k"), k18);
  EXPECT_EQ(ReadBytes(dir / "drmpack/raws/logo.g"), g);
  EXPECT_TRUE(ListFolder(dir / "drmpack/icons").empty());  // a target skin is never converted
  EXPECT_THAT(ui.progressCaptions, ElementsAre("Extracting icons"));
  EXPECT_THAT(ui.progressPositions, ElementsAre(0, 100));  // the empty name takes no step
  EXPECT_FALSE(ui.progressVisible);
}

TEST(UnpackSkin, ProgressRunsOverTheEntries) {
  struct Case { std::size_t entries; std::vector<int> positions; };
  const Case cases[] = {{1, {100}}, {3, {0, 50, 100}}, {5, {0, 25, 50, 75, 100}}, {0, {}}};
  for (const Case& c : cases) {
    TempDir dir;
    FakeConverter converter;
    ScriptedUi ui;
    std::vector<test::RawEntry> entries;
    for (std::size_t i = 0; i < c.entries; ++i) entries.push_back({"p" + std::to_string(i) + ".g", Bytes(3, 1)});
    Unpack(dir, BuildSkin(entries), false, converter, ui);
    EXPECT_EQ(ui.progressPositions, c.positions) << c.entries;
  }
}

TEST(UnpackSkin, TwoEntriesOfOneNameLeaveTheLaterOne) {
  TempDir dir;
  FakeConverter converter;
  ScriptedUi ui;
  Unpack(dir, BuildSkin({{"a.k", Bytes(4, 1)}, {"a.k", Bytes(6, 2)}}), false, converter, ui);
  EXPECT_THAT(ListFolder(dir / "drmpack/raws"), ElementsAre("a.k"));
  EXPECT_EQ(ReadBytes(dir / "drmpack/raws/a.k"), Bytes(6, 2));
}

TEST(UnpackSkin, ADamagedSkinWritesNothing) {
  // The second entry's picture runs beyond the file: refused before the first is written.
  Bytes skin = BuildSkin({{"a.k", Bytes(4, 1)}, {"b.k", Bytes(6, 2)}});
  skin.resize(skin.size() - 1);
  Bytes unsafe = BuildSkin({{"a.k", Bytes(4, 1)}, {"../escape.k", Bytes(6, 2)}});
  for (const Bytes& bytes : {skin, unsafe}) {
    TempDir dir;
    FakeConverter converter;
    ScriptedUi ui;
    EXPECT_THROW(Unpack(dir, bytes, true, converter, ui), Error);
    EXPECT_FALSE(fs::exists(dir / "drmpack/raws/a.k"));
    EXPECT_FALSE(fs::exists(dir / "escape.k"));
    EXPECT_FALSE(fs::exists(dir / "drmpack/icons/conv.dat"));
    EXPECT_FALSE(ui.progressVisible);
  }
}

TEST(UnpackSkin, AMissingSkinIsAnIoErrorNamingIt) {
  TempDir dir;
  FakeConverter converter;
  ScriptedUi ui;
  try {
    UnpackSkin(dir / "none.ezx", dir / "drmpack", false, converter, ui);
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Io);
    EXPECT_THAT(e.what(), ::testing::HasSubstr("none.ezx"));
  }
}

TEST(UnpackSkin, ConversionWritesOrdinaryPicturesAndTheirList) {
  TempDir dir;
  FakeConverter converter;
  ScriptedUi ui;
  Bytes skin = BuildSkin({{"x.k", test::KPicture(18, 8, 1)},
                          {"y.k", test::KPicture(32, 8, 2)},
                          {"", Bytes(2, 0)},
                          {"logo.g", test::GPicture(3, 3)},
                          {"notes.txt", Bytes(4, 4)}});  // no picture: no record
  UnpackResult r = Unpack(dir, skin, true, converter, ui);
  EXPECT_EQ(r.pictures, 4u);
  EXPECT_EQ(r.converted, 3u);
  EXPECT_THAT(ListFolder(dir / "drmpack/icons"), ElementsAre("conv.dat", "logo.gif", "x.gif", "y.gif"));
  EXPECT_EQ(ReadConvList(dir / "drmpack/icons/conv.dat"),
            (std::vector<TConvRec>{{"x.k", "x.gif", PictureKind::K18},
                                   {"y.k", "y.gif", PictureKind::K32},
                                   {"logo.g", "logo.gif", PictureKind::G}}));
}

TEST(UnpackSkin, PicturesConvertedToOneFileKeepOnlyTheLatersRecord) {
  TempDir dir;
  FakeConverter converter;
  ScriptedUi ui;
  Unpack(dir, BuildSkin({{"x.k", test::KPicture(32, 2, 1)}, {"x.g", test::GPicture(2, 2)}, {"x.k", test::KPicture(18, 2, 3)}}),
         true, converter, ui);
  // x.gif holds the last conversion (the second x.k, an 18-bit picture); its record alone says so.
  EXPECT_EQ(ReadConvList(dir / "drmpack/icons/conv.dat"),
            (std::vector<TConvRec>{{"x.k", "x.gif", PictureKind::K18}}));
  EXPECT_EQ(ReadBytes(dir / "drmpack/icons/x.gif")[3], static_cast<std::uint8_t>(PictureKind::K18));
}

TEST(ReplaceNameExtension, FromTheLastDot) {
  struct Case { const char* name; const char* out; };
  const Case cases[] = {{"x.k", "x.gif"}, {"a.b.K", "a.b.gif"}, {"noext", "noext.gif"}, {".k", ".gif"}};
  for (const Case& c : cases) EXPECT_EQ(ReplaceNameExtension(c.name, ".gif"), c.out) << c.name;
}

}  // namespace
}  // namespace resmill::skin
