#include "wav_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace quarvel::wavseeds {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

void put_tag(Bytes& b, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

void put_chunk(Bytes& b, const char (&tag)[5], const Bytes& body) {
  put_tag(b, tag);
  put32(b, static_cast<std::uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() % 2) b.push_back(0);  // chunks start on even offsets
}

// Mono samples in [-1, 1], with 2 ms fades so no cue clicks.
std::vector<double> tone_samples(const Tone& tone, int rate, std::size_t frames) {
  std::vector<double> out;
  out.reserve(frames);
  const double fade = std::max(1.0, rate * 0.002);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    double env = std::min({1.0, (i + 1) / fade, (frames - i) / fade});
    out.push_back(tone.amplitude * env * std::sin(2 * std::numbers::pi * tone.hz * t));
  }
  return out;
}

std::int16_t to_s16(double v) {
  return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
}

std::uint8_t alaw(std::int16_t pcm) {
  int s = pcm >> 3;  // 13-bit
  std::uint8_t mask = 0xD5;
  if (s < 0) {
    mask = 0x55;
    s = -s - 1;
  }
  static constexpr std::array<int, 8> ends = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
  int seg = 0;
  while (seg < 8 && s > ends[seg]) ++seg;
  if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
  int a = seg << 4;
  a |= seg < 2 ? (s >> 1) & 0x0F : (s >> seg) & 0x0F;
  return static_cast<std::uint8_t>(a ^ mask);
}

