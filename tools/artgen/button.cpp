#include "button.h"

#include <algorithm>
#include <array>

#include "fonts.h"

namespace quarvel::artgen {

namespace {

constexpr int kLastX = kButtonWidth - 1;
constexpr int kLabelTop = 14;

// One label colour per letter row: deep blue, pale cyan at the seventh row, deep blue.
constexpr std::array<std::uint32_t, 12> kLabelRows = {
    0x0932FE, 0x1E57FE, 0x327AFE, 0x459DFE, 0x5AC2FE, 0x6EE5FE,
    0x73EBFE, 0x5EC0FE, 0x4894FE, 0x346AFE, 0x1F40FF, 0x0914FE,
};

struct FrameColours {
  std::uint32_t outer;
  std::uint32_t fill_outer;    // fill rows next to the outer rows
  std::uint32_t fill_between;  // fill rows between the two rules
  std::uint32_t rule_end;
  std::uint32_t rule_middle;  // equal to rule_end where the band has no sheen
  std::uint32_t side_dark;
  std::uint32_t side_light;
  bool sheen;
};

constexpr FrameColours kNormal = {0x000A32, 0x001466, 0x001466, 0x224DFE,
                                  0x224DFE, 0x000F4C, 0x1130B2, false};
constexpr FrameColours kHover = {0x0E2582, 0x1F42D1, 0x2A4DD9, 0x4D77FF,
                                 0xCAE2FF, 0x1633A9, 0x3359EC, true};
constexpr FrameColours kPressed = {0x2745B8, 0x446BF3, 0x5379F6, 0x75A0FF,
                                   0xF3FFFF, 0x3558D5, 0x5C83FA, true};

const FrameColours& frame_colours(assets::Look look) {
  switch (look) {
    case assets::Look::hover:
      return kHover;
    case assets::Look::pressed:
      return kPressed;
    case assets::Look::normal:
      break;
  }
  return kNormal;
}

// How far along the sheen a column is: 0 at the ends of a span, 1 over its middle third.
double sheen(int x, int first = 0, int last = kLastX) {
  const double from_end = std::min(x - first, last - x) / static_cast<double>(last - first);
  return smoothstep(0.0, 1.0 / 3.0, from_end);
}

enum class BandRow { outer, fill_outer, rule, fill_between };

// The rows of the top band from the outside in; the bottom band mirrors it.
constexpr std::array<BandRow, 8> kBandRows = {
    BandRow::outer,        BandRow::fill_outer, BandRow::rule,       BandRow::fill_between,
    BandRow::fill_between, BandRow::rule,       BandRow::fill_outer, BandRow::outer,
};

Colour band_colour(const FrameColours& c, BandRow row, int x) {
  const double s = c.sheen ? sheen(x) : 0.0;
  const Colour rule_middle = colour(c.rule_middle);
  switch (row) {
    case BandRow::rule:
      return mix(colour(c.rule_end), rule_middle, s);
    case BandRow::outer:
      return mix(colour(c.outer), rule_middle, 0.22 * s);
    case BandRow::fill_outer:
      return mix(colour(c.fill_outer), rule_middle, 0.30 * s);
    case BandRow::fill_between:
      break;
  }
  return mix(colour(c.fill_between), rule_middle, 0.36 * s);
}

void paint_frame(Picture8& picture, const FrameColours& c) {
  for (int i = 0; i < 8; ++i) {
    for (int x = 0; x < kButtonWidth; ++x) {
      const Rgb shade = to_rgb(band_colour(c, kBandRows[i], x));
      picture.at(x, i) = shade;
      picture.at(x, kButtonHeight - 1 - i) = shade;
    }
  }
  const std::array<std::uint32_t, 4> side = {c.side_dark, c.side_light, c.side_light, c.side_dark};
  for (int y = 8; y < kButtonHeight - 8; ++y) {
    for (int i = 0; i < 4; ++i) {
      picture.at(i, y) = rgb(side[i]);
      picture.at(kLastX - 3 + i, y) = rgb(side[i]);
    }
  }
  // Black steps soften the four outer corners.
  const Rgb black{};
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {0, 2}}) {
    picture.at(x, y) = black;
    picture.at(kLastX - x, y) = black;
    picture.at(x, kButtonHeight - 1 - y) = black;
    picture.at(kLastX - x, kButtonHeight - 1 - y) = black;
  }
}

// The pressed field glows violet from its edges toward a dark purple middle.
void paint_pressed_glow(Picture8& picture) {
  const Colour base = colour(0x15081E);
  const Colour edge_column = colour(0xA064BF);
  constexpr std::array<std::uint32_t, 4> fade_rows = {0x703B93, 0x4D1F6E, 0x431961, 0x3D1758};
  constexpr std::array<double, 8> fade_columns = {0.66, 0.45, 0.33, 0.25, 0.18, 0.12, 0.07, 0.03};
  constexpr int left = 4;
  constexpr int right = kLastX - 4;
  constexpr int top = 8;
  constexpr int bottom = kButtonHeight - 9;

  for (int y = top + 2; y <= bottom - 2; ++y) {
    const int from_edge = std::min(y - (top + 2), (bottom - 2) - y);
    const Colour row = from_edge < 4 ? colour(fade_rows[from_edge]) : base;
    for (int x = left + 1; x <= right - 1; ++x) {
      const int column_index = std::min(x - (left + 1), (right - 1) - x);
      Colour shade = row;
      if (column_index < 8) {
        const Colour column = mix(base, edge_column, fade_columns[column_index]);
        shade = {std::max(row.r, column.r), std::max(row.g, column.g), std::max(row.b, column.b)};
      }
      picture.at(x, y) = to_rgb(shade);
    }
    picture.at(left, y) = to_rgb(edge_column);
    picture.at(right, y) = to_rgb(edge_column);
  }
  // The two outermost rows at top and bottom pale toward the middle, under the band's sheen.
  for (int x = left; x <= right; ++x) {
    const double s = sheen(x, left, right);
    const Rgb outside = to_rgb(mix(colour(0x9761B2), colour(0xB29BB2), s));
    const Rgb inside = to_rgb(mix(colour(0xA867CB), colour(0xCBACCB), s));
    picture.at(x, top) = outside;
    picture.at(x, bottom) = outside;
    picture.at(x, top + 1) = inside;
    picture.at(x, bottom - 1) = inside;
  }
}

void paint_label(Picture8& picture, std::string_view word, int left) {
  int x = left;
  for (char letter : word) {
    const BitmapGlyph& glyph = label_glyph(letter);
    for (int gy = 0; gy < glyph.height(); ++gy) {
      for (int gx = 0; gx < glyph.width(); ++gx) {
        if (glyph.ink(gx, gy)) picture.at(x + gx, kLabelTop + gy) = rgb(kLabelRows[gy]);
      }
    }
    x += glyph.width() + 3;
  }
}

}  // namespace

Picture8 paint_button(assets::Look look, std::string_view word, int label_left) {
  Picture8 picture(kButtonWidth, kButtonHeight);
  paint_frame(picture, frame_colours(look));
  if (look == assets::Look::pressed) paint_pressed_glow(picture);
  paint_label(picture, word, label_left);
  return picture;
}

}  // namespace quarvel::artgen
