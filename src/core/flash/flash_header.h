#pragma once
// The flash header: the first 8172 bytes of every SBF file and S-record
// superfile. The place of every field is written here once; the readers, the
// superfile writer, its read-back and the tests all take it from here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/binary_file.h"
#include "platform/byte_io.h"

namespace resmill::flash {

inline constexpr std::int64_t kFlashHeaderSize = 8172;

using FlashHeader = std::array<std::uint8_t, kFlashHeaderSize>;

// Integers in the header are 32-bit little-endian.
inline constexpr std::size_t kDateField = 320;
inline constexpr std::size_t kDescriptionField = 448;
/// Both texts are zero-padded fields of this size.
inline constexpr std::size_t kTextFieldSize = 128;
/// Code groups in the table, RAMDLD included.
inline constexpr std::size_t kCountField = 944;

/// The code-group table: 28-byte entries, RAMDLD's first, then (after one entry
/// nobody reads) code group 0, 1, 2, …
inline constexpr std::size_t kEntrySize = 28;
inline constexpr std::size_t kRamdldEntry = 948;
inline constexpr std::size_t kFirstCodeGroupEntry = kRamdldEntry + 2 * kEntrySize;
/// Within an entry: start address (0 marks an absent code group), end address
/// (inclusive), the first 16 bytes of the data, checksum.
inline constexpr std::size_t kEntryStart = 0;
inline constexpr std::size_t kEntryEnd = 4;
inline constexpr std::size_t kEntryFirstBytes = 8;
inline constexpr std::size_t kEntryFirstBytesSize = 16;
inline constexpr std::size_t kEntryChecksum = 24;

/// Where the entry of code group k starts.
constexpr std::size_t CodeGroupEntryAt(std::size_t k) { return kFirstCodeGroupEntry + kEntrySize * k; }
/// Entries as far as the header holds a start and an end address.
inline constexpr std::size_t kHeaderEntrySlots =
    (static_cast<std::size_t>(kFlashHeaderSize) - kFirstCodeGroupEntry - 8) / kEntrySize + 1;

/// The part of the table a superfile of RAMDLD and code group 15 clears: from
/// the tail of the unread entry up to code group 23.
inline constexpr std::size_t kClearedFrom = kFirstCodeGroupEntry - 12;
inline constexpr std::size_t kClearedEnd = CodeGroupEntryAt(23);

inline std::uint32_t HeaderU32(const FlashHeader& header, std::size_t offset) { return GetU32LE(&header[offset]); }
inline void SetHeaderU32(FlashHeader& header, std::size_t offset, std::uint32_t value) {
  PutU32LE(value, &header[offset]);
}

/// The field a header byte belongs to, for messages ("code group 15 checksum");
/// empty for bytes no reader interprets.
std::string HeaderFieldName(std::size_t offset);

/// Reads the first 8172 bytes of an open flash file; a shorter file is a format error.
FlashHeader ReadFlashHeader(BinaryFile& flash);

}  // namespace resmill::flash
