#include "image/tiny_font.h"

#include <array>
#include <cstdint>

namespace resmill::image {

namespace {

/// Seven rows of five pixels, the leftmost pixel in bit 4.
using Glyph = std::array<std::uint8_t, kGlyphHeight>;

struct GlyphEntry {
  char character;
  Glyph rows;
};

constexpr std::array<GlyphEntry, 12> kGlyphs = {{
    {'0', {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {'1', {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'2', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {'3', {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110}},
    {'4', {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {'5', {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110}},
    {'6', {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {'7', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {'8', {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {'9', {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100}},
    {'x', {0b00000, 0b00000, 0b10001, 0b01010, 0b00100, 0b01010, 0b10001}},
    {'?', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b00000, 0b00100}},
}};

const Glyph* FindGlyph(char c) {
  for (const GlyphEntry& entry : kGlyphs) {
    if (entry.character == c) return &entry.rows;
  }
  return nullptr;
}

}  // namespace

bool HasGlyph(char c) { return FindGlyph(c) != nullptr; }

int TextWidth(std::string_view text) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * kGlyphAdvance - 1;
}

void DrawText(graphics::Bitmap& bitmap, int x, int y, std::string_view text, graphics::Argb colour) {
  for (char c : text) {
    if (const Glyph* glyph = FindGlyph(c)) {
      for (int row = 0; row < kGlyphHeight; ++row) {
        const int py = y + row;
        if (py < 0 || py >= bitmap.Height()) continue;
        for (int column = 0; column < kGlyphWidth; ++column) {
          const int px = x + column;
          if (px < 0 || px >= bitmap.Width()) continue;
          if (((*glyph)[static_cast<std::size_t>(row)] >> (kGlyphWidth - 1 - column)) & 1) bitmap.Set(px, py, colour);
        }
      }
    }
    x += kGlyphAdvance;
  }
}

}  // namespace resmill::image
