// The six widget pictures: a ring touching the square's sides, the glyph inside it, and the
// colours of each state. JPEG scatters colours a little, so they are checked within a tolerance.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "picture_checks.h"

namespace quarvel::assets {
namespace {

using testing::at_text;
using testing::brightness;
using testing::decoded;
using testing::distance;
using testing::hex;

constexpr int kSize = 18;
// How far a decoded colour may lie from the nominal one: a few steps of JPEG scatter on
// flat areas; on the 2-pixel ring and glyph strokes the coarse, quantised colour planes
// of 4:2:0 JPEG pull the blue channel up to about 50 steps toward the surroundings.
constexpr int kFlatTolerance = 14;
constexpr int kEdgeTolerance = 56;

struct Colours {
  std::uint32_t ring;
  std::uint32_t inside_edge;  // inside the ring, next to it
  std::uint32_t bar;
  std::uint32_t cross;
  std::uint32_t corners;
};

// In the order of the looks: normal, hover, selected.
constexpr std::array<Colours, 3> kLooks = {{
    {0x3350C6, 0x000000, 0x3350C6, 0x3350C6, 0x000000},
    {0x3A62DE, 0x0C2277, 0x3762ED, 0x2A4EE2, 0x00020E},
    {0x4172F2, 0x1E42B2, 0xB1D9FF, 0xC4E7FF, 0x00041C},
}};

class WidgetPictures : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    for (Picture p : {minimize(), close()}) {
      ASSERT_EQ(decoded()[p].width, kSize);
      ASSERT_EQ(decoded()[p].height, kSize);
    }
  }
  const Colours& look() const { return kLooks[GetParam()]; }
  Picture minimize() const { return shown(Shows::minimize); }
  Picture close() const { return shown(Shows::close); }
  Picture shown(Shows what) const {
    return testing::picture_of(what, static_cast<Look>(GetParam()));
  }
};

void expect_near(const Image& img, int x, int y, std::uint32_t nominal, int tolerance,
                 const char* what) {
  EXPECT_LE(distance(img.at(x, y), nominal), tolerance)
      << what << " at " << at_text(x, y) << ": " << hex(img.at(x, y)) << ", nominal "
      << hex(nominal);
}

TEST_P(WidgetPictures, CornersOutsideTheRingAreDark) {
  for (Picture p : {minimize(), close()}) {
    const Image& img = decoded()[p];
    for (const auto& [x, y] : {std::pair{0, 0},
                               {kSize - 1, 0},
                               {0, kSize - 1},
                               {kSize - 1, kSize - 1},
                               {1, 0},
                               {0, 1}}) {
      expect_near(img, x, y, look().corners, kFlatTolerance, describe(p).file_name.data());
    }
  }
}

TEST_P(WidgetPictures, RingTouchesTheFourSides) {
  for (Picture p : {minimize(), close()}) {
    const Image& img = decoded()[p];
    for (int mid : {8, 9}) {
      expect_near(img, mid, 0, look().ring, kEdgeTolerance, "top of the ring");
      expect_near(img, mid, kSize - 1, look().ring, kEdgeTolerance, "bottom of the ring");
      expect_near(img, 0, mid, look().ring, kEdgeTolerance, "left of the ring");
      expect_near(img, kSize - 1, mid, look().ring, kEdgeTolerance, "right of the ring");
      // The ring is clearly brighter than the corners beside it.
      EXPECT_GT(brightness(img.at(mid, 0)), brightness(img.at(0, 0)) + 40);
    }
  }
}

TEST_P(WidgetPictures, RingIsTheSameInBothWidgets) {
  const Image& a = decoded()[minimize()];
  const Image& b = decoded()[close()];
  for (const auto& [x, y] : {std::pair{8, 0},
                             {9, 0},
                             {0, 8},
                             {0, 9},
                             {17, 8},
                             {17, 9},
                             {2, 4},
                             {15, 4},
                             {4, 2},
                             {13, 2}}) {
    EXPECT_LE(distance(a.at(x, y), b.at(x, y)), kEdgeTolerance / 2)
        << at_text(x, y) << ": " << hex(a.at(x, y)) << " vs " << hex(b.at(x, y));
  }
}

TEST_P(WidgetPictures, MinimizeShowsABarAcrossTheLowerPart) {
  const Image& img = decoded()[minimize()];
  for (int y : {12, 13}) {
    for (int x = 5; x <= 12; ++x) expect_near(img, x, y, look().bar, kEdgeTolerance, "bar");
  }
  // Above the bar, and at the centre, there is only the inside of the ring.
  for (const auto& [x, y] : {std::pair{8, 8}, {9, 9}, {8, 5}, {9, 4}}) {
    EXPECT_GT(brightness(img.at(9, 12)), brightness(img.at(x, y)) + 40) << at_text(x, y);
  }
}

TEST_P(WidgetPictures, CloseShowsADiagonalCross) {
  const Image& img = decoded()[close()];
  for (const auto& [x, y] :
       {std::pair{8, 8}, {9, 9}, {8, 9}, {9, 8}, {5, 5}, {12, 12}, {5, 12}, {12, 5}}) {
    expect_near(img, x, y, look().cross, kEdgeTolerance, "cross");
  }
  // Between the arms lies the inside of the ring.
  for (const auto& [x, y] : {std::pair{9, 4}, {4, 9}, {13, 9}, {9, 13}}) {
    EXPECT_GT(brightness(img.at(5, 5)), brightness(img.at(x, y)) + 30) << at_text(x, y);
  }
}

TEST_P(WidgetPictures, InsideOfTheRingHasTheStatedGlow) {
  const Image& img = decoded()[minimize()];
  // Next to the ring, above the bar.
  expect_near(img, 9, 2, look().inside_edge, kEdgeTolerance, "inside next to the ring");
  // The glow fades toward the centre.
  EXPECT_LE(brightness(img.at(9, 8)), brightness(img.at(9, 2)) + 4);
  EXPECT_LE(brightness(img.at(9, 8)), 24) << hex(img.at(9, 8));
}

INSTANTIATE_TEST_SUITE_P(States, WidgetPictures, ::testing::Values(0, 1, 2), [](const auto& p) {
  return std::string(p.param == 0 ? "Normal" : p.param == 1 ? "Hover" : "Selected");
});

TEST(WidgetLooks, SelectedGlyphIsPaleIceBlueAndFarBrighterThanHover) {
  const Image& hover = decoded()[Picture::ovrmin];
  const Image& selected = decoded()[Picture::selmin];
  EXPECT_GT(brightness(selected.at(9, 12)), brightness(hover.at(9, 12)) + 80);
  const Image& hover_x = decoded()[Picture::ovrclose];
  const Image& selected_x = decoded()[Picture::selclose];
  EXPECT_GT(brightness(selected_x.at(5, 5)), brightness(hover_x.at(5, 5)) + 80);
}

TEST(WidgetLooks, RingBrightensFromNormalToHoverToSelected) {
  for (const auto& [x, y] : {std::pair{9, 0}, {0, 9}}) {
    const int normal = brightness(decoded()[Picture::minimize].at(x, y));
    const int hover = brightness(decoded()[Picture::ovrmin].at(x, y));
    const int selected = brightness(decoded()[Picture::selmin].at(x, y));
    EXPECT_LT(normal, hover) << at_text(x, y);
    EXPECT_LT(hover, selected) << at_text(x, y);
  }
}

}  // namespace
}  // namespace quarvel::assets
