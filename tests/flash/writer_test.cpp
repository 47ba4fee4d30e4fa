// The superfile writer: record and text formats, the patched header and RAM
// downloader, and the written file read back by our reader and by srec_cat.

#include <algorithm>
#include <ctime>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/code_groups.h"
#include "flash/shx_reader.h"
#include "flash/srec.h"
#include "flash/superfile_writer.h"
#include "flash_test_util.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "test_support.h"

namespace resmill::flash::test {
namespace {

using resmill::test::ListFolder;
using resmill::test::ReadBytes;
using resmill::test::ScriptedUi;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::uint32_t kDrmStart = 0x10000000;
constexpr std::uint32_t kRamdldStart = 0x03FC0000;

// The record line EncodeSRecord writes for `data`.
std::string Encoded(const Bytes& data, std::uint32_t& address) {
  std::string line(2 * data.size() + 16, '\0');
  line.resize(EncodeSRecord(data, address, line.data()));
  return line;
}

TEST(SRecordTest, RecordsAreFormattedWithTheirChecksum) {
  struct Case {
    Bytes data;
    std::uint32_t address;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3}, 0x00100000, "S30800100000010203E1\r\n"},
      {{0xFF}, 0xFFFFFFFE, "S306FFFFFFFEFFFF\r\n"},
      {{0}, 0, "S3060000000000F9\r\n"},
  };
  for (const auto& c : cases) {
    std::uint32_t address = c.address;
    EXPECT_EQ(Encoded(c.data, address), c.expected);
    EXPECT_EQ(address, c.address + c.data.size());
  }
  // Every length from 1 to 250: 2n + 16 characters, and srec's own sum rule holds.
  for (std::size_t n = 1; n <= 250; ++n) {
    std::uint32_t address = 0x12345678;
    std::string line = Encoded(Pattern(n, static_cast<std::uint32_t>(n)), address);
    ASSERT_EQ(line.size(), 2 * n + 16);
    unsigned sum = 0;
    for (std::size_t i = 2; i + 2 < line.size(); i += 2) sum += static_cast<unsigned>(std::stoi(line.substr(i, 2), nullptr, 16));
    EXPECT_EQ(sum & 0xFF, 0xFFu) << line;
  }
  std::uint32_t address = 0;
  EXPECT_THROW(Encoded(Bytes(251), address), Error);
  EXPECT_THROW(Encoded(Bytes(), address), Error);
}

TEST(SRecordTest, FixedLinesAreValidRecords) {
  EXPECT_EQ(Record(0, 0, {'H', 'D', 'R'}), kS0Line);
  EXPECT_EQ(Record(7, 0, {}), kS7Line);
}

TEST(HeaderTextTest, DateText) {
  EXPECT_EQ(FormatHeaderDate(2006, 3, 5, 1, 14, 30, 9), "Sun March 05 14:30:09 2006");
  EXPECT_EQ(FormatHeaderDate(2006, 3, 7, 3, 9, 5, 3), "Tue March 07 09:05:03 2006");
  EXPECT_EQ(FormatHeaderDate(1999, 12, 31, 6, 23, 59, 59), "Fri December 31 23:59:59 1999");
  EXPECT_EQ(FormatHeaderDate(2024, 1, 6, 7, 0, 0, 0), "Sat January 06 00:00:00 2024");
  EXPECT_EQ(FormatHeaderDate(resmill::test::FixedTestTime()), "Sun March 05 14:30:09 2006");
  EXPECT_THROW(FormatHeaderDate(2006, 13, 1, 1, 0, 0, 0), Error);
  EXPECT_THROW(FormatHeaderDate(2006, 1, 1, 0, 0, 0, 0), Error);
}

TEST(HeaderTextTest, FixedTextFields) {
  FixedText field = PutFixedText("abc");
  EXPECT_EQ(field[0], 'a');
  EXPECT_EQ(field[2], 'c');
  EXPECT_TRUE(std::all_of(field.begin() + 3, field.end(), [](std::uint8_t b) { return b == 0; }));
  FixedText full = PutFixedText(std::string(128, 'x'));
  EXPECT_TRUE(std::all_of(full.begin(), full.end(), [](std::uint8_t b) { return b == 'x'; }));
  EXPECT_THROW(PutFixedText(std::string(129, 'x')), Error);
}

TEST(PatchRamdldTest, SetsTheLoaderAreaAndKeepsTheRest) {
  const Bytes before = Pattern(500, 11);
  Bytes after = before;
  PatchRamdld(after);
  for (std::size_t i = 0; i < after.size(); ++i) {
    bool patched = (i >= 256 && i <= 367) || (i >= 376 && i <= 414);
    EXPECT_EQ(after[i], patched ? 0xFF : before[i]) << "offset " << i;
  }
}

