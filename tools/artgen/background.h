// The window's background: a starfield with the chrome logotype, the title line, and the
// planet with its lens flare.
#pragma once

#include "assets/pictures.h"
#include "raster.h"

namespace quarvel::artgen {

inline constexpr int kBackgroundWidth = assets::describe(assets::Picture::background).width;
inline constexpr int kBackgroundHeight = assets::describe(assets::Picture::background).height;

Picture8 paint_background();

}  // namespace quarvel::artgen
