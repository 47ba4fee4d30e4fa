#include "drm/compile_verify.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "platform/byte_io.h"
#include "platform/error.h"

namespace resmill::drm {

namespace {

namespace fs = std::filesystem;
using Kind = RebuildSegment::Kind;

constexpr std::uint64_t kPrime = 0x100000001b3ull;
constexpr std::size_t kBlock = std::size_t{1} << 16;

std::string Hex(std::int64_t offset) { return HexOffset(static_cast<std::uint64_t>(offset)); }

class DrmReadBack {
 public:
  DrmReadBack(const fs::path& written, const fs::path& savedAs, BinaryFile& input, const DrmRebuildPlan& plan,
              const PictureFingerprints& pictures)
      : image_(written, BinaryFile::Mode::Read),
        written_(written),
        savedAs_(savedAs),
        input_(input),
        plan_(plan),
        pictures_(pictures) {
    for (const PointerMove& m : plan_.pointers) slots_.push_back(m.slot);
  }

  void Run();

 private:
  [[noreturn]] void Fail(std::int64_t offset, std::string_view what) const {
    ThrowReadBackFailure("DRM image", savedAs_, "offset " + Hex(offset), what);
  }
  [[noreturn]] void CannotRebuild(std::string_view why) const;

  void CheckSegment(const RebuildSegment& segment);
  void CheckPointers();
  void CheckReadsAsPlanned();
  std::string LayoutDifference(const DrmLayout& got, const DrmLayoutSlots& slots);
  std::optional<std::string> DescriptorDifference(const DrmLayoutSlots& slots);
  void CompareKept(const RebuildSegment& segment, std::string_view area);
  void CheckZeros(const RebuildSegment& segment, std::string_view what);
  void CheckPicture(const RebuildSegment& segment, std::uint64_t fingerprint, std::string_view what);
  void CheckRawTable(const RebuildSegment& segment);
  void CheckGifTable(const RebuildSegment& segment);
  bool InPointerSlot(std::int64_t at) const;

  BinaryFile image_;
  const fs::path& written_;
  const fs::path& savedAs_;
  BinaryFile& input_;
  const DrmRebuildPlan& plan_;
  const PictureFingerprints& pictures_;
  std::vector<std::int64_t> slots_;  // sorted, as the plan lists its pointers
  DrmLayoutSlots inputSlots_;        // where the input's layout was read
};

void DrmReadBack::CannotRebuild(std::string_view why) const {
  throw Error(Error::Kind::Format,
              fmt::format("{}: this DRM cannot be rebuilt with the new picture sizes: {}. Only the pointers of the "
                          "header pointer table and the resource directory are moved when pictures change size. "
                          "Nothing was saved as {}.",
                          input_.Path().string(), why, savedAs_.string()));
}

bool DrmReadBack::InPointerSlot(std::int64_t at) const {
  // Slots may overlap; the last one starting at or before `at` covers it if any does.
  auto next = std::upper_bound(slots_.begin(), slots_.end(), at);
  return next != slots_.begin() && at < *(next - 1) + 4;
}

// Input bytes [source, source + length) against the new image's [at, at + length),
// leaving out the pointer words (judged by CheckPointers).
void DrmReadBack::CompareKept(const RebuildSegment& s, std::string_view area) {
  std::vector<std::uint8_t> a(kBlock), b(kBlock);
  for (std::int64_t done = 0; done < s.length;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(s.length - done, static_cast<std::int64_t>(kBlock)));
    if (input_.ReadAt(s.source + done, std::span(a.data(), n)) != n ||
        image_.ReadAt(s.at + done, std::span(b.data(), n)) != n) {
      Fail(s.at + done, fmt::format("{} ends early", area));
    }
    if (std::memcmp(a.data(), b.data(), n) != 0) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t at = s.at + done + static_cast<std::int64_t>(i);
        if (a[i] == b[i] || InPointerSlot(at)) continue;
        Fail(at, fmt::format("the byte {:02X} of {} should be {:02X}, as at input offset {}", b[i], area, a[i],
                             Hex(s.source + done + static_cast<std::int64_t>(i))));
      }
    }
    done += static_cast<std::int64_t>(n);
  }
}

