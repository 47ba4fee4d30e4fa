// Damaged pictures, GIF animations, skins and port tables.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "../skin/skin_fixtures.h"
#include "replacement/gif_resize.h"
#include "replacement/port_table.h"
#include "image/picture_convert.h"
#include "sample/drm_sample.h"
#include "skin/picture_converter.h"
#include "skin/skin_unpack.h"
#include "sweep_support.h"

namespace resmill::test::sweep {
namespace {

namespace fs = std::filesystem;

/// One picture of every kind the program reads, drawn by the sample builder and
/// written by our own encoders: RAW, K (18 and 32 bit), G, PNG, JPEG, BMP, GIF.
struct PictureSet {
  TempDir dir;
  std::map<std::string, Bytes> files;  ///< file name → bytes

  PictureSet() {
    WriteBytes(dir / "pic(12x8).raw", sample::DrawRaw(12, 8, 1, true).data);
    image::RawToBmp(dir / "pic(12x8).raw", dir / "pic.png", image::kPngFormat);
    image::RawToBmp(dir / "pic(12x8).raw", dir / "pic.jpg", image::kJpegFormat);
    WriteBytes(dir / "pic.bmp", sample::DrawBmp(10, 7, 1));
    WriteBytes(dir / "pic.gif", sample::DrawGif(9, 9, 2, true, 1));
    image::BmpToRaw(dir / "pic.bmp", image::PictureKind::K18, dir / "k18.k");
    image::BmpToRaw(dir / "pic.bmp", image::PictureKind::K32, dir / "k32.k");
    image::StoreGPicture(dir / "pic.gif", dir / "pic.g");
    for (const char* name : {"pic(12x8).raw", "pic.png", "pic.jpg", "pic.bmp", "pic.gif", "k18.k", "k32.k", "pic.g"}) {
      files[name] = ReadBytes(dir / name);
    }
  }
  static const PictureSet& Get() {
    static const PictureSet set;
    return set;
  }
};

bool IsDevicePicture(const std::string& name) {
  return name.ends_with(".raw") || name.ends_with(".k") || name.ends_with(".g");
}

/// Header bytes and words worth damaging in a picture of `size` bytes.
std::vector<Damage> PictureDamage(std::size_t size) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < std::min<std::size_t>(size, 40); i += 2) at.push_back(i);
  at.push_back(size / 2);
  std::vector<Damage> out;
  for (std::size_t i : at) out.push_back({i, Damage::Kind::InvertByte});
  for (std::size_t i : {0u, 4u, 8u, 12u, 16u, 18u, 22u}) {
    if (i + 4 <= size) {
      out.push_back({i, Damage::Kind::WordOnes});
      out.push_back({i, Damage::Kind::WordHuge});
    }
  }
  return out;
}

class PictureSweep : public ::testing::TestWithParam<std::string> {};

