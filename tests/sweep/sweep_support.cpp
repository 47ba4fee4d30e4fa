#include "sweep_support.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>

namespace resmill::test::sweep {

namespace fs = std::filesystem;

std::vector<std::size_t> CutPoints(std::size_t size, int spread) {
  std::set<std::size_t> points;
  for (std::size_t n = 0; n < std::min<std::size_t>(64, size); ++n) points.insert(n);
  for (int k = 1; k <= spread; ++k) {
    std::size_t n = size * static_cast<std::size_t>(k) / static_cast<std::size_t>(spread + 1);
    if (n < size) points.insert(n);
  }
  if (size > 0) points.insert(size - 1);
  return {points.begin(), points.end()};
}

std::string Damage::Describe() const {
  static const char* const kNames[] = {"inverted byte", "word of ones", "zero word", "huge word"};
  return fmt::format("{} at {:#x}", kNames[static_cast<int>(kind)], offset);
}

std::vector<Damage> FieldDamage(const std::vector<std::size_t>& offsets) {
  std::vector<Damage> out;
  for (std::size_t at : offsets) {
    for (Damage::Kind kind :
         {Damage::Kind::InvertByte, Damage::Kind::WordOnes, Damage::Kind::WordZero, Damage::Kind::WordHuge}) {
      out.push_back({at, kind});
    }
  }
  return out;
}

Bytes Apply(Bytes bytes, const Damage& damage) {
  auto set = [&bytes](std::size_t at, std::uint8_t value) {
    if (at < bytes.size()) bytes[at] = value;
  };
  switch (damage.kind) {
    case Damage::Kind::InvertByte:
      if (damage.offset < bytes.size()) bytes[damage.offset] ^= 0xFF;
      break;
    case Damage::Kind::WordOnes:
      for (std::size_t i = 0; i < 4; ++i) set(damage.offset + i, 0xFF);
      break;
    case Damage::Kind::WordZero:
      for (std::size_t i = 0; i < 4; ++i) set(damage.offset + i, 0x00);
      break;
    case Damage::Kind::WordHuge:
      // 0x7FFFFFF0 read either way round: past any file, yet positive as a signed value.
      set(damage.offset, 0x7F);
      set(damage.offset + 1, 0xFF);
      set(damage.offset + 2, 0xFF);
      set(damage.offset + 3, 0x70);
      break;
  }
  return bytes;
}

Bytes Cut(const Bytes& bytes, std::size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

std::set<std::string> Snapshot(const fs::path& root) {
  std::set<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_directory()) files.insert(fs::relative(it->path(), root).generic_string());
  }
  return files;
}

std::vector<std::string> Strays(const fs::path& root, const std::set<std::string>& before,
                                const std::vector<std::string>& allowed) {
  std::vector<std::string> strays;
  for (const std::string& file : Snapshot(root)) {
    if (before.count(file) != 0) continue;
    bool ok = std::any_of(allowed.begin(), allowed.end(),
                          [&file](const std::string& a) { return a.ends_with('/') ? file.starts_with(a) : file == a; });
    if (!ok) strays.push_back(file);
  }
  return strays;
}

Outcome Attempt(const std::string& what, const std::function<void()>& work) {
  try {
    work();
    return {true, {}};
  } catch (const Error& e) {
    EXPECT_STRNE(e.what(), "") << what << ": an error without a message";
    return {false, e.what()};
  } catch (const std::exception& e) {
    ADD_FAILURE() << what << ": not a resmill::Error: " << e.what();
    return {false, e.what()};
  }
}

}  // namespace resmill::test::sweep