void DrmReadBack::CheckZeros(const RebuildSegment& s, std::string_view what) {
  std::array<std::uint8_t, 16> bytes{};
  const auto n = static_cast<std::size_t>(s.length);
  if (n > bytes.size() || image_.ReadAt(s.at, std::span(bytes.data(), n)) != n) {
    Fail(s.at, fmt::format("{} ends early", what));
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] != 0) Fail(s.at + static_cast<std::int64_t>(i), fmt::format("{} holds {:02X}, not 0", what, bytes[i]));
  }
}

void DrmReadBack::CheckPicture(const RebuildSegment& s, std::uint64_t fingerprint, std::string_view what) {
  Fingerprint print;
  std::vector<std::uint8_t> block(kBlock);
  for (std::int64_t done = 0; done < s.length;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(s.length - done, static_cast<std::int64_t>(kBlock)));
    if (image_.ReadAt(s.at + done, std::span(block.data(), n)) != n)
      Fail(s.at + done, fmt::format("{} ends early", what));
    print.Add(std::span(block.data(), n));
    done += static_cast<std::int64_t>(n);
  }
  if (print.Value() != fingerprint) {
    Fail(s.at, fmt::format("the {} bytes of {} there are not the bytes copied from the tree", s.length, what));
  }
}

void DrmReadBack::CheckRawTable(const RebuildSegment& s) {
  std::vector<std::uint8_t> got(plan_.rawTable.size());
  if (image_.ReadAt(s.at, got) != got.size()) Fail(s.at, "the RAW table ends early");
  for (std::size_t b = 0; b < got.size(); ++b) {
    if (got[b] != plan_.rawTable[b]) {
      const auto entry = static_cast<std::int64_t>(b) / kRawEntrySize;
      Fail(s.at + static_cast<std::int64_t>(b),
           fmt::format("byte {} of RAW table entry {} is {:02X} instead of {:02X}",
                       static_cast<std::int64_t>(b) % kRawEntrySize, entry, got[b], plan_.rawTable[b]));
    }
  }
}

void DrmReadBack::CheckGifTable(const RebuildSegment& s) {
  std::vector<std::uint8_t> got(static_cast<std::size_t>(s.length));
  if (image_.ReadAt(s.at, got) != got.size()) Fail(s.at, "the GIF table ends early");
  for (std::size_t k = 0; k < plan_.gifTable.size(); ++k) {
    const std::uint32_t word = GetU32BE(&got[k * kGifEntrySize]);
    if (word != plan_.gifTable[k]) {
      Fail(s.at + static_cast<std::int64_t>(k) * kGifEntrySize,
           fmt::format("GIF table entry {} is 0x{:X} instead of 0x{:X}", k, word, plan_.gifTable[k]));
    }
  }
}

void DrmReadBack::CheckSegment(const RebuildSegment& s) {
  const std::string what = DescribeSegment(s, plan_.input);
  switch (s.kind) {
    case Kind::Kept:
      CompareKept(s, what);
      break;
    case Kind::RawPicture:
      CheckPicture(s, pictures_.raws[static_cast<std::size_t>(s.source - 1)], what);
      break;
    case Kind::GifPicture:
      CheckPicture(s, pictures_.gifs[static_cast<std::size_t>(s.source - 1)], what);
      break;
    case Kind::RawPadding:
    case Kind::GifPadding:
      CheckZeros(s, what);
      break;
    case Kind::RawTable:
      CheckRawTable(s);
      break;
    case Kind::GifTable:
      CheckGifTable(s);
      break;
  }
}

void DrmReadBack::CheckPointers() {
  for (const PointerMove& m : plan_.pointers) {
    const std::uint32_t got = ReadU32BEAt(image_, m.slot);
    if (got != m.after) {
      const char* table = m.inHeaderTable
                              ? (m.inDirectory ? "header pointer table and resource directory" : "header pointer table")
                              : "resource directory";
      Fail(m.slot, fmt::format("the pointer 0x{:08X} of the {} should now be 0x{:08X}, but it is 0x{:08X}", m.before,
                               table, m.after, got));
    }
  }
}

