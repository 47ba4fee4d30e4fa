#include "flash_test_util.h"

#include <fmt/format.h>

#include "flash/flash_header.h"
#include "flash/srec.h"

namespace resmill::flash::test {

Bytes MakeHeader(std::uint32_t n, AddressRange ramdld, const std::map<int, AddressRange>& codeGroups) {
  FlashHeader header{};
  for (std::size_t i = 0; i < header.size(); ++i) header[i] = static_cast<std::uint8_t>(i * 7 + 3);
  // The table area reads as absent code groups unless set below.
  std::fill(header.begin() + kClearedFrom, header.end(), 0);
  SetHeaderU32(header, kCountField, n);
  SetHeaderU32(header, kRamdldEntry + kEntryStart, ramdld.start);
  SetHeaderU32(header, kRamdldEntry + kEntryEnd, ramdld.end);
  for (const auto& [k, entry] : codeGroups) {
    const std::size_t at = CodeGroupEntryAt(static_cast<std::size_t>(k));
    SetHeaderU32(header, at + kEntryStart, entry.start);
    SetHeaderU32(header, at + kEntryEnd, entry.end);
    for (std::size_t i = kEntryFirstBytes; i < kEntrySize; ++i) header[at + i] = static_cast<std::uint8_t>(0xA0 + i - kEntryFirstBytes);
  }
  return Bytes(header.begin(), header.end());
}

Bytes Pattern(std::size_t count, std::uint32_t seed) {
  Bytes bytes(count);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

std::string Record(int type, std::uint32_t address, const Bytes& data) {
  static const int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
  int addressBytes = kAddressBytes[type];
  unsigned count = static_cast<unsigned>(addressBytes + 1) + static_cast<unsigned>(data.size());
  std::string line = fmt::format("S{}{:02X}", type, count);
  unsigned sum = count;
  for (int i = addressBytes - 1; i >= 0; --i) {
    auto b = static_cast<std::uint8_t>(address >> (8 * i));
    sum += b;
    line += fmt::format("{:02X}", b);
  }
  for (std::uint8_t b : data) {
    sum += b;
    line += fmt::format("{:02X}", b);
  }
  line += fmt::format("{:02X}", 255 - (sum & 0xFF));
  return line;
}

std::string Section(const Bytes& data, std::uint32_t address, const std::string& eol, std::size_t perRecord) {
  std::string text = std::string(kS0Line) + eol;
  for (std::size_t i = 0; i < data.size(); i += perRecord) {
    Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(i),
                data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), i + perRecord)));
    text += Record(3, address + static_cast<std::uint32_t>(i), piece) + eol;
  }
  return text + std::string(kS7Line) + eol;
}

Bytes Superfile(const Bytes& header, const std::string& text) {
  Bytes file = header;
  file.insert(file.end(), text.begin(), text.end());
  return file;
}

Bytes SbfBlock(const Bytes& data) {
  Bytes block(9, 0x11);
  auto length = static_cast<std::uint32_t>(data.size());
  for (int i = 3; i >= 0; --i) block.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
  block.insert(block.end(), 4, 0x22);
  block.insert(block.end(), data.begin(), data.end());
  block.insert(block.end(), 12, 0x33);
  return block;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace resmill::flash::test
