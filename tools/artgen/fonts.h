// The launcher's own lettering, drawn here pixel by pixel: the button labels, the title line
// under the logotype, the icon letters, and the outline letters of the logotype.
#pragma once

#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "raster.h"

namespace quarvel::artgen {

// A hard-edged letter: one string per pixel row, '#' for ink and anything else for none.
struct BitmapGlyph {
  char letter = ' ';
  std::span<const std::string_view> rows;

  int width() const { return rows.empty() ? 0 : static_cast<int>(rows.front().size()); }
  int height() const { return static_cast<int>(rows.size()); }
  bool ink(int x, int y) const { return rows[y][x] == '#'; }
};

// Blocky capitals 12 pixels tall with 3 to 4 pixel strokes (button labels).
const BitmapGlyph& label_glyph(char letter);
// Thin mixed-case sans-serif, 17 pixels from cap top to baseline (the title line).
const BitmapGlyph& title_glyph(char letter);
// Heavy capitals for the icon: 6 pixels tall for the large image, 3 for the small one.
const BitmapGlyph& icon_glyph_large(char letter);
const BitmapGlyph& icon_glyph_small(char letter);
// A tiny 5-pixel alphabet for the trademark sign.
const BitmapGlyph& tiny_glyph(char letter);

// Width of a word set in `glyph` with `gap` empty columns between letters.
int word_width(std::string_view word, const BitmapGlyph& (*glyph)(char), int gap);

// A logotype letter: shapes on a grid 10 cells tall, to be scaled to pixels.
// Each part is added (true) or cut away (false), in order.
struct OutlineGlyph {
  char letter = ' ';
  double width = 0.0;  // in cells
  std::vector<std::pair<Polygon, bool>> parts;
};
inline constexpr double kOutlineGlyphHeight = 10.0;

const OutlineGlyph& logo_glyph(char letter);

}  // namespace quarvel::artgen
