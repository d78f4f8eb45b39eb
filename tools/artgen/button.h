// The three looks of the launcher's picture buttons: a banded blue frame around a black
// field with a blocky gradient label.
#pragma once

#include <string_view>

#include "raster.h"

namespace quarvel::artgen {

inline constexpr int kButtonWidth = 125;
inline constexpr int kButtonHeight = 40;

enum class ButtonState { normal, hover, pressed };

// Paints one button picture; the label's leftmost pixel column is `label_left`.
Picture8 paint_button(ButtonState state, std::string_view word, int label_left);

}  // namespace quarvel::artgen
