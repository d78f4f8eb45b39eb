// Repeatable randomness for the artwork: a fixed-seed generator and lattice noise built
// from integer hashing, so every run paints the same pixels on every machine.
#pragma once

#include <cstdint>

namespace quarvel::artgen {

// splitmix64: tiny, fast and fully specified, unlike the standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Uniform integer in [0, n).
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

 private:
  std::uint64_t state_;
};

// A well-mixed hash of a lattice point, as a value in [0, 1).
double lattice_value(std::int64_t x, std::int64_t y, std::int64_t z, std::uint64_t seed);

// Smoothly interpolated lattice noise in [0, 1).
double value_noise(double x, double y, double z, std::uint64_t seed);

// Several octaves of value noise, each twice as fine and half as strong; result in [0, 1).
double fractal_noise(double x, double y, double z, int octaves, std::uint64_t seed);

}  // namespace quarvel::artgen
