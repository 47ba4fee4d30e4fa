// The compile's output held against a reference model written straight from
// the format's rules, not from the program's rebuild plan: generated DRMs of
// both variants and every header form, with pointers aimed into every area,
// pictures that grow, shrink or stay; images whose layout pointers no pass
// moves; and a seeded run over random images.

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <stdexcept>

#include "drm/compile.h"
#include "drm/drm_rebuild.h"
#include "drm_fixture.h"
#include "platform/error.h"

namespace resmill::test {
namespace {

namespace fs = std::filesystem;
using sample::DescriptorPlace;
using sample::DrmArea;
using sample::ExtraPointer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// --- The reference model ------------------------------------------------------

std::uint32_t Be(const Bytes& b, std::int64_t at) {
  const auto* p = &b[static_cast<std::size_t>(at)];
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void SetBe(Bytes& b, std::int64_t at, std::uint32_t v) {
  if (b.size() < static_cast<std::size_t>(at + 4)) b.resize(static_cast<std::size_t>(at + 4));
  for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

/// The layout values; offsets from the start of the image.
struct RefLayout {
  int variant = 0;
  std::uint32_t base = 0;
  std::int64_t dir = 0;
  std::int64_t headerPointers = 0;
  std::int64_t rawData = 0, rawTable = 0, rawTableEnd = 0;
  std::int64_t gifData = 0, gifTable = 0, gifTableEnd = 0;
  bool operator==(const RefLayout&) const = default;
};

RefLayout LayoutOf(const sample::DrmRecipe& r, const sample::DrmPlacement& p) {
  return {r.variant,  r.headerWord & ~0xFFu, p.dir,     p.headerPointerCount, p.rawData,
          p.rawTable, p.rawTableEnd,         p.gifData, p.gifTable,           p.gifTableEnd};
}

/// A RAW picture of the edited tree; `present` false when its file was deleted.
struct NewRaw {
  bool present = true;
  Bytes data;
  int width = 0;
  int height = 0;
};

struct NewTree {
  std::vector<NewRaw> raws;
  std::vector<Bytes> gifs;
};

NewTree TreeOf(const sample::DrmRecipe& r) {
  NewTree t;
  for (const sample::RawPicture& raw : r.raws) t.raws.push_back({true, raw.data, raw.width, raw.height});
  t.gifs = r.gifs;
  return t;
}

struct RefResult {
  Bytes image;
  RefLayout layout;  ///< where the areas were put
};

// The compile as its rules read, step by step, on a byte vector.
RefResult ReferenceCompile(const Bytes& in, const RefLayout& l, const NewTree& tree) {
  auto copy = [&](Bytes& out, std::int64_t from, std::int64_t to) {
    out.insert(out.end(), in.begin() + from, in.begin() + to);
  };
  Bytes out;
  RefLayout n = l;
  std::int64_t rawDelta = 0;
  std::int64_t rawSize = 0;
  if (l.variant == 1) {
    copy(out, 0, l.rawData);
    const auto count = static_cast<std::int64_t>(tree.raws.size());
    Bytes table(in.begin() + l.rawTable, in.begin() + l.rawTableEnd);
    for (std::int64_t i = 1; i <= count; ++i) {
      const NewRaw& r = tree.raws[static_cast<std::size_t>(i - 1)];
      table[static_cast<std::size_t>(16 * i + 1)] = static_cast<std::uint8_t>(r.present ? r.width : 0);
      table[static_cast<std::size_t>(16 * i + 3)] = static_cast<std::uint8_t>(r.present ? r.height : 0);
      SetBe(table, 16 * i + 12, static_cast<std::uint32_t>(rawSize / 2));
      if (r.present) {
        out.insert(out.end(), r.data.begin(), r.data.end());
        rawSize += static_cast<std::int64_t>(r.data.size());
      }
    }
    table[static_cast<std::size_t>(16 * (count + 1) + 1)] = 0;
    table[static_cast<std::size_t>(16 * (count + 1) + 3)] = 0;
    SetBe(table, 16 * (count + 1) + 12, static_cast<std::uint32_t>(rawSize / 2));
    while (rawSize % 4 != 0) {
      out.push_back(0);
      ++rawSize;
    }
    rawDelta = (l.rawTableEnd - l.rawData) - rawSize - (count + 2) * 16;
    n.rawTable = static_cast<std::int64_t>(out.size());
    out.insert(out.end(), table.begin(), table.end());
    n.rawTableEnd = static_cast<std::int64_t>(out.size());
    copy(out, l.rawTableEnd, l.gifData);
  } else {
    copy(out, 0, l.gifData);
  }
  n.gifData = static_cast<std::int64_t>(out.size());
  std::vector<std::uint32_t> words = {0};
  std::int64_t gifSize = 0;
  for (const Bytes& gif : tree.gifs) {
    words.push_back(static_cast<std::uint32_t>(gifSize));
    out.insert(out.end(), gif.begin(), gif.end());
    gifSize += static_cast<std::int64_t>(gif.size());
  }
  words.push_back(static_cast<std::uint32_t>(gifSize));
  while (gifSize % 16 != 0) {
    out.push_back(0);
    ++gifSize;
  }
  n.gifTable = static_cast<std::int64_t>(out.size());
  for (std::uint32_t w : words) SetBe(out, static_cast<std::int64_t>(out.size()), w);
  n.gifTableEnd = static_cast<std::int64_t>(out.size());
  copy(out, l.gifTableEnd, static_cast<std::int64_t>(in.size()));
  const std::int64_t gifDelta = (l.gifTableEnd - l.gifData) - gifSize - static_cast<std::int64_t>(words.size()) * 4;

  auto offsetOf = [&](std::uint32_t v) { return std::int64_t{static_cast<std::int32_t>(v - l.base)}; };
  if (l.variant == 1) {
    for (std::int64_t k = 0; k < l.headerPointers; ++k) {
      const std::uint32_t v = Be(out, 32 + 4 * k);
      if (offsetOf(v) > l.rawData) SetBe(out, 32 + 4 * k, v - static_cast<std::uint32_t>(rawDelta));
    }
  }
  for (std::int64_t k = 0; k < 16; ++k) {
    const std::int64_t at = l.dir + 4 * k;
    const std::uint32_t v = Be(out, at);
    const std::int64_t q = offsetOf(v);
    if (q > l.gifData) {
      SetBe(out, at, static_cast<std::uint32_t>(q - rawDelta - gifDelta) + l.base);
    } else if (l.variant == 1 && q > l.rawTable) {
      SetBe(out, at, static_cast<std::uint32_t>(q - rawDelta) + l.base);
    } else if (l.variant == 1 && q > l.rawData) {
      SetBe(out, at, static_cast<std::uint32_t>(q + rawSize - (l.rawTable - l.rawData)) + l.base);
    }
  }
  return {out, n};
}

// Reads the layout of an image the way the format describes it; nothing when a
// pointer word lies outside the image.
std::optional<RefLayout> ReferenceRead(const Bytes& b) {
  const auto size = static_cast<std::int64_t>(b.size());
  auto word = [&](std::int64_t at) -> std::optional<std::uint32_t> {
    if (at < 0 || at + 4 > size) return std::nullopt;
    return Be(b, at);
  };
  auto marker = [&](std::int64_t at) {
    return at >= 0 && at + 4 <= size && std::memcmp(&b[static_cast<std::size_t>(at)], "_drm", 4) == 0;
  };
  RefLayout l;
  l.variant = marker(468) || marker(456) ? 0 : marker(464) || word(8) == 0x10D0001Cu ? 1 : 0;
  const auto word0 = word(0);
  if (!word0) return std::nullopt;
  const bool zero = *word0 == 0;
  std::int64_t s = zero ? (l.variant == 1 ? 52 : 56) : 44;
  const auto header = word(zero ? 8 : 0);
  if (!header) return std::nullopt;
  l.base = *header & ~0xFFu;
  auto pointer = [&](std::int64_t slot) -> std::optional<std::int64_t> {
    auto v = word(slot);
    if (!v) return std::nullopt;
    return std::int64_t{*v} - std::int64_t{l.base};
  };
  if (l.variant == 1) {
    const auto check = pointer(zero ? 36 : 28);
    const bool longForm = check && marker(*check);
    l.headerPointers = longForm ? 35 : 30;
    if (!longForm) s = 44;
  }
  const auto g = pointer(s);
  const auto dir = pointer(s - 4);
  if (!g || !dir) return std::nullopt;
  l.dir = *dir;
  const auto gifTableEnd = pointer(*g - 12), gifData = pointer(*g), gifTable = pointer(*g + 4);
  if (!gifTableEnd || !gifData || !gifTable) return std::nullopt;
  l.gifTableEnd = *gifTableEnd;
  l.gifData = *gifData;
  l.gifTable = *gifTable;
  if (l.variant == 1) {
    const auto rawData = pointer(l.dir + 52), rawTable = pointer(l.dir + 48), rawTableEnd = pointer(s + 4);
    if (!rawData || !rawTable || !rawTableEnd) return std::nullopt;
    l.rawData = *rawData;
    l.rawTable = *rawTable;
    l.rawTableEnd = *rawTableEnd;
  }
  return l;
}

std::string FirstDifference(const Bytes& got, const Bytes& want) {
  const std::size_t n = std::min(got.size(), want.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (got[i] != want[i])
      return fmt::format("first difference at 0x{:X}: {:02X} instead of {:02X}", i, got[i], want[i]);
  }
  return fmt::format("{} bytes instead of {}", got.size(), want.size());
}

// --- Running the program against it -------------------------------------------

/// Puts the new pictures into an unpacked tree (RAW pictures as raws/<i>(<W>x<H>).raw).
void WriteTree(Slot& slot, const NewTree& tree) {
  for (std::size_t i = 1; i <= tree.raws.size(); ++i) {
    const std::string prefix = fmt::format("{}(", i);
    for (const std::string& name : ListFolder(slot.raws)) {
      if (name.rfind(prefix, 0) == 0) fs::remove(slot.raws / name);
    }
    const NewRaw& r = tree.raws[i - 1];
    if (r.present) WriteBytes(slot.raws / fmt::format("{}({}x{}).raw", i, r.width, r.height), r.data);
  }
  for (std::size_t k = 1; k <= tree.gifs.size(); ++k) {
    const std::size_t n = tree.raws.size() + k;
    const fs::path bmp = slot.icons / fmt::format("{}.bmp", n);
    WriteBytes(fs::exists(bmp) ? bmp : slot.icons / fmt::format("{}.gif", n), tree.gifs[k - 1]);
  }
}

enum class Outcome { Saved, Refused };

/// Compiles `slot`'s tree over an older output and holds the result against the
/// reference model: the very bytes it gives when the new image reads back as
/// the areas were put, else a refusal of the input (Kind::Format) with the older
/// output left alone and no file left behind.
Outcome CompileAndCompare(Slot& slot, const Bytes& input, const RefLayout& layout, const NewTree& tree,
                          const std::string& what, std::string* message = nullptr) {
  const RefResult ref = ReferenceCompile(input, layout, tree);
  const std::optional<RefLayout> reread = ReferenceRead(ref.image);
  const bool rebuildable = reread && *reread == ref.layout;
  const fs::path out = slot.dir / "new.bin";
  WriteText(out, "older output");
  NullProgress progress;
  try {
    drm::CompileDrm(slot.drmpack, slot.image, out, false, progress);
  } catch (const Error& e) {
    if (message != nullptr) *message = e.what();
    EXPECT_EQ(e.kind(), Error::Kind::Format) << what << ": " << e.what();
    EXPECT_FALSE(rebuildable) << what << ": refused a DRM the rules rebuild: " << e.what();
    EXPECT_EQ(ReadText(out), "older output") << what;
    EXPECT_THAT(ListFolder(slot.dir.path()), ElementsAre("CG15.bin", "drmpack", "new.bin")) << what;
    return Outcome::Refused;
  }
  EXPECT_TRUE(rebuildable) << what << ": saved, but a layout pointer stays where no pass moves it";
  const Bytes got = ReadBytes(out);
  EXPECT_TRUE(got == ref.image) << what << ": " << FirstDifference(got, ref.image);
  return Outcome::Saved;
}

/// The generated image, unpacked, with the program's layout checked against where the generator put things.
struct Unpacked {
  Bytes input;
  RefLayout layout;
  Slot slot;
  Unpacked(const sample::DrmRecipe& recipe, const std::string& what) {
    sample::DrmPlacement p;
    input = sample::BuildDrmImage(recipe, &p);
    layout = LayoutOf(recipe, p);
    WriteBytes(slot.image, input);
    const drm::DrmLayout l = slot.Unpack();
    const RefLayout read = {l.DrmVariant,  static_cast<std::uint32_t>(l.Base),
                            l.Dir,         l.HeaderPointerCount,
                            l.RawData,     l.RawTable,
                            l.RawTableEnd, l.GifData,
                            l.GifTable,    l.GifTableEnd};
    EXPECT_TRUE(read == layout) << what << ": the generator and the unpack disagree on the layout";
  }
};

// --- Every header form, every area ----------------------------------------------

struct Form {
  const char* name;
  int variant;
  bool atEight;
  bool longHeader;
  std::uint32_t headerWord;
  int marker;
};
constexpr Form kForms[] = {
    {"variant 0, word 0 not 0", 0, false, false, 0x10B00040, 468},
    {"variant 0, word 0 is 0", 0, true, false, 0x10B00040, 456},
    {"variant 1, word 0 is 0, long header", 1, true, true, 0x10D0001C, 464},
    {"variant 1, word 0 is 0, short header", 1, true, false, 0x10D0001C, 464},
    {"variant 1, word 0 not 0, long header", 1, false, true, 0x300000A5, 464},
    {"variant 1, word 0 not 0, short header", 1, false, false, 0x300000A5, 464},
    {"variant 1 by its signature word alone", 1, true, true, 0x10D0001C, -1},
};

struct Aim {
  const char* name;
  DrmArea area;
  std::int64_t offset;
};
constexpr Aim kAims[] = {
    {"below Base", DrmArea::Image, -16},
    {"before the RAW data", DrmArea::Image, 0x300},
    {"the start of the RAW data", DrmArea::RawData, 0},
    {"inside the RAW data", DrmArea::RawData, 6},
    {"the RAW table", DrmArea::RawTable, 0},
    {"inside the RAW table", DrmArea::RawTable, 20},
    {"the end of the RAW table", DrmArea::RawTableEnd, 0},
    {"between the RAW table and the GIF data", DrmArea::RawTableEnd, 8},
    {"the GIF data", DrmArea::GifData, 0},
    {"inside the GIF data", DrmArea::GifData, 5},
    {"the GIF table", DrmArea::GifTable, 0},
    {"inside the GIF table", DrmArea::GifTable, 4},
    {"the end of the GIF table", DrmArea::GifTableEnd, 0},
    {"after the GIF table", DrmArea::GifTableEnd, 10},
    {"the end of the image", DrmArea::ImageEnd, 0},
    {"beyond the end of the image", DrmArea::ImageEnd, 100},
};

bool IsRawArea(DrmArea a) { return a == DrmArea::RawData || a == DrmArea::RawTable || a == DrmArea::RawTableEnd; }

enum class Change { Same, Grow, Shrink };

NewTree Changed(const sample::DrmRecipe& r, Change change) {
  NewTree t = TreeOf(r);
  if (change == Change::Same) return t;
  const bool grow = change == Change::Grow;
  for (std::size_t i = 0; i < t.raws.size(); ++i) {
    NewRaw& raw = t.raws[i];
    const int w = grow ? raw.width + 2 : 1, h = grow ? raw.height + 1 : 1;
    raw = {true, FakeRaw(w, h, static_cast<int>(i) + 40).data, w, h};
  }
  for (std::size_t k = 0; k < t.gifs.size(); ++k) {
    const std::size_t length = t.gifs[k].size();
    t.gifs[k] = FakeGif(static_cast<int>(k) + 50, grow ? length + 37 : length - 5);
  }
  return t;
}

TEST(DrmRebuild, EveryHeaderFormWithPointersIntoEveryAreaSavesAsTheRulesSay) {
  // Directory entries that the layout does not use (the GIF descriptor is entries 1, 4, 5).
  const std::vector<int> freeV1 = {0, 2, 3, 6, 7, 8, 9, 10, 11, 14, 15};
  const std::vector<int> freeV0 = {0, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  int compiled = 0;
  for (const Form& form : kForms) {
    std::vector<Aim> aims;
    for (const Aim& aim : kAims) {
      if (form.variant == 1 || !IsRawArea(aim.area)) aims.push_back(aim);
    }
    const std::vector<int>& free = form.variant == 1 ? freeV1 : freeV0;
    for (std::size_t first = 0; first < aims.size(); first += free.size()) {
      sample::DrmRecipe recipe = SmallRecipe(form.variant, form.variant == 1 ? 5 : 0, 6);
      recipe.headerAtEight = form.atEight;
      recipe.longHeader = form.longHeader;
      recipe.headerWord = form.headerWord;
      recipe.markerOffset = form.marker;
      for (std::size_t j = first; j < std::min(aims.size(), first + free.size()); ++j) {
        recipe.directoryPointers.push_back({free[j - first], aims[j].area, aims[j].offset});
        // Words 7 … 29 of the header pointer table are free in every form.
        if (form.variant == 1) recipe.headerPointers.push_back({static_cast<int>(7 + j), aims[j].area, aims[j].offset});
      }
      for (Change change : {Change::Same, Change::Grow, Change::Shrink}) {
        const std::string what = fmt::format("{}, pointers from {}, {}", form.name, aims[first].name,
                                             change == Change::Same   ? "pictures unchanged"
                                             : change == Change::Grow ? "pictures grown"
                                                                      : "pictures shrunk");
        SCOPED_TRACE(what);
        Unpacked u(recipe, what);
        const NewTree tree = Changed(recipe, change);
        WriteTree(u.slot, tree);
        EXPECT_EQ(CompileAndCompare(u.slot, u.input, u.layout, tree, what), Outcome::Saved);
        // The reference model itself: an unchanged canonical tree is the input again.
        if (change == Change::Same) {
          EXPECT_TRUE(ReferenceCompile(u.input, u.layout, tree).image == u.input);
        }
        ++compiled;
      }
    }
  }
  EXPECT_EQ(compiled, 3 * (2 + 5 * 2));
}

// --- Layout pointers that no pass moves -----------------------------------------

TEST(DrmRebuild, ALayoutPointerNoPassMovesIsRefusedOnlyWhenItWouldNameTheWrongPlace) {
  struct Case {
    const char* name;
    std::function<void(sample::DrmRecipe&)> recipe;
    std::function<void(NewTree&)> edit;
    const char* message;  // empty: saved
  };
  auto growGif = [](NewTree& t) { t.gifs[1] = FakeGif(2, 90); };
  auto growRaw = [](NewTree& t) { t.raws[0] = {true, FakeRaw(5, 5, 3).data, 5, 5}; };
  auto sameSizes = [](NewTree& t) {
    t.gifs[1] = FakeGif(77, t.gifs[1].size());
    t.raws[0].data = FakeRaw(t.raws[0].width, t.raws[0].height, 77).data;
  };
  const std::vector<Case> cases = {
      // Slot S moves with the RAW shift only; the descriptor after the GIF table moves with both.
      {"variant 1: descriptor after the GIF table, a GIF picture grows",
       [](sample::DrmRecipe& r) { r.descriptor = DescriptorPlace::AfterGifTable; }, growGif,
       "the GIF descriptor pointer at offset 0x000034 would name"},
      {"variant 0: descriptor after the GIF table, a GIF picture grows",
       [](sample::DrmRecipe& r) {
         r = SmallRecipe(0, 0, 3);
         r.descriptor = DescriptorPlace::AfterGifTable;
       },
       growGif, "the GIF descriptor pointer at offset 0x00002C would name"},
      // The descriptor's own words lie in no table: they hold as long as nothing moves.
      {"variant 1: descriptor after the GIF table, pictures keep their sizes",
       [](sample::DrmRecipe& r) { r.descriptor = DescriptorPlace::AfterGifTable; }, sameSizes, ""},
      {"variant 1: descriptor between the tables, a RAW picture grows",
       [](sample::DrmRecipe& r) { r.descriptor = DescriptorPlace::BetweenTables; }, growRaw,
       "the GIF data pointer at offset"},
      // The GIF table pointer equals GifData, which the GIF shift leaves alone.
      {"GIF data empty, a picture gains bytes",
       [](sample::DrmRecipe& r) {
         r.gifs = {{}, {}, {}};
       },
       growGif, "the GIF table pointer at offset 0x000214 would name"},
      {"RAW data empty, a picture gains bytes",
       [](sample::DrmRecipe& r) {
         r.raws = {sample::RawPicture{0, 0, {}}, sample::RawPicture{0, 0, {}}};
       },
       growRaw, "the RAW table pointer at offset 0x000230 would name"},
      // Words of the directory that lie in the header pointer table take both passes in turn.
      {"directory over the header pointer table, a GIF picture grows",
       [](sample::DrmRecipe& r) { r.dirOffset = 64; }, growGif, ""},
      {"directory over the header pointer table, a RAW picture grows",
       [](sample::DrmRecipe& r) { r.dirOffset = 64; }, growRaw, "the RAW table pointer at offset 0x000070 would name"},
      {"RAW data empty, pictures stay empty",
       [](sample::DrmRecipe& r) {
         r.raws = {sample::RawPicture{0, 0, {}}, sample::RawPicture{0, 0, {}}};
       },
       growGif, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sample::DrmRecipe recipe = SmallRecipe(1, 3, 4);
    c.recipe(recipe);
    Unpacked u(recipe, c.name);
    NewTree tree = TreeOf(recipe);
    c.edit(tree);
    WriteTree(u.slot, tree);
    std::string message;
    const Outcome outcome = CompileAndCompare(u.slot, u.input, u.layout, tree, c.name, &message);
    if (std::string(c.message).empty()) {
      EXPECT_EQ(outcome, Outcome::Saved);
      continue;
    }
    ASSERT_EQ(outcome, Outcome::Refused);
    EXPECT_THAT(message, HasSubstr("CG15.bin: this DRM cannot be rebuilt with the new picture sizes"));
    EXPECT_THAT(message, HasSubstr(c.message));
    EXPECT_THAT(message, HasSubstr("new.bin"));
    EXPECT_THAT(message, Not(HasSubstr("fault of ResMill")));
  }
}

// --- Random images ----------------------------------------------------------------

TEST(DrmRebuild, RandomImagesSaveAsTheRulesSayOrAreRefusedAsInput) {
  std::mt19937 rng(20240611);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  constexpr std::int64_t kOffsets[] = {-20, -4, -1, 0, 1, 2, 3, 4, 6, 20, 200};
  constexpr DrmArea kAreas[] = {DrmArea::Image,   DrmArea::RawData,  DrmArea::RawTable,    DrmArea::RawTableEnd,
                                DrmArea::GifData, DrmArea::GifTable, DrmArea::GifTableEnd, DrmArea::ImageEnd};
  int cases = 0, saved = 0, refused = 0, attempts = 0;
  while (cases < 300 && attempts < 3000) {
    ++attempts;
    sample::DrmRecipe r;
    r.variant = pick(2);
    r.headerAtEight = pick(2) == 1;
    r.longHeader = pick(2) == 1;
    if (r.variant == 1) {
      r.markerOffset = pick(4) == 0 ? -1 : 464;
      r.headerWord = 0x10D00000u | static_cast<std::uint32_t>(pick(256));
      if (r.markerOffset < 0) {
        // Without a marker only the signature word at 8 makes it variant 1.
        r.headerAtEight = true;
        r.headerWord = 0x10D0001C;
      }
      const int raws = pick(5);
      for (int i = 0; i < raws; ++i) {
        r.raws.push_back(pick(6) == 0 ? sample::RawPicture{0, 0, {}} : FakeRaw(1 + pick(6), 1 + pick(6), i));
      }
    } else {
      r.markerOffset = pick(3) == 0 ? -1 : (pick(2) == 0 ? 468 : 456);
      r.headerWord = 0x10B00000u | static_cast<std::uint32_t>(pick(256));
    }
    const int gifs = pick(6);
    for (int k = 0; k < gifs; ++k) r.gifs.push_back(pick(5) == 0 ? Bytes{} : FakeGif(k, 6 + pick(40)));
    switch (pick(4)) {
      case 2:
        r.descriptor = DescriptorPlace::AfterGifTable;
        break;
      case 3:
        r.descriptor = r.variant == 1 ? DescriptorPlace::BetweenTables : DescriptorPlace::AfterGifTable;
        break;
      default:
        break;
    }
    switch (pick(5)) {
      case 3:
        r.dirOffset = 32 + 4 * pick(30);
        break;  // over the header pointer table, word on word
      case 4:
        r.dirOffset = 13 + pick(200);
        break;  // anywhere, even by halves of words
      default:
        break;
    }
    auto extra = [&](int index) {
      DrmArea area = kAreas[pick(8)];
      if (r.variant == 0 && IsRawArea(area)) area = DrmArea::Image;
      return ExtraPointer{index, area, kOffsets[pick(11)]};
    };
    for (int n = pick(6); n > 0 && r.variant == 1; --n) r.headerPointers.push_back(extra(pick(30)));
    for (int n = pick(6); n > 0; --n) r.directoryPointers.push_back(extra(pick(16)));
    try {
      sample::BuildDrmImage(r);
    } catch (const std::invalid_argument&) {
      continue;  // the recipe laid a pointer over a word the layout is read from
    }
    const std::string what = fmt::format("random image {} (attempt {})", cases, attempts);
    SCOPED_TRACE(what);
    Unpacked u(r, what);
    NewTree tree = TreeOf(r);
    for (std::size_t i = 0; i < tree.raws.size(); ++i) {
      switch (pick(4)) {
        case 1: {
          const int w = 1 + pick(7), h = 1 + pick(7);
          tree.raws[i] = {true, FakeRaw(w, h, pick(100)).data, w, h};
          break;
        }
        case 2:
          tree.raws[i].present = false;
          break;
        default:
          break;
      }
    }
    for (std::size_t k = 0; k < tree.gifs.size(); ++k) {
      if (pick(3) == 1) tree.gifs[k] = FakeGif(static_cast<int>(k), static_cast<std::size_t>(pick(60)));
    }
    WriteTree(u.slot, tree);
    (CompileAndCompare(u.slot, u.input, u.layout, tree, what) == Outcome::Saved ? saved : refused)++;
    ++cases;
    if (HasFailure()) break;
  }
  EXPECT_EQ(cases, 300);
  EXPECT_GT(saved, 150);
  EXPECT_GT(refused, 10);
}

}  // namespace
}  // namespace resmill::test
