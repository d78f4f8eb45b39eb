#include "wav_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace quarvel::sound::testing {
namespace {

std::int16_t to_s16(double x) {
  return static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767));
}

Bytes fmt_body(int tag, int rate, int channels, int bits, int block_align, const Bytes& extra,
               int frames_per_block = 1) {
  Bytes f;
  put_le(f, static_cast<std::uint64_t>(tag), 2);
  put_le(f, static_cast<std::uint64_t>(channels), 2);
  put_le(f, static_cast<std::uint64_t>(rate), 4);
  const int bytes_per_second = rate * block_align / frames_per_block;
  put_le(f, static_cast<std::uint64_t>(bytes_per_second), 4);
  put_le(f, static_cast<std::uint64_t>(block_align), 2);
  put_le(f, static_cast<std::uint64_t>(bits), 2);
  if (tag != 1) {
    put_le(f, extra.size(), 2);
    f.insert(f.end(), extra.begin(), extra.end());
  }
  return f;
}

Bytes fact(std::size_t frames) {
  Bytes b;
  put_le(b, frames, 4);
  return chunk("fact", b);
}

std::uint8_t mulaw(std::int16_t pcm) {
  constexpr int kBias = 0x84;
  int s = pcm;
  const int sign = s < 0 ? 0x80 : 0;
  if (s < 0) s = -s;
  s = std::min(s, 32635) + kBias;
  int exponent = 7;
  for (int mask = 0x4000; (s & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  const int mantissa = (s >> (exponent + 3)) & 0x0F;
  return static_cast<std::uint8_t>(~(sign | exponent << 4 | mantissa));
}

constexpr std::array<int, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 16> kImaIndex = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// One IMA ADPCM step: the nibble for `sample`, updating the predictor.
std::uint8_t ima_encode(int sample, int& predictor, int& index) {
  const int step = kImaSteps[static_cast<std::size_t>(index)];
  int diff = sample - predictor;
  std::uint8_t nibble = 0;
  if (diff < 0) {
    nibble = 8;
    diff = -diff;
  }
  int delta = step >> 3;
  if (diff >= step) {
    nibble |= 4;
    diff -= step;
    delta += step;
  }
  if (diff >= step >> 1) {
    nibble |= 2;
    diff -= step >> 1;
    delta += step >> 1;
  }
  if (diff >= step >> 2) {
    nibble |= 1;
    delta += step >> 2;
  }
  predictor = std::clamp(predictor + ((nibble & 8) ? -delta : delta), -32768, 32767);
  index = std::clamp(index + kImaIndex[nibble], 0, 88);
  return nibble;
}

constexpr std::array<std::array<int, 2>, 7> kMsCoefficients = {
    {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};
constexpr std::array<int, 16> kMsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                               768, 614, 512, 409, 307, 230, 230, 230};

}  // namespace

void put_le(Bytes& b, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<double> sine(double hz, double seconds, int rate, double level) {
  const auto n = static_cast<std::size_t>(seconds * rate);
  const double fade = 0.005 * rate;
  std::vector<double> s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double edge =
        std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(n - 1 - i) / fade});
    s[i] = level * edge * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
  }
  return s;
}

Bytes chunk_with_size(const char (&id)[5], std::uint32_t claimed_size, const Bytes& body) {
  Bytes c(id, id + 4);
  put_le(c, claimed_size, 4);
  c.insert(c.end(), body.begin(), body.end());
  if (body.size() % 2 == 1 && claimed_size == body.size()) c.push_back(0);
  return c;
}

Bytes chunk(const char (&id)[5], const Bytes& body) {
  return chunk_with_size(id, static_cast<std::uint32_t>(body.size()), body);
}

Bytes riff_wave(const std::vector<Bytes>& chunks) {
  Bytes inner = {'W', 'A', 'V', 'E'};
  for (const Bytes& c : chunks) inner.insert(inner.end(), c.begin(), c.end());
  Bytes file = {'R', 'I', 'F', 'F'};
  put_le(file, inner.size(), 4);
  file.insert(file.end(), inner.begin(), inner.end());
  return file;
}

Bytes pcm_fmt(int rate, int channels, int bits) {
  return fmt_body(1, rate, channels, bits, channels * bits / 8, {});
}

Bytes pcm_wav(const std::vector<double>& signal, int rate, int channels, int bits) {
  Bytes data;
  data.reserve(signal.size() * static_cast<std::size_t>(channels * bits / 8));
  for (double x : signal) {
    const double v = std::clamp(x, -1.0, 1.0);
    for (int c = 0; c < channels; ++c) {
      switch (bits) {
        case 8:
          data.push_back(static_cast<std::uint8_t>(std::lround(128 + v * 127)));
          break;
        case 16:
          put_le(data, static_cast<std::uint16_t>(to_s16(v)), 2);
          break;
        case 24:
          put_le(data, static_cast<std::uint32_t>(std::lround(v * 8388607)) & 0xFFFFFF, 3);
          break;
        default:
          put_le(data, static_cast<std::uint32_t>(std::lround(v * 2147483647.0)), 4);
      }
    }
  }
  return riff_wave({chunk("fmt ", pcm_fmt(rate, channels, bits)), chunk("data", data)});
}

