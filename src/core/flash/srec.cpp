#include "flash/srec.h"

#include <array>
#include <cstring>

#include "platform/error.h"

namespace resmill::flash {

namespace {

// Both digits of every byte value, so a data byte costs one two-byte copy.
constexpr std::array<char, 512> MakeHexPairs() {
  constexpr const char* kDigits = "0123456789ABCDEF";
  std::array<char, 512> pairs{};
  for (int b = 0; b < 256; ++b) {
    pairs[2 * b] = kDigits[b >> 4];
    pairs[2 * b + 1] = kDigits[b & 15];
  }
  return pairs;
}
constexpr std::array<char, 512> kHexPairs = MakeHexPairs();

inline char* PutPair(char* out, std::uint8_t b) {
  std::memcpy(out, &kHexPairs[2 * b], 2);
  return out + 2;
}

}  // namespace

std::size_t EncodeSRecord(std::span<const std::uint8_t> data, std::uint32_t& address, char* out) {
  if (data.empty() || data.size() > 250) {
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

}  // namespace resmill::flash
