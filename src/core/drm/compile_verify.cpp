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

constexpr std::uint64_t kPrime = 0x100000001b3ull;
constexpr std::size_t kBlock = std::size_t{1} << 16;

std::string Hex(std::int64_t offset) { return HexOffset(static_cast<std::uint64_t>(offset)); }

class DrmReadBack {
 public:
  DrmReadBack(const fs::path& written, const fs::path& savedAs, BinaryFile& input, const DrmLayout& l,
              const CompiledPictures& pictures)
      : image_(written, BinaryFile::Mode::Read), savedAs_(savedAs), input_(input), l_(l), pictures_(pictures) {}

  void Run();

 private:
  [[noreturn]] void Fail(std::int64_t offset, std::string_view what) const {
    ThrowReadBackFailure("DRM image", savedAs_, "offset " + Hex(offset), what);
  }

  void ComputeExpectedLayout();
  void CheckLayout();
  void CheckPointers();
  void CheckKeptBytes();
  void CheckRawTable();
  void CheckGifTable();
  void CompareKept(std::int64_t from, std::int64_t to, std::int64_t count, std::string_view area);
  void CheckZeros(std::int64_t at, std::int64_t count, std::string_view what);
  void CheckPicture(std::int64_t at, const CompiledPicture& picture, std::string_view what);
  std::uint32_t NewWord(std::int64_t at) { return ReadU32BEAt(image_, at); }

  BinaryFile image_;
  const fs::path& savedAs_;
  BinaryFile& input_;
  const DrmLayout& l_;
  const CompiledPictures& pictures_;
  DrmLayout expected_;
  std::int64_t inSize_ = 0;
  std::int64_t newSize_ = 0;
  std::int64_t rawBytes_ = 0;
  std::int64_t gifBytes_ = 0;
  std::vector<std::int64_t> slots_;  // pointer words the compile may rewrite, sorted
};

// Where the areas must lie, worked out from the pictures alone.
void DrmReadBack::ComputeExpectedLayout() {
  inSize_ = input_.Size();
  expected_ = l_;
  std::int64_t gifData = l_.GifData;
  if (l_.DrmVariant == 1) {
    for (const CompiledPicture& p : pictures_.raws) rawBytes_ += p.length;
    const std::int64_t rawTable = l_.RawData + (rawBytes_ + 3) / 4 * 4;
    const std::int64_t rawTableEnd = rawTable + (std::int64_t{l_.RawCount} + 2) * kRawEntrySize;
    expected_.RawTable = static_cast<std::int32_t>(rawTable);
    expected_.RawTableEnd = static_cast<std::int32_t>(rawTableEnd);
    gifData = rawTableEnd + (std::int64_t{l_.GifData} - l_.RawTableEnd);
  }
  for (const CompiledPicture& p : pictures_.gifs) gifBytes_ += p.length;
  const std::int64_t gifTable = gifData + (gifBytes_ + 15) / 16 * 16;
  const std::int64_t gifTableEnd = gifTable + (std::int64_t{l_.GifCount} + 2) * 4;
  expected_.GifData = static_cast<std::int32_t>(gifData);
  expected_.GifTable = static_cast<std::int32_t>(gifTable);
  expected_.GifTableEnd = static_cast<std::int32_t>(gifTableEnd);
  newSize_ = gifTableEnd + (inSize_ - l_.GifTableEnd);

  if (l_.DrmVariant == 1) {
    for (int k = 0; k < l_.HeaderPointerCount; ++k) slots_.push_back(kHeaderPointerTable + 4 * k);
  }
  for (int k = 0; k < l_.DirCount; ++k) slots_.push_back(std::int64_t{l_.Dir} + 4 * k);
  std::sort(slots_.begin(), slots_.end());
  slots_.erase(std::unique(slots_.begin(), slots_.end()), slots_.end());
}

