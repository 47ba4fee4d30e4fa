// The two flash readers: the code-group table, the file set they write, the
// S-record text variants they accept, and the damage they refuse.

#include <algorithm>
#include <functional>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/code_groups.h"
#include "flash/sbf_reader.h"
#include "flash/shx_reader.h"
#include "flash_test_util.h"
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

constexpr AddressRange kRamdldAt{0x03FC0000, 0x03FC7FFF};

std::vector<std::string> Names(const CodeGroupTable& table) {
  std::vector<std::string> names;
  for (const auto& e : table.entries) names.push_back(e.FileName.filename().string());
  return names;
}

// ---- The code-group table ---------------------------------------------------

struct TableCase {
  const char* name;
  std::uint32_t n;
  std::map<int, AddressRange> groups;
  std::vector<std::string> expected;
  bool found;
};

TEST(CodeGroupTableTest, EntriesFollowTheHeader) {
  const std::vector<TableCase> cases = {
      {"only code group 15", 2, {{15, {0x10000000, 0x100FFFFF}}}, {"RAMDLD.bin", "CG15.bin"}, true},
      {"0 and 1 joined", 4, {{0, {0x100, 0x1FF}}, {1, {0x200, 0x2FF}}, {15, {0x900, 0x9FF}}},
       {"RAMDLD.bin", "CG1.bin", "CG15.bin"}, true},
      {"gaps are skipped", 3, {{2, {0x100, 0x1FF}}, {15, {0x900, 0x9FF}}}, {"RAMDLD.bin", "CG2.bin", "CG15.bin"}, true},
      {"15 beyond the first N-1", 2, {{3, {0x100, 0x1FF}}, {15, {0x900, 0x9FF}}}, {"RAMDLD.bin", "CG3.bin"}, false},
      {"RAMDLD alone", 1, {{15, {0x900, 0x9FF}}}, {"RAMDLD.bin"}, false},
      {"code group 0 alone", 2, {{0, {0x100, 0x1FF}}}, {"RAMDLD.bin", "CG1.bin"}, false},
      {"21 entries", 21, {{0, {1, 1}},  {1, {2, 2}},   {2, {3, 3}},   {3, {4, 4}},   {4, {5, 5}},   {5, {6, 6}},
                          {6, {7, 7}},  {7, {8, 8}},   {8, {9, 9}},   {9, {10, 10}}, {10, {11, 11}}, {11, {12, 12}},
                          {12, {13, 13}}, {13, {14, 14}}, {14, {15, 15}}, {15, {16, 16}}, {16, {17, 17}},
                          {17, {18, 18}}, {18, {19, 19}}, {19, {20, 20}}, {40, {21, 21}}},
       {"RAMDLD.bin", "CG1.bin", "CG2.bin", "CG3.bin", "CG4.bin", "CG5.bin", "CG6.bin", "CG7.bin", "CG8.bin",
        "CG9.bin", "CG10.bin", "CG11.bin", "CG12.bin", "CG13.bin", "CG14.bin", "CG15.bin", "CG16.bin", "CG17.bin",
        "CG18.bin", "CG19.bin"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "header.bin", MakeHeader(c.n, kRamdldAt, c.groups));
    CodeGroupTable table = ParseCodeGroupTable(dir / "header.bin", dir.path());
    EXPECT_EQ(table.codeGroupCount, c.n);
    EXPECT_EQ(Names(table), c.expected);
    EXPECT_EQ(table.hasCodeGroup15, c.found);
    EXPECT_EQ(table.entries[0].FileName, dir / "RAMDLD.bin");
    EXPECT_EQ(table.entries[0].Length, 0x8000);
  }
}

TEST(CodeGroupTableTest, JoiningSpansBothCodeGroups) {
  TempDir dir;
  WriteBytes(dir / "header.bin",
             MakeHeader(4, kRamdldAt, {{0, {0x100, 0x1FF}}, {1, {0x200, 0x3FF}}, {15, {0x900, 0x9FF}}}));
  CodeGroupTable table = ParseCodeGroupTable(dir / "header.bin", dir.path());
  ASSERT_EQ(table.entries.size(), 3u);
  EXPECT_EQ(table.entries[1].StartAddress, 0x100u);
  EXPECT_EQ(table.entries[1].EndAddress, 0x3FFu);
  EXPECT_EQ(table.entries[1].Length, 0x300);
  EXPECT_EQ(table.entries[2].StartAddress, 0x900u);
  EXPECT_EQ(table.entries[2].Length, 0x100);
}

TEST(CodeGroupTableTest, UnboundedTablesAreRefused) {
  const std::vector<std::pair<TableCase, std::string>> cases = {
      {{"N above 21", 22, {{15, {0x900, 0x9FF}}}, {}, false}, "at most 21"},
      {{"too few present", 5, {{2, {0x100, 0x1FF}}, {15, {0x900, 0x9FF}}}, {}, false}, "only 3 are present"},
      {{"huge N", 0xFFFFFFFF, {{15, {0x900, 0x9FF}}}, {}, false}, "at most 21"},
  };
  for (const auto& [c, message] : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "header.bin", MakeHeader(c.n, kRamdldAt, c.groups));
    try {
      ParseCodeGroupTable(dir / "header.bin", dir.path());
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Format);
      EXPECT_THAT(e.what(), HasSubstr("header.bin"));
      EXPECT_THAT(e.what(), HasSubstr(message));
    }
  }
}

