// The SDL cue device against a real (private) PulseAudio server: what it
// plays is recorded from the null sink's monitor and analysed.
//
// The program also serves as its own child for the exit test: with
// QUARVEL_SOUND_CHILD_EXIT_US set it plays cues and calls _exit after that
// many microseconds.
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <thread>

#include "pulse_capture.h"
#include "sound/cue_device.h"
#include "sound/cue_player.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tone_analysis.h"
#include "tools/cuegen/cue_tones.h"
#include "wav_builder.h"

extern char** environ;

namespace quarvel::sound {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using quarvel::testing::read_file;
using quarvel::testing::write_file;
using testing::Bytes;
using testing::Clock;
using testing::MonitorRecorder;
using testing::SoundSession;

constexpr auto kRequestLimit = 5ms;               // the most a request may hold up its caller
const auto kHeardLimit = testing::heard_limit();  // from request to sound

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The application directory followed by a cue literal, with '/' separators.
std::string cue_path(const std::string& dir, std::string_view literal) {
  std::string p = dir;
  for (char c : literal) p.push_back(c == '\\' ? '/' : c);
  return p;
}

Bytes tone_wav(double hz, double seconds, double level = 0.5) {
  return testing::pcm_wav(testing::sine(hz, seconds, 44100, level), 44100, 2, 16);
}

Bytes demo_cue(std::string_view file) {
  return cuegen::wav_image(cuegen::synthesise(file), cuegen::kCueRate);
}

// How long a call holds up the calling thread: the time it takes, less the
// time the thread meanwhile waited, runnable, while the scheduler ran others
// (the kernel's scheduler statistics), which on a busy machine befalls any call.
class HoldUp {
 public:
  Clock::duration so_far() const { return Clock::now() - started_ - (run_queue() - queued_); }

 private:
  static Clock::duration run_queue() {
    std::ifstream stats("/proc/thread-self/schedstat");
    long long on_cpu = 0, waiting = 0;
    stats >> on_cpu >> waiting;
    return std::chrono::nanoseconds(waiting);
  }
  Clock::duration queued_ = run_queue();
  Clock::time_point started_ = Clock::now();
};

// Forwards to the real device and keeps the longest time any request held up its caller.
class TimingDevice final : public CueDevice {
 public:
  explicit TimingDevice(std::unique_ptr<CueDevice> real) : real_(std::move(real)) {}
  void set_device_type(std::string_view type) override {
    timed([&] { real_->set_device_type(type); });
  }
  void set_file_name(std::string path) override {
    timed([&] { real_->set_file_name(std::move(path)); });
  }
  void command(CueCommand c) override {
    timed([&] { real_->command(c); });
  }
  bool finish(std::chrono::milliseconds within) override { return real_->finish(within); }
  // Destroys the real device; returns how long that held up the caller.
  Clock::duration destroy() {
    const HoldUp h;
    real_.reset();
    return h.so_far();
  }

  Clock::duration longest{};
  int requests = 0;

