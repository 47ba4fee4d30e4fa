#pragma once
// A 5 x 7 pixel bitmap font for the labels the program draws itself (numbers
// and sizes on a contact sheet), so that core needs no text renderer: the
// digits, "x" and "?". Other characters are drawn as blanks.

#include <string_view>

#include "image/graphics/bitmap.h"

namespace resmill::image {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
/// Glyph width plus one column of space.
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;

/// Width in pixels of `text`, without the space after its last character.
int TextWidth(std::string_view text);
/// Draws `text` with its top-left corner at (x, y); what falls outside the bitmap is clipped.
void DrawText(graphics::Bitmap& bitmap, int x, int y, std::string_view text, graphics::Argb colour);

}  // namespace resmill::image