// ---- Superfile extraction ----------------------------------------------------

struct TwoImages {
  Bytes ramdld = Pattern(1000, 1);
  Bytes drm = Pattern(5000, 2);
  Bytes header = MakeHeader(2, kRamdldAt, {{15, {0x10000000, 0x10001387}}});
};

TEST(ShxExtractionTest, WritesTheCodeGroupFileSet) {
  TempDir dir;
  TwoImages in;
  WriteBytes(dir / "in.shx", Superfile(in.header, Section(in.ramdld, 0x03FC0000) + Section(in.drm, 0x10000000)));
  ScriptedUi ui;
  EXPECT_TRUE(ExtractShxCodeGroups(dir / "in.shx", dir.path(), ui));
  EXPECT_THAT(ListFolder(dir.path()), ElementsAre("CG15.bin", "RAMDLD.bin", "header.bin", "in.shx"));
  EXPECT_EQ(ReadBytes(dir / "header.bin"), in.header);
  EXPECT_EQ(ReadBytes(dir / "RAMDLD.bin"), in.ramdld);
  EXPECT_EQ(ReadBytes(dir / "CG15.bin"), in.drm);
  EXPECT_THAT(ui.progressCaptions, ElementsAre("Extracting codegroups"));
  EXPECT_FALSE(ui.progressVisible);
  ASSERT_FALSE(ui.progressPositions.empty());
  EXPECT_EQ(ui.progressPositions.back(), 100);
  EXPECT_TRUE(std::is_sorted(ui.progressPositions.begin(), ui.progressPositions.end()));
}

TEST(ShxExtractionTest, JoinedCodeGroupsShareOneSection) {
  TempDir dir;
  Bytes ramdld = Pattern(300, 3), cg01 = Pattern(2000, 4), drm = Pattern(777, 5);
  Bytes header = MakeHeader(4, kRamdldAt, {{0, {0x100, 0x1FF}}, {1, {0x200, 0x7CF}}, {15, {0x900, 0xC08}}});
  WriteBytes(dir / "in.shx",
             Superfile(header, Section(ramdld, 0x03FC0000) + Section(cg01, 0x100) + Section(drm, 0x900)));
  NullProgress progress;
  EXPECT_TRUE(ExtractShxCodeGroups(dir / "in.shx", dir.path(), progress));
  EXPECT_THAT(ListFolder(dir.path()), ElementsAre("CG1.bin", "CG15.bin", "RAMDLD.bin", "header.bin", "in.shx"));
  EXPECT_EQ(ReadBytes(dir / "CG1.bin"), cg01);
  EXPECT_EQ(ReadBytes(dir / "CG15.bin"), drm);
}

