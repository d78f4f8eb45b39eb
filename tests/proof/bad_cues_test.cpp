// Broken cue files, each met by the real launcher with a real sound server:
// it keeps drawing and answering the pointer within 100 ms of every event,
// plays what it can, says nothing, and a good cue after the bad ones still
// plays. The open and hover cues (and the back and start cues) are broken in
// one way per case; the click cue is a good tone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <random>
#include <thread>

#include "fixture.h"
#include "proof.h"
#include "wav_writer.h"

namespace quarvel::proof {
namespace {

constexpr auto kAnswerWithin = 100ms;
constexpr double kClickHz = 1200.0;

struct BadCue {
  const char* name;
  void (*make)(const fs::path& file);
  bool audible;     // there is sound in it to play
  bool unreadable;  // the launcher must run without the power to ignore file modes
};

std::vector<std::uint8_t> tone(double seconds) {
  return tone_wav(600.0, seconds);
}

void make_missing(const fs::path&) {}

void make_empty(const fs::path& f) {
  write_file(f, "");
}

void make_truncated_header(const fs::path& f) {
  auto b = tone(0.3);
  b.resize(22);  // stops inside the format chunk
  write_file(f, b);
}

void make_truncated_data(const fs::path& f) {
  auto b = tone(0.8);
  b.resize(44 + (b.size() - 44) / 2 + 1);  // half the samples and a stray byte
  write_file(f, b);
}

void make_random_bytes(const fs::path& f) {
  std::mt19937 gen(7);
  std::vector<std::uint8_t> b(64 * 1024);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen());
  write_file(f, b);
}

void make_overclaiming(const fs::path& f) {
  auto b = tone(0.4);
  const std::uint32_t claim = 0x7FFFFF00;  // about 2 GiB of samples
  for (int i = 0; i < 4; ++i) {
    b[4 + i] = static_cast<std::uint8_t>((claim + 36) >> (8 * i));
    b[40 + i] = static_cast<std::uint8_t>(claim >> (8 * i));
  }
  write_file(f, b);
}

void make_one_gibibyte(const fs::path& f) {
  constexpr std::uint32_t kSize = 1u << 30;
  const auto sound = tone(0.5);
  auto b = wavseeds::pcm16_header(44100, 1, kSize - 44);
  b.insert(b.end(), sound.begin() + 44, sound.end());
  write_file(f, b);
  fs::resize_file(f, kSize);  // the rest is silence (and takes no disk)
}

void make_directory(const fs::path& f) {
  fs::create_directories(f);
}

void make_fifo(const fs::path& f) {
  ASSERT_EQ(mkfifo(f.c_str(), 0644), 0);  // nobody ever writes to it
}

void make_link_to_zero(const fs::path& f) {
  fs::create_symlink("/dev/zero", f);
}

void make_link_to_urandom(const fs::path& f) {
  fs::create_symlink("/dev/urandom", f);
}

void make_unreadable(const fs::path& f) {
  write_file(f, tone(0.3));
  fs::permissions(f, fs::perms::none);
}

void PrintTo(const BadCue& bad, std::ostream* os) {
  *os << bad.name;
}

const BadCue kCases[] = {
    {"Missing", make_missing, false, false},
    {"Empty", make_empty, false, false},
    {"TruncatedHeader", make_truncated_header, false, false},
    {"TruncatedData", make_truncated_data, true, false},
    {"RandomBytes", make_random_bytes, false, false},
    {"HeaderClaimsFarMoreThanTheFileHolds", make_overclaiming, true, false},
    {"ValidWavOfOneGibibyte", make_one_gibibyte, true, false},
    {"Directory", make_directory, false, false},
    {"NamedPipe", make_fifo, false, false},
    {"LinkToDevZero", make_link_to_zero, false, false},
    {"LinkToDevUrandom", make_link_to_urandom, false, false},
    {"WithoutReadPermission", make_unreadable, false, true},
};

// Running as root, file modes bind only once the override capabilities are gone.
std::vector<std::string> without_file_mode_override() {
  if (geteuid() != 0) return {};
  return {"setpriv", "--bounding-set", "-dac_override,-dac_read_search", "--"};
}

class BadCueFiles : public ::testing::TestWithParam<BadCue> {
 protected:
  void SetUp() override {
    root = prepare(std::string("badcue-") + GetParam().name);
    program = stage_program(root / "launcher");
    const fs::path install = root / "launcher/Install";
    for (const char* cue : {"open.wav", "hover.wav", "back.wav", "start.wav"}) {
      GetParam().make(install / cue);
    }
    write_file(install / "click.wav", tone_wav(kClickHz, 0.3));
    recording = std::make_unique<Recording>(root / "sound.raw");
  }

  void TearDown() override {
    launcher.reset();
    recording.reset();
    std::error_code ec;
    fs::permissions(root / "launcher/Install/open.wav", fs::perms::owner_all, ec);
    fs::remove_all(root, ec);
  }

