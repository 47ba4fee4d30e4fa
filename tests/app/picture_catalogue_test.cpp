// The picture catalogue of an unpacked tree: states against the original image,
// decoding, revert to the unpack's own files, Port's pairing, and the gallery's
// replacement of target pictures by files.

#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "app/picture_catalogue.h"
#include "app/picture_gallery.h"
#include "drm/unpack.h"
#include "image/graphics/graphics.h"
#include "platform/error.h"
#include "sample/drm_sample.h"
#include "test_support.h"

namespace resmill::app {
namespace {

namespace fs = std::filesystem;
namespace gfx = image::graphics;
using sample::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

sample::DrmRecipe TestRecipe(int seed = 0) { return sample::MixedSmallDrm(seed); }

/// An unpacked tree beside its image, as a slot of the work tree holds them.
struct Tree {
  TempDir dir;
  fs::path cg15 = dir / "CG15.bin";
  fs::path drmpack = dir / "drmpack";
  fs::path icons = dir / "drmpack/icons";
  fs::path raws = dir / "drmpack/raws";
  bool convert;

  explicit Tree(bool convertRawToBmp, const sample::DrmRecipe& recipe = TestRecipe()) : convert(convertRawToBmp) {
    fs::create_directories(icons);
    WriteBytes(cg15, sample::BuildDrmImage(recipe));
    NullProgress progress;
    drm::UnpackDrm(cg15, drmpack, convert, progress);
  }
  PictureCatalogue Catalogue() const { return PictureCatalogue(drmpack, cg15, convert); }
  PictureState StateOf(int number) const { return Catalogue().Examine(number).state; }
  /// Every file of the tree with its bytes.
  std::map<std::string, Bytes> Files() const {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(drmpack)) {
      if (entry.is_regular_file()) files[fs::relative(entry.path(), drmpack).string()] = ReadBytes(entry.path());
    }
    return files;
  }
};

gfx::Bitmap Load(const fs::path& file) {
  std::optional<gfx::Bitmap> bitmap = gfx::LoadBitmap(file);
  EXPECT_TRUE(bitmap) << file;
  return bitmap ? *bitmap : gfx::Bitmap();
}
void SavePng(const gfx::Bitmap& bitmap, const fs::path& file) { ASSERT_TRUE(gfx::SaveBitmap(bitmap, file, "image/png")); }

/// Changes one pixel of a PNG in place.
void ChangePixel(const fs::path& png, int x, int y, const std::function<gfx::Argb(gfx::Argb)>& change) {
  gfx::Bitmap b = Load(png);
  b.Set(x, y, change(b.At(x, y)));
  SavePng(b, png);
}

/// The first pixel of a picture with the given transparency.
std::pair<int, int> FindPixel(const gfx::Bitmap& b, bool transparent) {
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      if ((gfx::AlphaOf(b.At(x, y)) == 0) == transparent) return {x, y};
    }
  }
  ADD_FAILURE() << "no such pixel";
  return {0, 0};
}

void Rename(const fs::path& from, const fs::path& to) { fs::rename(from, to); }