// A work folder as an extraction leaves it, plus a DRM image.
struct Work {
  TempDir dir;
  Bytes header = MakeHeader(4, {kRamdldStart, kRamdldStart + 499},
                            {{0, {0x100, 0x1FF}}, {1, {0x200, 0x2FF}}, {15, {kDrmStart, kDrmStart + 0xFFFF}},
                             {16, {0x5000, 0x5FFF}}});
  Bytes ramdld = Pattern(500, 21);
  Bytes drm = Pattern(100, 22);
  Work() {
    WriteBytes(dir / "header.bin", header);
    WriteBytes(dir / "RAMDLD.bin", ramdld);  // found case-blind as ramdld.bin
  }
  void Save(const std::filesystem::path& out, Progress& progress) {
    if (!std::filesystem::exists(dir / "drm.bin")) WriteBytes(dir / "drm.bin", drm);
    WriteSuperfile(dir.path(), dir / "drm.bin", out, resmill::test::FixedTestTime(), progress);
  }
};

std::uint32_t LE(const Bytes& b, std::size_t at) { return GetU32LE(&b[at]); }
std::uint16_t Sum(const Bytes& b) {
  unsigned s = 0;
  for (auto x : b) s += x;
  return static_cast<std::uint16_t>(s);
}

TEST(WriteSuperfileTest, PatchesTheHeader) {
  Work w;
  NullProgress progress;
  w.Save(w.dir / "out.shx", progress);
  Bytes h = ReadBytes(w.dir / "header.bin");
  Bytes patchedRamdld = ReadBytes(w.dir / "RAMDLD.bin");
  const std::size_t entry15 = CodeGroupEntryAt(15);
  ASSERT_EQ(h.size(), 8172u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[kDateField])), "Sun March 05 14:30:09 2006");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[kDescriptionField])), "ResMill Utility Generated Superfile");
  EXPECT_EQ(h[kDateField + kTextFieldSize - 1], 0);
  EXPECT_EQ(h[kCountField], 2);
  EXPECT_EQ(LE(h, kCountField), 2u);  // the three bytes after it were zero and stay so
  EXPECT_EQ(LE(h, kRamdldEntry + kEntryStart), kRamdldStart);
  EXPECT_EQ(LE(h, kRamdldEntry + kEntryEnd), kRamdldStart + 499);
  EXPECT_EQ(LE(h, kRamdldEntry + kEntryChecksum), Sum(patchedRamdld) + 0x80000u);
  for (std::size_t i = kClearedFrom; i < kClearedEnd; ++i) {
    if (i >= entry15 && i < entry15 + kEntrySize) continue;
    ASSERT_EQ(h[i], 0) << "offset " << i;
  }
  EXPECT_EQ(LE(h, entry15 + kEntryStart), kDrmStart);
  EXPECT_EQ(LE(h, entry15 + kEntryEnd), kDrmStart + 99);
  EXPECT_TRUE(std::equal(w.drm.begin(), w.drm.begin() + 16, h.begin() + entry15 + kEntryFirstBytes));
  EXPECT_EQ(LE(h, entry15 + kEntryChecksum), Sum(w.drm));
  // Everything else as it was.
  for (std::size_t i = 0; i < static_cast<std::size_t>(kFlashHeaderSize); ++i) {
    bool changed = (i >= kDateField && i < kDescriptionField + kTextFieldSize) || i == kCountField ||
                   (i >= kRamdldEntry + kEntryChecksum && i < kRamdldEntry + kEntrySize) ||
                   (i >= kClearedFrom && i < kClearedEnd);
    if (!changed) {
      ASSERT_EQ(h[i], w.header[i]) << "offset " << i;
    }
  }
}

// Every reader and writer takes the header's fields from one layout; pinned here
// to the places phones read them from, with the names messages give them.
TEST(FlashHeaderTest, FieldsStandWhereThePhoneReadsThem) {
  const std::vector<std::pair<std::size_t, std::string>> cases = {
      {0, ""},
      {319, ""},
      {320, "date text"},
      {447, "date text"},
      {448, "description"},
      {575, "description"},
      {944, "code-group count"},
      {948, "RAMDLD start address"},
      {952, "RAMDLD end address"},
      {956, "RAMDLD first 16 bytes"},
      {972, "RAMDLD checksum"},
      {976, "unused table entry"},
      {1003, "unused table entry"},
      {1004, "code group 0 start address"},
      {1069, "code group 2 first 16 bytes"},
      {1424, "code group 15 start address"},
      {1428, "code group 15 end address"},
      {1432, "code group 15 first 16 bytes"},
      {1448, "code group 15 checksum"},
      {1451, "code group 15 checksum"},
  };
  for (const auto& [offset, name] : cases) EXPECT_EQ(HeaderFieldName(offset), name) << offset;
  EXPECT_EQ(CodeGroupEntryAt(15), 1424u);
  EXPECT_EQ(kClearedFrom, 992u);
  EXPECT_EQ(kClearedEnd - kClearedFrom, 656u);
}