TEST(ShxExtractionTest, NoCodeGroup15WritesOnlyTheHeader) {
  TempDir dir;
  Bytes header = MakeHeader(2, kRamdldAt, {{3, {0x100, 0x1FF}}, {15, {0x900, 0x9FF}}});
  WriteBytes(dir / "in.shx", Superfile(header, Section(Pattern(10, 1), 0) + Section(Pattern(10, 2), 0x100)));
  ScriptedUi ui;
  EXPECT_FALSE(ExtractShxCodeGroups(dir / "in.shx", dir.path(), ui));
  EXPECT_THAT(ListFolder(dir.path()), ElementsAre("header.bin", "in.shx"));
  EXPECT_TRUE(ui.progressCaptions.empty());
}

TEST(ShxExtractionTest, ReplacesFilesOfAnEarlierUnpack) {
  TempDir dir;
  TwoImages in;
  WriteBytes(dir / "CG15.bin", Pattern(99999, 9));
  WriteBytes(dir / "temp.bin", Pattern(10, 9));
  WriteBytes(dir / "in.shx", Superfile(in.header, Section(in.ramdld, 0) + Section(in.drm, 0x10000000)));
  NullProgress progress;
  EXPECT_TRUE(ExtractShxCodeGroups(dir / "in.shx", dir.path(), progress));
  EXPECT_EQ(ReadBytes(dir / "CG15.bin"), in.drm);
  EXPECT_THAT(ListFolder(dir.path()), ElementsAre("CG15.bin", "RAMDLD.bin", "header.bin", "in.shx"));
}

// Text variants other writers produce: each must give the same code groups.
TEST(ShxExtractionTest, AcceptsTheVariantsOfSRecordText) {
  TwoImages in;
  auto sections = [&](const std::string& eol, std::size_t perRecord) {
    return Section(in.ramdld, 0x03FC0000, eol, perRecord) + Section(in.drm, 0x10000000, eol, perRecord);
  };
  auto lower = [](std::string text) {
    for (char& c : text) {
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
  };
  // Each record type with its own address size, the ramdld as S1, the DRM as S2.
  std::string mixed = "S0030000FC\r\n";
  for (std::size_t i = 0; i < in.ramdld.size(); i += 32) {
    Bytes piece(in.ramdld.begin() + static_cast<std::ptrdiff_t>(i),
                in.ramdld.begin() + static_cast<std::ptrdiff_t>(std::min(in.ramdld.size(), i + 32)));
    mixed += Record(1, static_cast<std::uint32_t>(i), piece) + "\r\n";
  }
  mixed += Record(5, static_cast<std::uint32_t>((in.ramdld.size() + 31) / 32), {}) + "\r\n" + Record(9, 0, {}) +
           "\r\nS70500000000FA\r\n";
  mixed += Record(0, 0, Bytes(60, 'x')) + "\n";  // a long S0
  for (std::size_t i = 0; i < in.drm.size(); i += 250) {
    Bytes piece(in.drm.begin() + static_cast<std::ptrdiff_t>(i),
                in.drm.begin() + static_cast<std::ptrdiff_t>(std::min(in.drm.size(), i + 250)));
    mixed += Record(2, 0x100000 + static_cast<std::uint32_t>(i), piece) + "\n";
    mixed += Record(3, 0, {}) + "\n";  // count 5: no data
  }
  mixed += Record(8, 0, {}) + "\n" + "S70500000000FA";

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"CR LF", sections("\r\n", 64)},
      {"LF alone", sections("\n", 64)},
      {"lower case", lower(sections("\r\n", 64))},
      {"one byte a record", sections("\r\n", 1)},
      {"250 bytes a record", sections("\n", 250)},
      {"no line end at the end", sections("\r\n", 64).substr(0, sections("\r\n", 64).size() - 2)},
      {"blank lines", "\r\n" + sections("\r\n", 16) + "\r\n\n"},
      {"S1, S2, S5, S8, S9 and a long S0", mixed},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteBytes(dir / "in.shx", Superfile(in.header, text));
    NullProgress progress;
    ASSERT_TRUE(ExtractShxCodeGroups(dir / "in.shx", dir.path(), progress));
    EXPECT_EQ(ReadBytes(dir / "RAMDLD.bin"), in.ramdld);
    EXPECT_EQ(ReadBytes(dir / "CG15.bin"), in.drm);
  }
}

