#include "widget.h"

#include <cmath>

namespace quarvel::artgen {

namespace {

constexpr double kCentre = kWidgetSize / 2.0;
constexpr double kOuterRadius = kWidgetSize / 2.0;  // the ring touches all four sides
constexpr double kInnerRadius = kOuterRadius - 2.0;
constexpr int kSamples = 8;

struct WidgetLook {
  Colour ring_top;
  Colour ring_bottom;
  Colour glow_edge;    // inside, next to the ring
  Colour glow_centre;  // inside, at the centre
  Colour bar;          // minimize glyph
  Colour cross;        // close glyph
  Colour corners;
};

WidgetLook colours_of(assets::Look look) {
  switch (look) {
    case assets::Look::hover:
      return {colour(0x3F68E4), colour(0x355CD6), colour(0x0C2277), colour(0x000000),
              colour(0x3762ED), colour(0x2A4EE2), colour(0x00020E)};
    case assets::Look::pressed:
      return {colour(0x4679F6), colour(0x3C6BEC), colour(0x1E42B2), colour(0x02040E),
              colour(0xB1D9FF), colour(0xC4E7FF), colour(0x00041C)};
    case assets::Look::normal:
      break;
  }
  return {colour(0x2E4FD4), colour(0x3750B7), colour(0x000000), colour(0x000000),
          colour(0x3250C6), colour(0x3250C6), colour(0x000000)};
}

bool in_glyph(WidgetKind kind, double x, double y, double radius) {
  if (kind == WidgetKind::minimize) return x >= 3.0 && x < 15.0 && y >= 12.0 && y < 14.0;
  if (radius >= kInnerRadius + 0.3) return false;
  const double dx = x - kCentre;
  const double dy = y - kCentre;
  const double half_width = 1.0 * std::sqrt(2.0);  // a stroke 2 px across, measured on a diagonal
  return std::abs(dx - dy) < half_width || std::abs(dx + dy) < half_width;
}

Colour sample_colour(WidgetKind kind, const WidgetLook& l, double x, double y) {
  const double dx = x - kCentre;
  const double dy = y - kCentre;
  const double radius = std::sqrt(dx * dx + dy * dy);
  if (radius >= kOuterRadius) return l.corners;
  if (in_glyph(kind, x, y, radius)) return kind == WidgetKind::minimize ? l.bar : l.cross;
  if (radius >= kInnerRadius) return mix(l.ring_top, l.ring_bottom, y / kWidgetSize);
  const double t = radius / kInnerRadius;
  return mix(l.glow_centre, l.glow_edge, t * t * t);
}

}  // namespace

Picture8 paint_widget(WidgetKind kind, assets::Look look) {
  const WidgetLook l = colours_of(look);
  Picture8 picture(kWidgetSize, kWidgetSize);
  for (int y = 0; y < kWidgetSize; ++y) {
    for (int x = 0; x < kWidgetSize; ++x) {
      Colour sum;
      for (int j = 0; j < kSamples; ++j) {
        for (int i = 0; i < kSamples; ++i) {
          const double sx = x + (i + 0.5) / kSamples;
          const double sy = y + (j + 0.5) / kSamples;
          sum = sum + sample_colour(kind, l, sx, sy);
        }
      }
      picture.at(x, y) = to_rgb(sum * (1.0 / (kSamples * kSamples)));
    }
  }
  return picture;
}

}  // namespace quarvel::artgen