// Where the GIF descriptor was read in the new image, against where the input's
// descriptor has gone; nothing when they agree.
std::optional<std::string> DrmReadBack::DescriptorDifference(const DrmLayoutSlots& slots) {
  // In another header form slot S is another word; that difference is told first.
  if (slots.gifDescriptor < 0 || slots.gifDescriptor != inputSlots_.gifDescriptor) return std::nullopt;
  const std::int64_t moved = plan_.NewOffsetOf(inputSlots_.gifData);
  const std::int64_t named =
      std::int64_t{ReadU32BEAt(image_, slots.gifDescriptor)} - static_cast<std::uint32_t>(plan_.output.Base);
  if (named == moved) return std::nullopt;
  return fmt::format(
      "the GIF descriptor pointer at offset {} would name {} in the new image, but the GIF "
      "descriptor {}",
      Hex(slots.gifDescriptor), named < 0 ? "a place before Base" : Hex(named),
      moved < 0 ? fmt::format("at input offset {} lies in a rebuilt area", Hex(inputSlots_.gifData))
                : fmt::format("moves to {}", Hex(moved)));
}

// The first layout value that reads back other than planned, said as the
// pointer word that leads there.
std::string DrmReadBack::LayoutDifference(const DrmLayout& got, const DrmLayoutSlots& slots) {
  const DrmLayout& want = plan_.output;
  if (got.DrmVariant != want.DrmVariant) {
    return fmt::format("the marker and signature word (offsets {}, {}, {} and {}) would make the new image a DRM of "
                       "variant {}, not {}",
                       kMarkerOffsets[0], kMarkerOffsets[1], kMarkerOffsets[2], kSignatureOffset, got.DrmVariant,
                       want.DrmVariant);
  }
  if (got.Base != want.Base) {
    return fmt::format("the header word at offset {} would give Base 0x{:08X} instead of 0x{:08X}",
                       Hex(slots.headerWord), static_cast<std::uint32_t>(got.Base),
                       static_cast<std::uint32_t>(want.Base));
  }
  if (got.HeaderPointerCount != want.HeaderPointerCount) {
    const std::uint32_t check = ReadU32BEAt(image_, slots.checkSlot);
    return fmt::format(
        "the check pointer 0x{:08X} at offset {} would {} \"_drm\" in the new image, which makes its "
        "header pointer table {} words long instead of {}",
        check, Hex(slots.checkSlot), got.HeaderPointerCount == kLongHeaderPointerCount ? "name" : "no longer name",
        got.HeaderPointerCount, want.HeaderPointerCount);
  }
  if (got.Dir != want.Dir) {
    return fmt::format("the resource directory pointer at offset {} would name {}, but the directory stays at {}",
                       Hex(slots.dir), Hex(got.Dir), Hex(want.Dir));
  }
  if (auto descriptor = DescriptorDifference(slots)) return *descriptor;
  struct Field {
    const char* name;
    std::int32_t DrmLayout::*value;
    std::int64_t DrmLayoutSlots::*slot;
  };
  static constexpr std::array<Field, 6> kFields = {{
      {"RAW data", &DrmLayout::RawData, &DrmLayoutSlots::rawData},
      {"RAW table", &DrmLayout::RawTable, &DrmLayoutSlots::rawTable},
      {"RAW table end", &DrmLayout::RawTableEnd, &DrmLayoutSlots::rawTableEnd},
      {"GIF data", &DrmLayout::GifData, &DrmLayoutSlots::gifData},
      {"GIF table", &DrmLayout::GifTable, &DrmLayoutSlots::gifTable},
      {"GIF table end", &DrmLayout::GifTableEnd, &DrmLayoutSlots::gifTableEnd},
  }};
  for (const Field& f : kFields) {
    if (got.*f.value != want.*f.value) {
      return fmt::format("the {} pointer at offset {} would name {} in the new image instead of {}", f.name,
                         Hex(slots.*f.slot), Hex(got.*f.value), Hex(want.*f.value));
    }
  }
  return "the new image would read back with another layout";
}

