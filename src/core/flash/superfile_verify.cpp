#include "flash/superfile_verify.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "flash/code_group_files.h"
#include "flash/code_groups.h"
#include "flash/srec.h"
#include "flash/superfile_writer.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::flash {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kTextBlock = std::size_t{1} << 20;
constexpr std::size_t kSourceBlock = std::size_t{1} << 20;
// The longest line the read-back ever needs whole: a record of the largest count and its line end.
constexpr std::size_t kLongestLine = 4 + 2 * 255 + 2;
constexpr std::uint16_t kBad = 0x100;

// Header fields the writer sets; written out here on their own so that a wrong
// offset in the writer cannot hide behind the same wrong offset in its check.
constexpr std::size_t kDateField = 320;
constexpr std::size_t kDescriptionField = 448;
constexpr std::size_t kCountField = 944;
constexpr std::size_t kRamdldStartField = 948;
constexpr std::size_t kRamdldChecksumField = 972;
constexpr std::size_t kClearedFrom = 992;
constexpr std::size_t kClearedTo = 1648;
constexpr std::size_t kCodeGroup15Entry = 1004 + 15 * 28;
constexpr std::uint32_t kRamdldChecksumBase = 0x80000;

// Byte value of every pair of upper-case hexadecimal digits (we never write
// lower case), indexed by the pair's two characters; kBad for anything else.
struct UpperPairTable {
  std::vector<std::uint16_t> value = std::vector<std::uint16_t>(65536, kBad);
  UpperPairTable() {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    for (std::size_t h = 0; h < 16; ++h) {
      for (std::size_t l = 0; l < 16; ++l) {
        value[static_cast<std::uint8_t>(kDigits[h]) | static_cast<std::size_t>(kDigits[l]) << 8] =
            static_cast<std::uint16_t>(h * 16 + l);
      }
    }
  }
};

const std::uint16_t* UpperPairs() {
  static const UpperPairTable table;
  return table.value.data();
}

inline std::uint16_t PairAt(const std::uint16_t* table, const char* p) {
  return table[static_cast<std::uint8_t>(p[0]) | static_cast<std::size_t>(static_cast<std::uint8_t>(p[1])) << 8];
}

std::string Shown(char c) {
  return std::isprint(static_cast<unsigned char>(c)) ? std::string(1, c) : fmt::format("\\x{:02X}", c & 0xFF);
}

struct SectionSums {
  std::int64_t size = 0;
  std::uint32_t sum = 0;  // modulo 2^32; only the low 16 bits are compared
  std::array<std::uint8_t, 16> first16{};
};

// The 128 digits of a full record's data: branch-free so that the compiler can
// run it on whole vectors. False when any character is no upper-case digit.
inline bool DecodeFullData(const char* digits, std::uint8_t* out, unsigned& sum) {
  std::uint8_t nibbles[2 * kRecordDataBytes];
  std::uint8_t bad = 0;
  for (std::size_t i = 0; i < sizeof nibbles; ++i) {
    const auto c = static_cast<std::uint8_t>(digits[i]);
    const auto digit = static_cast<std::uint8_t>(c - '0');
    const auto letter = static_cast<std::uint8_t>(c - 'A');
    const bool isDigit = digit < 10;
    bad |= static_cast<std::uint8_t>(!isDigit & !(letter < 6));
    nibbles[i] = isDigit ? digit : static_cast<std::uint8_t>(letter + 10);
  }
  unsigned total = 0;
  for (std::size_t i = 0; i < kRecordDataBytes; ++i) {
    out[i] = static_cast<std::uint8_t>(nibbles[2 * i] << 4 | (nibbles[2 * i + 1] & 15));
    total += out[i];
  }
  sum += total;
  return bad == 0;
}

class SuperfileReadBack {
 public:
  SuperfileReadBack(const fs::path& written, const fs::path& savedAs)
      : file_(written, BinaryFile::Mode::Read), savedAs_(savedAs), buffer_(kTextBlock + kLongestLine) {}

  void Run(const fs::path& headerFile, const fs::path& ramdldFile, BinaryFile& drmImage);

 private:
  [[noreturn]] void Fail(std::string_view where, std::string_view what) const {
    ThrowReadBackFailure("superfile", savedAs_, where, what);
  }
  [[noreturn]] void FailHere(std::string_view what) const {
    Fail(fmt::format("line {} (offset {})", line_, HexOffset(static_cast<std::uint64_t>(bufferOffset_) + pos_)), what);
  }
  [[noreturn]] void FailField(std::size_t offset, std::string_view field, std::string_view what) const {
    Fail(fmt::format("header offset {} ({})", HexOffset(offset), field), what);
  }

