// The graphics layer against ImageMagick: files it writes read the same with our
// codecs, and ours read the same with it.

#include <cstring>

#include <gtest/gtest.h>

#include "image/graphics/graphics.h"
#include "image_test_util.h"
#include "test_support.h"

namespace resmill::image::graphics {
namespace {

using test::Magick;
using test::Quote;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Fully transparent pixels carry no colour worth comparing.
Bitmap Normalised(Bitmap b) {
  for (Argb& c : b.Pixels()) {
    if (AlphaOf(c) == 0) c = 0;
  }
  return b;
}

class MagickTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("convert") || !test::HaveTool("identify")) GTEST_SKIP() << "ImageMagick missing";
  }
  TempDir dir_;
};

TEST_F(MagickTest, ReadsWhatImageMagickWrites) {
  Bitmap opaque = test::Pattern(21, 13);
  Bitmap alpha = test::Pattern(21, 13, true);
  SaveBitmap(opaque, dir_ / "opaque.png", "image/png");
  SaveBitmap(alpha, dir_ / "alpha.png", "image/png");
  ASSERT_TRUE(Magick("-seed 3 -size 40x30 plasma:fractal " + Quote(dir_ / "photo.png")));
  struct Case {
    const char* output;
    const char* arguments;  // "%s" is the source
    int tolerance;
  } cases[] = {
      {"a.png", "alpha.png PNG32:", 0},
      {"b.png", "opaque.png -depth 16 PNG48:", 0},
      {"c.png", "opaque.png -colors 7 PNG8:", 0},
      {"a.gif", "opaque.png -colors 60 GIF:", 0},
      {"b.gif", "alpha.png -colors 30 GIF:", 0},
      {"c.gif", "photo.png -interlace GIF GIF:", 0},
      {"a.bmp", "opaque.png -type truecolor BMP3:", 0},
      {"b.bmp", "alpha.png -define bmp:format=bmp4 BMP:", 0},
      {"c.bmp", "alpha.png BMP:", 0},
      {"d.bmp", "opaque.png -colors 200 -type palette BMP3:", 0},
      {"e.bmp", "opaque.png -colors 12 -type palette BMP3:", 0},
      {"f.bmp", "opaque.png -colors 2 -type bilevel BMP3:", 0},
      {"g.bmp", "opaque.png -colors 200 -type palette -compress RLE BMP3:", 0},
      {"h.bmp", "opaque.png -colors 12 -type palette -compress RLE BMP3:", 0},
      {"i.bmp", "opaque.png -type truecolor BMP2:", 0},
      {"k.bmp", "opaque.png -define bmp:subtype=RGB565 BMP:", 1},
      // 4-bit channels: we scale to the full range (15 -> 255), ImageMagick shifts (15 -> 240).
      {"m.bmp", "alpha.png -define bmp:subtype=ARGB4444 BMP:", 17},
      {"a.jpg", "photo.png -quality 90 JPEG:", 3},
      {"c.jpg", "photo.png -colorspace Gray JPEG:", 3},
      {"d.jpg", "photo.png -colorspace CMYK JPEG:", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    std::string arguments = c.arguments;
    std::size_t space = arguments.find(' ');
    std::filesystem::path out = dir_ / c.output;
    ASSERT_TRUE(Magick(Quote(dir_ / arguments.substr(0, space)) + arguments.substr(space) + Quote(out)));
    std::optional<Bitmap> ours = LoadBitmap(out);
    std::optional<Bitmap> theirs = test::MagickRead(out);
    ASSERT_TRUE(ours);
    ASSERT_TRUE(theirs);
    EXPECT_LE(test::MaxDifference(Normalised(*ours), Normalised(*theirs)), c.tolerance);
    std::optional<PictureInfo> info = ReadPictureInfo(out);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, ours->Width());
    EXPECT_EQ(info->height, ours->Height());
  }
}

TEST_F(MagickTest, BitFieldsWithoutStoredMasksUseTheDefaultMasks) {
  // ImageMagick writes such 5-5-5 files but reads them back black; we read the pixels.
  Bitmap opaque = test::Pattern(9, 5);
  SaveBitmap(opaque, dir_ / "opaque.png", "image/png");
  ASSERT_TRUE(Magick(Quote(dir_ / "opaque.png") + " -define bmp:subtype=RGB555 BMP3:" + Quote(dir_ / "555.bmp")));
  std::optional<Bitmap> ours = LoadBitmap(dir_ / "555.bmp");
  ASSERT_TRUE(ours);
  EXPECT_LE(test::MaxDifference(*ours, opaque), 8);
}

