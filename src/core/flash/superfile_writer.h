#pragma once
// The DRM reflash superfile: the target's flash header and RAM downloader,
// patched to describe a file that carries only RAMDLD and code group 15, then
// both images as S3 records. The writer works out everything it writes in one
// plan, writes from the plan, and reads the file back against it.

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "flash/flash_header.h"
#include "platform/binary_file.h"
#include "platform/user_interface.h"

namespace resmill::flash {

/// Sunday first, as the header's date text names the days.
inline constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
/// The description field of every superfile we write.
inline constexpr std::string_view kDescriptionText = "ResMill Utility Generated Superfile";

/// PatchRamdld sets the RAM downloader's bytes from 256 up to 415 to 0xFF, all
/// but the eight from 368, so a RAM downloader must reach past byte 414.
inline constexpr std::size_t kRamdldPatchFrom = 256;
inline constexpr std::size_t kRamdldKeptFrom = 368;
inline constexpr std::size_t kRamdldKeptEnd = 376;
inline constexpr std::int64_t kMinRamdldSize = 415;
/// Added to the RAM downloader's byte sum in its checksum field.
inline constexpr std::uint32_t kRamdldChecksumBase = 0x80000;

using FixedText = std::array<std::uint8_t, kTextFieldSize>;

/// "Sun March 05 14:30:09 2006": day of week 1 = Sunday, month 1 = January.
std::string FormatHeaderDate(int year, int month, int day, int dayOfWeek, int hours, int minutes, int seconds);
/// The same from a local time as std::localtime gives it.
std::string FormatHeaderDate(const std::tm& time);

/// A 128-byte field: the text's characters from the first byte, zeros after them.
/// A text longer than the field is refused.
FixedText PutFixedText(std::string_view text);

/// Sets bytes 256 … 367 and 376 … 414 of a RAM downloader of at least 415 bytes to 0xFF.
void PatchRamdld(std::span<std::uint8_t> ramdld);

/// Rewrites a flash header for a superfile of `ramdld` (already patched) and the
/// DRM image: count 2, the RAMDLD checksum, code group 15's entry (start kept,
/// end, first 16 bytes, checksum), the rest of the table cleared, the date text
/// (from `now`) and the description.
void PatchHeader(FlashHeader& header, std::span<const std::uint8_t> ramdld, BinaryFile& drmImage,
                 const std::tm& now);

/// One section of the superfile: where its records go and where their data come from.
struct SuperfileSection {
  std::string fileName;  ///< the code-group file Open makes of it ("RAMDLD.bin", "CG15.bin")
  std::string what;      ///< for messages ("the RAMDLD", "the DRM image")
  std::uint32_t start = 0;  ///< address of the first record
  std::int64_t size = 0;
  std::span<const std::uint8_t> bytes;  ///< the data, when they are held in memory
  BinaryFile* file = nullptr;           ///< else the file that holds them from its start

  /// Up to buffer.size() bytes of the data from `offset`.
  std::size_t ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) const;
};

/// Everything the writer writes, worked out before its first byte is written.
struct SuperfilePlan {
  FlashHeader header{};              ///< patched: the new header.bin and the file's first 8172 bytes
  std::vector<std::uint8_t> ramdld;  ///< patched: the new ramdld.bin and the first section's data
  std::vector<SuperfileSection> sections;  ///< the RAMDLD, then code group 15 from the DRM image

  SuperfilePlan() = default;
  SuperfilePlan(SuperfilePlan&&) = default;
  SuperfilePlan& operator=(SuperfilePlan&&) = default;
  SuperfilePlan(const SuperfilePlan&) = delete;  // the RAMDLD section points into `ramdld`
  SuperfilePlan& operator=(const SuperfilePlan&) = delete;
};

/// The plan for a superfile of header.bin, ramdld.bin and `drmImage`, which the
/// caller keeps open while the plan is used. Everything that could refuse the
/// save is checked here; nothing is written.
SuperfilePlan PlanSuperfile(const std::filesystem::path& headerFile, const std::filesystem::path& ramdldFile,
                            BinaryFile& drmImage, const std::tm& now);

/// A test seam into a writer: lets a test damage what was written, the way a
/// fault of the writer would, to prove that the read-back catches it. Never set
/// outside tests.
struct WriterFaults {
  /// Called with the complete temporary file after the writer closed it and
  /// before the read-back; may change, cut or extend it.
  std::function<void(const std::filesystem::path& written)> tamper;
};

/// Plans the superfile, replaces header.bin and ramdld.bin in `binaryFolder`
/// (found case-blind) with their patched versions and writes the superfile
/// (header, RAMDLD and DRM as S3 records) through the atomic output file; `now`
/// is the local time for the header's date. The file is read back
/// (VerifySuperfile) before it takes the name `saveFile`; a failed read-back
/// leaves nothing under that name and an older file of that name unchanged.
void WriteSuperfile(const std::filesystem::path& binaryFolder, const std::filesystem::path& drmImage,
                    const std::filesystem::path& saveFile, const std::tm& now, Progress& progress,
                    const WriterFaults& faults = {});

}  // namespace resmill::flash