// Sections written by srec_cat, in every address size and line layout it offers.
TEST(ShxExtractionTest, ReadsSectionsWrittenBySrecCat) {
  if (!resmill::test::HaveTool("srec_cat")) GTEST_SKIP() << "srec_cat missing";
  TwoImages in;
  in.drm = Pattern(70001, 7);  // spans several read blocks' worth of records
  struct Variant {
    const char* options;
    std::uint32_t offset;
  };
  const std::vector<Variant> variants = {
      {"-address-length=2", 0x1000},
      {"-address-length=3 -line-length=80", 0x100000},
      {"-address-length=4", 0x10000000},
      {"-address-length=4 -line-length=142 -crlf", 0x10000000},
      {"-address-length=4 -line-length=46 -data-only", 0x12345678},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.options);
    TempDir dir;
    WriteBytes(dir / "ramdld.raw", in.ramdld);
    WriteBytes(dir / "drm.raw", in.drm);
    std::string body;
    for (const char* image : {"ramdld.raw", "drm.raw"}) {
      std::string out;
      std::string cmd = fmt::format("srec_cat '{}' -binary -offset 0x{:X} -o - -motorola {}",
                                    (dir / image).string(), v.offset, v.options);
      ASSERT_EQ(resmill::test::RunCommand(cmd, &out), 0) << cmd;
      // srec_cat ends a section without an S7 unless it knows a start address.
      body += out + "S70500000000FA\r\n";
    }
    WriteBytes(dir / "in.shx", Superfile(in.header, body));
    NullProgress progress;
    ASSERT_TRUE(ExtractShxCodeGroups(dir / "in.shx", dir.path(), progress));
    EXPECT_EQ(ReadBytes(dir / "RAMDLD.bin"), in.ramdld);
    EXPECT_EQ(ReadBytes(dir / "CG15.bin"), in.drm);
  }
}

// ---- Damaged superfiles --------------------------------------------------------

struct DamageCase {
  const char* name;
  std::function<Bytes(const TwoImages&)> make;
  std::string message;
};

Bytes WithText(const TwoImages& in, const std::string& first, const std::string& second) {
  return Superfile(in.header, first + second);
}

