// WAV decoding through SDL's WAV reader and audio stream converter (sound/wav_decode.h).
// Implemented: what SDL's reader takes, cut to kMaxCueSeconds and converted to the device's format
//   (at the file's own rate on request: then in place, with no resampler).
// Left out: anything of the operating system, so that a fuzz target can run it alone.
// Why it is so: chunk sizes are clamped to the bytes present before SDL reads them, so a truncated
//   file plays its whole samples; the sound goes through the converter in one piece (see below).
#include "sound/wav_decode.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace quarvel::sound {
namespace {

std::uint32_t read_le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void write_le32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

SDL_AudioFormat sdl_format(SampleType t) {
  return t == SampleType::s16 ? AUDIO_S16SYS : AUDIO_F32SYS;
}

// The samples SDL's reader hands back, freed with SDL_FreeWAV.
struct WavBuffer {
  Uint8* data = nullptr;
  Uint32 length = 0;
  SDL_AudioSpec spec{};
  ~WavBuffer() {
    if (data) SDL_FreeWAV(data);
  }
};

struct StreamDeleter {
  void operator()(SDL_AudioStream* s) const { SDL_FreeAudioStream(s); }
};
using StreamPtr = std::unique_ptr<SDL_AudioStream, StreamDeleter>;

// Float sources may hold NaN, infinities or values far out of range; the
// converter's float-to-integer step is only defined inside [-1, 1].
void sanitise_floats(Uint8* data, std::size_t bytes) {
  const std::size_t n = bytes / sizeof(float);
  for (std::size_t i = 0; i < n; ++i) {
    float v;
    std::memcpy(&v, data + i * sizeof(float), sizeof v);
    v = std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
    std::memcpy(data + i * sizeof(float), &v, sizeof v);
  }
}

bool load_wav(std::vector<std::uint8_t>& file, WavBuffer& wav) {
  if (file.empty() || file.size() > 0xFFFFFFFFu) return false;
  clamp_riff_chunks(file);
  SDL_RWops* rw = SDL_RWFromConstMem(file.data(), static_cast<int>(file.size()));
  if (!rw) return false;
  return SDL_LoadWAV_RW(rw, 1, &wav.spec, &wav.data, &wav.length) != nullptr;
}

bool playable_source(const SDL_AudioSpec& spec) {
  return spec.freq >= kMinSourceRate && spec.freq <= kMaxSourceRate && spec.channels >= 1 &&
         spec.channels <= 8;
}

}  // namespace

void prepare_wav_decoding() {
  // Decode up to the first incomplete sample frame instead of refusing the
  // file, and look for chunks up to the end of the bytes we have (their sizes
  // are clamped to those bytes first).
  SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "dropframe");
  SDL_SetHint(SDL_HINT_WAVE_RIFF_CHUNK_SIZE, "maximum");
  // A fact chunk gives the true length of compressed sound, whose last block
  // is padded: honour it when it is there and sane.
  SDL_SetHint(SDL_HINT_WAVE_FACT_CHUNK, "truncate");
}

void clamp_riff_chunks(std::vector<std::uint8_t>& file) {
  const std::size_t size = file.size();
  std::uint8_t* f = file.data();
  std::uint64_t off = 0;
  if (size >= 12 && std::memcmp(f, "RIFF", 4) == 0 && std::memcmp(f + 8, "WAVE", 4) == 0) {
    const std::uint64_t riff_room = size - 8;
    if (read_le32(f + 4) > riff_room) write_le32(f + 4, static_cast<std::uint32_t>(riff_room));
    off = 12;
  } else if (size >= 4 && std::memcmp(f, "WAVE", 4) == 0) {
    off = 4;  // SDL also reads a WAVE form without its RIFF header
  } else {
    return;
  }
  while (off + 8 <= size) {
    std::uint64_t len = read_le32(f + off + 4);
    const std::uint64_t room = size - off - 8;
    if (len > room) {
      len = room;
      write_le32(f + off + 4, static_cast<std::uint32_t>(len));
    }
    off += 8 + len + (len & 1);
  }
  // A last chunk of odd length whose pad byte is cut off makes SDL's chunk
  // search fail; give it the pad byte.
  if (off == size + 1) file.push_back(0);
}

