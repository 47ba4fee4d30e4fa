// The read-back of a packed skin: a damaged name, hash, offset or picture byte
// must stop the pack, name the offset, and leave the output name as it was.

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/byte_io.h"
#include "platform/error.h"
#include "skin/skin_pack.h"
#include "skin_fixtures.h"
#include "test_support.h"

namespace resmill::skin {
namespace {

namespace fs = std::filesystem;
using resmill::test::ListFolder;
using resmill::test::ReadBytes;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using test::Bytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::function<void(const fs::path&)> EditBytes(std::function<void(Bytes&)> edit) {
  return [edit](const fs::path& file) {
    Bytes bytes = ReadBytes(file);
    edit(bytes);
    WriteBytes(file, bytes);
  };
}

std::function<void(const fs::path&)> SetWord(std::size_t at, std::uint32_t value) {
  return EditBytes([at, value](Bytes& b) { PutU32LE(value, &b[at]); });
}

TEST(SkinReadBack, EachPackFaultStopsTheSkin) {
  // a.k (10 bytes) and bb.g (20): directory at 64, entries at 84 and 96, blocks at 108 and 126, 154 bytes.
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> tamper;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a picture byte", EditBytes([](Bytes& b) { b[140] ^= 1; }), "offset 0x00008C: byte 6 of \"bb.g\" differs"},
      {"a hash", EditBytes([](Bytes& b) { b[84] ^= 1; }), "offset 0x000054: the hash"},
      {"a name offset", SetWord(100, 0), "entry 2 is named \"a.k\" instead of \"bb.g\""},
      {"a data length", SetWord(112, 9), "the data block of \"a.k\" holds 9 bytes"},
      {"a block magic", SetWord(126, 0), "(magic 0x00000000)"},
      {"the entry count", SetWord(72, 1), "the directory lists 1 entries"},
      {"the name area offset", SetWord(68, 56), "offset 0x000044: the directory holds 0x38 where 0x37 belongs"},
      {"the header text", EditBytes([](Bytes& b) { b[30] ^= 0x20; }), "the header text"},
      {"a byte more", EditBytes([](Bytes& b) { b.push_back(0); }), "the skin holds 155 bytes; its pictures end at 154"},
      {"a cut skin", EditBytes([](Bytes& b) { b.resize(150); }), "the unpack would refuse it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directories(dir / "F/raws");
    WriteBytes(dir / "F/raws/a.k", Bytes(10, 0xAA));
    WriteBytes(dir / "F/raws/bb.g", Bytes(20, 0xBB));
    WriteBytes(dir / "out.ezx", {'o', 'l', 'd'});
    test::FakeConverter converter;
    NullProgress progress;
    WriterFaults faults;
    faults.tamper = c.tamper;
    resmill::test::ExpectReadBackRefusal([&] { PackSkin(dir / "F", dir / "out.ezx", false, converter, progress, {}, faults); }, c.message, "out.ezx", "the damaged skin was saved");
    EXPECT_EQ(ReadBytes(dir / "out.ezx"), Bytes({'o', 'l', 'd'}));
    EXPECT_THAT(ListFolder(dir.path()), ElementsAre("F", "out.ezx"));
  }
}

TEST(SkinReadBack, ConvertedPicturesAreComparedBeforeTheyAreDeleted) {
  // The converted picture is the one in the skin: the read-back must compare against it, not the device original.
  TempDir dir;
  fs::create_directories(dir / "F/raws");
  fs::create_directories(dir / "F/icons");
  WriteBytes(dir / "F/raws/a.g", Bytes(12, 0x11));
  Bytes ordinary = {'O', 'R', 'D', static_cast<std::uint8_t>(image::PictureKind::G)};
  ordinary.resize(30, 0x22);
  WriteBytes(dir / "F/icons/a.gif", ordinary);
  test::FakeConverter converter;
  NullProgress progress;
  PackResult r = PackSkin(dir / "F", dir / "new.ezx", true, converter, progress);
  EXPECT_TRUE(r.written);
  EXPECT_EQ(test::PicturesOf(ReadBytes(dir / "new.ezx")).at("a.g"), Bytes(26, 0x22));
}

}  // namespace
}  // namespace resmill::skin
