// info PICTURE: kind, size and bits per pixel of a device or ordinary picture.

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "info.h"
#include "platform/binary_file.h"
#include "platform/error.h"

namespace resmill::cli {

namespace {

namespace gfx = image::graphics;

std::vector<std::uint8_t> ReadHead(const std::filesystem::path& file, std::size_t limit, std::int64_t& size) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  size = in.Size();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::int64_t>(size, limit)));
  bytes.resize(in.Read(bytes));
  return bytes;
}

void PrintOrdinary(const std::filesystem::path& file, std::span<const std::uint8_t> head, std::string_view prefix,
                   std::ostream& out) {
  std::optional<gfx::PictureInfo> info = gfx::ReadPictureInfoFromMemory(head);
  if (!info) ThrowFormatError(file, "offset 0x000000", "not a PNG, GIF, BMP or JPEG picture");
  out << fmt::format("Kind: {}{} picture\nSize: {} x {}\nBits per pixel: {}\n", prefix, gfx::FormatName(info->format),
                     info->width, info->height, info->bitsPerPixel);
}

}  // namespace

int InfoPicture(const std::filesystem::path& file, std::ostream& out) {
  std::int64_t length = 0;
  switch (image::DetectPictureKind(file)) {
    case image::PictureKind::Raw: {
      ReadHead(file, 0, length);
      std::optional<image::RawSize> size = image::ParseRawSize(file);
      if (!size) ThrowFormatError(file, "file name", "no size tag such as (176x220) before the extension");
      out << fmt::format("Kind: RAW picture\nSize: {} x {}\nBits per pixel: 16 (and a 1-bit transparency mask)\n",
                         size->width, size->height);
      if (size->width > 0 && size->height > 0) {
        std::uint64_t expected = image::RawFileLength(static_cast<std::uint64_t>(size->width),
                                                      static_cast<std::uint64_t>(size->height));
        out << fmt::format("File length: {} bytes{}\n", length,
                           static_cast<std::uint64_t>(length) == expected
                               ? std::string()
                               : fmt::format(" (the size tag needs {})", expected));
      }
      return 0;
    }
    case image::PictureKind::K18:
    case image::PictureKind::K32: {
      std::vector<std::uint8_t> head = ReadHead(file, image::kKHeaderSize, length);
      image::KHeader h = image::ReadKHeader(head, file);
      out << fmt::format("Kind: K picture\nSize: {} x {}\nBits per pixel: {}\nRow stride: {} bytes\n", h.width,
                         h.height, h.bitsPerPixel, h.stride);
      return 0;
    }
    case image::PictureKind::G: {
      std::vector<std::uint8_t> head = ReadHead(file, 1 << 20, length);
      PrintOrdinary(file, head, "G picture holding a ", out);
      return 0;
    }
    case image::PictureKind::Other:
      break;
  }
  std::vector<std::uint8_t> head = ReadHead(file, 1 << 20, length);
  PrintOrdinary(file, head, "", out);
  return 0;
}

}  // namespace resmill::cli
