// The read-back of a written superfile: every fault a writer could make in the
// text or the header must stop the save, name the place, and leave the user's
// file as it was.

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/flash_header.h"
#include "flash/superfile_verify.h"
#include "flash/superfile_writer.h"
#include "flash_test_util.h"
#include "platform/error.h"
#include "test_support.h"

namespace resmill::flash::test {
namespace {

namespace fs = std::filesystem;
using resmill::test::ListFolder;
using resmill::test::ReadBytes;
using resmill::test::TempDir;
using resmill::test::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::uint32_t kDrmStart = 0x10000000;
constexpr std::uint32_t kRamdldStart = 0x03FC0000;

std::tm SomeTime() {
  std::tm t{};
  t.tm_year = 106;
  t.tm_mon = 2;
  t.tm_mday = 5;
  return t;
}

// The text of a superfile as lines, so that a test can damage records the way a
// faulty writer would. Lines of this work folder: 0 S0, 1 … 8 RAMDLD (500 bytes),
// 9 S7, 10 S0, 11 … 15 DRM image (300 bytes), 16 the final S7 without a line end.
struct Text {
  Bytes header;
  std::vector<std::string> lines;

  explicit Text(const fs::path& file) {
    Bytes all = ReadBytes(file);
    header.assign(all.begin(), all.begin() + kFlashHeaderSize);
    std::string text(all.begin() + kFlashHeaderSize, all.end());
    for (std::size_t at = 0;;) {
      std::size_t end = text.find("\r\n", at);
      lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
      if (end == std::string::npos) break;
      at = end + 2;
    }
  }
  void Save(const fs::path& file, const std::string& eol = "\r\n") const {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() ? eol : "");
    Bytes all = header;
    all.insert(all.end(), text.begin(), text.end());
    WriteBytes(file, all);
  }
  // The data bytes of an S3 record line.
  static Bytes Data(const std::string& line) {
    Bytes data;
    for (std::size_t i = 12; i + 2 < line.size(); i += 2) data.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
    return data;
  }
  static std::uint32_t Address(const std::string& line) {
    return static_cast<std::uint32_t>(std::stoul(line.substr(4, 8), nullptr, 16));
  }
};

struct Work {
  TempDir dir;
  Bytes header = MakeHeader(3, {kRamdldStart, kRamdldStart + 499},
                            {{2, {0x100, 0x1FF}}, {15, {kDrmStart, kDrmStart + 0xFFFF}}});
  Bytes ramdld = Pattern(500, 31);
  Bytes drm = Pattern(300, 32);
  Work() {
    WriteBytes(dir / "header.bin", header);
    WriteBytes(dir / "ramdld.bin", ramdld);
    WriteBytes(dir / "drm.bin", drm);
  }
  void Save(const fs::path& out, const std::function<void(const fs::path&)>& tamper = {}) {
    NullProgress progress;
    WriterFaults faults;
    faults.tamper = tamper;
    WriteSuperfile(dir.path(), dir / "drm.bin", out, SomeTime(), progress, faults);
  }
};

// Edits the written text in place.
std::function<void(const fs::path&)> EditText(std::function<void(Text&)> edit, std::string eol = "\r\n") {
  return [edit, eol](const fs::path& file) {
    Text text(file);
    edit(text);
    text.Save(file, eol);
  };
}

// Changes a byte of the written header, as a writer that wrote something else than it planned would.
std::function<void(const fs::path&)> EditHeaderByte(std::size_t offset) {
  return [offset](const fs::path& file) {
    Bytes bytes = ReadBytes(file);
    bytes[offset] ^= 0x01;
    WriteBytes(file, bytes);
  };
}

struct TamperCase {
  const char* name;
  std::function<void(const fs::path&)> tamper;
  std::string message;
};

void ExpectEachTamperingStopsTheSave(const std::vector<TamperCase>& cases) {
  for (const TamperCase& c : cases) {
    SCOPED_TRACE(c.name);
    Work w;
    WriteBytes(w.dir / "out.shx", {'o', 'l', 'd'});
    resmill::test::ExpectReadBackRefusal([&] { w.Save(w.dir / "out.shx", c.tamper); }, c.message, "out.shx", "the damaged file was saved");
    EXPECT_EQ(ReadBytes(w.dir / "out.shx"), Bytes({'o', 'l', 'd'}));
    EXPECT_THAT(ListFolder(w.dir.path()), ElementsAre("drm.bin", "header.bin", "out.shx", "ramdld.bin"));
  }
}

TEST(SuperfileReadBack, EachWriterFaultInTheTextStopsTheSaveAndNamesThePlace) {
  ExpectEachTamperingStopsTheSave({
      {"a flipped digit", EditText([](Text& t) { t.lines[12][20] = t.lines[12][20] == '0' ? '1' : '0'; }),
       "line 16 (offset 0x002518): checksum mismatch"},
      {"a wrong byte under a right checksum",
       EditText([](Text& t) {
         Bytes data = Text::Data(t.lines[13]);
         data[5] ^= 0x40;
         t.lines[13] = Record(3, Text::Address(t.lines[13]), data);
       }),
       "data byte 6 of the record (address 0x10000085)"},
      {"a dropped record", EditText([](Text& t) { t.lines.erase(t.lines.begin() + 12); }),
       "is for address 0x10000080, but the DRM image continues at 0x10000040"},
      {"the last record dropped", EditText([](Text& t) { t.lines.erase(t.lines.begin() + 15); }),
       "the section ends after 256 bytes, but the DRM image holds 300"},
      {"a record twice", EditText([](Text& t) { t.lines.insert(t.lines.begin() + 3, t.lines[2]); }),
       "is for address 0x03FC0040, but the RAMDLD continues at 0x03FC0080"},
      {"a record split in two",
       EditText([](Text& t) {
         Bytes data = Text::Data(t.lines[1]);
         t.lines[1] = Record(3, kRamdldStart, Bytes(data.begin(), data.begin() + 32));
         t.lines.insert(t.lines.begin() + 2, Record(3, kRamdldStart + 32, Bytes(data.begin() + 32, data.end())));
       }),
       "the record before this one carries 32 data bytes"},
      {"an S1 record among the S3 records",
       EditText([](Text& t) { t.lines[4] = Record(1, 0, Text::Data(t.lines[4])); }),
       "an S3 record of the RAMDLD or the S7 record after them should start here, not \"S1\""},
      {"lower-case digits",
       EditText([](Text& t) {
         std::string& line = t.lines[11];
         for (std::size_t i = 12; i < line.size(); ++i) line[i] = static_cast<char>(std::tolower(line[i]));
       }),
       "is not an upper-case hexadecimal digit"},
      {"an LF line end",
       EditText([](Text& t) {
         t.lines[3] += "\n" + t.lines[4];
         t.lines.erase(t.lines.begin() + 4);
       }),
       "line 7 (offset 0x00211E): the record does not end with CR LF"},
      {"LF line ends throughout", EditText([](Text&) {}, "\n"),
       "line 4 (offset 0x001FEC): the record does not end with CR LF"},
      {"a cut file",
       [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) - 200); },
       "line 18 (offset 0x002638): the record is cut short by the end of the file"},
  });
}

