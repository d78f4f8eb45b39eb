// The program icon: pure green mottling with black "VOSK" and "QVL" rows, at 16 and 32 px.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "picture_checks.h"

namespace quarvel::assets {
namespace {

using testing::at_text;
using testing::hex;
using testing::split;

struct IconLayout {
  const char* name;
  int size;
  int top_first, top_last;        // rows of the "VOSK" letters
  int bottom_first, bottom_last;  // rows of the "QVL" letters
};

constexpr IconLayout kSmall = {"16 x 16", 16, 1, 3, 11, 13};
constexpr IconLayout kLarge = {"32 x 32", 32, 2, 7, 22, 27};

void PrintTo(const IconLayout& l, std::ostream* os) {
  *os << l.name;
}

const Image& image(const IconLayout& l) {
  return l.size == 16 ? testing::decoded().icon.small : testing::decoded().icon.large;
}

// Runs of columns holding black within the rows [first, last].
int letter_runs(const Image& img, int first, int last) {
  int runs = 0;
  bool in_run = false;
  for (int x = 0; x < img.width; ++x) {
    bool ink = false;
    for (int y = first; y <= last; ++y) ink = ink || img.at(x, y) == 0;
    if (ink && !in_run) ++runs;
    in_run = ink;
  }
  return runs;
}

class IconImage : public ::testing::TestWithParam<IconLayout> {
 protected:
  void SetUp() override {
    ASSERT_EQ(image(GetParam()).width, GetParam().size);
    ASSERT_EQ(image(GetParam()).height, GetParam().size);
  }
};

TEST_P(IconImage, IsPureGreenTextureOrBlackLetters) {
  const Image& img = image(GetParam());
  std::set<int> greens;
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      const auto c = split(img.at(x, y));
      ASSERT_EQ(c.r, 0) << at_text(x, y) << hex(img.at(x, y));
      ASSERT_EQ(c.b, 0) << at_text(x, y) << hex(img.at(x, y));
      if (c.g == 0) continue;
      ASSERT_GE(c.g, 0x97) << at_text(x, y);
      ASSERT_LE(c.g, 0xB0) << at_text(x, y);
      greens.insert(c.g);
    }
  }
  EXPECT_GE(greens.size(), GetParam().size == 32 ? 10u : 6u) << "the green is mottled";
}

TEST_P(IconImage, BlackLettersOnlyInTheTwoTextRows) {
  const IconLayout& l = GetParam();
  const Image& img = image(l);
  for (int y = 0; y < img.height; ++y) {
    const bool text_row =
        (y >= l.top_first && y <= l.top_last) || (y >= l.bottom_first && y <= l.bottom_last);
    int black = 0;
    for (int x = 0; x < img.width; ++x) black += img.at(x, y) == 0 ? 1 : 0;
    if (text_row) {
      EXPECT_GT(black, 0) << l.name << " row " << y << " should carry letters";
    } else {
      EXPECT_EQ(black, 0) << l.name << " row " << y << " should be plain green";
    }
  }
}

TEST_P(IconImage, TopRowHasFourLettersAndBottomRowThree) {
  const IconLayout& l = GetParam();
  EXPECT_EQ(letter_runs(image(l), l.top_first, l.top_last), 4) << "VOSK";
  EXPECT_EQ(letter_runs(image(l), l.bottom_first, l.bottom_last), 3) << "QVL";
}

INSTANTIATE_TEST_SUITE_P(BothSizes, IconImage, ::testing::Values(kSmall, kLarge),
                         [](const auto& p) { return std::to_string(p.param.size) + "px"; });

}  // namespace
}  // namespace quarvel::assets
