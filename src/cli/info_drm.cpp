// info for a DRM image (a raw dump or a CG15.bin): variant, layout values and picture counts.

#include <array>

#include <fmt/format.h>

#include "drm/drm_layout.h"
#include "info.h"
#include "platform/binary_file.h"
#include "platform/error.h"

namespace resmill::cli {

int InfoDrmImage(const std::filesystem::path& file, std::ostream& out) {
  BinaryFile image(file, BinaryFile::Mode::Read);
  std::int32_t variant = 0;
  if (!drm::FindDrmMarker(image, variant)) {
    throw Error(Error::Kind::Format,
                fmt::format("{}: not a DRM image (no \"_drm\" at 468, 456 or 464 and no signature word at 8)",
                            file.string()));
  }
  const drm::DrmLayout l = drm::ReadDrmLayout(image, variant);
  const drm::DrmTables tables = drm::ReadDrmTables(image, l);
  auto hex = [](std::int32_t v) { return HexOffset(static_cast<std::uint32_t>(v)); };

  out << fmt::format("DRM image: {} ({} bytes)\n", file.string(), image.Size());
  out << fmt::format("DrmVariant: {}\n", l.DrmVariant);
  out << fmt::format("Base: 0x{:08X}\n", static_cast<std::uint32_t>(l.Base));
  out << fmt::format("Dir: {}\nDirCount: {}\n", hex(l.Dir), l.DirCount);
  out << fmt::format("GifData: {}\nGifCount: {}\nGifTable: {}\nGifTableEnd: {}\n", hex(l.GifData), l.GifCount,
                     hex(l.GifTable), hex(l.GifTableEnd));
  if (l.DrmVariant == 1) {
    out << fmt::format("HeaderPointerCount: {}\nRawData: {}\nRawCount: {}\nRawTable: {}\nRawTableEnd: {}\n",
                       l.HeaderPointerCount, hex(l.RawData), l.RawCount, hex(l.RawTable), hex(l.RawTableEnd));
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
  out << fmt::format("RAW pictures: {} (numbers 1 to {}, {} empty)\n", l.RawCount, l.RawCount, rawEmpty);
  out << fmt::format("GIF-table pictures: {} (numbers {} to {}; {} GIF, {} BMP, {} empty)\n", l.GifCount,
                     l.RawCount + 1, l.RawCount + l.GifCount, gifs, bmps, empty);
  return 0;
}

}  // namespace resmill::cli
