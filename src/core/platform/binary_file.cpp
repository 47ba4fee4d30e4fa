#include "platform/binary_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "platform/error.h"

namespace resmill {

namespace {

// Repeats a positioned transfer, `transfer(done)` moving the bytes from `done` on,
// until all `size` bytes are moved or a call moves none (the end of the file).
template <class Transfer>
std::size_t TransferAll(std::size_t size, std::string_view operation, const std::filesystem::path& path,
                        Transfer transfer) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t moved = transfer(done);
    if (moved < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(operation, path);
    }
    if (moved == 0) break;
    done += static_cast<std::size_t>(moved);
  }
  return done;
}

}  // namespace

BinaryFile::BinaryFile(const std::filesystem::path& path, Mode mode) : path_(path) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::Update: flags |= O_RDWR; break;
  }
  do {
    fd_ = ::open(path.c_str(), flags, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) ThrowIoError(mode == Mode::Create ? "create" : "open", path);
  // Only a read can open a folder: opening one for writing fails above (EISDIR).
  struct stat st {};
  if (mode == Mode::Read && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    ThrowIoError("open", path, EISDIR);
  }
}

BinaryFile BinaryFile::Adopt(int fd, const std::filesystem::path& path) noexcept {
  BinaryFile file;
  file.fd_ = fd;
  file.path_ = path;
  return file;
}

BinaryFile::~BinaryFile() {
  if (fd_ >= 0) ::close(fd_);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : fd_(other.fd_), position_(other.position_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    position_ = other.position_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

std::size_t BinaryFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) {
  return TransferAll(buffer.size(), "read", path_, [&](std::size_t done) {
    return ::pread(fd_, buffer.data() + done, buffer.size() - done,
                   static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
  });
}

std::size_t BinaryFile::Read(std::span<std::uint8_t> buffer) {
  std::size_t got = ReadAt(position_, buffer);
  position_ += static_cast<std::int64_t>(got);
  return got;
}

void BinaryFile::ReadExact(std::span<std::uint8_t> buffer, std::string_view what) {
  std::int64_t at = position_;
  if (Read(buffer) != buffer.size()) {
    ThrowFormatError(path_, fmt::format("offset {}", HexOffset(static_cast<std::uint64_t>(at))),
                     fmt::format("file ends inside {}", what));
  }
}

void BinaryFile::Write(std::span<const std::uint8_t> data) {
  const std::size_t written = TransferAll(data.size(), "write", path_, [&](std::size_t done) {
    return ::pwrite(fd_, data.data() + done, data.size() - done,
                    static_cast<off_t>(position_ + static_cast<std::int64_t>(done)));
  });
  // A write that takes nothing will take nothing on a retry either: the disk is full.
  if (written != data.size()) ThrowIoError("write", path_, ENOSPC);
  position_ += static_cast<std::int64_t>(written);
}

void BinaryFile::Write(std::string_view text) {
  Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void BinaryFile::Seek(std::int64_t offset) {
  if (offset < 0) ThrowIoError("seek", path_, EINVAL);
  position_ = offset;
}

std::int64_t BinaryFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) ThrowIoError("size of", path_);
  return static_cast<std::int64_t>(st.st_size);
}

void BinaryFile::Sync() {
  int result = 0;
  do {
    result = ::fdatasync(fd_);
  } while (result != 0 && errno == EINTR);
  if (result != 0) ThrowIoError("flush to disk", path_);
}

void BinaryFile::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) ThrowIoError("close", path_);
}

std::vector<std::uint8_t> ReadFileHead(const std::filesystem::path& file, std::uint64_t limit,
                                       std::int64_t* fileSize) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  const std::int64_t size = in.Size();
  if (fileSize != nullptr) *fileSize = size;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(limit, static_cast<std::uint64_t>(size))));
  bytes.resize(in.Read(bytes));
  return bytes;
}

std::vector<std::uint8_t> ReadWholeFile(BinaryFile& file, std::int64_t maxSize, std::string_view what) {
  const std::int64_t size = file.Size();
  if (size > maxSize) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} bytes is too large for {} (at most {} bytes)",
                                                file.Path().string(), size, what, maxSize));
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  // The file shrank while it was read.
  if (const std::size_t got = file.ReadAt(0, bytes); got != bytes.size()) {
    ThrowFormatError(file.Path(), fmt::format("offset {}", HexOffset(got)), fmt::format("file ends inside {}", what));
  }
  return bytes;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& file, std::int64_t maxSize,
                                        std::string_view what) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  return ReadWholeFile(in, maxSize, what);
}

}  // namespace resmill