  // Sends one pointer event and checks that `want` shows within the limit.
  void expect_answer(const char* what, const WindowModel& want, const std::function<void()>& act) {
    const Rect area{0, 0, kClientWidth, kClientHeight};
    const auto took = time_to_show(*launcher, area, expected_area(want, area), act, 3s);
    ASSERT_TRUE(took.has_value()) << what << ": the window never showed the expected picture";
    EXPECT_LE(*took, kAnswerWithin) << what << " took " << took->count() << " us";
    slowest = std::max(slowest, *took);
  }

  bool quiet_for_100ms() const {
    const std::size_t n = recording->now();
    return n > 4800 && recording->audible_ms(n - 4800, n) == 0;
  }

  fs::path root, program;
  std::unique_ptr<Recording> recording;
  std::unique_ptr<Subject> launcher;
  std::chrono::microseconds slowest{0};
};

TEST_P(BadCueFiles, TheLauncherKeepsAnsweringPlaysWhatItCanAndSaysNothing) {
  const BadCue& bad = GetParam();
  if (bad.unreadable && geteuid() == 0) {
    auto probe = without_file_mode_override();
    probe.insert(probe.end(), {"cat", (root / "launcher/Install/hover.wav").string()});
    ASSERT_NE(e2e::run(probe), 0) << "the cue file is readable after all; the case proves nothing";
  }

  const std::size_t before_start = recording->now();
  auto argv = bad.unreadable ? without_file_mode_override() : std::vector<std::string>{};
  argv.push_back(program.string());
  launcher = std::make_unique<Subject>();
  launcher->start(argv, {}, root / "launcher");
  ASSERT_TRUE(launcher->wait_for_window()) << "no window appeared";
  expect_answer("the first frame", WindowModel{}, [] {});

  // Every control lit and darkened again, five times over, each with its
  // broken hover cue.
  for (int round = 0; round < 5; ++round) {
    for (const Hover& h : kHovers) {
      expect_answer(h.name, lit_window(h.normal), [&] { move_in(*launcher, h.at()); });
      expect_answer("background", WindowModel{}, [&] { move_in(*launcher, kOnBackground); });
    }
  }
  if (HasFailure()) return;

  if (bad.audible) {
    EXPECT_TRUE(e2e::wait_until([&] { return recording->audible_ms(before_start) >= 100; }, 3s))
        << "the playable part was not heard; levels per 100 ms since start: "
        << recording->levels(before_start);
  } else {
    std::this_thread::sleep_for(500ms);  // room for a late noise
    EXPECT_EQ(recording->audible_ms(before_start), 0)
        << "a broken cue made a noise; levels per 100 ms since start: "
        << recording->levels(before_start);
  }

  // A good cue after all the bad ones still plays: the player is not stuck.
  ASSERT_TRUE(e2e::wait_until([&] { return quiet_for_100ms(); }, 5s))
      << "the sound never ends; levels per 100 ms since start: " << recording->levels(before_start);
  const std::size_t before_click = recording->now();
  WindowModel pressed = lit_window(Element::help);
  pressed.set_visible(Element::help_ovr, false);
  pressed.set_visible(Element::help_press, true);
  expect_answer("help lit", lit_window(Element::help), [&] { move_in(*launcher, kOnHelp); });
  expect_answer("the click on help", pressed, [&] {
    pointer().press();
    pointer().release();
  });
  const WindowModel after_tick;  // help back to normal under the pointer
  const auto tick = time_to_show(
      *launcher, {0, 0, kClientWidth, kClientHeight},
      expected_area(after_tick, {0, 0, kClientWidth, kClientHeight}), [] {}, 2s);
  EXPECT_TRUE(tick.has_value()) << "the help command's timer did not run";
  EXPECT_TRUE(e2e::wait_until([&] { return recording->audible_ms(before_click) >= 150; }, 3s))
      << "the good click cue was not heard after the broken ones (heard "
      << recording->audible_ms(before_click) << " ms of " << (recording->now() - before_click) / 48
      << " ms recorded since the click); levels per 100 ms since start: "
      << recording->levels(before_start);

  EXPECT_TRUE(launcher->running());
  EXPECT_EQ(launcher->client_windows().size(), 1u) << "the launcher opened another window";
  EXPECT_EQ(launcher->output(), "") << "the launcher printed something";

  launcher->signal(SIGTERM);
  EXPECT_EQ(launcher->wait_exit(5s), 0) << "the launcher did not end cleanly:\n"
                                        << launcher->output();
  RecordProperty("slowest_answer_us", std::to_string(slowest.count()));
  std::cout << "slowest answer to a pointer event: " << slowest.count() << " us\n";
}

INSTANTIATE_TEST_SUITE_P(Cases, BadCueFiles, ::testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace quarvel::proof
