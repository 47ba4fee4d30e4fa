#include "drm/drm_rebuild.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <map>

#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::drm {

namespace {

constexpr std::int64_t kWord = 4;
constexpr std::int64_t kRawDataAlignment = 4;
constexpr std::int64_t kGifDataAlignment = 16;

std::int64_t PaddingTo(std::int64_t size, std::int64_t alignment) { return (alignment - size % alignment) % alignment; }

/// The byte range that holds the header pointer table (variant 1) and the
/// resource directory; the two may overlap, even by parts of a word.
struct PointerArea {
  std::int64_t from = 0;
  std::int64_t to = 0;
};

PointerArea PointerAreaOf(const DrmLayout& l) {
  PointerArea area{l.Dir, std::int64_t{l.Dir} + kWord * l.DirCount};
  if (l.DrmVariant == 1) {
    area.from = std::min(area.from, kHeaderPointerTable);
    area.to = std::max(area.to, kHeaderPointerTable + kWord * l.HeaderPointerCount);
  }
  return area;
}

/// Both pointer passes, applied to a copy of the input's bytes exactly as the
/// compile applies them to the image: first the header pointer table, then the
/// directory, each word read after the previous writes.
void MovePointerWords(std::vector<std::uint8_t>& area, std::int64_t areaAt, const DrmLayout& l, std::int64_t rawDelta,
                      std::int64_t gifDelta, std::int64_t newRawSize) {
  const auto base = static_cast<std::uint32_t>(l.Base);
  // Offsets compare as signed 32-bit values: a pointer below Base comes before everything.
  auto offsetOf = [base](std::uint32_t v) { return std::int64_t{static_cast<std::int32_t>(v - base)}; };
  auto pointerTo = [base](std::int64_t q) { return static_cast<std::uint32_t>(q) + base; };
  auto word = [&](std::int64_t at) { return &area[static_cast<std::size_t>(at - areaAt)]; };
  if (l.DrmVariant == 1) {
    for (std::int64_t k = 0; k < l.HeaderPointerCount; ++k) {
      std::uint8_t* w = word(kHeaderPointerTable + kWord * k);
      const std::uint32_t v = GetU32BE(w);
      if (offsetOf(v) > l.RawData) PutU32BE(v - static_cast<std::uint32_t>(rawDelta), w);
    }
  }
  for (std::int64_t k = 0; k < l.DirCount; ++k) {
    std::uint8_t* w = word(std::int64_t{l.Dir} + kWord * k);
    const std::uint32_t v = GetU32BE(w);
    const std::int64_t q = offsetOf(v);
    if (q > l.GifData) {
      PutU32BE(pointerTo(q - rawDelta - gifDelta), w);
    } else if (l.DrmVariant == 1 && q > l.RawTable) {
      PutU32BE(pointerTo(q - rawDelta), w);
    } else if (l.DrmVariant == 1 && q > l.RawData) {
      PutU32BE(pointerTo(q + newRawSize - (std::int64_t{l.RawTable} - l.RawData)), w);
    }
  }
}

}  // namespace

RebuildInput ReadRebuildInput(BinaryFile& image, const DrmLayout& layout) {
  RebuildInput input;
  input.layout = layout;
  input.imageSize = image.Size();
  if (layout.DrmVariant == 1) {
    input.rawTable.resize(static_cast<std::size_t>(layout.RawCount + 2) * kRawEntrySize);
    image.Seek(layout.RawTable);
    image.ReadExact(input.rawTable, "the RAW table");
  }
  const PointerArea area = PointerAreaOf(layout);
  input.pointerAreaAt = area.from;
  input.pointerArea.resize(static_cast<std::size_t>(area.to - area.from));
  image.Seek(area.from);
  image.ReadExact(input.pointerArea, "the header pointer table and the resource directory");
  return input;
}

std::int64_t DrmRebuildPlan::NewOffsetOf(std::int64_t offset) const {
  for (const RebuildSegment& s : segments) {
    if (s.kind == RebuildSegment::Kind::Kept && offset >= s.source && offset < s.source + s.length) {
      return s.at + (offset - s.source);
    }
  }
  return -1;
}

