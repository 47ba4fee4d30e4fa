// Contact sheets and the tiny label font.

#include <set>

#include <gtest/gtest.h>

#include "image/contact_sheet.h"
#include "image/tiny_font.h"
#include "platform/error.h"

namespace resmill::image {
namespace {

using graphics::Argb;
using graphics::Bitmap;
using graphics::MakeArgb;

constexpr Argb kInk = MakeArgb(255, 0, 0, 0);
constexpr Argb kPaper = MakeArgb(255, 255, 255, 255);

/// The pixels of a rectangle of `b`, row by row.
std::vector<Argb> Cut(const Bitmap& b, int x, int y, int width, int height) {
  std::vector<Argb> pixels;
  for (int row = y; row < y + height; ++row) {
    for (int column = x; column < x + width; ++column) pixels.push_back(b.At(column, row));
  }
  return pixels;
}

TEST(TinyFont, EveryGlyphIsDistinctAndStaysInsideItsBox) {
  const std::string characters = "0123456789x?";
  std::set<std::vector<Argb>> seen;
  for (char c : characters) {
    SCOPED_TRACE(std::string(1, c));
    Bitmap b(kGlyphAdvance + 4, kGlyphHeight + 4, kPaper);
    DrawText(b, 2, 2, std::string(1, c), kInk);
    int inked = 0;
    for (int y = 0; y < b.Height(); ++y) {
      for (int x = 0; x < b.Width(); ++x) {
        if (b.At(x, y) != kInk) continue;
        ++inked;
        EXPECT_TRUE(x >= 2 && x < 2 + kGlyphWidth && y >= 2 && y < 2 + kGlyphHeight) << x << "," << y;
      }
    }
    EXPECT_GT(inked, 4);
    EXPECT_TRUE(seen.insert(Cut(b, 2, 2, kGlyphWidth, kGlyphHeight)).second) << "looks like another glyph";
  }
}

TEST(TinyFont, UnknownCharactersAreBlanksAndDrawingIsClipped) {
  EXPECT_EQ(TextWidth(""), 0);
  EXPECT_EQ(TextWidth("1"), kGlyphWidth);
  EXPECT_EQ(TextWidth("12 3x4"), 6 * kGlyphAdvance - 1);
  Bitmap spaced(40, 10, kPaper), joined(40, 10, kPaper);
  DrawText(spaced, 0, 0, "1A2", kInk);
  DrawText(joined, 0, 0, "1 2", kInk);
  EXPECT_EQ(spaced.Pixels().size(), joined.Pixels().size());
  EXPECT_TRUE(std::equal(spaced.Pixels().begin(), spaced.Pixels().end(), joined.Pixels().begin()));
  // Half outside on every side: no write beyond the bitmap (the sanitizers watch this).
  Bitmap small(4, 4, kPaper);
  for (int at : {-3, -6, 2}) DrawText(small, at, at, "88", kInk);
  DrawText(small, 2, -3, "8", kInk);
}

struct Sheet {
  std::vector<SheetCell> cells;
  ContactSheet sheet;
  Sheet(std::vector<SheetCell> c, SheetOptions options) : cells(std::move(c)), sheet(cells, options) {}
};

TEST(ContactSheet, CellsFillRowsAndNeverOverlap) {
  std::vector<SheetCell> cells;
  for (int i = 1; i <= 7; ++i) cells.push_back({std::to_string(i) + " " + std::to_string(4 * i) + "x9", 4 * i, 9});
  cells.push_back({"8 500x20", 500, 20});  // larger than a cell: shrunk when drawn
  Sheet s(cells, SheetOptions{3, 64});
  const Bitmap& b = s.sheet.Sheet();
  std::vector<SheetRect> boxes;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    SCOPED_TRACE(i);
    const SheetRect area = s.sheet.PictureArea(i), label = s.sheet.LabelPlace(i);
    EXPECT_EQ(area.width, 64);  // the widest picture, capped
    EXPECT_EQ(area.height, 20);  // the tallest picture
    EXPECT_GT(label.top, area.top + area.height - 1);
    EXPECT_EQ(label.width, TextWidth(cells[i].label));
    for (const SheetRect& r : {area, label}) {
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.left + r.width <= b.Width() && r.top + r.height <= b.Height());
      boxes.push_back(r);
    }
    if (i % 3 != 0) {
      EXPECT_EQ(area.top, s.sheet.PictureArea(i - 1).top);
      EXPECT_GT(area.left, s.sheet.PictureArea(i - 1).left);
    } else if (i > 0) {
      EXPECT_GT(area.top, s.sheet.LabelPlace(i - 1).top + kGlyphHeight - 1);
    }
  }
  for (std::size_t a = 0; a < boxes.size(); ++a) {
    for (std::size_t c = a + 1; c < boxes.size(); ++c) {
      const SheetRect &p = boxes[a], &q = boxes[c];
      EXPECT_TRUE(p.left + p.width <= q.left || q.left + q.width <= p.left || p.top + p.height <= q.top ||
                  q.top + q.height <= p.top)
          << a << " overlaps " << c;
    }
  }
}

