#include "drm/drm_layout.h"

#include <algorithm>
#include <limits>

#include <fmt/format.h>

#include "platform/atomic_output.h"
#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::drm {
namespace fs = std::filesystem;

namespace {

std::string At(std::int64_t offset) { return "offset " + HexOffset(static_cast<std::uint64_t>(offset)); }

[[noreturn]] void Damaged(const fs::path& file, std::int64_t offset, const std::string& what) {
  ThrowFormatError(file, At(offset), what);
}

[[noreturn]] void TooMany(const fs::path& file, std::int64_t offset, const std::string& what) {
  throw Error(Error::Kind::Limit, fmt::format("{}: {}: {}", file.string(), At(offset), what));
}

/// Reads the pointer stored at `slot` and turns it into a file offset, refusing
/// pointers below Base or beyond the end of the image.
class PointerReader {
 public:
  PointerReader(BinaryFile& image, std::uint32_t base, std::int64_t size) : image_(image), base_(base), size_(size) {}

  std::int32_t operator()(std::int64_t slot, std::string_view name) {
    if (slot < 0 || slot + 4 > size_) {
      Damaged(image_.Path(), slot, fmt::format("the {} pointer lies beyond the end of the image ({} bytes)", name, size_));
    }
    std::uint32_t pointer = ReadU32BEAt(image_, slot);
    if (pointer < base_) {
      Damaged(image_.Path(), slot,
              fmt::format("the {} pointer 0x{:08X} lies below Base 0x{:08X}", name, pointer, base_));
    }
    std::int64_t offset = std::int64_t{pointer} - base_;
    if (offset > size_) {
      Damaged(image_.Path(), slot,
              fmt::format("the {} pointer 0x{:08X} points to {} beyond the end of the image ({} bytes)", name,
                          pointer, HexOffset(static_cast<std::uint64_t>(offset)), size_));
    }
    return static_cast<std::int32_t>(offset);
  }

 private:
  BinaryFile& image_;
  std::uint32_t base_;
  std::int64_t size_;
};

// The pictures of a table from `from` to `to`: its entries but the two that close it.
// `slot` is the pointer to the table's end, named when the table is refused.
std::int32_t TableCount(const fs::path& file, std::int64_t slot, std::string_view table, std::int64_t from,
                        std::int64_t to, std::int64_t entrySize, std::int32_t most) {
  if (to - from < 2 * entrySize) {
    Damaged(file, slot,
            fmt::format("the {} table from {} to {} is too short for its two closing entries", table,
                        HexOffset(static_cast<std::uint64_t>(from)), HexOffset(static_cast<std::uint64_t>(to))));
  }
  const std::int64_t count = (to - from) / entrySize - 2;
  if (count > most) {
    TooMany(file, slot, fmt::format("the {} table holds {} pictures, more than {}", table, count, most));
  }
  return static_cast<std::int32_t>(count);
}

bool MarkerAt(BinaryFile& image, std::int64_t offset) {
  if (offset < 0) return false;
  std::array<std::uint8_t, 4> bytes{};
  return image.ReadAt(offset, bytes) == bytes.size() && bytes == kDrmMarker;
}

}  // namespace

std::int64_t DrmTables::RawEnd(int i) const {
  if (i <= 0) return 0;
  // Entry i + 1 holds where picture i ends, in 16-bit units.
  return 2 * std::int64_t{GetU32BE(&rawEntries[static_cast<std::size_t>(i) * kRawEntrySize + kRawEntryOffset])};
}

bool FindDrmMarker(BinaryFile& image, std::int32_t& variant) {
  variant = 0;
  if (MarkerAt(image, kMarkerOffsets[0]) || MarkerAt(image, kMarkerOffsets[1])) return true;
  if (MarkerAt(image, kMarkerOffsets[2])) {
    variant = 1;
    return true;
  }
  std::array<std::uint8_t, 4> word{};
  if (image.ReadAt(kSignatureOffset, word) == word.size() && GetU32BE(word.data()) == kDrmSignature) {
    variant = 1;
    return true;
  }
  return false;
}

std::int32_t DrmVariantOf(BinaryFile& image) {
  std::int32_t variant = 0;
  FindDrmMarker(image, variant);
  return variant;
}

