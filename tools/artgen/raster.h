// A small raster toolkit: 8-bit pictures, a floating-point canvas to paint on, and
// supersampled masks for smooth shapes. Only exact IEEE operations (+ - * / sqrt floor)
// are used, so the same input paints the same bytes everywhere.
#pragma once

#include <cstdint>
#include <vector>

namespace quarvel::artgen {

// Colours.

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

constexpr Rgb rgb(std::uint32_t hex) {
  return {static_cast<std::uint8_t>(hex >> 16), static_cast<std::uint8_t>(hex >> 8),
          static_cast<std::uint8_t>(hex)};
}

// A colour while painting: channels on the 0..255 scale, unclamped.
struct Colour {
  double r = 0.0;
  double g = 0.0;
  double b = 0.0;
};

constexpr Colour colour(std::uint32_t hex) {
  return {static_cast<double>((hex >> 16) & 0xFF), static_cast<double>((hex >> 8) & 0xFF),
          static_cast<double>(hex & 0xFF)};
}
constexpr Colour colour(Rgb c) {
  return {double(c.r), double(c.g), double(c.b)};
}

constexpr Colour operator+(Colour a, Colour b) {
  return {a.r + b.r, a.g + b.g, a.b + b.b};
}
constexpr Colour operator*(Colour a, double k) {
  return {a.r * k, a.g * k, a.b * k};
}
constexpr Colour mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Rounds to the nearest 8-bit value, clamping to 0..255.
Rgb to_rgb(Colour c);

// Shaping functions.

double clamp01(double x);
double smoothstep(double edge0, double edge1, double x);
// e^x for x <= 0, from repeated squaring: close enough for falloffs, and exact-arithmetic only.
double soft_exp(double x);

// Pictures.

// An 8-bit picture, rows top-down.
struct Picture8 {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;

  Picture8(int w, int h, Rgb fill = {});
  Rgb& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // Fills the rectangle with corners (x0, y0) and (x1, y1), both inclusive.
  void fill(int x0, int y0, int x1, int y1, Rgb c);
};

// A painting surface with unclamped floating-point colours.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;

  Canvas(int w, int h, Colour fill = {});
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  Colour& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Colour& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // Adds light; points outside the canvas are ignored.
  void add(int x, int y, Colour c);
  // Lays colour c over the pixel with the given opacity (0..1).
  void blend(int x, int y, Colour c, double alpha);
  Picture8 to_picture() const;
};

// Masks.

struct Point {
  double x = 0.0;
  double y = 0.0;
};
using Polygon = std::vector<Point>;

// A coverage mask sampled `scale` times finer than the pixel grid in each direction.
class Mask {
 public:
  Mask(int width, int height, int scale);

  int width() const { return width_; }
  int height() const { return height_; }
  int scale() const { return scale_; }

  // Sets (or clears) every sample whose centre lies inside the polygon (even-odd rule).
  // Coordinates are in pixels.
  void fill_polygon(const Polygon& polygon, bool value = true);
  // Sets every sample inside the pixel rectangle [x0, x1) x [y0, y1).
  void fill_rect(double x0, double y0, double x1, double y1, bool value = true);
  bool sample(int sx, int sy) const;
  void set_sample(int sx, int sy, bool value);

  // Grows the shape by `radius` pixels (a round brush).
  Mask dilated(double radius) const;
  // The shape moved by (dx, dy) samples; uncovered samples are empty.
  Mask shifted(int dx, int dy) const;
  // Fraction of each pixel covered, 0..1.
  double coverage(int x, int y) const;

 private:
  int width_;
  int height_;
  int scale_;
  std::vector<std::uint8_t> samples_;
};

}  // namespace quarvel::artgen