// Each kind of line that opens, closes or ends a section.
TEST(SuperfileReadBack, EachWriterFaultAtASectionBoundaryStopsTheSave) {
  ExpectEachTamperingStopsTheSave({
      {"another first S0", EditText([](Text& t) { t.lines[0] = Record(0, 0, {'H', 'D', 'S'}); }),
       "the S0 record that opens the RAMDLD should stand here, but the file has \"S00600004844531A\""},
      {"a damaged first S0", EditText([](Text& t) { t.lines[0][5] = '7'; }), "line 4 (offset 0x001FEC): checksum"},
      {"another second S0", EditText([](Text& t) { t.lines[10] = Record(0, 0, {}); }),
       "the S0 record that opens the DRM image should stand here"},
      {"the second S0 missing", EditText([](Text& t) { t.lines.erase(t.lines.begin() + 10); }),
       "the S0 record that opens the DRM image should stand here, but the file has \"S3"},
      {"another S7 between the sections", EditText([](Text& t) { t.lines[9] = Record(7, kRamdldStart, {}); }),
       "the S7 record that closes the RAMDLD should stand here"},
      {"no S7 between the sections", EditText([](Text& t) { t.lines.erase(t.lines.begin() + 9); }),
       "an S3 record of the RAMDLD or the S7 record after them should start here, not \"S0\""},
      {"the final S7 as an S9", EditText([](Text& t) { t.lines[16] = Record(9, 0, {}); }),
       "an S3 record of the DRM image or the S7 record after them should start here, not \"S9\""},
      {"a damaged final S7", EditText([](Text& t) { t.lines[16][13] = '0'; }), "checksum mismatch"},
      {"no final S7", EditText([](Text& t) { t.lines.pop_back(); }),
       "the file ends inside the section of the DRM image; no S7 record closes it"},
      {"a line end after the final S7", EditText([](Text& t) { t.lines.push_back(""); }),
       "a line end follows the last record"},
      {"a record after the final S7", EditText([](Text& t) { t.lines.push_back(t.lines[11]); }),
       "the file goes on after the S7 record that closes it"},
  });
}

