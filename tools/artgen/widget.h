// The two round title widgets (minimize, close) in their three looks.
#pragma once

#include "assets/pictures.h"
#include "raster.h"

namespace quarvel::artgen {

inline constexpr int kWidgetSize = assets::describe(assets::Picture::minimize).width;

enum class WidgetKind { minimize, close };

Picture8 paint_widget(WidgetKind kind, assets::Look look);

}  // namespace quarvel::artgen
