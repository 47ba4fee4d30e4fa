#include "skin/skin_pack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "skin/conv_list.h"
#include "skin/skin_format.h"
#include "skin/skin_unpack.h"
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
using ::testing::HasSubstr;

struct Packing {
  TempDir dir;
  FakeConverter converter;
  ScriptedUi ui;
  std::vector<std::string> missing;
  fs::path F() const { return dir / "drmpack"; }
  fs::path Out() const { return dir / "out.ezx"; }
  void Raw(const std::string& name, const Bytes& bytes) {
    fs::create_directories(F() / "raws");
    WriteBytes(F() / "raws" / name, bytes);
  }
  void Icon(const std::string& name, const Bytes& bytes) {
    fs::create_directories(F() / "icons");
    WriteBytes(F() / "icons" / name, bytes);
  }
  PackResult Pack(bool convert = false) {
    return PackSkin(F(), Out(), convert, converter, ui, [&](std::string_view name) { missing.emplace_back(name); });
  }
};

TEST(PackSkin, TwoPicturesGiveTheHandComputedSkin) {
  Packing p;
  p.Raw("a.k", Bytes(10, 0xAA));
  p.Raw("bb.g", Bytes(20, 0xBB));
  PackResult r = p.Pack();
  EXPECT_TRUE(r.written);
  EXPECT_EQ(r.directoryOffset, 64u);  // 55 + "a.k\n" + "bb.g\n" = 64: no padding

  Bytes expected;
  std::string header = "vezodaro\n\nv1.00\n00000040\n\nComment: skinlook\nID table:\n\na.k\nbb.g\n";
  expected.assign(header.begin(), header.end());
  for (std::uint32_t v : {0xABCDDCBAu, 55u, 2u, 84u, 108u}) test::AppendU32(expected, v);
  for (std::uint32_t v : {SkinNameHash("a.k"), 0u, 0u, SkinNameHash("bb.g"), 4u, 18u}) test::AppendU32(expected, v);
  for (auto [length, fill] : {std::pair{10u, 0xAA}, std::pair{20u, 0xBB}}) {
    test::AppendU32(expected, 0xDCBAABCDu);
    test::AppendU32(expected, length);
    expected.insert(expected.end(), length, static_cast<std::uint8_t>(fill));
  }
  Bytes written = ReadBytes(p.Out());
  EXPECT_EQ(written, expected);
  EXPECT_EQ(written.size() - 108, 46u);  // the data area
  EXPECT_EQ(r.size, static_cast<std::int64_t>(written.size()));
  EXPECT_EQ(written, BuildSkin({{"a.k", Bytes(10, 0xAA)}, {"bb.g", Bytes(20, 0xBB)}}));
  EXPECT_THAT(p.ui.progressCaptions, ElementsAre("Searching for files", "Retrieving skin structure", "Packing icons"));
  EXPECT_FALSE(p.ui.progressVisible);
}

TEST(PackSkin, NamesArePaddedWithZerosToAMultipleOfFour) {
  struct Case { std::vector<std::string> names; std::uint32_t directory; };
  const Case cases[] = {{{"a.k"}, 60}, {{"ab.k"}, 60}, {{"abcd.k"}, 64}, {{"a.k", "b.g", "c.k"}, 68}};
  for (const Case& c : cases) {
    Packing p;
    for (const std::string& name : c.names) p.Raw(name, Bytes(1, 7));
    PackResult r = p.Pack();
    EXPECT_EQ(r.directoryOffset, c.directory) << c.names[0];
    Bytes skin = ReadBytes(p.Out());
    std::size_t namesEnd = 55;
    for (const std::string& name : c.names) namesEnd += name.size() + 1;
    EXPECT_EQ(skin[namesEnd - 1], '\n');
    for (std::size_t at = namesEnd; at < c.directory; ++at) EXPECT_EQ(skin[at], 0) << at;
  }
}

TEST(PackSkin, TakesOneNameFromEachSearchInTurn) {
  struct Case { std::vector<std::string> files; std::vector<std::string> order; };
  const Case cases[] = {
      {{"c.k", "a.k", "b.k", "x.g"}, {"a.k", "x.g", "b.k", "c.k"}},
      {{"y.g", "x.g", "a.k"}, {"a.k", "x.g", "y.g"}},
      {{"B.k", "a.k", "c.K", "D.G", "e.g"}, {"a.k", "D.G", "B.k", "e.g", "c.K"}},  // sorted case-blind
      {{"pic.gif", "pic.g", "pic.k", "pic.kk", "k"}, {"pic.k", "pic.g"}},          // only *.k and *.g
  };
  for (const Case& c : cases) {
    Packing p;
    for (const std::string& name : c.files) p.Raw(name, Bytes(name.begin(), name.end()));
    p.Pack();
    Bytes skin = ReadBytes(p.Out());
    EXPECT_EQ(test::NamesOf(skin), c.order) << c.files[0];
    for (const auto& [name, bytes] : test::PicturesOf(skin)) EXPECT_EQ(bytes, Bytes(name.begin(), name.end()));
  }
}

