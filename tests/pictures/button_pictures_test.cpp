// The nine button pictures: banded frame per state, corner steps, sheen, the pressed glow,
// and the gradient label that never moves between states.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "picture_checks.h"

namespace quarvel::assets {
namespace {

using testing::at_text;
using testing::brightness;
using testing::decoded;
using testing::has_colour;
using testing::hex;

constexpr int kW = 125;
constexpr int kH = 40;

constexpr std::array<std::uint32_t, 12> kLabelRows = {
    0x0932FE, 0x1E57FE, 0x327AFE, 0x459DFE, 0x5AC2FE, 0x6EE5FE,
    0x73EBFE, 0x5EC0FE, 0x4894FE, 0x346AFE, 0x1F40FF, 0x0914FE,
};
constexpr int kLabelTop = 14;
constexpr int kLabelBottom = 25;

struct Button {
  const char* name;
  Shows shows;
  int label_left;
  int label_right;
  int letters;
};

const std::array<Button, 3> kButtons = {{
    {"start", Shows::start, 21, 105, 5},
    {"help", Shows::help, 34, 90, 4},
    {"quit", Shows::quit, 36, 89, 4},
}};

// In the order of the looks.
enum State { kNormal = 0, kHover = 1, kPressed = 2 };

struct StateColours {
  std::uint32_t outer, fill_outer, fill_between, rule_end, rule_middle, side_dark, side_light;
};
constexpr std::array<StateColours, 3> kStates = {{
    {0x000A32, 0x001466, 0x001466, 0x224DFE, 0x224DFE, 0x000F4C, 0x1130B2},
    {0x0E2582, 0x1F42D1, 0x2A4DD9, 0x4D77FF, 0xCAE2FF, 0x1633A9, 0x3359EC},
    {0x2745B8, 0x446BF3, 0x5379F6, 0x75A0FF, 0xF3FFFF, 0x3558D5, 0x5C83FA},
}};

const Image& picture(const Button& b, int state) {
  return decoded()[testing::picture_of(b.shows, static_cast<Look>(state))];
}

bool is_label_colour(const Image& img, int x, int y) {
  return y >= kLabelTop && y <= kLabelBottom && img.at(x, y) == kLabelRows[y - kLabelTop];
}

// The colour a band row has at its ends, from the outer row inward.
std::uint32_t band_end(const StateColours& c, int row_from_edge) {
  switch (row_from_edge) {
    case 0:
    case 7:
      return c.outer;
    case 1:
    case 6:
      return c.fill_outer;
    case 2:
    case 5:
      return c.rule_end;
    default:
      return c.fill_between;
  }
}

bool is_corner_step(int x, int y) {
  const int cx = std::min(x, kW - 1 - x);
  const int cy = std::min(y, kH - 1 - y);
  return (cy == 0 && cx <= 1) || (cx == 0 && cy <= 2);
}

class ButtonPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const Button& b : kButtons) {
      for (int s = 0; s < 3; ++s) {
        ASSERT_EQ(picture(b, s).width, kW) << b.name;
        ASSERT_EQ(picture(b, s).height, kH) << b.name;
      }
    }
  }
};

// The frame every button picture shares.

TEST_F(ButtonPictures, CornersHaveBlackSteps) {
  for (const Button& b : kButtons) {
    for (int s = 0; s < 3; ++s) {
      const Image& img = picture(b, s);
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          if (is_corner_step(x, y)) {
            EXPECT_TRUE(has_colour(img, x, y, 0)) << b.name << " state " << s;
          }
        }
      }
      // Next to the step the frame begins.
      EXPECT_NE(img.at(2, 0), 0u) << b.name;
      EXPECT_NE(img.at(0, 3), 0u) << b.name;
      EXPECT_NE(img.at(1, 1), 0u) << b.name;
    }
  }
}

TEST_F(ButtonPictures, NormalBandsAreUniformRowsOfTheStatedColours) {
  const StateColours& c = kStates[kNormal];
  for (const Button& b : kButtons) {
    const Image& img = picture(b, kNormal);
    for (int i = 0; i < 8; ++i) {
      for (int x = 0; x < kW; ++x) {
        for (int y : {i, kH - 1 - i}) {
          if (is_corner_step(x, y)) continue;
          ASSERT_EQ(img.at(x, y), band_end(c, i))
              << b.name << at_text(x, y) << " is " << hex(img.at(x, y));
        }
      }
    }
  }
}

