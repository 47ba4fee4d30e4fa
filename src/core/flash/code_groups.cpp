#include "flash/code_groups.h"

#include <fmt/format.h>

#include "flash/code_group_files.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::flash {

namespace {

constexpr std::size_t kCountField = 944;
constexpr std::size_t kRamdldEntry = 948;
constexpr std::size_t kFirstCodeGroupEntry = 1004;
constexpr std::size_t kEntrySize = 28;
constexpr std::uint32_t kMaxTableEntries = 21;
// Entries continue as far as the header holds a start and an end address.
constexpr std::uint32_t kHeaderEntrySlots =
    static_cast<std::uint32_t>((kFlashHeaderSize - kFirstCodeGroupEntry - 8) / kEntrySize + 1);

strrec MakeEntry(std::filesystem::path fileName, std::uint32_t start, std::uint32_t end) {
  strrec entry;
  entry.FileName = std::move(fileName);
  entry.StartAddress = start;
  entry.EndAddress = end;
  entry.Length = static_cast<std::int32_t>(end - start + 1);
  return entry;
}

}  // namespace

namespace detail {

FlashHeader ReadFlashHeader(BinaryFile& flash) {
  FlashHeader header{};
  flash.Seek(0);
  flash.ReadExact(header, "the flash header (8172 bytes)");
  return header;
}

void WriteHeaderFile(const FlashHeader& header, const std::filesystem::path& slotFolder) {
  WriteFileAtomically(slotFolder / "header.bin", header);
}

OpenedFlashFile OpenFlashFile(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder) {
  OpenedFlashFile opened{BinaryFile(flashFile, BinaryFile::Mode::Read), {}, {}};
  opened.header = ReadFlashHeader(opened.flash);
  WriteHeaderFile(opened.header, slotFolder);
  opened.table = ParseCodeGroupTable(opened.header, flashFile, slotFolder);
  return opened;
}

CodeGroupTable ParseCodeGroupTable(const FlashHeader& header, const std::filesystem::path& file,
                                   const std::filesystem::path& slotFolder) {
  CodeGroupTable table;
  table.N = GetU32LE(&header[kCountField]);
  if (table.N > kMaxTableEntries) {
    ThrowFormatError(file, fmt::format("offset {}", HexOffset(kCountField)),
                     fmt::format("the code-group table lists {} code groups; at most {} are possible", table.N,
                                 kMaxTableEntries));
  }
  table.entries.push_back(MakeEntry(slotFolder / "RAMDLD.bin", GetU32LE(&header[kRamdldEntry]),
                                    GetU32LE(&header[kRamdldEntry + 4])));

  const std::uint32_t needed = table.N >= 1 ? table.N - 1 : 0;
  std::uint32_t present = 0;
  for (std::uint32_t k = 0; k < kHeaderEntrySlots && present < needed; ++k) {
    const std::size_t at = kFirstCodeGroupEntry + kEntrySize * k;
    const std::uint32_t start = GetU32LE(&header[at]);
    if (start == 0) continue;  // absent code group
    table.entries.push_back(MakeEntry(slotFolder / fmt::format("CG{}.bin", k), start, GetU32LE(&header[at + 4])));
    ++present;
  }
  if (present < needed) {
    ThrowFormatError(file, fmt::format("offset {}", HexOffset(kCountField)),
                     fmt::format("the code-group table lists {} code groups but only {} are present", table.N,
                                 present + 1));
  }

  // Code groups 0 and 1 travel as one section and become one file, CG1.bin.
  if (table.entries.size() >= 2 && table.entries[1].FileName.filename() == "CG0.bin") {
    strrec& joined = table.entries[1];
    joined.FileName = slotFolder / "CG1.bin";
    if (table.entries.size() >= 3) {
      joined.EndAddress = table.entries[2].EndAddress;
      joined.Length = static_cast<std::int32_t>(static_cast<std::uint32_t>(joined.Length) +
                                                static_cast<std::uint32_t>(table.entries[2].Length));
      table.entries.erase(table.entries.begin() + 2);
    }
  }
  // Decided on the final table: a code group 15 swallowed by the joining has no file of its own.
  for (std::size_t e = 1; e < table.entries.size(); ++e) {
    if (table.entries[e].FileName.filename() == "CG15.bin") table.hasCodeGroup15 = true;
  }
  return table;
}

CodeGroupWriter::CodeGroupWriter(const CodeGroupTable& table, const std::filesystem::path& slotFolder)
    : folder_(slotFolder), temp_(slotFolder / "temp.bin") {
  for (const strrec& entry : table.entries) targets_.push_back(entry.FileName);
}

CodeGroupWriter::~CodeGroupWriter() {
  if (!committed_) RemoveParts();
}

std::filesystem::path CodeGroupWriter::CurrentName() const {
  if (staged_.size() < targets_.size()) return targets_[staged_.size()].filename();
  return "(none)";
}

void CodeGroupWriter::OpenTemp() {
  if (!current_.IsOpen()) current_ = BinaryFile(temp_, BinaryFile::Mode::Create);
}

void CodeGroupWriter::Append(std::span<const std::uint8_t> data) {
  if (data.empty()) return;
  OpenTemp();
  current_.Write(data);
}

void CodeGroupWriter::EndSection() {
  if (staged_.size() >= targets_.size()) {
    throw Error(Error::Kind::Internal, "more code-group sections than table entries");
  }
  OpenTemp();
  current_.Close();
  std::string hidden = ".";
  hidden += targets_[staged_.size()].filename().string();
  hidden += ".part";
  std::filesystem::path part = folder_ / hidden;
  RenameReplacing(temp_, part);
  staged_.push_back(std::move(part));
}

void CodeGroupWriter::Commit() {
  if (staged_.size() != targets_.size()) {
    throw Error(Error::Kind::Internal, "code-group file set committed before its last section");
  }
  for (std::size_t i = 0; i < staged_.size(); ++i) RenameReplacing(staged_[i], targets_[i]);
  committed_ = true;
}

void CodeGroupWriter::RemoveParts() noexcept {
  try {
    current_.Close();
  } catch (...) {
  }
  DeleteFileQuietly(temp_);
  for (const auto& part : staged_) DeleteFileQuietly(part);
}

}  // namespace detail

CodeGroupTable ParseCodeGroupTable(const std::filesystem::path& headerFile, const std::filesystem::path& slotFolder) {
  BinaryFile file(headerFile, BinaryFile::Mode::Read);
  return detail::ParseCodeGroupTable(detail::ReadFlashHeader(file), headerFile, slotFolder);
}

}  // namespace resmill::flash
