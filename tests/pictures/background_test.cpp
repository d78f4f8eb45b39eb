// The background scene: starfield, logotype, title line and planet where they belong, and
// nothing but starfield under the buttons and widgets.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "picture_checks.h"

namespace quarvel::assets {
namespace {

using testing::at_text;
using testing::brightness;
using testing::chroma;
using testing::distance;
using testing::hex;
using testing::split;

struct Rect {
  const char* name;
  int left, top, right, bottom;  // inclusive
};

// Where the window's elements sit.
constexpr std::array<Rect, 5> kElementRects = {{
    {"start", 8, 424, 132, 463},
    {"help", 188, 424, 312, 463},
    {"quit", 368, 424, 492, 463},
    {"minimize", 448, 8, 465, 25},
    {"close", 472, 8, 489, 25},
}};

// A coloured pixel: the planet, its air and flare, and the title lettering are all far
// from grey, while stars are white and the logotype is near-neutral silver.
constexpr int kColoured = 40;

bool is_chrome(std::uint32_t c) {
  return brightness(c) >= 150 && chroma(c) <= 48;
}
bool is_title_ink(std::uint32_t c) {
  const auto ch = split(c);
  return ch.b >= 0xF0 && ch.r <= 0x78 && ch.g >= 0x10;
}
bool is_planet(std::uint32_t c) {
  return chroma(c) >= kColoured;
}

class Background : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(img().width, 500);
    ASSERT_EQ(img().height, 480);
  }
  static const Image& img() { return testing::decoded()[Picture::background]; }
};

// The starfield: the only thing under the elements.

TEST_F(Background, OnlyStarfieldLiesUnderTheElements) {
  for (const Rect& r : kElementRects) {
    int bright = 0;
    int total = 0;
    for (int y = r.top; y <= r.bottom; ++y) {
      for (int x = r.left; x <= r.right; ++x) {
        const std::uint32_t c = img().at(x, y);
        ASSERT_LT(chroma(c), kColoured) << r.name << at_text(x, y) << " is " << hex(c);
        bright += brightness(c) >= 100 ? 1 : 0;
        ++total;
      }
    }
    // Stars are sparse points: a logotype or a planet would cover much more.
    EXPECT_LE(bright, std::max(24, total * 3 / 100)) << r.name << ": " << bright << " bright";
  }
}

TEST_F(Background, GroundIsABlackStarfieldWithStarsOfManySizes) {
  // The strip between the planet and the bottom edge shows what the sky is made of.
  int black = 0;
  int stars = 0;
  int total = 0;
  for (int y = 424; y < 480; ++y) {
    for (int x = 0; x < 500; ++x) {
      const int b = brightness(img().at(x, y));
      black += b <= 12 ? 1 : 0;
      stars += b >= 60 ? 1 : 0;
      ++total;
    }
  }
  EXPECT_GT(black * 100, total * 85) << "mostly black";
  EXPECT_GT(stars, 40) << "but with stars";

  // Star sizes: count the bright spots of the whole sky by the pixels each one lights.
  std::vector<std::uint8_t> seen(500 * 480, 0);
  int single = 0;
  int large = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 500; ++x) {
      if (seen[y * 500 + x] || brightness(img().at(x, y)) < 60 || chroma(img().at(x, y)) > 30)
        continue;
      std::vector<std::pair<int, int>> stack = {{x, y}};
      seen[y * 500 + x] = 1;
      int size = 0;
      while (!stack.empty()) {
        const auto [px, py] = stack.back();
        stack.pop_back();
        ++size;
        for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
          const int nx = px + dx;
          const int ny = py + dy;
          if (nx < 0 || ny < 0 || nx >= 500 || ny >= 480 || seen[ny * 500 + nx]) continue;
          const std::uint32_t c = img().at(nx, ny);
          if (brightness(c) < 60 || chroma(c) > 30) continue;
          seen[ny * 500 + nx] = 1;
          stack.emplace_back(nx, ny);
        }
      }
      if (size > 400) continue;  // the logotype, not a star
      single += size == 1 ? 1 : 0;
      large += size >= 5 ? 1 : 0;
    }
  }
  EXPECT_GT(single, 100) << "many pinpoint stars";
  EXPECT_GT(large, 10) << "some large or streaked stars";
}