 private:
  void timed(const std::function<void()>& f) {
    const HoldUp h;
    f();
    longest = std::max(longest, h.so_far());
    ++requests;
  }
  std::unique_ptr<CueDevice> real_;
};

class CueDeviceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    session_ = SoundSession::start(error).release();
    setup_error_ = error;
    std::string pattern = (fs::temp_directory_path() / "quarvel-sound-XXXXXX").string();
    if (::mkdtemp(pattern.data())) root_ = new fs::path(pattern);
  }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
    if (root_) fs::remove_all(*root_);
    delete root_;
    root_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(session_, nullptr) << setup_error_;
    ASSERT_NE(root_, nullptr);
    app_dir_ = (*root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name()).string();
    fs::create_directories(app_dir_);
    const HoldUp h;
    device_ = std::make_unique<TimingDevice>(make_platform_cue_device());
    // Made once as the launcher starts: it only starts its thread, at most a
    // few ms (more under the sanitizers), and never waits on sound.
    EXPECT_LT(h.so_far(), 20ms) << "creating the device";
    player_ = std::make_unique<CuePlayer>(
        *device_, [this](std::string_view literal) { return cue_path(app_dir_, literal); });
  }

  void TearDown() override {
    if (device_) {
      EXPECT_LT(device_->longest, kRequestLimit)
          << "the slowest of " << device_->requests << " requests took " << ms(device_->longest)
          << " ms";
      player_->close();
      const auto took = device_->destroy();
      std::printf("[ figures  ] slowest request %.3f ms of %d; destruction %.1f ms\n",
                  ms(device_->longest), device_->requests, ms(took));
      EXPECT_LT(took, 300ms) << "destroying the device after unload";
    }
  }

  fs::path install(const char* file) const { return fs::path(app_dir_) / "Install" / file; }

  // The recorder, running; fails the test if no samples flow.
  std::unique_ptr<MonitorRecorder> record() {
    auto r = std::make_unique<MonitorRecorder>();
    EXPECT_TRUE(r->wait_until_running(3s)) << "parec recorded nothing";
    return r;
  }

  static double level(const MonitorRecorder& r, Clock::time_point from, Clock::time_point to,
                      double hz) {
    const auto x = r.between(from, to);
    return testing::tone_level(x, MonitorRecorder::kRate, hz);
  }

  static inline SoundSession* session_ = nullptr;
  static inline std::string setup_error_;
  static inline fs::path* root_ = nullptr;

  std::string app_dir_;
  std::unique_ptr<TimingDevice> device_;
  std::unique_ptr<CuePlayer> player_;
};

TEST_F(CueDeviceTest, TheOpenCueIsHeardAtOnceAndSoundsAtItsFrequency) {
  write_file(install("open.wav"), demo_cue("open.wav"));
  auto rec = record();
  const auto asked = Clock::now();
  player_->set_up_and_play_open();
  std::this_thread::sleep_for(1200ms);

  const auto heard = rec->first_sound_after(asked - 5ms);
  ASSERT_TRUE(heard) << "nothing was heard";
  std::printf("[ figures  ] open cue heard %.1f ms after its request\n", ms(*heard - asked));
  EXPECT_LT(*heard - asked, kHeardLimit);
  // Where PipeWire plays the sound, through its own driver, however SDL would have reached it.
  if (testing::on_pipewire()) {
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "pipewire");
  }

  const auto x = rec->between(*heard + 300ms, *heard + 800ms);
  EXPECT_NEAR(testing::strongest_hz(x, MonitorRecorder::kRate, 200, 4000), cuegen::kOpenCueHz, 6);
  const double own = testing::tone_level(x, MonitorRecorder::kRate, cuegen::kOpenCueHz);
  EXPECT_GT(own, 0.05);
  for (const auto& other : cuegen::kCueTones) {
    if (other.hz != cuegen::kOpenCueHz) {
      EXPECT_GT(own, 4 * testing::tone_level(x, MonitorRecorder::kRate, other.hz)) << other.file;
    }
  }
}

TEST_F(CueDeviceTest, ACueCutsOffTheOneBeforeAndIsHeardAtOnce) {
  write_file(install("start.wav"), tone_wav(700, 2.0));
  write_file(install("hover.wav"), tone_wav(1300, 1.0));
  auto rec = record();
  player_->play(Cue::start);
  std::this_thread::sleep_for(400ms);
  const auto cut = Clock::now();
  player_->play(Cue::hover);
  std::this_thread::sleep_for(700ms);

  EXPECT_GT(level(*rec, cut - 300ms, cut - 50ms, 700), 0.3) << "the first cue was playing";
  EXPECT_LT(level(*rec, cut + kHeardLimit, cut + 600ms, 700), 0.01) << "the first cue goes on";
  const auto heard = rec->tone_onset_after(cut - 5ms, 1300, 0.15);
  ASSERT_TRUE(heard) << "the second cue was not heard";
  std::printf("[ figures  ] a cue during another heard %.1f ms after its request\n",
              ms(*heard - cut));
  EXPECT_LT(*heard - cut, kHeardLimit);
}

