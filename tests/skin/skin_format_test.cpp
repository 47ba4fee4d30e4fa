#include "skin/skin_format.h"

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "skin/conv_list.h"
#include "skin_fixtures.h"
#include "test_support.h"

namespace resmill::skin {
namespace {

namespace fs = std::filesystem;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using test::Bytes;
using test::BuildSkin;
using test::Layout;
using test::LayoutOf;
using test::SetU32;
using ::testing::HasSubstr;

TEST(SkinNameHash, ShiftsAndFoldsEachByte) {
  struct Case { std::string name; std::uint32_t hash; };
  const Case cases[] = {
      {"", 0},
      {"A", 65},
      {"AB", 192},              // 65 << 1 = 130, XOR 66
      {"ABC", 451},             // 192 << 1 = 384, XOR 67
      {std::string(21, '\x01'), 0x1FFFFF},  // 21 ones, nothing reaches bit 20 yet
      {std::string(22, '\x01'), 0x3FFFFE},  // bit 21 set: h >> 20 now folds bit 1 back in
  };
  for (const Case& c : cases) EXPECT_EQ(SkinNameHash(c.name), c.hash) << c.name.size();
}

TEST(SkinHeader, Is55BytesWithTheDirectoryOffsetInLowerCaseAt16) {
  EXPECT_EQ(HeaderTextFor(0).size(), 55u);
  EXPECT_EQ(HeaderTextFor(0), "vezodaro\n\nv1.00\n00000000\n\nComment: skinlook\nID table:\n\n");
  EXPECT_EQ(HeaderTextFor(64).substr(16, 8), "00000040");
  EXPECT_EQ(HeaderTextFor(0x12C).substr(16, 8), "0000012c");
  EXPECT_EQ(HeaderTextFor(0xABCDEF01).substr(16, 8), "abcdef01");
}

SkinDirectory Read(const Bytes& bytes, ReadOptions options = {}) {
  TempDir dir;
  WriteBytes(dir / "x.ezx", bytes);
  BinaryFile file(dir / "x.ezx", BinaryFile::Mode::Read);
  return ReadSkinDirectory(file, options);
}

TEST(ReadSkinDirectory, ReadsEntriesNamesAndBlocks) {
  Bytes skin = BuildSkin({{"a.k", Bytes(10, 1)}, {"", {}}, {"bb.g", Bytes(20, 2)}});
  SkinDirectory dir = Read(skin);
  ASSERT_EQ(dir.entries.size(), 3u);
  EXPECT_EQ(dir.nameAreaOffset, 55u);
  EXPECT_EQ(dir.directoryMagic, kDirectoryMagic);
  EXPECT_EQ(dir.entries[0].name, "a.k");
  EXPECT_EQ(dir.entries[0].length, 10u);
  EXPECT_EQ(dir.entries[0].hash, SkinNameHash("a.k"));
  EXPECT_EQ(dir.entries[1].name, "");
  EXPECT_EQ(dir.entries[2].name, "bb.g");
  EXPECT_EQ(dir.entries[2].dataOffset, 18u + 8u);  // the empty name's block of 0 bytes lies between
  EXPECT_EQ(dir.entries[2].blockMagic, kDataMagic);
  EXPECT_EQ(dir.entries[2].DataAt() + 20, static_cast<std::int64_t>(skin.size()));
}

TEST(ReadSkinDirectory, DirectoryOffsetDigitsInEitherCase) {
  // The directory moved to 300 with filler before it: both spellings find it.
  Bytes skin = BuildSkin({{"a.k", Bytes(3, 7)}});
  const std::uint32_t d = LayoutOf(skin).directory;
  Bytes moved(skin.begin(), skin.begin() + d);
  moved.resize(300, 0xEE);
  moved.insert(moved.end(), skin.begin() + d, skin.end());
  SetU32(moved, 300 + 12, 320);  // entry table
  SetU32(moved, 300 + 16, 332);  // data area
  for (const char* digits : {"0000012c", "0000012C"}) {
    std::copy(digits, digits + 8, moved.begin() + 16);
    SkinDirectory dir = Read(moved);
    EXPECT_EQ(dir.directoryOffset, 300u) << digits;
    ASSERT_EQ(dir.entries.size(), 1u);
    EXPECT_EQ(dir.entries[0].name, "a.k");
    EXPECT_EQ(dir.entries[0].length, 3u);
  }
}

struct Damage {
  const char* what;
  std::function<void(Bytes&)> apply;
  Error::Kind kind;
  const char* message;  // part of the message: the value and the offset
};

TEST(ReadSkinDirectory, RefusesDamagedSkinsNamingValueAndOffset) {
  const Bytes good = BuildSkin({{"a.k", Bytes(10, 1)}, {"bb.g", Bytes(20, 2)}});
  const Layout l = LayoutOf(good);  // directory 64, table 84, data 108
  ASSERT_EQ(l.directory, 64u);
  const Damage cases[] = {
      {"too short", [](Bytes& b) { b.resize(20); }, Error::Kind::Format, "offset 0x000010"},
      {"not hex", [](Bytes& b) { b[23] = 'g'; }, Error::Kind::Format, "\"0000004g\" is not hexadecimal"},
      {"blank in digits", [](Bytes& b) { b[16] = ' '; }, Error::Kind::Format, "is not hexadecimal"},
      {"directory beyond", [](Bytes& b) { std::copy_n("00100000", 8, b.begin() + 16); }, Error::Kind::Format,
       "directory offset 0x100000 lies beyond"},
      {"count over limit", [&](Bytes& b) { SetU32(b, l.directory + 8, 65537); }, Error::Kind::Limit,
       "0x000048: 65537 entries"},
      {"count beyond file", [&](Bytes& b) { SetU32(b, l.directory + 8, 1000); }, Error::Kind::Format,
       "with 1000 entries lies beyond"},
      {"name area beyond", [&](Bytes& b) { SetU32(b, l.directory + 4, 0x7FFFFFFF); }, Error::Kind::Format,
       "name area offset 0x7FFFFFFF"},
      {"table beyond", [&](Bytes& b) { SetU32(b, l.directory + 12, 0xFFFFFFF0u); }, Error::Kind::Format,
       "entry table at 0xFFFFFFF0"},
      {"data area beyond", [&](Bytes& b) { SetU32(b, l.directory + 16, 5000); }, Error::Kind::Format,
       "data area offset 0x001388"},
      {"name beyond", [&](Bytes& b) { SetU32(b, l.table + 12 + 4, 4000); }, Error::Kind::Format,
       "entry 1: name at 0x000FD7"},
      // The name runs into the last picture's bytes and the file ends without a line feed.
      {"no line feed", [&](Bytes& b) { SetU32(b, l.table + 4, 134 - 55); }, Error::Kind::Format,
       "offset 0x000086: entry 0: name \"\\x02\\x02"},
      {"block beyond", [&](Bytes& b) { SetU32(b, l.table + 12 + 8, 0xFFFFFFFFu); }, Error::Kind::Format,
       "entry 1 (\"bb.g\"): data block at"},
      {"picture over 1 MiB", [&](Bytes& b) { SetU32(b, l.data + 4, (1u << 20) + 1); }, Error::Kind::Limit,
       "0x000070: entry 0 (\"a.k\"): picture of 1048577 bytes"},
      {"picture beyond", [&](Bytes& b) { b.pop_back(); }, Error::Kind::Format, "picture of 20 bytes at"},
  };
  for (const Damage& c : cases) {
    Bytes bytes = good;
    c.apply(bytes);
    try {
      Read(bytes);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.what << ": " << e.what();
      EXPECT_THAT(e.what(), HasSubstr("x.ezx")) << c.what;
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.what;
    }
  }
}

TEST(ReadSkinDirectory, AcceptsWhatTheUnpackNeverFollows) {
  Bytes skin = BuildSkin({{"a.k", Bytes(4, 1)}, {"", {}}});
  const Layout l = LayoutOf(skin);
  SetU32(skin, l.table + 12 + 8, 0xFFFFFF00u);  // an unnamed entry's data is never read
  SetU32(skin, l.directory, 0);                 // nor is the directory magic checked
  SkinDirectory dir = Read(skin);
  EXPECT_EQ(dir.entries.size(), 2u);
  EXPECT_EQ(dir.directoryMagic, 0u);

  // A name of 99 bytes still has its line feed within the 100 read.
  EXPECT_EQ(Read(BuildSkin({{std::string(99, 'n'), Bytes(1, 0)}})).entries[0].name.size(), 99u);
  EXPECT_THROW(Read(BuildSkin({{std::string(100, 'n'), Bytes(1, 0)}})), Error);
  ReadOptions wide;
  wide.nameReadLength = 256;
  EXPECT_EQ(Read(BuildSkin({{std::string(255, 'n'), Bytes(1, 0)}}), wide).entries[0].name.size(), 255u);

  EXPECT_TRUE(Read(BuildSkin({})).entries.empty());
}

TEST(ReadSkinDirectory, RefusesNamesThatAreNoFileNames) {
  for (const std::string& name : std::vector<std::string>{"../x.k", "a/b.k", "/etc/x.k", "..", ".", "a\\b.k", "x..k", std::string("a\0b.k", 5)}) {
    Bytes skin = BuildSkin({{"ok.k", Bytes(2, 0)}, {name, Bytes(2, 0)}});
    try {
      Read(skin);
      ADD_FAILURE() << name << ": accepted";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("cannot be a file name")) << name;
      EXPECT_THAT(e.what(), HasSubstr("entry 1")) << name;
    }
    ReadOptions listing;
    listing.requireFileNames = false;
    EXPECT_EQ(Read(skin, listing).entries[1].name, name);
  }
  for (const char* fine : {".hidden.k", "a.b.k", "with space.g", "k"}) EXPECT_EQ(NameProblem(fine), "") << fine;
}

}  // namespace
}  // namespace resmill::skin
