#include "platform/byte_io.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/error.h"

namespace resmill {

std::uint32_t ReadU32BEAt(BinaryFile& file, std::int64_t offset) {
  std::array<std::uint8_t, 4> bytes{};
  file.Seek(offset);
  file.ReadExact(bytes, "a 32-bit value");
  return GetU32BE(bytes.data());
}

void WriteU32BEAt(BinaryFile& file, std::int64_t offset, std::uint32_t value) {
  std::array<std::uint8_t, 4> bytes{};
  PutU32BE(value, bytes.data());
  file.Seek(offset);
  file.Write(bytes);
}

std::uint16_t Sum16(BinaryFile& file) {
  std::array<std::uint8_t, kCopyBlockSize> block;
  std::uint32_t total = 0;
  for (;;) {
    std::size_t got = file.Read(block);
    if (got == 0) break;
    total += Sum16(std::span(block.data(), got));
  }
  return static_cast<std::uint16_t>(total & 0xFFFFu);
}

std::int64_t CopyRange(BinaryFile& source, std::int64_t offset, std::int64_t count,
                       BinaryFile& destination, bool counted) {
  std::array<std::uint8_t, kCopyBlockSize> block;
  std::int64_t copied = 0;
  std::int64_t remaining = counted ? std::max<std::int64_t>(count, 0) : -1;
  for (;;) {
    std::size_t want = block.size();
    if (counted) {
      if (remaining == 0) break;
      want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, static_cast<std::int64_t>(want)));
    }
    std::size_t got = source.ReadAt(offset + copied, std::span(block.data(), want));
    if (got == 0) break;
    destination.Write(std::span(block.data(), got));
    copied += static_cast<std::int64_t>(got);
    if (counted) remaining -= static_cast<std::int64_t>(got);
  }
  return copied;
}

void CopyExactly(BinaryFile& source, std::int64_t offset, std::int64_t count, BinaryFile& destination,
                 std::string_view what) {
  if (CopyRange(source, offset, count, destination, true) != count) {
    ThrowFormatError(source.Path(), fmt::format("offset {}", HexOffset(static_cast<std::uint64_t>(offset))),
                     fmt::format("file ends inside {}", what));
  }
}

}  // namespace resmill