TEST(ShxExtractionTest, DamagedFilesAreRefusedWhole) {
  const std::string goodRamdld = Section(Pattern(1000, 1), 0x03FC0000);
  auto damage = [](std::string text, std::size_t line, const std::function<void(std::string&)>& edit) {
    // Edits one line (1-based) of a section's text.
    std::size_t begin = 0;
    for (std::size_t i = 1; i < line; ++i) begin = text.find('\n', begin) + 1;
    std::size_t end = text.find('\n', begin);
    std::string l = text.substr(begin, end - begin);
    edit(l);
    return text.replace(begin, end - begin, l);
  };
  const std::string drmText = Section(Pattern(5000, 2), 0x10000000);
  // The checksum's last digit, the line's CR after it.
  auto flipChecksum = [](std::string& l) { l[l.size() - 2] = l[l.size() - 2] == '0' ? '1' : '0'; };
  const Bytes kHeader = TwoImages{}.header;
  const std::vector<DamageCase> cases = {
      {"bad checksum in the second section",
       [&](const TwoImages& in) {
         return WithText(in, goodRamdld, damage(drmText, 5, [](std::string& l) { l[l.size() - 2] ^= 1; }));
       },
       // Lines count as an editor counts them, the header's line feeds included.
       fmt::format("line {} (offset", 1 + std::count(kHeader.begin(), kHeader.end(), '\n') + 18 + 4)},
      {"bad checksum names it",
       [&](const TwoImages& in) {
         return WithText(in, goodRamdld, damage(drmText, 5, [](std::string& l) { l[l.size() - 2] = l[l.size() - 2] == '0' ? '1' : '0'; }));
       },
       "checksum mismatch"},
      {"non-hexadecimal digit",
       [&](const TwoImages& in) { return WithText(in, damage(goodRamdld, 3, [](std::string& l) { l[20] = 'G'; }), drmText); },
       "'G' at column 21 is not a hexadecimal digit"},
      {"line shorter than its count",
       [&](const TwoImages& in) { return WithText(in, damage(goodRamdld, 2, [](std::string& l) { l.erase(30, 2); }), drmText); },
       "shorter than its count"},
      {"line longer than its count",
       [&](const TwoImages& in) { return WithText(in, damage(goodRamdld, 2, [](std::string& l) { l.insert(l.size() - 1, "00"); }), drmText); },
       "longer than its count"},
      {"record cut short by the end of the file",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, drmText.substr(0, drmText.size() - 60)); },
       "cut short by the end of the file"},
      {"no S7 after the last section",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, drmText.substr(0, drmText.size() - 16)); },
       "no S7 record ends the section of CG15.bin"},
      {"a section missing",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, ""); },
       "after 1 of the 2 sections"},
      {"more sections than entries",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, drmText + Section(Pattern(10, 3), 0)); },
       "the last of the 2 sections"},
      {"an extra empty section",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, drmText + "S70500000000FA\r\n"); },
       "more sections than the 2"},
      {"non-hexadecimal count",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, "S3G50000FC\r\n" + drmText); },
       "'G' at column 3 is not a hexadecimal digit"},
      {"bad checksum in an S0 record",
       [&](const TwoImages& in) { return WithText(in, damage(goodRamdld, 1, flipChecksum), drmText); },
       "checksum mismatch"},
      {"bad checksum in an S7 record",
       [&](const TwoImages& in) {
         const auto last = static_cast<std::size_t>(std::count(drmText.begin(), drmText.end(), '\n'));
         return WithText(in, goodRamdld, damage(drmText, last, flipChecksum));
       },
       "checksum mismatch"},
      {"a line that is no record",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, "# comment\r\n" + drmText); },
       "not an S-record"},
      {"reserved record type",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, "S4030000FC\r\n" + drmText); },
       "unknown record type 'S4'"},
      {"count too small for the address",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, "S3030000FC\r\n" + drmText); },
       "count 3 is too small for an S3 record"},
      {"count too small for an S2 address",
       [&](const TwoImages& in) { return WithText(in, goodRamdld, "S203000000\r\n" + drmText); },
       "count 3 is too small for an S2 record"},
      {"N above 21",
       [&](const TwoImages&) {
         return Superfile(MakeHeader(22, kRamdldAt, {{15, {1, 2}}}), goodRamdld + drmText);
       },
       "at most 21"},
      {"fewer entries than N - 1",
       [&](const TwoImages&) {
         return Superfile(MakeHeader(3, kRamdldAt, {{15, {1, 2}}}), goodRamdld + drmText);
       },
       "only 2 are present"},
      {"shorter than a flash header",
       [](const TwoImages& in) { return Bytes(in.header.begin(), in.header.begin() + 8000); },
       "file ends inside the flash header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TwoImages in;
    WriteBytes(dir / "in.shx", c.make(in));
    ScriptedUi ui;
    try {
      ExtractShxCodeGroups(dir / "in.shx", dir.path(), ui);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Format);
      EXPECT_THAT(e.what(), HasSubstr((dir / "in.shx").string()));
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
    std::vector<std::string> left = ListFolder(dir.path());
    left.erase(std::remove(left.begin(), left.end(), "header.bin"), left.end());
    EXPECT_THAT(left, ElementsAre("in.shx"));
    EXPECT_FALSE(ui.progressVisible);
  }
}

// ---- SBF extraction ------------------------------------------------------------

