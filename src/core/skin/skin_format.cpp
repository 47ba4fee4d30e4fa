#include "skin/skin_format.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::skin {

namespace {

constexpr std::string_view kHeaderText =
    "vezodaro\n"
    "\n"
    "v1.00\n"
    "00000000\n"
    "\n"
    "Comment: skinlook\n"
    "ID table:\n"
    "\n";
static_assert(kHeaderText.size() == kHeaderSize);
static_assert(kHeaderText.substr(kDirectoryOffsetField, 8) == "00000000");

std::string Where(std::int64_t offset) { return fmt::format("offset {}", HexOffset(static_cast<std::uint64_t>(offset))); }

/// Shows bytes that may not be text (names, header digits) readably in a message.
std::string Printable(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += fmt::format("\\x{:02X}", c);
    }
  }
  return out;
}

std::uint32_t U32At(BinaryFile& file, std::int64_t offset, std::string_view what) {
  std::array<std::uint8_t, 4> bytes{};
  if (file.ReadAt(offset, bytes) != bytes.size()) {
    ThrowFormatError(file.Path(), Where(offset), fmt::format("file ends inside the {}", what));
  }
  return GetU32LE(bytes.data());
}

}  // namespace

std::string HeaderTextFor(std::uint32_t directoryOffset) {
  std::string text(kHeaderText);
  std::string digits = fmt::format("{:08x}", directoryOffset);
  text.replace(kDirectoryOffsetField, digits.size(), digits);
  return text;
}

std::uint32_t SkinNameHash(std::string_view name) {
  std::uint32_t h = 0;
  for (unsigned char c : name) h = ((h << 1) ^ (h >> 20)) ^ c;
  return h;
}

std::string NameProblem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name == ".") return "the name is \".\"";
  if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos) {
    return "the name holds a folder separator";
  }
  if (name.find("..") != std::string_view::npos) return "the name holds \"..\"";
  if (name.find('\0') != std::string_view::npos) return "the name holds a NUL byte";
  if (name.find('\n') != std::string_view::npos) return "the name holds a line feed";
  return {};
}

