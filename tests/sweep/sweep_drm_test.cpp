// Damaged flash files and DRM images: the code-group split, the DRM unpack and
// the compile of a damaged descr.dat or tree.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <map>

#include "drm/compile.h"
#include "drm/unpack.h"
#include "flash/code_groups.h"
#include "flash/sbf_reader.h"
#include "flash/shx_reader.h"
#include "sample/drm_sample.h"
#include "sweep_support.h"

namespace resmill::test::sweep {
namespace {

namespace fs = std::filesystem;

/// A small variant-1 DRM with real pictures: two RAW, two GIFs (one animated), a BMP.
sample::DrmRecipe SmallRecipe(sample::DrmPlacement* placement = nullptr, Bytes* image = nullptr) {
  sample::DrmRecipe recipe;
  recipe.raws = {sample::DrawRaw(5, 4, 1, true), sample::DrawRaw(3, 3, 2, false)};
  recipe.gifs = {sample::DrawGif(6, 6, 2, true, 1), sample::DrawBmp(3, 2, 1), sample::DrawGif(4, 4, 1, false, 2)};
  if (image != nullptr) *image = sample::BuildDrmImage(recipe, placement);
  return recipe;
}

sample::DrmRecipe SmallVariant0() {
  sample::DrmRecipe recipe;
  recipe.variant = 0;
  recipe.headerAtEight = false;
  recipe.headerWord = 0x10B00040;
  recipe.markerOffset = 468;
  recipe.gifs = {sample::DrawGif(5, 5, 1, true, 3), sample::DrawBmp(2, 2, 2)};
  return recipe;
}

/// Every file below `root` with its bytes.
std::map<std::string, Bytes> TreeOf(const fs::path& root) {
  std::map<std::string, Bytes> tree;
  for (const std::string& file : Snapshot(root)) tree[file] = ReadBytes(root / file);
  return tree;
}

struct Slot {
  TempDir dir;
  fs::path image = dir / "CG15.bin";
  fs::path drmpack = dir / "drmpack";
  Slot() { fs::create_directories(drmpack / "icons"); }
};

drm::DrmLayout UnpackInto(const fs::path& image, const fs::path& drmpack, bool convert) {
  NullProgress progress;
  return drm::UnpackDrm(image, drmpack, convert, progress);
}

// ---------------------------------------------------------------------------
// Flash files

struct FlashFormat {
  const char* name;
  bool sbf;
};

class FlashSweep : public ::testing::TestWithParam<FlashFormat> {};

TEST_P(FlashSweep, CutOrDamagedFileGivesAnErrorOrTheWholeDrm) {
  const bool sbf = GetParam().sbf;
  Bytes drm;
  SmallRecipe(nullptr, &drm);
  const sample::FlashSpec flash = sample::SampleFlash(drm, 0x10D00000);
  const Bytes file = sbf ? sample::WrapAsSbf(flash) : sample::WrapAsSuperfile(flash);
  const std::string fileName = sbf ? "phone.sbf" : "phone.shx";

  // The code-group table: count, RAMDLD entry, code groups 2 and 15 (start, end, checksum).
  std::vector<std::size_t> fields = {flash::kCountField};
  for (std::size_t entry : {flash::kRamdldEntry, flash::CodeGroupEntryAt(2), flash::CodeGroupEntryAt(15)}) {
    for (std::size_t field : {flash::kEntryStart, flash::kEntryEnd, flash::kEntryChecksum}) {
      fields.push_back(entry + field);
    }
  }
  // The start of the body: the first record or block header, and its length.
  for (std::size_t at : {0u, 1u, 4u, 9u, 10u, 12u, 20u, 24u, 40u}) fields.push_back(flash::kFlashHeaderSize + at);
  std::vector<Damage> damage = FieldDamage(fields);
  damage.push_back({file.size() / 2, Damage::Kind::InvertByte});
  damage.push_back({file.size() - 30, Damage::Kind::InvertByte});

  int refused = 0;
  auto run = [&](const Bytes& input, const std::string& what, bool cut) {
    TempDir dir;
    WriteBytes(dir / fileName, input);
    fs::create_directories(dir / "slot");
    const auto before = Snapshot(dir.path());
    bool hasCg15 = false;
    NullProgress progress;
    Outcome o = Attempt(what, [&] {
      hasCg15 = sbf ? flash::ExtractSbfCodeGroups(dir / fileName, dir / "slot", progress)
                    : flash::ExtractShxCodeGroups(dir / fileName, dir / "slot", progress);
    });
    EXPECT_EQ(Strays(dir.path(), before, {"slot/"}), std::vector<std::string>{}) << what;
    refused += o.ok ? 0 : 1;
    if (!o.ok) {
      EXPECT_NE(o.error.find(fileName), std::string::npos) << what << ": the error names no file: " << o.error;
    } else if (cut && hasCg15) {
      // Success on a cut file is only right when nothing of the DRM was cut off.
      EXPECT_EQ(ReadBytes(dir / "slot/CG15.bin"), drm) << what << ": a short DRM was reported as complete";
    }
  };
  run(file, fileName + " intact", true);
  ASSERT_EQ(refused, 0) << "the intact input was refused";
  for (std::size_t n : CutPoints(file.size())) run(Cut(file, n), fmt::format("{} cut to {} bytes", fileName, n), true);
  for (const Damage& d : damage) run(Apply(file, d), fileName + " with " + d.Describe(), false);
  EXPECT_GT(refused, 0) << "no damaged input was refused: the sweep reached nothing";
}

INSTANTIATE_TEST_SUITE_P(Formats, FlashSweep,
                         ::testing::Values(FlashFormat{"superfile", false}, FlashFormat{"sbf", true}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// ---------------------------------------------------------------------------
// DRM images

struct DrmImageCase {
  const char* name;
  bool variant0;
};

class DrmUnpackSweep : public ::testing::TestWithParam<DrmImageCase> {};

TEST_P(DrmUnpackSweep, DamagedImageIsRefusedBeforeAnyFileOrUnpacksWhole) {
  sample::DrmPlacement p;
  const sample::DrmRecipe recipe = GetParam().variant0 ? SmallVariant0() : SmallRecipe();
  const Bytes image = sample::BuildDrmImage(recipe, &p);

  Slot reference;
  WriteBytes(reference.image, image);
  UnpackInto(reference.image, reference.drmpack, true);
  const auto referenceTree = TreeOf(reference.drmpack);

  std::vector<std::size_t> fields = {0, 4, 8, 12, static_cast<std::size_t>(recipe.markerOffset)};
  for (std::int64_t at : {p.dir, p.dir + 4, p.dir + 8, p.gifDescriptor, p.gifDescriptor + 4, p.slotS, p.checkSlot,
                          p.gifTable, p.gifTable + 4, p.gifTable + 8, p.gifTable + 12, p.gifTableEnd - 4}) {
    if (at >= 0) fields.push_back(static_cast<std::size_t>(at));
  }
  if (!GetParam().variant0) {
    for (std::int64_t at : {p.rawTable, p.rawTable + 1, p.rawTable + 3, p.rawTable + 4, p.rawTable + 16,
                            p.rawTable + 20, p.rawTableEnd - 16, p.rawTableEnd - 4}) {
      fields.push_back(static_cast<std::size_t>(at));
    }
  }

  int refused = 0;
  auto run = [&](const Bytes& input, const std::string& what, bool cut) {
    Slot slot;
    WriteBytes(slot.image, input);
    const auto before = Snapshot(slot.dir.path());
    Outcome o = Attempt(what, [&] { UnpackInto(slot.image, slot.drmpack, true); });
    EXPECT_EQ(Strays(slot.dir.path(), before, {"drmpack/"}), std::vector<std::string>{}) << what;
    refused += o.ok ? 0 : 1;
    if (!o.ok) {
      EXPECT_EQ(Snapshot(slot.dir.path()), before) << what << ": files were written from a refused image";
      EXPECT_NE(o.error.find("CG15.bin"), std::string::npos) << what << ": the error names no file: " << o.error;
    } else if (cut) {
      EXPECT_EQ(TreeOf(slot.drmpack), referenceTree) << what << ": a cut image unpacked differently";
    }
  };
  run(image, "intact image", true);
  ASSERT_EQ(refused, 0) << "the intact input was refused";
  for (std::size_t n : CutPoints(image.size())) run(Cut(image, n), fmt::format("image cut to {} bytes", n), true);
  for (const Damage& d : FieldDamage(fields)) run(Apply(image, d), "image with " + d.Describe(), false);
  EXPECT_GT(refused, 0) << "no damaged input was refused: the sweep reached nothing";
}

INSTANTIATE_TEST_SUITE_P(Variants, DrmUnpackSweep,
                         ::testing::Values(DrmImageCase{"variant1", false}, DrmImageCase{"variant0", true}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// ---------------------------------------------------------------------------
// Compile of a damaged tree

/// An unpacked small DRM; each case copies it, damages the copy and compiles.
struct CompileBench {
  Slot reference;
  bool convert;
  explicit CompileBench(bool convertRawToBmp) : convert(convertRawToBmp) {
    Bytes image;
    SmallRecipe(nullptr, &image);
    WriteBytes(reference.image, image);
    UnpackInto(reference.image, reference.drmpack, convert);
  }

  /// Copies the tree, lets `damage` change it and compiles; checks the outcome
  /// (and, with `mustRefuse`, that it is a refusal).
  void Run(const std::string& what, const std::function<void(const fs::path& drmpack)>& damage,
           bool mustRefuse = false) {
    TempDir dir;
    fs::copy(reference.dir.path(), dir.path(), fs::copy_options::recursive);
    damage(dir / "drmpack");
    fs::create_directories(dir / "out");
    const auto before = Snapshot(dir.path());
    NullProgress progress;
    Outcome o = Attempt(what, [&] {
      drm::CompileDrm(dir / "drmpack", dir / "CG15.bin", dir / "out/new.bin", convert, progress);
    });
    EXPECT_EQ(Strays(dir.path(), before, {"drmpack/", "out/new.bin"}), std::vector<std::string>{}) << what;
    EXPECT_FALSE(mustRefuse && o.ok) << what << ": a picture that cannot be read was saved";
    if (!o.ok) {
      EXPECT_FALSE(fs::exists(dir / "out/new.bin")) << what << ": a failed compile left its output";
      return;
    }
    // Whatever was accepted must give an image that reads back.
    Slot back;
    fs::copy_file(dir / "out/new.bin", back.image);
    Outcome readBack = Attempt(what + " (read back)", [&] { UnpackInto(back.image, back.drmpack, false); });
    EXPECT_TRUE(readBack.ok) << what << ": the compiled image cannot be unpacked: " << readBack.error;
  }
};

TEST(CompileSweep, DamagedDescrDatIsRefusedWithoutOutput) {
  CompileBench bench(false);
  const Bytes descr = ReadBytes(bench.reference.drmpack / "descr.dat");
  for (std::size_t n : CutPoints(descr.size(), 0)) {
    bench.Run(fmt::format("descr.dat cut to {} bytes", n),
              [&](const fs::path& drmpack) { WriteBytes(drmpack / "descr.dat", Cut(descr, n)); });
  }
  std::vector<std::size_t> words;
  for (std::size_t at = 0; at < descr.size(); at += 4) words.push_back(at);
  for (const Damage& d : FieldDamage(words)) {
    bench.Run("descr.dat with " + d.Describe(),
              [&](const fs::path& drmpack) { WriteBytes(drmpack / "descr.dat", Apply(descr, d)); });
  }
  bench.Run("descr.dat missing", [](const fs::path& drmpack) { fs::remove(drmpack / "descr.dat"); });
}

TEST(CompileSweep, DamagedPicturesInTheTree) {
  struct Case {
    const char* name;
    bool convert;
    std::function<void(const fs::path&)> damage;
    bool mustRefuse = false;  // storing the picture empty would lose it
  };
  auto cutFile = [](const fs::path& file, std::size_t n) { WriteBytes(file, Cut(ReadBytes(file), n)); };
  const std::vector<Case> cases = {
      {"RAW picture missing", false, [](const fs::path& d) { fs::remove(d / "raws/1(5x4).raw"); }},
      {"RAW picture short", false, [&](const fs::path& d) { cutFile(d / "raws/1(5x4).raw", 7); }},
      {"RAW picture empty", false, [&](const fs::path& d) { cutFile(d / "raws/2(3x3).raw", 0); }},
      {"RAW picture too long", false, [](const fs::path& d) { WriteBytes(d / "raws/2(3x3).raw", Bytes(5000, 0x5A)); }},
      {"RAW size tag out of range", false,
       [](const fs::path& d) { fs::rename(d / "raws/1(5x4).raw", d / "raws/1(300x4).raw"); }, true},
      {"RAW size tag missing", false, [](const fs::path& d) { fs::rename(d / "raws/1(5x4).raw", d / "raws/1.raw"); },
       true},
      {"RAW size tag of zero", false,
       [](const fs::path& d) { fs::rename(d / "raws/1(5x4).raw", d / "raws/1(0x0).raw"); }},
      {"raws folder missing", false, [](const fs::path& d) { fs::remove_all(d / "raws"); }},
      {"PNG copy cut", true, [&](const fs::path& d) { cutFile(d / "icons/1.png", 40); }, true},
      {"PNG copy not a picture", true, [](const fs::path& d) { WriteText(d / "icons/2.png", "not a picture"); }, true},
      {"PNG copy missing", true, [](const fs::path& d) { fs::remove(d / "icons/1.png"); }},
      {"GIF picture empty", false, [&](const fs::path& d) { cutFile(d / "icons/3.gif", 0); }},
      {"GIF picture missing", false, [](const fs::path& d) { fs::remove(d / "icons/5.gif"); }},
      {"BMP picture replaced by a GIF name", false,
       [](const fs::path& d) { fs::rename(d / "icons/4.bmp", d / "icons/4.gif"); }},
      {"icons folder missing", false, [](const fs::path& d) { fs::remove_all(d / "icons"); }},
      {"picture folder is a file", false,
       [](const fs::path& d) {
         fs::remove_all(d / "icons");
         WriteText(d / "icons", "x");
       }},
  };
  for (bool convert : {false, true}) {
    CompileBench bench(convert);
    for (const Case& c : cases) {
      if (c.convert && !convert) continue;
      // A RAW file is read only without conversion, a PNG copy only with it.
      bench.Run(fmt::format("{} (convert {})", c.name, convert), c.damage, c.mustRefuse && c.convert == convert);
    }
  }
}

TEST(CompileSweep, DamagedOriginalImageIsRefusedWithoutOutput) {
  CompileBench bench(false);
  const Bytes image = ReadBytes(bench.reference.image);
  for (std::size_t n : CutPoints(image.size(), 12)) {
    bench.Run(fmt::format("original image cut to {} bytes", n),
              [&](const fs::path& drmpack) { WriteBytes(drmpack.parent_path() / "CG15.bin", Cut(image, n)); });
  }
}

}  // namespace
}  // namespace resmill::test::sweep