TEST(PictureCatalogue, AnUntouchedUnpackListsEveryPictureAsOriginal) {
  for (bool convert : {true, false}) {
    SCOPED_TRACE(convert ? "conversion on" : "conversion off");
    Tree tree(convert);
    PictureCatalogue catalogue = tree.Catalogue();
    ASSERT_EQ(catalogue.Pictures().size(), 8u);
    struct Expected {
      DrmPictureKind kind;
      int position, width, height;
      bool animated;
      std::string file;
    };
    const Expected expected[] = {
        {DrmPictureKind::Raw, 1, 4, 4, false, convert ? "icons/1.png" : "raws/1(4x4).raw"},
        {DrmPictureKind::Raw, 2, 5, 3, false, convert ? "icons/2.png" : "raws/2(5x3).raw"},
        // The unpack leaves an empty PNG for a picture without pixels; its header gives no size.
        {DrmPictureKind::Raw, 3, 0, convert ? 0 : 6, false, convert ? "icons/3.png" : "raws/3(0x6).raw"},
        {DrmPictureKind::Raw, 4, 6, 6, false, convert ? "icons/4.png" : "raws/4(6x6).raw"},
        {DrmPictureKind::Gif, 1, 8, 8, false, "icons/5.gif"},
        {DrmPictureKind::Gif, 2, 10, 10, true, "icons/6.gif"},
        {DrmPictureKind::Bmp, 3, 6, 4, false, "icons/7.bmp"},
        {DrmPictureKind::Gif, 4, 12, 8, false, "icons/8.gif"},
    };
    for (int n = 1; n <= 8; ++n) {
      SCOPED_TRACE(n);
      const PictureEntry& entry = catalogue.Picture(n);
      const Expected& e = expected[n - 1];
      EXPECT_EQ(entry.number, n);
      EXPECT_EQ(entry.kind, e.kind);
      EXPECT_EQ(entry.position, e.position);
      EXPECT_EQ(entry.size, (PictureSize{e.width, e.height}));
      EXPECT_EQ(entry.animated, e.animated);
      ASSERT_TRUE(entry.file);
      EXPECT_EQ(fs::relative(*entry.file, tree.drmpack).string(), e.file);
      EXPECT_EQ(catalogue.Examine(n).state, PictureState::Original) << catalogue.Examine(n).problem;
    }
    EXPECT_EQ(catalogue.Picture(3).originalSize, (PictureSize{0, 6}));
    EXPECT_THROW(catalogue.Picture(9), Error);
    EXPECT_THROW(catalogue.Examine(0), Error);
  }
}

struct StateCase {
  const char* name;
  bool convert;
  int number;
  std::function<void(Tree&)> change;
  PictureState expected;
};

TEST(PictureCatalogue, TellsAnAnimationBeyondTheHeaderProbeAndSurvivesADamagedGif) {
  Tree tree(true);
  struct Case {
    const char* name;
    Bytes bytes;
    PictureSize size;
    bool animated;
  };
  Bytes longAnimation = sample::DrawGif(10, 10, 3, false, 5);
  longAnimation.resize(longAnimation.size() + (3 << 20), 0);  // bytes after the trailer: read, not decoded
  Bytes damaged = sample::DrawGif(10, 10, 3, false, 5);
  damaged.resize(damaged.size() / 2);
  const Case cases[] = {
      {"an animation longer than the 1 MiB header probe", longAnimation, {10, 10}, true},
      {"a GIF that ends halfway", damaged, {10, 10}, false},
      {"no picture at all", Bytes{'x', 'y'}, {0, 0}, false},
  };
  for (const Case& c : cases) {
    WriteBytes(tree.drmpack / "icons/6.gif", c.bytes);
    const PictureEntry entry = tree.Catalogue().Picture(6);
    EXPECT_EQ(entry.size, c.size) << c.name;
    EXPECT_EQ(entry.animated, c.animated) << c.name;
  }
}

