#include "flash/superfile_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "flash/code_groups.h"
#include "flash/srec.h"
#include "flash/superfile_verify.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::flash {

namespace {

constexpr std::int64_t kDateField = 320;
constexpr std::int64_t kDescriptionField = 448;
constexpr std::int64_t kCountField = 944;
constexpr std::int64_t kRamdldStartField = 948;
constexpr std::int64_t kRamdldChecksumField = 972;
constexpr std::int64_t kClearedFrom = 992;
constexpr std::int64_t kClearedBytes = 656;
constexpr std::int64_t kCodeGroup15Entry = 1424;
constexpr std::uint32_t kRamdldChecksumBase = 0x80000;

constexpr std::size_t kImageBlock = std::size_t{1} << 20;  // a multiple of the record size
static_assert(kImageBlock % kRecordDataBytes == 0);

std::uint32_t U32LEAt(BinaryFile& file, std::int64_t offset) {
  std::array<std::uint8_t, 4> bytes{};
  if (file.ReadAt(offset, bytes) != bytes.size()) {
    ThrowFormatError(file.Path(), fmt::format("offset {}", HexOffset(static_cast<std::uint64_t>(offset))),
                     "the file ends inside a header field");
  }
  return GetU32LE(bytes.data());
}

void WriteU32LEAt(BinaryFile& file, std::int64_t offset, std::uint32_t value) {
  std::array<std::uint8_t, 4> bytes{};
  PutU32LE(value, bytes.data());
  file.Seek(offset);
  file.Write(bytes);
}

// Sum of all bytes modulo 65536, read in large blocks.
std::uint16_t Sum16Of(BinaryFile& file) {
  std::vector<std::uint8_t> block(kImageBlock);
  std::uint32_t sum = 0;
  std::int64_t at = 0;
  for (;;) {
    std::size_t got = file.ReadAt(at, block);
    if (got == 0) break;
    for (std::size_t i = 0; i < got; ++i) sum += block[i];
    sum &= 0xFFFFu;
    at += static_cast<std::int64_t>(got);
  }
  return static_cast<std::uint16_t>(sum);
}

std::filesystem::path FindInput(const std::filesystem::path& folder, std::string_view name) {
  auto found = FindCaseBlind(folder, name);
  if (!found) ThrowIoError("open", folder / std::string(name), ENOENT);
  return *found;
}

// Writes one image as S3 records of 64 data bytes, the last one carrying the rest.
class RecordWriter {
 public:
  RecordWriter(BinaryFile& out, ProgressStep& step, std::int64_t totalBytes)
      : out_(out), step_(step), total_(totalBytes), image_(kImageBlock),
        text_(kImageBlock / kRecordDataBytes * (2 * kRecordDataBytes + 16)) {}

  void WriteImage(BinaryFile& image, std::uint32_t address) {
    std::int64_t at = 0;
    for (;;) {
      std::size_t got = image.ReadAt(at, image_);
      if (got == 0) break;
      at += static_cast<std::int64_t>(got);
      char* p = text_.data();
      for (std::size_t i = 0; i < got; i += kRecordDataBytes) {
        p += EncodeSRecord(std::span(image_.data() + i, std::min(kRecordDataBytes, got - i)), address, p);
      }
      out_.Write(std::string_view(text_.data(), static_cast<std::size_t>(p - text_.data())));
      done_ += static_cast<std::int64_t>(got);
      step_.SetPosition(PercentDone(done_, total_));
    }
  }

 private:
  BinaryFile& out_;
  ProgressStep& step_;
  std::int64_t total_;
  std::int64_t done_ = 0;
  std::vector<std::uint8_t> image_;
  std::vector<char> text_;
};

void RequireAddressRoom(const std::filesystem::path& file, std::string_view what, std::uint32_t start,
                        std::int64_t size) {
  if (static_cast<std::int64_t>(start) + size - 1 > 0xFFFFFFFFll) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} of {} bytes does not fit at flash address 0x{:08X}",
                                                file.string(), what, size, start));
  }
}

}  // namespace

