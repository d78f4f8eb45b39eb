#include "wav_builder.h"

#include "wav_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quarvel::sound::testing {

using wavseeds::Encoding;
using wavseeds::make_signal_wav;

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
  Bytes f;
  put_le(f, 1, 2);  // PCM
  put_le(f, static_cast<std::uint64_t>(channels), 2);
  put_le(f, static_cast<std::uint64_t>(rate), 4);
  put_le(f, static_cast<std::uint64_t>(rate * channels * bits / 8), 4);
  put_le(f, static_cast<std::uint64_t>(channels * bits / 8), 2);
  put_le(f, static_cast<std::uint64_t>(bits), 2);
  return f;
}

Bytes pcm_wav(const std::vector<double>& signal, int rate, int channels, int bits) {
  const Encoding e = bits == 8    ? Encoding::pcm_u8
                     : bits == 16 ? Encoding::pcm_s16
                     : bits == 24 ? Encoding::pcm_s24
                                  : Encoding::pcm_s32;
  return make_signal_wav({e, rate, channels}, signal);
}

Bytes float_wav(const std::vector<double>& signal, int rate, int channels) {
  return make_signal_wav({Encoding::float32, rate, channels}, signal);
}

Bytes mulaw_wav(const std::vector<double>& signal, int rate) {
  return make_signal_wav({Encoding::mulaw, rate, 1}, signal);
}

Bytes ima_adpcm_wav(const std::vector<double>& signal, int rate) {
  return make_signal_wav({Encoding::ima_adpcm, rate, 1}, signal);
}

Bytes ms_adpcm_wav(const std::vector<double>& signal, int rate) {
  return make_signal_wav({Encoding::ms_adpcm, rate, 1}, signal);
}

}  // namespace quarvel::sound::testing