TEST(WriteSuperfileTest, LayoutOfTheWrittenFile) {
  Work w;
  ScriptedUi ui;
  w.Save(w.dir / "out.shx", ui);
  Bytes out = ReadBytes(w.dir / "out.shx");
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + kFlashHeaderSize, ReadBytes(w.dir / "header.bin").begin()));
  std::string text(out.begin() + kFlashHeaderSize, out.end());
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  // 500 bytes of RAMDLD: seven full records and one of 52; 100 bytes of DRM: 64 and 36.
  ASSERT_EQ(lines.size(), 1u + 8 + 1 + 1 + 2 + 1);
  EXPECT_EQ(lines[0], kS0Line);
  EXPECT_EQ(lines[1].size(), 142u);
  EXPECT_EQ(lines[8].size(), 2 * 52 + 14u);
  EXPECT_EQ(lines[1].substr(4, 8), "03FC0000");
  EXPECT_EQ(lines[8].substr(4, 8), "03FC01C0");
  EXPECT_EQ(lines[9], kS7Line);
  EXPECT_EQ(lines[10], kS0Line);
  EXPECT_EQ(lines[11].size() + 2, 144u);
  EXPECT_EQ(lines[12].size() + 2, 88u);
  EXPECT_EQ(lines[12].substr(4, 8), "10000040");
  EXPECT_EQ(lines[13], kS7Line);
  EXPECT_EQ(text.substr(text.size() - 16), "\r\nS70500000000FA");  // no line end after the last record
  EXPECT_THAT(ui.progressCaptions, ElementsAre("Compiling shx"));
  EXPECT_EQ(ui.progressPositions.back(), 100);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_THAT(ListFolder(w.dir.path()), ElementsAre("RAMDLD.bin", "drm.bin", "header.bin", "out.shx"));
}

TEST(WriteSuperfileTest, ImagesOfWholeRecordsGetNoEmptyRecord) {
  Work w;
  w.drm = Pattern(128, 5);
  w.ramdld = Pattern(448, 6);
  WriteBytes(w.dir / "RAMDLD.bin", w.ramdld);
  NullProgress progress;
  w.Save(w.dir / "out.shx", progress);
  Bytes out = ReadBytes(w.dir / "out.shx");
  std::string text(out.begin() + kFlashHeaderSize, out.end());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 7 + 1 + 1 + 2);
  EXPECT_EQ(text.find("S305"), std::string::npos);
}

// The reader takes our file apart into the images that went in.
TEST(WriteSuperfileTest, ReadsBackThroughTheReader) {
  for (std::size_t drmSize : {std::size_t{1}, std::size_t{100}, std::size_t{64 * 1024 * 3 + 17}, std::size_t{(1 << 20) + 64}}) {
    SCOPED_TRACE(drmSize);
    Work w;
    w.drm = Pattern(drmSize, static_cast<std::uint32_t>(drmSize));
    NullProgress progress;
    w.Save(w.dir / "out.shx", progress);
    TempDir slot;
    ASSERT_TRUE(ExtractShxCodeGroups(w.dir / "out.shx", slot.path(), progress));
    EXPECT_THAT(ListFolder(slot.path()), ElementsAre("CG15.bin", "RAMDLD.bin", "header.bin"));
    EXPECT_EQ(ReadBytes(slot / "RAMDLD.bin"), ReadBytes(w.dir / "RAMDLD.bin"));
    EXPECT_EQ(ReadBytes(slot / "CG15.bin"), w.drm);
    CodeGroupTable table = ParseCodeGroupTable(slot / "header.bin", slot.path());
    ASSERT_EQ(table.entries.size(), 2u);
    EXPECT_EQ(table.entries[1].Length, static_cast<std::int32_t>(drmSize));
  }
}

