// The real launcher with a real sound server: a private PulseAudio with a null
// sink, recorded from its monitor. The open cue greets the user, the hover cue
// sounds once per entry, a replaced cue file is heard from its next playing,
// and without its cues the launcher works as usual in silence.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "fixture.h"
#include "pulse_capture.h"
#include "tone_analysis.h"
#include "tools/cuegen/cue_tones.h"
#include "wav_builder.h"

namespace quarvel::e2e {
namespace {

using sound::testing::MonitorRecorder;
using sound::testing::PulseSession;
using SoundClock = sound::testing::Clock;

class Sound : public LauncherTest {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    server_ = PulseSession::start(error).release();
    error_ = error;
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(server_, nullptr) << error_;
    LauncherTest::SetUp();
    recorder = std::make_unique<MonitorRecorder>();
    ASSERT_TRUE(recorder->wait_until_running(3s)) << "parec recorded nothing";
    std::this_thread::sleep_for(600ms);  // the null sink settles at the recorder's latency
  }
  void TearDown() override {
    LauncherTest::TearDown();
    recorder.reset();
  }

  // The five demo cues in the launcher's Install folder.
  void install_cues() {
    ASSERT_EQ(run({QUARVEL_CUEGEN, (launcher->folder() / "Install").string()}), 0);
  }

  double level(SoundClock::time_point from, SoundClock::time_point to, double hz) const {
    const auto x = recorder->between(from, to);
    return sound::testing::tone_level(x, MonitorRecorder::kRate, hz);
  }

  // How many times `hz` starts sounding after `from` (onsets at least 100 ms apart).
  int onsets(SoundClock::time_point from, SoundClock::time_point to, double hz) const {
    int n = 0;
    for (auto t = recorder->tone_onset_after(from, hz, 0.05); t && *t < to;
         t = recorder->tone_onset_after(*t + 100ms, hz, 0.05)) {
      // Count a new onset only after the tone has died away in between.
      if (n == 0 || level(*t - 60ms, *t - 10ms, hz) < 0.01) ++n;
    }
    return n;
  }

  static inline PulseSession* server_ = nullptr;
  static inline std::string error_;
  std::unique_ptr<MonitorRecorder> recorder;
};

TEST_F(Sound, TheOpenCueGreetsTheUserAtStart) {
  install_cues();
  const auto started = SoundClock::now();
  start();
  std::this_thread::sleep_for(1500ms);  // about as long as the cue
  const auto heard = recorder->tone_onset_after(started, cuegen::kOpenCueHz, 0.05);
  ASSERT_TRUE(heard) << "no open cue was heard";
  EXPECT_LT(*heard - started, 1s) << "the open cue came late";
  EXPECT_GT(level(*heard, *heard + 400ms, cuegen::kOpenCueHz),
            4 * level(*heard, *heard + 400ms, cuegen::kHoverCueHz))
      << "what sounded at start is not the open cue";
}

TEST_F(Sound, TheHoverCueSoundsOnceHoweverLongThePointerMovesInside) {
  install_cues();
  start();
  std::this_thread::sleep_for(1200ms);  // the open cue has ended
  const auto entered = SoundClock::now();
  for (int i = 0; i < 40; ++i) move(20 + 2 * i, 430 + i % 20);  // inside the start button
  std::this_thread::sleep_for(300ms);
  const auto left = SoundClock::now();
  EXPECT_EQ(onsets(entered, left, cuegen::kHoverCueHz), 1);
  // The cue is 60 ms long: played again on every move it would sound on and on.
  const auto first = recorder->tone_onset_after(entered, cuegen::kHoverCueHz, 0.05);
  ASSERT_TRUE(first);
  EXPECT_LT(level(*first + 150ms, left, cuegen::kHoverCueHz), 0.01) << "the hover cue played again";

  move(250, 300);  // over the background: dark again, no cue
  std::this_thread::sleep_for(200ms);
  const auto back = SoundClock::now();
  move(60, 440);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(onsets(left, back, cuegen::kHoverCueHz), 0) << "the background played a cue";
  EXPECT_EQ(onsets(back, SoundClock::now(), cuegen::kHoverCueHz), 1)
      << "coming back onto the button did not play the hover cue again";
}

TEST_F(Sound, ACueFileReplacedWhileRunningIsHeardFromItsNextPlaying) {
  install_cues();
  start();
  std::this_thread::sleep_for(1200ms);
  const double replaced_hz = 700;
  const auto bytes =
      sound::testing::pcm_wav(sound::testing::sine(replaced_hz, 0.4, 44100, 0.5), 44100, 1, 16);
  std::ofstream(launcher->folder() / "Install/hover.wav", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const auto entered = SoundClock::now();
  move(250, 440);
  std::this_thread::sleep_for(500ms);
  EXPECT_GT(level(entered, SoundClock::now(), replaced_hz), 0.1) << "the new file was not heard";
  EXPECT_LT(level(entered, SoundClock::now(), cuegen::kHoverCueHz), 0.01) << "the old cue played";
}

TEST_F(Sound, WithoutItsInstallFolderTheLauncherWorksAsUsualInSilence) {
  const auto started = SoundClock::now();
  start();
  EXPECT_TRUE(shows(WindowModel{}));
  WindowModel lit;
  lit.set_visible(Element::quit, false);
  lit.set_visible(Element::exit_ovr, true);
  move(430, 440);
  EXPECT_TRUE(shows(lit, 1s));
  EXPECT_FALSE(recorder->first_sound_after(started)) << "something sounded";
  EXPECT_TRUE(launcher->running());
}

TEST_F(Sound, WithBrokenCueFilesTheLauncherWorksAsUsual) {
  fs::create_directories(launcher->folder() / "Install");
  for (const char* name : {"open.wav", "hover.wav", "click.wav", "start.wav", "back.wav"}) {
    std::ofstream(launcher->folder() / "Install" / name) << "RIFF\x24\x00\x00\x00WAVEfmt garbage";
  }
  start();
  EXPECT_TRUE(shows(WindowModel{}));
  WindowModel lit;
  lit.set_visible(Element::help, false);
  lit.set_visible(Element::help_ovr, true);
  move(250, 440);
  EXPECT_TRUE(shows(lit, 1s));
  EXPECT_TRUE(launcher->running());
}

}  // namespace
}  // namespace quarvel::e2e
