// The fuzz seed corpus is what the generator writes, and every seed, a valid
// WAV of one encoding, decodes to the tone it holds: the right length and the
// right pitch, in both sample formats a cue device takes.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "sound/wav_decode.h"
#include "tests/support/files.h"
#include "wav_writer.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;
using sound::PcmFormat;
using sound::SampleType;
using testing::read_bytes;

// The first channel of decoded frames, as floats.
std::vector<float> first_channel(const std::vector<std::uint8_t>& samples, const PcmFormat& f) {
  std::vector<float> out;
  const std::size_t frames = samples.size() / static_cast<std::size_t>(f.frame_bytes());
  for (std::size_t i = 0; i < frames; ++i) {
    const std::uint8_t* p = samples.data() + i * f.frame_bytes();
    if (f.type == SampleType::s16) {
      std::int16_t s;
      std::memcpy(&s, p, sizeof s);
      out.push_back(s / 32768.0f);
    } else {
      float v;
      std::memcpy(&v, p, sizeof v);
      out.push_back(v);
    }
  }
  return out;
}

// Pitch from rising zero crossings over the middle of the sound.
double pitch(const std::vector<float>& x, int rate) {
  std::size_t crossings = 0;
  const std::size_t from = x.size() / 8;
  const std::size_t to = x.size() - x.size() / 8;
  std::size_t first = 0, last = 0;
  for (std::size_t i = from + 1; i < to; ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

float peak(const std::vector<float>& x) {
  float p = 0;
  for (float v : x) p = std::max(p, std::abs(v));
  return p;
}

TEST(SeedCorpus, IsExactlyWhatTheGeneratorWrites) {
  const fs::path dir = QUARVEL_SEED_CORPUS;
  const auto seeds = wavseeds::seed_corpus();
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) files += entry.is_regular_file();
  EXPECT_EQ(files, seeds.size()) << "the corpus folder holds files the generator does not write";
  for (const auto& seed : seeds) {
    EXPECT_EQ(read_bytes(dir / seed.name), seed.bytes)
        << seed.name << " differs from the generator's; run the regenerate-wav-seeds target";
  }
}

TEST(SeedCorpus, EverySeedDecodesToItsToneInBothDeviceFormats) {
  sound::prepare_wav_decoding();
  for (const PcmFormat out :
       {PcmFormat{48000, 2, SampleType::s16}, PcmFormat{44100, 1, SampleType::f32}}) {
    for (const auto& seed : wavseeds::seed_corpus()) {
      SCOPED_TRACE(seed.name + (out.type == SampleType::s16 ? " as s16" : " as f32"));
      const auto samples = sound::decode_wav(seed.bytes, out);
      ASSERT_FALSE(samples.empty()) << "not decoded";
      ASSERT_EQ(samples.size() % out.frame_bytes(), 0u);
      const auto x = first_channel(samples, out);
      EXPECT_GT(peak(x), 0.4f) << "the tone is missing or far too quiet";
      EXPECT_LE(peak(x), 1.0f);
      EXPECT_NEAR(pitch(x, out.rate), 660.0, 25.0) << "the tone came out at the wrong pitch";
    }
  }
}

// A cue resampled to the device's rate keeps its whole length: a short hover
// cue that lost its last few milliseconds would lose a good part of itself.
TEST(WavDecode, ResampledCuesKeepTheirWholeLength) {
  sound::prepare_wav_decoding();
  const PcmFormat out{48000, 2, SampleType::s16};
  for (const int rate : {8000, 22050, 44100, 48000, 96000}) {
    for (const double seconds : {0.06, 0.5}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(seconds) + " s");
      const auto wav = wavseeds::make_wav({wavseeds::Encoding::pcm_s16, rate, 1},
                                          wavseeds::Tone{440.0, seconds, 0.5});
      const auto frames = sound::decode_wav(wav, out).size() / out.frame_bytes();
      EXPECT_NEAR(static_cast<double>(frames), seconds * out.rate, 4.0)
          << "frames at " << out.rate << " Hz";
    }
  }
}

// The largest single allocation SDL was asked for while decoding `file`, found
// in a child process whose SDL allocates through counting functions.
std::size_t largest_sdl_allocation(const std::vector<std::uint8_t>& file) {
  static std::size_t largest = 0;
  const pid_t child = fork();
  if (child == 0) {
    SDL_SetMemoryFunctions(
        [](std::size_t n) {
          largest = std::max(largest, n);
          return std::malloc(n);
        },
        [](std::size_t n, std::size_t size) {
          largest = std::max(largest, n * size);
          return std::calloc(n, size);
        },
        [](void* p, std::size_t n) {
          largest = std::max(largest, n);
          return std::realloc(p, n);
        },
        [](void* p) { std::free(p); });
    sound::prepare_wav_decoding();
    sound::decode_wav(file, PcmFormat{48000, 2, SampleType::s16});
    // The size in MiB, rounded up, as the exit status (255: 255 MiB or more).
    _exit(static_cast<int>(std::min<std::size_t>(255, (largest + (1 << 20) - 1) >> 20)));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? static_cast<std::size_t>(WEXITSTATUS(status)) << 20 : SIZE_MAX;
}

// A cue file of a few bytes must not make the player reserve gigabytes: its
// chunk sizes are claims, cut to the bytes present, whether or not the file
// begins with its RIFF header (SDL also takes a file that starts at "WAVE").
TEST(WavDecode, ATinyFileClaimingAHugeChunkAllocatesLittle) {
  auto riff = wavseeds::make_wav({wavseeds::Encoding::float32, 48000, 2},
                                 wavseeds::Tone{440.0, 0.001, 0.5});
  // The data chunk claims almost 4 GiB.
  const auto data =
      std::search(riff.begin(), riff.end(), std::begin("data"), std::begin("data") + 4) -
      riff.begin();
  for (int i = 0; i < 4; ++i) riff[static_cast<std::size_t>(data) + 4 + i] = i ? 0xFF : 0x08;
  const std::vector<std::uint8_t> headerless(riff.begin() + 8, riff.end());  // from "WAVE" on

  EXPECT_LE(largest_sdl_allocation(riff), std::size_t{16} << 20) << "with its RIFF header";
  EXPECT_LE(largest_sdl_allocation(headerless), std::size_t{16} << 20)
      << "starting at \"WAVE\" (no RIFF header): SDL reserves what the chunk claims";
}

}  // namespace
}  // namespace quarvel
