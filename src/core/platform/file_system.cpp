#include "platform/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include "platform/error.h"

namespace resmill {
namespace fs = std::filesystem;

namespace {
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool MatchFrom(std::string_view mask, std::string_view name) {
  // Iterative glob with backtracking to the last "*".
  std::size_t m = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || UpperAscii(mask[m]) == UpperAscii(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      star = m++;
      mark = n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}
}  // namespace

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

bool EqualsCaseBlind(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

int CompareCaseBlind(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool WildcardMatch(std::string_view mask, std::string_view name) {
  if (mask == "*.*" || mask == "*") return true;
  return MatchFrom(mask, name);
}

std::string UpperExtension(std::string_view path) {
  std::size_t sep = path.find_last_of("/\\:");
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  if (sep != std::string_view::npos && dot < sep) return {};
  return ToUpperAscii(path.substr(dot));
}

std::optional<fs::path> FindCaseBlind(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  fs::path exact = folder / fs::path(std::string(name));
  if (fs::exists(exact, ec)) return exact;
  std::optional<fs::path> best;
  std::string bestName;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    // Several names may differ only in case; take the first in sorted order so the
    // choice does not depend on the directory's order.
    if (EqualsCaseBlind(entry, name) && (!best || entry < bestName)) {
      best = it->path();
      bestName = entry;
    }
  }
  return best;
}

fs::path ResolveCaseBlind(const fs::path& folder, std::string_view name) {
  if (auto found = FindCaseBlind(folder, name)) return *found;
  return folder / fs::path(std::string(name));
}

std::vector<FoundFile> FindFiles(const fs::path& folder, std::string_view masks, SearchOptions options) {
  std::vector<std::string_view> maskList;
  for (std::size_t start = 0; start <= masks.size();) {
    std::size_t end = masks.find(';', start);
    if (end == std::string_view::npos) end = masks.size();
    if (end > start) maskList.push_back(masks.substr(start, end - start));
    start = end + 1;
  }
  std::vector<FoundFile> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code sec;
    if (!it->is_regular_file(sec)) continue;
    FoundFile file;
    file.name = it->path().filename().string();
    file.path = it->path();
    file.hidden = !file.name.empty() && file.name[0] == '.';
    if (file.hidden && !options.includeHidden) continue;
    if (!options.includeReadOnly && (it->status(sec).permissions() & fs::perms::owner_write) == fs::perms::none) {
      continue;
    }
    bool matches = std::any_of(maskList.begin(), maskList.end(),
                               [&](std::string_view mask) { return WildcardMatch(mask, file.name); });
    if (matches) found.push_back(std::move(file));
  }
  std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) {
    int c = CompareCaseBlind(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return found;
}

std::int64_t FileSize(const fs::path& file) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  if (error) ThrowIoError("size of", file, error.value());
  return static_cast<std::int64_t>(size);
}

bool SameFileOrFolder(const fs::path& a, const fs::path& b) noexcept {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

bool CreateFolder(const fs::path& folder) noexcept {
  std::error_code ec;
  return fs::create_directory(folder, ec);
}

bool RemoveFolder(const fs::path& folder) noexcept {
  return ::rmdir(folder.c_str()) == 0;
}

bool DeleteFileQuietly(const fs::path& file) noexcept {
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(file, ec))) return false;
  return ::unlink(file.c_str()) == 0;
}

bool FolderExists(const fs::path& folder) noexcept {
  std::error_code ec;
  return fs::is_directory(folder, ec);
}

bool FileExists(const fs::path& file) noexcept {
  std::error_code ec;
  return fs::is_regular_file(file, ec);
}

void RenameReplacing(const fs::path& from, const fs::path& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) ThrowIoError("rename to", to);
}

namespace {

// Runs `flush` on a descriptor of `folder`; `what` names the flush in the error.
template <typename Flush>
void FlushFolder(const fs::path& folder, std::string_view what, Flush flush) {
  const fs::path name = folder.empty() ? fs::path(".") : folder;
  int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowIoError(what, name);
  int result = 0;
  do {
    result = flush(fd);
  } while (result != 0 && errno == EINTR);
  const int failure = errno;
  ::close(fd);
  // A file system that cannot flush a folder (EINVAL) keeps nothing in a cache to lose.
  if (result != 0 && failure != EINVAL) ThrowIoError(what, name, failure);
}

}  // namespace

void SyncFileSystem(const fs::path& folder) {
  FlushFolder(folder, "flush to disk the file system of", [](int fd) { return ::syncfs(fd); });
}

void SyncFolder(const fs::path& folder) {
  FlushFolder(folder, "flush to disk the folder", [](int fd) { return ::fsync(fd); });
}

fs::path JoinTail(const fs::path& folder, std::string_view tail) {
  std::string base = folder.string();
  if (!base.empty() && base.back() != '/') base += '/';
  return fs::path(base + std::string(tail));
}

}  // namespace resmill
