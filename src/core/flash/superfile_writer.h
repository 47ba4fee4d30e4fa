#pragma once
// The DRM reflash superfile: the target's flash header and RAM downloader,
// patched to describe a file that carries only RAMDLD and code group 15, then
// both images as S3 records.

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/binary_file.h"
#include "platform/user_interface.h"

namespace resmill::flash {

/// Sunday first, as the header's date text names the days.
inline constexpr std::array<std::string_view, 7> DayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr std::array<std::string_view, 12> MonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
/// The description field of every superfile we write.
inline constexpr std::string_view DescriptionText = "ResMill Utility Generated Superfile";

/// A RAM downloader must reach past the last byte PatchRamdld sets.
inline constexpr std::int64_t kMinRamdldSize = 415;

using FixedText = std::array<std::uint8_t, 128>;

/// "Sun March 05 14:30:09 2006": day of week 1 = Sunday, month 1 = January.
std::string FormatHeaderDate(int year, int month, int day, int dayOfWeek, int hours, int minutes, int seconds);
/// The same from a local time as std::localtime gives it.
std::string FormatHeaderDate(const std::tm& time);

/// A 128-byte field: the text's characters from the first byte, zeros after them.
/// A text longer than the field is refused.
FixedText PutFixedText(std::string_view text);

/// Sets bytes 256 … 367 and 376 … 414 of the RAM downloader to 0xFF (368 … 375 keep
/// their values). A file shorter than 415 bytes is refused untouched.
void PatchRamdld(const std::filesystem::path& ramdldFile);

/// Rewrites header.bin for a superfile of RAMDLD and the given DRM image: count 2, the
/// RAMDLD checksum, code group 15's entry (start kept, end, first 16 bytes, checksum),
/// the rest of the table cleared, the date text (from `now`) and the description.
void PatchHeader(const std::filesystem::path& headerFile, const std::filesystem::path& ramdldFile,
                 BinaryFile& drmImage, const std::tm& now);

/// A test seam into a writer: lets a test damage what was written, the way a
/// fault of the writer would, to prove that the read-back catches it. Never set
/// outside tests.
struct WriterFaults {
  /// Called with the complete temporary file after the writer closed it and
  /// before the read-back; may change, cut or extend it.
  std::function<void(const std::filesystem::path& written)> tamper;
};

/// WriteSuperfile (code_groups.h) with a test seam. The written file is read back
/// (VerifySuperfile) before it takes the name `saveFile`; a failed read-back
/// leaves nothing under that name and an older file of that name unchanged.
void WriteSuperfile(const std::filesystem::path& binaryFolder, const std::filesystem::path& drmImage,
                    const std::filesystem::path& saveFile, const std::tm& now, Progress& progress,
                    const WriterFaults& faults);

}  // namespace resmill::flash
