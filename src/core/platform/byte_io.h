#pragma once
// Byte-order, hexadecimal and block-copy helpers shared by every reader and
// writer of flash files, DRM images and skins.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/binary_file.h"

namespace resmill {

/// All bulk data move through blocks of this size.
inline constexpr std::size_t kCopyBlockSize = 8192;

/// The four bytes of v in reverse order.
constexpr std::uint32_t SwapU32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

/// Stores v most significant byte first.
constexpr void PutU32BE(std::uint32_t v, std::uint8_t* destination) {
  destination[0] = static_cast<std::uint8_t>(v >> 24);
  destination[1] = static_cast<std::uint8_t>(v >> 16);
  destination[2] = static_cast<std::uint8_t>(v >> 8);
  destination[3] = static_cast<std::uint8_t>(v);
}
constexpr std::uint32_t GetU32BE(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
constexpr void PutU32LE(std::uint32_t v, std::uint8_t* destination) { PutU32BE(SwapU32(v), destination); }
constexpr std::uint32_t GetU32LE(const std::uint8_t* p) { return SwapU32(GetU32BE(p)); }

/// Reads 4 bytes at `offset` as a big-endian value; the position ends after them.
/// A file that ends before the 4 bytes is a format error naming the offset.
std::uint32_t ReadU32BEAt(BinaryFile& file, std::int64_t offset);
void WriteU32BEAt(BinaryFile& file, std::int64_t offset, std::uint32_t value);

/// Strict digit value for parsers that verify their input: 0…15 for 0-9, A-F, a-f; −1 otherwise.
constexpr int HexNibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
/// Upper-case hexadecimal digits of b, high nibble first.
constexpr std::array<char, 2> HexPair(std::uint8_t b) {
  constexpr const char* kDigits = "0123456789ABCDEF";
  return {kDigits[b >> 4], kDigits[b & 15]};
}

/// Sum of the bytes modulo 65536.
constexpr std::uint16_t Sum16(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return static_cast<std::uint16_t>(sum);
}
/// Sum of the bytes from the current position to the end of the file, modulo 65536.
std::uint16_t Sum16(BinaryFile& file);

/// Copies from `source` at `offset` to the destination's current position, in
/// blocks. Counted: at most `count` bytes, fewer when the source ends first.
/// Whole (counted = false): everything to the end of the source.
/// Returns the number of bytes copied. The source is read at offsets only and
/// its position is left alone, so several threads may copy from one file.
std::int64_t CopyRange(BinaryFile& source, std::int64_t offset, std::int64_t count,
                       BinaryFile& destination, bool counted);
/// Copies exactly `count` bytes, as CopyRange; a source that ends first is a
/// format error at `offset` that names `what` ("file ends inside <what>").
void CopyExactly(BinaryFile& source, std::int64_t offset, std::int64_t count, BinaryFile& destination,
                 std::string_view what);

}  // namespace resmill
