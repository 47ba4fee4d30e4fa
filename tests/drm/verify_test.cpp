// The read-back of a compiled DRM image: a damaged picture, table, pointer or
// kept byte must stop the compile as a fault of the program, name the offset,
// and leave the output name as it was; an image that is written as planned but
// would not read back as planned is a DRM the rules cannot rebuild.

#include <functional>

#include <fmt/format.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "drm/compile.h"
#include "drm/compile_verify.h"
#include "drm_fixture.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Changes the byte at `offset` of the written image (negative: from its end).
std::function<void(const fs::path&)> Flip(std::function<std::int64_t(const drm::DrmLayout&)> where) {
  return [where](const fs::path& file) {
    Bytes bytes = ReadBytes(file);
    BinaryFile image(file, BinaryFile::Mode::Read);
    std::int64_t at = where(drm::ReadDrmLayout(image, drm::DrmVariantOf(image)));
    if (at < 0) at += static_cast<std::int64_t>(bytes.size());
    bytes[static_cast<std::size_t>(at)] ^= 0x5A;
    WriteBytes(file, bytes);
  };
}

TEST(DrmReadBack, EachCompileFaultStopsTheOutput) {
  // Pictures that change size, so that every area and pointer moves.
  sample::DrmRecipe recipe = SmallRecipe(1, 4, 5);
  sample::DrmPlacement placement;
  const Bytes input = sample::BuildDrmImage(recipe, &placement);
  ASSERT_GT(static_cast<std::int64_t>(input.size()), placement.gifTableEnd) << "the image needs a kept tail";
  ASSERT_GT(placement.gifData, placement.rawTableEnd) << "and kept bytes between the tables";

  struct Case {
    const char* name;
    std::function<void(const fs::path&)> tamper;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a RAW picture byte", Flip([](const drm::DrmLayout& l) { return l.RawData + 20; }), "RAW picture 2 there"},
      {"a GIF picture byte", Flip([](const drm::DrmLayout& l) { return l.GifData + 30; }), "of picture 7 there"},
      {"a RAW size in the table", Flip([](const drm::DrmLayout& l) { return l.RawTable + 3 * 16 + 1; }),
       "byte 1 of RAW table entry 3"},
      {"a RAW offset in the table", Flip([](const drm::DrmLayout& l) { return l.RawTable + 2 * 16 + 15; }),
       "byte 15 of RAW table entry 2"},
      {"a kept byte of the RAW table", Flip([](const drm::DrmLayout& l) { return l.RawTable + 16 + 6; }),
       "byte 6 of RAW table entry 1"},
      {"a GIF table entry", Flip([](const drm::DrmLayout& l) { return l.GifTable + 4 * 3 + 3; }),
       "GIF table entry 3 is"},
      {"the GIF padding", Flip([](const drm::DrmLayout& l) { return l.GifTable - 1; }),
       "the padding after the GIF data holds"},
      {"a kept byte between the tables", Flip([](const drm::DrmLayout& l) { return l.RawTableEnd + 1; }),
       "of the resources between the RAW table and the GIF data"},
      {"a kept byte of the tail", Flip([](const drm::DrmLayout&) { return -1; }),
       "of the resources after the GIF table"},
      {"a kept byte of the header", Flip([](const drm::DrmLayout&) { return 30; }), "offset 0x00001E: the byte"},
      {"a moved pointer off its table",
       [&](const fs::path& file) {
         Bytes bytes = ReadBytes(file);
         std::size_t slot = static_cast<std::size_t>(placement.dir + 48);  // the RAW table pointer
         PutU32BE(GetU32BE(&bytes[slot]) + 16, &bytes[slot]);
         WriteBytes(file, bytes);
       },
       fmt::format("offset {}: the pointer 0x", HexOffset(static_cast<std::uint64_t>(placement.dir + 48)))},
      {"a pointer of the header pointer table",
       [&](const fs::path& file) {
         Bytes bytes = ReadBytes(file);
         const std::size_t slot = 32 + 4 * 10;
         PutU32BE(GetU32BE(&bytes[slot]) ^ 0x100, &bytes[slot]);
         WriteBytes(file, bytes);
       },
       "of the header pointer table should now be"},
      {"a cut image", [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) - 1); },
       "bytes, but its pictures and the kept parts of the input make"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Slot slot(input);
    slot.Unpack();
    // Every picture changes its size.
    WriteBytes(slot.icons / "7.gif", FakeGif(7, 40));
    const fs::path out = slot.dir / "new.bin";
    WriteBytes(out, {'o', 'l', 'd'});
    NullProgress progress;
    drm::WriterFaults faults;
    faults.tamper = c.tamper;
    resmill::test::ExpectReadBackRefusal([&] { drm::CompileDrm(slot.drmpack, slot.image, out, false, progress, faults); }, c.message, "new.bin", "the damaged image was saved");
    EXPECT_EQ(ReadBytes(out), Bytes({'o', 'l', 'd'}));
    EXPECT_THAT(ListFolder(slot.dir.path()), ElementsAre("CG15.bin", "drmpack", "new.bin"));
  }
}

