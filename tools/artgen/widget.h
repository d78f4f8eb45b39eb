// The two round title widgets (minimize, close) in their three looks.
#pragma once

#include "raster.h"

namespace quarvel::artgen {

inline constexpr int kWidgetSize = 18;

enum class WidgetKind { minimize, close };
enum class WidgetState { normal, hover, selected };

Picture8 paint_widget(WidgetKind kind, WidgetState state);

}  // namespace quarvel::artgen