DrmLayout ReadDrmLayout(BinaryFile& image, std::int32_t variant, DrmLayoutSlots* slotsOut) {
  const fs::path& file = image.Path();
  const std::int64_t size = image.Size();
  if (size > std::numeric_limits<std::int32_t>::max()) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} bytes is too large for a DRM image", file.string(), size));
  }
  if (variant != 0 && variant != 1) {
    throw Error(Error::Kind::Internal, fmt::format("{}: unknown DRM variant {}", file.string(), variant));
  }
  if (size < 12) Damaged(file, 0, fmt::format("{} bytes are too few for a DRM header", size));

  DrmLayout layout;
  layout.DrmVariant = variant;
  // Filled as the pointers are read, so that after a refusal the caller sees how far the reader came.
  DrmLayoutSlots ownSlots;
  DrmLayoutSlots& slots = slotsOut != nullptr ? *slotsOut : ownSlots;
  slots = DrmLayoutSlots{};
  const bool wordZero = ReadU32BEAt(image, 0) == 0;
  slots.headerWord = wordZero ? kHeaderWordAtWordZero : kHeaderWordAt;
  std::int64_t s = wordZero ? (variant == 1 ? kSlotSWordZeroV1 : kSlotSWordZeroV0) : kSlotS;
  const std::uint32_t base = ReadU32BEAt(image, slots.headerWord) & ~std::uint32_t{0xFF};
  layout.Base = static_cast<std::int32_t>(base);
  PointerReader pointerAt(image, base, size);

  if (variant == 1) {
    // The check slot tells the two header forms apart: a pointer to "_drm"
    // means the long pointer table; anything else (even a pointer outside the
    // image) means the short form.
    slots.checkSlot = wordZero ? kCheckSlotWordZero : kCheckSlot;
    std::uint32_t check = ReadU32BEAt(image, slots.checkSlot);
    bool longForm = check >= base && MarkerAt(image, std::int64_t{check} - base);
    layout.HeaderPointerCount = longForm ? kLongHeaderPointerCount : kShortHeaderPointerCount;
    if (!longForm) s = kSlotS;
  }

  slots.gifDescriptor = s;
  slots.dir = s + kDirSlotFromS;
  const std::int32_t g = pointerAt(s, "GIF descriptor");
  if (g + kDescriptorGifTableEnd < 0 || g + kDescriptorGifTable + 4 > size) {
    Damaged(file, s, fmt::format("the GIF descriptor at {} does not lie inside the image ({} bytes)",
                                 HexOffset(static_cast<std::uint64_t>(g)), size));
  }
  slots.gifTableEnd = g + kDescriptorGifTableEnd;
  slots.gifData = g + kDescriptorGifData;
  slots.gifTable = g + kDescriptorGifTable;
  layout.Dir = pointerAt(slots.dir, "resource directory");
  if (layout.Dir + std::int64_t{kDirCount} * 4 > size) {
    Damaged(file, slots.dir,
            fmt::format("the resource directory at {} does not lie inside the image ({} bytes)",
                        HexOffset(static_cast<std::uint64_t>(layout.Dir)), size));
  }
  layout.GifTableEnd = pointerAt(slots.gifTableEnd, "GIF table end");
  layout.GifData = pointerAt(slots.gifData, "GIF data");
  layout.GifTable = pointerAt(slots.gifTable, "GIF table");
  layout.GifCount =
      TableCount(file, slots.gifTableEnd, "GIF", layout.GifTable, layout.GifTableEnd, kGifEntrySize, kMaxGifPictures);

  if (variant == 1) {
    slots.rawData = std::int64_t{layout.Dir} + kDirRawData;
    slots.rawTable = std::int64_t{layout.Dir} + kDirRawTable;
    slots.rawTableEnd = s + kRawTableEndSlotFromS;
    layout.RawData = pointerAt(slots.rawData, "RAW data");
    layout.RawTable = pointerAt(slots.rawTable, "RAW table");
    layout.RawTableEnd = pointerAt(slots.rawTableEnd, "RAW table end");
    layout.RawCount =
        TableCount(file, slots.rawTableEnd, "RAW", layout.RawTable, layout.RawTableEnd, kRawEntrySize, kMaxRawPictures);
  }
  return layout;
}