SkinDirectory ReadSkinDirectory(BinaryFile& skin, const ReadOptions& options) {
  const std::filesystem::path& path = skin.Path();
  SkinDirectory dir;
  dir.fileSize = skin.Size();
  const std::int64_t size = dir.fileSize;

  std::array<std::uint8_t, 8> digits{};
  if (skin.ReadAt(kDirectoryOffsetField, digits) != digits.size()) {
    ThrowFormatError(path, Where(kDirectoryOffsetField),
                     fmt::format("file ends inside the directory offset ({} bytes, a skin has at least {})", size,
                                 kHeaderSize));
  }
  std::uint32_t directory = 0;
  for (std::uint8_t c : digits) {
    int value = HexNibble(static_cast<char>(c));
    if (value < 0) {
      ThrowFormatError(path, Where(kDirectoryOffsetField),
                       fmt::format("directory offset \"{}\" is not hexadecimal",
                                   Printable(std::string_view(reinterpret_cast<const char*>(digits.data()), digits.size()))));
    }
    directory = directory * 16 + static_cast<std::uint32_t>(value);
  }
  dir.directoryOffset = directory;
  if (std::int64_t{directory} + kDirectoryHeadSize > size) {
    ThrowFormatError(path, Where(kDirectoryOffsetField),
                     fmt::format("directory offset {} lies beyond the end of the file ({} bytes)",
                                 HexOffset(directory), size));
  }

  dir.directoryMagic = U32At(skin, directory, "directory");
  dir.nameAreaOffset = U32At(skin, std::int64_t{directory} + kHeadNameArea, "directory");
  const std::uint32_t count = U32At(skin, std::int64_t{directory} + kHeadCount, "directory");
  dir.entryTableOffset = U32At(skin, std::int64_t{directory} + kHeadEntryTable, "directory");
  dir.dataAreaOffset = U32At(skin, std::int64_t{directory} + kHeadDataArea, "directory");

  if (count > kMaxEntries) {
    throw Error(Error::Kind::Limit,
                fmt::format("{}: {}: {} entries, a skin may hold at most {}", path.string(),
                            Where(std::int64_t{directory} + kHeadCount), count, kMaxEntries));
  }
  if (dir.nameAreaOffset > size) {
    ThrowFormatError(path, Where(std::int64_t{directory} + kHeadNameArea),
                     fmt::format("name area offset {} lies beyond the end of the file ({} bytes)",
                                 HexOffset(dir.nameAreaOffset), size));
  }
  if (std::int64_t{dir.entryTableOffset} + std::int64_t{count} * kEntrySize > size) {
    ThrowFormatError(path, Where(std::int64_t{directory} + kHeadEntryTable),
                     fmt::format("entry table at {} with {} entries lies beyond the end of the file ({} bytes)",
                                 HexOffset(dir.entryTableOffset), count, size));
  }
  if (dir.dataAreaOffset > size) {
    ThrowFormatError(path, Where(std::int64_t{directory} + kHeadDataArea),
                     fmt::format("data area offset {} lies beyond the end of the file ({} bytes)",
                                 HexOffset(dir.dataAreaOffset), size));
  }

  std::vector<std::uint8_t> table(std::size_t{count} * kEntrySize);
  if (skin.ReadAt(dir.entryTableOffset, table) != table.size()) {
    ThrowFormatError(path, Where(dir.entryTableOffset), "file ends inside the entry table");
  }

  std::vector<std::uint8_t> nameBytes(options.nameReadLength);
  dir.entries.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    SkinEntry& e = dir.entries[i];
    const std::int64_t entryAt = std::int64_t{dir.entryTableOffset} + std::int64_t{i} * kEntrySize;
    const std::uint8_t* raw = table.data() + std::size_t{i} * kEntrySize;
    e.hash = GetU32LE(raw + kEntryHash);
    e.nameOffset = GetU32LE(raw + kEntryName);
    e.dataOffset = GetU32LE(raw + kEntryData);

    e.nameAt = std::int64_t{dir.nameAreaOffset} + e.nameOffset;
    if (e.nameAt >= size) {
      ThrowFormatError(path, Where(entryAt + kEntryName),
                       fmt::format("entry {}: name at {} lies beyond the end of the file ({} bytes)", i,
                                   HexOffset(static_cast<std::uint64_t>(e.nameAt)), size));
    }
    std::size_t got = skin.ReadAt(e.nameAt, nameBytes);
    auto end = std::find(nameBytes.begin(), nameBytes.begin() + static_cast<std::ptrdiff_t>(got), std::uint8_t{10});
    if (end == nameBytes.begin() + static_cast<std::ptrdiff_t>(got)) {
      ThrowFormatError(path, Where(e.nameAt),
                       fmt::format("entry {}: name \"{}…\" has no line feed within {} bytes", i,
                                   Printable(std::string_view(reinterpret_cast<const char*>(nameBytes.data()),
                                                              std::min<std::size_t>(got, 40))),
                                   options.nameReadLength));
    }
    e.name.assign(nameBytes.begin(), end);
    if (e.name.empty()) continue;
    if (options.requireFileNames) {
      if (std::string problem = NameProblem(e.name); !problem.empty()) {
        ThrowFormatError(path, Where(e.nameAt),
                         fmt::format("entry {}: name \"{}\" cannot be a file name: {}", i, Printable(e.name),
                                     problem));
      }
    }

    e.blockAt = std::int64_t{dir.dataAreaOffset} + e.dataOffset;
    if (e.blockAt + kDataHeadSize > size) {
      ThrowFormatError(path, Where(entryAt + kEntryData),
                       fmt::format("entry {} (\"{}\"): data block at {} lies beyond the end of the file ({} bytes)",
                                   i, Printable(e.name), HexOffset(static_cast<std::uint64_t>(e.blockAt)), size));
    }
    e.blockMagic = U32At(skin, e.blockAt, "data block");
    e.length = U32At(skin, e.blockAt + kBlockLength, "data block");
    if (e.length > kMaxPictureLength) {
      throw Error(Error::Kind::Limit,
                  fmt::format("{}: {}: entry {} (\"{}\"): picture of {} bytes, a skin picture may have at most {}",
                              path.string(), Where(e.blockAt + kBlockLength), i, Printable(e.name), e.length,
                              kMaxPictureLength));
    }
    if (e.DataAt() + e.length > size) {
      ThrowFormatError(path, Where(e.blockAt + kBlockLength),
                       fmt::format("entry {} (\"{}\"): picture of {} bytes at {} runs beyond the end of the file "
                                   "({} bytes)",
                                   i, Printable(e.name), e.length, HexOffset(static_cast<std::uint64_t>(e.DataAt())),
                                   size));
    }
  }
  return dir;
}

