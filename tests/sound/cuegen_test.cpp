// The demo cues: five distinct, well-formed sounds, each dominated by the
// frequency its header promises, written the same way every time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <span>
#include <string>

#include "sound/wav_decode.h"
#include "tests/support/files.h"
#include "tone_analysis.h"
#include "tools/cuegen/cue_tones.h"

namespace quarvel::cuegen {
namespace {

using sound::testing::peak;
using sound::testing::strongest_hz;
using sound::testing::to_float;
using sound::testing::tone_level;
using testing::read_bytes;

std::span<const float> seconds_of(const std::vector<float>& x, double from, double to) {
  const auto a = std::min(x.size(), static_cast<std::size_t>(from * kCueRate));
  const auto b = std::min(x.size(), static_cast<std::size_t>(to * kCueRate));
  return std::span<const float>(x).subspan(a, b - a);
}

TEST(DemoCues, EachHasItsLengthAndAComfortableLevel) {
  for (const CueTone& cue : kCueTones) {
    const auto x = to_float(synthesise(cue.file));
    EXPECT_NEAR(static_cast<double>(x.size()) / kCueRate, cue.seconds, 0.001) << cue.file;
    EXPECT_GT(peak(x), 0.2f) << cue.file << " is too quiet";
    EXPECT_LT(peak(x), 0.8f) << cue.file << " leaves too little headroom";
    // No click at either end: the first and last 2 ms stay quiet.
    EXPECT_LT(peak(seconds_of(x, 0, 0.0005)), 0.05f) << cue.file;
    EXPECT_LT(peak(seconds_of(x, cue.seconds - 0.0005, cue.seconds)), 0.05f) << cue.file;
  }
  EXPECT_TRUE(synthesise("other.wav").empty());
}

TEST(DemoCues, EachIsDominatedByItsOwnFrequency) {
  for (const CueTone& cue : kCueTones) {
    const auto x = to_float(synthesise(cue.file));
    EXPECT_NEAR(strongest_hz(x, kCueRate, 100, 5000, 2), cue.hz, 6) << cue.file;
    const double own = tone_level(x, kCueRate, cue.hz);
    for (const CueTone& other : kCueTones) {
      if (other.file == cue.file) continue;
      EXPECT_GT(own, 4 * tone_level(x, kCueRate, other.hz))
          << cue.file << " should not sound like " << other.file;
    }
  }
}

TEST(DemoCues, TheirFrequenciesAreWellApart) {
  for (const CueTone& a : kCueTones) {
    for (const CueTone& b : kCueTones) {
      if (a.file == b.file) continue;
      EXPECT_GT(std::abs(a.hz - b.hz), 50) << a.file << " " << b.file;
    }
  }
}

TEST(DemoCues, OpenRisesAndBackFalls) {
  const auto open = to_float(synthesise("open.wav"));
  const double open_early = strongest_hz(seconds_of(open, 0.0, 0.06), kCueRate, 100, 3000, 5);
  const double open_late = strongest_hz(seconds_of(open, 0.3, 0.9), kCueRate, 100, 3000, 5);
  EXPECT_LT(open_early, open_late - 200);

  const auto back = to_float(synthesise("back.wav"));
  const double back_early = strongest_hz(seconds_of(back, 0.0, 0.02), kCueRate, 100, 3000, 5);
  const double back_late = strongest_hz(seconds_of(back, 0.06, 0.16), kCueRate, 100, 3000, 5);
  EXPECT_GT(back_early, back_late + 100);
}

TEST(DemoCues, TheProgramWritesTheSameFilesEveryTime) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarvel-cuegen-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path base = pattern;
  const auto first = base / "a", second = base / "b" / "deeper";
  for (const auto& dir : {first, second}) {
    const std::string cmd = std::string(QUARVEL_CUEGEN) + " '" + dir.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  sound::prepare_wav_decoding();
  for (const CueTone& cue : kCueTones) {
    const auto a = read_bytes(first / std::string(cue.file));
    const auto b = read_bytes(second / std::string(cue.file));
    EXPECT_EQ(a, b) << cue.file;
    EXPECT_EQ(a, wav_image(synthesise(cue.file), kCueRate)) << cue.file;
    ASSERT_GE(a.size(), 44u);
    // Canonical 16-bit mono PCM at kCueRate, which our own decoder plays.
    EXPECT_EQ(std::string(a.begin(), a.begin() + 4), "RIFF");
    EXPECT_EQ(a[20] | a[21] << 8, 1) << "PCM";
    EXPECT_EQ(a[22] | a[23] << 8, 1) << "mono";
    EXPECT_EQ(a[24] | a[25] << 8 | a[26] << 16, kCueRate);
    EXPECT_EQ(a[34] | a[35] << 8, 16) << "bits";
    EXPECT_FALSE(sound::decode_wav(a, sound::PcmFormat{}).empty()) << cue.file;
  }
  std::filesystem::remove_all(base);
}

TEST(DemoCues, TheProgramRefusesAMissingArgument) {
  EXPECT_NE(std::system((std::string(QUARVEL_CUEGEN) + " 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace quarvel::cuegen
