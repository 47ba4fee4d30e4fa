#include "flash/code_groups.h"

#include <fmt/format.h>

#include "flash/code_group_files.h"
#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::flash {

namespace {

constexpr std::uint32_t kMaxTableEntries = 21;

CodeGroupEntry MakeEntry(std::filesystem::path fileName, std::uint32_t start, std::uint32_t end) {
  CodeGroupEntry entry;
  entry.FileName = std::move(fileName);
  entry.StartAddress = start;
  entry.EndAddress = end;
  entry.Length = static_cast<std::int32_t>(end - start + 1);
  return entry;
}

}  // namespace

CodeGroupTable ParseCodeGroupTable(const FlashHeader& header, const std::filesystem::path& file,
                                   const std::filesystem::path& slotFolder) {
  CodeGroupTable table;
  table.codeGroupCount = HeaderU32(header, kCountField);
  if (table.codeGroupCount > kMaxTableEntries) {
    ThrowFormatError(file, fmt::format("offset {}", HexOffset(kCountField)),
                     fmt::format("the code-group table lists {} code groups; at most {} are possible", table.codeGroupCount,
                                 kMaxTableEntries));
  }
  table.entries.push_back(MakeEntry(slotFolder / "RAMDLD.bin", HeaderU32(header, kRamdldEntry + kEntryStart),
                                    HeaderU32(header, kRamdldEntry + kEntryEnd)));

  const std::uint32_t needed = table.codeGroupCount >= 1 ? table.codeGroupCount - 1 : 0;
  std::uint32_t present = 0;
  for (std::size_t k = 0; k < kHeaderEntrySlots && present < needed; ++k) {
    const std::size_t at = CodeGroupEntryAt(k);
    const std::uint32_t start = HeaderU32(header, at + kEntryStart);
    if (start == 0) continue;  // absent code group
    table.entries.push_back(
        MakeEntry(slotFolder / fmt::format("CG{}.bin", k), start, HeaderU32(header, at + kEntryEnd)));
    ++present;
  }
  if (present < needed) {
    ThrowFormatError(file, fmt::format("offset {}", HexOffset(kCountField)),
                     fmt::format("the code-group table lists {} code groups but only {} are present", table.codeGroupCount,
                                 present + 1));
  }

  // Code groups 0 and 1 travel as one section and become one file, CG1.bin.
  if (table.entries.size() >= 2 && table.entries[1].FileName.filename() == "CG0.bin") {
    CodeGroupEntry& joined = table.entries[1];
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

namespace detail {

bool ExtractCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                       Progress& progress,
                       const std::function<void(OpenedFlashFile&, CodeGroupWriter&, ProgressStep&)>& split) {
  OpenedFlashFile opened{BinaryFile(flashFile, BinaryFile::Mode::Read), {}, {}};
  opened.header = ReadFlashHeader(opened.flash);
  WriteFileAtomically(slotFolder / "header.bin", opened.header);
  opened.table = ParseCodeGroupTable(opened.header, flashFile, slotFolder);
  if (!opened.table.hasCodeGroup15) return false;
  ProgressStep step(progress, "Extracting codegroups");
  CodeGroupWriter writer(opened.table, slotFolder);
  split(opened, writer, step);
  writer.Commit();
  step.SetPosition(100);
  return true;
}

CodeGroupWriter::CodeGroupWriter(const CodeGroupTable& table, const std::filesystem::path& slotFolder)
    : folder_(slotFolder), temp_(slotFolder / "temp.bin") {
  for (const CodeGroupEntry& entry : table.entries) targets_.push_back(entry.FileName);
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
  return ParseCodeGroupTable(ReadFlashHeader(file), headerFile, slotFolder);
}

}  // namespace resmill::flash