void DrmReadBack::CheckLayout() {
  if (image_.Size() != newSize_) {
    Fail(std::min(image_.Size(), newSize_),
         fmt::format("the image holds {} bytes, but its pictures and the kept parts of the input make {}",
                     image_.Size(), newSize_));
  }
  std::int32_t variant = 0;
  if (!FindDrmMarker(image_, variant) || variant != l_.DrmVariant) {
    Fail(0, fmt::format("it is not recognised as a DRM of variant {}", l_.DrmVariant));
  }
  DrmLayout got;
  try {
    got = ReadDrmLayout(image_, variant);
  } catch (const Error& e) {
    Fail(0, fmt::format("the layout does not read back ({})", e.what()));
  }
  // Where the areas lie first: a count read back wrong follows from a table boundary read back wrong.
  using Field = std::pair<const char*, std::int32_t DrmLayout::*>;
  static constexpr std::array<Field, 7> kAreas = {{
      {"Dir", &DrmLayout::Dir},
      {"RawData", &DrmLayout::RawData},
      {"RawTable", &DrmLayout::RawTable},
      {"RawTableEnd", &DrmLayout::RawTableEnd},
      {"GifData", &DrmLayout::GifData},
      {"GifTable", &DrmLayout::GifTable},
      {"GifTableEnd", &DrmLayout::GifTableEnd},
  }};
  for (const auto& [name, member] : kAreas) {
    if (got.*member != expected_.*member) {
      Fail(expected_.*member,
           fmt::format("its {} pointer names {} instead of {} (a pointer kept outside the header pointer table "
                       "and the resource directory is not moved)",
                       name, Hex(got.*member), Hex(expected_.*member)));
    }
  }
  static constexpr std::array<Field, 6> kValues = {{
      {"DrmVariant", &DrmLayout::DrmVariant},
      {"Base", &DrmLayout::Base},
      {"DirCount", &DrmLayout::DirCount},
      {"HeaderPointerCount", &DrmLayout::HeaderPointerCount},
      {"RawCount", &DrmLayout::RawCount},
      {"GifCount", &DrmLayout::GifCount},
  }};
  for (const auto& [name, member] : kValues) {
    if (got.*member != expected_.*member) {
      Fail(0, fmt::format("its {} reads as {} instead of {}", name, got.*member, expected_.*member));
    }
  }
}

// Each pointer that named an area boundary or a kept byte must name the same
// thing in the new image. Pointers into the middle of rebuilt pictures or tables
// name nothing that survives the rebuild, and are not judged.
void DrmReadBack::CheckPointers() {
  const std::uint32_t base = static_cast<std::uint32_t>(l_.Base);
  const bool v1 = l_.DrmVariant == 1;
  const std::int64_t firstRebuilt = v1 ? l_.RawData : l_.GifData;
  struct Boundary {
    std::int64_t before, after;
    const char* name;
  };
  std::vector<Boundary> boundaries = {{l_.GifData, expected_.GifData, "the GIF data"},
                                      {l_.GifTable, expected_.GifTable, "the GIF table"},
                                      {l_.GifTableEnd, expected_.GifTableEnd, "the end of the GIF table"}};
  if (v1) {
    boundaries.push_back({l_.RawTable, expected_.RawTable, "the RAW table"});
    boundaries.push_back({l_.RawTableEnd, expected_.RawTableEnd, "the end of the RAW table"});
  }
  for (std::int64_t slot : slots_) {
    const std::uint32_t before = ReadU32BEAt(input_, slot);
    const std::uint32_t after = NewWord(slot);
    // Offsets as the compile sees them: signed, so a pointer below Base is before everything.
    const std::int64_t q = static_cast<std::int32_t>(before - base);
    std::optional<std::int64_t> want;
    std::string named;
    if (q <= firstRebuilt) {
      want = q;
      named = "a byte before the rebuilt areas";
    } else if (auto b = std::find_if(boundaries.begin(), boundaries.end(), [&](const Boundary& x) { return x.before == q; });
               b != boundaries.end()) {
      want = b->after;
      named = b->name;
    } else if (v1 && q > l_.RawTableEnd && q < l_.GifData) {
      want = q + (expected_.RawTableEnd - l_.RawTableEnd);
      named = fmt::format("the kept byte at input offset {}", Hex(q));
    } else if (q > l_.GifTableEnd) {
      want = q + (expected_.GifTableEnd - l_.GifTableEnd);
      named = fmt::format("the kept byte at input offset {}", Hex(q));
    }
    if (!want) continue;
    const auto wanted = static_cast<std::uint32_t>(*want) + base;
    if (after != wanted) {
      Fail(slot, fmt::format("the pointer 0x{:08X} named {}; now it is 0x{:08X} instead of 0x{:08X}", before, named,
                             after, wanted));
    }
  }
}