TEST(DrmReadBack, PointersThatNameKeptBytesFollowThem) {
  // A directory pointer to a kept byte of the tail must move with it; pointed one byte off, the read-back says so.
  sample::DrmRecipe recipe = SmallRecipe(0, 0, 3);
  sample::DrmPlacement placement;
  Bytes input = sample::BuildDrmImage(recipe, &placement);
  ASSERT_GT(static_cast<std::int64_t>(input.size()), placement.gifTableEnd + 2);
  const std::uint32_t base = GetU32BE(&input[0]) & ~0xFFu;
  const std::size_t slot = static_cast<std::size_t>(placement.dir + 4 * 15);
  PutU32BE(base + static_cast<std::uint32_t>(placement.gifTableEnd + 1), &input[slot]);

  for (bool tamper : {false, true}) {
    SCOPED_TRACE(tamper ? "pointer off by one" : "pointer moved right");
    Slot s(input);
    s.Unpack();
    WriteBytes(s.icons / "2.gif", FakeGif(2, 50));
    NullProgress progress;
    drm::WriterFaults faults;
    if (tamper) {
      faults.tamper = [slot](const fs::path& file) {
        Bytes bytes = ReadBytes(file);
        PutU32BE(GetU32BE(&bytes[slot]) + 1, &bytes[slot]);
        WriteBytes(file, bytes);
      };
    }
    const fs::path out = s.dir / "new.bin";
    if (!tamper) {
      drm::CompileDrm(s.drmpack, s.image, out, false, progress, faults);
      continue;
    }
    try {
      drm::CompileDrm(s.drmpack, s.image, out, false, progress, faults);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Internal);
      EXPECT_THAT(e.what(), HasSubstr(fmt::format("offset {}: the pointer", HexOffset(slot))));
      EXPECT_THAT(e.what(), HasSubstr("of the resource directory should now be"));
    }
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST(Fingerprint, DoesNotDependOnHowTheStreamIsCut) {
  Bytes bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  drm::Fingerprint whole;
  whole.Add(bytes);
  for (std::size_t cut : {std::size_t{1}, std::size_t{3}, std::size_t{5}, std::size_t{997}}) {
    drm::Fingerprint pieces;
    for (std::size_t at = 0; at < bytes.size(); at += cut) {
      pieces.Add(std::span(bytes.data() + at, std::min(cut, bytes.size() - at)));
    }
    EXPECT_EQ(pieces.Value(), whole.Value()) << cut;
  }
  // Bytes trading places, one byte more, one byte changed: all different.
  Bytes swapped = bytes;
  std::swap(swapped[10], swapped[14]);
  Bytes longer = bytes;
  longer.push_back(0);
  Bytes changed = bytes;
  changed[999] ^= 1;
  for (const Bytes& other : {swapped, longer, changed}) {
    drm::Fingerprint print;
    print.Add(other);
    EXPECT_NE(print.Value(), whole.Value());
  }
}

}  // namespace
}  // namespace resmill::test