std::string FormatHeaderDate(int year, int month, int day, int dayOfWeek, int hours, int minutes, int seconds) {
  if (month < 1 || month > 12 || dayOfWeek < 1 || dayOfWeek > 7) {
    throw Error(Error::Kind::Internal, fmt::format("no such date: month {}, day of week {}", month, dayOfWeek));
  }
  return fmt::format("{} {} {:02} {:02}:{:02}:{:02} {}", DayNames[static_cast<std::size_t>(dayOfWeek - 1)],
                     MonthNames[static_cast<std::size_t>(month - 1)], day, hours, minutes, seconds, year);
}

std::string FormatHeaderDate(const std::tm& time) {
  return FormatHeaderDate(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_wday + 1, time.tm_hour,
                          time.tm_min, time.tm_sec);
}

FixedText PutFixedText(std::string_view text) {
  FixedText field{};
  if (text.size() > field.size()) {
    throw Error(Error::Kind::Limit, fmt::format("'{}' is longer than the 128 characters of a header field", text));
  }
  std::memcpy(field.data(), text.data(), text.size());
  return field;
}

void PatchRamdld(const std::filesystem::path& ramdldFile) {
  BinaryFile ramdld(ramdldFile, BinaryFile::Mode::Update);
  if (std::int64_t size = ramdld.Size(); size < kMinRamdldSize) {
    throw Error(Error::Kind::Format,
                fmt::format("{}: the RAM downloader holds {} bytes; at least {} are needed", ramdldFile.string(),
                            size, kMinRamdldSize));
  }
  const std::uint32_t kept368 = ReadU32BEAt(ramdld, 368);
  const std::uint32_t kept372 = ReadU32BEAt(ramdld, 372);
  std::vector<std::uint8_t> ff(159, 0xFF);
  ramdld.Seek(256);
  ramdld.Write(ff);
  WriteU32BEAt(ramdld, 368, kept368);
  WriteU32BEAt(ramdld, 372, kept372);
  ramdld.Close();
}

void PatchHeader(const std::filesystem::path& headerFile, const std::filesystem::path& ramdldFile,
                 BinaryFile& drmImage, const std::tm& now) {
  const FixedText date = PutFixedText(FormatHeaderDate(now));
  const FixedText description = PutFixedText(DescriptionText);

  BinaryFile header(headerFile, BinaryFile::Mode::Update);
  if (header.Size() < kFlashHeaderSize) {
    ThrowFormatError(headerFile, "", fmt::format("a flash header holds {} bytes; this one {}", kFlashHeaderSize,
                                                 header.Size()));
  }
  const std::uint16_t s15 = Sum16Of(drmImage);
  std::array<std::uint8_t, 16> first16{};  // a shorter image leaves zeros
  drmImage.ReadAt(0, first16);
  const std::int64_t size = drmImage.Size();

  header.Seek(kCountField);
  header.Write(std::array<std::uint8_t, 1>{2});

  const std::uint32_t start = U32LEAt(header, kCodeGroup15Entry);
  const auto end = static_cast<std::uint32_t>(start + static_cast<std::uint32_t>(size) - 1);

  header.Seek(kClearedFrom);
  header.Write(std::vector<std::uint8_t>(kClearedBytes, 0));
  WriteU32LEAt(header, kCodeGroup15Entry, start);
  WriteU32LEAt(header, kCodeGroup15Entry + 4, end);
  header.Write(first16);
  std::array<std::uint8_t, 4> sumBytes{};
  PutU32LE(s15, sumBytes.data());
  header.Write(sumBytes);

  BinaryFile ramdld(ramdldFile, BinaryFile::Mode::Read);
  const std::uint16_t r = Sum16Of(ramdld);
  ramdld.Close();
  WriteU32LEAt(header, kRamdldChecksumField, r + kRamdldChecksumBase);

  header.Seek(kDateField);
  header.Write(date);
  header.Seek(kDescriptionField);
  header.Write(description);
  header.Close();
}

