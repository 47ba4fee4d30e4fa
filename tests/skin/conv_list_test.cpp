#include "skin/conv_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "test_support.h"

namespace resmill::skin {
namespace {

using image::PictureKind;
using resmill::test::ReadBytes;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

TEST(ConvList, BytesAreCountThenLengthPrefixedNamesAndKind) {
  std::vector<TConvRec> records = {{"x.k", "x.gif", PictureKind::K18}, {"logo.g", "logo.png", PictureKind::G}};
  Bytes expected = {2, 0, 0, 0,                                 //
                    3, 0, 0, 0, 'x', '.', 'k',                  //
                    5, 0, 0, 0, 'x', '.', 'g', 'i', 'f', 1,     //
                    6, 0, 0, 0, 'l', 'o', 'g', 'o', '.', 'g',   //
                    8, 0, 0, 0, 'l', 'o', 'g', 'o', '.', 'p', 'n', 'g', 3};
  EXPECT_EQ(EncodeConvList(records), expected);
  EXPECT_EQ(EncodeConvList({}), (Bytes{0, 0, 0, 0}));

  TempDir dir;
  WriteConvList(dir / "conv.dat", records);
  EXPECT_EQ(ReadBytes(dir / "conv.dat"), expected);
  EXPECT_EQ(ReadConvList(dir / "conv.dat"), records);
  EXPECT_FALSE(ReadConvList(dir / "missing.dat").has_value());
}

TEST(ConvList, EveryTruncationAndABadKindIsRefusedWithTheOffset) {
  Bytes full = EncodeConvList({{"x.k", "x.gif", PictureKind::K32}, {"y.g", "y.gif", PictureKind::G}});
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    Bytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    try {
      DecodeConvList(part, "conv.dat");
      ADD_FAILURE() << "cut at " << cut << " accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Format);
      EXPECT_THAT(e.what(), ::testing::StartsWith("conv.dat: offset 0x")) << cut;
    }
  }
  Bytes badKind = full;
  badKind[4 + 4 + 3 + 4 + 5] = 5;
  EXPECT_THROW(DecodeConvList(badKind, "conv.dat"), Error);
  // A count far beyond the data must not make the reader reserve for it.
  Bytes hugeCount = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_THROW(DecodeConvList(hugeCount, "conv.dat"), Error);
}

TEST(TSearchTree, FindsByExactConvertedNameAndTheLaterOfTwo) {
  TSearchTree tree;
  tree.Insert({"m.k", "m.gif", PictureKind::K18});
  tree.Insert({"a.k", "a.gif", PictureKind::K32});
  tree.Insert({"z.g", "z.png", PictureKind::G});
  tree.Insert({"a.g", "a.gif", PictureKind::G});  // a.gif was written again, by a.g's conversion
  EXPECT_EQ(tree.Find("m.gif"), (TConvRec{"m.k", "m.gif", PictureKind::K18}));
  EXPECT_EQ(tree.Find("a.gif"), (TConvRec{"a.g", "a.gif", PictureKind::G}));
  EXPECT_EQ(tree.Find("z.png").kind, PictureKind::G);
  for (const char* missing : {"M.gif", "m.GIF", "", "b.gif"}) {
    TConvRec none = tree.Find(missing);
    EXPECT_EQ(none, (TConvRec{"", "", PictureKind::Other})) << missing;
  }
}

}  // namespace
}  // namespace resmill::skin