TEST(PictureCatalogue, StatesTellWhatTheSaveMakesOfEachPicture) {
  using S = PictureState;
  const auto red = [](gfx::Argb c) { return c ^ 0x00800000u; };
  const StateCase cases[] = {
      // RAW pictures as PNG copies.
      {"png deleted", true, 2, [](Tree& t) { fs::remove(t.icons / "2.png"); }, S::Empty},
      {"png emptied", true, 2, [](Tree& t) { WriteBytes(t.icons / "2.png", {}); }, S::Empty},
      {"visible colour change", true, 2, [&](Tree& t) { ChangePixel(t.icons / "2.png", 1, 1, red); }, S::Edited},
      {"change below the phone's colour depth", true, 2,
       [](Tree& t) { ChangePixel(t.icons / "2.png", 1, 1, [](gfx::Argb c) { return c ^ 0x00010301u; }); },
       S::Original},
      {"colour under a transparent pixel", true, 1,
       [](Tree& t) {
         auto [x, y] = FindPixel(Load(t.icons / "1.png"), true);
         ChangePixel(t.icons / "1.png", x, y, [](gfx::Argb) { return gfx::MakeArgb(0, 10, 200, 30); });
       },
       S::Original},
      {"opaque pixel made transparent", true, 1,
       [](Tree& t) {
         auto [x, y] = FindPixel(Load(t.icons / "1.png"), false);
         ChangePixel(t.icons / "1.png", x, y, [](gfx::Argb c) { return c & 0x00FFFFFFu; });
       },
       S::Edited},
      {"half transparency is stored opaque", true, 2,
       [](Tree& t) { ChangePixel(t.icons / "2.png", 0, 0, [](gfx::Argb c) { return (c & 0x00FFFFFFu) | 0x80000000u; }); },
       S::Original},
      {"other size", true, 2, [](Tree& t) { SavePng(gfx::Bitmap(6, 3, 0xFF112233u), t.icons / "2.png"); }, S::NewSize},
      {"zero-sized original given pixels", true, 3,
       [](Tree& t) { SavePng(gfx::Bitmap(2, 2, 0xFF112233u), t.icons / "3.png"); }, S::NewSize},
      {"not a picture", true, 2, [](Tree& t) { WriteBytes(t.icons / "2.png", {'n', 'o', 'p', 'e'}); }, S::Unreadable},
      {"wider than 255", true, 2, [](Tree& t) { SavePng(gfx::Bitmap(300, 2, 0xFF000000u), t.icons / "2.png"); },
       S::Unreadable},
      {"more pixels than a RAW picture", true, 2,
       [](Tree& t) { SavePng(gfx::Bitmap(200, 200, 0xFF000000u), t.icons / "2.png"); }, S::Unreadable},
      // RAW files.
      {"raw deleted", false, 2, [](Tree& t) { fs::remove(t.raws / "2(5x3).raw"); }, S::Empty},
      {"raw byte changed", false, 2,
       [](Tree& t) {
         Bytes b = ReadBytes(t.raws / "2(5x3).raw");
         b[3] ^= 0x40;
         WriteBytes(t.raws / "2(5x3).raw", b);
       },
       S::Edited},
      {"size tag changed", false, 2, [](Tree& t) { Rename(t.raws / "2(5x3).raw", t.raws / "2(3x5).raw"); },
       S::NewSize},
      {"no size tag", false, 2, [](Tree& t) { Rename(t.raws / "2(5x3).raw", t.raws / "2.raw"); }, S::Unreadable},
      {"size tag beyond 255", false, 2, [](Tree& t) { Rename(t.raws / "2(5x3).raw", t.raws / "2(300x3).raw"); },
       S::Unreadable},
      {"odd length", false, 2,
       [](Tree& t) {
         Bytes b = ReadBytes(t.raws / "2(5x3).raw");
         b.push_back(0);
         WriteBytes(t.raws / "2(5x3).raw", b);
       },
       S::Unreadable},
      // GIF-table pictures.
      {"gif deleted", true, 5, [](Tree& t) { fs::remove(t.icons / "5.gif"); }, S::Unreadable},
      {"bmp deleted", false, 7, [](Tree& t) { fs::remove(t.icons / "7.bmp"); }, S::Unreadable},
      {"gif emptied", true, 5, [](Tree& t) { WriteBytes(t.icons / "5.gif", {}); }, S::Empty},
      {"gif redrawn", true, 5, [](Tree& t) { WriteBytes(t.icons / "5.gif", sample::DrawGif(8, 8, 1, false, 99)); },
       S::Edited},
      {"gif resized", true, 5, [](Tree& t) { WriteBytes(t.icons / "5.gif", sample::DrawGif(9, 9, 1, false, 5)); },
       S::NewSize},
      {"bmp damaged", true, 7, [](Tree& t) { WriteBytes(t.icons / "7.bmp", {'B', 'M', 1, 2, 3}); }, S::Edited},
      {"a gif beside the bmp is what the save takes", true, 7,
       [](Tree& t) { WriteBytes(t.icons / "7.gif", sample::DrawGif(6, 4, 1, false, 7)); }, S::Edited},
  };
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.name);
    Tree tree(c.convert);
    c.change(tree);
    PictureCatalogue catalogue = tree.Catalogue();
    PictureStatus status = catalogue.Examine(c.number);
    EXPECT_EQ(StateName(status.state), StateName(c.expected)) << status.problem;
    EXPECT_EQ(status.problem.empty(), c.expected != PictureState::Unreadable) << status.problem;
    // The neighbours are not affected.
    EXPECT_EQ(catalogue.Examine(c.number == 1 ? 4 : 1).state, PictureState::Original);
  }
}

