// info x.ezx: the skin's directory and one line per entry, read with the same
// checks as the unpack, so a skin that info lists is one that open accepts.

#include <array>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "info.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "skin/skin_format.h"

namespace resmill::cli {

namespace {

std::string Shown(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += fmt::format("\\x{:02X}", c);
    }
  }
  return out;
}

}  // namespace

int InfoSkin(const std::filesystem::path& file, std::ostream& out) {
  BinaryFile skin(file, BinaryFile::Mode::Read);
  const skin::SkinDirectory dir = skin::ReadSkinDirectory(skin);

  fmt::print(out, "EZX skin {} ({} bytes)\n", file.string(), dir.fileSize);
  fmt::print(out, "directory at 0x{:08X}{}\n", dir.directoryOffset,
             dir.directoryMagic == skin::kDirectoryMagic ? "" : fmt::format(" (magic 0x{:08X}, expected 0x{:08X})",
                                                                           dir.directoryMagic, skin::kDirectoryMagic));
  fmt::print(out, "names at 0x{:08X}, entry table at 0x{:08X}, data at 0x{:08X}\n", dir.nameAreaOffset,
             dir.entryTableOffset, dir.dataAreaOffset);
  fmt::print(out, "{} entries\n", dir.entries.size());
  if (dir.entries.empty()) return 0;

  fmt::print(out, "{:>5}  {:<10}  {:>10}  {:>10}  {:>8}  {:<5}  {}\n", "#", "hash", "offset", "at", "length", "kind",
             "name");
  for (std::size_t i = 0; i < dir.entries.size(); ++i) {
    const skin::SkinEntry& e = dir.entries[i];
    if (e.name.empty()) {
      fmt::print(out, "{:>5}  0x{:08X}  {:>10}  {:>10}  {:>8}  {:<5}  (no name: skipped)\n", i, e.hash, "-", "-", "-",
                 "-");
      continue;
    }
    std::array<std::uint8_t, 16> head{};
    std::size_t got = skin.ReadAt(e.DataAt(), std::span(head.data(), std::min<std::size_t>(head.size(), e.length)));
    std::string notes;
    if (e.hash != skin::SkinNameHash(e.name)) notes += fmt::format("  [hash should be 0x{:08X}]", skin::SkinNameHash(e.name));
    if (e.blockMagic != skin::kDataMagic) notes += fmt::format("  [block magic 0x{:08X}]", e.blockMagic);
    fmt::print(out, "{:>5}  0x{:08X}  0x{:08X}  0x{:08X}  {:>8}  {:<5}  {}{}\n", i, e.hash, e.dataOffset,
               static_cast<std::uint64_t>(e.DataAt()), e.length,
               skin::PictureKindName(skin::PictureKindOf(e.name, head.data(), got)), Shown(e.name), notes);
  }
  return 0;
}

}  // namespace resmill::cli
