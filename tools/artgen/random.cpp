#include "random.h"

#include <cmath>

namespace quarvel::artgen {

namespace {

double fade(double t) {
  return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}
double lerp(double a, double b, double t) {
  return a + (b - a) * t;
}

}  // namespace

double lattice_value(std::int64_t x, std::int64_t y, std::int64_t z, std::uint64_t seed) {
  std::uint64_t h = seed;
  h ^= static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull;
  h ^= static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full;
  h ^= static_cast<std::uint64_t>(z) * 0x165667B19E3779F9ull;
  Random mix(h);
  return mix.uniform();
}

double value_noise(double x, double y, double z, std::uint64_t seed) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const double fz = std::floor(z);
  const auto ix = static_cast<std::int64_t>(fx);
  const auto iy = static_cast<std::int64_t>(fy);
  const auto iz = static_cast<std::int64_t>(fz);
  const double tx = fade(x - fx);
  const double ty = fade(y - fy);
  const double tz = fade(z - fz);
  double plane[2];
  for (int dz = 0; dz < 2; ++dz) {
    const double a =
        lerp(lattice_value(ix, iy, iz + dz, seed), lattice_value(ix + 1, iy, iz + dz, seed), tx);
    const double b = lerp(lattice_value(ix, iy + 1, iz + dz, seed),
                          lattice_value(ix + 1, iy + 1, iz + dz, seed), tx);
    plane[dz] = lerp(a, b, ty);
  }
  return lerp(plane[0], plane[1], tz);
}

double fractal_noise(double x, double y, double z, int octaves, std::uint64_t seed) {
  double sum = 0.0;
  double weight = 1.0;
  double total = 0.0;
  for (int i = 0; i < octaves; ++i) {
    sum += weight * value_noise(x, y, z, seed + static_cast<std::uint64_t>(i) * 7919u);
    total += weight;
    weight *= 0.5;
    x = x * 2.0 + 17.3;
    y = y * 2.0 - 5.1;
    z = z * 2.0 + 9.7;
  }
  return sum / total;
}

}  // namespace quarvel::artgen
