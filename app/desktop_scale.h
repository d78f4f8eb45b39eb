// The whole-number factor a window host draws the 500 x 480 window at, so that
// it keeps its intended size on a scaled desktop, and where the desktop says
// its scale. Pure: the hosts read the desktop, this decides.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace quarvel {

// k = floor(dpi / 96), at least 1, lowered while a 500k x 480k window would not
// fit a screen of screen_width x screen_height; 1 where the dpi is unknown.
int window_scale(std::optional<double> dpi, int screen_width, int screen_height);

// The dpi an XSETTINGS manager's _XSETTINGS_SETTINGS property gives: 96 times
// Gdk/WindowScalingFactor, else Xft/DPI (in 1024ths); none where neither is
// there or the data is not well formed.
std::optional<double> xsettings_dpi(std::span<const std::uint8_t> data);

}  // namespace quarvel
