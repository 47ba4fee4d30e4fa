#pragma once
// A contact sheet: many small pictures on one bitmap, in rows of cells, each
// over a checkerboard that shows its transparent pixels and labelled under it.
// The layout is fixed by the cells' listed sizes before any picture is drawn,
// so the pictures can be decoded and drawn one at a time.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "image/graphics/bitmap.h"

namespace resmill::image {

struct SheetCell {
  std::string label;  ///< drawn with the tiny font (digits, "x", "?"; other characters blank)
  int width = 0;      ///< the picture's size as listed; 0 when unknown
  int height = 0;
};

struct SheetOptions {
  int columns = 8;
  /// Pictures larger than this on a side are shrunk to fit, keeping their aspect ratio.
  int maxCellSide = 128;
};

using SheetRect = graphics::Rect;

inline constexpr int kSheetMargin = 6;
/// The smallest picture area of a cell, so that tiny pictures still get a visible cell.
inline constexpr int kMinCellSide = 16;
inline constexpr int kCheckerSquare = 8;
inline constexpr graphics::Argb kCheckerLight = graphics::MakeArgb(255, 255, 255, 255);
inline constexpr graphics::Argb kCheckerDark = graphics::MakeArgb(255, 204, 204, 204);
inline constexpr graphics::Argb kSheetBackground = graphics::MakeArgb(255, 240, 240, 240);
inline constexpr graphics::Argb kLabelColour = graphics::MakeArgb(255, 0, 0, 0);
inline constexpr graphics::Argb kMissingColour = graphics::MakeArgb(255, 220, 0, 0);
/// Space between a picture area and its label, and below the label.
inline constexpr int kLabelGap = 3;

class ContactSheet {
 public:
  /// Lays the cells out, `options.columns` to a row, and draws the background, each
  /// cell's checkerboard and its label. Refused for no cells or bad options; a sheet
  /// larger than a bitmap may be is refused (Limit) before anything is allocated.
  ContactSheet(std::span<const SheetCell> cells, const SheetOptions& options);

  /// Where cell `index`'s checkerboard lies.
  SheetRect PictureArea(std::size_t index) const;
  /// Where a picture of width × height is drawn in cell `index`: centred in the area
  /// (a larger picture is first shrunk to a thumbnail that fits; sizes beyond the area are cut here).
  SheetRect PicturePlace(std::size_t index, int width, int height) const;
  /// Where cell `index`'s label is drawn.
  SheetRect LabelPlace(std::size_t index) const;

  /// Draws `picture` at its place in cell `index`, blended over the checkerboard.
  void DrawPicture(std::size_t index, const graphics::Bitmap& picture);
  /// Crosses out cell `index`: there is no picture that can be drawn.
  void MarkMissing(std::size_t index);

  const graphics::Bitmap& Sheet() const noexcept { return sheet_; }

 private:
  int columns_ = 1;
  int areaWidth_ = 0;
  int areaHeight_ = 0;
  int cellWidth_ = 0;
  std::vector<std::string> labels_;
  graphics::Bitmap sheet_;
};

}  // namespace resmill::image
