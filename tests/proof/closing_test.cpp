// Closing the launcher from outside (the window manager's close, SIGTERM,
// SIGINT) at any moment: while the open cue plays, while a hover cue plays,
// while the sound server hangs, while each command is pending. The unload step
// runs exactly once, the program ends normally, and the pending action never runs.
//
// The unload step is seen from outside: the launcher runs under gdb with a
// dprintf on the sound player's close, which only the unload step calls.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "fixture.h"
#include "proof.h"

namespace quarvel::proof {
namespace {

enum class Close { window_manager, sigterm, sigint };
constexpr Close kCloses[] = {Close::window_manager, Close::sigterm, Close::sigint};

const char* name_of(Close c) {
  switch (c) {
    case Close::window_manager:
      return "the window manager's close";
    case Close::sigterm:
      return "SIGTERM";
    case Close::sigint:
      return "SIGINT";
  }
  return "?";
}

// How the run under gdb ended.
struct Ending {
  int unloads = 0;           // times the unload step ran
  bool normal_exit = false;  // the program returned or exited with status 0
  std::string output;
};

Ending ending_of(const std::string& output) {
  Ending e;
  e.output = output;
  for (std::size_t at = output.find("quarvel-unload"); at != std::string::npos;
       at = output.find("quarvel-unload", at + 1)) {
    ++e.unloads;
  }
  // gdb's report: "[Inferior 1 (process N) exited normally]".
  const auto at = output.find("[Inferior 1 (process ");
  const auto close = at == std::string::npos ? at : output.find(')', at);
  if (close != std::string::npos) {
    e.normal_exit = output.compare(close, 18, ") exited normally]") == 0;
    return e;
  }
  // gdb may lose a process that ends while its threads come and go ("Couldn't
  // get registers: No such process."); its last _exit then tells the status.
  const auto exit_at = output.rfind("quarvel-exit ");
  e.normal_exit = exit_at != std::string::npos &&
                  output.compare(exit_at, 15, "quarvel-exit 0\n") == 0 &&
                  output.find("received signal") == std::string::npos;
  return e;
}

class ClosingFromOutside : public StagedTest {
 protected:
  void start_under_gdb() {
    launcher = std::make_unique<Subject>();
    launcher->start({"gdb",    "-q",
                     "-batch", "-nx",
                     "-ex",    "set pagination off",
                     "-ex",    "set startup-with-shell off",
                     "-ex",    "handle SIGINT nostop noprint pass",
                     "-ex",    "handle SIGTERM nostop noprint pass",
                     "-ex",    "handle SIGURG nostop noprint pass",
                     "-ex",    "handle SIGPIPE nostop noprint pass",
                     "-ex",    "handle SIGCHLD nostop noprint pass",
                     "-ex",    "dprintf quarvel::sound::CuePlayer::close,\"quarvel-unload\\n\"",
                     "-ex",    "set breakpoint pending on",
                     "-ex",    "dprintf _exit,\"quarvel-exit %d\\n\",(int)$rdi",
                     "-ex",    "run",
                     "--args", staged.program.string()},
                    env_under_gdb(), staged.folder);
    ASSERT_TRUE(launcher->wait_for_window(30s)) << "no window appeared under gdb:\n"
                                                << launcher->output();
    const Rect g = launcher->geometry();
    ASSERT_EQ(g.width, kClientWidth);
  }

  // LeakSanitizer cannot work under a debugger and would turn a clean end
  // into a failing one; a sanitized launcher runs its leak check elsewhere.
  std::vector<std::string> env_under_gdb() const {
    auto env = staged.env();
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    return env;
  }

  void close(Close how) {
    switch (how) {
      case Close::window_manager:
        launcher->close_by_window_manager();
        break;
      case Close::sigterm:
        launcher->signal(SIGTERM);
        break;
      case Close::sigint:
        launcher->signal(SIGINT);
        break;
    }
  }

  // Waits for gdb to report the end; fails if the launcher does not end.
  Ending wait_for_end() {
    const auto status = launcher->wait_exit(20s);
    EXPECT_TRUE(status.has_value()) << "the launcher did not end:\n" << launcher->output();
    return ending_of(launcher->output());
  }

  void expect_clean_unload(const Ending& e) {
    EXPECT_EQ(e.unloads, 1) << "the unload step ran " << e.unloads << " times:\n" << e.output;
    EXPECT_TRUE(e.normal_exit) << "the launcher did not end normally:\n" << e.output;
  }
};

TEST_F(ClosingFromOutside, WhileTheOpenCuePlays) {
  for (const Close how : kCloses) {
    SCOPED_TRACE(name_of(how));
    start_under_gdb();
    if (HasFatalFailure()) return;
    close(how);
    expect_clean_unload(wait_for_end());
  }
}

TEST_F(ClosingFromOutside, WhileAHoverCuePlays) {
  for (const Close how : kCloses) {
    SCOPED_TRACE(name_of(how));
    start_under_gdb();
    if (HasFatalFailure()) return;
    std::this_thread::sleep_for(1200ms);  // the open cue is over
    move_in(*launcher, kOnStart);
    std::this_thread::sleep_for(50ms);
    close(how);
    expect_clean_unload(wait_for_end());
  }
}

// The private sound server's processes stopped (SIGSTOP) while one lives, as a
// hung server is; let go again afterwards.
class HungSoundServer {
 public:
  HungSoundServer() {
    std::ifstream pids(std::string(std::getenv("QUARVEL_PULSE_DIR")) + "/pid");
    for (pid_t pid; pids >> pid;) pids_.push_back(pid);
    for (const pid_t pid : pids_) kill(pid, SIGSTOP);
  }
  ~HungSoundServer() {
    for (const pid_t pid : pids_) kill(pid, SIGCONT);
  }

