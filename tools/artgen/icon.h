// The program icon: mottled green with "VOSK" across the top and "QVL" across the bottom,
// as 256-colour images of 16 x 16 and 32 x 32 pixels.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "raster.h"

namespace quarvel::artgen {

struct IndexedPicture {
  int size = 0;                       // square: size x size
  std::vector<std::uint8_t> indices;  // rows top-down
  std::array<Rgb, 256> palette{};
};

// Paints the icon at 16 or 32 pixels.
IndexedPicture paint_icon(int size);

}  // namespace quarvel::artgen
