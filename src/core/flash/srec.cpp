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

// One character's value as a hexadecimal digit; sets 1 in `flags` when it is no
// digit of the accepted case. Branch-free, so that loops of it run on whole vectors.
template <bool kAnyCase>
inline std::uint8_t Nibble(char ch, std::uint8_t& flags) {
  const auto c = static_cast<std::uint8_t>(ch);
  const auto digit = static_cast<std::uint8_t>(c - '0');
  // Clearing bit 5 folds "a" … "f" onto "A" … "F" and leaves no other character among them.
  const auto letter = static_cast<std::uint8_t>((kAnyCase ? (c & 0xDF) : c) - 'A');
  const bool isDigit = digit < 10;
  flags |= static_cast<std::uint8_t>(!isDigit & !(letter < 6));
  return isDigit ? digit : static_cast<std::uint8_t>(letter + 10);
}

// The values of `count` digit pairs into `out`, their sum (modulo 256) added to
// `sum`; sets 0x10 in `bad` when a character is no digit of the accepted case.
// With kCount given, the loop has a known length.
template <bool kAnyCase, std::size_t kCount = 0>
inline void DecodePairs(const char* digits, std::size_t count, std::uint8_t* out, unsigned& sum, unsigned& bad) {
  const std::size_t n = kCount != 0 ? kCount : count;
  std::uint8_t flags = 0;
  // Only the sum's low byte counts: adding bytes that wrap keeps the vectors narrow.
  std::uint8_t total = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t hi = Nibble<kAnyCase>(digits[2 * i], flags);
    const std::uint8_t lo = Nibble<kAnyCase>(digits[2 * i + 1], flags);
    out[i] = static_cast<std::uint8_t>(hi << 4 | (lo & 15));
    total = static_cast<std::uint8_t>(total + out[i]);
  }
  sum += total;
  bad |= flags << 4u;
}

// A record's address, data and checksum, their sum added to `sum`; false when a
// character is no digit of the accepted case. Most records, ours all but the
// last of a section, carry 64 data bytes: they take the loop of known length.
template <bool kAnyCase>
bool DecodeRecordBytes(const char* digits, std::size_t addressBytes, std::size_t dataBytes, std::uint32_t& address,
                       std::uint8_t* data, std::uint8_t& checksum, unsigned& sum) {
  unsigned bad = 0;
  std::array<std::uint8_t, 4> addressBytesRead{};
  DecodePairs<kAnyCase>(digits, addressBytes, addressBytesRead.data(), sum, bad);
  for (std::size_t i = 0; i < addressBytes; ++i) address = address << 8 | addressBytesRead[i];
  digits += 2 * addressBytes;
  if (dataBytes == kRecordDataBytes) {
    DecodePairs<kAnyCase, kRecordDataBytes>(digits, dataBytes, data, sum, bad);
  } else {
    DecodePairs<kAnyCase>(digits, dataBytes, data, sum, bad);
  }
  DecodePairs<kAnyCase, 1>(digits + 2 * dataBytes, 1, &checksum, sum, bad);
  return (bad & 0x10) == 0;
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
  return Strict() ? NextRecord<true>(record, dataOut) : NextRecord<false>(record, dataOut);
}

template <bool kStrict>
bool SRecordDecoder::NextRecord(SRecord& record, std::uint8_t* dataOut) {
  for (;;) {
    if (!eof_ && have_ - pos_ < kCarry) Refill();
    recordOffset_ = bufferOffset_ + static_cast<std::int64_t>(pos_);
    recordLine_ = line_;
    if (pos_ == have_) return false;
    const char* p = buffer_.data() + pos_;
    const std::size_t available = have_ - pos_;
    if (kStrict || !(p[0] == '\n' || (p[0] == '\r' && (available == 1 || p[1] == '\n')))) break;
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
  unsigned bad = 0, countSum = 0;
  std::uint8_t countByte = 0;
  DecodePairs<!kStrict, 1>(p + 2, 1, &countByte, countSum, bad);
  const std::size_t length = 4 + 2 * std::size_t{countByte};
  if (bad & 0x10) FailDigits(length);
  const std::size_t addressBytes = kAddressBytes[static_cast<std::size_t>(type)];
  if (countByte < addressBytes + 1) {
    Fail(fmt::format("count {} is too small for an S{} record", countByte, type));
  }
  if (available < length) FailDigits(length);

  // Address, data and checksum: together with the count they sum to 0xFF.
  const std::size_t dataBytes = countByte - addressBytes - 1;
  std::uint32_t address = 0;
  std::uint8_t checksum = 0;
  unsigned sum = countByte;
  const bool ok = DecodeRecordBytes<!kStrict>(p + 4, addressBytes, dataBytes, address, dataOut, checksum, sum);
  if (!ok) FailDigits(length);
  if ((sum & 0xFF) != 0xFF) {
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
      if (kStrict && next == have_) Fail("a line end follows the last record; the file ends right after it");
    } else if (kStrict) {
      Fail("the record does not end with CR LF right after its checksum");
    } else if (end[0] == '\n' || (end[0] == '\r' && left == 1)) {
      next += 1;
    } else {
      Fail(fmt::format("the line is longer than its count {} says", countByte));
    }
  }

  record.type = type;
  record.address = address;
  record.data = std::span<const std::uint8_t>(dataOut, dataBytes);
  record.text = std::string_view(p, length);
  pos_ = next;
  ++line_;
  return true;
}

}  // namespace resmill::flash
