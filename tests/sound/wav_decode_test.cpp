// Decoding WAV bytes into the device's format: every supported kind comes out
// as the same tone at the device's rate; anything else comes out as nothing,
// and never as a crash or a read past the bytes given.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <numbers>
#include <random>
#include <span>
#include <string>

#include "sound/wav_decode.h"
#include "tone_analysis.h"
#include "wav_builder.h"

namespace quarvel::sound {
namespace {

using namespace testing;
using ::testing::Test;
using ::testing::TestWithParam;
using ::testing::Values;

constexpr PcmFormat kStereo48k{48000, 2, SampleType::s16};

class WavDecodeTest : public Test {
 protected:
  static void SetUpTestSuite() { prepare_wav_decoding(); }

  static std::vector<std::int16_t> as_s16(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
  }
  // Seconds of sound in decoded bytes.
  static double seconds(const std::vector<std::uint8_t>& bytes, const PcmFormat& f) {
    return static_cast<double>(bytes.size()) / f.frame_bytes() / f.rate;
  }
};

struct Kind {
  const char* name;
  Bytes (*make)(const std::vector<double>&, int rate);
  int rate;
};

class EveryKindTest : public WavDecodeTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(EveryKindTest, DecodesToTheSameToneInStereoAt48k) {
  const Kind& k = GetParam();
  const auto bytes = decode_wav(k.make(sine(1000, 0.5, k.rate, 0.5), k.rate), kStereo48k);
  ASSERT_FALSE(bytes.empty()) << k.name;
  EXPECT_NEAR(seconds(bytes, kStereo48k), 0.5, 0.02) << k.name;
  const auto s = as_s16(bytes);
  const auto left = channel_of(s, 2, 0), right = channel_of(s, 2, 1);
  EXPECT_EQ(left, right) << k.name << ": both channels carry the signal";
  const std::span<const float> middle(left.data() + 4800, 9600);
  EXPECT_NEAR(strongest_hz(middle, 48000, 200, 4000, 5), 1000, 5) << k.name;
  EXPECT_NEAR(tone_level(middle, 48000, 1000), 0.5, 0.06) << k.name;
}

TEST_P(EveryKindTest, DecodesToTheSameToneInStereoAtItsOwnRate) {
  const Kind& k = GetParam();
  const auto out = decode_wav_at_own_rate(k.make(sine(1000, 0.5, k.rate, 0.5), k.rate), kStereo48k);
  ASSERT_EQ(out.format.rate, k.rate) << k.name;
  EXPECT_NEAR(seconds(out.samples, out.format), 0.5, 0.02) << k.name;
  const auto left = channel_of(as_s16(out.samples), 2, 0);
  const std::span<const float> middle(left.data() + k.rate / 10,
                                      static_cast<std::size_t>(k.rate / 5));
  EXPECT_NEAR(strongest_hz(middle, k.rate, 200, 3000, 5), 1000, 5) << k.name;
  EXPECT_NEAR(tone_level(middle, k.rate, 1000), 0.5, 0.06) << k.name;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EveryKindTest,
    Values(Kind{"u8 mono 11025", [](auto& s, int r) { return pcm_wav(s, r, 1, 8); }, 11025},
           Kind{"s16 mono 44100", [](auto& s, int r) { return pcm_wav(s, r, 1, 16); }, 44100},
           Kind{"s16 stereo 22050", [](auto& s, int r) { return pcm_wav(s, r, 2, 16); }, 22050},
           Kind{"s24 stereo 96000", [](auto& s, int r) { return pcm_wav(s, r, 2, 24); }, 96000},
           Kind{"s32 mono 48000", [](auto& s, int r) { return pcm_wav(s, r, 1, 32); }, 48000},
           Kind{"f32 stereo 32000", [](auto& s, int r) { return float_wav(s, r, 2); }, 32000},
           Kind{"s16 6-channel 48000", [](auto& s, int r) { return pcm_wav(s, r, 6, 16); }, 48000},
           Kind{"mu-law 8000", [](auto& s, int r) { return mulaw_wav(s, r); }, 8000},
           Kind{"IMA ADPCM 22050", [](auto& s, int r) { return ima_adpcm_wav(s, r); }, 22050},
           Kind{"MS ADPCM 22050", [](auto& s, int r) { return ms_adpcm_wav(s, r); }, 22050}),
    [](const auto& test) {
      std::string n = test.param.name;
      for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return n;
    });

TEST_F(WavDecodeTest, AtItsOwnRateASlowerFileThanAnyDeviceComesAtTheRateAskedFor) {
  const auto slow =
      decode_wav_at_own_rate(pcm_wav(sine(500, 0.5, 4000, 0.5), 4000, 1, 16), kStereo48k);
  EXPECT_EQ(slow.format.rate, 48000);
  EXPECT_NEAR(seconds(slow.samples, slow.format), 0.5, 0.02);
}

TEST_F(WavDecodeTest, FloatOutputKeepsLevelAndRate) {
  const PcmFormat mono_f32{44100, 1, SampleType::f32};
  const auto bytes = decode_wav(pcm_wav(sine(440, 0.3, 44100, 0.25), 44100, 1, 16), mono_f32);
  ASSERT_EQ(bytes.size() % 4, 0u);
  std::vector<float> f(bytes.size() / 4);
  std::memcpy(f.data(), bytes.data(), bytes.size());
  EXPECT_NEAR(static_cast<double>(f.size()) / 44100, 0.3, 0.01);
  EXPECT_NEAR(tone_level(f, 44100, 440), 0.25, 0.02);
}

TEST_F(WavDecodeTest, FloatSourcesWithNanInfinityOrHugeValuesComeOutFinite) {
  auto file = float_wav(sine(500, 0.1, 48000, 0.5), 48000, 1);
  const float bad[] = {std::nanf(""), INFINITY, -INFINITY, 1e30f, -1e30f};
  std::size_t at = file.size() - 4 * 200;
  for (int i = 0; i < 40; ++i)
    std::memcpy(&file[at + 4 * static_cast<std::size_t>(i)], &bad[i % 5], 4);
  const auto bytes = decode_wav(file, PcmFormat{48000, 1, SampleType::f32});
  ASSERT_FALSE(bytes.empty());
  std::vector<float> f(bytes.size() / 4);
  std::memcpy(f.data(), bytes.data(), bytes.size());
  for (float v : f) ASSERT_TRUE(std::isfinite(v) && std::abs(v) <= 1.5f) << v;
}

TEST_F(WavDecodeTest, TruncatedDataPlaysWhatIsThere) {
  auto file = pcm_wav(sine(800, 1.0, 48000, 0.5), 48000, 1, 16);
  file.resize(44 + 48000 * 2 * 3 / 10 + 1);  // 0.3 s and half a sample
  const auto bytes = decode_wav(file, kStereo48k);
  EXPECT_NEAR(seconds(bytes, kStereo48k), 0.3, 0.01);
}

TEST_F(WavDecodeTest, AHeaderClaimingFarMoreDataPlaysThePresentPart) {
  const auto tone = pcm_wav(sine(800, 0.2, 48000, 0.5), 48000, 1, 16);
  const Bytes data(tone.begin() + 44, tone.end());
  const Bytes file =
      riff_wave({chunk("fmt ", pcm_fmt(48000, 1, 16)), chunk_with_size("data", 0xFFFFFFF0u, data)});
  const auto bytes = decode_wav(file, kStereo48k);
  EXPECT_NEAR(seconds(bytes, kStereo48k), 0.2, 0.01);
}

TEST_F(WavDecodeTest, ClampingCutsOverlongChunksToTheBytesPresent) {
  Bytes file = riff_wave(
      {chunk("fmt ", pcm_fmt(8000, 1, 8)), chunk_with_size("data", 1000000, Bytes(10, 128))});
  std::memcpy(&file[4], "\xff\xff\xff\x7f", 4);  // RIFF size far too big as well
  clamp_riff_chunks(file);
  const auto le32 = [&](std::size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24;
  };
  EXPECT_EQ(le32(4), static_cast<int>(file.size() - 8));
  EXPECT_EQ(le32(40), 10);
  const Bytes not_riff = {'R', 'I', 'F', 'X', 1, 2, 3, 4, 'W', 'A', 'V', 'E'};
  Bytes copy = not_riff;
  clamp_riff_chunks(copy);
  EXPECT_EQ(copy, not_riff);
}

TEST_F(WavDecodeTest, AFormWithoutItsRiffHeaderHasItsClaimsCutToo) {
  // SDL reads a bare "WAVE" form as well; a data chunk claiming 3 GiB there
  // once made it try to allocate all of it (found by the fuzzer).
  const auto tone = pcm_wav(sine(800, 0.2, 48000, 0.5), 48000, 1, 16);
  const Bytes riff =
      riff_wave({chunk("fmt ", pcm_fmt(48000, 1, 16)),
                 chunk_with_size("data", 0xC0000000u, Bytes(tone.begin() + 44, tone.end()))});
  Bytes bare(riff.begin() + 8, riff.end());  // "WAVE" and the chunks
  Bytes clamped = bare;
  clamp_riff_chunks(clamped);
  const auto data_size = clamped[32] | clamped[33] << 8 | clamped[34] << 16 | clamped[35] << 24;
  EXPECT_EQ(data_size, static_cast<int>(bare.size() - 36));
  EXPECT_NEAR(seconds(decode_wav(bare, kStereo48k), kStereo48k), 0.2, 0.01);
}

TEST_F(WavDecodeTest, AnOddLastChunkCutBeforeItsPadByteGetsOne) {
  auto file = pcm_wav(sine(800, 0.1, 8000, 0.5), 8000, 1, 8);  // 800 data bytes
  file.resize(file.size() - 1);                                // 799: odd, no pad byte
  const std::size_t cut = file.size();
  clamp_riff_chunks(file);
  EXPECT_EQ(file.size(), cut + 1);
  EXPECT_NEAR(seconds(decode_wav(file, kStereo48k), kStereo48k), 799.0 / 8000, 0.002);
}

TEST_F(WavDecodeTest, ResamplingLeavesNoSeamInTheSound) {
  // A clean sine in, a clean sine out: no sample strays from the ideal wave
  // by more than a trace (a seam in the converter shows as a jump).
  const auto file = pcm_wav(sine(440, 4.0, 22050, 0.5), 22050, 1, 16);
  const auto out = as_s16(decode_wav(file, kStereo48k));
  ASSERT_NEAR(static_cast<double>(out.size()) / 2 / 48000, 4.0, 0.001);
  double worst = 0;
  for (std::size_t i = 4800; i + 4800 < out.size() / 2; ++i) {
    const double ideal =
        0.5 * 32767 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(i) / 48000.0);
    worst = std::max(worst, std::abs(out[2 * i] - ideal));
  }
  EXPECT_LT(worst, 120) << "largest deviation from the ideal sine, in 16-bit steps";
}

TEST_F(WavDecodeTest, LongFilesAreCutToTheLongestCue) {
  const auto file = pcm_wav(sine(300, kMaxCueSeconds + 4.0, 8000, 0.3), 8000, 1, 8);
  const auto bytes = decode_wav(file, kStereo48k);
  EXPECT_NEAR(seconds(bytes, kStereo48k), kMaxCueSeconds, 0.05);
}

TEST_F(WavDecodeTest, ACancelledDecodeGivesNothing) {
  const auto file = pcm_wav(sine(300, 2.0, 44100, 0.3), 44100, 2, 16);
  int asked = 0;
  EXPECT_TRUE(decode_wav(file, kStereo48k, [&] { return ++asked > 0; }).empty());
  EXPECT_EQ(asked, 1);
  EXPECT_NEAR(seconds(decode_wav(file, kStereo48k, [] { return false; }), kStereo48k), 2.0, 0.001);
}

TEST_F(WavDecodeTest, WhatIsNoPlayableWavGivesNothing) {
  const Bytes good_fmt = pcm_fmt(44100, 1, 16);
  const Bytes some_data(400, 7);
  auto fmt_with = [&](std::size_t at, std::uint64_t value, int width) {
    Bytes f = good_fmt;
    for (int i = 0; i < width; ++i)
      f[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return riff_wave({chunk("fmt ", f), chunk("data", some_data)});
  };
  const std::string text = "This is not a sound file, just some words.\n";
  const struct {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty", {}},
      {"three bytes", {'R', 'I', 'F'}},
      {"RIFF tag only", {'R', 'I', 'F', 'F'}},
      {"text", Bytes(text.begin(), text.end())},
      {"no fmt chunk", riff_wave({chunk("data", some_data)})},
      {"no data chunk", riff_wave({chunk("fmt ", good_fmt)})},
      {"zero channels", fmt_with(2, 0, 2)},
      {"zero rate", fmt_with(4, 0, 4)},
      {"rate of 10 MHz", fmt_with(4, 10000000, 4)},
      {"rate of 10 Hz", fmt_with(4, 10, 4)},
      {"nine channels", fmt_with(2, 9, 2)},
      {"zero block align", fmt_with(12, 0, 2)},
      {"zero bits", fmt_with(14, 0, 2)},
      {"unknown format tag", fmt_with(0, 0x1234, 2)},
      {"fmt chunk claiming 4 GiB", riff_wave({chunk_with_size("fmt ", 0xFFFFFFFFu, good_fmt)})},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(decode_wav(c.file, kStereo48k).empty()) << c.what;
  }
}

TEST_F(WavDecodeTest, EveryPrefixOfAFileDecodesSafely) {
  const auto pcm = pcm_wav(sine(700, 0.02, 8000, 0.5), 8000, 2, 16);
  const auto ima = ima_adpcm_wav(sine(700, 0.1, 8000, 0.5), 8000);
  const auto ms = ms_adpcm_wav(sine(700, 0.1, 8000, 0.5), 8000);
  for (const Bytes* file : {&pcm, &ima, &ms}) {
    for (std::size_t n = 0; n <= file->size(); ++n) {
      const auto bytes =
          decode_wav(Bytes(file->begin(), file->begin() + static_cast<long>(n)), kStereo48k);
      ASSERT_LE(seconds(bytes, kStereo48k), 0.11) << "prefix of " << n << " bytes";
    }
  }
}

TEST_F(WavDecodeTest, RandomDamageNeverCrashesOrGrowsBeyondTheLimit) {
  std::mt19937 rng(20240611);
  const std::vector<Bytes> seeds = {pcm_wav(sine(700, 0.05, 22050, 0.5), 22050, 2, 16),
                                    float_wav(sine(700, 0.05, 22050, 0.5), 22050, 1),
                                    ima_adpcm_wav(sine(700, 0.05, 22050, 0.5), 22050),
                                    ms_adpcm_wav(sine(700, 0.05, 22050, 0.5), 22050)};
  int decoded = 0;
  for (int round = 0; round < 1500; ++round) {
    Bytes file = seeds[static_cast<std::size_t>(round) % seeds.size()];
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header and chunk sizes, where the damage matters.
      const std::size_t at =
          rng() % 4 ? rng() % std::min<std::size_t>(file.size(), 90) : rng() % file.size();
      file[at] = static_cast<std::uint8_t>(rng());
    }
    if (rng() % 4 == 0) file.resize(rng() % file.size());
    const auto bytes = decode_wav(file, kStereo48k);
    ASSERT_LE(seconds(bytes, kStereo48k), kMaxCueSeconds + 0.01) << "round " << round;
    decoded += !bytes.empty();
  }
  EXPECT_GT(decoded, 100) << "most lightly damaged files should still play something";
}

TEST_F(WavDecodeTest, RandomBytesGiveNothing) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    Bytes file(1 + rng() % 5000);
    for (auto& b : file) b = static_cast<std::uint8_t>(rng());
    EXPECT_TRUE(decode_wav(file, kStereo48k).empty()) << "round " << round;
  }
}

}  // namespace
}  // namespace quarvel::sound
