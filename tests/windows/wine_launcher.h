// End-to-end support for the Windows program: a launcher folder staged as a
// modder would lay it out, and the cross-built Quarvel.exe started in it under
// Wine, with ways to look at its X window. The desktop itself (Xvfb, openbox,
// xdotool, screen grabs) is tests/e2e's.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/types.h"
#include "desktop.h"

namespace quarvel::wine_e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The cross-built programs (set by CMake).
fs::path windows_program();  // Quarvel.exe
fs::path stub_game();        // vivu.exe, records how it was started
fs::path doc_recorder();     // the recording ".doc" handler
fs::path shell_box();        // the shell extension that shows a box during a request
fs::path window_actions();   // does to the launcher's window what other programs do

// Runs a Windows program under Wine and waits for it; its exit status, or -1.
int run_under_wine(const std::vector<std::string>& args);

// The DOS path under which Wine shows a Unix path (the root is drive Z:).
std::string dos_path(const fs::path& unix_path);

// The lines of a text file once it has `lines` of them (or what is there at the time-out).
std::vector<std::string> read_lines(const fs::path& file, std::size_t lines,
                                    std::chrono::milliseconds timeout = 10s);

class WineLauncher : public e2e::TopWindow {
 public:
  // Stages `folder`: Quarvel.exe, GameData\vivu.exe (the stub game) and
  // GameData\voskbase\documentation\manual.doc. No Install folder: silence.
  explicit WineLauncher(fs::path folder);
  ~WineLauncher();

  // Writes the five demo cues into Install\, so that each cue really sounds.
  bool add_cues();

  const fs::path& folder() const { return folder_; }
  fs::path game_record() const { return folder_ / "GameData" / "started.txt"; }
  fs::path manual_record() const {
    return folder_ / "GameData" / "voskbase" / "documentation" / "opened.txt";
  }

  // Starts Quarvel.exe under Wine with extra environment entries ("NAME=value");
  // Wine's own messages go to `log` if given. `program` may name it by
  // another (DOS) path, such as a drive mapped to the folder.
  void start(const std::vector<std::string>& env = {}, const fs::path& log = {},
             const std::string& program = "Quarvel.exe");
  // Waits until its window is mapped; false on time-out. Wine marks its
  // windows with the pid of the Unix process that runs the program.
  bool wait_for_window(std::chrono::milliseconds timeout = 30s) {
    return wait_for_window_of([this](pid_t owner) { return owner == pid_; }, timeout);
  }
  // Waits for the program to end; its exit status, or nullopt if still running.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout) {
    return e2e::wait_exit(pid_, timeout);
  }
  bool running() { return pid_ > 0 && !wait_exit(0ms).has_value(); }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
};

}  // namespace quarvel::wine_e2e