// The planet, its shading and the lens flare.

TEST_F(Background, PlanetDiscSpansRows100To422AroundItsCentre) {
  EXPECT_TRUE(is_planet(img().at(261, 100))) << hex(img().at(261, 100));
  EXPECT_TRUE(is_planet(img().at(261, 422))) << hex(img().at(261, 422));
  for (int x = 200; x <= 320; ++x) {
    EXPECT_FALSE(is_planet(img().at(x, 99))) << at_text(x, 99) << hex(img().at(x, 99));
  }
  for (int x = 0; x < 500; ++x) {
    ASSERT_FALSE(is_planet(img().at(x, 423))) << "the lowest planet row is 422" << at_text(x, 423);
  }
  // About 330 px across on the middle row.
  int left = 500;
  int right = -1;
  for (int x = 0; x < 500; ++x) {
    if (is_planet(img().at(x, 261))) {
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  EXPECT_NEAR((left + right) / 2.0, 261.0, 4.0);
  EXPECT_NEAR(right - left + 1, 330, 12);
}

TEST_F(Background, PlanetHasAquamarineLandOverBlueSeas) {
  int land = 0;
  int sea = 0;
  for (int y = 100; y <= 422; ++y) {
    for (int x = 99; x <= 423; ++x) {
      land += distance(img().at(x, y), 0x40E0A0) <= 40 ? 1 : 0;
      sea += distance(img().at(x, y), 0x2020E0) <= 40 ? 1 : 0;
    }
  }
  EXPECT_GT(land, 8000) << "aquamarine land";
  EXPECT_GT(sea, 8000) << "blue sea";
}

TEST_F(Background, UpperPartAndRightSideShadeIntoNavy) {
  auto mean_brightness = [](int x0, int y0, int x1, int y1) {
    long sum = 0;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) sum += brightness(img().at(x, y));
    }
    return static_cast<double>(sum) / ((x1 - x0 + 1) * (y1 - y0 + 1));
  };
  const double lower_left = mean_brightness(170, 290, 230, 350);
  EXPECT_GT(lower_left, 2.0 * mean_brightness(300, 150, 360, 210)) << "upper right";
  EXPECT_GT(lower_left, 2.0 * mean_brightness(360, 240, 400, 300)) << "right";
  EXPECT_GT(lower_left, 1.5 * mean_brightness(230, 115, 290, 150)) << "top";
  // The shadow is deep navy, not black.
  int navy = 0;
  for (int y = 120; y <= 300; ++y) {
    for (int x = 330; x <= 421; ++x) navy += distance(img().at(x, y), 0x000040) <= 16 ? 1 : 0;
  }
  EXPECT_GT(navy, 1500);
}

TEST_F(Background, LensFlareHasAWhiteCentreAndAPinkHalo) {
  const auto centre = split(img().at(115, 340));
  EXPECT_GE(std::min({centre.r, centre.g, centre.b}), 235) << hex(img().at(115, 340));
  // Around it, on the sky side and off the thin rays, a red-pink halo.
  for (const auto& [x, y] : {std::pair{110, 335}, {110, 345}, {107, 337}, {107, 344}}) {
    const auto c = split(img().at(x, y));
    EXPECT_GT(c.r, c.g + 40) << at_text(x, y) << hex(img().at(x, y));
    EXPECT_GT(c.r, c.b + 40) << at_text(x, y) << hex(img().at(x, y));
    EXPECT_GT(c.r, 150) << at_text(x, y) << hex(img().at(x, y));
  }
  // The flare is the brightest spot of its surroundings.
  for (int y = 320; y <= 360; ++y) {
    for (int x = 95; x <= 135; ++x) {
      EXPECT_LE(brightness(img().at(x, y)), brightness(img().at(115, 340))) << at_text(x, y);
    }
  }
}

// The logotype and the title line below it.

