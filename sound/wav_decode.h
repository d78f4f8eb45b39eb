// Turning the bytes of a WAV file into samples a sound device can take.
//
// Platform-free (it uses SDL's WAV reader and converter, nothing of the
// operating system): a cue device calls it on its worker thread, and a fuzz
// target can call it with any bytes at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace quarvel::sound {

enum class SampleType : std::uint8_t { s16, f32 };  // native byte order

// What the device takes: interleaved frames of `channels` samples.
struct PcmFormat {
  int rate = 48000;
  int channels = 2;
  SampleType type = SampleType::s16;

  int frame_bytes() const { return channels * (type == SampleType::s16 ? 2 : 4); }
};

// The most of a cue file that is read, and the most sound kept from it: a
// longer file plays what fits.
inline constexpr std::size_t kMaxCueFileBytes = std::size_t{4} << 20;
inline constexpr int kMaxCueSeconds = 10;
// Sample rates outside this range are not sound we can resample sensibly.
inline constexpr int kMinSourceRate = 1000;
inline constexpr int kMaxSourceRate = 768000;
// The rates a sound device is opened at: sound at one of them needs no
// resampling of ours.
inline constexpr int kMinDeviceRate = 8000;
inline constexpr int kMaxDeviceRate = 192000;

// Tells SDL's WAV reader to keep what it can of a truncated file. Process-wide
// (SDL hints are global); call it once before decoding.
void prepare_wav_decoding();

// Decodes a WAV file image (PCM 8/16/24/32-bit, float, MS and IMA ADPCM, A-law,
// mu-law; any channel count up to 8, any rate in range) into `out`, at most
// kMaxCueSeconds of it. Chunk sizes that overrun the bytes present are cut to
// what is there, so a truncated file plays its whole samples. Returns no
// samples for anything that is not such a file, or when `cancelled` is true
// once the file is read. Never reads outside `file`.
std::vector<std::uint8_t> decode_wav(std::vector<std::uint8_t> file, const PcmFormat& out,
                                     const std::function<bool()>& cancelled = {});

// Samples and the format they are in.
struct DecodedWav {
  std::vector<std::uint8_t> samples;
  PcmFormat format;
};

// Decodes as decode_wav does, into `out`'s channels and sample type but at the
// file's own rate where a device takes it (kMinDeviceRate to kMaxDeviceRate),
// else at out.rate: the sound server resamples for a device on the way, which
// costs a cue nothing before its first sample, where our resampler would take
// the whole cue first.
DecodedWav decode_wav_at_own_rate(std::vector<std::uint8_t> file, const PcmFormat& out,
                                  const std::function<bool()>& cancelled = {});

// The RIFF chunk sizes of `file` cut so no chunk reaches past its end, and a
// missing pad byte after an odd-sized last chunk added (the file is left as it
// is if it is no RIFF/WAVE image). Exposed for tests.
void clamp_riff_chunks(std::vector<std::uint8_t>& file);

}  // namespace quarvel::sound
