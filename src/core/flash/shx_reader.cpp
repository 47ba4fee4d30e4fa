// Superfile reading: the flash header, then S-record text in sections that each
// end with an S7 record. Every record is verified (hex digits, count, checksum)
// before its data count; a damaged file gives no code-group file at all.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "flash/code_group_files.h"
#include "flash/code_groups.h"
#include "flash/srec.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/numeric.h"

namespace resmill::flash {

namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 20;
// Room for the unread tail of the previous block: one record line and its line end.
constexpr std::size_t kCarry = kMaxRecordLine + 2;
constexpr std::uint16_t kBadPair = 0x100;

// Byte value of every two-character digit pair, indexed by the pair's two bytes;
// kBadPair where either character is no hexadecimal digit (either case accepted).
struct HexPairTable {
  std::vector<std::uint16_t> value = std::vector<std::uint16_t>(65536, kBadPair);
  HexPairTable() {
    for (int hi = 0; hi < 256; ++hi) {
      for (int lo = 0; lo < 256; ++lo) {
        int h = HexNibble(static_cast<char>(hi)), l = HexNibble(static_cast<char>(lo));
        if (h >= 0 && l >= 0) value[static_cast<std::size_t>(hi | lo << 8)] = static_cast<std::uint16_t>(h * 16 + l);
      }
    }
  }
};

const HexPairTable& PairTable() {
  static const HexPairTable table;
  return table;
}

inline std::uint16_t PairAt(const std::uint16_t* table, const char* p) {
  return table[static_cast<std::uint8_t>(p[0]) | static_cast<std::uint8_t>(p[1]) << 8];
}

// Address bytes of each record type S0 … S9; 0 for the reserved S4.
constexpr std::array<int, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

class ShxExtraction {
 public:
  ShxExtraction(BinaryFile& flash, const detail::FlashHeader& header, detail::CodeGroupWriter& writer,
                ProgressStep& step)
      : flash_(flash), writer_(writer), step_(step) {
    total_ = flash_.Size();
    // Small files get small buffers; large ones are read a megabyte at a time.
    block_ = static_cast<std::size_t>(
        std::clamp<std::int64_t>(total_ - kFlashHeaderSize, 4096, static_cast<std::int64_t>(kReadBlock)));
    buffer_.resize(block_ + kCarry);
    decoded_.resize(block_ + 256);
    // Line numbers as an editor shows them for the whole file, header included.
    line_ = 1 + static_cast<std::uint64_t>(std::count(header.begin(), header.end(), '\n'));
    bufferOffset_ = kFlashHeaderSize;
    flash_.Seek(kFlashHeaderSize);
  }

  void Run();

 private:
  void Refill();
  [[noreturn]] void Fail(std::size_t at, std::string_view what) const;
  [[noreturn]] void FailRecord(std::size_t at, std::size_t recordLength) const;
  void Flush() {
    writer_.Append(std::span(decoded_.data(), decodedLength_));
    decodedLength_ = 0;
  }