TEST_F(MagickTest, TopDownBmpReadsLikeBottomUp) {
  SaveBitmap(test::Pattern(5, 4), dir_ / "up.bmp", "image/bmp");
  Bytes bmp = test::ReadBytes(dir_ / "up.bmp");
  Bytes down = bmp;
  const std::size_t stride = 16, offset = 54;
  for (int row = 0; row < 4; ++row) {
    std::copy_n(bmp.begin() + offset + stride * (3 - row), stride, down.begin() + offset + stride * row);
  }
  std::int32_t negative = -4;
  std::memcpy(&down[22], &negative, 4);
  std::optional<Bitmap> a = LoadBitmapFromMemory(bmp), b = LoadBitmapFromMemory(down);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(test::MaxDifference(*a, *b), 0);
  EXPECT_EQ(test::MaxDifference(*a, test::Pattern(5, 4)), 0);
}

TEST_F(MagickTest, ImageMagickReadsWhatWeWrite) {
  ASSERT_TRUE(Magick("-seed 5 -size 64x48 plasma:fractal -blur 0x2 " + Quote(dir_ / "photo.png")));
  std::optional<Bitmap> photo = LoadBitmap(dir_ / "photo.png");
  ASSERT_TRUE(photo);
  struct Case {
    const char* name;
    Bitmap picture;
    const char* mime;
    int tolerance;
  } cases[] = {
      {"opaque.png", test::Pattern(17, 9), "image/png", 0},
      {"alpha.png", test::Pattern(17, 9, true), "image/png", 0},
      {"opaque.bmp", test::Pattern(17, 9), "image/bmp", 0},
      {"alpha.bmp", test::Pattern(17, 9, true), "image/bmp", 0},
      {"few.gif", test::Pattern(17, 9, false, 9), "image/gif", 0},
      {"photo.jpg", *photo, "image/jpeg", 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SaveBitmap(c.picture, dir_ / c.name, c.mime));
    std::optional<Bitmap> theirs = test::MagickRead(dir_ / c.name);
    ASSERT_TRUE(theirs);
    EXPECT_LE(test::MaxDifference(Normalised(c.picture), Normalised(*theirs)), c.tolerance);
  }
  EXPECT_GT(test::Psnr(*photo, *test::MagickRead(dir_ / "photo.jpg")), 35.0);
}

// The bytes of the Graphic Control Extension of a GIF we wrote: flags and transparent index.
std::optional<std::pair<int, int>> ControlExtension(const Bytes& gif) {
  for (std::size_t i = 13; i + 7 < gif.size(); ++i) {
    if (gif[i] == 0x21 && gif[i + 1] == 0xF9 && gif[i + 2] == 4) return std::pair<int, int>{gif[i + 3], gif[i + 6]};
  }
  return std::nullopt;
}