// Compares input bytes [from, from + count) with the new image's [to, to + count),
// leaving out the pointer words (judged by CheckPointers).
void DrmReadBack::CompareKept(std::int64_t from, std::int64_t to, std::int64_t count, std::string_view area) {
  std::vector<std::uint8_t> a(kBlock), b(kBlock);
  for (std::int64_t done = 0; done < count;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count - done, static_cast<std::int64_t>(kBlock)));
    if (input_.ReadAt(from + done, std::span(a.data(), n)) != n || image_.ReadAt(to + done, std::span(b.data(), n)) != n) {
      Fail(to + done, fmt::format("{} ends early", area));
    }
    if (std::memcmp(a.data(), b.data(), n) != 0) {
      for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const std::int64_t at = to + done + static_cast<std::int64_t>(i);
        auto slot = std::upper_bound(slots_.begin(), slots_.end(), at);
        if (from == to && slot != slots_.begin() && at < *(slot - 1) + 4) continue;
        Fail(at, fmt::format("the byte {:02X} of {} should be {:02X}, as at input offset {}", b[i], area, a[i],
                             Hex(from + done + static_cast<std::int64_t>(i))));
      }
    }
    done += static_cast<std::int64_t>(n);
  }
}

void DrmReadBack::CheckKeptBytes() {
  CompareKept(0, 0, l_.DrmVariant == 1 ? l_.RawData : l_.GifData, "the header and resources before the pictures");
  if (l_.DrmVariant == 1) {
    CompareKept(l_.RawTableEnd, expected_.RawTableEnd, std::int64_t{l_.GifData} - l_.RawTableEnd,
                "the resources between the RAW table and the GIF data");
  }
  CompareKept(l_.GifTableEnd, expected_.GifTableEnd, inSize_ - l_.GifTableEnd, "the resources after the GIF table");
}

void DrmReadBack::CheckZeros(std::int64_t at, std::int64_t count, std::string_view what) {
  std::array<std::uint8_t, 16> bytes{};
  const auto n = static_cast<std::size_t>(count);
  if (image_.ReadAt(at, std::span(bytes.data(), n)) != n) Fail(at, fmt::format("{} ends early", what));
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] != 0) Fail(at + static_cast<std::int64_t>(i), fmt::format("{} holds {:02X}, not 0", what, bytes[i]));
  }
}

void DrmReadBack::CheckPicture(std::int64_t at, const CompiledPicture& picture, std::string_view what) {
  Fingerprint print;
  std::vector<std::uint8_t> block(kBlock);
  for (std::int64_t done = 0; done < picture.length;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(picture.length - done, static_cast<std::int64_t>(kBlock)));
    if (image_.ReadAt(at + done, std::span(block.data(), n)) != n) Fail(at + done, fmt::format("{} ends early", what));
    print.Add(std::span(block.data(), n));
    done += static_cast<std::int64_t>(n);
  }
  if (print.Value() != picture.fingerprint) {
    Fail(at, fmt::format("the {} bytes of {} there are not the bytes copied from the tree", picture.length, what));
  }
}