TEST_F(ButtonPictures, SideBarsAreDarkLightLightDarkInEveryState) {
  for (int s = 0; s < 3; ++s) {
    const StateColours& c = kStates[s];
    const std::array<std::uint32_t, 4> bar = {c.side_dark, c.side_light, c.side_light, c.side_dark};
    for (const Button& b : kButtons) {
      const Image& img = picture(b, s);
      for (int y = 8; y <= 31; ++y) {
        for (int i = 0; i < 4; ++i) {
          ASSERT_EQ(img.at(i, y), bar[i]) << b.name << " state " << s << at_text(i, y);
          ASSERT_EQ(img.at(kW - 4 + i, y), bar[i]) << b.name << " state " << s;
        }
      }
    }
  }
}

TEST_F(ButtonPictures, HoverAndPressedBandsCarryASheenBrightestOverTheMiddleThird) {
  for (int s : {kHover, kPressed}) {
    const StateColours& c = kStates[s];
    for (const Button& b : kButtons) {
      const Image& img = picture(b, s);
      for (int i = 0; i < 8; ++i) {
        for (int y : {i, kH - 1 - i}) {
          SCOPED_TRACE(testing::text(b.name, " state ", s, " row ", y));
          // The ends have the stated colours.
          const int end_x = (i == 0 || i == 7) ? 2 : 1;
          EXPECT_TRUE(has_colour(img, end_x, y, band_end(c, i)));
          EXPECT_TRUE(has_colour(img, kW - 1 - end_x, y, band_end(c, i)));
          // It brightens steadily toward the middle third and stays there.
          for (int x = end_x + 1; x <= 62; ++x) {
            ASSERT_GE(brightness(img.at(x, y)), brightness(img.at(x - 1, y))) << "x " << x;
            ASSERT_EQ(img.at(x, y), img.at(kW - 1 - x, y)) << "the sheen is symmetric, x " << x;
          }
          EXPECT_GT(brightness(img.at(62, y)), brightness(img.at(end_x, y)) + 10);
          for (int x = 42; x <= 82; ++x) ASSERT_EQ(img.at(x, y), img.at(62, y)) << "x " << x;
        }
      }
      // The rules rise to the near-white stated for the middle.
      EXPECT_TRUE(has_colour(img, 62, 2, c.rule_middle)) << b.name;
      EXPECT_TRUE(has_colour(img, 62, 37, c.rule_middle)) << b.name;
    }
  }
}

// The field inside the frame, behind the letters.

TEST_F(ButtonPictures, NormalAndHoverFieldsAreBlackOutsideTheLetters) {
  for (const Button& b : kButtons) {
    for (int s : {kNormal, kHover}) {
      const Image& img = picture(b, s);
      for (int y = 8; y <= 31; ++y) {
        for (int x = 4; x <= 120; ++x) {
          if (is_label_colour(img, x, y)) continue;
          ASSERT_EQ(img.at(x, y), 0u) << b.name << " state " << s << at_text(x, y);
        }
      }
    }
  }
}

TEST_F(ButtonPictures, PressedFieldGlowsVioletFromItsEdges) {
  for (const Button& b : kButtons) {
    SCOPED_TRACE(b.name);
    const Image& img = picture(b, kPressed);
    // Outermost two rows: lilac at the ends, paler under the middle of the bands.
    EXPECT_TRUE(has_colour(img, 4, 8, 0x9761B2));
    EXPECT_TRUE(has_colour(img, 4, 9, 0xA867CB));
    EXPECT_TRUE(has_colour(img, 120, 31, 0x9761B2));
    EXPECT_TRUE(has_colour(img, 120, 30, 0xA867CB));
    EXPECT_TRUE(has_colour(img, 62, 8, 0xB29BB2));
    EXPECT_TRUE(has_colour(img, 62, 9, 0xCBACCB));
    EXPECT_TRUE(has_colour(img, 62, 31, 0xB29BB2));
    EXPECT_TRUE(has_colour(img, 62, 30, 0xCBACCB));
    // Outermost columns are lilac.
    for (int y = 10; y <= 29; ++y) {
      EXPECT_LE(testing::distance(img.at(4, y), 0xA064BF), 4) << at_text(4, y);
      EXPECT_LE(testing::distance(img.at(120, y), 0xA064BF), 4) << at_text(120, y);
    }
    // The fade over four rows, at the middle column.
    const std::array<std::uint32_t, 4> fade = {0x703B93, 0x4D1F6E, 0x431961, 0x3D1758};
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(has_colour(img, 62, 10 + i, fade[i])) << "row " << 10 + i;
      EXPECT_TRUE(has_colour(img, 62, 29 - i, fade[i])) << "row " << 29 - i;
    }
    // Behind the label, away from the side glow, it is a very dark purple.
    int dark = 0;
    for (int y = kLabelTop; y <= kLabelBottom; ++y) {
      for (int x = 13; x <= 111; ++x) {
        if (is_label_colour(img, x, y)) continue;
        ASSERT_EQ(img.at(x, y), 0x15081Eu) << at_text(x, y) << " is " << hex(img.at(x, y));
        ++dark;
      }
    }
    EXPECT_GT(dark, 500);
    // The side glow fades inward over about eight columns.
    const int row = 20;
    for (int x = 5; x < 12; ++x) {
      EXPECT_GT(brightness(img.at(x, row)), brightness(img.at(x + 1, row))) << "x " << x;
    }
    EXPECT_TRUE(has_colour(img, 13, row, 0x15081E));
  }
}

