// Measuring sound in tests: the level of one frequency (Goertzel, Hann
// window), the strongest frequency in a range, the loudest sample.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

namespace quarvel::sound::testing {

// The amplitude (0..1 for a full-scale sine) of the `hz` component of `x`.
inline double tone_level(std::span<const float> x, int rate, double hz) {
  if (x.empty()) return 0;
  const double w = 2 * std::numbers::pi * hz / rate;
  const double coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0, window_sum = 0;
  const double n = static_cast<double>(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / n);
    window_sum += hann;
    const double s0 = x[i] * hann + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double re = s1 - s2 * std::cos(w);
  const double im = s2 * std::sin(w);
  return 2 * std::sqrt(re * re + im * im) / window_sum;
}

// The frequency, on a grid of `step` Hz between lo and hi, with the highest
// level. A 10 Hz scan of short windows (whose wide peaks the grid cannot miss)
// finds the neighbourhood; the whole signal then pins it down.
inline double strongest_hz(std::span<const float> x, int rate, double lo, double hi,
                           double step = 2.0) {
  constexpr std::size_t kShort = 2048;
  auto coarse_level = [&](double hz) {
    if (x.size() <= kShort) return tone_level(x, rate, hz);
    double sum = 0;
    for (std::size_t at = 0; at + kShort <= x.size(); at += kShort) {
      sum += tone_level(x.subspan(at, kShort), rate, hz);
    }
    return sum;
  };
  double coarse = lo, best = -1;
  for (double hz = lo; hz <= hi; hz += 10.0) {
    const double level = coarse_level(hz);
    if (level > best) {
      best = level;
      coarse = hz;
    }
  }
  double best_hz = coarse;
  best = -1;
  for (double hz = std::max(lo, coarse - 30); hz <= std::min(hi, coarse + 30); hz += step) {
    const double level = tone_level(x, rate, hz);
    if (level > best) {
      best = level;
      best_hz = hz;
    }
  }
  return best_hz;
}

inline float peak(std::span<const float> x) {
  float p = 0;
  for (float v : x) p = std::max(p, std::abs(v));
  return p;
}

// 16-bit samples to floats in [-1, 1).
inline std::vector<float> to_float(std::span<const std::int16_t> s) {
  std::vector<float> f(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) f[i] = static_cast<float>(s[i]) / 32768.0f;
  return f;
}

// One channel of interleaved 16-bit frames.
inline std::vector<float> channel_of(std::span<const std::int16_t> s, int channels, int channel) {
  std::vector<float> f;
  f.reserve(s.size() / static_cast<std::size_t>(channels));
  for (std::size_t i = static_cast<std::size_t>(channel); i < s.size();
       i += static_cast<std::size_t>(channels)) {
    f.push_back(static_cast<float>(s[i]) / 32768.0f);
  }
  return f;
}

}  // namespace quarvel::sound::testing
