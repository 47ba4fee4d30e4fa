#pragma once
// Shared by the two flash readers: the opened flash file with its header and
// table, and the staged writing of the code-group file set. Not part of the
// public flash interface.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "flash/code_groups.h"
#include "platform/binary_file.h"
#include "platform/user_interface.h"

namespace resmill::flash::detail {

/// What both readers start with: the flash file open, its header (already copied to
/// header.bin in the slot folder), and its code-group table.
struct OpenedFlashFile {
  BinaryFile flash;
  FlashHeader header{};
  CodeGroupTable table;
};

/// Collects each section into temp.bin in the slot folder and parks finished sections
/// under hidden names; only Commit gives them their real names. Until then a damaged
/// flash file leaves no code-group file behind: the destructor removes every part.
class CodeGroupWriter {
 public:
  CodeGroupWriter(const CodeGroupTable& table, const std::filesystem::path& slotFolder);
  ~CodeGroupWriter();
  CodeGroupWriter(const CodeGroupWriter&) = delete;
  CodeGroupWriter& operator=(const CodeGroupWriter&) = delete;

  std::size_t SectionsExpected() const { return targets_.size(); }
  /// The file name the section being collected will get (for messages).
  std::filesystem::path CurrentName() const;

  void Append(std::span<const std::uint8_t> data);
  /// Finishes the section being collected (an empty one gives an empty file).
  void EndSection();
  /// Gives every finished section its real name; all sections must be done.
  void Commit();

 private:
  void OpenTemp();
  void RemoveParts() noexcept;

  std::filesystem::path folder_;
  std::filesystem::path temp_;
  std::vector<std::filesystem::path> targets_;
  std::vector<std::filesystem::path> staged_;
  BinaryFile current_;
  bool committed_ = false;
};

/// The course of both readers: the flash file opened and header.bin written; then,
/// only when the table lists code group 15, `split` hands every section to the
/// writer and the whole set is committed. False (header.bin alone) without code group 15.
bool ExtractCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                       Progress& progress,
                       const std::function<void(OpenedFlashFile&, CodeGroupWriter&, ProgressStep&)>& split);

}  // namespace resmill::flash::detail