std::uint8_t mulaw(std::int16_t pcm) {
  constexpr int kBias = 0x84;
  constexpr int kClip = 32635;
  int s = pcm;
  const int sign = s < 0 ? 0x80 : 0;
  if (s < 0) s = -s;
  s = std::min(s, kClip) + kBias;
  int exponent = 7;
  for (int mask = 0x4000; (s & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  const int mantissa = (s >> (exponent + 3)) & 0x0F;
  return static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
}

constexpr std::array<int, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 16> kImaIndexShift = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaState {
  int predictor = 0;
  int index = 0;

  std::uint8_t encode(int sample) {
    const int step = kImaSteps[index];
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
    index = std::clamp(index + kImaIndexShift[nibble], 0, 88);
    return nibble;
  }
};

// Blocks of `block_align` bytes: per channel a 4-byte header, then groups of
// eight samples per channel as four bytes, low nibble first.
Bytes ima_blocks(const std::vector<std::int16_t>& pcm, int channels, int block_align,
                 int frames_per_block) {
  Bytes out;
  const std::size_t frames = pcm.size() / channels;
  std::vector<ImaState> state(channels);
  for (std::size_t first = 0; first < frames; first += frames_per_block) {
    const std::size_t start = out.size();
    for (int c = 0; c < channels; ++c) {
      state[c].predictor = pcm[first * channels + c];
      put16(out, static_cast<std::uint16_t>(state[c].predictor));
      out.push_back(static_cast<std::uint8_t>(state[c].index));
      out.push_back(0);
    }
    for (int group = 0; 1 + group * 8 < frames_per_block; ++group) {
      for (int c = 0; c < channels; ++c) {
        for (int pair = 0; pair < 4; ++pair) {
          std::uint8_t byte = 0;
          for (int half = 0; half < 2; ++half) {
            const std::size_t f = first + 1 + group * 8 + pair * 2 + half;
            const int sample = f < frames ? pcm[f * channels + c] : 0;
            byte |= static_cast<std::uint8_t>(state[c].encode(sample) << (4 * half));
          }
          out.push_back(byte);
        }
      }
    }
    out.resize(start + block_align, 0);
  }
  return out;
}

constexpr std::array<int, 16> kMsAdapt = {230, 230, 230, 230, 307, 409, 512, 614,
                                          768, 614, 512, 409, 307, 230, 230, 230};
constexpr std::array<std::array<int, 2>, 7> kMsCoefs = {
    {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};

struct MsState {
  int sample1 = 0;  // the newer of the two previous samples
  int sample2 = 0;
  int delta = 16;

  // Predictor 0 (coefficients 256, 0): the decoder's own arithmetic.
  std::uint8_t encode(int sample) {
    const int predicted = (sample1 * kMsCoefs[0][0] + sample2 * kMsCoefs[0][1]) / 256;
    const int error = sample - predicted;
    int n = static_cast<int>(std::lround(static_cast<double>(error) / delta));
    n = std::clamp(n, -8, 7);
    const int decoded = std::clamp(predicted + n * delta, -32768, 32767);
    const std::uint8_t nibble = static_cast<std::uint8_t>(n & 0x0F);
    delta = std::max(16, kMsAdapt[nibble] * delta / 256);
    sample2 = sample1;
    sample1 = decoded;
    return nibble;
  }
};

// Blocks: predictors, deltas, newer samples, older samples (one each per
// channel), then one nibble per sample and channel, high nibble first.
Bytes ms_blocks(const std::vector<std::int16_t>& pcm, int channels, int block_align,
                int frames_per_block) {
  Bytes out;
  const std::size_t frames = pcm.size() / channels;
  std::vector<MsState> state(channels);
  for (std::size_t first = 0; first < frames; first += frames_per_block) {
    const std::size_t start = out.size();
    auto at = [&](std::size_t f, int c) { return f < frames ? pcm[f * channels + c] : 0; };
    for (int c = 0; c < channels; ++c) out.push_back(0);
    for (int c = 0; c < channels; ++c) put16(out, 16);
    for (int c = 0; c < channels; ++c) put16(out, static_cast<std::uint16_t>(at(first + 1, c)));
    for (int c = 0; c < channels; ++c) put16(out, static_cast<std::uint16_t>(at(first, c)));
    for (int c = 0; c < channels; ++c) state[c] = {at(first + 1, c), at(first, c), 16};
    bool high = true;
    for (int f = 2; f < frames_per_block; ++f) {
      for (int c = 0; c < channels; ++c) {
        const std::uint8_t nibble = state[c].encode(at(first + f, c));
        if (high) {
          out.push_back(static_cast<std::uint8_t>(nibble << 4));
        } else {
          out.back() |= nibble;
        }
        high = !high;
      }
    }
    out.resize(start + block_align, 0);
  }
  return out;
}

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagMsAdpcm = 2;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagAlaw = 6;
constexpr std::uint16_t kTagMulaw = 7;
constexpr std::uint16_t kTagImaAdpcm = 0x11;
constexpr std::uint16_t kTagExtensible = 0xFFFE;

std::uint32_t channel_mask(int channels) {
  switch (channels) {
    case 1:
      return 0x4;
    case 2:
      return 0x3;
    case 4:
      return 0x33;
    case 6:
      return 0x3F;
    case 8:
      return 0x63F;
    default:
      return 0;
  }
}

int bits_of(Encoding e) {
  switch (e) {
    case Encoding::pcm_u8:
    case Encoding::alaw:
    case Encoding::mulaw:
      return 8;
    case Encoding::pcm_s16:
      return 16;
    case Encoding::pcm_s24:
      return 24;
    case Encoding::pcm_s32:
    case Encoding::float32:
      return 32;
    case Encoding::ima_adpcm:
    case Encoding::ms_adpcm:
      return 4;
  }
  return 16;
}

std::uint16_t tag_of(Encoding e) {
  switch (e) {
    case Encoding::float32:
      return kTagFloat;
    case Encoding::alaw:
      return kTagAlaw;
    case Encoding::mulaw:
      return kTagMulaw;
    case Encoding::ima_adpcm:
      return kTagImaAdpcm;
    case Encoding::ms_adpcm:
      return kTagMsAdpcm;
    default:
      return kTagPcm;
  }
}

bool is_adpcm(Encoding e) {
  return e == Encoding::ima_adpcm || e == Encoding::ms_adpcm;
}

// The block size and frames per block of the ADPCM encodings.
int adpcm_block_align(int channels) {
  return 256 * channels;
}

int adpcm_frames_per_block(Encoding e, int channels) {
  const int align = adpcm_block_align(channels);
  return e == Encoding::ima_adpcm ? (align - 4 * channels) * 2 / channels + 1
                                  : (align - 7 * channels) * 2 / channels + 2;
}

Bytes fmt_body(const WavSpec& spec) {
  const int bits = bits_of(spec.encoding);
  const bool adpcm = is_adpcm(spec.encoding);
  const int align = adpcm ? adpcm_block_align(spec.channels) : spec.channels * bits / 8;
  const std::uint32_t avg =
      adpcm ? static_cast<std::uint32_t>(static_cast<double>(spec.rate) * align /
                                         adpcm_frames_per_block(spec.encoding, spec.channels))
            : static_cast<std::uint32_t>(spec.rate * align);
  Bytes b;
  put16(b, spec.extensible ? kTagExtensible : tag_of(spec.encoding));
  put16(b, static_cast<std::uint32_t>(spec.channels));
  put32(b, static_cast<std::uint32_t>(spec.rate));
  put32(b, avg);
  put16(b, static_cast<std::uint32_t>(align));
  put16(b, static_cast<std::uint32_t>(bits));
  if (spec.extensible) {
    put16(b, 22);
    put16(b, static_cast<std::uint32_t>(bits));  // valid bits
    put32(b, channel_mask(spec.channels));
    put16(b, tag_of(spec.encoding));
    static constexpr std::array<std::uint8_t, 14> kGuidTail = {
        0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), kGuidTail.begin(), kGuidTail.end());
  } else if (spec.encoding == Encoding::ima_adpcm) {
    put16(b, 2);
    put16(b, static_cast<std::uint32_t>(adpcm_frames_per_block(spec.encoding, spec.channels)));
  } else if (spec.encoding == Encoding::ms_adpcm) {
    put16(b, 4 + 4 * kMsCoefs.size());
    put16(b, static_cast<std::uint32_t>(adpcm_frames_per_block(spec.encoding, spec.channels)));
    put16(b, kMsCoefs.size());
    for (const auto& c : kMsCoefs) {
      put16(b, static_cast<std::uint16_t>(c[0]));
      put16(b, static_cast<std::uint16_t>(c[1]));
    }
  } else if (tag_of(spec.encoding) != kTagPcm) {
    put16(b, 0);
  }
  return b;
}

Bytes data_body(const WavSpec& spec, const std::vector<double>& samples) {
  Bytes b;
  std::vector<std::int16_t> pcm;
  pcm.reserve(samples.size());
  for (double v : samples) pcm.push_back(to_s16(v));
  switch (spec.encoding) {
    case Encoding::pcm_u8:
      for (double v : samples) b.push_back(static_cast<std::uint8_t>(std::lround(128 + v * 127)));
      break;
    case Encoding::pcm_s16:
      for (std::int16_t s : pcm) put16(b, static_cast<std::uint16_t>(s));
      break;
    case Encoding::pcm_s24:
      for (double v : samples) {
        const auto s = static_cast<std::int32_t>(std::lround(std::clamp(v, -1.0, 1.0) * 8388607));
        put16(b, static_cast<std::uint32_t>(s) & 0xFFFF);
        b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(s) >> 16));
      }
      break;
    case Encoding::pcm_s32:
      for (double v : samples) {
        put32(b, static_cast<std::uint32_t>(static_cast<std::int32_t>(
                     std::lround(std::clamp(v, -1.0, 1.0) * 2147483647.0))));
      }
      break;
    case Encoding::float32:
      for (double v : samples) {
        const float f = static_cast<float>(v);
        std::uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        put32(b, u);
      }
      break;
    case Encoding::alaw:
      for (std::int16_t s : pcm) b.push_back(alaw(s));
      break;
    case Encoding::mulaw:
      for (std::int16_t s : pcm) b.push_back(mulaw(s));
      break;
    case Encoding::ima_adpcm:
      b = ima_blocks(pcm, spec.channels, adpcm_block_align(spec.channels),
                     adpcm_frames_per_block(spec.encoding, spec.channels));
      break;
    case Encoding::ms_adpcm:
      b = ms_blocks(pcm, spec.channels, adpcm_block_align(spec.channels),
                    adpcm_frames_per_block(spec.encoding, spec.channels));
      break;
  }
  return b;
}

}  // namespace