TEST_F(CueDeviceTest, CloseStopsTheSoundAtOnce) {
  write_file(install("start.wav"), tone_wav(700, 2.0));
  auto rec = record();
  player_->play(Cue::start);
  std::this_thread::sleep_for(400ms);
  const auto closed = Clock::now();
  player_->close();
  std::this_thread::sleep_for(400ms);

  EXPECT_TRUE(rec->first_sound_after(closed - 100ms)) << "the cue was not playing";
  const auto last = rec->last_sound_between(closed - 100ms, closed + 390ms);
  ASSERT_TRUE(last);
  std::printf("[ figures  ] sound ended %.1f ms after close\n", ms(*last - closed));
  EXPECT_LT(*last - closed, kHeardLimit);
}

TEST_F(CueDeviceTest, ACueAfterAQuietSpellIsHeardAtOnce) {
  // After a cue has ended the device lets go of the sound server; the next
  // cue has to start over, and must still be quick.
  write_file(install("hover.wav"), demo_cue("hover.wav"));
  write_file(install("click.wav"), demo_cue("click.wav"));
  auto rec = record();
  Clock::duration worst{};
  for (int i = 0; i < 3; ++i) {
    player_->play(Cue::hover);
    std::this_thread::sleep_for(500ms);
    const auto asked = Clock::now();
    player_->play(Cue::click);
    std::this_thread::sleep_for(300ms);
    const auto heard = rec->first_sound_after(asked - 2ms);
    ASSERT_TRUE(heard) << "round " << i;
    worst = std::max(worst, *heard - asked);
    const auto x = rec->between(*heard, *heard + 80ms);
    EXPECT_NEAR(testing::strongest_hz(x, MonitorRecorder::kRate, 200, 4000), cuegen::kClickCueHz,
                15)
        << "round " << i;
  }
  std::printf("[ figures  ] after a quiet spell, heard within %.1f ms\n", ms(worst));
  EXPECT_LT(worst, kHeardLimit);
}

TEST_F(CueDeviceTest, AReplacedFileIsHeardFromItsNextPlay) {
  write_file(install("hover.wav"), tone_wav(700, 0.3));
  auto rec = record();
  player_->play(Cue::hover);
  std::this_thread::sleep_for(500ms);
  write_file(install("hover.wav"), tone_wav(1500, 0.3));
  const auto again = Clock::now();
  player_->play(Cue::hover);
  std::this_thread::sleep_for(500ms);

  EXPECT_GT(level(*rec, again - 480ms, again - 250ms, 700), 0.2) << "the first file was not heard";
  EXPECT_GT(level(*rec, again, again + 350ms, 1500), 0.15) << "the new file was not heard";
  EXPECT_LT(level(*rec, again, again + 350ms, 700), 0.01) << "the old file was heard again";
}

