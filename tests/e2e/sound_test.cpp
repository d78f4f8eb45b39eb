// The real launcher with a real sound server (each that a desktop may run, see
// tests/support/sound-session.sh), recorded from its null sink's monitor. The
// open cue greets the user, every cue is heard at once and cuts off the one
// before, the hover cue sounds once per entry, a replaced cue file is heard
// from its next playing, the launcher idles after its last cue and closes at
// once, and without its cues it works as usual in silence.
#include <gtest/gtest.h>

#include <time.h>

#include <functional>
#include <thread>

#include "fixture.h"
#include "pulse_capture.h"
#include "tests/support/files.h"
#include "tone_analysis.h"
#include "tools/cuegen/cue_tones.h"
#include "wav_builder.h"

namespace quarvel::e2e {
namespace {

using sound::testing::MonitorRecorder;
using sound::testing::SoundSession;
using SoundClock = sound::testing::Clock;

class Sound : public LauncherTest {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    server_ = SoundSession::start(error).release();
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
  }
  void TearDown() override {
    LauncherTest::TearDown();
    recorder.reset();
  }

  // The five demo cues in the launcher's Install folder.
  void install_cues() {
    ASSERT_EQ(run({QUARVEL_CUEGEN, (launcher->folder() / "Install").string()}), 0);
  }

  // A cue file that is one tone, by default long enough that the next cue always cuts it off.
  void install_tone(const char* file, double hz, double seconds = 1.5) {
    write_file(
        launcher->folder() / "Install" / file,
        sound::testing::pcm_wav(sound::testing::sine(hz, seconds, 44100, 0.5), 44100, 1, 16));
  }

