// Writing WAV file images: every sample encoding the launcher's cue device
// reads, as tones of a chosen frequency, and as the small set of valid
// variants that seeds the WAV decoder's fuzz corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarvel::wavseeds {

enum class Encoding : std::uint8_t {
  pcm_u8,
  pcm_s16,
  pcm_s24,
  pcm_s32,
  float32,
  alaw,
  mulaw,
  ima_adpcm,
  ms_adpcm,
};

struct WavSpec {
  Encoding encoding = Encoding::pcm_s16;
  int rate = 48000;
  int channels = 1;
  bool extensible = false;    // WAVE_FORMAT_EXTENSIBLE header (PCM and float only)
  bool extra_chunks = false;  // LIST, fact and an odd-sized chunk around the data
};

struct Tone {
  double hz = 440.0;
  double seconds = 0.1;
  double amplitude = 0.5;  // of full scale
};

// A complete, valid WAV file image of `tone` on every channel.
std::vector<std::uint8_t> make_wav(const WavSpec& spec, const Tone& tone);
// A WAV file image of any signal: mono samples in [-1, 1], put on every channel. An
// ADPCM file's last block is filled up with silence.
std::vector<std::uint8_t> make_signal_wav(const WavSpec& spec, const std::vector<double>& signal);

// A canonical 16-bit PCM header claiming `data_bytes` of samples (the caller
// appends as many or as few as it likes).
std::vector<std::uint8_t> pcm16_header(int rate, int channels, std::uint32_t data_bytes);

struct Seed {
  std::string name;  // file name
  std::vector<std::uint8_t> bytes;
};

// The fuzz corpus seeds: short, valid WAV images of every encoding, rate and
// channel layout the decoder takes. The same every time.
std::vector<Seed> seed_corpus();

}  // namespace quarvel::wavseeds
