#pragma once
// S-record text as flash superfiles carry it. The syntax of a record (type,
// count, address, data, checksum, line end) is written here once: the encoder
// the superfile writer uses and the decoder that both the Open path and the
// writer's read-back use.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/binary_file.h"
#include "platform/user_interface.h"

namespace resmill::flash {

/// Opens every section: count 6, address 0, data "HDR".
inline constexpr std::string_view kS0Line = "S00600004844521B";
/// Ends every section: count 5, address 0.
inline constexpr std::string_view kS7Line = "S70500000000FA";
inline constexpr std::string_view kLineEnd = "\r\n";

/// Data bytes per record in the superfiles we write.
inline constexpr std::size_t kRecordDataBytes = 64;
/// The most bytes a record's two-digit count allows: address, data and checksum.
inline constexpr std::size_t kMaxRecordBytes = 255;
/// Longest record line: "S", type, count, the counted bytes as digit pairs, CR LF.
inline constexpr std::size_t kMaxRecordLine = 4 + 2 * kMaxRecordBytes + 2;

/// Writes one S3 record (with CR LF) for `data` at `address` into `out`, which must hold
/// 2n + 16 characters; returns that length. `address` grows by n. n is 1 … 250.
std::size_t EncodeSRecord(std::span<const std::uint8_t> data, std::uint32_t& address, char* out);

/// One record as the decoder found it.
struct SRecord {
  int type = 0;  ///< 0 … 9, never the reserved 4
  std::uint32_t address = 0;
  std::span<const std::uint8_t> data;  ///< decoded into the caller's buffer
  std::string_view text;               ///< the record's characters, no line end; valid until the next record
};

/// Reads S-record text from a file, one verified record at a time: digits,
/// count, address size of the type, checksum and line end are checked before
/// the record is handed out; a damaged one fails naming its line and offset.
/// Accepted: S0 … S9 but S4, digits of either case, lines ended by CR LF, LF or
/// the end of the file, empty lines.
class SRecordDecoder {
 public:
  struct Options {
    /// Set when the text is our own output, about to be saved under this name.
    /// Only what the writer writes is accepted then (upper-case digits, CR LF
    /// after every record but the last, which has none, no empty line), and a
    /// damage is a fault of the program (ThrowReadBackFailure), not of the input.
    std::optional<std::filesystem::path> readBackOf;
    /// Told how far the reading has come, once per block read.
    ProgressStep* progress = nullptr;
  };

  /// The text starts after `lead`, the bytes the file starts with (the flash
  /// header); lines are counted from the start of the file.
  SRecordDecoder(BinaryFile& file, std::span<const std::uint8_t> lead, Options options);

  /// The next record, its bytes after the address decoded into `dataOut`
  /// (room for kMaxRecordBytes); false at the end of the file.
  bool Next(SRecord& record, std::uint8_t* dataOut);
  /// "line 12 (offset 0x0020F8)": where the record Next returned last starts,
  /// or the end of the file after Next returned false.
  std::string Where() const;
  /// Fails at Where(), worded for the input or for our own output.
  [[noreturn]] void Fail(std::string_view what) const;
  /// Decoded bytes worth collecting before they are passed on: the read block's size.
  std::size_t BlockSize() const { return block_; }

 private:
  template <bool kStrict>
  bool NextRecord(SRecord& record, std::uint8_t* dataOut);
  void Refill();
  [[noreturn]] void FailDigits(std::size_t length) const;
  bool Strict() const { return options_.readBackOf.has_value(); }

  BinaryFile& file_;
  Options options_;
  std::vector<char> buffer_;
  std::size_t block_ = 0;
  std::size_t pos_ = 0, have_ = 0;
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[0]
  std::int64_t total_ = 0;
  std::uint64_t line_ = 1;
  bool eof_ = false;
  std::int64_t recordOffset_ = 0;
  std::uint64_t recordLine_ = 1;
};

}  // namespace resmill::flash