// The header is compared with the one planned, and each difference named by its field.
TEST(SuperfileReadBack, EachWriterFaultInTheHeaderStopsTheSave) {
  ExpectEachTamperingStopsTheSave({
      {"an uninterpreted byte", EditHeaderByte(100), "offset 0x000064: the header byte is"},
      {"the date", EditHeaderByte(kDateField + 3), "offset 0x000143 (date text)"},
      {"the count", EditHeaderByte(kCountField), "(code-group count): the header byte is 03 where 02 was planned"},
      {"the RAMDLD checksum", EditHeaderByte(kRamdldEntry + kEntryChecksum + 1), "(RAMDLD checksum)"},
      {"a code group left in the table", EditHeaderByte(CodeGroupEntryAt(2) + 1), "(code group 2 start address)"},
      {"a stray byte in the table", EditHeaderByte(CodeGroupEntryAt(2) + 9),
       "offset 0x00042D (code group 2 first 16 bytes)"},
      {"the end address", EditHeaderByte(CodeGroupEntryAt(15) + kEntryEnd), "(code group 15 end address)"},
      {"the first bytes", EditHeaderByte(CodeGroupEntryAt(15) + kEntryFirstBytes), "(code group 15 first 16 bytes)"},
      {"the checksum", EditHeaderByte(CodeGroupEntryAt(15) + kEntryChecksum), "(code group 15 checksum)"},
      {"a cut header", [](const fs::path& file) { fs::resize_file(file, 8000); },
       "offset 0: the file is shorter than a flash header"},
  });
}

// A plan whose header would make Open split the file differently from how it was written.
TEST(SuperfileReadBack, ThePlanMustDescribeWhatOpenWillRead) {
  const std::vector<std::tuple<std::size_t, std::uint8_t, std::string>> cases = {
      {CodeGroupEntryAt(2), 1, "the code-group table lists RAMDLD.bin at 0x03FC0000, CG2.bin at 0x00000001; the file "
                            "holds RAMDLD.bin at 0x03FC0000, CG15.bin at 0x10000000"},
      {kCountField, 3, "the code-group table does not read back"},
  };
  for (const auto& [offset, value, message] : cases) {
    SCOPED_TRACE(offset);
    Work w;
    w.Save(w.dir / "out.shx");
    BinaryFile drm(w.dir / "drm.bin", BinaryFile::Mode::Read);
    SuperfilePlan plan = PlanSuperfile(w.dir / "header.bin", w.dir / "ramdld.bin", drm, SomeTime());
    Bytes written = ReadBytes(w.dir / "out.shx");
    plan.header[offset] = written[offset] = value;  // the plan and the file agree, the table is wrong
    WriteBytes(w.dir / "out.shx", written);
    try {
      VerifySuperfile(w.dir / "out.shx", w.dir / "out.shx", plan);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Internal);
      EXPECT_THAT(e.what(), HasSubstr(message));
    }
  }
}

TEST(SuperfileReadBack, NoFileAppearsUnderANewName) {
  Work w;
  EXPECT_THROW(w.Save(w.dir / "new.shx", EditText([](Text& t) { t.lines[5][30] ^= 1; })), Error);
  EXPECT_THAT(ListFolder(w.dir.path()), ElementsAre("drm.bin", "header.bin", "ramdld.bin"));
}

TEST(SuperfileReadBack, SoundFilesPass) {
  struct Case {
    const char* name;
    std::size_t ramdld, drm;
  };
  // Whole records only, a one-byte last record, and an image shorter than the 16 bytes the header copies.
  const Case cases[] = {{"whole records", 448, 640}, {"one byte over", 449, 65}, {"tiny image", 415, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Work w;
    WriteBytes(w.dir / "ramdld.bin", Pattern(c.ramdld, 3));
    WriteBytes(w.dir / "drm.bin", Pattern(c.drm, 4));
    EXPECT_NO_THROW(w.Save(w.dir / "out.shx"));
    // The check is repeatable on the finished file: a second plan of the patched work files is the same.
    BinaryFile drm(w.dir / "drm.bin", BinaryFile::Mode::Read);
    const SuperfilePlan plan = PlanSuperfile(w.dir / "header.bin", w.dir / "ramdld.bin", drm, SomeTime());
    EXPECT_NO_THROW(VerifySuperfile(w.dir / "out.shx", w.dir / "out.shx", plan));
  }
}

TEST(SuperfileReadBack, ALongerHeaderIsRefusedBeforeAnythingIsPatched) {
  Work w;
  Bytes longer = w.header;
  longer.push_back('\n');
  WriteBytes(w.dir / "header.bin", longer);
  try {
    w.Save(w.dir / "out.shx");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Format);
    EXPECT_THAT(e.what(), HasSubstr("this one 8173"));
  }
  EXPECT_EQ(ReadBytes(w.dir / "header.bin"), longer);
  EXPECT_EQ(ReadBytes(w.dir / "ramdld.bin"), w.ramdld);
}

}  // namespace
}  // namespace resmill::flash::test
