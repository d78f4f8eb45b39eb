// Support for the proof tests: the real launcher under hostile conditions.
// Adds to the end-to-end support (tests/e2e): a launcher started through any
// wrapper (gdb, valgrind, a chroot), a private sound server recorded from its
// monitor, the process's memory, descriptors and children read from /proc,
// and a recording stand-in for every program the launcher may start.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/window_model.h"
#include "base/types.h"
#include "fixture.h"
#include "tests/support/files.h"
#include "tests/support/proc.h"

namespace quarvel::proof {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace quarvel::testing;
using Clock = std::chrono::steady_clock;

struct ProcessFacts {
  long rss_kib = -1;       // resident set
  long peak_rss_kib = -1;  // VmHWM
  int fds = -1;            // open descriptors
  int threads = -1;
};
ProcessFacts facts_of(pid_t pid);

// A launcher (or a wrapper that ends up running it) started as a child of the
// test, with its standard output and error kept in a file. Its environment is
// the test's, with entries "NAME=value" set and entries "-NAME" removed.
class Subject : public e2e::TopWindow {
 public:
  Subject() = default;
  ~Subject();

  // argv[0] is run as is (absolute path or a name looked up on PATH).
  void start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
             const fs::path& cwd = {});
  // Waits until a window of this process or one of its descendants is mapped.
  bool wait_for_window(std::chrono::milliseconds timeout = 10s);

  pid_t pid() const { return pid_; }                    // the process started
  pid_t program_pid() const { return window_owner(); }  // the one owning the window

  // The exit status (or 128 + signal), nullopt if still running after `timeout`.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout) {
    return e2e::wait_exit(pid_, timeout);
  }
  bool running() { return pid_ > 0 && !wait_exit(0ms).has_value(); }
  void signal(int sig) const;  // to the program owning the window
  // Everything the process wrote to stdout and stderr so far.
  std::string output() const;

 private:
  pid_t pid_ = -1;
  fs::path output_;
};

// A folder holding the program and what it reads: Install/ for cues.
fs::path stage_program(const fs::path& folder);

// The desktop's pointer (made on first use, once the desktop is up).
inline const testing::Pointer& pointer() {
  return e2e::desktop().pointer();
}
using e2e::click_in;
using e2e::move_in;

// How long the window took to show `want` in `area` after `act` (the event is
// sent inside `act`); nullopt if it did not within `timeout`.
std::optional<std::chrono::microseconds> time_to_show(const Subject& s, const Rect& area,
                                                      const std::vector<std::uint32_t>& want,
                                                      const std::function<void()>& act,
                                                      std::chrono::milliseconds timeout = 2s);
// The pixels of `area` (window coordinates) that `model` draws.
std::vector<std::uint32_t> expected_area(const WindowModel& model, const Rect& area);

// Starts the test program's private sound server (tests/support/sound-session.sh)
// once: every launcher started afterwards plays into it. Throws if it cannot.
void use_sound_server();

// Records the sound server's monitor (48 kHz, 2 channels, 16-bit) into a file
// while it lives.
class Recording {
 public:
  explicit Recording(const fs::path& file);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // The position (in frames) that the recording has reached now.
  std::size_t now() const;
  // Milliseconds between `from` and `to` (frames; `to` 0: the end so far) in
  // which the level rose above a quiet hum.
  int audible_ms(std::size_t from, std::size_t to = 0) const;
  // The peak level of each 100 ms from `from` on, for failure messages.
  std::string levels(std::size_t from) const;

 private:
  fs::path file_;
  pid_t pid_ = -1;
};

// A copy of the recording stand-in at `path`: when run, it writes what it was
// started with into the folder named by the environment variable below
// (which the launcher passes on to what it starts), one file per start.
inline constexpr const char* kRecordsVariable = "QUARVEL_PROOF_RECORDS";
void install_recorder(const fs::path& path);

struct StartRecord {
  std::string program;  // the file name it was installed as
  std::vector<std::string> argv;
  std::string cwd;
  std::vector<int> fds;
  pid_t sid = 0, pid = 0;
};
// Every record in `dir`, oldest first.
std::vector<StartRecord> read_records(const fs::path& dir);

// A launcher folder as a user has it: the program, five good cues (tones of
// their own pitch and length), the game (a recording stand-in) and the manual;
// and beside it a folder of stand-ins for the desktop's programs (xdg-open,
// and tripwires named sh, bash, dash, touch, wine and dbus-launch) to put
// first on PATH.
struct Staged {
  fs::path folder;   // the launcher's folder
  fs::path program;  // folder/Quarvel
  fs::path records;  // where the stand-ins write
  fs::path bin;      // the stand-ins for PATH
  // The environment entries that make the launcher use the stand-ins.
  std::vector<std::string> env() const;
  // What the stand-ins recorded, by program name.
  std::vector<StartRecord> started(const std::string& program) const;
};
Staged stage_launcher(const fs::path& folder, const fs::path& workspace);

// A 16-bit mono 44.1 kHz WAV of a tone, as a demo cue would be.
std::vector<std::uint8_t> tone_wav(double hz, double seconds);

// Readies a test: the sound server and the desktop up, the pointer away from
// where the window appears. Returns a fresh folder named after the test.
fs::path prepare(const std::string& name);

// A test of one launcher staged as a user has it, in the folder prepare() made.
class StagedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  fs::path root;  // removed after the test
  Staged staged;  // in root / "launcher"
  std::unique_ptr<Subject> launcher;
};

}  // namespace quarvel::proof
