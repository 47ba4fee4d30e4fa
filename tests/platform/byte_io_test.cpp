#include "platform/byte_io.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/numeric.h"
#include "test_support.h"

namespace resmill {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(ByteOrder, SwapAndBigEndian) {
  EXPECT_EQ(SwapU32(0x12345678u), 0x78563412u);
  std::uint8_t bytes[4];
  PutU32BE(0x10D0001Cu, bytes);
  EXPECT_EQ(bytes[0], 0x10);
  EXPECT_EQ(bytes[3], 0x1C);
  EXPECT_EQ(GetU32BE(bytes), 0x10D0001Cu);
  EXPECT_EQ(GetU32LE(bytes), 0x1C00D010u);
}

TEST(ByteOrder, ReadAndWriteInFile) {
  TempDir dir;
  WriteBytes(dir / "f", {0x12, 0x34, 0x56, 0x78, 0xAA});
  BinaryFile file(dir / "f", BinaryFile::Mode::Update);
  EXPECT_EQ(ReadU32BEAt(file, 0), 0x12345678u);
  EXPECT_EQ(file.Position(), 4);
  // Fewer than 4 bytes left: an error that names the offset, never a made-up value.
  EXPECT_THROW(ReadU32BEAt(file, 2), Error);
  WriteU32BEAt(file, 1, 0xCAFEBABEu);
  file.Close();
  EXPECT_EQ(ReadBytes(dir / "f"), (std::vector<std::uint8_t>{0x12, 0xCA, 0xFE, 0xBA, 0xBE}));
}

TEST(Hex, DigitValuesAndPairs) {
  struct Case { char c; int value; };
  for (Case c : {Case{'0', 0}, Case{'9', 9}, Case{'A', 10}, Case{'F', 15}, Case{'a', 10}, Case{'f', 15},
                 Case{'G', -1}, Case{'g', -1}, Case{'/', -1}, Case{':', -1}, Case{'@', -1}, Case{'\0', -1}}) {
    EXPECT_EQ(HexNibble(c.c), c.value) << c.c;
  }
  EXPECT_EQ(HexPair(0xE1)[0], 'E');
  EXPECT_EQ(HexPair(0xE1)[1], '1');
  EXPECT_EQ(HexPair(0x0A)[0], '0');
  EXPECT_EQ(HexPair(0x0A)[1], 'A');
}

TEST(Sum16, SumsFromThePositionToTheEnd) {
  TempDir dir;
  WriteBytes(dir / "abc", {'x', 'a', 'b', 'c'});
  BinaryFile abc(dir / "abc", BinaryFile::Mode::Read);
  abc.Seek(1);
  EXPECT_EQ(Sum16(abc), 294);
  EXPECT_EQ(abc.Position(), abc.Size());

  WriteBytes(dir / "ones", std::vector<std::uint8_t>(65536, 0x01));
  BinaryFile ones(dir / "ones", BinaryFile::Mode::Read);
  EXPECT_EQ(Sum16(ones), 0);

  WriteBytes(dir / "ff", std::vector<std::uint8_t>(20000, 0xFF));
  BinaryFile ff(dir / "ff", BinaryFile::Mode::Read);
  EXPECT_EQ(Sum16(ff), (20000u * 255u) % 65536u);

  // Bytes in memory sum the same, however many there are.
  EXPECT_EQ(Sum16(std::vector<std::uint8_t>{'a', 'b', 'c'}), 294);
  EXPECT_EQ(Sum16(std::vector<std::uint8_t>(65536, 0x01)), 0);
  EXPECT_EQ(Sum16(std::vector<std::uint8_t>(20000000, 0xFF)), (20000000ull * 255u) % 65536u);
}

TEST(CopyRange, CountedAndWholeModes) {
  TempDir dir;
  std::vector<std::uint8_t> source(20000);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i * 7);
  WriteBytes(dir / "src", source);
  struct Case { std::int64_t offset; std::int64_t count; bool counted; std::int64_t expected; };
  const Case cases[] = {
      {0, 0, true, 0},            // count 0 copies nothing
      {0, 8192, true, 8192},      // one full block, then nothing for the rest
      {100, 8193, true, 8193},    // a block and one byte
      {19000, 5000, true, 1000},  // more than remains: up to the end
      {50, -5, true, 0},          // a negative count copies nothing
      {0, 0, false, 20000},       // whole mode
      {19999, 0, false, 1},
      {20000, 0, false, 0},       // at the end
      {30000, 0, false, 0},       // beyond the end
  };
  for (const Case& c : cases) {
    BinaryFile in(dir / "src", BinaryFile::Mode::Read);
    in.Seek(123);
    BinaryFile out(dir / "dst", BinaryFile::Mode::Create);
    out.Write(std::vector<std::uint8_t>{0xEE});
    EXPECT_EQ(CopyRange(in, c.offset, c.count, out, c.counted), c.expected) << c.offset << " " << c.count;
    // Copies from one file may run on several threads at once: none moves the source.
    EXPECT_EQ(in.Position(), 123);
    out.Close();
    auto copied = ReadBytes(dir / "dst");
    ASSERT_EQ(static_cast<std::int64_t>(copied.size()), c.expected + 1);
    for (std::int64_t i = 0; i < c.expected; ++i) {
      ASSERT_EQ(copied[static_cast<std::size_t>(i + 1)], source[static_cast<std::size_t>(c.offset + i)]);
    }
  }
}

