#include "app/describe.h"

#include <array>
#include <optional>

#include <fmt/format.h>

#include "drm/drm_layout.h"
#include "flash/code_groups.h"
#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "skin/skin_format.h"

namespace resmill::app {
namespace fs = std::filesystem;

namespace {

namespace gfx = image::graphics;

std::string Hex32(std::uint32_t v) { return fmt::format("0x{:08X}", v); }
std::string Offset(std::int32_t v) { return HexOffset(static_cast<std::uint32_t>(v)); }

Info DescribeFlashFile(const fs::path& file) {
  // The table is read straight from the flash file: its header is the first 8172 bytes.
  flash::CodeGroupTable table = flash::ParseCodeGroupTable(file, {});
  Info info{fmt::format("{}: flash file, code-group table", file.string()), {}};
  info.Add("N", std::to_string(table.codeGroupCount));
  InfoTable rows{{{"name", 12, true}, {"start", 10}, {"end", 10}, {"length", 10}}, " ", {}};
  for (const auto& entry : table.entries) {
    rows.rows.push_back({entry.FileName.filename().string(), Hex32(entry.StartAddress), Hex32(entry.EndAddress),
                         std::to_string(entry.Length)});
  }
  info.items.emplace_back(std::move(rows));
  info.Add("code group 15", table.hasCodeGroup15 ? "present" : "absent");
  return info;
}

Info DescribeDrmImage(const fs::path& file) {
  BinaryFile image(file, BinaryFile::Mode::Read);
  std::int32_t variant = 0;
  if (!drm::FindDrmMarker(image, variant)) {
    throw Error(Error::Kind::Format,
                fmt::format("{}: not a DRM image (no \"_drm\" at 468, 456 or 464 and no signature word at 8)",
                            file.string()));
  }
  const drm::DrmLayout l = drm::ReadDrmLayout(image, variant);
  const drm::DrmTables tables = drm::ReadDrmTables(image, l);

  Info info{fmt::format("DRM image: {} ({} bytes)", file.string(), image.Size()), {}};
  info.Add("DrmVariant", std::to_string(l.DrmVariant));
  info.Add("Base", Hex32(static_cast<std::uint32_t>(l.Base)));
  info.Add("Dir", Offset(l.Dir));
  info.Add("DirCount", std::to_string(l.DirCount));
  info.Add("GifData", Offset(l.GifData));
  info.Add("GifCount", std::to_string(l.GifCount));
  info.Add("GifTable", Offset(l.GifTable));
  info.Add("GifTableEnd", Offset(l.GifTableEnd));
  if (l.DrmVariant == 1) {
    info.Add("HeaderPointerCount", std::to_string(l.HeaderPointerCount));
    info.Add("RawData", Offset(l.RawData));
    info.Add("RawCount", std::to_string(l.RawCount));
    info.Add("RawTable", Offset(l.RawTable));
    info.Add("RawTableEnd", Offset(l.RawTableEnd));
  }

  int gifs = 0, bmps = 0, empty = 0;
  for (int k = 1; k <= l.GifCount; ++k) {
    std::uint32_t start = tables.gifOffsets[k == 1 ? 0 : static_cast<std::size_t>(k)];
    std::uint32_t end = tables.gifOffsets[static_cast<std::size_t>(k) + 1];
    std::array<std::uint8_t, 2> magic{};
    if (end == start) {
      ++empty;
    } else if (end - start >= 2 && image.ReadAt(std::int64_t{l.GifData} + start, magic) == 2 && magic[0] == 'B' &&
               magic[1] == 'M') {
      ++bmps;
    } else {
      ++gifs;
    }
  }
  int rawEmpty = 0;
  for (int i = 1; i <= l.RawCount; ++i) {
    if (tables.RawEnd(i) == tables.RawEnd(i - 1)) ++rawEmpty;
  }
  info.Add("RAW pictures", fmt::format("{} (numbers 1 to {}, {} empty)", l.RawCount, l.RawCount, rawEmpty));
  info.Add("GIF-table pictures", fmt::format("{} (numbers {} to {}; {} GIF, {} BMP, {} empty)", l.GifCount,
                                             l.RawCount + 1, l.RawCount + l.GifCount, gifs, bmps, empty));
  return info;
}

// Skin names are bytes: show what is not printable as \xNN.
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

// Read with the same checks as the unpack, so a skin that is described is one that Open accepts.
Info DescribeSkin(const fs::path& file) {
  BinaryFile skin(file, BinaryFile::Mode::Read);
  const skin::SkinDirectory dir = skin::ReadSkinDirectory(skin);

  Info info{fmt::format("EZX skin {} ({} bytes)", file.string(), dir.fileSize), {}};
  info.Add("Directory", Hex32(dir.directoryOffset) +
                            (dir.directoryMagic == skin::kDirectoryMagic
                                 ? std::string()
                                 : fmt::format(" (magic {}, expected {})", Hex32(dir.directoryMagic),
                                               Hex32(skin::kDirectoryMagic))));
  info.Add("Names", Hex32(dir.nameAreaOffset));
  info.Add("Entry table", Hex32(dir.entryTableOffset));
  info.Add("Data", Hex32(dir.dataAreaOffset));
  info.Add("Entries", std::to_string(dir.entries.size()));
  if (dir.entries.empty()) return info;

  InfoTable rows{{{"#", 5}, {"hash", 10, true}, {"offset", 10}, {"at", 10}, {"length", 8}, {"kind", 5, true},
                  {"name", 0, true}},
                 "  ",
                 {}};
  for (std::size_t i = 0; i < dir.entries.size(); ++i) {
    const skin::SkinEntry& e = dir.entries[i];
    if (e.name.empty()) {
      rows.rows.push_back({std::to_string(i), Hex32(e.hash), "-", "-", "-", "-", "(no name: skipped)"});
      continue;
    }
    std::array<std::uint8_t, 16> head{};
    std::size_t got = skin.ReadAt(e.DataAt(), std::span(head.data(), std::min<std::size_t>(head.size(), e.length)));
    std::string name = Shown(e.name);
    if (e.hash != skin::SkinNameHash(e.name)) name += fmt::format("  [hash should be {}]", Hex32(skin::SkinNameHash(e.name)));
    if (e.blockMagic != skin::kDataMagic) name += fmt::format("  [block magic {}]", Hex32(e.blockMagic));
    rows.rows.push_back({std::to_string(i), Hex32(e.hash), Hex32(e.dataOffset),
                         Hex32(static_cast<std::uint32_t>(e.DataAt())), std::to_string(e.length),
                         std::string(skin::PictureKindName(image::PictureKindOf(e.name, std::span(head.data(), got)))), name});
  }
  info.items.emplace_back(std::move(rows));
  return info;
}

void AddOrdinary(Info& info, const fs::path& file, std::span<const std::uint8_t> head, std::string_view prefix) {
  std::optional<gfx::PictureInfo> picture = gfx::ReadPictureInfoFromMemory(head);
  if (!picture) ThrowFormatError(file, "offset 0x000000", "not a PNG, GIF, BMP or JPEG picture");
  info.Add("Kind", fmt::format("{}{} picture", prefix, gfx::FormatName(picture->format)));
  info.Add("Size", fmt::format("{} x {}", picture->width, picture->height));
  info.Add("Bits per pixel", std::to_string(picture->bitsPerPixel));
}

Info DescribePicture(const fs::path& file) {
  Info info{file.string(), {}};
  std::int64_t length = 0;
  switch (image::DetectPictureKind(file)) {
    case image::PictureKind::Raw: {
      ReadFileHead(file, 0, &length);
      std::optional<image::RawSize> size = image::ParseRawSize(file);
      if (!size) ThrowFormatError(file, "file name", "no size tag such as (176x220) before the extension");
      info.Add("Kind", "RAW picture");
      info.Add("Size", fmt::format("{} x {}", size->width, size->height));
      info.Add("Bits per pixel", "16 (and a 1-bit transparency mask)");
      if (size->width > 0 && size->height > 0) {
        std::uint64_t expected = image::RawFileLength(static_cast<std::uint64_t>(size->width),
                                                      static_cast<std::uint64_t>(size->height));
        info.Add("File length", fmt::format("{} bytes{}", length,
                                            static_cast<std::uint64_t>(length) == expected
                                                ? std::string()
                                                : fmt::format(" (the size tag needs {})", expected)));
      }
      return info;
    }
    case image::PictureKind::K18:
    case image::PictureKind::K32: {
      std::vector<std::uint8_t> head = ReadFileHead(file, image::kKHeaderSize, &length);
      image::KHeader h = image::ReadKHeader(head, file);
      info.Add("Kind", "K picture");
      info.Add("Size", fmt::format("{} x {}", h.width, h.height));
      info.Add("Bits per pixel", std::to_string(h.bitsPerPixel));
      info.Add("Row stride", fmt::format("{} bytes", h.stride));
      return info;
    }
    case image::PictureKind::G:
      AddOrdinary(info, file, ReadFileHead(file, gfx::kHeaderProbeSize, &length), "G picture holding a ");
      return info;
    case image::PictureKind::Other:
      break;
  }
  AddOrdinary(info, file, ReadFileHead(file, gfx::kHeaderProbeSize, &length), "");
  return info;
}

bool IsPictureExtension(std::string_view ext) {
  for (const char* picture : {".RAW", ".K", ".G", ".PNG", ".GIF", ".BMP", ".JPG", ".JPEG"}) {
    if (ext == picture) return true;
  }
  return false;
}

}  // namespace

Info Describe(const fs::path& file) {
  const std::string ext = UpperExtension(file.string());
  if (ext == ".SHX" || ext == ".SBF") return DescribeFlashFile(file);
  if (ext == ".EZX") return DescribeSkin(file);
  if (IsPictureExtension(ext)) return DescribePicture(file);
  return DescribeDrmImage(file);
}

}  // namespace resmill::app