TEST_F(Background, LogotypeStandsAcrossTheTopInChrome) {
  std::vector<int> per_row(480, 0);
  int left = 500;
  int right = -1;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 500; ++x) {
      if (!is_chrome(img().at(x, y))) continue;
      ++per_row[y];
    }
  }
  for (int y = 0; y < 100; ++y) {
    const bool logo_row = y >= 24 && y <= 71;
    if (!logo_row) {
      EXPECT_LT(per_row[y], 12) << "row " << y << " has " << per_row[y] << " chrome pixels";
    } else if (y >= 28 && y <= 67) {
      EXPECT_GT(per_row[y], 60) << "row " << y;
    }
  }
  // Columns that carry chrome over several rows lie within x 40..470.
  for (int x = 0; x < 500; ++x) {
    int count = 0;
    for (int y = 24; y <= 71; ++y) count += is_chrome(img().at(x, y)) ? 1 : 0;
    if (count >= 4) {
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  EXPECT_GE(left, 40);
  EXPECT_LE(left, 50);
  EXPECT_LE(right, 470);
  EXPECT_GE(right, 455) << "the trademark sign reaches toward the right end";
  // The silver runs from white to pale blue-grey.
  int white = 0;
  int blue_grey = 0;
  for (int y = 24; y <= 71; ++y) {
    for (int x = 40; x <= 470; ++x) {
      const std::uint32_t c = img().at(x, y);
      white += brightness(c) >= 245 ? 1 : 0;
      blue_grey += distance(c, 0xC8D3DF) <= 12 ? 1 : 0;
    }
  }
  EXPECT_GT(white, 500);
  EXPECT_GT(blue_grey, 500);
}

TEST_F(Background, LogotypeHasElevenLettersAndASmallTrademarkSign) {
  // Runs of columns with chrome are the letters. The rows stop above the tail of the Q,
  // and below the points where the arms of V and U meet.
  int runs = 0;
  bool in_run = false;
  for (int x = 0; x < 455; ++x) {
    int count = 0;
    for (int y = 30; y <= 63; ++y) count += is_chrome(img().at(x, y)) ? 1 : 0;
    const bool ink = count >= 3;
    if (ink && !in_run) ++runs;
    in_run = ink;
  }
  EXPECT_EQ(runs, 11) << "VIVU QUARVEL";
  // The trademark sign: chrome right of the last letter, low down, only a few rows tall.
  int top = 480;
  int bottom = -1;
  for (int y = 24; y <= 71; ++y) {
    for (int x = 455; x <= 470; ++x) {
      if (is_chrome(img().at(x, y))) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  EXPECT_GE(top, 55);
  EXPECT_LE(bottom, 71);
  EXPECT_LE(bottom - top, 7);
}

TEST_F(Background, TitleLineRunsBelowTheLogotypeInBlueCyanBands) {
  int left = 500;
  int right = -1;
  int top = 480;
  int bottom = -1;
  int ink = 0;
  for (int y = 72; y < 100; ++y) {
    for (int x = 0; x < 500; ++x) {
      if (!is_title_ink(img().at(x, y))) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
      ++ink;
    }
  }
  EXPECT_EQ(left, 43);
  EXPECT_EQ(right, 457);
  EXPECT_EQ(top, 82);
  EXPECT_EQ(bottom, 98);
  EXPECT_GT(ink, 600);
  // Every letter is deep blue at its top and bottom and pale cyan inside.
  for (int x = 43; x <= 457; ++x) {
    int first = -1;
    int last = -1;
    for (int y = 82; y <= 98; ++y) {
      if (!is_title_ink(img().at(x, y))) continue;
      if (first < 0) first = y;
      last = y;
    }
    if (first < 0) continue;
    if (first == 82) {
      EXPECT_LT(split(img().at(x, first)).g, 0x60) << "cap top at x " << x;
    }
    if (last == 98) {
      EXPECT_LT(split(img().at(x, last)).g, 0x60) << "baseline at x " << x;
    }
  }
  int pale = 0;
  for (int x = 43; x <= 457; ++x) pale += split(img().at(x, 92)).g >= 0xC0 ? 1 : 0;
  EXPECT_GT(pale, 40);
}

}  // namespace
}  // namespace quarvel::assets