TEST(SbfExtractionTest, WritesOneFilePerBlock) {
  TempDir dir;
  Bytes header = MakeHeader(3, kRamdldAt, {{2, {0x100, 0x1FF}}, {15, {0x900, 0x9FF}}});
  Bytes ramdld = Pattern(3000, 1), drm = Pattern(3 * 1024 * 1024 + 5, 2);  // several copy chunks
  WriteBytes(dir / "in.sbf", Concat({header, SbfBlock(ramdld), SbfBlock({}), SbfBlock(drm)}));
  ScriptedUi ui;
  EXPECT_TRUE(ExtractSbfCodeGroups(dir / "in.sbf", dir.path(), ui));
  EXPECT_THAT(ListFolder(dir.path()), ElementsAre("CG15.bin", "CG2.bin", "RAMDLD.bin", "header.bin", "in.sbf"));
  EXPECT_EQ(ReadBytes(dir / "header.bin"), header);
  EXPECT_EQ(ReadBytes(dir / "RAMDLD.bin"), ramdld);
  EXPECT_TRUE(ReadBytes(dir / "CG2.bin").empty());
  EXPECT_EQ(ReadBytes(dir / "CG15.bin"), drm);
  EXPECT_THAT(ui.progressCaptions, ElementsAre("Extracting codegroups"));
  EXPECT_EQ(ui.progressPositions.back(), 100);
}

TEST(SbfExtractionTest, JoinedCodeGroupsTakeTheSecondBlock) {
  TempDir dir;
  Bytes header = MakeHeader(4, kRamdldAt, {{0, {0x100, 0x1FF}}, {1, {0x200, 0x2FF}}, {15, {0x900, 0x9FF}}});
  Bytes cg01 = Pattern(512, 3), drm = Pattern(256, 4);
  WriteBytes(dir / "in.sbf", Concat({header, SbfBlock(Pattern(10, 1)), SbfBlock(cg01), SbfBlock(drm)}));
  NullProgress progress;
  EXPECT_TRUE(ExtractSbfCodeGroups(dir / "in.sbf", dir.path(), progress));
  EXPECT_EQ(ReadBytes(dir / "CG1.bin"), cg01);
  EXPECT_EQ(ReadBytes(dir / "CG15.bin"), drm);
  EXPECT_FALSE(std::filesystem::exists(dir / "CG0.bin"));
}

TEST(SbfExtractionTest, DamagedFilesAreRefusedWhole) {
  Bytes header = MakeHeader(3, kRamdldAt, {{2, {0x100, 0x1FF}}, {15, {0x900, 0x9FF}}});
  Bytes a = SbfBlock(Pattern(100, 1)), b = SbfBlock(Pattern(50, 2)), c = SbfBlock(Pattern(200, 3));
  Bytes full = Concat({header, a, b, c});
  auto cut = [&](std::size_t drop) { return Bytes(full.begin(), full.end() - static_cast<std::ptrdiff_t>(drop)); };
  Bytes longLength = full;
  longLength[static_cast<std::size_t>(kFlashHeaderSize) + a.size() + b.size() + 9] = 0x01;  // high byte of the third block's L
  const std::vector<std::tuple<const char*, Bytes, std::string>> cases = {
      {"length past the end", longLength, "block 3 at offset 0x0020BC: the CG15.bin block's length 16777416 runs past"},
      {"data cut short", cut(40), "CG15.bin block's length 200 runs past the end of the file (172 bytes remain)"},
      {"tail cut short", cut(5), "ends inside the tail of the CG15.bin block"},
      {"lead-in cut short", Concat({header, a, b, Bytes(10, 0)}), "ends inside the lead-in of the CG15.bin block"},
      {"a block missing", Concat({header, a, b}), "after 2 of the 3 blocks"},
      {"an extra block", Concat({full, SbfBlock({})}), "block 4 at offset"},
  };
  for (const auto& [name, bytes, message] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteBytes(dir / "in.sbf", bytes);
    NullProgress progress;
    try {
      ExtractSbfCodeGroups(dir / "in.sbf", dir.path(), progress);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::Format);
      EXPECT_THAT(e.what(), HasSubstr((dir / "in.sbf").string()));
      EXPECT_THAT(e.what(), HasSubstr(message));
    }
    EXPECT_THAT(ListFolder(dir.path()), ElementsAre("header.bin", "in.sbf"));
  }
}

}  // namespace
}  // namespace resmill::flash::test
