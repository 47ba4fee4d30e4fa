#include "flash/srec.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include <fmt/format.h>

#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/numeric.h"

namespace resmill::flash {

namespace {

// Both digits of every byte value, so that a data byte costs one two-byte copy.
constexpr std::array<char, 512> MakeHexPairs() {
  std::array<char, 512> pairs{};
  for (int b = 0; b < 256; ++b) {
    const std::array<char, 2> pair = HexPair(static_cast<std::uint8_t>(b));
    pairs[2 * static_cast<std::size_t>(b)] = pair[0];
    pairs[2 * static_cast<std::size_t>(b) + 1] = pair[1];
  }
  return pairs;
}
constexpr std::array<char, 512> kHexPairs = MakeHexPairs();

inline char* PutPair(char* out, std::uint8_t b) {
  std::memcpy(out, &kHexPairs[2 * std::size_t{b}], 2);
  return out + 2;
}

constexpr std::size_t kReadBlock = std::size_t{1} << 20;
// Room for the unread tail of the previous block: one record line and its line end.
constexpr std::size_t kCarry = kMaxRecordLine + 2;

// Address bytes of each record type S0 … S9; 0 for the reserved S4.
constexpr std::array<std::size_t, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// The values of `count` digit pairs into `out`, their sum added to `sum`; false
// when a character is no digit of the accepted case. Branch-free, so that the
// compiler runs it on whole vectors.
template <bool kAnyCase>
inline bool DecodePairs(const char* digits, std::size_t count, std::uint8_t* out, unsigned& sum) {
  std::uint8_t nibbles[2 * kMaxRecordBytes];
  std::uint8_t bad = 0;
  for (std::size_t i = 0; i < 2 * count; ++i) {
    const auto c = static_cast<std::uint8_t>(digits[i]);
    const auto digit = static_cast<std::uint8_t>(c - '0');
    // Clearing bit 5 folds "a" … "f" onto "A" … "F" and leaves no other character among them.
    const auto letter = static_cast<std::uint8_t>((kAnyCase ? (c & 0xDF) : c) - 'A');
    const bool isDigit = digit < 10;
    bad |= static_cast<std::uint8_t>(!isDigit & !(letter < 6));
    nibbles[i] = isDigit ? digit : static_cast<std::uint8_t>(letter + 10);
  }
  unsigned total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<std::uint8_t>(nibbles[2 * i] << 4 | (nibbles[2 * i + 1] & 15));
    total += out[i];
  }
  sum += total;
  return bad == 0;
}

std::string Shown(char c) {
  return std::isprint(static_cast<unsigned char>(c)) ? std::string(1, c) : fmt::format("\\x{:02X}", c & 0xFF);
}

}  // namespace

std::size_t EncodeSRecord(std::span<const std::uint8_t> data, std::uint32_t& address, char* out) {
  if (data.empty() || data.size() > kMaxRecordBytes - 5) {
    throw Error(Error::Kind::Internal, "an S3 record holds 1 to 250 data bytes");
  }
  const auto count = static_cast<std::uint8_t>(data.size() + 5);
  char* p = out;
  p[0] = 'S';
  p[1] = '3';
  p = PutPair(p + 2, count);
  unsigned sum = count;
  for (int shift = 24; shift >= 0; shift -= 8) {
    auto b = static_cast<std::uint8_t>(address >> shift);
    sum += b;
    p = PutPair(p, b);
  }
  for (std::uint8_t b : data) {
    sum += b;
    p = PutPair(p, b);
  }
  p = PutPair(p, static_cast<std::uint8_t>(255 - (sum & 0xFF)));
  p[0] = '\r';
  p[1] = '\n';
  address += static_cast<std::uint32_t>(data.size());
  return static_cast<std::size_t>(p + 2 - out);
}

std::string FormatSRecord(std::span<const std::uint8_t> data, std::uint32_t& address) {
  if (data.empty() || data.size() > kRecordDataBytes) {
    throw Error(Error::Kind::Internal, "a superfile record holds 1 to 64 data bytes");
  }
  std::string line(2 * data.size() + 16, '\0');
  EncodeSRecord(data, address, line.data());
  return line;
}

SRecordDecoder::SRecordDecoder(BinaryFile& file, std::span<const std::uint8_t> lead, Options options)
    : file_(file), options_(std::move(options)) {
  const auto start = static_cast<std::int64_t>(lead.size());
  total_ = file_.Size();
  // Small files get small buffers; large ones are read a megabyte at a time.
  block_ = static_cast<std::size_t>(std::clamp<std::int64_t>(total_ - start, 4096, kReadBlock));
  buffer_.resize(block_ + kCarry);
  line_ = 1 + static_cast<std::uint64_t>(std::count(lead.begin(), lead.end(), '\n'));
  bufferOffset_ = start;
  recordOffset_ = start;
  recordLine_ = line_;
  file_.Seek(start);
}

void SRecordDecoder::Refill() {
  std::memmove(buffer_.data(), buffer_.data() + pos_, have_ - pos_);
  bufferOffset_ += static_cast<std::int64_t>(pos_);
  have_ -= pos_;
  pos_ = 0;
  const std::size_t got = file_.Read(std::span(reinterpret_cast<std::uint8_t*>(buffer_.data()) + have_, block_));
  have_ += got;
  if (got < block_) eof_ = true;
  if (options_.progress) options_.progress->SetPosition(PercentDone(bufferOffset_ + static_cast<std::int64_t>(have_), total_));
}