  // The CPU time the whole launcher has used (every thread, ended ones too), in ms.
  double launcher_cpu_ms() const {
    clockid_t clock{};
    timespec t{};
    if (clock_getcpuclockid(launcher->pid(), &clock) != 0 || clock_gettime(clock, &t) != 0) {
      ADD_FAILURE() << "cannot read the launcher's CPU time";
      return 0;
    }
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
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

  static inline SoundSession* server_ = nullptr;
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

TEST_F(Sound, EveryCueIsHeardAtOnceAndCutsOffTheOneBefore) {
  // One tone per cue, each longer than the steps below are apart.
  struct Tone {
    const char* file;
    double hz;
  };
  const Tone open_cue{"open.wav", 500}, hover_cue{"hover.wav", 1500}, click_cue{"click.wav", 800},
      back_cue{"back.wav", 350}, start_cue{"start.wav", 1100};
  for (const Tone& t : {open_cue, hover_cue, click_cue, back_cue, start_cue}) {
    install_tone(t.file, t.hz);
  }
  start();
  std::this_thread::sleep_for(300ms);  // the open cue sounds

  // Each step: what the user does first, the pointer event that asks for a cue
  // (a click asks when the button comes up), the cue, and the cue it cuts off.
  struct Step {
    const char* what;
    std::function<void()> before, act;
    Tone cue, cut;
  };
  const auto nothing = [] {};
  const auto press = [] { desktop().pointer().press(); };
  const auto release = [] { desktop().pointer().release(); };
  const std::vector<Step> steps = {
      {"onto the help button", nothing, [&] { move(kOnHelp); }, hover_cue, open_cue},
      {"a click on help", press, release, click_cue, hover_cue},
      {"onto the minimize widget", [&] { move(kOnBackground); }, [&] { move(kOnMinimize); },
       hover_cue, click_cue},
      {"a click on minimize", press, release, back_cue, hover_cue},
      {"back onto the start button",
       [&] {
         launcher->activate();  // the window was minimized meanwhile
         move(kOnBackground);
       },
       [&] { move(kOnStart); }, hover_cue, back_cue},
      {"a click on start", press, release, start_cue, hover_cue},
  };
  std::vector<double> delays;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.before();
    const auto asked = SoundClock::now();
    step.act();
    std::this_thread::sleep_for(700ms);
    const auto heard = recorder->tone_onset_after(asked - 5ms, step.cue.hz, 0.05);
    ASSERT_TRUE(heard) << step.cue.file << " was not heard";
    delays.push_back(std::chrono::duration<double, std::milli>(*heard - asked).count());
    EXPECT_LT(*heard - asked, sound::testing::heard_limit()) << step.cue.file << " came late";
    EXPECT_LT(level(*heard + 30ms, *heard + 500ms, step.cut.hz), 0.01)
        << step.cut.file << " went on under " << step.cue.file;
  }
  std::printf("[ figures  ] cues heard after the pointer event:");
  for (double d : delays) std::printf(" %.1f", d);
  std::printf(" ms\n");
}

TEST_F(Sound, AfterItsLastCueTheLauncherIdlesAndACloseEndsItAtOnce) {
  install_cues();
  // The time to its end is the program's: a sanitized build's leak check at
  // exit (about 250 ms) is not, and runs in every other case.
  start({"ASAN_OPTIONS=detect_leaks=0"});
  std::this_thread::sleep_for(1200ms);  // the open cue has ended
  const auto asked = SoundClock::now();
  move(kOnHelp);  // the help button's hover cue, 60 ms
  std::this_thread::sleep_for(300ms);
  const auto end = recorder->last_sound_between(asked, SoundClock::now());
  ASSERT_TRUE(end) << "the hover cue was not heard";
  // From the cue's end on, a second of nothing but waiting.
  std::this_thread::sleep_until(*end);
  const double before = launcher_cpu_ms();
  std::this_thread::sleep_for(1s);
  const double used = launcher_cpu_ms() - before;

  // A close from outside while a cue sounds.
  install_tone("hover.wav", 700);
  move(kOnBackground);
  move(kOnHelp);
  std::this_thread::sleep_for(100ms);
  const auto closed = SoundClock::now();
  launcher->close_by_window_manager();
  const auto status = launcher->wait_exit(2s);
  const auto took = SoundClock::now() - closed;
  std::printf(
      "[ figures  ] launcher CPU in the second after its last cue %.3f ms (%.1f ms in all); closed "
      "in %.1f ms\n",
      used, before, std::chrono::duration<double, std::milli>(took).count());
  EXPECT_LE(used, 1.0) << "ms of CPU in the second after the last cue";
  ASSERT_TRUE(status) << "the launcher did not end";
  EXPECT_EQ(*status, 0);
  EXPECT_LT(took, 300ms) << "from the window manager's close to the launcher's end";
}

TEST_F(Sound, TheHoverCueSoundsOnceHoweverLongThePointerMovesInside) {
  install_cues();
  start();
  std::this_thread::sleep_for(1200ms);  // the open cue has ended
  const auto entered = SoundClock::now();
  for (int i = 0; i < 40; ++i) move({20 + 2 * i, 430 + i % 20});  // inside the start button
  std::this_thread::sleep_for(300ms);
  const auto left = SoundClock::now();
  EXPECT_EQ(onsets(entered, left, cuegen::kHoverCueHz), 1);
  // The cue is 60 ms long: played again on every move it would sound on and on.
  const auto first = recorder->tone_onset_after(entered, cuegen::kHoverCueHz, 0.05);
  ASSERT_TRUE(first);
  EXPECT_LT(level(*first + 150ms, left, cuegen::kHoverCueHz), 0.01) << "the hover cue played again";

  move(kOnBackground);  // over the background: dark again, no cue
  std::this_thread::sleep_for(200ms);
  const auto back = SoundClock::now();
  move(kOnStart);
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
  install_tone("hover.wav", replaced_hz, 0.4);
  const auto entered = SoundClock::now();
  move(kOnHelp);
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
  move(kOnQuit);
  EXPECT_TRUE(shows(lit, 1s));
  EXPECT_FALSE(recorder->first_sound_after(started)) << "something sounded";
  EXPECT_TRUE(launcher->running());
}

TEST_F(Sound, OnAMachineWithoutASoundServerTheTerminalStaysQuiet) {
  // No PulseAudio, no PipeWire, and ALSA with no sound card: the sound
  // libraries have errors to tell, and the launcher shows no message.
  install_cues();
  const fs::path output = root / "output";
  start({"PULSE_SERVER=unix:/nonexistent/quarvel/native", "PIPEWIRE_RUNTIME_DIR=/nonexistent",
         "-SDL_AUDIODRIVER", "HOME=" + root.string()},
        output);
  move(kOnHelp);
  move(kOnBackground);
  move(kOnStart);
  std::this_thread::sleep_for(500ms);
  launcher->close_by_window_manager();
  ASSERT_TRUE(launcher->wait_exit(2s)) << "the launcher did not end";
  EXPECT_EQ(read_file(output), "") << "the launcher's terminal showed this";
}

TEST_F(Sound, WithBrokenCueFilesTheLauncherWorksAsUsual) {
  for (const auto& cue : cuegen::kCueTones) {
    write_file(launcher->folder() / "Install" / cue.file, "RIFF\x24\x00\x00\x00WAVEfmt garbage");
  }
  start();
  EXPECT_TRUE(shows(WindowModel{}));
  WindowModel lit;
  lit.set_visible(Element::help, false);
  lit.set_visible(Element::help_ovr, true);
  move(kOnHelp);
  EXPECT_TRUE(shows(lit, 1s));
  EXPECT_TRUE(launcher->running());
}

}  // namespace
}  // namespace quarvel::e2e

int main(int argc, char** argv) {
  return quarvel::sound::testing::run_tests_retaking_if_the_machine_held_them_up(argc, argv);
}