TEST_F(MagickTest, GifPaletteRules) {
  // Transparent pixels take index 40 and only they do; ImageMagick sees the same picture.
  Bitmap exact255 = test::Pattern(16, 16, false, 0);
  for (int i = 0; i < 256; ++i) exact255.Pixels()[i] = MakeArgb(255, static_cast<std::uint8_t>(i), 7, 9);
  exact255.Pixels()[255] = 0x00000000;  // 255 opaque colours and one transparent pixel
  Bitmap many(40, 30);  // a smooth picture of hundreds of colours: the quantiser
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      many.Set(x, y, MakeArgb(x == 0 ? 0 : 255, static_cast<std::uint8_t>(6 * x), static_cast<std::uint8_t>(8 * y),
                              static_cast<std::uint8_t>(3 * (x + y))));
    }
  }
  Bitmap opaqueFew = test::Pattern(8, 8, false, 3);
  struct Case {
    const char* name;
    const Bitmap* picture;
    bool exact, transparent;
  } cases[] = {{"exact255", &exact255, true, true}, {"many", &many, false, true}, {"few", &opaqueFew, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IndexedPicture indexed = QuantizeForGif(*c.picture);
    EXPECT_EQ(indexed.exact, c.exact);
    EXPECT_EQ(indexed.hasTransparent, c.transparent);
    EXPECT_LE(indexed.palette.size(), 256u);
    for (std::size_t i = 0; i < indexed.indices.size(); ++i) {
      EXPECT_EQ(indexed.indices[i] == kGifTransparentIndex, AlphaOf(c.picture->Pixels()[i]) == 0) << i;
      ASSERT_LT(indexed.indices[i], indexed.palette.size());
    }
    Bytes gif = EncodeGif(indexed);
    auto control = ControlExtension(gif);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->first & 1, c.transparent ? 1 : 0);
    if (c.transparent) {
      EXPECT_EQ(control->second, kGifTransparentIndex);
    }
    std::filesystem::path file = dir_ / (std::string(c.name) + ".gif");
    test::WriteBytes(file, gif);
    std::optional<Bitmap> theirs = test::MagickRead(file);
    std::optional<Bitmap> ours = LoadBitmap(file);
    ASSERT_TRUE(theirs && ours);
    EXPECT_EQ(test::MaxDifference(Normalised(*ours), Normalised(*theirs)), 0);
    Bitmap expected = *c.picture;
    for (Argb& p : expected.Pixels()) p = AlphaOf(p) == 0 ? 0 : (p | 0xFF000000u);
    if (c.exact) {
      EXPECT_EQ(test::MaxDifference(Normalised(*ours), expected), 0);
    } else {
      EXPECT_GT(test::Psnr(Normalised(*ours), expected), 30.0);
    }
  }
}

TEST_F(MagickTest, GifsicleAcceptsOurGifs) {
  if (!test::HaveTool("gifsicle")) GTEST_SKIP() << "gifsicle missing";
  test::WriteBytes(dir_ / "t.gif", EncodeGif(test::Pattern(30, 20, true)));
  std::string info;
  ASSERT_EQ(test::RunCommand("gifsicle --info " + Quote(dir_ / "t.gif"), &info), 0) << info;
  EXPECT_NE(info.find("transparent 40"), std::string::npos) << info;
}

TEST_F(MagickTest, FirstFrameOfAnAnimationOnItsScreen) {
  // Second frame differs; a first frame smaller than the screen leaves the rest transparent.
  ASSERT_TRUE(Magick("-size 20x10 xc:red -size 20x10 xc:blue -loop 0 " + Quote(dir_ / "anim.gif")));
  std::optional<Bitmap> first = LoadBitmap(dir_ / "anim.gif");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->At(19, 9), 0xFFFF0000u);
  ASSERT_TRUE(Magick("-size 6x4 xc:lime -repage 10x8+2+3 " + Quote(dir_ / "small.gif")));
  std::optional<Bitmap> framed = LoadBitmap(dir_ / "small.gif");
  ASSERT_TRUE(framed);
  EXPECT_EQ(framed->Width(), 10);
  EXPECT_EQ(framed->Height(), 8);
  EXPECT_EQ(framed->At(2, 3), 0xFF00FF00u);
  EXPECT_EQ(AlphaOf(framed->At(0, 0)), 0);
}

TEST(Encoders, FindEncoderByMimeIsExact) {
  struct Case {
    const char* mime;
    bool found;
  } cases[] = {{"image/gif", true},  {"image/png", true},   {"image/bmp", true},  {"image/jpeg", true},
               {"image/PNG", false}, {"image/jpg", false}, {"", false},          {"image/png ", false}};
  for (const Case& c : cases) {
    int index = FindEncoderByMime(c.mime);
    EXPECT_EQ(index >= 0, c.found) << c.mime;
    if (index >= 0) {
      EXPECT_EQ(ImageEncoders()[index].mime, c.mime);
    }
  }
}

TEST(Decoders, DamagedFilesAreUnreadableNotFatal) {
  Bitmap picture = test::Pattern(23, 17, true);
  for (const ImageEncoder& encoder : ImageEncoders()) {
    Bytes whole = EncodeBitmap(picture, FindEncoderByMime(encoder.mime));
    ASSERT_TRUE(LoadBitmapFromMemory(whole)) << encoder.mime;
    for (std::size_t cut : {std::size_t{3}, std::size_t{20}, whole.size() / 2, whole.size() - 20}) {
      SCOPED_TRACE(testing::Message() << encoder.mime << " cut at " << cut);
      EXPECT_FALSE(LoadBitmapFromMemory(Bytes(whole.begin(), whole.begin() + cut)));
    }
  }
}

