#include "flash/superfile_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "flash/srec.h"
#include "flash/superfile_verify.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/numeric.h"

namespace resmill::flash {

namespace {

constexpr std::size_t kImageBlock = std::size_t{1} << 20;  // a multiple of the record size
static_assert(kImageBlock % kRecordDataBytes == 0);

std::filesystem::path FindInput(const std::filesystem::path& folder, std::string_view name) {
  auto found = FindCaseBlind(folder, name);
  if (!found) ThrowIoError("open", folder / std::string(name), ENOENT);
  return *found;
}

void RequireAddressRoom(const std::filesystem::path& file, std::string_view what, std::uint32_t start,
                        std::int64_t size) {
  if (static_cast<std::int64_t>(start) + size - 1 > 0xFFFFFFFFll) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} of {} bytes does not fit at flash address 0x{:08X}",
                                                file.string(), what, size, start));
  }
}

// Writes each section's data as S3 records of 64 data bytes, the last one carrying the rest.
class RecordWriter {
 public:
  RecordWriter(BinaryFile& out, ProgressStep& step, std::int64_t totalBytes)
      : out_(out), step_(step), total_(totalBytes), image_(kImageBlock),
        text_(kImageBlock / kRecordDataBytes * (2 * kRecordDataBytes + 16)) {}

