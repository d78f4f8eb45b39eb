#include "tools/cuegen/cue_tones.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace quarvel::cuegen {
namespace {

// One partial of a voice: a multiple of its pitch, a share of its level and
// how much faster than the voice it dies away.
struct Partial {
  double ratio;
  double level;
  double decay_speed = 1.0;
};

// One note: a pitch that may glide (exponentially) from `hz` to `hz_end`
// during `glide` seconds, a quick attack, an exponential decay and a short
// fade at its end so it never clicks.
struct Voice {
  double at;          // start, in seconds
  double length;      // seconds
  double hz;          // pitch at the start
  double level;       // peak level, 0..1
  double attack;      // seconds
  double decay;       // time constant of the exponential decay, seconds
  double hz_end = 0;  // pitch after the glide (0: no glide)
  double glide = 0;   // seconds
  std::vector<Partial> partials = {{1.0, 1.0}};
  double tremolo_hz = 0;  // amplitude wobble
  double tremolo_depth = 0;
};

using Buffer = std::vector<double>;

void add_voice(Buffer& out, const Voice& v) {
  constexpr double kTwoPi = 2 * std::numbers::pi;
  constexpr double kFade = 0.006;
  const auto first = static_cast<std::size_t>(v.at * kCueRate);
  const auto count = static_cast<std::size_t>(v.length * kCueRate);
  std::vector<double> phases(v.partials.size(), 0.0);
  for (std::size_t i = 0; i < count && first + i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kCueRate;
    double hz = v.hz;
    if (v.hz_end > 0 && v.glide > 0) {
      const double g = std::min(t / v.glide, 1.0);
      hz = v.hz * std::pow(v.hz_end / v.hz, g);
    }
    double env = t < v.attack ? 0.5 - 0.5 * std::cos(std::numbers::pi * t / v.attack) : 1.0;
    const double left = v.length - t;
    if (left < kFade) env *= 0.5 - 0.5 * std::cos(std::numbers::pi * left / kFade);
    const double since = std::max(0.0, t - v.attack);
    if (v.tremolo_depth > 0) {
      env *= 1.0 - v.tremolo_depth * (0.5 - 0.5 * std::cos(kTwoPi * v.tremolo_hz * t));
    }
    double s = 0;
    for (std::size_t p = 0; p < v.partials.size(); ++p) {
      const Partial& part = v.partials[p];
      phases[p] += kTwoPi * hz * part.ratio / kCueRate;
      s += part.level * std::exp(-since * part.decay_speed / v.decay) * std::sin(phases[p]);
    }
    out[first + i] += v.level * env * s;
  }
}

// Scales to the given peak and rounds to 16 bits.
std::vector<std::int16_t> finish(const Buffer& b, double peak) {
  double top = 0;
  for (double x : b) top = std::max(top, std::abs(x));
  const double gain = top > 0 ? peak / top : 0;
  std::vector<std::int16_t> s(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    s[i] = static_cast<std::int16_t>(std::lround(std::clamp(b[i] * gain, -1.0, 1.0) * 32767));
  }
  return s;
}

Buffer silence(double seconds) {
  return Buffer(static_cast<std::size_t>(seconds * kCueRate), 0);
}

// A rising three-note pickup that lands on a bell-like A5 which rings out.
std::vector<std::int16_t> open_cue() {
  Buffer b = silence(1.0);
  const std::vector<Partial> bell = {{1.0, 1.0}, {2.0, 0.12, 2.0}, {2.76, 0.08, 3.0}};
  add_voice(b, {0.00, 0.30, 440.00, 0.16, 0.004, 0.10, 0, 0, bell});
  add_voice(b, {0.07, 0.30, 554.37, 0.17, 0.004, 0.10, 0, 0, bell});
  add_voice(b, {0.14, 0.30, 659.25, 0.18, 0.004, 0.10, 0, 0, bell});
  add_voice(b, {0.21, 0.79, kOpenCueHz, 0.60, 0.006, 0.30, 0, 0, bell});
  return finish(b, 0.70);
}

// A soft, round blip.
std::vector<std::int16_t> hover_cue() {
  Buffer b = silence(0.06);
  add_voice(b, {0.0, 0.06, kHoverCueHz, 1.0, 0.012, 0.05});
  return finish(b, 0.30);
}

// A crisp tick: a very short attack and fast decay, a touch of overtone.
std::vector<std::int16_t> click_cue() {
  Buffer b = silence(0.12);
  add_voice(b, {0.0, 0.12, kClickCueHz, 1.0, 0.0015, 0.03, 0, 0, {{1.0, 1.0}, {2.0, 0.15, 2.0}}});
  return finish(b, 0.55);
}

// A quick bright arpeggio up to a held C6 with a lively tremolo and sparkle.
std::vector<std::int16_t> start_cue() {
  Buffer b = silence(1.4);
  const std::vector<Partial> brass = {{1.0, 1.0}, {2.0, 0.35}, {3.0, 0.2}, {4.0, 0.1}};
  add_voice(b, {0.00, 0.14, 523.25, 0.30, 0.003, 0.12, 0, 0, brass});
  add_voice(b, {0.07, 0.14, 659.25, 0.30, 0.003, 0.12, 0, 0, brass});
  add_voice(b, {0.14, 0.14, 783.99, 0.30, 0.003, 0.12, 0, 0, brass});
  add_voice(b, {0.21,
                1.19,
                kStartCueHz,
                0.65,
                0.005,
                0.55,
                0,
                0,
                {{1.0, 1.0}, {2.0, 0.25, 1.5}, {3.0, 0.12, 2.0}},
                11.0,
                0.18});
  add_voice(b, {0.21, 1.00, 1318.51, 0.14, 0.005, 0.35});  // E6 over it
  return finish(b, 0.75);
}

// A soft drop from E5 that settles on G4.
std::vector<std::int16_t> back_cue() {
  Buffer b = silence(0.16);
  add_voice(b, {0.0, 0.16, 659.25, 1.0, 0.006, 0.09, kBackCueHz, 0.035});
  return finish(b, 0.45);
}

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
void put_tag(std::vector<std::uint8_t>& v, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

std::vector<std::int16_t> synthesise(std::string_view file) {
  if (file == "open.wav") return open_cue();
  if (file == "hover.wav") return hover_cue();
  if (file == "click.wav") return click_cue();
  if (file == "start.wav") return start_cue();
  if (file == "back.wav") return back_cue();
  return {};
}

std::vector<std::uint8_t> wav_image(const std::vector<std::int16_t>& samples, int rate,
                                    int channels) {
  const auto data_bytes = static_cast<std::uint32_t>(samples.size() * 2);
  const auto block = static_cast<std::uint32_t>(channels * 2);
  std::vector<std::uint8_t> w;
  w.reserve(44 + data_bytes);
  put_tag(w, "RIFF");
  put32(w, 36 + data_bytes);
  put_tag(w, "WAVE");
  put_tag(w, "fmt ");
  put32(w, 16);
  put16(w, 1);  // PCM
  put16(w, static_cast<std::uint32_t>(channels));
  put32(w, static_cast<std::uint32_t>(rate));
  put32(w, static_cast<std::uint32_t>(rate) * block);
  put16(w, block);
  put16(w, 16);
  put_tag(w, "data");
  put32(w, data_bytes);
  for (std::int16_t s : samples) put16(w, static_cast<std::uint16_t>(s));
  return w;
}

}  // namespace quarvel::cuegen