TEST(PictureCatalogue, AnUnchangedPngSavedAgainByAnotherToolIsOriginal) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  Tree tree(true);
  const fs::path png = tree.icons / "1.png";
  ASSERT_EQ(test::RunCommand("convert '" + png.string() + "' -define png:compression-level=1 'PNG32:" +
                             png.string() + "'"),
            0);
  EXPECT_EQ(tree.StateOf(1), PictureState::Original);
  ASSERT_EQ(test::RunCommand("convert '" + png.string() + "' -fill '#0000FF' -draw 'point 1,1' 'PNG32:" +
                             png.string() + "'"),
            0);
  EXPECT_EQ(tree.StateOf(1), PictureState::Edited);
}

TEST(PictureCatalogue, DecodesPicturesAsTheSaveTakesThem) {
  for (bool convert : {true, false}) {
    SCOPED_TRACE(convert ? "conversion on" : "conversion off");
    Tree tree(convert);
    PictureCatalogue catalogue = tree.Catalogue();
    for (int n : {1, 2, 4, 5, 6, 7, 8}) {
      SCOPED_TRACE(n);
      std::optional<gfx::Bitmap> now = catalogue.Decode(n);
      std::optional<gfx::Bitmap> original = catalogue.DecodeOriginal(n);
      ASSERT_TRUE(now && original);
      EXPECT_EQ(now->Width(), catalogue.Picture(n).size.width);
      EXPECT_TRUE(std::equal(now->Pixels().begin(), now->Pixels().end(), original->Pixels().begin(),
                             original->Pixels().end()));
    }
    // A picture without pixels draws as nothing, and so do missing and damaged files.
    EXPECT_FALSE(catalogue.Decode(3));
    EXPECT_FALSE(catalogue.DecodeOriginal(3));
    fs::remove(tree.icons / "5.gif");
    WriteBytes(tree.icons / "8.gif", {'G', 'I', 'F', '8', '9', 'a'});
    catalogue.Refresh();
    EXPECT_FALSE(catalogue.Decode(5));
    EXPECT_FALSE(catalogue.Decode(8));
    // Labels give the size the save stores for a RAW picture, "?" where no header gives one.
    EXPECT_EQ(SheetLabel(catalogue.Picture(2)), "2 5x3");
    EXPECT_EQ(SheetLabel(catalogue.Picture(3)), convert ? "3 0x0" : "3 0x6");
    EXPECT_EQ(SheetLabel(catalogue.Picture(5)), "5 ?");
    EXPECT_EQ(SheetLabel(catalogue.Picture(8)), "8 ?");
  }
}