TEST(CopyExactly, ASourceThatEndsFirstIsAFormatErrorAtTheOffset) {
  TempDir dir;
  WriteBytes(dir / "src", std::vector<std::uint8_t>(100, 0x5A));
  BinaryFile in(dir / "src", BinaryFile::Mode::Read);
  BinaryFile out(dir / "dst", BinaryFile::Mode::Create);
  CopyExactly(in, 90, 10, out, "the last part");  // exactly to the end
  EXPECT_EQ(out.Size(), 10);
  try {
    CopyExactly(in, 0x50, 0x20, out, "picture 7");
    FAIL() << "a copy that ends early was taken as complete";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Format);
    const std::string message = e.what();
    EXPECT_NE(message.find("src"), std::string::npos) << message;
    EXPECT_NE(message.find("0x000050"), std::string::npos) << message;
    EXPECT_NE(message.find("file ends inside picture 7"), std::string::npos) << message;
  }
}

TEST(ReadFileHead, AtMostTheLimitAndTheWholeLength) {
  TempDir dir;
  std::vector<std::uint8_t> bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  WriteBytes(dir / "f", bytes);
  for (std::uint64_t limit : {0u, 1u, 999u, 1000u, 5000u}) {
    std::int64_t size = -1;
    const std::vector<std::uint8_t> head = ReadFileHead(dir / "f", limit, &size);
    EXPECT_EQ(size, 1000);
    ASSERT_EQ(head.size(), std::min<std::uint64_t>(limit, 1000)) << limit;
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin())) << limit;
  }
  EXPECT_THROW(ReadFileHead(dir / "missing", 10), Error);
}

TEST(ReadWholeFile, UpToTheLargestSizeAndNoFurther) {
  TempDir dir;
  WriteBytes(dir / "f", std::vector<std::uint8_t>(1000, 0x42));
  EXPECT_EQ(ReadWholeFile(dir / "f", 1000, "a list").size(), 1000u);
  try {
    ReadWholeFile(dir / "f", 999, "a list");
    FAIL() << "a file beyond the largest size was read";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Limit);
    EXPECT_NE(std::string(e.what()).find("1000 bytes is too large for a list"), std::string::npos) << e.what();
  }
  // An open file is read from its start and keeps its position.
  BinaryFile open(dir / "f", BinaryFile::Mode::Read);
  open.Seek(700);
  EXPECT_EQ(ReadWholeFile(open, 1000, "a list").size(), 1000u);
  EXPECT_EQ(open.Position(), 700);
}

TEST(Numeric, RoundingRules) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(0.4), 0);
  EXPECT_EQ(PercentDone(1, 8), 12);  // 12.5 goes to the even neighbour
  EXPECT_EQ(PercentDone(3, 8), 38);  // 37.5
  EXPECT_EQ(PercentDone(5, 0), 0);
  struct Case { int a, b, c, expected; };
  for (Case c : {Case{5, 1, 2, 3}, Case{-5, 1, 2, -3}, Case{7, 3, 2, 11}, Case{10, 10, 3, 33}, Case{1, 1, 0, -1},
                 Case{145, 48, 100, 70}}) {
    EXPECT_EQ(MultiplyDivide(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
  }
}

TEST(BinaryFile, FailuresNameTheOperationAndFile) {
  TempDir dir;
  try {
    BinaryFile missing(dir / "missing.bin", BinaryFile::Mode::Read);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Io);
    EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("open"), std::string::npos);
  }
  // A folder is not a file, whatever it is opened for.
  for (BinaryFile::Mode mode : {BinaryFile::Mode::Read, BinaryFile::Mode::Create, BinaryFile::Mode::Update}) {
    EXPECT_THROW(BinaryFile(dir.path(), mode), Error) << static_cast<int>(mode);
  }
}

}  // namespace
}  // namespace resmill
