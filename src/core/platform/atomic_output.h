#pragma once
// Every file written for the user goes through here. The bytes go to a
// temporary file in the target's folder and only a complete file takes the
// target's name, by one rename, so the name holds the old file or the new one,
// never a part.
//
// Where the file system has them the temporary file is unnamed (O_TMPFILE): a
// process killed while writing leaves nothing behind, and the file gets a name
// only at the rename. Elsewhere it is a hidden file
// ".<name>.resmill-<pid>-<random>", locked (flock) by its writer for as long as
// it lives; a later durable write into the same folder removes those whose
// writer is gone. A failure (or an exception that skips Commit) removes the
// temporary file.

#include <filesystem>
#include <functional>
#include <span>

#include "platform/binary_file.h"

namespace resmill {

enum class Durability {
  /// Flushed to the disk before it takes the target's name, and the folder
  /// after: a power cut leaves the old file or the new one, never an empty one.
  /// For every file that replaces a user's file.
  Durable,
  /// Not flushed: the many files of the work tree, which the stage that writes
  /// them flushes with one SyncFileSystem.
  Deferred,
};

enum class TemporaryKind {
  Unnamed,  ///< an unnamed file where the file system has them, else a named one
  Named,    ///< always a named hidden file (what a file system without unnamed files gets)
};

struct OutputOptions {
  Durability durability = Durability::Durable;
  TemporaryKind temporary = TemporaryKind::Unnamed;
};

class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(std::filesystem::path target, OutputOptions options = {});
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  /// The file being written; its errors name the target.
  BinaryFile& File() noexcept { return file_; }
  const std::filesystem::path& Target() const noexcept { return target_; }
  /// A path that opens the bytes written so far: the hidden file beside the
  /// target, or "/proc/self/fd/<n>" for an unnamed file (whose folder is not the target's).
  const std::filesystem::path& TempPath() const noexcept { return temp_; }
  bool Unnamed() const noexcept { return unnamed_; }

  /// Runs on TempPath() once everything is written and before the file takes the
  /// target's name; a verifier that throws keeps the target untouched (the
  /// temporary file is removed).
  void SetVerifier(std::function<void(const std::filesystem::path& temp)> verifier) {
    verifier_ = std::move(verifier);
  }

  /// Verifies, flushes (when durable) and renames the file into place.
  void Commit();
  /// Drops the temporary file; the target is not touched.
  void Discard() noexcept;

 private:
  void LinkIntoPlace();

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::filesystem::path temp_;
  /// The hidden name an unnamed file holds for a moment before its rename over the target.
  std::filesystem::path linked_;
  OutputOptions options_;
  BinaryFile file_;
  std::function<void(const std::filesystem::path&)> verifier_;
  bool unnamed_ = false;
  bool done_ = false;
};

/// Removes the named temporary files in `folder` whose writer is gone (its
/// process has ended and nobody holds their lock). Never fails.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder) noexcept;

/// Writes `data` to `target` through an AtomicOutputFile. Deferred by default:
/// most such files belong to the work tree.
void WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> data,
                         Durability durability = Durability::Deferred);
/// Copies `source` over `target` (replacing it) through an AtomicOutputFile, in 8 KiB blocks.
void CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        Durability durability = Durability::Deferred);

}  // namespace resmill