void WriteSuperfile(const std::filesystem::path& binaryFolder, const std::filesystem::path& drmImage,
                    const std::filesystem::path& saveFile, const std::tm& now, Progress& progress) {
  WriteSuperfile(binaryFolder, drmImage, saveFile, now, progress, WriterFaults{});
}

void WriteSuperfile(const std::filesystem::path& binaryFolder, const std::filesystem::path& drmImage,
                    const std::filesystem::path& saveFile, const std::tm& now, Progress& progress,
                    const WriterFaults& faults) {
  const std::filesystem::path headerFile = FindInput(binaryFolder, "header.bin");
  const std::filesystem::path ramdldFile = FindInput(binaryFolder, "ramdld.bin");
  // Held open from here on: when the save name is the image's own name, the rename
  // at the end replaces the image only after every byte of it has been read.
  BinaryFile drm(drmImage, BinaryFile::Mode::Read);

  // Everything that could refuse the save is checked before anything is patched.
  {
    BinaryFile header(headerFile, BinaryFile::Mode::Read);
    // A longer header would put its extra bytes where a reader expects the first record.
    if (header.Size() != kFlashHeaderSize) {
      ThrowFormatError(headerFile, "", fmt::format("a flash header holds {} bytes; this one {}", kFlashHeaderSize,
                                                   header.Size()));
    }
    const std::uint32_t start15 = U32LEAt(header, kCodeGroup15Entry);
    if (start15 == 0) {
      ThrowFormatError(headerFile, fmt::format("offset {}", HexOffset(kCodeGroup15Entry)),
                       "the flash header lists no code group 15 to replace");
    }
    if (drm.Size() == 0) ThrowFormatError(drmImage, "", "the DRM image is empty");
    RequireAddressRoom(drmImage, "the DRM image", start15, drm.Size());
    BinaryFile ramdld(ramdldFile, BinaryFile::Mode::Read);
    if (ramdld.Size() < kMinRamdldSize) {
      throw Error(Error::Kind::Format,
                  fmt::format("{}: the RAM downloader holds {} bytes; at least {} are needed", ramdldFile.string(),
                              ramdld.Size(), kMinRamdldSize));
    }
    RequireAddressRoom(ramdldFile, "the RAM downloader", U32LEAt(header, kRamdldStartField), ramdld.Size());
  }

  ProgressStep step(progress, "Compiling shx");
  PatchRamdld(ramdldFile);
  PatchHeader(headerFile, ramdldFile, drm, now);

  BinaryFile header(headerFile, BinaryFile::Mode::Read);
  BinaryFile ramdld(ramdldFile, BinaryFile::Mode::Read);
  AtomicOutputFile out(saveFile);
  CopyRange(header, 0, 0, out.File(), false);
  const std::uint32_t ramdldStart = U32LEAt(header, kRamdldStartField);
  const std::uint32_t start15 = U32LEAt(header, kCodeGroup15Entry);

  const std::string sectionStart = std::string(S0Line) + std::string(kLineEnd);
  RecordWriter records(out.File(), step, ramdld.Size() + drm.Size());
  out.File().Write(sectionStart);
  records.WriteImage(ramdld, ramdldStart);
  out.File().Write(std::string(S7Line) + std::string(kLineEnd) + sectionStart);
  records.WriteImage(drm, start15);
  out.File().Write(S7Line);
  header.Close();
  ramdld.Close();
  // The file may be flashed into a phone: it takes the user's name only once it
  // reads back as exactly what was meant to be written.
  out.SetVerifier([&](const std::filesystem::path& temp) {
    if (faults.tamper) faults.tamper(temp);
    VerifySuperfile(temp, saveFile, headerFile, ramdldFile, drm);
  });
  out.Commit();
}

}  // namespace resmill::flash