TEST(ContactSheet, DrawsPicturesOverACheckerboardWithTheirLabels) {
  Sheet s({{"1 3x2", 3, 2}, {"22 40x30", 40, 30}}, SheetOptions{});
  const Bitmap before = s.sheet.Sheet();
  Bitmap picture(3, 2, MakeArgb(255, 10, 20, 30));
  picture.Set(0, 0, MakeArgb(0, 255, 0, 0));       // transparent: the checkerboard shows
  picture.Set(1, 0, MakeArgb(128, 255, 255, 255));  // half: blended with the checkerboard
  s.sheet.DrawPicture(0, picture);
  const Bitmap& after = s.sheet.Sheet();
  const SheetRect place = s.sheet.PicturePlace(0, 3, 2), area = s.sheet.PictureArea(0);
  EXPECT_EQ(place.width, 3);
  EXPECT_EQ(place.left - area.left, (area.width - 3) / 2);
  EXPECT_EQ(after.At(place.left + 2, place.top + 1), MakeArgb(255, 10, 20, 30));
  EXPECT_EQ(after.At(place.left, place.top), before.At(place.left, place.top));
  const Argb under = before.At(place.left + 1, place.top), blended = after.At(place.left + 1, place.top);
  EXPECT_EQ(graphics::AlphaOf(blended), 255);
  EXPECT_GE(graphics::RedOf(blended), graphics::RedOf(under) / 2);
  EXPECT_NE(blended, under);
  // The checkerboard has both colours in squares, and nothing else was drawn on.
  EXPECT_EQ(before.At(area.left, area.top), kCheckerLight);
  EXPECT_EQ(before.At(area.left + kCheckerSquare, area.top), kCheckerDark);
  EXPECT_EQ(before.At(area.left + kCheckerSquare, area.top + kCheckerSquare), kCheckerLight);
  int changed = 0;
  for (std::size_t i = 0; i < after.Pixels().size(); ++i) changed += after.Pixels()[i] != before.Pixels()[i];
  EXPECT_LE(changed, 5);

  // Each label is the tiny font's drawing of its text.
  for (std::size_t i = 0; i < 2; ++i) {
    const SheetRect label = s.sheet.LabelPlace(i);
    Bitmap expected(label.width, label.height, kSheetBackground);
    DrawText(expected, 0, 0, s.cells[i].label, kLabelColour);
    EXPECT_EQ(Cut(after, label.left, label.top, label.width, label.height),
              Cut(expected, 0, 0, label.width, label.height));
  }
}

TEST(ContactSheet, ShrinksLargePicturesAndCrossesOutMissingOnes) {
  Sheet s({{"1 300x60", 300, 60}, {"2 ?", 0, 0}}, SheetOptions{2, 32});
  const SheetRect area = s.sheet.PictureArea(0);
  EXPECT_EQ(area.width, 32);
  const Bitmap before = s.sheet.Sheet();
  s.sheet.DrawPicture(0, Bitmap(300, 60, MakeArgb(255, 0, 0, 255)));
  const Bitmap& after = s.sheet.Sheet();
  // 300x60 fits 32 wide as 32x6, centred; the rows above it keep the checkerboard.
  EXPECT_EQ(after.At(area.left + 16, area.top + area.height / 2), MakeArgb(255, 0, 0, 255));
  EXPECT_EQ(after.At(area.left + 16, area.top), before.At(area.left + 16, area.top));
  s.sheet.MarkMissing(1);
  const SheetRect missing = s.sheet.PictureArea(1);
  for (auto [x, y] : {std::pair{0, 0}, {missing.width - 1, 0}, {0, missing.height - 1},
                      {missing.width - 1, missing.height - 1}}) {
    EXPECT_EQ(after.At(missing.left + x, missing.top + y), kMissingColour) << x << "," << y;
  }
}

TEST(ContactSheet, RefusesWhatItCannotDraw) {
  auto kind = [](std::vector<SheetCell> cells, SheetOptions options) {
    try {
      ContactSheet sheet(cells, options);
    } catch (const Error& e) {
      return e.kind();
    }
    return Error::Kind::Internal;
  };
  EXPECT_EQ(kind({}, SheetOptions{}), Error::Kind::Refused);
  EXPECT_EQ(kind({{"1", 4, 4}}, SheetOptions{0, 64}), Error::Kind::Refused);
  EXPECT_EQ(kind({{"1", 4, 4}}, SheetOptions{4, kMinCellSide - 1}), Error::Kind::Refused);
  // 20,000 cells of 128 pixels would need gigabytes: refused before anything is allocated.
  EXPECT_EQ(kind(std::vector<SheetCell>(20000, SheetCell{"1", 128, 128}), SheetOptions{100, 128}),
            Error::Kind::Limit);
  EXPECT_EQ(kind({{"1", 128, 128}}, SheetOptions{1, 128}), Error::Kind::Internal);  // drawn fine
}

}  // namespace
}  // namespace resmill::image
