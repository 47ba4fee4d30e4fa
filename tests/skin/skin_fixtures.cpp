#include "skin_fixtures.h"

#include <stdexcept>

#include "platform/error.h"
#include "platform/file_system.h"
#include "test_support.h"

namespace resmill::skin::test {

namespace fs = std::filesystem;
using resmill::test::ReadBytes;
using resmill::test::WriteBytes;

void AppendU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void SetU32(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

static std::uint32_t GetU32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 | std::uint32_t{b.at(at + 2)} << 16 |
         std::uint32_t{b.at(at + 3)} << 24;
}

static std::uint32_t Hash(const std::string& name) {
  std::uint32_t h = 0;
  for (unsigned char c : name) h = ((h << 1) ^ (h >> 20)) ^ c;
  return h;
}

Bytes BuildSkin(const std::vector<RawEntry>& entries) {
  std::string header = "vezodaro\n\nv1.00\n00000000\n\nComment: skinlook\nID table:\n\n";
  Bytes out(header.begin(), header.end());
  std::vector<std::uint32_t> nameOffsets, dataOffsets;
  std::uint32_t dataOffset = 0;
  for (const RawEntry& e : entries) {
    nameOffsets.push_back(static_cast<std::uint32_t>(out.size() - 55));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.push_back('\n');
    dataOffsets.push_back(dataOffset);
    dataOffset += static_cast<std::uint32_t>(e.data.size() + 8);
  }
  while (out.size() % 4 != 0) out.push_back(0);
  auto d = static_cast<std::uint32_t>(out.size());
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", d);
  std::copy(digits, digits + 8, out.begin() + 16);
  auto n = static_cast<std::uint32_t>(entries.size());
  AppendU32(out, 0xABCDDCBAu);
  AppendU32(out, 55);
  AppendU32(out, n);
  AppendU32(out, d + 20);
  AppendU32(out, d + 20 + 12 * n);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    AppendU32(out, Hash(entries[i].name));
    AppendU32(out, nameOffsets[i]);
    AppendU32(out, dataOffsets[i]);
  }
  for (const RawEntry& e : entries) {
    AppendU32(out, 0xDCBAABCDu);
    AppendU32(out, static_cast<std::uint32_t>(e.data.size()));
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  return out;
}

Layout LayoutOf(const Bytes& skin) {
  Layout l;
  l.directory = static_cast<std::uint32_t>(std::stoul(std::string(skin.begin() + 16, skin.begin() + 24), nullptr, 16));
  l.count = GetU32(skin, l.directory + 8);
  l.table = GetU32(skin, l.directory + 12);
  l.data = GetU32(skin, l.directory + 16);
  return l;
}

std::vector<std::string> NamesOf(const Bytes& skin) {
  Layout l = LayoutOf(skin);
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < l.count; ++i) {
    std::size_t at = 55 + GetU32(skin, l.table + 12 * i + 4);
    std::string name;
    while (skin.at(at) != '\n') name += static_cast<char>(skin[at++]);
    names.push_back(name);
  }
  return names;
}

std::map<std::string, Bytes> PicturesOf(const Bytes& skin) {
  Layout l = LayoutOf(skin);
  std::vector<std::string> names = NamesOf(skin);
  std::map<std::string, Bytes> pictures;
  for (std::uint32_t i = 0; i < l.count; ++i) {
    std::size_t block = l.data + GetU32(skin, l.table + 12 * i + 8);
    std::uint32_t length = GetU32(skin, block + 4);
    pictures[names[i]] = Bytes(skin.begin() + static_cast<std::ptrdiff_t>(block + 8),
                               skin.begin() + static_cast<std::ptrdiff_t>(block + 8 + length));
  }
  return pictures;
}

Bytes KPicture(std::uint32_t bitsPerPixel, std::size_t payload, std::uint8_t fill) {
  Bytes out;
  AppendU32(out, 2);
  AppendU32(out, 1);
  AppendU32(out, bitsPerPixel);
  AppendU32(out, bitsPerPixel == 18 ? 8 : 8);
  out.insert(out.end(), payload, fill);
  return out;
}

Bytes GPicture(std::size_t payload, std::uint8_t fill) {
  Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
  out.insert(out.end(), payload, fill);
  return out;
}

static fs::path WithExtension(fs::path path, const std::string& extension) {
  std::string name = path.filename().string();
  std::size_t dot = name.find_last_of('.');
  path.replace_filename(name.substr(0, dot == std::string::npos ? name.size() : dot) + extension);
  return path;
}

image::RawToBmpResult FakeConverter::ToOrdinary(const fs::path& device, const fs::path& target) {
  Bytes bytes = ReadBytes(device);
  std::string ext = UpperExtension(device.string());
  image::RawToBmpResult result;
  if (ext == ".K") {
    result.kind = bytes.size() >= 12 && bytes[8] == 18 ? image::PictureKind::K18 : image::PictureKind::K32;
  } else if (ext == ".G") {
    result.kind = image::PictureKind::G;
  } else {
    return result;
  }
  Bytes out(4 + bytes.size());
  out[0] = 'O';
  out[1] = 'R';
  out[2] = 'D';
  out[3] = static_cast<std::uint8_t>(result.kind);
  std::copy(bytes.begin(), bytes.end(), out.begin() + 4);
  result.target = target;
  WriteBytes(result.target, out);
  result.produced = true;
  return result;
}

std::optional<fs::path> FakeConverter::ToDevice(const fs::path& ordinary, image::PictureKind kind,
                                                const fs::path& target) {
  std::string name = ordinary.filename().string();
  toDevice.push_back({name, kind, target.filename().string()});
  if (name == throwOn) throw Error(Error::Kind::Format, ordinary.string() + ": not a picture");
  if (name == failOn) return std::nullopt;
  Bytes bytes = ReadBytes(ordinary);
  // An ordinary picture that did not come from a device picture becomes a small fixed one.
  Bytes device = bytes.size() >= 4 && bytes[0] == 'O' && bytes[1] == 'R' && bytes[2] == 'D'
                     ? Bytes(bytes.begin() + 4, bytes.end())
                     : Bytes{'N', 'E', 'W', static_cast<std::uint8_t>(kind)};
  fs::path written;
  switch (kind) {
    case image::PictureKind::K18:
    case image::PictureKind::K32: written = WithExtension(target, ".k"); break;
    case image::PictureKind::G: written = WithExtension(target, ".g"); break;
    default: return std::nullopt;
  }
  WriteBytes(written, device);
  return written;
}

}  // namespace resmill::skin::test
