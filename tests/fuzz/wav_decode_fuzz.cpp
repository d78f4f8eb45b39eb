// libFuzzer target: any bytes at all, handed to the WAV decoder as a cue
// file's contents, for the two sample formats a cue device takes. The decoder
// must return whole frames or nothing, and never read, write or keep memory it
// does not own (the sanitizers watch that).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/wav_decode.h"

namespace {

using quarvel::sound::PcmFormat;
using quarvel::sound::SampleType;

void check(bool ok) {
  if (!ok) std::abort();
}

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// After clamping, every chunk of a RIFF/WAVE image lies inside the image.
void check_clamped(const std::vector<std::uint8_t>& file) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
      std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
    return;
  }
  check(le32(file.data() + 4) <= file.size() - 8);
  std::uint64_t off = 12;
  while (off + 8 <= file.size()) {
    const std::uint64_t len = le32(file.data() + off + 4);
    check(len <= file.size() - off - 8);
    off += 8 + len + (len & 1);
  }
}

void decode_as(const std::vector<std::uint8_t>& file, const PcmFormat& out) {
  const auto samples = quarvel::sound::decode_wav(file, out);
  check(samples.size() % static_cast<std::size_t>(out.frame_bytes()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool prepared = (quarvel::sound::prepare_wav_decoding(), true);
  (void)prepared;
  const std::vector<std::uint8_t> file(data, data + size);

  decode_as(file, PcmFormat{48000, 2, SampleType::s16});
  decode_as(file, PcmFormat{44100, 1, SampleType::f32});

  // A caller that gives up at once gets nothing.
  const auto none = quarvel::sound::decode_wav(file, PcmFormat{}, [] { return true; });
  check(none.empty());

  auto clamped = file;
  quarvel::sound::clamp_riff_chunks(clamped);
  check(clamped.size() == file.size() || clamped.size() == file.size() + 1);  // a pad byte
  check_clamped(clamped);
  return 0;
}