  bool Ensure(std::size_t n);
  void ExpectText(std::string_view text, std::string_view what);
  SectionSums ReadSection(BinaryFile& source, std::uint32_t start, std::string_view name);
  [[noreturn]] void FailRecordDigits(const char* p, std::size_t length) const;
  void CheckHeaderFields(const detail::FlashHeader& header, const SectionSums& ramdld, const SectionSums& drm) const;

  BinaryFile file_;
  const fs::path& savedAs_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, have_ = 0;
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[0]
  std::uint64_t line_ = 1;
  bool eof_ = false;
};

// True when `n` bytes of the file are in the buffer from pos_ on.
bool SuperfileReadBack::Ensure(std::size_t n) {
  while (have_ - pos_ < n && !eof_) {
    if (pos_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos_, have_ - pos_);
      bufferOffset_ += static_cast<std::int64_t>(pos_);
      have_ -= pos_;
      pos_ = 0;
    }
    const std::size_t room = buffer_.size() - have_;
    const std::size_t got = file_.Read(std::span(reinterpret_cast<std::uint8_t*>(buffer_.data()) + have_, room));
    have_ += got;
    if (got < room) eof_ = true;
  }
  return have_ - pos_ >= n;
}

void SuperfileReadBack::ExpectText(std::string_view text, std::string_view what) {
  Ensure(text.size());
  const std::size_t available = std::min(have_ - pos_, text.size());
  if (available < text.size() || std::memcmp(buffer_.data() + pos_, text.data(), text.size()) != 0) {
    std::string found(buffer_.data() + pos_, std::min<std::size_t>(have_ - pos_, 20));
    std::replace_if(found.begin(), found.end(), [](char c) { return !std::isprint(static_cast<unsigned char>(c)); },
                    '.');
    FailHere(fmt::format("{} should stand here, but the file has \"{}\"{}", what, found,
                         have_ == pos_ ? " (its end)" : ""));
  }
  pos_ += text.size();
  line_ += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

void SuperfileReadBack::FailRecordDigits(const char* p, std::size_t length) const {
  for (std::size_t i = 2; i < length; ++i) {
    if (HexNibble(p[i]) < 0 || std::islower(static_cast<unsigned char>(p[i]))) {
      FailHere(fmt::format("'{}' at column {} is not an upper-case hexadecimal digit", Shown(p[i]), i + 1));
    }
  }
  FailHere("the record holds a character that is no hexadecimal digit");
}

SectionSums SuperfileReadBack::ReadSection(BinaryFile& source, std::uint32_t start, std::string_view name) {
  const std::uint16_t* table = UpperPairs();
  std::vector<std::uint8_t> expected(kSourceBlock);
  std::size_t expectedPos = 0, expectedHave = 0;
  std::int64_t expectedOffset = 0;  // offset in `source` of expected[0]

  SectionSums sums;
  std::uint32_t address = start;
  std::size_t previousCount = kRecordDataBytes;
  std::array<std::uint8_t, kRecordDataBytes> data{};
  for (;;) {
    if (!Ensure(4)) FailHere(fmt::format("the file ends inside the section of {}; no S7 record closes it", name));
    const char* p = buffer_.data() + pos_;
    if (p[0] == 'S' && p[1] == '7') break;
    if (p[0] != 'S' || p[1] != '3') {
      FailHere(fmt::format("an S3 record of {} or the S7 record after them should start here, not \"{}{}\"", name,
                           Shown(p[0]), Shown(p[1])));
    }
    const std::uint16_t count = PairAt(table, p + 2);
    if (count & kBad) FailRecordDigits(p, 4);
    if (count < 6 || count > 5 + kRecordDataBytes) {
      FailHere(fmt::format("the record count {} does not fit 1 … {} data bytes", count, kRecordDataBytes));
    }
    const std::size_t n = count - 5u;
    if (previousCount != kRecordDataBytes) {
      FailHere(fmt::format("the record before this one carries {} data bytes; only the last record of a section "
                           "may carry fewer than {}",
                           previousCount, kRecordDataBytes));
    }
    const std::size_t length = 4 + 2 * std::size_t{count};
    if (!Ensure(length + 2)) FailHere("the record is cut short by the end of the file");
    p = buffer_.data() + pos_;

    unsigned sum = count, bad = 0;
    std::uint32_t recordAddress = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const std::uint16_t v = PairAt(table, p + 4 + 2 * i);
      bad |= v;
      sum += v;
      recordAddress = recordAddress << 8 | (v & 0xFFu);
    }
    const char* digits = p + 12;
    if (n == kRecordDataBytes) {
      if (!DecodeFullData(digits, data.data(), sum)) bad |= kBad;
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint16_t v = PairAt(table, digits + 2 * i);
        bad |= v;
        sum += v;
        data[i] = static_cast<std::uint8_t>(v);
      }
    }
    const std::uint16_t checksum = PairAt(table, digits + 2 * n);
    bad |= checksum;
    if (bad & kBad) FailRecordDigits(p, length);
    if (((sum + checksum) & 0xFF) != 0xFF) {
      FailHere(fmt::format("checksum mismatch (the record says {:02X}, its bytes give {:02X})", checksum,
                           255 - (sum & 0xFF)));
    }
    if (p[length] != '\r' || p[length + 1] != '\n') {
      FailHere("the record does not end with CR LF right after its checksum");
    }
    if (recordAddress != address) {
      FailHere(fmt::format("the record is for address 0x{:08X}, but {} continues at 0x{:08X}", recordAddress, name,
                           address));
    }

    // The decoded bytes against the file they were written from.
    for (std::size_t done = 0; done < n;) {
      if (expectedPos == expectedHave) {
        expectedOffset += static_cast<std::int64_t>(expectedHave);
        expectedHave = source.ReadAt(expectedOffset, expected);
        expectedPos = 0;
        if (expectedHave == 0) {
          FailHere(fmt::format("the records hold more than the {} bytes of {}", expectedOffset, name));
        }
      }
      const std::size_t k = std::min(n - done, expectedHave - expectedPos);
      if (std::memcmp(data.data() + done, expected.data() + expectedPos, k) != 0) {
        std::size_t i = 0;
        while (data[done + i] == expected[expectedPos + i]) ++i;
        FailHere(fmt::format("data byte {} of the record (address 0x{:08X}) is {:02X}, but {} holds {:02X} at "
                             "offset {}",
                             done + i + 1, address + done + i, data[done + i], name, expected[expectedPos + i],
                             HexOffset(static_cast<std::uint64_t>(expectedOffset) + expectedPos + i)));
      }
      done += k;
      expectedPos += k;
    }
    // The record's own sum already holds its data bytes: take them out of it
    // rather than adding them up again.
    sums.sum += sum - count - (recordAddress >> 24) - (recordAddress >> 16 & 0xFF) - (recordAddress >> 8 & 0xFF) -
                (recordAddress & 0xFF);
    for (std::size_t i = 0; sums.size + static_cast<std::int64_t>(i) < 16 && i < n; ++i) {
      sums.first16[static_cast<std::size_t>(sums.size) + i] = data[i];
    }
    sums.size += static_cast<std::int64_t>(n);
    address += static_cast<std::uint32_t>(n);
    previousCount = n;
    pos_ += length + 2;
    ++line_;
  }
  if (sums.size == 0) FailHere(fmt::format("the section of {} holds no record", name));
  if (expectedPos == expectedHave) {
    expectedOffset += static_cast<std::int64_t>(expectedHave);
    expectedHave = source.ReadAt(expectedOffset, std::span(expected.data(), 1));
  }
  if (expectedHave > expectedPos) {
    FailHere(fmt::format("the section ends after {} bytes, but {} holds {}", sums.size, name, source.Size()));
  }
  return sums;
}