TEST(PictureCatalogue, RevertWritesBackExactlyWhatTheUnpackWrote) {
  struct RevertCase {
    const char* name;
    bool convert;
    std::vector<int> numbers;
    std::function<void(Tree&)> change;
  };
  const RevertCase cases[] = {
      {"RAW as PNG, redrawn", true, {1},
       [](Tree& t) { SavePng(gfx::Bitmap(9, 9, 0xFF00FF00u), t.icons / "1.png"); }},
      {"RAW as PNG, deleted", true, {4}, [](Tree& t) { fs::remove(t.icons / "4.png"); }},
      {"RAW as PNG, zero-sized original", true, {3},
       [](Tree& t) { SavePng(gfx::Bitmap(2, 2, 0xFF00FF00u), t.icons / "3.png"); }},
      {"RAW file with another size tag", false, {2},
       [](Tree& t) {
         fs::remove(t.raws / "2(5x3).raw");
         WriteBytes(t.raws / "2(7x7).raw", Bytes(7 * 7 * 2 + 8, 0x11));
       }},
      {"RAW file changed in place", false, {1},
       [](Tree& t) { WriteBytes(t.raws / "1(4x4).raw", Bytes(36, 0x22)); }},
      {"GIF replaced", true, {6}, [](Tree& t) { WriteBytes(t.icons / "6.gif", sample::DrawGif(20, 20, 2, true, 3)); }},
      {"BMP deleted and a GIF put in its place", false, {7},
       [](Tree& t) {
         fs::remove(t.icons / "7.bmp");
         WriteBytes(t.icons / "7.gif", sample::DrawGif(6, 4, 1, false, 1));
       }},
      {"a set of pictures", true, {1, 5, 7},
       [](Tree& t) {
         fs::remove(t.icons / "1.png");
         WriteBytes(t.icons / "5.gif", {});
         WriteBytes(t.icons / "7.bmp", sample::DrawBmp(3, 3, 1));
       }},
  };
  for (const RevertCase& c : cases) {
    SCOPED_TRACE(c.name);
    Tree tree(c.convert);
    const std::map<std::string, Bytes> unpacked = tree.Files();
    c.change(tree);
    PictureCatalogue catalogue = tree.Catalogue();
    for (int n : c.numbers) EXPECT_NE(catalogue.Examine(n).state, PictureState::Original) << n;
    test::ScriptedUi ui;
    catalogue.Revert(c.numbers, ui);
    EXPECT_EQ(tree.Files(), unpacked);
    for (int n : c.numbers) EXPECT_EQ(catalogue.Examine(n).state, PictureState::Original) << n;
    EXPECT_EQ(ui.progressCaptions, std::vector<std::string>{"Reverting pictures"});
    EXPECT_FALSE(ui.progressVisible);
  }
}

TEST(PictureCatalogue, RevertRefusesAnUnknownNumberBeforeWritingAnything) {
  Tree tree(true);
  fs::remove(tree.icons / "1.png");
  PictureCatalogue catalogue = tree.Catalogue();
  NullProgress progress;
  const std::vector<int> numbers = {1, 9};
  try {
    catalogue.Revert(numbers, progress);
    FAIL() << "revert of picture 9 was not refused";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Refused);
  }
  EXPECT_FALSE(fs::exists(tree.icons / "1.png"));
}

TEST(PictureCatalogue, ATreeFromAnotherImageIsRefused) {
  Tree tree(true);
  sample::DrmRecipe other = TestRecipe();
  other.gifs.pop_back();
  WriteBytes(tree.cg15, sample::BuildDrmImage(other));
  try {
    tree.Catalogue();
    FAIL() << "a descr.dat of another image was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Format);
    EXPECT_NE(std::string(e.what()).find("open the flash file again"), std::string::npos) << e.what();
  }
}

TEST(PictureCatalogue, PairsPicturesByPositionAsPortDoes) {
  Tree target(true);
  sample::DrmRecipe sourceRecipe = TestRecipe(3);
  sourceRecipe.raws.push_back(sample::DrawRaw(3, 3, 1, false));
  sourceRecipe.raws.push_back(sample::DrawRaw(3, 3, 2, false));
  sourceRecipe.gifs.resize(2);
  Tree source(true, sourceRecipe);  // 6 RAW pictures, 2 GIF-table pictures
  PortPairing pairing = PairForPort(target.Catalogue(), source.Catalogue());
  EXPECT_TRUE(pairing.compatible);
  ASSERT_EQ(pairing.pairs.size(), 8u);
  const std::optional<int> expected[] = {1, 2, 3, 4, 7, 8, std::nullopt, std::nullopt};
  for (int n = 1; n <= 8; ++n) {
    EXPECT_EQ(pairing.pairs[static_cast<std::size_t>(n) - 1].target, n);
    EXPECT_EQ(pairing.pairs[static_cast<std::size_t>(n) - 1].source, expected[n - 1]) << n;
  }

  Tree variant0(true, sample::SampleVariant0Drm());
  pairing = PairForPort(target.Catalogue(), variant0.Catalogue());
  EXPECT_FALSE(pairing.compatible);
  ASSERT_EQ(pairing.pairs.size(), 8u);
  for (const PicturePair& pair : pairing.pairs) EXPECT_FALSE(pair.source);
}

