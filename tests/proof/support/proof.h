// Support for the proof tests: the real launcher under hostile conditions.
// Adds to the end-to-end support (tests/e2e): a launcher started through any
// wrapper (gdb, valgrind, a chroot), the pointer driven with XTest at full
// speed, a private sound server recorded from its monitor, the process's
// memory, descriptors and children read from /proc, and a recording stand-in
// for every program the launcher may start.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/window_model.h"
#include "base/types.h"
#include "desktop.h"

namespace quarvel::proof {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// section: window coordinates of the controls and of plain background
struct Point {
  int x, y;
};
inline constexpr Point kStartAt{70, 444};
inline constexpr Point kHelpAt{250, 444};
inline constexpr Point kQuitAt{430, 444};
inline constexpr Point kMinimizeAt{457, 17};
inline constexpr Point kCloseAt{481, 17};
inline constexpr Point kBackgroundAt{250, 240};

// The window as it should look with the pointer over one control (lit), or
// over the background (`none`).
enum class Lit { none, start, help, quit, minimize, close };
WindowModel model_with(Lit lit);
Point where(Lit lit);
const char* name_of(Lit lit);

// section: the running program
struct ProcessFacts {
  long rss_kib = -1;       // resident set
  long peak_rss_kib = -1;  // VmHWM
  int fds = -1;            // open descriptors
  int threads = -1;
};
ProcessFacts facts_of(pid_t pid);
std::vector<int> open_fds(pid_t pid);
// Direct children of `pid` and their state letters (R, S, Z, ...).
std::map<pid_t, char> children_of(pid_t pid);
// CPU time of all threads alive now, in nanoseconds (from schedstat).
std::int64_t cpu_ns(pid_t pid);

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

// section: the pointer, driven with XTest on our own connection
class Pointer {
 public:
  Pointer();
  ~Pointer();
  Pointer(const Pointer&) = delete;
  Pointer& operator=(const Pointer&) = delete;

  // Each call returns once the X server has taken the event.
  void move(int x, int y);
  void press();
  void release();
  // Queues the event without waiting (for full-speed runs); sync() waits.
  void move_async(int x, int y);
  void sync();

 private:
  void* dpy_ = nullptr;
};

// The test program's pointer (made on first use, once the desktop is up).
Pointer& pointer();

// How long the window took to show `want` in `area` after `act` (the event is
// sent inside `act`); nullopt if it did not within `timeout`.
std::optional<std::chrono::microseconds> time_to_show(const Subject& s, const Rect& area,
                                                      const std::vector<std::uint32_t>& want,
                                                      const std::function<void()>& act,
                                                      std::chrono::milliseconds timeout = 2s);
// The pixels of `area` (window coordinates) that `model` draws.
std::vector<std::uint32_t> expected_area(const WindowModel& model, const Rect& area);

// section: sound
// A private PulseAudio server with a null sink (tests/support/sound-session.sh)
// for the whole test program. Its client settings go into this process's
// environment, so every launcher started afterwards plays into it.
class SoundServer {
 public:
  static SoundServer& instance();
  ~SoundServer();
  const std::string& monitor() const { return monitor_; }

 private:
  SoundServer();
  std::string dir_;
  std::string monitor_;
  fs::path client_config_;
};

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

// section: stand-ins for the programs the launcher starts
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

// section: cue files
// Writes `bytes` to `path` (creating folders).
void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes);
// A 16-bit mono 44.1 kHz WAV of a tone, as a demo cue would be.
std::vector<std::uint8_t> tone_wav(double hz, double seconds);

}  // namespace quarvel::proof
