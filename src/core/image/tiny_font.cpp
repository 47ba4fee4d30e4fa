#include "image/tiny_font.h"

#include <algorithm>
#include <array>

namespace resmill::image {

namespace {

constexpr std::string_view kCharacters = "0123456789x?";
// The glyphs of kCharacters side by side, each kGlyphWidth columns and a column
// of space; "#" is a drawn pixel.
constexpr std::array<std::string_view, kGlyphHeight> kRows = {
    ".###. ..#.. .###. ##### ...#. ##### ..##. ##### .###. .###. ..... .###.",
    "#...# .##.. #...# ...#. ..##. #.... .#... ....# #...# #...# ..... #...#",
    "#..## ..#.. ....# ..#.. .#.#. ####. #.... ...#. #...# #...# #...# ....#",
    "#.#.# ..#.. ...#. ...#. #..#. ....# ####. ..#.. .###. .#### .#.#. ...#.",
    "##..# ..#.. ..#.. ....# ##### ....# #...# .#... #...# ....# ..#.. ..#..",
    "#...# ..#.. .#... #...# ...#. #...# #...# .#... #...# ...#. .#.#. .....",
    ".###. .###. ##### .###. ...#. .###. .###. .#... .###. .##.. #...# ..#..",
};
static_assert(std::all_of(kRows.begin(), kRows.end(),
                          [](std::string_view row) { return row.size() == kCharacters.size() * kGlyphAdvance - 1; }));

// Where the glyph of `c` starts in each row; npos for a character without one.
std::size_t GlyphColumn(char c) {
  const std::size_t index = kCharacters.find(c);
  return index == std::string_view::npos ? index : index * kGlyphAdvance;
}

}  // namespace

int TextWidth(std::string_view text) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * kGlyphAdvance - 1;
}

void DrawText(graphics::Bitmap& bitmap, int x, int y, std::string_view text, graphics::Argb colour) {
  for (char c : text) {
    if (const std::size_t glyph = GlyphColumn(c); glyph != std::string_view::npos) {
      for (int row = 0; row < kGlyphHeight; ++row) {
        const int py = y + row;
        if (py < 0 || py >= bitmap.Height()) continue;
        for (int column = 0; column < kGlyphWidth; ++column) {
          const int px = x + column;
          if (px < 0 || px >= bitmap.Width()) continue;
          if (kRows[static_cast<std::size_t>(row)][glyph + static_cast<std::size_t>(column)] == '#') {
            bitmap.Set(px, py, colour);
          }
        }
      }
    }
    x += kGlyphAdvance;
  }
}

}  // namespace resmill::image
