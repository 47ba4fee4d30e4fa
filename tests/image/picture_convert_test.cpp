// The dispatchers: kind detection, size tags, RawToBmp, BmpToRaw, G pictures, ScalePicture.

#include <gtest/gtest.h>

#include <algorithm>

#include "image/graphics/graphics.h"
#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "image_test_util.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "sample/icon_sample.h"
#include "test_support.h"

namespace resmill::image {
namespace {

using graphics::Bitmap;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes KFile(std::uint32_t bits) {
  Bytes b(16 + 16 + 4, 0);
  PutU32LE(2, &b[0]);
  PutU32LE(1, &b[4]);
  PutU32LE(bits, &b[8]);
  PutU32LE(bits == 18 ? 8 : 8, &b[12]);
  return b;
}

TEST(ParseRawSize, SizeTags) {
  struct Case {
    const char* path;
    std::optional<RawSize> size;
  } cases[] = {
      {"12(176x220).raw", RawSize{176, 220}},
      {"(176X220).raw", RawSize{176, 220}},
      {"(1x1).raw", RawSize{1, 1}},
      {"(1x).raw", std::nullopt},
      {"(x5).raw", std::nullopt},
      {"pic(5x).raw", std::nullopt},
      {"pic.raw", std::nullopt},
      {"(12x34)(5x6).raw", RawSize{12, 0}},
      {"dir(3x4)/pic.raw", std::nullopt},
      {"dir(3x4)/7(8x9).raw", RawSize{8, 9}},
      {"(10x-5).raw", RawSize{10, -5}},
      {"(10x5a).raw", RawSize{10, 0}},
      {"(", std::nullopt},
      {"a(b", std::nullopt},
      {"7(8x9)", RawSize{8, 9}},
      {"7(8x9).old.raw", RawSize{8, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::optional<RawSize> got = ParseRawSize(c.path);
    ASSERT_EQ(got.has_value(), c.size.has_value());
    if (got) {
      EXPECT_EQ(got->width, c.size->width);
      EXPECT_EQ(got->height, c.size->height);
    }
  }
  EXPECT_THROW(ParseRawSize("(99999999999x5).raw"), Error);
}

TEST(DetectPictureKind, ByExtensionAndKHeader) {
  TempDir dir;
  struct KCase {
    const char* name;
    std::uint32_t bits;
    PictureKind kind;
  } kCases[] = {{"a.k", 18, PictureKind::K18}, {"b.K", 32, PictureKind::K32}, {"c.k", 24, PictureKind::K32},
                {"d.k", 0, PictureKind::K32}};
  for (const KCase& c : kCases) {
    test::WriteBytes(dir / c.name, KFile(c.bits));
    EXPECT_EQ(DetectPictureKind(dir / c.name), c.kind) << c.name;
  }
  // Not opened: these files do not exist.
  struct Case {
    const char* name;
    PictureKind kind;
  } cases[] = {{"pic.Raw", PictureKind::Raw}, {"skin.G", PictureKind::G}, {"x.gif", PictureKind::Other},
               {"x.png", PictureKind::Other}, {"x.raw.bak", PictureKind::Other}, {"noext", PictureKind::Other}};
  for (const Case& c : cases) EXPECT_EQ(DetectPictureKind(dir / c.name), c.kind) << c.name;
  test::WriteBytes(dir / "short.k", Bytes(15, 0));
  EXPECT_THROW(DetectPictureKind(dir / "short.k"), Error);
  EXPECT_THROW(DetectPictureKind(dir / "missing.k"), Error);
}

TEST(PictureKindOf, ByExtensionAndTheKHeaderGiven) {
  const Bytes k18 = KFile(18), k32 = KFile(32), k24 = KFile(24);
  struct Case {
    const char* name;
    std::span<const std::uint8_t> head;
    PictureKind kind;
  };
  const Case cases[] = {
      {"a.k", k18, PictureKind::K18},
      {"a.K", std::span(k18).first(16), PictureKind::K18},
      {"a.k", k32, PictureKind::K32},
      {"a.k", k24, PictureKind::K32},
      {"a.k", std::span(k18).first(15), PictureKind::K32},  // too short to hold the header
      {"a.k", {}, PictureKind::K32},
      {"a.g", k18, PictureKind::G},
      {"a.G", {}, PictureKind::G},
      {"a.raw", {}, PictureKind::Raw},
      {"a.gif", {}, PictureKind::Other},
      {"k", {}, PictureKind::Other},
  };
  for (const Case& c : cases) EXPECT_EQ(PictureKindOf(c.name, c.head), c.kind) << c.name << " " << c.head.size();
}

TEST(RawToBmp, RawPictures) {
  TempDir dir;
  Bitmap picture = test::Pattern(5, 3, true);
  test::WriteBytes(dir / "4(5x3).raw", EncodeRawBytes(picture, "p"));
  RawToBmpResult r = RawToBmp(dir / "4(5x3).raw", dir / "4.png", kPngFormat);
  EXPECT_TRUE(r.produced);
  EXPECT_EQ(r.kind, PictureKind::Raw);
  EXPECT_EQ(r.target, dir / "4.png");
  EXPECT_EQ(r.size.width, 5);
  EXPECT_EQ(r.size.height, 3);
  std::optional<Bitmap> back = graphics::LoadBitmap(dir / "4.png");
  ASSERT_TRUE(back);
  EXPECT_EQ(graphics::AlphaOf(back->At(0, 1)), 0);
  EXPECT_EQ(back->At(3, 2), DecodeRawBytes(EncodeRawBytes(picture, "p"), 5, 3, "p").At(3, 2));

  // A zero size leaves an empty target; no size tag writes nothing.
  test::WriteBytes(dir / "5(0x20).raw", {});
  test::WriteBytes(dir / "5.raw", {});
  r = RawToBmp(dir / "5(0x20).raw", dir / "5a.png", kPngFormat);
  EXPECT_FALSE(r.produced);
  EXPECT_EQ(r.size.width, 0);
  EXPECT_TRUE(test::ReadBytes(dir / "5a.png").empty());
  EXPECT_FALSE(RawToBmp(dir / "5.raw", dir / "5b.png", kPngFormat).produced);
  EXPECT_FALSE(std::filesystem::exists(dir / "5b.png"));

  // A negative size is refused, nothing written.
  test::WriteBytes(dir / "6(10x-5).raw", Bytes(10, 0));
  EXPECT_THROW(RawToBmp(dir / "6(10x-5).raw", dir / "6.png", kPngFormat), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "6.png"));
  // Ordinary pictures are not device pictures.
  graphics::SaveBitmap(picture, dir / "o.gif", "image/gif");
  EXPECT_FALSE(RawToBmp(dir / "o.gif", dir / "o2.png", kPngFormat).produced);
}

TEST(RawToBmp, KPicturesInEveryOutputFormat) {
  TempDir dir;
  Bitmap picture = test::Pattern(6, 4, false, 5);
  test::WriteBytes(dir / "a.k", EncodeKBytes(picture, KLayout::Bits18, "a.k"));
  test::WriteBytes(dir / "b.k", EncodeKBytes(picture, KLayout::Bits32, "b.k"));
  for (int format = 0; format < 4; ++format) {
    for (const char* name : {"a.k", "b.k"}) {
      SCOPED_TRACE(testing::Message() << name << " format " << format);
      std::filesystem::path target = dir / (std::string(name) + std::string(OutputFormats[format].extension));
      RawToBmpResult r = RawToBmp(dir / name, target, format);
      EXPECT_TRUE(r.produced);
      EXPECT_EQ(r.kind, name[0] == 'a' ? PictureKind::K18 : PictureKind::K32);
      EXPECT_EQ(r.size.width, 6);
      EXPECT_EQ(r.size.height, 4);
      std::optional<graphics::PictureInfo> info = graphics::ReadPictureInfo(target);
      ASSERT_TRUE(info);
      EXPECT_EQ(graphics::ImageEncoders()[graphics::FindEncoderByMime(OutputFormats[format].mime)].format,
                info->format);
    }
  }
}

TEST(GPictures, RestoreBySignatureAndStoreAsG) {
  TempDir dir;
  graphics::SaveBitmap(test::Pattern(3, 3), dir / "p.gif", "image/gif");
  graphics::SaveBitmap(test::Pattern(3, 3), dir / "p.png", "image/png");
  graphics::SaveBitmap(test::Pattern(3, 3), dir / "p.bmp", "image/bmp");
  test::WriteBytes(dir / "tiny", {'G', 'I', 'F'});
  struct Case {
    const char* source;
    const char* restored;
  } cases[] = {{"p.gif", "r1.gif"}, {"p.png", "r2.png"}, {"p.bmp", "r3.unk"}, {"tiny", "r4.unk"}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ++n;
    std::filesystem::path g = StoreGPicture(dir / c.source, dir / ("r" + std::to_string(n) + ".bmp"));
    EXPECT_EQ(g, dir / ("r" + std::to_string(n) + ".g"));
    RawToBmpResult r = RawToBmp(g, dir / ("r" + std::to_string(n) + ".png"), kPngFormat);
    EXPECT_TRUE(r.produced);
    EXPECT_EQ(r.kind, PictureKind::G);
    EXPECT_EQ(r.target, dir / c.restored);
    EXPECT_EQ(test::ReadBytes(r.target), test::ReadBytes(dir / c.source));
    EXPECT_EQ(r.size.width, 0);  // a G picture's size is not read
  }
}

TEST(BmpToRaw, KindsAndTargets) {
  TempDir dir;
  Bitmap picture = test::Pattern(7, 5, true);
  graphics::SaveBitmap(picture, dir / "a.GIF", "image/gif");
  graphics::SaveBitmap(picture, dir / "a.bmp", "image/bmp");

  // A GIF wanted as K18 is stored as it is, as a G picture.
  std::optional<BmpToRawResult> g = BmpToRaw(dir / "a.GIF", PictureKind::K18, dir / "t.bmp");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->written, dir / "t.g");
  EXPECT_EQ(test::ReadBytes(dir / "t.g"), test::ReadBytes(dir / "a.GIF"));
  EXPECT_EQ(g->size.width, 0);

  // Wanted as Raw it is encoded under the path given.
  std::optional<BmpToRawResult> raw = BmpToRaw(dir / "a.GIF", PictureKind::Raw, dir / "t.bmp");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->written, dir / "t.bmp");
  EXPECT_EQ(test::ReadBytes(dir / "t.bmp").size(), RawFileLength(7, 5));
  EXPECT_EQ(raw->size.width, 7);
  EXPECT_EQ(raw->size.height, 5);

