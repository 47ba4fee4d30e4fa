#pragma once
// S-record text as flash superfiles carry it: the fixed section lines and the
// S3 data records the superfile writer emits.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace resmill::flash {

/// Opens every section: count 6, address 0, data "HDR".
inline constexpr std::string_view S0Line = "S00600004844521B";
/// Ends every section: count 5, address 0.
inline constexpr std::string_view S7Line = "S70500000000FA";
inline constexpr std::string_view kLineEnd = "\r\n";

/// Data bytes per record in the superfiles we write.
inline constexpr std::size_t kRecordDataBytes = 64;
/// Longest line EncodeSRecord produces: "S3", count, address, 255 data bytes at most, checksum, CR LF.
inline constexpr std::size_t kMaxRecordLine = 4 + 2 * 255 + 2;

/// Writes one S3 record (with CR LF) for `data` at `address` into `out`, which must hold
/// 2n + 16 characters; returns that length. `address` grows by n. n is 1 … 250.
std::size_t EncodeSRecord(std::span<const std::uint8_t> data, std::uint32_t& address, char* out);

/// The S3 record line for 1 … 64 data bytes at `address`, CR LF included (2n + 16 characters);
/// `address` grows by n.
std::string FormatSRecord(std::span<const std::uint8_t> data, std::uint32_t& address);

}  // namespace resmill::flash