// The file holds what the plan says; now it must read as the plan's layout,
// the way Open reads a DRM.
void DrmReadBack::CheckReadsAsPlanned() {
  ReadDrmLayout(input_, plan_.input.DrmVariant, &inputSlots_);
  DrmLayout got;
  DrmLayoutSlots slots;
  DrmTables tables;
  try {
    got = ReadDrmLayout(image_, DrmVariantOf(image_), &slots);
    if (got == plan_.output) tables = ReadDrmTables(image_, got);
  } catch (const Error& e) {
    if (e.kind() == Error::Kind::Io) throw;
    // A descriptor left behind reads as nonsense: better to name the pointer than the nonsense.
    if (auto descriptor = DescriptorDifference(slots)) CannotRebuild(*descriptor);
    // The reader names the temporary file; the user knows the image by other names.
    std::string why = e.what();
    const std::string prefix = written_.string() + ": ";
    if (why.starts_with(prefix)) why.erase(0, prefix.size());
    CannotRebuild("the new image would not read as a DRM (" + why + ")");
  }
  if (got != plan_.output) CannotRebuild(LayoutDifference(got, slots));
  // With the layout as planned the tables are the planned bytes, checked above; this
  // only guards the reader and the plan against drifting apart.
  const bool rawsAgree =
      plan_.rawTable.empty() || std::equal(tables.rawEntries.begin(), tables.rawEntries.end(),
                                           plan_.rawTable.begin() + kRawEntrySize, plan_.rawTable.end());
  if (!rawsAgree || tables.gifOffsets != plan_.gifTable) {
    Fail(rawsAgree ? plan_.output.GifTable : plan_.output.RawTable,
         "the tables read back differ from the tables written");
  }
}

void DrmReadBack::Run() {
  if (pictures_.raws.size() != static_cast<std::size_t>(plan_.input.DrmVariant == 1 ? plan_.input.RawCount : 0) ||
      pictures_.gifs.size() != static_cast<std::size_t>(plan_.input.GifCount)) {
    Fail(0, fmt::format("the compile copied {} RAW and {} GIF-table pictures for tables of {} and {}",
                        pictures_.raws.size(), pictures_.gifs.size(), plan_.input.RawCount, plan_.input.GifCount));
  }
  const std::int64_t size = image_.Size();
  if (size != plan_.outputSize) {
    Fail(std::min(size, plan_.outputSize),
         fmt::format("the image holds {} bytes, but its pictures and the kept parts of the input make {}", size,
                     plan_.outputSize));
  }
  for (const RebuildSegment& segment : plan_.segments) CheckSegment(segment);
  CheckPointers();
  CheckReadsAsPlanned();
}

}  // namespace

void Fingerprint::Add(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  for (; i < bytes.size() && (count_ & 3) != 0; ++i, ++count_) lanes_[count_ & 3] = (lanes_[count_ & 3] ^ bytes[i]) * kPrime;
  // Lane k takes the bytes at positions k, k + 4, …: whole groups of four go through all lanes at once.
  const std::size_t bulkEnd = i + (bytes.size() - i) / 4 * 4;
  count_ += bulkEnd - i;
  std::uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
  for (; i < bulkEnd; i += 4) {
    a = (a ^ bytes[i]) * kPrime;
    b = (b ^ bytes[i + 1]) * kPrime;
    c = (c ^ bytes[i + 2]) * kPrime;
    d = (d ^ bytes[i + 3]) * kPrime;
  }
  lanes_[0] = a;
  lanes_[1] = b;
  lanes_[2] = c;
  lanes_[3] = d;
  for (; i < bytes.size(); ++i, ++count_) lanes_[count_ & 3] = (lanes_[count_ & 3] ^ bytes[i]) * kPrime;
}

std::uint64_t Fingerprint::Value() const {
  std::uint64_t h = count_ * kPrime;
  for (std::uint64_t lane : lanes_) h = ((h ^ lane) * kPrime) ^ (h >> 29);
  return h;
}

void VerifyCompiledDrm(const fs::path& written, const fs::path& savedAs, BinaryFile& input, const DrmRebuildPlan& plan,
                       const PictureFingerprints& pictures) {
  DrmReadBack(written, savedAs, input, plan, pictures).Run();
}

}  // namespace resmill::drm