namespace {

// The first `in_bytes` of `wav`'s samples in `out`'s format, at the same rate:
// one buffer, converted in place.
std::vector<std::uint8_t> convert_in_place(const WavBuffer& wav, std::size_t in_bytes,
                                           const PcmFormat& out) {
  SDL_AudioCVT cvt;
  if (SDL_BuildAudioCVT(&cvt, wav.spec.format, wav.spec.channels, wav.spec.freq,
                        sdl_format(out.type), static_cast<Uint8>(out.channels), out.rate) < 0 ||
      in_bytes > static_cast<std::size_t>(std::numeric_limits<int>::max()) / cvt.len_mult) {
    return {};
  }
  std::vector<std::uint8_t> samples(in_bytes * static_cast<std::size_t>(cvt.len_mult));
  std::memcpy(samples.data(), wav.data, in_bytes);
  cvt.buf = samples.data();
  cvt.len = static_cast<int>(in_bytes);
  if (SDL_ConvertAudio(&cvt) != 0) return {};
  samples.resize(static_cast<std::size_t>(cvt.len_cvt));
  return samples;
}

// The samples of `wav` (`in_frames` of `in_frame` bytes) in `out`'s format,
// at another rate.
std::vector<std::uint8_t> resample(const WavBuffer& wav, std::size_t in_frames,
                                   std::size_t in_frame, const PcmFormat& out) {
  StreamPtr stream(SDL_NewAudioStream(wav.spec.format, wav.spec.channels, wav.spec.freq,
                                      sdl_format(out.type), static_cast<Uint8>(out.channels),
                                      out.rate));
  if (!stream) return {};

  // All in one piece: SDL 2.26's resampler rounds every piece it is given to
  // whole output frames, which leaves a small jump at each seam. It also
  // holds back up to ResamplerPadding() source frames (512 times the rate
  // ratio, rounded up) that its flush can leave behind; silence after the
  // sound pushes them out, and the result is cut back to the sound's length.
  const int ratio_up = (wav.spec.freq + out.rate - 1) / out.rate;
  const std::size_t pad_frames = 512u * static_cast<std::size_t>(std::max(1, ratio_up)) + 16;
  std::vector<Uint8> source(wav.data, wav.data + in_frames * in_frame);
  const Uint8 silence = wav.spec.format == AUDIO_U8 ? 0x80 : 0;
  source.resize(source.size() + pad_frames * in_frame, silence);
  if (source.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      SDL_AudioStreamPut(stream.get(), source.data(), static_cast<int>(source.size())) != 0 ||
      SDL_AudioStreamFlush(stream.get()) != 0) {
    return {};
  }
  source = {};

  const std::size_t whole = static_cast<std::size_t>(std::ceil(static_cast<double>(in_frames) *
                                                               out.rate / wav.spec.freq)) *
                            static_cast<std::size_t>(out.frame_bytes());
  std::vector<std::uint8_t> samples(
      static_cast<std::size_t>(std::max(0, SDL_AudioStreamAvailable(stream.get()))));
  const int got =
      SDL_AudioStreamGet(stream.get(), samples.data(), static_cast<int>(samples.size()));
  samples.resize(std::min(whole, static_cast<std::size_t>(std::max(got, 0))));
  return samples;
}

// Loads `file` and converts it to `out`, where `rate_of` gives out's rate from
// the file's own.
template <class RateOf>
DecodedWav decode(std::vector<std::uint8_t> file, PcmFormat out, RateOf rate_of,
                  const std::function<bool()>& cancelled) {
  if (out.channels < 1 || out.channels > 8) return {};
  WavBuffer wav;
  if (!load_wav(file, wav) || !playable_source(wav.spec)) return {};
  file = {};  // the samples are out; the file image is no longer needed
  if (cancelled && cancelled()) return {};
  out.rate = rate_of(wav.spec.freq);
  if (out.rate <= 0) return {};

  const std::size_t in_frame =
      static_cast<std::size_t>(SDL_AUDIO_BITSIZE(wav.spec.format) / 8) * wav.spec.channels;
  const std::size_t max_in_frames = static_cast<std::size_t>(kMaxCueSeconds) * wav.spec.freq;
  const std::size_t in_frames = std::min<std::size_t>(wav.length / in_frame, max_in_frames);
  if (in_frames == 0) return {};
  if (SDL_AUDIO_ISFLOAT(wav.spec.format)) sanitise_floats(wav.data, in_frames * in_frame);

  auto samples = wav.spec.freq == out.rate ? convert_in_place(wav, in_frames * in_frame, out)
                                           : resample(wav, in_frames, in_frame, out);
  samples.resize(samples.size() - samples.size() % static_cast<std::size_t>(out.frame_bytes()));
  return {std::move(samples), out};
}

}  // namespace

std::vector<std::uint8_t> decode_wav(std::vector<std::uint8_t> file, const PcmFormat& out,
                                     const std::function<bool()>& cancelled) {
  return decode(
             std::move(file), out, [&](int) { return out.rate; }, cancelled)
      .samples;
}

DecodedWav decode_wav_at_own_rate(std::vector<std::uint8_t> file, const PcmFormat& out,
                                  const std::function<bool()>& cancelled) {
  return decode(
      std::move(file), out,
      [&](int own) { return own >= kMinDeviceRate && own <= kMaxDeviceRate ? own : out.rate; },
      cancelled);
}

}  // namespace quarvel::sound
