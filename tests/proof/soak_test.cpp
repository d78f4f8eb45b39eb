// One launcher driven at full speed for minutes: 10,000 hover and darken
// cycles and 500 help commands. It stays alive and correct, its resident
// memory grows by less than 512 KiB over the run, its descriptors come back
// to where they started, and it leaves no zombie child.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "fixture.h"
#include "proof.h"

namespace quarvel::proof {
namespace {

constexpr int kHelpCommands = 500;
constexpr int kCyclesPerCommand = 20;  // 10,000 hover and darken cycles in all
constexpr int kWarmUpCommands = 10;
constexpr long kMaxGrowthKib = 512;

class Soak : public StagedTest {
 protected:
  void move_async(At at) { pointer().move_async(origin.left + at.x, origin.top + at.y); }

  // One help command with `cycles` hover and darken cycles over the other
  // controls while it is pending, sent without waiting; then waits until the
  // command has run (the manual was opened once more).
  ::testing::AssertionResult help_command_with_cycles(int cycles) {
    const std::size_t opened = count_opened();
    move_async(kOnHelp);
    pointer().press();
    pointer().release();
    const Rect help = layout::kHelpButton;
    const Rect on_screen{origin.left + help.left, origin.top + help.top, help.width, help.height};
    if (!e2e::wait_until([&] { return e2e::desktop().grab(on_screen) == pressed_help; }, 2s)) {
      return ::testing::AssertionFailure() << "the click on help showed no pressed picture";
    }
    static constexpr At kOthers[] = {kOnStart, kOnQuit, kOnMinimize, kOnClose};
    for (int i = 0; i < cycles; ++i) {
      move_async(kOthers[i % 4]);
      move_async(kOnBackground);
    }
    pointer().sync();
    if (!e2e::wait_until([&] { return count_opened() == opened + 1; }, 3s)) {
      return ::testing::AssertionFailure() << "the manual was not opened once more";
    }
    return ::testing::AssertionSuccess();
  }

  std::size_t count_opened() const {
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(staged.records, ec)) {
      n += e.path().extension() == ".rec";
    }
    return n;
  }

  bool shows_initial_window() const {
    const auto want = e2e::expected_window(WindowModel{});
    return e2e::wait_until([&] { return e2e::desktop().grab(origin) == want; }, 3s);
  }

  // Waits until the last cue has played out and its sound device is let go
  // (no SDL audio thread left), so the counts compared are those of an idle
  // launcher.
  void settle() {
    std::this_thread::sleep_for(1500ms);
    e2e::wait_until([&] { return !has_audio_thread(launcher->program_pid()); }, 5s);
  }

  static bool has_audio_thread(pid_t pid) {
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(tasks, ec)) {
      std::ifstream comm(task.path() / "comm");
      std::string name;
      std::getline(comm, name);
      if (name.starts_with("SDLAudio")) return true;
    }
    return false;
  }

  bool has_zombie() const {
    for (const auto& [pid, state] : children_of(launcher->program_pid())) {
      if (state == 'Z') return true;
    }
    return false;
  }

  Rect origin;
  const std::vector<std::uint32_t> pressed_help = [] {
    WindowModel m;
    m.set_visible(Element::help, false);
    m.set_visible(Element::help_press, true);
    return expected_area(m, layout::kHelpButton);
  }();
};

TEST_F(Soak, TenThousandHoversAndFiveHundredHelpCommandsAtFullSpeed) {
  launcher = std::make_unique<Subject>();
  launcher->start({staged.program.string()}, staged.env(), staged.folder);
  ASSERT_TRUE(launcher->wait_for_window());
  origin = launcher->geometry();
  ASSERT_TRUE(shows_initial_window());
  settle();
  const pid_t pid = launcher->program_pid();
  const ProcessFacts at_start = facts_of(pid);

  for (int i = 0; i < kWarmUpCommands; ++i) {
    ASSERT_TRUE(help_command_with_cycles(kCyclesPerCommand)) << "warm-up command " << i;
  }
  settle();
  const ProcessFacts warm = facts_of(pid);

  const auto t0 = Clock::now();
  for (int i = 0; i < kHelpCommands; ++i) {
    ASSERT_TRUE(help_command_with_cycles(kCyclesPerCommand)) << "command " << i;
    if (i % 50 == 49) {
      ASSERT_TRUE(shows_initial_window()) << "after command " << i;
      ASSERT_TRUE(launcher->running());
      std::cout << "soak: " << i + 1 << " commands, RSS " << facts_of(pid).rss_kib << " KiB\n";
    }
  }
  const auto took = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - t0);

  settle();
  ASSERT_TRUE(launcher->running()) << "the launcher died:\n" << launcher->output();
  EXPECT_TRUE(shows_initial_window()) << "the window is not as it should be at the end";
  const ProcessFacts end = facts_of(pid);
  std::cout << "soak: " << took.count() << " s; RSS " << at_start.rss_kib << " KiB at start, "
            << warm.rss_kib << " after warm-up, " << end.rss_kib << " at the end (peak "
            << end.peak_rss_kib << "); descriptors " << at_start.fds << " -> " << end.fds
            << "; threads " << at_start.threads << " -> " << end.threads << '\n';

#if QUARVEL_SANITIZED
  std::cout << "soak: memory growth not judged: the sanitizer's allocator keeps freed memory\n";
#else
  EXPECT_LT(end.rss_kib - warm.rss_kib, kMaxGrowthKib) << "resident memory grew";
#endif
  EXPECT_TRUE(e2e::wait_until([&] { return facts_of(pid).fds == at_start.fds; }, 5s))
      << "descriptors: " << at_start.fds << " at start, " << facts_of(pid).fds << " now";
  EXPECT_TRUE(e2e::wait_until([&] { return !has_zombie(); }, 3s)) << "a child is left a zombie";
  EXPECT_EQ(staged.started("xdg-open").size(),
            static_cast<std::size_t>(kHelpCommands + kWarmUpCommands))
      << "not every help command opened the manual once";
  EXPECT_TRUE(staged.started("sh").empty() && staged.started("touch").empty());
}

}  // namespace
}  // namespace quarvel::proof