void SuperfileReadBack::CheckHeaderFields(const detail::FlashHeader& header, const SectionSums& ramdld,
                                          const SectionSums& drm) const {
  if (header[kCountField] != 2) {
    FailField(kCountField, "code-group count", fmt::format("{} instead of 2", header[kCountField]));
  }
  CodeGroupTable table;
  try {
    table = detail::ParseCodeGroupTable(header, savedAs_, "");
  } catch (const Error& e) {
    FailField(kCountField, "code-group table", fmt::format("it does not read back ({})", e.what()));
  }
  if (table.entries.size() != 2 || !table.hasCodeGroup15 || table.entries[1].FileName != "CG15.bin") {
    FailField(kCountField, "code-group table",
              fmt::format("it lists {} sections, not exactly RAMDLD and code group 15", table.entries.size()));
  }
  for (std::size_t at = kClearedFrom; at < kClearedTo; ++at) {
    if (at == kCodeGroup15Entry) at += 28;
    if (header[at] != 0) {
      FailField(at, "cleared code-group table", fmt::format("{:02X} where the table holds only code group 15",
                                                            header[at]));
    }
  }
  const std::uint32_t start = GetU32LE(&header[kCodeGroup15Entry]);
  const auto end = static_cast<std::uint32_t>(start + static_cast<std::uint64_t>(drm.size) - 1);
  if (GetU32LE(&header[kCodeGroup15Entry + 4]) != end) {
    FailField(kCodeGroup15Entry + 4, "code group 15 end address",
              fmt::format("0x{:08X}, but the {} bytes of the DRM image end at 0x{:08X}",
                          GetU32LE(&header[kCodeGroup15Entry + 4]), drm.size, end));
  }
  for (std::size_t i = 0; i < 16; ++i) {
    if (header[kCodeGroup15Entry + 8 + i] != drm.first16[i]) {
      FailField(kCodeGroup15Entry + 8 + i, "first 16 bytes of code group 15",
                fmt::format("byte {} is {:02X}, but the DRM image's is {:02X}", i + 1,
                            header[kCodeGroup15Entry + 8 + i], drm.first16[i]));
    }
  }
  if (GetU32LE(&header[kCodeGroup15Entry + 24]) != (drm.sum & 0xFFFFu)) {
    FailField(kCodeGroup15Entry + 24, "code group 15 checksum",
              fmt::format("0x{:08X}, but the DRM image sums to 0x{:04X}", GetU32LE(&header[kCodeGroup15Entry + 24]),
                          drm.sum & 0xFFFFu));
  }
  if (GetU32LE(&header[kRamdldChecksumField]) != (ramdld.sum & 0xFFFFu) + kRamdldChecksumBase) {
    FailField(kRamdldChecksumField, "RAMDLD checksum",
              fmt::format("0x{:08X}, but the RAMDLD sums to 0x{:04X}", GetU32LE(&header[kRamdldChecksumField]),
                          ramdld.sum & 0xFFFFu));
  }
  const FixedText description = PutFixedText(DescriptionText);
  if (!std::equal(description.begin(), description.end(), header.begin() + kDescriptionField)) {
    FailField(kDescriptionField, "description", "it is not the description text");
  }
  if (header[kDateField] == 0) FailField(kDateField, "date", "the date text is missing");
}

