#include "image/contact_sheet.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "image/graphics/graphics.h"
#include "image/tiny_font.h"
#include "platform/error.h"

namespace resmill::image {

using graphics::Argb;
using graphics::Bitmap;

namespace {

inline constexpr int kLabelHeight = kGlyphHeight + 2 * kLabelGap;

/// `over` composited onto the opaque `under` with `over`'s alpha.
Argb Blend(Argb over, Argb under) {
  const unsigned a = graphics::AlphaOf(over);
  if (a == 255) return over;
  if (a == 0) return under;
  auto mix = [a](unsigned top, unsigned bottom) {
    return static_cast<std::uint8_t>((top * a + bottom * (255 - a) + 127) / 255);
  };
  return graphics::MakeArgb(255, mix(graphics::RedOf(over), graphics::RedOf(under)),
                            mix(graphics::GreenOf(over), graphics::GreenOf(under)),
                            mix(graphics::BlueOf(over), graphics::BlueOf(under)));
}

}  // namespace

ContactSheet::ContactSheet(std::span<const SheetCell> cells, const SheetOptions& options) {
  if (cells.empty()) throw Error(Error::Kind::Refused, "a contact sheet needs at least one picture");
  if (options.columns < 1) {
    throw Error(Error::Kind::Refused, fmt::format("a contact sheet needs at least one column, not {}", options.columns));
  }
  if (options.maxCellSide < kMinCellSide) {
    throw Error(Error::Kind::Refused,
                fmt::format("contact sheet cells of {} pixels are smaller than {}", options.maxCellSide, kMinCellSide));
  }
  int widest = kMinCellSide, tallest = kMinCellSide, labelWidth = 0;
  for (const SheetCell& cell : cells) {
    widest = std::max(widest, cell.width);
    tallest = std::max(tallest, cell.height);
    labelWidth = std::max(labelWidth, TextWidth(cell.label));
    labels_.push_back(cell.label);
  }
  areaWidth_ = std::min(widest, options.maxCellSide);
  areaHeight_ = std::min(tallest, options.maxCellSide);
  cellWidth_ = std::max(areaWidth_, labelWidth);
  columns_ = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(options.columns), cells.size()));
  const std::int64_t rows = (static_cast<std::int64_t>(cells.size()) + columns_ - 1) / columns_;
  const std::int64_t width = kSheetMargin + std::int64_t{columns_} * (cellWidth_ + kSheetMargin);
  const std::int64_t height = kSheetMargin + rows * (areaHeight_ + kLabelHeight + kSheetMargin);
  if (width > graphics::kMaxSide || height > graphics::kMaxSide ||
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > graphics::kMaxPixels) {
    throw Error(Error::Kind::Limit,
                fmt::format("a contact sheet of {} pictures in {} columns would be {} x {} pixels, more than a "
                            "picture may have; draw smaller cells or change the number of columns",
                            cells.size(), columns_, width, height));
  }
  sheet_ = Bitmap(static_cast<int>(width), static_cast<int>(height), kSheetBackground);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const SheetRect area = PictureArea(i);
    for (int y = 0; y < area.height; ++y) {
      Argb* row = sheet_.Row(area.top + y) + area.left;
      for (int x = 0; x < area.width; ++x) {
        row[x] = ((x / kCheckerSquare + y / kCheckerSquare) % 2 == 0) ? kCheckerLight : kCheckerDark;
      }
    }
    const SheetRect label = LabelPlace(i);
    DrawText(sheet_, label.left, label.top, labels_[i], kLabelColour);
  }
}

SheetRect ContactSheet::PictureArea(std::size_t index) const {
  const int column = static_cast<int>(index % static_cast<std::size_t>(columns_));
  const int row = static_cast<int>(index / static_cast<std::size_t>(columns_));
  const int cellX = kSheetMargin + column * (cellWidth_ + kSheetMargin);
  const int cellY = kSheetMargin + row * (areaHeight_ + kLabelHeight + kSheetMargin);
  return {cellX + (cellWidth_ - areaWidth_) / 2, cellY, areaWidth_, areaHeight_};
}

SheetRect ContactSheet::PicturePlace(std::size_t index, int width, int height) const {
  const SheetRect area = PictureArea(index);
  width = std::clamp(width, 0, area.width);
  height = std::clamp(height, 0, area.height);
  return {area.left + (area.width - width) / 2, area.top + (area.height - height) / 2, width, height};
}

SheetRect ContactSheet::LabelPlace(std::size_t index) const {
  const SheetRect area = PictureArea(index);
  const int cellX = area.left - (cellWidth_ - areaWidth_) / 2;
  return {cellX, area.top + area.height + kLabelGap, TextWidth(labels_.at(index)), kGlyphHeight};
}

void ContactSheet::DrawPicture(std::size_t index, const Bitmap& picture) {
  if (picture.Empty()) {
    MarkMissing(index);
    return;
  }
  const SheetRect area = PictureArea(index);
  const bool shrink = picture.Width() > area.width || picture.Height() > area.height;
  const Bitmap shrunk = shrink ? graphics::Thumbnail(picture, area.width, area.height) : Bitmap();
  const Bitmap& drawn = shrink ? shrunk : picture;
  const SheetRect place = PicturePlace(index, drawn.Width(), drawn.Height());
  for (int y = 0; y < place.height; ++y) {
    const Argb* in = drawn.Row(y);
    Argb* out = sheet_.Row(place.top + y) + place.left;
    for (int x = 0; x < place.width; ++x) out[x] = Blend(in[x], out[x]);
  }
}

void ContactSheet::MarkMissing(std::size_t index) {
  const SheetRect area = PictureArea(index);
  // Both diagonals, two pixels thick.
  const int steps = std::max(area.width, area.height);
  for (int s = 0; s < steps; ++s) {
    const int x = s * (area.width - 1) / std::max(steps - 1, 1);
    const int y = s * (area.height - 1) / std::max(steps - 1, 1);
    for (int t = 0; t < 2; ++t) {
      const int xt = std::min(x + t, area.width - 1);
      sheet_.Set(area.left + xt, area.top + y, kMissingColour);
      sheet_.Set(area.left + area.width - 1 - xt, area.top + y, kMissingColour);
    }
  }
}

}  // namespace resmill::image