  EXPECT_EQ(BmpToRaw(dir / "a.bmp", PictureKind::K18, dir / "u.bmp")->written, dir / "u.k");
  EXPECT_EQ(DetectPictureKind(dir / "u.k"), PictureKind::K18);
  EXPECT_EQ(BmpToRaw(dir / "a.bmp", PictureKind::K32, dir / "v")->written, dir / "v.k");
  EXPECT_EQ(DetectPictureKind(dir / "v.k"), PictureKind::K32);
  EXPECT_FALSE(BmpToRaw(dir / "a.bmp", PictureKind::Other, dir / "w.raw"));
  EXPECT_FALSE(std::filesystem::exists(dir / "w.raw"));

  // An unreadable source: an empty RAW picture and a 0 x 0 size for the caller to see.
  test::WriteText(dir / "bad.png", "\x89PNG but not really");
  std::optional<BmpToRawResult> bad = BmpToRaw(dir / "bad.png", PictureKind::Raw, dir / "bad.raw");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->written, dir / "bad.raw");
  EXPECT_TRUE(test::ReadBytes(dir / "bad.raw").empty());
  EXPECT_EQ(bad->size.width, 0);
  EXPECT_EQ(bad->size.height, 0);
  // ...but K pictures of it are refused.
  test::WriteText(dir / "bad.bmp", "BM nonsense");
  EXPECT_THROW(BmpToRaw(dir / "bad.bmp", PictureKind::K18, dir / "bad.k"), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.k"));
}

TEST(GetPictureSize, HeadersAndUnreadableFiles) {
  TempDir dir;
  Bitmap picture = test::Pattern(9, 4);
  for (const auto& encoder : graphics::ImageEncoders()) {
    std::filesystem::path file = dir / ("p" + std::string(encoder.extension));
    graphics::SaveBitmap(picture, file, encoder.mime);
    RawSize size = GetPictureSize(file);
    EXPECT_EQ(size.width, 9) << encoder.mime;
    EXPECT_EQ(size.height, 4) << encoder.mime;
  }
  test::WriteText(dir / "x.png", "no picture");
  EXPECT_EQ(GetPictureSize(dir / "x.png").width, 0);
  EXPECT_EQ(GetPictureSize(dir / "missing.png").height, 0);
}

TEST(ScalePicture, StretchesWithoutKeepingAspect) {
  TempDir dir;
  Bitmap picture(10, 10, 0xFF3366CC);
  graphics::SaveBitmap(picture, dir / "s.png", "image/png");
  ASSERT_TRUE(ScalePicture(dir / "s.png", dir / "t.png", 20, "image/png", 5));
  std::optional<Bitmap> out = graphics::LoadBitmap(dir / "t.png");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->Width(), 20);
  EXPECT_EQ(out->Height(), 5);
  // A solid picture stays solid to the edges: no transparent fringe.
  EXPECT_LE(test::MaxDifference(*out, Bitmap(20, 5, 0xFF3366CC)), 1);
}

