#include "platform/atomic_output.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "platform/error.h"

namespace resmill {

AtomicOutputFile::AtomicOutputFile(std::filesystem::path target) : target_(std::move(target)) {
  std::filesystem::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  // A leading dot keeps the temporary file out of the case-blind folder searches.
  // O_EXCL with a fresh name each try: the file gets the permissions a plain new
  // file would get (umask applies), and no other file is ever truncated.
  std::random_device random;
  for (int attempt = 0;; ++attempt) {
    temp_ = folder / fmt::format(".{}.resmill-{:08x}", target_.filename().string(), random());
    int fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      break;
    }
    if (errno != EEXIST || attempt > 100) ThrowIoError("create", target_);
  }
  try {
    file_ = BinaryFile(temp_, BinaryFile::Mode::Update);
  } catch (...) {
    std::remove(temp_.c_str());
    throw;
  }
}

AtomicOutputFile::~AtomicOutputFile() { Discard(); }

void AtomicOutputFile::Discard() noexcept {
  if (done_) return;
  done_ = true;
  try {
    file_.Close();
  } catch (...) {
  }
  std::remove(temp_.c_str());
}

void AtomicOutputFile::Commit() {
  if (done_) throw Error(Error::Kind::Internal, "output file committed twice: " + target_.string());
  try {
    file_.Close();
    if (verifier_) verifier_(temp_);
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) ThrowIoError("rename to", target_);
  } catch (...) {
    Discard();
    throw;
  }
  done_ = true;
}

void WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> data) {
  AtomicOutputFile out(target);
  out.File().Write(data);
  out.Commit();
}

void CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target) {
  BinaryFile in(source, BinaryFile::Mode::Read);
  AtomicOutputFile out(target);
  std::vector<std::uint8_t> block(8192);
  for (;;) {
    std::size_t got = in.Read(block);
    if (got == 0) break;
    out.File().Write(std::span(block.data(), got));
  }
  out.Commit();
}

}  // namespace resmill