std::vector<std::uint8_t> make_wav(const WavSpec& spec, const Tone& tone) {
  std::size_t frames = static_cast<std::size_t>(std::lround(tone.seconds * spec.rate));
  if (is_adpcm(spec.encoding)) {
    // Whole blocks of tone.
    const auto per_block =
        static_cast<std::size_t>(adpcm_frames_per_block(spec.encoding, spec.channels));
    frames = std::max<std::size_t>(1, (frames + per_block - 1) / per_block) * per_block;
  }
  return make_signal_wav(spec, tone_samples(tone, spec.rate, frames));
}

std::vector<std::uint8_t> make_signal_wav(const WavSpec& spec, const std::vector<double>& signal) {
  std::vector<double> samples;
  samples.reserve(signal.size() * static_cast<std::size_t>(spec.channels));
  for (double v : signal) samples.insert(samples.end(), static_cast<std::size_t>(spec.channels), v);

  Bytes body;
  put_tag(body, "WAVE");
  if (spec.extra_chunks) {
    Bytes info;
    put_tag(info, "INFO");
    Bytes name = {'w', 'a', 'v', 's', 'e', 'e', 'd', 's', 0};
    put_chunk(info, "ISFT", name);
    put_chunk(body, "LIST", info);
  }
  put_chunk(body, "fmt ", fmt_body(spec));
  if (tag_of(spec.encoding) != kTagPcm) {
    Bytes fact;
    put32(fact, static_cast<std::uint32_t>(signal.size()));
    put_chunk(body, "fact", fact);
  }
  if (spec.extra_chunks) put_chunk(body, "junk", Bytes{1, 2, 3});  // odd size: padded
  put_chunk(body, "data", data_body(spec, samples));

  Bytes file;
  put_tag(file, "RIFF");
  put32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::vector<std::uint8_t> pcm16_header(int rate, int channels, std::uint32_t data_bytes) {
  Bytes b;
  put_tag(b, "RIFF");
  put32(b, 36 + data_bytes);
  put_tag(b, "WAVE");
  put_tag(b, "fmt ");
  put32(b, 16);
  put16(b, kTagPcm);
  put16(b, static_cast<std::uint32_t>(channels));
  put32(b, static_cast<std::uint32_t>(rate));
  put32(b, static_cast<std::uint32_t>(rate * channels * 2));
  put16(b, static_cast<std::uint32_t>(channels * 2));
  put16(b, 16);
  put_tag(b, "data");
  put32(b, data_bytes);
  return b;
}

std::vector<Seed> seed_corpus() {
  struct Entry {
    const char* name;
    WavSpec spec;
    double seconds;
  };
  using E = Encoding;
  static const Entry kEntries[] = {
      {"u8-mono-8000.wav", {E::pcm_u8, 8000, 1}, 0.02},
      {"u8-mono-11025-odd-chunks.wav", {E::pcm_u8, 11025, 1, false, true}, 0.0207},
      {"s16-mono-44100.wav", {E::pcm_s16, 44100, 1}, 0.02},
      {"s16-stereo-48000.wav", {E::pcm_s16, 48000, 2}, 0.02},
      {"s16-stereo-22050-chunks.wav", {E::pcm_s16, 22050, 2, false, true}, 0.02},
      {"s16-8ch-44100-extensible.wav", {E::pcm_s16, 44100, 8, true}, 0.005},
      {"s24-stereo-96000.wav", {E::pcm_s24, 96000, 2}, 0.01},
      {"s32-mono-192000.wav", {E::pcm_s32, 192000, 1}, 0.005},
      {"f32-stereo-48000.wav", {E::float32, 48000, 2}, 0.01},
      {"f32-6ch-48000-extensible.wav", {E::float32, 48000, 6, true}, 0.005},
      {"alaw-mono-8000.wav", {E::alaw, 8000, 1}, 0.03},
      {"mulaw-stereo-8000.wav", {E::mulaw, 8000, 2}, 0.03},
      {"ima-adpcm-mono-22050.wav", {E::ima_adpcm, 22050, 1}, 0.02},
      {"ima-adpcm-stereo-44100.wav", {E::ima_adpcm, 44100, 2}, 0.02},
      {"ms-adpcm-mono-22050.wav", {E::ms_adpcm, 22050, 1}, 0.02},
      {"ms-adpcm-stereo-44100-chunks.wav", {E::ms_adpcm, 44100, 2, false, true}, 0.02},
  };
  std::vector<Seed> seeds;
  for (const Entry& e : kEntries) {
    seeds.push_back({e.name, make_wav(e.spec, Tone{660.0, e.seconds, 0.6})});
  }
  return seeds;
}

}  // namespace quarvel::wavseeds
