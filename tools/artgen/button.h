// The three looks of the launcher's picture buttons: a banded blue frame around a black
// field with a blocky gradient label.
#pragma once

#include <string_view>

#include "assets/pictures.h"
#include "raster.h"

namespace quarvel::artgen {

inline constexpr int kButtonWidth = assets::describe(assets::Picture::start).width;
inline constexpr int kButtonHeight = assets::describe(assets::Picture::start).height;

// Paints one button picture; the label's leftmost pixel column is `label_left`.
Picture8 paint_button(assets::Look look, std::string_view word, int label_left);

}  // namespace quarvel::artgen