TEST(PackSkin, NoPictureWritesNoFile) {
  for (bool convert : {false, true}) {
    Packing p;
    fs::create_directories(p.F() / "icons");
    p.Raw("readme.txt", Bytes(3, 1));
    WriteBytes(p.Out(), Bytes{1, 2, 3});  // an older file of that name stays as it was
    PackResult r = p.Pack(convert);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(ReadBytes(p.Out()), (Bytes{1, 2, 3}));
    EXPECT_THAT(ListFolder(p.dir.path()), ElementsAre("drmpack", "out.ezx"));
  }
}

TEST(PackSkin, RefusesWhatASkinCannotHoldAndLeavesNoFile) {
  struct Case { const char* what; std::function<void(Packing&)> setup; bool convert; Error::Kind kind; const char* message; };
  const Case cases[] = {
      {"picture over 1 MiB", [](Packing& p) { p.Raw("big.k", Bytes((1u << 20) + 1, 0)); }, false,
       Error::Kind::Limit, "big.k: 1048577 bytes"},
      {"name with a line feed", [](Packing& p) { p.Raw("two\nlines.k", Bytes(2, 0)); }, false, Error::Kind::Format,
       "the name holds a line feed"},
      {"name holding ..", [](Packing& p) { p.Raw("x..k", Bytes(2, 0)); }, false, Error::Kind::Format,
       "the name holds \"..\""},
      {"listed name over 255 bytes",
       [](Packing& p) {
         p.Icon("long.gif", Bytes(3, 0));
         WriteConvList(p.F() / "icons/conv.dat", {{std::string(256, 'n') + ".k", "long.gif", PictureKind::K18}});
       },
       true, Error::Kind::Limit, "name of 258 bytes"},
      {"listed name with a folder",
       [](Packing& p) {
         p.Icon("a.gif", Bytes(3, 0));
         WriteConvList(p.F() / "icons/conv.dat", {{"../../a.k", "a.gif", PictureKind::K18}});
       },
       true, Error::Kind::Format, "conv.dat: \"a.gif\" is listed as picture \"../../a.k\""},
      {"damaged list",
       [](Packing& p) {
         p.Icon("a.gif", Bytes(3, 0));
         WriteBytes(p.F() / "icons/conv.dat", Bytes{1, 0, 0, 0, 9});
       },
       true, Error::Kind::Format, "conv.dat: offset 0x000004"},
  };
  for (const Case& c : cases) {
    Packing p;
    p.Raw("fine.k", Bytes(4, 1));
    c.setup(p);
    try {
      p.Pack(c.convert);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.what << ": " << e.what();
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.what;
    }
    EXPECT_THAT(ListFolder(p.dir.path()), ElementsAre("drmpack")) << c.what;
    EXPECT_FALSE(p.ui.progressVisible) << c.what;
  }
}

TEST(PackSkin, APictureThatCannotBeConvertedIsReportedAndNoSkinIsLeft) {
  for (bool throws : {false, true}) {
    Packing p;
    p.Raw("a.k", Bytes(4, 1));
    p.Icon("bad.bmp", Bytes(3, 0));
    p.Icon("good.png", Bytes(3, 0));
    (throws ? p.converter.throwOn : p.converter.failOn) = "bad.bmp";
    WriteBytes(p.Out(), Bytes{9});
    try {
      p.Pack(true);
      ADD_FAILURE();
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("bad.bmp")) << throws;
    }
    EXPECT_THAT(p.missing, ElementsAre("bad.bmp"));
    EXPECT_EQ(ReadBytes(p.Out()), Bytes{9});
    EXPECT_THAT(ListFolder(p.dir.path()), ElementsAre("drmpack", "out.ezx"));
    EXPECT_TRUE(ListFolder(p.F() / "conv").empty()) << "converted files are cleaned up";
  }
}