void SuperfileReadBack::Run(const fs::path& headerFile, const fs::path& ramdldFile, BinaryFile& drmImage) {
  detail::FlashHeader expected{};
  {
    BinaryFile header(headerFile, BinaryFile::Mode::Read);
    if (header.Size() != kFlashHeaderSize) {
      Fail(headerFile.string(), fmt::format("{} bytes instead of {}", header.Size(), kFlashHeaderSize));
    }
    header.ReadExact(expected, "the flash header");
  }
  detail::FlashHeader got{};
  if (file_.ReadAt(0, got) != got.size()) Fail("offset 0", "the file is shorter than a flash header");
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i] != expected[i]) {
      Fail(fmt::format("offset {}", HexOffset(i)),
           fmt::format("the header byte is {:02X}, but header.bin holds {:02X}", got[i], expected[i]));
    }
  }
  line_ = 1 + static_cast<std::uint64_t>(std::count(got.begin(), got.end(), '\n'));
  bufferOffset_ = kFlashHeaderSize;
  file_.Seek(kFlashHeaderSize);

  const std::string sectionStart = std::string(S0Line) + std::string(kLineEnd);
  const std::string between = std::string(S7Line) + std::string(kLineEnd) + sectionStart;
  BinaryFile ramdld(ramdldFile, BinaryFile::Mode::Read);
  ExpectText(sectionStart, "the S0 record that opens the RAMDLD");
  const SectionSums ramdldSums = ReadSection(ramdld, GetU32LE(&got[kRamdldStartField]), "the RAMDLD");
  ExpectText(between, "the S7 record after the RAMDLD and the S0 record that opens the DRM image");
  const SectionSums drmSums = ReadSection(drmImage, GetU32LE(&got[kCodeGroup15Entry]), "the DRM image");
  ExpectText(S7Line, "the S7 record that closes the DRM image");
  if (Ensure(1)) FailHere("the file goes on after the S7 record that closes the DRM image");
  CheckHeaderFields(got, ramdldSums, drmSums);
}

}  // namespace

void VerifySuperfile(const fs::path& written, const fs::path& savedAs, const fs::path& headerFile,
                     const fs::path& ramdldFile, BinaryFile& drmImage) {
  SuperfileReadBack(written, savedAs).Run(headerFile, ramdldFile, drmImage);
}

}  // namespace resmill::flash