void DrmReadBack::CheckRawTable() {
  const std::int64_t entries = std::int64_t{l_.RawCount} + 2;
  std::vector<std::uint8_t> before(static_cast<std::size_t>(entries * kRawEntrySize));
  std::vector<std::uint8_t> after(before.size());
  if (input_.ReadAt(l_.RawTable, before) != before.size() || image_.ReadAt(expected_.RawTable, after) != after.size()) {
    Fail(expected_.RawTable, "the RAW table ends early");
  }
  std::int64_t offset = 0;
  for (std::int64_t i = 0; i < entries; ++i) {
    const bool picture = i >= 1 && i <= l_.RawCount;
    const CompiledPicture* p = picture ? &pictures_.raws[static_cast<std::size_t>(i - 1)] : nullptr;
    std::array<std::uint8_t, kRawEntrySize> want{};
    std::copy_n(before.begin() + i * kRawEntrySize, kRawEntrySize, want.begin());
    if (i >= 1) {
      want[1] = static_cast<std::uint8_t>(p ? p->width : 0);
      want[3] = static_cast<std::uint8_t>(p ? p->height : 0);
      PutU32BE(static_cast<std::uint32_t>(offset / 2), want.data() + 12);
    }
    for (std::size_t b = 0; b < want.size(); ++b) {
      const std::uint8_t got = after[static_cast<std::size_t>(i * kRawEntrySize) + b];
      if (got != want[b]) {
        Fail(expected_.RawTable + i * kRawEntrySize + static_cast<std::int64_t>(b),
             fmt::format("byte {} of RAW table entry {} is {:02X} instead of {:02X}", b, i, got, want[b]));
      }
    }
    if (p) {
      CheckPicture(l_.RawData + offset, *p, fmt::format("RAW picture {}", i));
      offset += p->length;
    }
  }
  CheckZeros(l_.RawData + rawBytes_, expected_.RawTable - l_.RawData - rawBytes_, "the padding after the RAW data");
}

void DrmReadBack::CheckGifTable() {
  const std::size_t words = static_cast<std::size_t>(l_.GifCount) + 2;
  std::vector<std::uint8_t> table(words * 4);
  if (image_.ReadAt(expected_.GifTable, table) != table.size()) Fail(expected_.GifTable, "the GIF table ends early");
  std::int64_t offset = 0;
  for (std::size_t k = 0; k < words; ++k) {
    const std::uint32_t want = k == 0 ? 0 : static_cast<std::uint32_t>(offset);
    const std::uint32_t got = GetU32BE(&table[k * 4]);
    if (got != want) {
      Fail(expected_.GifTable + static_cast<std::int64_t>(k) * 4,
           fmt::format("GIF table entry {} is 0x{:X} instead of 0x{:X}", k, got, want));
    }
    if (k >= 1 && k <= static_cast<std::size_t>(l_.GifCount)) {
      const CompiledPicture& p = pictures_.gifs[k - 1];
      CheckPicture(expected_.GifData + offset, p, fmt::format("picture {}", l_.RawCount + static_cast<int>(k)));
      offset += p.length;
    }
  }
  CheckZeros(expected_.GifData + gifBytes_, expected_.GifTable - expected_.GifData - gifBytes_,
             "the padding after the GIF data");
}

void DrmReadBack::Run() {
  if (pictures_.raws.size() != static_cast<std::size_t>(l_.DrmVariant == 1 ? l_.RawCount : 0) ||
      pictures_.gifs.size() != static_cast<std::size_t>(l_.GifCount)) {
    throw Error(Error::Kind::Internal, fmt::format("{}: the compile copied {} RAW and {} GIF-table pictures for a "
                                                   "table of {} and {}; this is a fault of ResMill, please report it",
                                                   savedAs_.string(), pictures_.raws.size(), pictures_.gifs.size(),
                                                   l_.RawCount, l_.GifCount));
  }
  ComputeExpectedLayout();
  CheckLayout();
  CheckPointers();
  CheckKeptBytes();
  if (l_.DrmVariant == 1) CheckRawTable();
  CheckGifTable();
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

void VerifyCompiledDrm(const fs::path& written, const fs::path& savedAs, BinaryFile& input,
                       const DrmLayout& inputLayout, const CompiledPictures& pictures) {
  DrmReadBack(written, savedAs, input, inputLayout, pictures).Run();
}

}  // namespace resmill::drm