TEST(PackSkin, ConvertedPicturesTakeTheirKindAndNameFromTheListElseTheExtension) {
  Packing p;
  p.Raw("x.k", Bytes{'o', 'l', 'd'});        // replaced by the edited x.gif
  p.Raw("keep.g", Bytes{'k', 'e', 'e', 'p'});  // no ordinary picture: stays
  p.Raw("odd.k", Bytes{'o', 'd', 'd'});      // listed with a kind that is no skin picture: stays
  p.Icon("x.gif", Bytes{'O', 'R', 'D', 2, 'x', '3', '2'});
  p.Icon("logo.png", Bytes{'O', 'R', 'D', 3, 'p', 'n', 'g'});
  p.Icon("new.bmp", Bytes{'b', 'm', 'p'});   // unlisted BMP: an 18-bit K picture
  p.Icon("new2.gif", Bytes{'g', 'i', 'f'});  // unlisted GIF: a G picture
  p.Icon("odd.gif", Bytes{'?'});
  WriteConvList(p.F() / "icons/conv.dat", {{"x.k", "x.gif", PictureKind::K32},
                                           {"logo.g", "logo.png", PictureKind::G},
                                           {"odd.k", "odd.gif", PictureKind::Other}});
  PackResult r = p.Pack(true);
  ASSERT_TRUE(r.written);
  Bytes skin = ReadBytes(p.Out());
  // The device pictures first (*.k, *.g in turn), converted ones replace in place or follow.
  EXPECT_THAT(test::NamesOf(skin), ElementsAre("odd.k", "keep.g", "x.k", "new.k", "new2.g", "logo.g"));
  auto pictures = test::PicturesOf(skin);
  EXPECT_EQ(pictures["x.k"], (Bytes{'x', '3', '2'}));
  EXPECT_EQ(pictures["keep.g"], (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(pictures["odd.k"], (Bytes{'o', 'd', 'd'}));
  EXPECT_EQ(pictures["logo.g"], (Bytes{'p', 'n', 'g'}));
  EXPECT_EQ(pictures["new.k"], (Bytes{'N', 'E', 'W', 1}));
  EXPECT_EQ(pictures["new2.g"], (Bytes{'N', 'E', 'W', 3}));

  std::vector<std::string> kinds;
  for (const auto& call : p.converter.toDevice) {
    kinds.push_back(call.source + ">" + call.target + ":" + std::to_string(static_cast<int>(call.kind)));
  }
  EXPECT_THAT(kinds, ElementsAre("new.bmp>new.k:1", "new2.gif>new2.g:3", "logo.png>logo.g:3", "x.gif>x.k:2"));
  EXPECT_TRUE(fs::is_directory(p.F() / "conv"));
  EXPECT_TRUE(ListFolder(p.F() / "conv").empty());
  EXPECT_TRUE(p.missing.empty());
}

TEST(PackSkin, WithoutConversionOrdinaryPicturesAreIgnored) {
  Packing p;
  p.Raw("x.k", Bytes{'o', 'l', 'd'});
  p.Icon("x.gif", Bytes{'O', 'R', 'D', 2, 'n', 'e', 'w'});
  p.Pack(false);
  EXPECT_EQ(test::PicturesOf(ReadBytes(p.Out()))["x.k"], (Bytes{'o', 'l', 'd'}));
  EXPECT_TRUE(p.converter.toDevice.empty());
  EXPECT_FALSE(fs::exists(p.F() / "conv"));
}

// The whole road: a skin unpacked and packed again without changes.
TEST(SkinRoundTrip, OpenedAndSavedUnchangedGivesTheSamePictures) {
  const std::vector<test::RawEntry> entries = {{"status.k", test::KPicture(18, 64, 0x12)},
                                               {"wall.k", test::KPicture(32, 96, 0x34)},
                                               {"", Bytes(3, 0)},
                                               {"anim.g", test::GPicture(50, 0x56)},
                                               {"back.K", test::KPicture(32, 8, 0x78)}};
  const Bytes original = BuildSkin(entries);
  for (bool convert : {false, true}) {
    TempDir dir;
    FakeConverter converter;
    ScriptedUi ui;
    WriteBytes(dir / "in.ezx", original);
    UnpackSkin(dir / "in.ezx", dir / "drmpack", convert, converter, ui);
    PackResult r = PackSkin(dir / "drmpack", dir / "out.ezx", convert, converter, ui);
    ASSERT_TRUE(r.written);
    Bytes packed = ReadBytes(dir / "out.ezx");
    auto want = test::PicturesOf(original);
    want.erase("");
    EXPECT_EQ(test::PicturesOf(packed), want) << convert;
    if (convert) {
      std::vector<PictureKind> kinds;
      for (const auto& call : converter.toDevice) kinds.push_back(call.kind);
      EXPECT_THAT(kinds, ::testing::UnorderedElementsAre(PictureKind::K18, PictureKind::K32, PictureKind::G,
                                                         PictureKind::K32));
    }

    // Packed a second time, the skin is byte for byte the same: the order depends on the names only.
    TempDir again;
    WriteBytes(again / "in.ezx", packed);
    UnpackSkin(again / "in.ezx", again / "drmpack", false, converter, ui);
    PackSkin(again / "drmpack", again / "out.ezx", false, converter, ui);
    EXPECT_EQ(ReadBytes(again / "out.ezx"), packed) << convert;
  }
}

}  // namespace
}  // namespace resmill::skin
