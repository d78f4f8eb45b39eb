// The window's background: a starfield with the chrome logotype, the title line, and the
// planet with its lens flare.
#pragma once

#include "raster.h"

namespace quarvel::artgen {

inline constexpr int kBackgroundWidth = 500;
inline constexpr int kBackgroundHeight = 480;

Picture8 paint_background();

}  // namespace quarvel::artgen