TEST(Drawing, StretchCompositingAndThumbnails) {
  // Half-transparent red over opaque blue: source-over.
  Bitmap surface(4, 4, 0xFF0000FF);
  DrawStretched(surface, Bitmap(1, 1, MakeArgb(128, 255, 0, 0)), 1, 1, 2, 2);
  EXPECT_EQ(surface.At(0, 0), 0xFF0000FFu);
  EXPECT_EQ(AlphaOf(surface.At(1, 1)), 255);
  EXPECT_NEAR(RedOf(surface.At(1, 1)), 128, 1);
  EXPECT_NEAR(BlueOf(surface.At(1, 1)), 127, 1);
  // Fully transparent source pixels leave the transparent-white surface as it is.
  Bitmap clear = Stretch(Bitmap(3, 3, 0x00000000), 7, 5);
  for (Argb c : clear.Pixels()) EXPECT_EQ(c, kTransparentWhite);
  // Drawing partly outside the surface is clipped.
  Bitmap small(3, 3, kTransparentWhite);
  DrawStretched(small, Bitmap(2, 2, 0xFF00FF00), -1, 2, 10, 10);
  EXPECT_EQ(small.At(0, 2), 0xFF00FF00u);
  EXPECT_EQ(small.At(0, 1), kTransparentWhite);

  Bitmap wide(200, 50, 0xFF808080);
  Bitmap thumb = Thumbnail(wide, 64, 64);
  EXPECT_EQ(thumb.Width(), 64);
  EXPECT_EQ(thumb.Height(), 16);
  EXPECT_EQ(Thumbnail(Bitmap(10, 20, 0xFF000000), 64, 64).Height(), 20);
}

TEST(Drawing, AlphaDecidedAtHalf) {
  struct Case {
    Argb in, out;
    bool partial;  // what HasPartialAlpha says of the pixel alone
  } cases[] = {
      {0xFF123456, 0xFF123456, false}, {0x80123456, 0xFF123456, true},  {0x7F123456, kTransparentWhite, true},
      {0x01FF0000, kTransparentWhite, true}, {0x00123456, kTransparentWhite, false}, {0xFE000000, 0xFF000000, true},
  };
  for (const Case& c : cases) {
    Bitmap b(2, 1, 0xFF000000);
    b.Set(1, 0, c.in);
    EXPECT_EQ(b.HasPartialAlpha(), c.partial) << std::hex << c.in;
    SnapAlphaAtHalf(b);
    EXPECT_EQ(b.At(1, 0), c.out) << std::hex << c.in;
    EXPECT_EQ(b.At(0, 0), 0xFF000000u);
    EXPECT_FALSE(b.HasPartialAlpha());
  }
}

TEST_F(MagickTest, StretchStaysCloseToImageMagickCatrom) {
  struct Case {
    const char* source;
    int width, height;
  } cases[] = {{"-seed 11 -size 176x220 plasma:fractal -blur 0x1", 48, 48},
               {"rose: -resize 176x220!", 48, 48},
               {"-seed 12 -size 60x40 plasma:fractal -blur 0x1", 150, 90}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ASSERT_TRUE(Magick(std::string(c.source) + " " + Quote(dir_ / "src.png")));
    ASSERT_TRUE(Magick(Quote(dir_ / "src.png") + " -filter Catrom -resize " + std::to_string(c.width) + "x" +
                       std::to_string(c.height) + "! " + Quote(dir_ / "ref.png")));
    std::optional<Bitmap> source = LoadBitmap(dir_ / "src.png"), reference = LoadBitmap(dir_ / "ref.png");
    ASSERT_TRUE(source && reference);
    double psnr = test::Psnr(Stretch(*source, c.width, c.height), *reference);
    EXPECT_GT(psnr, 35.0);
    RecordProperty(c.source, std::to_string(psnr));
  }
}

}  // namespace
}  // namespace resmill::image::graphics