TEST(PictureCatalogue, OpensOnlyASlotThatHoldsAnUnpackedDrm) {
  TempDir dir;
  test::ScriptedUi ui;
  Session session(ui, dir.path(), LocalTimeNow);
  session.tree = CreateWorkFolders(dir.path());
  auto refusal = [&](int slot) -> std::string {
    try {
      OpenCatalogue(session, slot);
    } catch (const Error& e) {
      return e.kind() == Error::Kind::Refused ? e.what() : std::string("not refused: ") + e.what();
    }
    return "opened";
  };
  EXPECT_NE(refusal(1).find("nothing is pending"), std::string::npos);
  session.nothingPending = false;
  session.stageFlags = kOneFile | kSkinTarget;
  EXPECT_NE(refusal(1).find("skin"), std::string::npos);
  session.stageFlags = kOneFile;
  EXPECT_NE(refusal(2).find("no source"), std::string::npos);
  EXPECT_NE(refusal(1).find("descr.dat is missing"), std::string::npos);
  session.stageFlags = kTwoFiles;
  WriteBytes(session.tree.binary2Folder / "cg15.BIN", sample::BuildDrmImage(TestRecipe()));
  NullProgress progress;
  drm::UnpackDrm(session.tree.binary2Folder / "cg15.BIN", session.tree.drmPack2Folder, true, progress);
  EXPECT_EQ(OpenCatalogue(session, 2).Pictures().size(), 8u);
}

TEST(PictureGallery, ReplacesTargetPicturesAllOrNothing) {
  TempDir dir;
  test::ScriptedUi ui;
  Session session(ui, dir.path(), LocalTimeNow);
  session.tree = CreateWorkFolders(dir.path());
  session.nothingPending = false;
  session.stageFlags = kOneFile;
  const fs::path cg15 = session.tree.binary1Folder / "CG15.bin";
  WriteBytes(cg15, sample::BuildDrmImage(TestRecipe()));
  NullProgress progress;
  drm::UnpackDrm(cg15, session.tree.drmPack1Folder, session.settings.convertRawToBmp, progress);

  const PictureCatalogue catalogue = OpenCatalogue(session, 1);
  std::vector<PictureEntry> gifs;
  for (const PictureEntry& entry : catalogue.Pictures()) {
    if (entry.kind == DrmPictureKind::Gif && entry.file) gifs.push_back(entry);
  }
  ASSERT_GE(gifs.size(), 2u);
  const fs::path other = dir / "other.gif";
  fs::copy_file(*gifs[1].file, other);
  const fs::path junk = dir / "junk.gif";
  WriteBytes(junk, Bytes{1, 2, 3});

  struct Case {
    const char* name;
    std::vector<PictureReplacement> replacements;
    bool refused;
    bool changes;
  };
  const std::vector<Case> cases = {
      {"its own file", {{gifs[0].number, *gifs[0].file, false}}, false, false},
      {"an unknown number", {{9999, other, false}}, true, false},
      {"a file that is no picture refuses the good one too",
       {{gifs[0].number, other, false}, {gifs[1].number, junk, false}}, true, false},
      {"another GIF, stored as it is", {{gifs[0].number, other, false}}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes before = ReadBytes(*gifs[0].file);
    session.drmSaved = true;
    bool refused = false;
    try {
      ReplacePictures(session, c.replacements);
    } catch (const Error&) {
      refused = true;
    }
    EXPECT_EQ(refused, c.refused);
    EXPECT_EQ(ReadBytes(*gifs[0].file), c.changes ? ReadBytes(other) : before);
    EXPECT_EQ(session.drmSaved, !c.changes);
  }
}

}  // namespace
}  // namespace resmill::app