  void WriteSection(const SuperfileSection& section) {
    std::uint32_t address = section.start;
    for (std::int64_t at = 0;;) {
      const std::size_t got = section.ReadAt(at, image_);
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

}  // namespace

std::string FormatHeaderDate(int year, int month, int day, int dayOfWeek, int hours, int minutes, int seconds) {
  if (month < 1 || month > 12 || dayOfWeek < 1 || dayOfWeek > 7) {
    throw Error(Error::Kind::Internal, fmt::format("no such date: month {}, day of week {}", month, dayOfWeek));
  }
  return fmt::format("{} {} {:02} {:02}:{:02}:{:02} {}", kDayNames[static_cast<std::size_t>(dayOfWeek - 1)],
                     kMonthNames[static_cast<std::size_t>(month - 1)], day, hours, minutes, seconds, year);
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

void PatchRamdld(std::span<std::uint8_t> ramdld) {
  if (ramdld.size() < static_cast<std::size_t>(kMinRamdldSize)) {
    throw Error(Error::Kind::Internal, "a RAM downloader to patch must hold at least 415 bytes");
  }
  std::fill(ramdld.begin() + kRamdldPatchFrom, ramdld.begin() + kRamdldKeptFrom, 0xFF);
  std::fill(ramdld.begin() + kRamdldKeptEnd, ramdld.begin() + kMinRamdldSize, 0xFF);
}

void PatchHeader(FlashHeader& header, std::span<const std::uint8_t> ramdld, BinaryFile& drmImage,
                 const std::tm& now) {
  const FixedText date = PutFixedText(FormatHeaderDate(now));
  const FixedText description = PutFixedText(kDescriptionText);
  drmImage.Seek(0);
  const std::uint16_t drmSum = Sum16(drmImage);
  std::array<std::uint8_t, kEntryFirstBytesSize> first16{};  // a shorter image leaves zeros
  drmImage.ReadAt(0, first16);
  const std::int64_t size = drmImage.Size();

  // The count's other three bytes keep their values.
  header[kCountField] = 2;
  const std::size_t entry15 = CodeGroupEntryAt(15);
  const std::uint32_t start = HeaderU32(header, entry15 + kEntryStart);
  std::fill(header.begin() + kClearedFrom, header.begin() + kClearedEnd, 0);
  SetHeaderU32(header, entry15 + kEntryStart, start);
  SetHeaderU32(header, entry15 + kEntryEnd, static_cast<std::uint32_t>(start + static_cast<std::uint32_t>(size) - 1));
  std::copy(first16.begin(), first16.end(), header.begin() + entry15 + kEntryFirstBytes);
  SetHeaderU32(header, entry15 + kEntryChecksum, drmSum);
  SetHeaderU32(header, kRamdldEntry + kEntryChecksum, Sum16(ramdld) + kRamdldChecksumBase);
  std::copy(date.begin(), date.end(), header.begin() + kDateField);
  std::copy(description.begin(), description.end(), header.begin() + kDescriptionField);
}

std::size_t SuperfileSection::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) const {
  if (file) return file->ReadAt(offset, buffer);
  if (offset >= static_cast<std::int64_t>(bytes.size())) return 0;
  const std::size_t n = std::min(buffer.size(), bytes.size() - static_cast<std::size_t>(offset));
  std::memcpy(buffer.data(), bytes.data() + offset, n);
  return n;
}

SuperfilePlan PlanSuperfile(const std::filesystem::path& headerFile, const std::filesystem::path& ramdldFile,
                            BinaryFile& drmImage, const std::tm& now) {
  SuperfilePlan plan;
  {
    BinaryFile header(headerFile, BinaryFile::Mode::Read);
    // A longer header would put its extra bytes where a reader expects the first record.
    if (header.Size() != kFlashHeaderSize) {
      ThrowFormatError(headerFile, "", fmt::format("a flash header holds {} bytes; this one {}", kFlashHeaderSize,
                                                   header.Size()));
    }
    plan.header = ReadFlashHeader(header);
  }
  const std::uint32_t ramdldStart = HeaderU32(plan.header, kRamdldEntry + kEntryStart);
  const std::uint32_t start15 = HeaderU32(plan.header, CodeGroupEntryAt(15) + kEntryStart);
  if (start15 == 0) {
    ThrowFormatError(headerFile, fmt::format("offset {}", HexOffset(CodeGroupEntryAt(15))),
                     "the flash header lists no code group 15 to replace");
  }
  if (drmImage.Size() == 0) ThrowFormatError(drmImage.Path(), "", "the DRM image is empty");
  RequireAddressRoom(drmImage.Path(), "the DRM image", start15, drmImage.Size());
  {
    BinaryFile ramdld(ramdldFile, BinaryFile::Mode::Read);
    if (ramdld.Size() < kMinRamdldSize) {
      throw Error(Error::Kind::Format,
                  fmt::format("{}: the RAM downloader holds {} bytes; at least {} are needed", ramdldFile.string(),
                              ramdld.Size(), kMinRamdldSize));
    }
    RequireAddressRoom(ramdldFile, "the RAM downloader", ramdldStart, ramdld.Size());
    plan.ramdld.resize(static_cast<std::size_t>(ramdld.Size()));
    ramdld.ReadExact(plan.ramdld, "the RAM downloader");
  }

  PatchRamdld(plan.ramdld);
  PatchHeader(plan.header, plan.ramdld, drmImage, now);
  plan.sections.push_back({"RAMDLD.bin", "the RAMDLD", ramdldStart, static_cast<std::int64_t>(plan.ramdld.size()),
                           plan.ramdld, nullptr});
  plan.sections.push_back({"CG15.bin", "the DRM image", start15, drmImage.Size(), {}, &drmImage});
  return plan;
}

void WriteSuperfile(const std::filesystem::path& binaryFolder, const std::filesystem::path& drmImage,
                    const std::filesystem::path& saveFile, const std::tm& now, Progress& progress,
                    const WriterFaults& faults) {
  const std::filesystem::path headerFile = FindInput(binaryFolder, "header.bin");
  const std::filesystem::path ramdldFile = FindInput(binaryFolder, "ramdld.bin");
  // Held open from here on: when the save name is the image's own name, the rename
  // at the end replaces the image only after every byte of it has been read.
  BinaryFile drm(drmImage, BinaryFile::Mode::Read);
  const SuperfilePlan plan = PlanSuperfile(headerFile, ramdldFile, drm, now);

  ProgressStep step(progress, "Compiling shx");
  // The work folder keeps the header and RAM downloader that describe the newest save.
  WriteFileAtomically(ramdldFile, plan.ramdld);
  WriteFileAtomically(headerFile, plan.header);

  AtomicOutputFile out(saveFile);
  out.File().Write(plan.header);
  std::int64_t total = 0;
  for (const SuperfileSection& section : plan.sections) total += section.size;
  RecordWriter records(out.File(), step, total);
  for (std::size_t i = 0; i < plan.sections.size(); ++i) {
    out.File().Write(std::string(kS0Line) + std::string(kLineEnd));
    records.WriteSection(plan.sections[i]);
    // The file ends right after the last S7 record.
    out.File().Write(i + 1 < plan.sections.size() ? std::string(kS7Line) + std::string(kLineEnd)
                                                  : std::string(kS7Line));
  }
  // The file may be flashed into a phone: it takes the user's name only once it
  // reads back as exactly what was planned.
  out.SetVerifier([&](const std::filesystem::path& temp) {
    if (faults.tamper) faults.tamper(temp);
    VerifySuperfile(temp, saveFile, plan);
  });
  out.Commit();
}

}  // namespace resmill::flash