TEST_F(CueDeviceTest, BrokenFilesReturnAtOnceAndTheNextGoodCueStillPlays) {
  // hover.wav is the broken file of each case; click.wav is a good cue after it.
  // The tone of those broken files that still hold sound is 600 Hz.
  struct Case {
    std::string name;
    bool has_sound;
    std::function<void(const fs::path& hover)> make;
  };
  const Bytes good = tone_wav(600, 0.4);
  const Bytes good_data(good.begin() + 44, good.end());
  const std::vector<Case> cases = {
      {"no Install folder", false, [](const fs::path& p) { fs::remove_all(p.parent_path()); }},
      {"missing file", false, [](const fs::path&) {}},
      {"empty", false, [](const fs::path& p) { write_file(p, ""); }},
      {"truncated header", false,
       [&](const fs::path& p) { write_file(p, Bytes(good.begin(), good.begin() + 30)); }},
      {"truncated data", true,
       [&](const fs::path& p) { write_file(p, Bytes(good.begin(), good.end() - 40001)); }},
      {"not a WAV", false, [](const fs::path& p) { write_file(p, "<html>not a sound</html>"); }},
      {"random bytes", false,
       [](const fs::path& p) {
         std::mt19937 rng(3);
         Bytes b(20000);
         for (auto& x : b) x = static_cast<std::uint8_t>(rng());
         write_file(p, b);
       }},
      {"header claiming far more data", true,
       [&](const fs::path& p) {
         write_file(p,
                    testing::riff_wave({testing::chunk("fmt ", testing::pcm_fmt(44100, 2, 16)),
                                        testing::chunk_with_size("data", 0x7FFFFFF0u, good_data)}));
       }},
      {"a directory", false, [](const fs::path& p) { fs::create_directories(p); }},
      {"a FIFO", false, [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
      {"symlink to /dev/zero", false,
       [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
      {"symlink to /dev/urandom", false,
       [](const fs::path& p) { fs::create_symlink("/dev/urandom", p); }},
      {"symlink loop", false, [](const fs::path& p) { fs::create_symlink(p, p); }},
      {"under a file", false,
       [&](const fs::path& p) {
         // Install is a plain file, so Install/hover.wav cannot be opened.
         fs::remove_all(p.parent_path());
         write_file(p.parent_path(), good);
       }},
      {"unreadable (root reads it all the same)", ::geteuid() == 0,
       [&](const fs::path& p) {
         write_file(p, good);
         fs::permissions(p, fs::perms::none);
       }},
      {"1 GiB valid WAV", true,
       [&](const fs::path& p) {
         Bytes head = testing::riff_wave({testing::chunk("fmt ", testing::pcm_fmt(44100, 2, 16)),
                                          testing::chunk_with_size("data", 1u << 30, good_data)});
         testing::Bytes riff_size;
         testing::put_le(riff_size, 36 + (std::uint64_t{1} << 30), 4);
         std::copy(riff_size.begin(), riff_size.end(), head.begin() + 4);
         write_file(p, head);
         fs::resize_file(p, 44 + (std::uintmax_t{1} << 30));  // sparse: silence after the tone
       }},
  };

  // The good cue lives in a folder of its own: the player builds every path
  // afresh, so switching folders between cues is what a moved program sees.
  const std::string good_dir = (fs::path(*root_) / "good").string();
  write_file(fs::path(good_dir) / "Install" / "click.wav", tone_wav(900, 0.15));
  auto rec = record();
  int case_no = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app_dir_ = (fs::path(*root_) / ("broken-" + std::to_string(case_no++))).string();
    fs::create_directories(install("hover.wav").parent_path());
    c.make(install("hover.wav"));
    if (HasFatalFailure()) return;

    // The good cue before has died away in the recording, however late the
    // recording runs: whatever sounds from here on is this file's doing.
    ASSERT_TRUE(rec->wait_for_silence(60ms, 2s)) << "the sink never fell silent";
    const auto asked = Clock::now();
    player_->play(Cue::hover);
    std::this_thread::sleep_for(250ms);
    // A long file takes a while to read and decode (4 MiB of it, 100 ms and more on a busy
    // machine): what sound it holds may come late, but it comes, and holds for 100 ms.
    std::optional<Clock::time_point> heard;
    if (c.has_sound) {
      quarvel::testing::wait_until(
          [&] { return (heard = rec->tone_onset_after(asked - 2ms, 600, 0.15)).has_value(); }, 1s);
      if (heard) std::this_thread::sleep_until(*heard + 150ms);
    }
    app_dir_ = good_dir;
    const auto good_asked = Clock::now();
    player_->play(Cue::click);
    std::this_thread::sleep_for(250ms);

    if (c.has_sound) {
      ASSERT_TRUE(heard) << "its sound is lost";
      std::printf("[ figures  ] %s: heard %.1f ms after its request\n", c.name.c_str(),
                  ms(*heard - asked));
      EXPECT_GT(level(*rec, *heard, *heard + 100ms, 600), 0.2) << "its sound is lost";
    } else {
      // The good cue's first samples may be timed up to a recorder period early.
      EXPECT_LT(testing::peak(rec->between(asked, good_asked - testing::kRecorderPeriod)), 0.01f)
          << "something sounded";
    }
    const auto good_heard = rec->tone_onset_after(good_asked - 2ms, 900, 0.15);
    ASSERT_TRUE(good_heard) << "the good cue after it was not heard";
    EXPECT_LT(*good_heard - good_asked, kHeardLimit);
  }
}

TEST_F(CueDeviceTest, ACuePlaysToItsEnd) {
  // The device is let go soon after a cue: that must not cut off its end.
  auto rec = record();
  write_file(install("start.wav"), tone_wav(700, 0.3));
  ASSERT_TRUE(rec->wait_for_silence(60ms, 2s));
  const auto asked = Clock::now();
  player_->play(Cue::start);
  std::this_thread::sleep_for(700ms);
  // Counted in samples, which the sink plays one after another: when the
  // recorder, busy or not, gets to read them does not count.
  const auto x = rec->between(asked, Clock::now());
  const auto sounds = [](float v) { return std::abs(v) > 0.01f; };
  const auto first = std::find_if(x.begin(), x.end(), sounds);
  const auto last = std::find_if(x.rbegin(), x.rend(), sounds).base();
  ASSERT_NE(first, x.end()) << "nothing was heard";
  const double heard = static_cast<double>(last - first) * 1000 / MonitorRecorder::kRate;
  std::printf("[ figures  ] a 300 ms cue sounded for %.1f ms\n", heard);
  EXPECT_NEAR(heard, 300.0, 5.0);
}

TEST_F(CueDeviceTest, TheIdleLauncherUsesAtMost1msOfCpuASecondAfterACue) {
  // What the cue device's own threads use: the whole process less this thread
  // (in the event loop's place, and sampling here) and the recorder's reader.
  // The recording tells when each cue was really heard to its end.
  auto rec = record();
  const auto device_cpu = [&] {
    timespec process{}, self{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &process);
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &self);
    const auto in_ms = [](const timespec& t) {
      return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    return in_ms(process) - in_ms(self) - rec->reader_cpu_ms();
  };
  std::vector<std::pair<Clock::time_point, double>> trace;
  const auto watch = [&](Clock::duration d) {
    const auto until = Clock::now() + d;
    while (Clock::now() < until) {
      trace.emplace_back(Clock::now(), device_cpu());
      std::this_thread::sleep_for(5ms);
    }
  };
  // The CPU used from one moment to another, measured generously: from the
  // last reading at or before `from` to the first at or after `to`.
  const auto used = [&](Clock::time_point from, Clock::time_point to) {
    double a = trace.front().second, b = trace.back().second;
    for (const auto& [at, cpu] : trace) {
      if (at <= from) a = cpu;
      if (at >= to) {
        b = cpu;
        break;
      }
    }
    return b - a;
  };

  // Letting the device go costs a fraction of a millisecond once, within about
  // 30 ms of the end (up to twice that on a busy machine); idling is what comes after.
  constexpr auto kLetGo = 100ms;
  write_file(install("open.wav"), demo_cue("open.wav"));
  write_file(install("hover.wav"), demo_cue("hover.wav"));
  player_->set_up_and_play_open();
  watch(1500ms);
  std::vector<double> first_seconds;
  double worst_later = 0;
  for (int round = 0; round < 3; ++round) {
    const auto asked = Clock::now();
    player_->play(Cue::hover);
    watch(2200ms);
    const auto end = rec->last_sound_between(asked, asked + 1s);
    ASSERT_TRUE(end) << "the hover cue was not heard";
    first_seconds.push_back(used(*end + kLetGo, *end + 1s));
    worst_later = std::max(worst_later, used(*end + 1s, *end + 2s));
  }
  std::sort(first_seconds.begin(), first_seconds.end());
  std::printf(
      "[ figures  ] CPU of the cue device in the first second after a cue's end, from 100 ms on: "
      "%.3f, %.3f, %.3f ms; in the second after that at most %.3f ms\n",
      first_seconds[0], first_seconds[1], first_seconds[2], worst_later);
  // A device kept open would cost 5 to 20 ms a second.
  EXPECT_LE(first_seconds[1], 1.0);
  EXPECT_LE(worst_later, 0.5) << "an idle device stays open";
}

TEST_F(CueDeviceTest, DestroyingTheDeviceWhileACueSoundsIsQuick) {
  // The program's end waits for this: the device closes what it has open.
  write_file(install("start.wav"), tone_wav(700, 2.0));
  player_->play(Cue::start);
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(device_->longest, kRequestLimit);
  const auto took = device_->destroy();
  std::printf("[ figures  ] destroyed 200 ms into a cue in %.1f ms\n", ms(took));
  EXPECT_LT(took, 300ms);
  player_.reset();
  device_.reset();
}

TEST_F(CueDeviceTest, RapidCuesNeverHoldUpTheCallerAndTheLastOneSounds) {
  write_file(install("hover.wav"), demo_cue("hover.wav"));
  write_file(install("click.wav"), tone_wav(900, 0.3));
  write_file(install("back.wav"), demo_cue("back.wav"));
  std::mt19937 rng(11);
  // Bursts of cues with pauses around the device's release time, so new
  // devices open while old ones are still closing.
  for (int i = 0; i < 120; ++i) {
    player_->play(i % 3 == 0 ? Cue::back : Cue::hover);
    const int pause =
        i % 10 == 9 ? 100 + static_cast<int>(rng() % 300) : static_cast<int>(rng() % 12);
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  }
  auto rec = record();
  const auto asked = Clock::now();
  player_->play(Cue::click);
  std::this_thread::sleep_for(400ms);
  const auto heard = rec->tone_onset_after(asked - 2ms, 900, 0.15);
  ASSERT_TRUE(heard);
  EXPECT_LT(*heard - asked, kHeardLimit);
}

TEST_F(CueDeviceTest, ASoundServerThatComesUpLaterIsHeardOnceTheRetryIsDue) {
  // As at login, the device starts before the server, whose sockets appear
  // later. SDL then finds no server, or falls back to ALSA, which plays past
  // it: here to a card that the recording does not hear.
  write_file(install("hover.wav"), tone_wav(900, 0.3));
  auto rec = record();
  const fs::path later = fs::path(app_dir_) / "later";
  fs::create_directories(later);
  write_file(later.parent_path() / "asound.conf", "pcm.!default { type null }\n");
  ::setenv("ALSA_CONFIG_PATH", (later.parent_path() / "asound.conf").c_str(), 1);
  const std::string pulse = std::getenv("PULSE_SERVER");
  const char* pipewire_env = std::getenv("PIPEWIRE_RUNTIME_DIR");
  const std::optional<std::string> pipewire =
      pipewire_env ? std::optional<std::string>(pipewire_env) : std::nullopt;
  ::setenv("PULSE_SERVER", ("unix:" + (later / "native").string()).c_str(), 1);
  ::setenv("PIPEWIRE_RUNTIME_DIR", later.c_str(), 1);
  constexpr auto kRetry = 250ms;
  player_.reset();
  device_.reset();  // SDL audio is the process's: one device at a time
  const auto made = Clock::now();
  device_ = std::make_unique<TimingDevice>(make_platform_cue_device(kRetry));
  player_ = std::make_unique<CuePlayer>(
      *device_, [this](std::string_view literal) { return cue_path(app_dir_, literal); });
  player_->play(Cue::hover);
  std::this_thread::sleep_for(400ms);
  fs::create_symlink(pulse.substr(5), later / "native");
  if (pipewire) fs::create_symlink(*pipewire + "/pipewire-0", later / "pipewire-0");
  std::this_thread::sleep_until(made + 2 * kRetry);
  const auto again = Clock::now();
  player_->play(Cue::hover);
  std::this_thread::sleep_for(400ms);
  ::setenv("PULSE_SERVER", pulse.c_str(), 1);
  ::unsetenv("ALSA_CONFIG_PATH");
  if (pipewire) {
    ::setenv("PIPEWIRE_RUNTIME_DIR", pipewire->c_str(), 1);
  } else {
    ::unsetenv("PIPEWIRE_RUNTIME_DIR");
  }

  EXPECT_LT(testing::peak(rec->between(made, again)), 0.01f) << "heard with no server up";
  EXPECT_GT(level(*rec, again, again + 400ms, 900), 0.15) << "not heard once the server was up";
}

// The child's side: cues in flight, then _exit.
int child_main(const char* exit_after_us, const char* dir) {
  auto device = make_platform_cue_device();
  CuePlayer player(*device, [&](std::string_view literal) { return cue_path(dir, literal); });
  player.set_up_and_play_open();
  player.play(Cue::hover);
  std::this_thread::sleep_for(std::chrono::microseconds(std::atol(exit_after_us)));
  ::_exit(7);
}

TEST_F(CueDeviceTest, TheProgramMayEndWithExitAtAnyMoment) {
  write_file(install("open.wav"), demo_cue("open.wav"));
  write_file(install("hover.wav"), demo_cue("hover.wav"));
  // From before the worker has started to while an idle device is closing.
  for (const char* us :
       {"0", "100", "1000", "3000", "10000", "50000", "150000", "260000", "400000"}) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e) env_strings.emplace_back(*e);
    env_strings.push_back(std::string("QUARVEL_SOUND_CHILD_EXIT_US=") + us);
    env_strings.push_back("QUARVEL_SOUND_CHILD_DIR=" + app_dir_);
    std::vector<char*> envp;
    for (auto& s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(self.c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);

    int status = 0;
    const auto until = Clock::now() + 5s;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < until) {
      std::this_thread::sleep_for(5ms);
    }
    if (done == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      FAIL() << "the child did not end " << us << " us after its cues";
    }
    ASSERT_TRUE(WIFEXITED(status))
        << "ended by signal " << WTERMSIG(status) << " after " << us << " us";
    EXPECT_EQ(WEXITSTATUS(status), 7) << "after " << us << " us";
  }
}

// Whatever this process writes to stderr while one lives goes to a file.
class StderrCapture {
 public:
  StderrCapture()
      : file_(fs::temp_directory_path() / ("quarvel-stderr-" + std::to_string(::getpid()))) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~StderrCapture() {
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    fs::remove(file_);
  }
  std::string text() const {
    std::fflush(stderr);
    return read_file(file_);
  }

 private:
  fs::path file_;
  int saved_ = -1;
};

// A machine without a sound server. Whatever the sound libraries find there,
// every request returns at once, the end is quick, and nothing is said on
// stderr: the launcher shows no message of its own, nor do its libraries.
class NoSoundServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quarvel-nosound-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // No PulseAudio or PipeWire to be found, and no ALSA set-up of the user's.
    ::setenv("PULSE_SERVER", "unix:/nonexistent/quarvel/native", 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", "/nonexistent/quarvel", 1);
    ::setenv("HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    // ALSA keeps the configuration it read for the process: each case here
    // sets up a machine of its own.
    if (void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD)) {
      if (auto forget =
              reinterpret_cast<int (*)()>(::dlsym(alsa, "snd_config_update_free_global"))) {
        forget();
      }
      ::dlclose(alsa);
    }
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    fs::remove_all(dir_);
  }

  // A whole session of cues, ending on a hover cue that plays out.
  void run_session() {
    write_file(dir_ / "Install" / "open.wav", demo_cue("open.wav"));
    write_file(dir_ / "Install" / "hover.wav", demo_cue("hover.wav"));
    StderrCapture err;
    auto device = std::make_unique<TimingDevice>(make_platform_cue_device());
    CuePlayer player(*device, [&](std::string_view literal) { return cue_path(dir_, literal); });
    player.set_up_and_play_open();
    for (int i = 0; i < 20; ++i) {
      player.play(Cue::hover);
      std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(200ms);  // the last one plays out
    player.close();
    const auto took = device->destroy();
    const std::string said = err.text();
    std::printf("[ figures  ] no server: slowest request %.3f ms, destruction %.1f ms\n",
                ms(device->longest), ms(took));
    EXPECT_LT(device->longest, kRequestLimit);
    EXPECT_LT(took, 300ms);
    EXPECT_EQ(said, "") << "something spoke on stderr";
  }

  fs::path dir_;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_ = [] {
    std::vector<std::pair<std::string, std::optional<std::string>>> v;
    for (const char* name : {"SDL_AUDIODRIVER", "PULSE_SERVER", "PIPEWIRE_RUNTIME_DIR", "HOME"}) {
      const char* value = std::getenv(name);
      v.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    return v;
  }();
};

TEST_F(NoSoundServerTest, WhereAlsaIsTheOnlySoundTheOpenCuePlaysThroughIt) {
  // ALSA's default device, a card's 48 kHz, writes what it plays to a file, as
  // fast as it comes rather than at a card's pace: what counts is what was played.
  const fs::path played = dir_ / "played.raw";
  write_file(dir_ / ".asoundrc",
             "pcm.!default { type plug slave { pcm \"played\" rate 48000 format S16_LE } }\n"
             "pcm.played { type file slave.pcm \"null\" file \"" +
                 played.string() + "\" format \"raw\" }\n");
  ::unsetenv("SDL_AUDIODRIVER");
  write_file(dir_ / "Install" / "open.wav", demo_cue("open.wav"));
  StderrCapture err;
  {
    auto device = make_platform_cue_device();
    CuePlayer player(*device, [&](std::string_view literal) { return cue_path(dir_, literal); });
    player.set_up_and_play_open();
    std::this_thread::sleep_for(1500ms);  // the cue's second, and a margin
  }
  EXPECT_EQ(err.text(), "") << "something spoke on stderr";
  std::ifstream in(played, std::ios::binary);
  std::vector<float> sound;  // the left channel at 48 kHz, without the silence
  std::int16_t frame[2];
  while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) {
    if (frame[0] != 0) sound.push_back(frame[0] / 32768.0f);
  }
  std::printf("[ figures  ] ALSA took %.1f ms of sound\n", sound.size() / 48.0);
  const double open_ms = cuegen::kCueTones[0].seconds * 1000;
  EXPECT_NEAR(sound.size() / 48.0, open_ms, 0.1 * open_ms) << "ms of the open cue played";
  EXPECT_NEAR(testing::strongest_hz(sound, 48000, 200, 4000), cuegen::kOpenCueHz, 15);
}

TEST_F(NoSoundServerTest, AnUnknownAudioDriverLeavesEveryRequestQuick) {
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  run_session();
}

TEST_F(NoSoundServerTest, AnUnreachablePulseServerLeavesEveryRequestQuick) {
  ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  run_session();
}

TEST_F(NoSoundServerTest, SdlsOwnDriverChoiceFallsToAlsaQuicklyAndQuietly) {
  // Here ALSA finds no sound card: it has errors to tell, and must not.
  ::unsetenv("SDL_AUDIODRIVER");
  run_session();
}

}  // namespace
}  // namespace quarvel::sound

int main(int argc, char** argv) {
  if (const char* us = std::getenv("QUARVEL_SOUND_CHILD_EXIT_US")) {
    const char* dir = std::getenv("QUARVEL_SOUND_CHILD_DIR");
    return quarvel::sound::child_main(us, dir ? dir : ".");
  }
  return quarvel::sound::testing::run_tests_retaking_if_the_machine_held_them_up(argc, argv);
}
