#include "raster.h"

#include <algorithm>
#include <cmath>

namespace quarvel::artgen {

Rgb to_rgb(Colour c) {
  auto channel = [](double v) {
    const double rounded = std::floor(v + 0.5);
    return static_cast<std::uint8_t>(std::clamp(rounded, 0.0, 255.0));
  };
  return {channel(c.r), channel(c.g), channel(c.b)};
}

double clamp01(double x) {
  return std::clamp(x, 0.0, 1.0);
}

double smoothstep(double edge0, double edge1, double x) {
  const double t = clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0 - 2.0 * t);
}

double soft_exp(double x) {
  if (x >= 0.0) return 1.0;
  if (x < -40.0) return 0.0;
  double y = 1.0 + x / 4096.0;
  for (int i = 0; i < 12; ++i) y *= y;
  return y;
}

Picture8::Picture8(int w, int h, Rgb fill_colour)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill_colour) {}

void Picture8::fill(int x0, int y0, int x1, int y1, Rgb c) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) at(x, y) = c;
  }
}

Canvas::Canvas(int w, int h, Colour fill_colour)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill_colour) {}

void Canvas::add(int x, int y, Colour c) {
  if (contains(x, y)) at(x, y) = at(x, y) + c;
}

void Canvas::blend(int x, int y, Colour c, double alpha) {
  if (contains(x, y)) at(x, y) = mix(at(x, y), c, alpha);
}

Picture8 Canvas::to_picture() const {
  Picture8 out(width, height);
  for (std::size_t i = 0; i < pixels.size(); ++i) out.pixels[i] = to_rgb(pixels[i]);
  return out;
}

Mask::Mask(int width, int height, int scale)
    : width_(width),
      height_(height),
      scale_(scale),
      samples_(static_cast<std::size_t>(width) * scale * height * scale, 0) {}

bool Mask::sample(int sx, int sy) const {
  const int sw = width_ * scale_;
  if (sx < 0 || sy < 0 || sx >= sw || sy >= height_ * scale_) return false;
  return samples_[static_cast<std::size_t>(sy) * sw + sx] != 0;
}

void Mask::set_sample(int sx, int sy, bool value) {
  const int sw = width_ * scale_;
  if (sx < 0 || sy < 0 || sx >= sw || sy >= height_ * scale_) return;
  samples_[static_cast<std::size_t>(sy) * sw + sx] = value ? 1 : 0;
}

void Mask::fill_polygon(const Polygon& polygon, bool value) {
  const double s = scale_;
  const int rows = height_ * scale_;
  std::vector<double> crossings;
  for (int sy = 0; sy < rows; ++sy) {
    const double y = (sy + 0.5) / s;
    crossings.clear();
    for (std::size_t i = 0; i < polygon.size(); ++i) {
      const Point& a = polygon[i];
      const Point& b = polygon[(i + 1) % polygon.size()];
      if ((a.y <= y && b.y > y) || (b.y <= y && a.y > y)) {
        crossings.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
      }
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      // Samples whose centre (sx + 0.5) / s lies in [left, right).
      const int first = static_cast<int>(std::ceil(crossings[i] * s - 0.5));
      const int last = static_cast<int>(std::ceil(crossings[i + 1] * s - 0.5)) - 1;
      for (int sx = first; sx <= last; ++sx) set_sample(sx, sy, value);
    }
  }
}

void Mask::fill_rect(double x0, double y0, double x1, double y1, bool value) {
  fill_polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, value);
}

Mask Mask::dilated(double radius) const {
  Mask out(width_, height_, scale_);
  const int r = static_cast<int>(std::ceil(radius * scale_));
  const double limit = radius * scale_ * radius * scale_;
  std::vector<std::pair<int, int>> brush;
  for (int dy = -r; dy <= r; ++dy) {
    for (int dx = -r; dx <= r; ++dx) {
      if (dx * dx + dy * dy <= limit) brush.emplace_back(dx, dy);
    }
  }
  const int sw = width_ * scale_;
  const int sh = height_ * scale_;
  for (int sy = 0; sy < sh; ++sy) {
    for (int sx = 0; sx < sw; ++sx) {
      if (!sample(sx, sy)) continue;
      // Only the rim of the shape needs the brush; the inside is covered anyway.
      if (sample(sx - 1, sy) && sample(sx + 1, sy) && sample(sx, sy - 1) && sample(sx, sy + 1)) {
        out.set_sample(sx, sy, true);
        continue;
      }
      for (const auto& [dx, dy] : brush) out.set_sample(sx + dx, sy + dy, true);
    }
  }
  return out;
}

Mask Mask::shifted(int dx, int dy) const {
  Mask out(width_, height_, scale_);
  const int sw = width_ * scale_;
  const int sh = height_ * scale_;
  for (int sy = 0; sy < sh; ++sy) {
    for (int sx = 0; sx < sw; ++sx) out.set_sample(sx, sy, sample(sx - dx, sy - dy));
  }
  return out;
}

double Mask::coverage(int x, int y) const {
  int count = 0;
  for (int j = 0; j < scale_; ++j) {
    for (int i = 0; i < scale_; ++i) count += sample(x * scale_ + i, y * scale_ + j) ? 1 : 0;
  }
  return static_cast<double>(count) / (scale_ * scale_);
}

}  // namespace quarvel::artgen