  BinaryFile& flash_;
  detail::CodeGroupWriter& writer_;
  ProgressStep& step_;
  std::vector<char> buffer_;
  std::vector<std::uint8_t> decoded_;
  std::size_t block_ = kReadBlock;
  std::size_t decodedLength_ = 0;
  std::size_t pos_ = 0, have_ = 0;
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[0]
  std::int64_t total_ = 0;
  std::uint64_t line_ = 1;
  bool eof_ = false;
};

void ShxExtraction::Refill() {
  std::memmove(buffer_.data(), buffer_.data() + pos_, have_ - pos_);
  bufferOffset_ += static_cast<std::int64_t>(pos_);
  have_ -= pos_;
  pos_ = 0;
  std::size_t got = flash_.Read(std::span(reinterpret_cast<std::uint8_t*>(buffer_.data()) + have_, block_));
  have_ += got;
  if (got < block_) eof_ = true;
  step_.SetPosition(PercentDone(bufferOffset_ + static_cast<std::int64_t>(have_), total_));
}

void ShxExtraction::Fail(std::size_t at, std::string_view what) const {
  ThrowFormatError(flash_.Path(),
                   fmt::format("line {} (offset {})", line_,
                               HexOffset(static_cast<std::uint64_t>(bufferOffset_) + at)),
                   what);
}

// Says why a record whose digits did not all decode is damaged.
void ShxExtraction::FailRecord(std::size_t at, std::size_t recordLength) const {
  const char* p = buffer_.data() + at;
  std::size_t available = std::min(recordLength, have_ - at);
  for (std::size_t i = 4; i < available; ++i) {
    if (p[i] == '\r' || p[i] == '\n') {
      Fail(at, fmt::format("the record is shorter than its count {} says", (recordLength - 4) / 2));
    }
  }
  for (std::size_t i = 4; i < available; ++i) {
    if (HexNibble(p[i]) < 0) {
      Fail(at, fmt::format("'{}' at column {} is not a hexadecimal digit",
                           std::isprint(static_cast<unsigned char>(p[i])) ? std::string(1, p[i])
                                                                           : fmt::format("\\x{:02X}", p[i] & 0xFF),
                           i + 1));
    }
  }
  Fail(at, "the record is cut short by the end of the file");
}

void ShxExtraction::Run() {
  const std::uint16_t* table = PairTable().value.data();
  const std::size_t sections = writer_.SectionsExpected();
  std::size_t section = 0;
  for (;;) {
    if (!eof_ && have_ - pos_ < kCarry) Refill();
    if (pos_ == have_) break;
    const char* p = buffer_.data() + pos_;
    const std::size_t available = have_ - pos_;

    if (p[0] == '\n' || (p[0] == '\r' && (available == 1 || p[1] == '\n'))) {  // empty line
      pos_ += (p[0] == '\r' && available > 1) ? 2 : 1;
      ++line_;
      continue;
    }
    if (available < 4) Fail(pos_, "the record is cut short by the end of the file");
    if (p[0] != 'S') Fail(pos_, "the line is not an S-record (it does not start with 'S')");
    const int type = p[1] - '0';
    if (type < 0 || type > 9 || kAddressBytes[static_cast<std::size_t>(type)] == 0) {
      Fail(pos_, fmt::format("unknown record type 'S{}'", p[1]));
    }
    const std::uint16_t count = PairAt(table, p + 2);
    if (count & kBadPair) FailRecord(pos_, available);
    const auto addressBytes = static_cast<std::size_t>(kAddressBytes[static_cast<std::size_t>(type)]);
    if (count < addressBytes + 1) {
      Fail(pos_, fmt::format("count {} is too small for an S{} record", count, type));
    }
    const std::size_t recordLength = 4 + 2 * std::size_t{count};
    if (available < recordLength) FailRecord(pos_, recordLength);

    const bool isData = type >= 1 && type <= 3;
    if (isData && section == sections) {
      Fail(pos_, fmt::format("data after the last of the {} sections the code-group table lists", sections));
    }
    // Address and checksum go through the sum; only data records keep their bytes.
    const char* digits = p + 4;
    unsigned sum = count, bad = 0;
    for (std::size_t i = 0; i < addressBytes; ++i) {
      std::uint16_t v = PairAt(table, digits + 2 * i);
      bad |= v;
      sum += v;
    }
    const std::size_t dataBytes = count - addressBytes - 1;
    const char* data = digits + 2 * addressBytes;
    if (isData) {
      std::uint8_t* out = decoded_.data() + decodedLength_;
      for (std::size_t i = 0; i < dataBytes; ++i) {
        std::uint16_t v = PairAt(table, data + 2 * i);
        bad |= v;
        sum += v;
        out[i] = static_cast<std::uint8_t>(v);
      }
    } else {
      for (std::size_t i = 0; i < dataBytes; ++i) {
        std::uint16_t v = PairAt(table, data + 2 * i);
        bad |= v;
        sum += v;
      }
    }
    const std::uint16_t checksum = PairAt(table, data + 2 * dataBytes);
    bad |= checksum;
    if (bad & kBadPair) FailRecord(pos_, recordLength);
    if (((sum + checksum) & 0xFF) != 0xFF) {
      Fail(pos_, fmt::format("checksum mismatch (the record says {:02X}, its bytes give {:02X})", checksum,
                             255 - (sum & 0xFF)));
    }

    // The line ends right after the checksum: CR LF, LF, or the end of the file.
    std::size_t next = pos_ + recordLength;
    if (next < have_) {
      if (buffer_[next] == '\n') {
        next += 1;
      } else if (buffer_[next] == '\r' && next + 1 < have_ && buffer_[next + 1] == '\n') {
        next += 2;
      } else if (buffer_[next] == '\r' && next + 1 == have_) {
        next += 1;
      } else {
        Fail(pos_, fmt::format("the line is longer than its count {} says", count));
      }
    }

    if (isData) {
      decodedLength_ += dataBytes;
      if (decodedLength_ >= block_) Flush();
    } else if (type == 7) {
      if (section == sections) {
        Fail(pos_, fmt::format("more sections than the {} the code-group table lists", sections));
      }
      Flush();
      writer_.EndSection();
      ++section;
    }
    pos_ = next;
    ++line_;
  }
  if (section < sections) {
    Fail(pos_, fmt::format("the file ends after {} of the {} sections the code-group table lists "
                           "(no S7 record ends the section of {})",
                           section, sections, writer_.CurrentName().string()));
  }
}

}  // namespace

bool ExtractShxCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress) {
  auto [flash, header, table] = detail::OpenFlashFile(flashFile, slotFolder);
  if (!table.hasCodeGroup15) return false;

  ProgressStep step(progress, "Extracting codegroups");
  detail::CodeGroupWriter writer(table, slotFolder);
  ShxExtraction(flash, header, writer, step).Run();
  writer.Commit();
  step.SetPosition(100);
  return true;
}

}  // namespace resmill::flash
