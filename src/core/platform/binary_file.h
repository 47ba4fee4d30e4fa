#pragma once
// Byte files with positioned block reads and writes. Unbuffered: callers move
// data in blocks (8 KiB and up), so a user-space buffer would only copy twice.
// Every failure throws resmill::Error (Kind::Io) naming the operation and file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace resmill {

class BinaryFile {
 public:
  enum class Mode {
    Read,    ///< existing file, read only
    Create,  ///< created or truncated, read and write
    Update,  ///< existing file, read and write, kept as it is
  };

  BinaryFile() = default;
  BinaryFile(const std::filesystem::path& path, Mode mode);
  /// Takes over an open descriptor (closed by this object); `path` names it in messages.
  static BinaryFile Adopt(int fd, const std::filesystem::path& path) noexcept;
  ~BinaryFile();
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  bool IsOpen() const noexcept { return fd_ >= 0; }
  const std::filesystem::path& Path() const noexcept { return path_; }

  /// Reads up to buffer.size() bytes at the current position; fewer only at the end of the file.
  std::size_t Read(std::span<std::uint8_t> buffer);
  /// Reads exactly buffer.size() bytes or throws a format error naming `what` and the offset.
  void ReadExact(std::span<std::uint8_t> buffer, std::string_view what);
  /// Reads up to buffer.size() bytes at `offset` without moving the current position.
  std::size_t ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer);
  /// Writes every byte at the current position.
  void Write(std::span<const std::uint8_t> data);
  void Write(std::string_view text);

  void Seek(std::int64_t offset);
  std::int64_t Position() const noexcept { return position_; }
  std::int64_t Size() const;

  /// Flushes the file's data (and the size needed to read it) to the disk.
  void Sync();

  /// Closes and reports a failed close; the destructor closes silently.
  void Close();

 private:
  int fd_ = -1;
  std::int64_t position_ = 0;
  std::filesystem::path path_;
};

/// The first bytes of `file`, at most `limit` of them (all of a shorter file).
/// `fileSize`, when given, receives the whole file's length.
std::vector<std::uint8_t> ReadFileHead(const std::filesystem::path& file, std::uint64_t limit,
                                       std::int64_t* fileSize = nullptr);

/// All of `file`. One longer than `maxSize` is refused (Error::Kind::Limit) as too
/// large for `what` before anything is read; one that shrinks while it is read
/// is a format error ("file ends inside <what>").
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& file, std::int64_t maxSize,
                                        std::string_view what);
/// The same for a file already open; its position is left alone.
std::vector<std::uint8_t> ReadWholeFile(BinaryFile& file, std::int64_t maxSize, std::string_view what);

}  // namespace resmill