TEST_P(PictureSweep, DamagedPictureConvertsOrIsRefused) {
  const std::string name = GetParam();
  const Bytes original = PictureSet::Get().files.at(name);
  const bool device = IsDevicePicture(name);

  int refused = 0;
  auto run = [&](const Bytes& input, const std::string& what) {
    TempDir dir;
    WriteBytes(dir / name, input);
    fs::create_directories(dir / "out");
    const auto before = Snapshot(dir.path());
    Outcome o;
    image::RawSize reported;  // what the conversion says it read
    if (device) {
      image::RawToBmpResult result;
      o = Attempt(what, [&] { result = image::RawToBmp(dir / name, dir / "out/x.png", image::kPngFormat); });
      reported = result.size;
      if (o.ok && result.produced && result.kind != image::PictureKind::G) {
        // A picture reported as converted must be one our decoder reads again at the size it came with.
        image::RawSize size = image::GetPictureSize(result.target);
        EXPECT_EQ(size.width, reported.width) << what;
        EXPECT_EQ(size.height, reported.height) << what;
      }
      if (!o.ok) {
        EXPECT_FALSE(fs::exists(dir / "out/x.png")) << what << ": a failed conversion left its target";
      }
    } else {
      o = Attempt(what, [&] {
        reported = image::BmpToRaw(dir / name, image::PictureKind::Raw, dir / "out/x.raw")->size;
      });
      if (o.ok) {
        // The RAW file holds exactly the pixels and mask of the size it reports (or nothing for 0 x 0).
        const std::size_t w = static_cast<std::size_t>(reported.width);
        const std::size_t h = static_cast<std::size_t>(reported.height);
        const std::size_t length = ReadBytes(dir / "out/x.raw").size();
        if (w == 0 || h == 0) {
          EXPECT_EQ(length, 0u) << what;
        } else {
          EXPECT_GE(length, w * h * 2) << what;
        }
      }
      Attempt(what + " as K", [&] { image::BmpToRaw(dir / name, image::PictureKind::K18, dir / "out/k"); });
      Attempt(what + " scaled", [&] { image::ScalePicture(dir / name, dir / "out/s.png", 16, "image/png", 11); });
      Attempt(what + " size", [&] { image::GetPictureSize(dir / name); });
    }
    EXPECT_EQ(Strays(dir.path(), before, {"out/"}), std::vector<std::string>{}) << what;
    // Only G pictures are stored as they are; the others show refusal as a 0 x 0 picture too.
    const bool unusable = !name.ends_with(".g") && reported.width == 0;
    refused += (!o.ok || unusable) ? 1 : 0;
  };
  run(original, name + " intact");
  ASSERT_EQ(refused, 0) << "the intact input was refused";
  for (std::size_t n : CutPoints(original.size(), 24))
    run(Cut(original, n), fmt::format("{} cut to {} bytes", name, n));
  for (const Damage& d : PictureDamage(original.size())) run(Apply(original, d), name + " with " + d.Describe());
  // A G picture is stored as it is, and a short RAW picture is read as far as it goes: neither is refused.
  if (!name.ends_with(".g") && !name.ends_with(".raw")) {
    EXPECT_GT(refused, 0) << "no damaged input was refused: the sweep reached nothing";
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PictureSweep,
                         ::testing::Values("pic(12x8).raw", "k18.k", "k32.k", "pic.g", "pic.png", "pic.jpg", "pic.bmp",
                                           "pic.gif"),
                         [](const auto& testInfo) {
                           std::string n = testInfo.param;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });

// ---------------------------------------------------------------------------
// GIF resize

TEST(GifResizeSweep, DamagedAnimationIsResizedOrRefusedWithoutLeftovers) {
  const Bytes gif = sample::DrawGif(10, 8, 3, true, 4);
  replacement::GifWorkArea area;  // shared between cases, as Build shares it between icons
  int refused = 0;
  auto run = [&](const Bytes& input, const std::string& what) {
    TempDir dir;
    WriteBytes(dir / "anim.gif", input);
    fs::create_directories(dir / "temp");
    const auto before = Snapshot(dir.path());
    ScriptedUi ui;
    ui.iconSizeAnswer = IconSize{6, 5};
    bool written = false;
    Outcome o = Attempt(
        what, [&] { written = replacement::ResizeGif(area, dir / "anim.gif", dir / "small.gif", 6, 5, ui); });
    EXPECT_EQ(Strays(dir.path(), before, {"small.gif"}), std::vector<std::string>{})
        << what << ": frame files or others were left behind";
    refused += o.ok ? 0 : 1;
    if (!o.ok) {
      EXPECT_FALSE(fs::exists(dir / "small.gif")) << what;
      // Also a frame that cannot be decoded is reported under the user's picture, not a temporary file.
      EXPECT_NE(o.error.find("anim.gif"), std::string::npos) << what << ": the error names no file: " << o.error;
      EXPECT_EQ(o.error.find("tempn"), std::string::npos) << what << ": " << o.error;
    } else if (written) {
      EXPECT_EQ(image::GetPictureSize(dir / "small.gif").width, 6) << what;
    }
  };
  run(gif, "intact GIF");
  ASSERT_EQ(refused, 0) << "the intact input was refused";
  for (std::size_t n : CutPoints(gif.size(), 30)) run(Cut(gif, n), fmt::format("GIF cut to {} bytes", n));
  std::vector<Damage> damage;
  for (std::size_t at = 6; at < std::min<std::size_t>(gif.size(), 120); ++at)
    damage.push_back({at, Damage::Kind::InvertByte});
  for (std::size_t at : {6u, 10u, 13u, 30u, 60u, 90u}) damage.push_back({at, Damage::Kind::WordOnes});
  for (const Damage& d : damage) run(Apply(gif, d), "GIF with " + d.Describe());
  EXPECT_GT(refused, 0) << "no damaged input was refused: the sweep reached nothing";
}

// ---------------------------------------------------------------------------
// Skins

TEST(SkinSweep, DamagedSkinIsRefusedBeforeAnyFileOrUnpacksWhole) {
  const PictureSet& pictures = PictureSet::Get();
  const Bytes skin = skin::test::BuildSkin({{"a.k", pictures.files.at("k18.k")},
                                            {"b.k", pictures.files.at("k32.k")},
                                            {"c.g", pictures.files.at("pic.g")},
                                            {"d.g", pictures.files.at("pic.png")}});
  const skin::test::Layout layout = skin::test::LayoutOf(skin);
  const auto originals = skin::test::PicturesOf(skin);

  int refused = 0;
  auto run = [&](const Bytes& input, const std::string& what, bool cut) {
    TempDir dir;
    WriteBytes(dir / "look.ezx", input);
    fs::create_directories(dir / "F");
    const auto before = Snapshot(dir.path());
    skin::ImageConverter converter;
    NullProgress progress;
    Outcome o = Attempt(what, [&] { skin::UnpackSkin(dir / "look.ezx", dir / "F", true, converter, progress); });
    EXPECT_EQ(Strays(dir.path(), before, {"F/"}), std::vector<std::string>{}) << what;
    refused += o.ok ? 0 : 1;
    if (!o.ok && o.error.find("look.ezx") != std::string::npos) {
      EXPECT_EQ(Snapshot(dir.path()), before) << what << ": files were written from a refused skin";
    } else if (!o.ok) {
      // A sound skin with a picture the converter refuses: the pictures so far stay, and the error names it.
      EXPECT_NE(o.error.find("F/raws/"), std::string::npos) << what << ": the error names no file: " << o.error;
    } else if (cut) {
      for (const auto& [name, bytes] : originals) {
        EXPECT_EQ(ReadBytes(dir / "F/raws" / name), bytes) << what << ": " << name;
      }
    }
  };
  run(skin, "intact skin", true);
  ASSERT_EQ(refused, 0) << "the intact input was refused";
  for (std::size_t n : CutPoints(skin.size())) run(Cut(skin, n), fmt::format("skin cut to {} bytes", n), true);
  std::vector<std::size_t> fields = {0, 8, 16, 20};
  for (std::size_t at = layout.directory; at < layout.data + 8 && at < skin.size(); at += 4) fields.push_back(at);
  for (const Damage& d : FieldDamage(fields)) run(Apply(skin, d), "skin with " + d.Describe(), false);
  EXPECT_GT(refused, 0) << "no damaged input was refused: the sweep reached nothing";
}

// ---------------------------------------------------------------------------
// Port tables

TEST(PortTableSweep, DamagedTableResolvesOnlyListedPictures) {
  const std::string text =
      "[DRM PORT TABLE]\r\n// pairs for the sample\r\nmainmenu_1 icon_27\r\nanim3  icon_30 /n\r\n"
      "missing icon_2\nclock.gif 5.gif\r\n";
  const Bytes table(text.begin(), text.end());
  const std::vector<std::string> sources = {"mainmenu_1.png", "anim3.gif", "clock.gif"};
  const std::vector<std::string> targets = {"icon_27.gif", "icon_30.gif", "5.gif", "icon_2.gif"};
  auto run = [&](const Bytes& input, const std::string& what) {
    TempDir dir;
    WriteBytes(dir / "pairs.dpt", input);
    replacement::PortTable result;
    Outcome o = Attempt(what, [&] { result = replacement::ReadPortTable(dir / "pairs.dpt", sources, targets); });
    ASSERT_TRUE(o.ok) << what << ": " << o.error;
    EXPECT_LE(result.entries.size(), 3u) << what;
    for (const replacement::PortTableEntry& e : result.entries) {
      EXPECT_TRUE(e.sourceIndex >= 0 && e.sourceIndex < 3) << what;
      EXPECT_TRUE(e.targetIndex >= 0 && e.targetIndex < 4) << what;
    }
  };
  for (std::size_t n = 0; n <= table.size(); ++n) run(Cut(table, n), fmt::format("table cut to {} bytes", n));
  for (std::size_t at = 0; at < table.size(); ++at) {
    for (std::uint8_t value : {0x00, 0x09, 0x0D, 0xFF}) {
      Bytes damaged = table;
      damaged[at] = value;
      run(damaged, fmt::format("table with {:#x} at {}", value, at));
    }
  }
  TempDir dir;
  EXPECT_FALSE(Attempt("missing table", [&] { replacement::ReadPortTable(dir / "none.dpt", sources, targets); }).ok);
}

}  // namespace
}  // namespace resmill::test::sweep
