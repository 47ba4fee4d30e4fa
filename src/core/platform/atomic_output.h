#pragma once
// Every file written for the user goes through here: the bytes go to a hidden
// temporary file beside the target, and only a complete file is renamed over
// the target. A failure (or an exception that skips Commit) removes the
// temporary file, so the user's name never holds a partial file and an older
// file of that name stays intact.

#include <filesystem>
#include <functional>

#include "platform/binary_file.h"

namespace resmill {

class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(std::filesystem::path target);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  BinaryFile& File() noexcept { return file_; }
  const std::filesystem::path& Target() const noexcept { return target_; }
  const std::filesystem::path& TempPath() const noexcept { return temp_; }

  /// Runs after the temporary file is closed and before it replaces the target;
  /// a verifier that throws keeps the target untouched (the temporary file is removed).
  void SetVerifier(std::function<void(const std::filesystem::path& temp)> verifier) {
    verifier_ = std::move(verifier);
  }

  /// Flushes, closes, verifies and renames the file into place.
  void Commit();
  /// Drops the temporary file; the target is not touched.
  void Discard() noexcept;

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  BinaryFile file_;
  std::function<void(const std::filesystem::path&)> verifier_;
  bool done_ = false;
};

/// Writes `data` to `target` through an AtomicOutputFile.
void WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> data);
/// Copies `source` over `target` (replacing it) through an AtomicOutputFile, in 8 KiB blocks.
void CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace resmill