 private:
  std::vector<pid_t> pids_;
};

// The window manager's close ends the program within 300 ms, waiting on no server.
TEST_F(ClosingFromOutside, WhileTheSoundServerHangsItEndsAtOnce) {
  start_under_gdb();
  if (HasFatalFailure()) return;
  move_in(*launcher, kOnStart);
  std::this_thread::sleep_for(100ms);  // the hover cue sounds
  const pid_t program = launcher->program_pid();
  Clock::duration took{};
  bool ended = false;
  {
    const HungSoundServer hung;
    const auto closed = Clock::now();
    close(Close::window_manager);
    ended = wait_until(
        [&] {
          const auto ps = parent_and_state(program);
          return !ps || ps->second == 'Z';
        },
        3s);
    took = Clock::now() - closed;
  }
  std::cout << "ended " << std::chrono::duration<double, std::milli>(took).count()
            << " ms after the close\n";
  EXPECT_TRUE(ended && took < 300ms) << "the launcher waited on the hung sound server";
  expect_clean_unload(wait_for_end());
}

TEST_F(ClosingFromOutside, WhileHelpIsPendingTheManualNeverOpens) {
  for (const Close how : kCloses) {
    SCOPED_TRACE(name_of(how));
    start_under_gdb();
    if (HasFatalFailure()) return;
    click_in(*launcher, kOnHelp);
    std::this_thread::sleep_for(250ms);  // the manual is due at 500 ms
    close(how);
    expect_clean_unload(wait_for_end());
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(staged.started("xdg-open").empty()) << "the manual was opened";
  }
}

TEST_F(ClosingFromOutside, WhileStartIsPendingTheGameNeverStarts) {
  for (const Close how : kCloses) {
    SCOPED_TRACE(name_of(how));
    start_under_gdb();
    if (HasFatalFailure()) return;
    click_in(*launcher, kOnStart);
    std::this_thread::sleep_for(700ms);  // the game is due at 1200 ms
    close(how);
    expect_clean_unload(wait_for_end());
    std::this_thread::sleep_for(800ms);
    EXPECT_TRUE(staged.started("vivu.exe").empty()) << "the game was started";
  }
}

TEST_F(ClosingFromOutside, WhileQuitCloseOrMinimizeIsPending) {
  // A pending quit or close would end the program without the unload step,
  // so one unload step shows the outside close won.
  for (const At at : {kOnQuit, kOnClose, kOnMinimize}) {
    for (const Close how : kCloses) {
      SCOPED_TRACE(std::string(name_of(how)) + " at x=" + std::to_string(at.x));
      start_under_gdb();
      if (HasFatalFailure()) return;
      click_in(*launcher, at);
      std::this_thread::sleep_for(250ms);  // each is due at 500 ms
      close(how);
      expect_clean_unload(wait_for_end());
    }
  }
}

// At a random moment of a pending start, either the close wins (unload once,
// no game) or the game's tick came first (game started, no unload), never
// both and never neither, and the program always ends normally.
TEST_F(ClosingFromOutside, AtAnyMomentOfAPendingStartExactlyOneOfThemWins) {
  std::mt19937 gen(2024);
  std::uniform_int_distribution<int> delay_ms(0, 1400);
  int closes_won = 0, games_won = 0;
  for (int run = 0; run < 9; ++run) {
    const Close how = kCloses[run % 3];
    const int delay = delay_ms(gen);
    SCOPED_TRACE(std::string(name_of(how)) + " " + std::to_string(delay) + " ms after the click");
    fs::remove_all(staged.records);
    fs::create_directories(staged.records);
    start_under_gdb();
    if (HasFatalFailure()) return;
    click_in(*launcher, kOnStart);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    if (launcher->window_exists()) close(how);
    const Ending e = wait_for_end();
    std::this_thread::sleep_for(500ms);
    const std::size_t games = staged.started("vivu.exe").size();
    EXPECT_TRUE(e.normal_exit) << e.output;
    EXPECT_TRUE((e.unloads == 1 && games == 0) || (e.unloads == 0 && games == 1))
        << e.unloads << " unload steps and " << games << " game starts:\n"
        << e.output;
    closes_won += e.unloads == 1;
    games_won += games == 1;
  }
  std::cout << "the close won " << closes_won << " times, the game " << games_won << " times\n";
}

// Signals that arrive while the program is still starting: it ends, at once
// and without crashing, whether or not it had taken over the signal yet.
TEST_F(ClosingFromOutside, SignalsDuringStartUpEndItWithoutACrash) {
  for (const int sig : {SIGTERM, SIGINT}) {
    for (const int delay : {0, 2, 5, 10, 20, 40, 80, 160}) {
      SCOPED_TRACE(std::string(sig == SIGTERM ? "SIGTERM" : "SIGINT") + " after " +
                   std::to_string(delay) + " ms");
      launcher = std::make_unique<Subject>();
      launcher->start({staged.program.string()}, staged.env(), staged.folder);
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      kill(launcher->pid(), sig);
      const auto status = launcher->wait_exit(10s);
      ASSERT_TRUE(status.has_value()) << "the launcher did not end";
      EXPECT_TRUE(*status == 0 || *status == 128 + sig) << "ended with status " << *status << ":\n"
                                                        << launcher->output();
    }
  }
}

}  // namespace
}  // namespace quarvel::proof