Bytes float_wav(const std::vector<double>& signal, int rate, int channels) {
  Bytes data;
  for (double x : signal) {
    const float f = static_cast<float>(x);
    std::uint32_t u;
    static_assert(sizeof u == sizeof f);
    std::memcpy(&u, &f, sizeof u);
    for (int c = 0; c < channels; ++c) put_le(data, u, 4);
  }
  return riff_wave({chunk("fmt ", fmt_body(3, rate, channels, 32, channels * 4, {})),
                    fact(signal.size()), chunk("data", data)});
}

Bytes mulaw_wav(const std::vector<double>& signal, int rate) {
  Bytes data;
  for (double x : signal) data.push_back(mulaw(to_s16(x)));
  return riff_wave(
      {chunk("fmt ", fmt_body(7, rate, 1, 8, 1, {})), fact(signal.size()), chunk("data", data)});
}

Bytes ima_adpcm_wav(const std::vector<double>& signal, int rate) {
  constexpr int kBlock = 256;
  constexpr int kPerBlock = (kBlock - 4) * 2 + 1;  // 505
  Bytes data;
  int index = 0;
  for (std::size_t at = 0; at < signal.size(); at += kPerBlock) {
    int predictor = to_s16(signal[at]);
    put_le(data, static_cast<std::uint16_t>(predictor), 2);
    data.push_back(static_cast<std::uint8_t>(index));
    data.push_back(0);
    for (int i = 1; i < kPerBlock; i += 2) {
      const auto sample = [&](int k) {
        const std::size_t j = at + static_cast<std::size_t>(k);
        return j < signal.size() ? to_s16(signal[j]) : 0;
      };
      const std::uint8_t lo = ima_encode(sample(i), predictor, index);
      const std::uint8_t hi = ima_encode(sample(i + 1), predictor, index);
      data.push_back(static_cast<std::uint8_t>(lo | hi << 4));
    }
  }
  Bytes extra;
  put_le(extra, kPerBlock, 2);
  return riff_wave({chunk("fmt ", fmt_body(0x11, rate, 1, 4, kBlock, extra, kPerBlock)),
                    fact(signal.size()), chunk("data", data)});
}

Bytes ms_adpcm_wav(const std::vector<double>& signal, int rate) {
  constexpr int kBlock = 256;
  constexpr int kPerBlock = (kBlock - 7) * 2 + 2;  // 500
  Bytes data;
  const auto sample = [&](std::size_t j) { return j < signal.size() ? to_s16(signal[j]) : 0; };
  for (std::size_t at = 0; at < signal.size(); at += kPerBlock) {
    // Predictor 0 (coefficients 256, 0): each sample is predicted by the last.
    int delta = 16;
    int s2 = sample(at);      // the block's first sample
    int s1 = sample(at + 1);  // its second
    data.push_back(0);
    put_le(data, static_cast<std::uint16_t>(delta), 2);
    put_le(data, static_cast<std::uint16_t>(s1), 2);
    put_le(data, static_cast<std::uint16_t>(s2), 2);
    std::uint8_t pending = 0;
    for (int i = 2; i < kPerBlock; ++i) {
      const int predicted = (s1 * kMsCoefficients[0][0] + s2 * kMsCoefficients[0][1]) / 256;
      const int err = sample(at + static_cast<std::size_t>(i)) - predicted;
      const int nibble =
          std::clamp(static_cast<int>(std::lround(static_cast<double>(err) / delta)), -8, 7);
      const int value = std::clamp(predicted + nibble * delta, -32768, 32767);
      s2 = s1;
      s1 = value;
      delta = std::max(16, kMsAdaptation[static_cast<std::size_t>(nibble & 0xF)] * delta / 256);
      if (i % 2 == 0) {
        pending = static_cast<std::uint8_t>((nibble & 0xF) << 4);
      } else {
        data.push_back(static_cast<std::uint8_t>(pending | (nibble & 0xF)));
      }
    }
  }
  Bytes extra;
  put_le(extra, kPerBlock, 2);
  put_le(extra, kMsCoefficients.size(), 2);
  for (const auto& c : kMsCoefficients) {
    put_le(extra, static_cast<std::uint16_t>(c[0]), 2);
    put_le(extra, static_cast<std::uint16_t>(c[1]), 2);
  }
  return riff_wave({chunk("fmt ", fmt_body(2, rate, 1, 4, kBlock, extra, kPerBlock)),
                    fact(signal.size()), chunk("data", data)});
}

}  // namespace quarvel::sound::testing
