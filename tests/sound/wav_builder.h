// WAV file images of every kind the cue device should play, made from a mono
// signal in [-1, 1] (written by tools/wavseeds), and the pieces to make broken
// ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarvel::sound::testing {

using Bytes = std::vector<std::uint8_t>;

// A sine of `hz` at `level` for `seconds`, with 5 ms fades at both ends.
std::vector<double> sine(double hz, double seconds, int rate, double level = 0.5);

// Integer PCM: 8 (unsigned), 16, 24 or 32 bits; every channel carries the signal.
Bytes pcm_wav(const std::vector<double>& signal, int rate, int channels, int bits);
// IEEE float, 32 bits.
Bytes float_wav(const std::vector<double>& signal, int rate, int channels);
// G.711 mu-law, 8 bits.
Bytes mulaw_wav(const std::vector<double>& signal, int rate);
// IMA ADPCM, 4 bits, mono, 256-byte blocks.
Bytes ima_adpcm_wav(const std::vector<double>& signal, int rate);
// Microsoft ADPCM, 4 bits, mono, 256-byte blocks.
Bytes ms_adpcm_wav(const std::vector<double>& signal, int rate);

// The pieces: a chunk, and a RIFF/WAVE file of chunks with the given RIFF size
// (by default the true one).
Bytes chunk(const char (&id)[5], const Bytes& body);
Bytes chunk_with_size(const char (&id)[5], std::uint32_t claimed_size, const Bytes& body);
Bytes riff_wave(const std::vector<Bytes>& chunks);
// A 16-byte PCM "fmt " body.
Bytes pcm_fmt(int rate, int channels, int bits);

void put_le(Bytes& b, std::uint64_t v, int bytes);

}  // namespace quarvel::sound::testing