// The label: its rows, colours and extent.

TEST_F(ButtonPictures, LabelRowsHaveTheirOwnColourAndStatedExtent) {
  for (const Button& b : kButtons) {
    for (int s = 0; s < 3; ++s) {
      SCOPED_TRACE(testing::text(b.name, " state ", s));
      const Image& img = picture(b, s);
      int left = kW;
      int right = -1;
      std::set<int> rows_with_ink;
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          const bool label_colour =
              std::find(kLabelRows.begin(), kLabelRows.end(), img.at(x, y)) != kLabelRows.end();
          if (!label_colour) continue;
          // A label colour appears only on its own row.
          ASSERT_TRUE(is_label_colour(img, x, y)) << at_text(x, y) << " " << hex(img.at(x, y));
          left = std::min(left, x);
          right = std::max(right, x);
          rows_with_ink.insert(y);
        }
      }
      EXPECT_EQ(left, b.label_left);
      EXPECT_EQ(right, b.label_right);
      EXPECT_EQ(rows_with_ink.size(), 12u) << "letters 12 px tall at y 14..25";
      EXPECT_EQ(*rows_with_ink.begin(), kLabelTop);
      EXPECT_EQ(*rows_with_ink.rbegin(), kLabelBottom);
    }
  }
}

TEST_F(ButtonPictures, LabelsSpellTheirWordsInBlockyLetters) {
  for (const Button& b : kButtons) {
    const Image& img = picture(b, kNormal);
    // Letters are separated by empty columns; count the runs of inked columns.
    std::vector<int> runs;
    int run = 0;
    for (int x = 0; x < kW; ++x) {
      bool ink = false;
      for (int y = kLabelTop; y <= kLabelBottom; ++y) ink = ink || is_label_colour(img, x, y);
      if (ink) {
        ++run;
      } else if (run > 0) {
        runs.push_back(run);
        run = 0;
      }
    }
    EXPECT_EQ(static_cast<int>(runs.size()), b.letters) << b.name;
    // Vertical strokes are 3 to 4 pixels wide: the narrowest letter is no thinner than that,
    // and the "I" of EXIT is exactly one stroke.
    for (int r : runs) EXPECT_GE(r, 4) << b.name;
  }
  // The quit button reads EXIT, whose third letter is the single stroke of the I.
  const Image& quit = picture(kButtons[2], kNormal);
  int i_columns = 0;
  for (int x = 67; x <= 74; ++x) {  // between the X (to 65) and the T (from 76)
    bool ink = false;
    for (int y = kLabelTop; y <= kLabelBottom; ++y) ink = ink || is_label_colour(quit, x, y);
    i_columns += ink ? 1 : 0;
  }
  EXPECT_EQ(i_columns, 4);
}

TEST_F(ButtonPictures, LabelIsPixelIdenticalInAllThreeStates) {
  for (const Button& b : kButtons) {
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const bool normal = is_label_colour(picture(b, kNormal), x, y);
        for (int s : {kHover, kPressed}) {
          ASSERT_EQ(is_label_colour(picture(b, s), x, y), normal) << b.name << at_text(x, y);
          if (normal) {
            ASSERT_EQ(picture(b, s).at(x, y), picture(b, kNormal).at(x, y));
          }
        }
      }
    }
  }
}

TEST_F(ButtonPictures, FrameAndFieldAreIdenticalAcrossTheButtonsOfOneState) {
  for (int s = 0; s < 3; ++s) {
    const Image& start = picture(kButtons[0], s);
    int compared = 0;
    for (const Button& other : {kButtons[1], kButtons[2]}) {
      const Image& img = picture(other, s);
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          if (is_label_colour(start, x, y) || is_label_colour(img, x, y)) continue;
          ASSERT_EQ(img.at(x, y), start.at(x, y))
              << other.name << " vs start, state " << s << at_text(x, y);
          ++compared;
        }
      }
    }
    EXPECT_GT(compared, 2 * (kW * kH - 1200));
  }
}

}  // namespace
}  // namespace quarvel::assets