DrmTables ReadDrmTables(BinaryFile& image, const DrmLayout& layout) {
  const fs::path& file = image.Path();
  const std::int64_t size = image.Size();
  DrmTables tables;

  std::vector<std::uint8_t> words(static_cast<std::size_t>(layout.GifCount + 2) * kGifEntrySize);
  image.Seek(layout.GifTable);
  image.ReadExact(words, "the GIF table");
  tables.gifOffsets.resize(static_cast<std::size_t>(layout.GifCount) + 2);
  for (std::size_t k = 0; k < tables.gifOffsets.size(); ++k) {
    tables.gifOffsets[k] = GetU32BE(&words[k * kGifEntrySize]);
  }
  // Picture k runs from entry k (entry 0 for the first picture) to entry k + 1.
  std::uint32_t start = tables.gifOffsets[0];
  for (int k = 1; k <= layout.GifCount; ++k) {
    std::uint32_t end = tables.gifOffsets[static_cast<std::size_t>(k) + 1];
    std::int64_t entryAt = std::int64_t{layout.GifTable} + kGifEntrySize * (k + 1);
    if (end < start) {
      Damaged(file, entryAt,
              fmt::format("GIF table entry {} (0x{:08X}) goes back before the end of the previous picture (0x{:08X})",
                          k + 1, end, start));
    }
    if (layout.GifData + std::int64_t{end} > size) {
      Damaged(file, entryAt,
              fmt::format("GIF-table picture {} ends at {}, beyond the end of the image ({} bytes)", k,
                          HexOffset(static_cast<std::uint64_t>(layout.GifData + std::int64_t{end})), size));
    }
    start = end;
  }

  if (layout.DrmVariant == 1) {
    tables.rawEntries.resize(static_cast<std::size_t>(layout.RawCount + 1) * kRawEntrySize);
    image.Seek(std::int64_t{layout.RawTable} + kRawEntrySize);
    image.ReadExact(tables.rawEntries, "the RAW table");
    std::int64_t previous = 0;
    for (int i = 1; i <= layout.RawCount; ++i) {
      std::int64_t end = tables.RawEnd(i);
      std::int64_t entryAt = std::int64_t{layout.RawTable} + kRawEntrySize * (i + 1) + kRawEntryOffset;
      if (end < previous) {
        Damaged(file, entryAt,
                fmt::format("RAW table entry {} (offset 0x{:X}) goes back before the end of picture {} (0x{:X})",
                            i + 1, end, i - 1, previous));
      }
      if (layout.RawData + end > size) {
        Damaged(file, entryAt,
                fmt::format("RAW picture {} ends at {}, beyond the end of the image ({} bytes)", i,
                            HexOffset(static_cast<std::uint64_t>(layout.RawData + end)), size));
      }
      previous = end;
    }
  }
  return tables;
}

void CheckCompilableLayout(const DrmLayout& l, std::int64_t imageSize, const fs::path& image) {
  auto refuse = [&](const std::string& what) {
    throw Error(Error::Kind::Format, fmt::format("{}: the DRM cannot be rebuilt: {}", image.string(), what));
  };
  auto hex = [](std::int64_t v) { return HexOffset(static_cast<std::uint64_t>(v)); };
  // The areas the compile replaces start here; everything the compile patches in place must lie before it.
  std::int64_t firstRebuilt = l.GifData;
  if (l.DrmVariant == 1) {
    firstRebuilt = l.RawData;
    if (!(l.RawData <= l.RawTable && l.RawTable < l.RawTableEnd && l.RawTableEnd <= l.GifData)) {
      refuse(fmt::format("RAW data ({}), RAW table ({} to {}) and GIF data ({}) are not in that order", hex(l.RawData),
                         hex(l.RawTable), hex(l.RawTableEnd), hex(l.GifData)));
    }
    std::int64_t tableEnd = kHeaderPointerTable + 4 * std::int64_t{l.HeaderPointerCount};
    if (tableEnd > firstRebuilt) {
      refuse(fmt::format("the header pointer table (to {}) runs into the RAW data at {}", hex(tableEnd),
                         hex(l.RawData)));
    }
  }
  if (!(l.GifData <= l.GifTable && l.GifTable < l.GifTableEnd && l.GifTableEnd <= imageSize)) {
    refuse(fmt::format("GIF data ({}) and GIF table ({} to {}) are not in that order inside the image ({} bytes)",
                       hex(l.GifData), hex(l.GifTable), hex(l.GifTableEnd), imageSize));
  }
  if (l.Dir < 0 || std::int64_t{l.Dir} + 4 * std::int64_t{l.DirCount} > firstRebuilt) {
    refuse(fmt::format("the resource directory at {} does not lie before the pictures at {}", hex(l.Dir),
                       hex(firstRebuilt)));
  }
}