SkinDirectory LayOutSkin(std::vector<SkinEntry> entries) {
  std::uint64_t names = 0, data = 0;
  for (const SkinEntry& e : entries) {
    names += e.name.size() + 1;
    data += std::uint64_t{e.length} + kDataHeadSize;
  }
  // The directory starts at the first multiple of 4 after the names.
  const std::uint64_t directory = (kHeaderSize + names + 3) / 4 * 4;
  const std::uint64_t dataArea = directory + kDirectoryHeadSize + std::uint64_t{kEntrySize} * entries.size();
  if (dataArea + data > UINT32_MAX) {
    throw Error(Error::Kind::Limit, fmt::format("{} pictures of {} bytes need a skin of {} bytes, more than its "
                                                "offsets can address",
                                                entries.size(), data, dataArea + data));
  }
  SkinDirectory dir;
  dir.directoryOffset = static_cast<std::uint32_t>(directory);
  dir.directoryMagic = kDirectoryMagic;
  dir.nameAreaOffset = kHeaderSize;
  dir.entryTableOffset = dir.directoryOffset + kDirectoryHeadSize;
  dir.dataAreaOffset = static_cast<std::uint32_t>(dataArea);
  dir.fileSize = static_cast<std::int64_t>(dataArea + data);
  std::uint32_t nameOffset = 0, dataOffset = 0;
  for (SkinEntry& e : entries) {
    e.hash = SkinNameHash(e.name);
    e.nameOffset = nameOffset;
    e.dataOffset = dataOffset;
    e.nameAt = std::int64_t{dir.nameAreaOffset} + nameOffset;
    e.blockAt = std::int64_t{dir.dataAreaOffset} + dataOffset;
    e.blockMagic = kDataMagic;
    nameOffset += static_cast<std::uint32_t>(e.name.size() + 1);
    dataOffset += e.length + kDataHeadSize;
  }
  dir.entries = std::move(entries);
  return dir;
}

std::vector<std::uint8_t> EncodeSkinHead(const SkinDirectory& dir) {
  std::vector<std::uint8_t> head(dir.dataAreaOffset, 0);
  const std::string text = HeaderTextFor(dir.directoryOffset);
  std::copy(text.begin(), text.end(), head.begin());
  const std::uint32_t d = dir.directoryOffset;
  PutU32LE(dir.directoryMagic, &head[d]);
  PutU32LE(dir.nameAreaOffset, &head[d + kHeadNameArea]);
  PutU32LE(static_cast<std::uint32_t>(dir.entries.size()), &head[d + kHeadCount]);
  PutU32LE(dir.entryTableOffset, &head[d + kHeadEntryTable]);
  PutU32LE(dir.dataAreaOffset, &head[d + kHeadDataArea]);
  for (std::size_t i = 0; i < dir.entries.size(); ++i) {
    const SkinEntry& e = dir.entries[i];
    std::copy(e.name.begin(), e.name.end(), head.begin() + e.nameAt);
    head[static_cast<std::size_t>(e.nameAt) + e.name.size()] = '\n';
    std::uint8_t* entry = &head[dir.entryTableOffset + kEntrySize * i];
    PutU32LE(e.hash, entry + kEntryHash);
    PutU32LE(e.nameOffset, entry + kEntryName);
    PutU32LE(e.dataOffset, entry + kEntryData);
  }
  return head;
}

std::array<std::uint8_t, kDataHeadSize> EncodeDataHead(const SkinEntry& entry) {
  std::array<std::uint8_t, kDataHeadSize> head{};
  PutU32LE(entry.blockMagic, head.data());
  PutU32LE(entry.length, head.data() + kBlockLength);
  return head;
}

std::string_view PictureKindName(image::PictureKind kind) {
  switch (kind) {
    case image::PictureKind::Raw: return "RAW";
    case image::PictureKind::K18: return "K18";
    case image::PictureKind::K32: return "K32";
    case image::PictureKind::G: return "G";
    case image::PictureKind::Other: break;
  }
  return "other";
}

}  // namespace resmill::skin
