// RAW and K pictures: layouts, colour reduction and expansion, masks, limits.

#include <functional>

#include <gtest/gtest.h>

#include "image/graphics/graphics.h"
#include "image/raw_picture.h"
#include "image_test_util.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "test_support.h"

namespace resmill::image {
namespace {

using graphics::Bitmap;
using graphics::MakeArgb;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bitmap Solid(int w, int h, graphics::Argb c) { return Bitmap(w, h, c); }

TEST(RawPicture, FileLengthsFollowTheMaskRule) {
  struct Case {
    int w, h;
    std::size_t length;
  } cases[] = {{1, 1, 4}, {3, 3, 20}, {8, 2, 34}, {176, 220, 82280}, {4, 4, 34}, {17, 1, 38}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_EQ(RawFileLength(c.w, c.h), c.length);
    EXPECT_EQ(EncodeRawBytes(Solid(c.w, c.h, 0xFF102030), "t").size(), c.length);
  }
}

TEST(RawPicture, PrimaryColoursEncodeAndWhiteExpandsWithoutReplication) {
  struct Case {
    graphics::Argb colour;
    Bytes raw;
    Bytes k18;
  } cases[] = {
      {MakeArgb(255, 255, 0, 0), {0xF8, 0x00}, {0x00, 0xF0, 0x03}},
      {MakeArgb(255, 0, 255, 0), {0x07, 0xE0}, {0xC0, 0x0F, 0x00}},
      {MakeArgb(255, 0, 0, 255), {0x00, 0x1F}, {0x3F, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    Bytes raw = EncodeRawBytes(Solid(1, 1, c.colour), "t");
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 2), c.raw);
    Bytes k = EncodeKBytes(Solid(1, 1, c.colour), KLayout::Bits18, "t.k");
    EXPECT_EQ(Bytes(k.begin() + 16, k.begin() + 19), c.k18);
  }
  Bitmap white = DecodeRawBytes(Bytes{0xFF, 0xFF, 0x00, 0x00}, 1, 1, "t");
  EXPECT_EQ(white.At(0, 0), MakeArgb(255, 248, 252, 248));
}

TEST(RawPicture, MasksOfOneTransparentCornerInBothFormats) {
  Bitmap b = Solid(3, 3, 0xFF808080);
  b.Set(0, 0, 0x00808080);
  Bytes raw = EncodeRawBytes(b, "t");
  EXPECT_EQ(Bytes(raw.end() - 2, raw.end()), (Bytes{0x80, 0x00}));
  Bytes k = EncodeKBytes(b, KLayout::Bits18, "t.k");
  ASSERT_EQ(k.size(), 16u + 3 * 12 + 3 * 4);
  EXPECT_EQ(Bytes(k.end() - 12, k.end()), (Bytes{6, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0}));
  // And back: only the corner is transparent.
  for (const Bitmap& back : {DecodeRawBytes(raw, 3, 3, "t"), DecodeKBytes(k, KLayout::Bits18, "t.k")}) {
    EXPECT_EQ(graphics::AlphaOf(back.At(0, 0)), 0);
    EXPECT_EQ(graphics::AlphaOf(back.At(1, 0)), 255);
    EXPECT_EQ(graphics::AlphaOf(back.At(2, 2)), 255);
  }
}

TEST(RawPicture, AlphaOneIsOpaqueExceptIn32BitK) {
  Bitmap b = Solid(2, 1, MakeArgb(1, 200, 100, 40));
  EXPECT_EQ(graphics::AlphaOf(DecodeRawBytes(EncodeRawBytes(b, "t"), 2, 1, "t").At(1, 0)), 255);
  EXPECT_EQ(graphics::AlphaOf(DecodeKBytes(EncodeKBytes(b, KLayout::Bits18, "k"), KLayout::Bits18, "k").At(1, 0)),
            255);
  Bitmap k32 = DecodeKBytes(EncodeKBytes(b, KLayout::Bits32, "k"), KLayout::Bits32, "k");
  EXPECT_EQ(k32.At(1, 0), MakeArgb(1, 200, 100, 40));
}

TEST(KPicture, StridesAndHeader) {
  struct Case {
    int width;
    KLayout layout;
    std::uint32_t stride, maskStride;
  } cases[] = {{5, KLayout::Bits18, 16, 4},  {1, KLayout::Bits18, 4, 4}, {3, KLayout::Bits32, 12, 0},
               {33, KLayout::Bits18, 100, 8}, {32, KLayout::Bits18, 96, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    Bytes k = EncodeKBytes(Solid(c.width, 2, 0xFFFFFFFF), c.layout, "t.k");
    KHeader h = ReadKHeader(k, "t.k");
    EXPECT_EQ(h.width, static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(h.height, 2u);
    EXPECT_EQ(h.bitsPerPixel, c.layout == KLayout::Bits18 ? 18u : 32u);
    EXPECT_EQ(h.stride, c.stride);
    EXPECT_EQ(k.size(), 16 + 2 * c.stride + 2 * c.maskStride);
  }
}

TEST(DevicePictures, RoundTripsReduceColoursAsTheFormatsSay) {
  Bitmap source = test::Pattern(13, 7, true);
  Bitmap raw = DecodeRawBytes(EncodeRawBytes(source, "t"), 13, 7, "t");
  Bitmap k18 = DecodeKBytes(EncodeKBytes(source, KLayout::Bits18, "t"), KLayout::Bits18, "t");
  Bitmap k32 = DecodeKBytes(EncodeKBytes(source, KLayout::Bits32, "t"), KLayout::Bits32, "t");
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) {
      graphics::Argb c = source.At(x, y);
      std::uint8_t a = graphics::AlphaOf(c) == 0 ? 0 : 255;
      EXPECT_EQ(raw.At(x, y), MakeArgb(a, graphics::RedOf(c) & 0xF8, graphics::GreenOf(c) & 0xFC,
                                       graphics::BlueOf(c) & 0xF8));
      EXPECT_EQ(k18.At(x, y), MakeArgb(a, graphics::RedOf(c) & 0xFC, graphics::GreenOf(c) & 0xFC,
                                       graphics::BlueOf(c) & 0xFC));
      EXPECT_EQ(k32.At(x, y), c);
    }
  }
}

TEST(DevicePictures, ShortFilesDecodeTheMissingPixelsAsTransparent) {
  Bitmap source = Solid(4, 4, 0xFF204080);
  Bytes raw = EncodeRawBytes(source, "t");
  Bytes k18 = EncodeKBytes(source, KLayout::Bits18, "t");
  Bytes k32 = EncodeKBytes(source, KLayout::Bits32, "t");
  struct Case {
    const char* name;
    Bitmap decoded;
    int firstMissing;  // pixel index from which all are transparent
  } cases[] = {
      {"raw without mask", DecodeRawBytes(Bytes(raw.begin(), raw.begin() + 32), 4, 4, "t"), 0},
      {"raw cut in pixels", DecodeRawBytes(Bytes(raw.begin(), raw.begin() + 11), 4, 4, "t"), 0},
      {"raw complete", DecodeRawBytes(raw, 4, 4, "t"), 16},
      {"k32 cut", DecodeKBytes(Bytes(k32.begin(), k32.begin() + 16 + 4 * 6 + 2), KLayout::Bits32, "t"), 6},
      {"k18 mask cut", DecodeKBytes(Bytes(k18.begin(), k18.end() - 8), KLayout::Bits18, "t"), 8},
      {"k18 header only", DecodeKBytes(Bytes(k18.begin(), k18.begin() + 16), KLayout::Bits18, "t"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(graphics::AlphaOf(c.decoded.Pixels()[i]), i >= c.firstMissing ? 0 : 255) << i;
    }
  }
}

TEST(DevicePictures, RefusesWhatTheFormatsCannotHold) {
  auto kHeader = [](std::uint32_t w, std::uint32_t h, std::uint32_t bits, std::uint32_t stride) {
    Bytes b(16);
    PutU32LE(w, &b[0]);
    PutU32LE(h, &b[4]);
    PutU32LE(bits, &b[8]);
    PutU32LE(stride, &b[12]);
    return b;
  };
  struct Case {
    const char* name;
    std::function<void()> run;
    Error::Kind kind;
  } cases[] = {
      {"raw 176x221", [] { EncodeRawBytes(Solid(176, 221, 0xFF000000), "big.png"); }, Error::Kind::Limit},
      {"raw decode 200x200", [] { DecodeRawBytes({}, 200, 200, "x(200x200).raw"); }, Error::Kind::Limit},
      {"raw zero", [] { DecodeRawBytes({}, 0, 5, "x(0x5).raw"); }, Error::Kind::Format},
      {"k zero width", [&] { DecodeKBytes(kHeader(0, 5, 18, 0), KLayout::Bits18, "z.k"); }, Error::Kind::Format},
      {"k short header", [] { DecodeKBytes(Bytes(15), KLayout::Bits32, "s.k"); }, Error::Kind::Format},
      {"k32 641x480", [&] { DecodeKBytes(kHeader(641, 480, 32, 2564), KLayout::Bits32, "b.k"); },
       Error::Kind::Limit},
      {"k huge stride", [&] { DecodeKBytes(kHeader(1, 2, 32, 0x80000000u), KLayout::Bits32, "b.k"); },
       Error::Kind::Limit},
      {"k width beyond stride", [&] { DecodeKBytes(kHeader(0xFFFFFFFFu, 1, 18, 4), KLayout::Bits18, "b.k"); },
       Error::Kind::Limit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.run();
      ADD_FAILURE() << "not refused";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
    }
  }
  // 640 x 480 is the largest 32-bit K picture.
  EXPECT_EQ(DecodeKBytes(kHeader(640, 480, 32, 2560), KLayout::Bits32, "ok.k").Width(), 640);
}

TEST(DevicePictures, OtherBitDepthsDecodeAs32BitWithTheHeaderStride) {
  // bits-per-pixel 24 and a stride of 8 for 1-pixel rows: each row starts 8 bytes on.
  Bytes k(16 + 16, 0);
  PutU32LE(1, &k[0]);
  PutU32LE(2, &k[4]);
  PutU32LE(24, &k[8]);
  PutU32LE(8, &k[12]);
  k[16 + 0] = 1, k[16 + 1] = 2, k[16 + 2] = 3, k[16 + 3] = 255;
  k[24 + 0] = 4, k[24 + 1] = 5, k[24 + 2] = 6, k[24 + 3] = 7;
  Bitmap b = DecodeKBytes(k, KLayout::Bits32, "t.k");
  EXPECT_EQ(b.At(0, 0), MakeArgb(255, 3, 2, 1));
  EXPECT_EQ(b.At(0, 1), MakeArgb(7, 6, 5, 4));
}

TEST(DevicePictures, FileOperationsWriteNothingOnRefusal) {
  TempDir dir;
  test::WriteBytes(dir / "short.k", Bytes(10, 0));
  graphics::SaveBitmap(Solid(200, 200, 0xFF0000FF), dir / "big.png", "image/png");
  test::WriteText(dir / "out.png", "keep me");
  EXPECT_THROW(DecodeK32(dir / "short.k", dir / "out.png", "image/png"), Error);
  EXPECT_THROW(DecodeRaw16(dir / "short.k", dir / "out.png", 200, "image/png", 200), Error);
  EXPECT_THROW(EncodeK18(dir / "short.k", dir / "out.png"), Error);  // not a picture
  EXPECT_EQ(test::ReadText(dir / "out.png"), "keep me");
  EXPECT_EQ(test::ListFolder(dir.path()), (std::vector<std::string>{"big.png", "out.png", "short.k"}));
}

}  // namespace
}  // namespace resmill::image