// srec_cat checks every checksum while it turns each section back into bytes.
TEST(WriteSuperfileTest, SrecCatReadsEachSection) {
  if (!resmill::test::HaveTool("srec_cat")) GTEST_SKIP() << "srec_cat missing";
  Work w;
  w.drm = Pattern(70000, 31);
  NullProgress progress;
  w.Save(w.dir / "out.shx", progress);
  Bytes out = ReadBytes(w.dir / "out.shx");
  std::string text(out.begin() + kFlashHeaderSize, out.end());
  std::size_t split = text.find(std::string(kS7Line) + "\r\n") + kS7Line.size() + 2;
  const std::vector<std::tuple<std::string, std::uint32_t, Bytes>> sections = {
      {text.substr(0, split), kRamdldStart, ReadBytes(w.dir / "RAMDLD.bin")},
      {text.substr(split) + "\r\n", kDrmStart, w.drm},
  };
  for (const auto& [section, start, expected] : sections) {
    resmill::test::WriteText(w.dir / "section.srec", section);
    std::string log;
    std::string cmd = fmt::format("srec_cat '{}' -motorola -offset -0x{:X} -o '{}' -binary 2>&1",
                                  (w.dir / "section.srec").string(), start, (w.dir / "section.raw").string());
    ASSERT_EQ(resmill::test::RunCommand(cmd, &log), 0) << log;
    EXPECT_EQ(ReadBytes(w.dir / "section.raw"), expected);
  }
}

// With a save name ending in ".bin" the DRM image and the superfile share one name.
TEST(WriteSuperfileTest, SaveNameThatIsTheDrmImage) {
  Work w;
  WriteBytes(w.dir / "new.bin", w.drm);
  NullProgress progress;
  WriteSuperfile(w.dir.path(), w.dir / "new.bin", w.dir / "new.bin", resmill::test::FixedTestTime(), progress);
  TempDir slot;
  ASSERT_TRUE(ExtractShxCodeGroups(w.dir / "new.bin", slot.path(), progress));
  EXPECT_EQ(ReadBytes(slot / "CG15.bin"), w.drm);
  EXPECT_EQ(ReadBytes(slot / "RAMDLD.bin"), ReadBytes(w.dir / "RAMDLD.bin"));
  EXPECT_THAT(ListFolder(w.dir.path()), ElementsAre("RAMDLD.bin", "header.bin", "new.bin"));
}

TEST(WriteSuperfileTest, RefusalsTouchNothing) {
  struct Case {
    const char* name;
    std::function<void(Work&)> setUp;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"RAM downloader of 414 bytes", [](Work& w) { WriteBytes(w.dir / "RAMDLD.bin", Pattern(414, 1)); },
       "holds 414 bytes; at least 415"},
      {"RAM downloader of 128 bytes", [](Work& w) { WriteBytes(w.dir / "RAMDLD.bin", Pattern(128, 1)); },
       "holds 128 bytes"},
      {"no RAM downloader", [](Work& w) { std::filesystem::remove(w.dir / "RAMDLD.bin"); }, "ramdld.bin"},
      {"no header", [](Work& w) { std::filesystem::remove(w.dir / "header.bin"); }, "header.bin"},
      {"short header", [](Work& w) { WriteBytes(w.dir / "header.bin", Bytes(w.header.begin(), w.header.begin() + 2000)); },
       "this one 2000"},
      {"no code group 15 in the header",
       [](Work& w) { WriteBytes(w.dir / "header.bin", MakeHeader(2, {1, 2}, {{3, {5, 6}}})); },
       "no code group 15"},
      {"empty DRM image", [](Work& w) { WriteBytes(w.dir / "drm.bin", {}); }, "the DRM image is empty"},
      {"DRM image past the address space",
       [](Work& w) { WriteBytes(w.dir / "header.bin", MakeHeader(2, {1, 2}, {{15, {0xFFFFFFF0, 0xFFFFFFFF}}})); },
       "does not fit at flash address 0xFFFFFFF0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Work w;
    WriteBytes(w.dir / "drm.bin", w.drm);
    c.setUp(w);
    WriteBytes(w.dir / "out.shx", {'o', 'l', 'd'});
    auto before = [&] {
      std::vector<Bytes> files;
      for (const auto& name : ListFolder(w.dir.path())) files.push_back(ReadBytes(w.dir / name));
      return files;
    }();
    ScriptedUi ui;
    try {
      w.Save(w.dir / "out.shx", ui);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
    std::vector<Bytes> after;
    for (const auto& name : ListFolder(w.dir.path())) after.push_back(ReadBytes(w.dir / name));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(ui.progressVisible);
  }
}

}  // namespace
}  // namespace resmill::flash::test