DrmRebuildPlan PlanDrmRebuild(const RebuildInput& input, std::span<const PictureSize> raws,
                              std::span<const PictureSize> gifs) {
  using Kind = RebuildSegment::Kind;
  const DrmLayout& l = input.layout;
  const bool v1 = l.DrmVariant == 1;
  if (raws.size() != static_cast<std::size_t>(v1 ? l.RawCount : 0) ||
      gifs.size() != static_cast<std::size_t>(l.GifCount) ||
      input.rawTable.size() != (v1 ? static_cast<std::size_t>(l.RawCount + 2) * kRawEntrySize : 0)) {
    throw Error(Error::Kind::Internal,
                fmt::format("a DRM rebuild was planned with {} RAW and {} GIF-table pictures for tables of {} and {}",
                            raws.size(), gifs.size(), l.RawCount, l.GifCount));
  }

  DrmRebuildPlan plan;
  plan.input = l;
  plan.output = l;
  plan.inputSize = input.imageSize;
  std::int64_t at = 0;
  auto add = [&](Kind kind, std::int64_t length, std::int64_t source) {
    // Pictures stay listed even when empty: the compile takes each one's file from here.
    if (length > 0 || kind == Kind::RawPicture || kind == Kind::GifPicture) {
      plan.segments.push_back({kind, at, length, source});
    }
    at += length;
  };

  std::int64_t newRawSize = 0;
  if (v1) {
    add(Kind::Kept, l.RawData, 0);
    // Entry 0 and every byte the format does not define are kept from the old table.
    plan.rawTable = input.rawTable;
    for (int i = 1; i <= l.RawCount + 1; ++i) {
      std::uint8_t* entry = &plan.rawTable[static_cast<std::size_t>(i) * kRawEntrySize];
      const PictureSize picture = i <= l.RawCount ? raws[static_cast<std::size_t>(i - 1)] : PictureSize{};
      entry[kRawEntryWidth] = static_cast<std::uint8_t>(picture.width);
      entry[kRawEntryHeight] = static_cast<std::uint8_t>(picture.height);
      // Offsets count 16-bit units; a RAW picture always has an even length.
      PutU32BE(static_cast<std::uint32_t>(plan.rawDataSize / 2), entry + kRawEntryOffset);
      if (i <= l.RawCount) {
        add(Kind::RawPicture, picture.length, i);
        plan.rawDataSize += picture.length;
      }
    }
    const std::int64_t padding = PaddingTo(plan.rawDataSize, kRawDataAlignment);
    add(Kind::RawPadding, padding, 0);
    newRawSize = plan.rawDataSize + padding;
    plan.output.RawTable = static_cast<std::int32_t>(at);
    add(Kind::RawTable, static_cast<std::int64_t>(plan.rawTable.size()), 0);
    plan.output.RawTableEnd = static_cast<std::int32_t>(at);
    plan.rawDelta = std::int64_t{l.RawTableEnd} - plan.output.RawTableEnd;
    add(Kind::Kept, std::int64_t{l.GifData} - l.RawTableEnd, l.RawTableEnd);
  } else {
    add(Kind::Kept, l.GifData, 0);
  }

  plan.output.GifData = static_cast<std::int32_t>(at);
  plan.gifTable.assign(static_cast<std::size_t>(l.GifCount) + 2, 0);
  for (int k = 1; k <= l.GifCount; ++k) {
    plan.gifTable[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(plan.gifDataSize);
    add(Kind::GifPicture, gifs[static_cast<std::size_t>(k - 1)].length, k);
    plan.gifDataSize += gifs[static_cast<std::size_t>(k - 1)].length;
  }
  plan.gifTable.back() = static_cast<std::uint32_t>(plan.gifDataSize);
  add(Kind::GifPadding, PaddingTo(plan.gifDataSize, kGifDataAlignment), 0);
  plan.output.GifTable = static_cast<std::int32_t>(at);
  add(Kind::GifTable, static_cast<std::int64_t>(plan.gifTable.size()) * kGifEntrySize, 0);
  plan.output.GifTableEnd = static_cast<std::int32_t>(at);
  plan.gifDelta =
      (std::int64_t{l.GifTableEnd} - l.GifData) - (std::int64_t{plan.output.GifTableEnd} - plan.output.GifData);
  add(Kind::Kept, input.imageSize - l.GifTableEnd, l.GifTableEnd);
  plan.outputSize = at;
  // The layout values, the tables and descr.dat hold 32-bit signed offsets.
  if (plan.outputSize > std::numeric_limits<std::int32_t>::max()) {
    throw Error(Error::Kind::Limit, fmt::format("the new DRM image would hold {} bytes, more than the {} a DRM can",
                                                plan.outputSize, std::numeric_limits<std::int32_t>::max()));
  }

  std::vector<std::uint8_t> moved = input.pointerArea;
  MovePointerWords(moved, input.pointerAreaAt, l, plan.rawDelta, plan.gifDelta, newRawSize);
  std::map<std::int64_t, PointerMove> moves;
  auto note = [&](std::int64_t slot, bool header) {
    PointerMove& m = moves[slot];
    m.slot = slot;
    const auto index = static_cast<std::size_t>(slot - input.pointerAreaAt);
    m.before = GetU32BE(&input.pointerArea[index]);
    m.after = GetU32BE(&moved[index]);
    (header ? m.inHeaderTable : m.inDirectory) = true;
  };
  if (v1) {
    for (std::int64_t k = 0; k < l.HeaderPointerCount; ++k) note(kHeaderPointerTable + kWord * k, true);
  }
  for (std::int64_t k = 0; k < l.DirCount; ++k) note(std::int64_t{l.Dir} + kWord * k, false);
  for (const auto& [slot, move] : moves) plan.pointers.push_back(move);
  return plan;
}

std::vector<std::uint8_t> EncodeGifTable(const DrmRebuildPlan& plan) {
  std::vector<std::uint8_t> bytes(plan.gifTable.size() * kGifEntrySize);
  for (std::size_t k = 0; k < plan.gifTable.size(); ++k) PutU32BE(plan.gifTable[k], &bytes[k * kGifEntrySize]);
  return bytes;
}

std::string DescribeSegment(const RebuildSegment& segment, const DrmLayout& input) {
  using Kind = RebuildSegment::Kind;
  switch (segment.kind) {
    case Kind::Kept:
      if (segment.source == 0) return "the header and resources before the pictures";
      if (segment.source == input.GifTableEnd) return "the resources after the GIF table";
      return "the resources between the RAW table and the GIF data";
    case Kind::RawPicture:
      return fmt::format("RAW picture {}", segment.source);
    case Kind::RawPadding:
      return "the padding after the RAW data";
    case Kind::RawTable:
      return "the RAW table";
    case Kind::GifPicture:
      return fmt::format("picture {}", input.RawCount + segment.source);
    case Kind::GifPadding:
      return "the padding after the GIF data";
    case Kind::GifTable:
      return "the GIF table";
  }
  return "the image";
}

}  // namespace resmill::drm
