#pragma once
// Builders of flash files for the flash tests: headers with a chosen code-group
// table, superfile bodies from S-record text, SBF bodies from blocks.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace resmill::flash::test {

using Bytes = std::vector<std::uint8_t>;

struct AddressRange {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
};

/// A flash header with the code-group count `n`, the RAMDLD entry and the given
/// code groups; the rest of the table is zero, every other byte a recognisable filler.
Bytes MakeHeader(std::uint32_t n, AddressRange ramdld, const std::map<int, AddressRange>& codeGroups);

/// `count` bytes of a fixed pseudo-random pattern (different for each seed).
Bytes Pattern(std::size_t count, std::uint32_t seed);

/// One S-record line for `type` (1, 2, 3, 7…) with the right checksum, no line end.
std::string Record(int type, std::uint32_t address, const Bytes& data);

/// A section as our own writer makes it: S0, S3 records of up to `perRecord` bytes, S7, each line ending in `eol`.
std::string Section(const Bytes& data, std::uint32_t address, const std::string& eol = "\r\n",
                    std::size_t perRecord = 64);

/// header + text.
Bytes Superfile(const Bytes& header, const std::string& text);

/// An SBF block: 9 filler bytes, L big-endian, 4 filler bytes, the data, 12 filler bytes.
Bytes SbfBlock(const Bytes& data);
Bytes Concat(std::initializer_list<Bytes> parts);

}  // namespace resmill::flash::test