std::string SRecordDecoder::Where() const {
  return fmt::format("line {} (offset {})", recordLine_, HexOffset(static_cast<std::uint64_t>(recordOffset_)));
}

void SRecordDecoder::Fail(std::string_view what) const {
  if (options_.readBackOf) ThrowReadBackFailure("superfile", *options_.readBackOf, Where(), what);
  ThrowFormatError(file_.Path(), Where(), what);
}

// Says why a record whose digits did not all decode is damaged; `length` is what its count asks for.
void SRecordDecoder::FailDigits(std::size_t length) const {
  const char* p = buffer_.data() + pos_;
  const std::size_t available = std::min(length, have_ - pos_);
  auto failAt = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      if (HexNibble(p[i]) < 0 || (Strict() && std::islower(static_cast<unsigned char>(p[i])))) {
        Fail(fmt::format("'{}' at column {} is not {} hexadecimal digit", Shown(p[i]), i + 1,
                         Strict() ? "an upper-case" : "a"));
      }
    }
  };
  failAt(2, std::min<std::size_t>(4, available));  // the count
  if (std::any_of(p + std::min<std::size_t>(4, available), p + available, [](char c) { return c == '\r' || c == '\n'; })) {
    Fail(fmt::format("the record is shorter than its count {} says", (length - 4) / 2));
  }
  failAt(4, available);
  Fail("the record is cut short by the end of the file");
}

bool SRecordDecoder::Next(SRecord& record, std::uint8_t* dataOut) {
  for (;;) {
    if (!eof_ && have_ - pos_ < kCarry) Refill();
    recordOffset_ = bufferOffset_ + static_cast<std::int64_t>(pos_);
    recordLine_ = line_;
    if (pos_ == have_) return false;
    const char* p = buffer_.data() + pos_;
    const std::size_t available = have_ - pos_;
    if (Strict() || !(p[0] == '\n' || (p[0] == '\r' && (available == 1 || p[1] == '\n')))) break;
    pos_ += (p[0] == '\r' && available > 1) ? 2 : 1;  // an empty line
    ++line_;
  }

  const char* p = buffer_.data() + pos_;
  const std::size_t available = have_ - pos_;
  if (available < 4) Fail("the record is cut short by the end of the file");
  if (p[0] != 'S') Fail("the line is not an S-record (it does not start with 'S')");
  const int type = p[1] - '0';
  if (type < 0 || type > 9 || kAddressBytes[static_cast<std::size_t>(type)] == 0) {
    Fail(fmt::format("unknown record type 'S{}'", Shown(p[1])));
  }
  std::uint8_t countByte = 0;
  unsigned sum = 0;
  const bool countOk = Strict() ? DecodePairs<false>(p + 2, 1, &countByte, sum) : DecodePairs<true>(p + 2, 1, &countByte, sum);
  const std::size_t length = 4 + 2 * std::size_t{countByte};
  if (!countOk) FailDigits(length);
  const std::size_t addressBytes = kAddressBytes[static_cast<std::size_t>(type)];
  if (countByte < addressBytes + 1) {
    Fail(fmt::format("count {} is too small for an S{} record", countByte, type));
  }
  if (available < length) FailDigits(length);

  // Address, data and checksum: together with the count they sum to 0xFF.
  std::uint8_t bytes[kMaxRecordBytes];
  const bool ok = Strict() ? DecodePairs<false>(p + 4, countByte, bytes, sum)
                           : DecodePairs<true>(p + 4, countByte, bytes, sum);
  if (!ok) FailDigits(length);
  if ((sum & 0xFF) != 0xFF) {
    const std::uint8_t checksum = bytes[countByte - 1];
    Fail(fmt::format("checksum mismatch (the record says {:02X}, its bytes give {:02X})", checksum,
                     255 - ((sum - checksum) & 0xFF)));
  }

  // The line ends right after the checksum: CR LF or the end of the file, and in
  // text of other writers also LF alone.
  std::size_t next = pos_ + length;
  if (next < have_) {
    const char* end = buffer_.data() + next;
    const std::size_t left = have_ - next;
    if (left >= 2 && end[0] == '\r' && end[1] == '\n') {
      next += 2;
      if (Strict() && next == have_) Fail("a line end follows the last record; the file ends right after it");
    } else if (Strict()) {
      Fail("the record does not end with CR LF right after its checksum");
    } else if (end[0] == '\n' || (end[0] == '\r' && left == 1)) {
      next += 1;
    } else {
      Fail(fmt::format("the line is longer than its count {} says", countByte));
    }
  }

  std::uint32_t address = 0;
  for (std::size_t i = 0; i < addressBytes; ++i) address = address << 8 | bytes[i];
  const std::size_t dataBytes = countByte - addressBytes - 1;
  std::memcpy(dataOut, bytes + addressBytes, dataBytes);
  record.type = type;
  record.address = address;
  record.data = std::span<const std::uint8_t>(dataOut, dataBytes);
  record.text = std::string_view(p, length);
  pos_ = next;
  ++line_;
  return true;
}

}  // namespace resmill::flash