TEST(ScalePicture, LeavesTheTargetAloneWhenThereIsNothingToDraw) {
  TempDir dir;
  graphics::SaveBitmap(Bitmap(4, 4, 0xFF000000), dir / "s.png", "image/png");
  test::WriteText(dir / "bad.png", "garbage");
  test::WriteText(dir / "t.png", "old");
  struct Case {
    const char* source;
    int width, height;
    const char* mime;
  } cases[] = {{"s.png", 0, 5, "image/png"},   {"s.png", 5, 0, "image/png"},  {"s.png", -1, 5, "image/png"},
               {"bad.png", 5, 5, "image/png"}, {"none.png", 5, 5, "image/png"}, {"s.png", 5, 5, "image/PNG"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(ScalePicture(dir / c.source, dir / "t.png", c.width, c.mime, c.height)) << c.source;
  }
  EXPECT_EQ(test::ReadText(dir / "t.png"), "old");
}

// Pixels of at least half alpha: the area the shapes cover.
std::size_t OpaqueArea(const Bitmap& b) {
  return static_cast<std::size_t>(std::count_if(b.Pixels().begin(), b.Pixels().end(),
                                                [](graphics::Argb c) { return graphics::AlphaOf(c) >= 128; }));
}

// A transparent icon redrawn into a target that holds only opaque and transparent
// pixels keeps the area of its shapes: that of ImageMagick's Catmull-Rom resize of the
// same icon, counted at half alpha. So does the RAW picture compiled from a PNG target.
TEST(ScalePicture, TransparentIconsKeepTheirShapeWhereAlphaIsTwoLevel) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  // The PNG that DRM unpack makes of a RAW picture: opaque and transparent pixels only.
  graphics::SaveBitmap(test::Pattern(40, 40, false), dir / "raw-made.png", "image/png");
  struct Case {
    int iconWidth, iconHeight;
    const char* target;
    const char* mime;
    int width, height;
  } cases[] = {
      {176, 220, "a.gif", "image/gif", 48, 48},  {96, 96, "b.gif", "image/gif", 16, 16},
      {176, 220, "c.bmp", "image/bmp", 48, 48},  {32, 32, "d.bmp", "image/bmp", 20, 20},
      {96, 96, "raw-made.png", "image/png", 40, 40}, {176, 220, "raw-made.png", "image/png", 30, 34},
  };
  for (const Case& c : cases) {
    std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    SCOPED_TRACE(std::to_string(c.iconWidth) + "x" + std::to_string(c.iconHeight) + " -> " + size + " " + c.target);
    std::filesystem::path icon = dir / "icon.png", target = dir / c.target, reference = dir / "ref.png";
    sample::WriteFile(icon.string(),
                      sample::EncodeIconPng(sample::DrawTransparentIcon(c.iconWidth, c.iconHeight, true)));
    ASSERT_TRUE(
        test::Magick(test::Quote(icon) + " -filter Catrom -resize " + size + "! PNG32:" + test::Quote(reference)));
    std::optional<Bitmap> expected = test::MagickRead(reference);
    ASSERT_TRUE(expected);

    ASSERT_TRUE(ScalePicture(icon, target, c.width, c.mime, c.height));
    std::optional<Bitmap> drawn = test::MagickRead(target);
    ASSERT_TRUE(drawn);
    EXPECT_FALSE(drawn->HasPartialAlpha());
    const double area = static_cast<double>(OpaqueArea(*expected));
    EXPECT_NEAR(static_cast<double>(OpaqueArea(*drawn)), area, std::max(2.0, 0.02 * area));
    // Opaque pixels keep the shapes' own colours (no white mixed into the edges);
    // transparent ones are white, for a reader that ignores alpha.
    for (std::size_t i = 0; i < drawn->Pixels().size(); ++i) {
      graphics::Argb ours = drawn->Pixels()[i], theirs = expected->Pixels()[i];
      if (graphics::AlphaOf(ours) == 0) {
        if (std::string(c.mime) == "image/bmp") {
          EXPECT_EQ(ours & 0xFFFFFFu, 0xFFFFFFu) << i;
        }
        continue;
      }
      if (graphics::AlphaOf(theirs) < 160) continue;  // ImageMagick's colours there are its own guess
      for (int shift : {0, 8, 16}) {
        EXPECT_NEAR(static_cast<int>((ours >> shift) & 255), static_cast<int>((theirs >> shift) & 255), 24)
            << i << " " << std::hex << ours << " " << theirs;
      }
    }
    if (std::string(c.target) == "raw-made.png") {
      ASSERT_TRUE(BmpToRaw(target, PictureKind::Raw, dir / "pic.raw"));
      Bitmap raw = DecodeRawBytes(test::ReadBytes(dir / "pic.raw"), c.width, c.height, "pic.raw");
      EXPECT_NEAR(static_cast<double>(OpaqueArea(raw)), area, std::max(2.0, 0.02 * area));
    }
  }
}

TEST(ScalePicture, PngTargetsKeepTheirKindOfTransparency) {
  TempDir dir;
  sample::WriteFile((dir / "icon.png").string(), sample::EncodeIconPng(sample::DrawTransparentIcon(96, 96, true)));
  Bitmap soft(8, 8, 0x80FF0000);
  struct Case {
    const char* name;
    std::optional<Bitmap> replaced;  // the target before; nothing when there is none
    bool softEdges;
  } cases[] = {
      {"no target yet", std::nullopt, true},
      {"a target with soft edges", soft, true},
      {"a target of opaque and transparent pixels", test::Pattern(8, 8, false), false},
      {"an opaque target", Bitmap(8, 8, 0xFF00FF00), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::path target = dir / "t.png";
    std::filesystem::remove(target);
    if (c.replaced) graphics::SaveBitmap(*c.replaced, target, "image/png");
    ASSERT_TRUE(ScalePicture(dir / "icon.png", target, 40, "image/png", 40));
    std::optional<Bitmap> drawn = graphics::LoadBitmap(target);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->HasPartialAlpha(), c.softEdges);
  }
}

}  // namespace
}  // namespace resmill::image
