#include "icon.h"

#include <stdexcept>
#include <string_view>

#include "fonts.h"
#include "random.h"

namespace quarvel::artgen {

namespace {

constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kFirstGreen = 1;
constexpr int kDarkestGreen = 0x97;
constexpr int kLightestGreen = 0xB0;
constexpr int kGreenCount = kLightestGreen - kDarkestGreen + 1;
constexpr std::uint64_t kTextureSeed = 0x7651D3A2ull;

std::array<Rgb, 256> icon_palette() {
  std::array<Rgb, 256> palette{};  // unused entries stay black
  for (int i = 0; i < kGreenCount; ++i) {
    palette[kFirstGreen + i] = Rgb{0, static_cast<std::uint8_t>(kDarkestGreen + i), 0};
  }
  return palette;
}

// The same mottling at both sizes: the texture is sampled in icon-relative coordinates.
std::uint8_t texture(int x, int y, int size) {
  const double u = (x + 0.5) / size;
  const double v = (y + 0.5) / size;
  const double coarse = value_noise(u * 6.0, v * 6.0, 0.5, kTextureSeed);
  const double fine = value_noise(u * 15.0, v * 15.0, 3.5, kTextureSeed + 1);
  const double t = clamp01((0.6 * coarse + 0.4 * fine - 0.2) / 0.6);
  return static_cast<std::uint8_t>(kFirstGreen + static_cast<int>(t * (kGreenCount - 1) + 0.5));
}

void stamp_row(IndexedPicture& picture, std::string_view word, int top,
               const BitmapGlyph& (*glyph)(char), int gap) {
  int x = (picture.size - word_width(word, glyph, gap)) / 2;
  for (char letter : word) {
    const BitmapGlyph& g = glyph(letter);
    for (int gy = 0; gy < g.height(); ++gy) {
      for (int gx = 0; gx < g.width(); ++gx) {
        if (g.ink(gx, gy)) {
          picture.indices[static_cast<std::size_t>(top + gy) * picture.size + x + gx] = kBlack;
        }
      }
    }
    x += g.width() + gap;
  }
}

}  // namespace

IndexedPicture paint_icon(int size) {
  if (size != 16 && size != 32) throw std::invalid_argument("the icon comes in 16 and 32 px");
  IndexedPicture picture;
  picture.size = size;
  picture.palette = icon_palette();
  picture.indices.resize(static_cast<std::size_t>(size) * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x)
      picture.indices[static_cast<std::size_t>(y) * size + x] = texture(x, y, size);
  }
  if (size == 32) {
    stamp_row(picture, "VOSK", 2, icon_glyph_large, 2);
    stamp_row(picture, "QVL", 22, icon_glyph_large, 2);
  } else {
    stamp_row(picture, "VOSK", 1, icon_glyph_small, 1);
    stamp_row(picture, "QVL", 11, icon_glyph_small, 1);
  }
  return picture;
}

}  // namespace quarvel::artgen