std::vector<std::uint8_t> EncodeDescrDat(const DrmLayout& l) {
  std::vector<std::int32_t> values = {l.DrmVariant, l.Base,     l.Dir,      l.DirCount,           l.GifData,
                                      l.GifCount,   l.GifTable - l.GifData, l.GifTable, l.GifTableEnd};
  if (l.DrmVariant == 1) {
    for (std::int32_t v : {l.HeaderPointerCount, l.RawData, l.RawCount, l.RawTable - l.RawData, l.RawTable,
                           l.RawTableEnd}) {
      values.push_back(v);
    }
  }
  std::vector<std::uint8_t> bytes(values.size() * 4);
  for (std::size_t i = 0; i < values.size(); ++i) PutU32LE(static_cast<std::uint32_t>(values[i]), &bytes[i * 4]);
  return bytes;
}

void CheckDescrDatDescribes(const DrmLayout& described, const fs::path& descrDat, const DrmLayout& actual,
                            const fs::path& image) {
  // The values in descr.dat order, the offsets of the two tables from their data included.
  static constexpr std::array<std::string_view, 15> kNames = {
      "DrmVariant",     "Base",     "Dir",         "DirCount",           "GifData", "GifCount",
      "GifTableOffset", "GifTable", "GifTableEnd", "HeaderPointerCount", "RawData", "RawCount",
      "RawTableOffset", "RawTable", "RawTableEnd"};
  const std::vector<std::uint8_t> expected = EncodeDescrDat(actual), found = EncodeDescrDat(described);
  for (std::size_t at = 0; at < std::max(expected.size(), found.size()); at += 4) {
    auto value = [at](const std::vector<std::uint8_t>& bytes) {
      return at < bytes.size() ? static_cast<std::int32_t>(GetU32LE(&bytes[at])) : 0;
    };
    if (value(found) != value(expected)) {
      throw Error(Error::Kind::Format,
                  fmt::format("{} does not describe {}: {} is {} there but {} in the image; open the flash file again",
                              descrDat.string(), image.string(), kNames[at / 4], value(found), value(expected)));
    }
  }
}

void WriteDescrDat(const fs::path& file, const DrmLayout& layout) { WriteFileAtomically(file, EncodeDescrDat(layout)); }

DrmLayout ReadDescrDat(const fs::path& file) {
  BinaryFile in(file, BinaryFile::Mode::Read);
  std::int64_t size = in.Size();
  if (size != 36 && size != 60) {
    ThrowFormatError(file, "", fmt::format("{} bytes; a DRM description holds 36 or 60", size));
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.ReadExact(bytes, "the DRM description");
  auto value = [&](int n) { return static_cast<std::int32_t>(GetU32LE(&bytes[static_cast<std::size_t>(n - 1) * 4])); };
  auto bad = [&](int n, const std::string& what) { ThrowFormatError(file, At((n - 1) * 4), what); };

  DrmLayout l;
  l.DrmVariant = value(1);
  if (l.DrmVariant != 0 && l.DrmVariant != 1) bad(1, fmt::format("unknown DRM variant {}", l.DrmVariant));
  if ((l.DrmVariant == 1) != (size == 60)) {
    ThrowFormatError(file, "", fmt::format("{} bytes do not fit DRM variant {}", size, l.DrmVariant));
  }
  l.Base = value(2);
  l.Dir = value(3);
  l.DirCount = value(4);
  l.GifData = value(5);
  l.GifCount = value(6);
  l.GifTable = value(8);
  l.GifTableEnd = value(9);
  if (l.DirCount != kDirCount) bad(4, fmt::format("directory count {} is not {}", l.DirCount, kDirCount));
  if (l.GifCount < 0 || l.GifCount > kMaxGifPictures) {
    bad(6, fmt::format("GIF-table picture count {} is outside 0 … {}", l.GifCount, kMaxGifPictures));
  }
  if (std::int64_t{l.GifTable} - l.GifData != value(7)) bad(7, "GIF table offset does not match GIF table and data");
  if (l.DrmVariant == 1) {
    l.HeaderPointerCount = value(10);
    l.RawData = value(11);
    l.RawCount = value(12);
    l.RawTable = value(14);
    l.RawTableEnd = value(15);
    if (l.HeaderPointerCount != kShortHeaderPointerCount && l.HeaderPointerCount != kLongHeaderPointerCount) {
      bad(10, fmt::format("header pointer count {} is neither 30 nor 35", l.HeaderPointerCount));
    }
    if (l.RawCount < 0 || l.RawCount > kMaxRawPictures) {
      bad(12, fmt::format("RAW picture count {} is outside 0 … {}", l.RawCount, kMaxRawPictures));
    }
    if (std::int64_t{l.RawTable} - l.RawData != value(13)) bad(13, "RAW table offset does not match RAW table and data");
  }
  return l;
}

}  // namespace resmill::drm
