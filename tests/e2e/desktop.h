// End-to-end test support: a private X desktop (Xvfb with the openbox window
// manager), the real Quarvel program started in a folder of its own, and ways
// to look at its window and drive it the way a person would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/types.h"

namespace quarvel::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Polls `ok` every few milliseconds until it holds or `timeout` passes.
bool wait_until(const std::function<bool()>& ok, std::chrono::milliseconds timeout);

// Runs a program (no shell) and waits for it; returns its exit status, or -1.
int run(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});

// An Xvfb server with openbox, for the lifetime of the object. Sets DISPLAY.
class Desktop {
 public:
  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;

  Desktop();
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  const std::string& display() const { return display_; }

  // section: input, sent with xdotool as a person's pointer would
  void move_pointer(int x, int y) const;
  void click(int x, int y) const;           // move there, press and release the left button
  void key(const std::string& keys) const;  // e.g. "alt+F4"

  // section: the screen
  // The screen's pixels in `area` (root-window coordinates) as 0x00RRGGBB.
  std::vector<std::uint32_t> grab(const Rect& area) const;
  void save_png(const Rect& area, const fs::path& file) const;

 private:
  pid_t xvfb_ = -1;
  pid_t wm_ = -1;
  std::string display_;
  void* dpy_ = nullptr;  // our own Xlib connection
};

// A staged launcher folder and the running program.
class Launcher {
 public:
  // Copies the program into `folder` (created), nothing else.
  explicit Launcher(fs::path folder);
  ~Launcher();

  const fs::path& folder() const { return folder_; }
  fs::path program() const { return folder_ / "Quarvel"; }

  // Starts the program with extra environment entries ("NAME=value").
  void start(const std::vector<std::string>& env = {});
  // Waits until its window is mapped and shows; false on time-out.
  bool wait_for_window(std::chrono::milliseconds timeout = 5s);
  // Waits for the process to end; its exit status, or nullopt if still running.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout);
  bool running();
  pid_t pid() const { return pid_; }

  // section: the window
  unsigned long window() const { return window_; }
  Rect geometry() const;  // client area in root coordinates
  std::string name() const;
  // _NET_WM_ICON images as (width, height, ARGB pixels).
  struct Icon {
    int width, height;
    std::vector<std::uint32_t> argb;
  };
  std::vector<Icon> icons() const;
  std::vector<long> frame_extents() const;  // left, right, top, bottom
  bool iconified() const;
  void close_by_window_manager() const;  // as a desktop closes it: wmctrl -c
  void activate() const;                 // restore and raise through the window manager

 private:
  fs::path folder_;
  pid_t pid_ = -1;
  unsigned long window_ = 0;
  void* dpy_ = nullptr;
};

// The path of the built program (set by CMake).
fs::path built_program();

// A fresh temporary folder, removed by the caller's fixture.
fs::path make_temp_folder(const std::string& prefix);

}  // namespace quarvel::e2e
