// End-to-end test support: a private X desktop (Xvfb with the openbox window
// manager), the real Quarvel program started in a folder of its own, and ways
// to look at its window and drive it the way a person would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/types.h"
#include "tests/support/pointer.h"
#include "tests/support/process.h"

namespace quarvel::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using testing::environment_with;
using testing::run;
using testing::spawn;
using testing::SpawnOptions;
using testing::stop;
using testing::wait_exit;
using testing::wait_until;

// An Xvfb server of its own, on a display number it picks itself, for the
// lifetime of the object, and a person's pointer and keyboard on it.
class XServer {
 public:
  XServer(int width, int height);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }

  const testing::Pointer& pointer() const { return *pointer_; }
  void key(const std::string& keys) const;  // e.g. "alt+F4", through xdotool

  // The screen's pixels in `area` (root-window coordinates) as 0x00RRGGBB.
  std::vector<std::uint32_t> grab(const Rect& area) const;
  // Sets the resource database on the root window, as xrdb does.
  void set_resources(const std::string& resources) const;
  // Whether the screen saver comes on after a second without input (then
  // reset to the server's own timeout).
  bool screen_saver_comes_on() const;
  void save_png(const Rect& area, const fs::path& file) const;

 protected:
  void* connection() const { return dpy_; }

 private:
  void xdotool(const std::vector<std::string>& args) const;

  struct SharedLook;
  pid_t pid_ = -1;
  std::string display_;
  void* dpy_ = nullptr;  // our own Xlib connection
  std::unique_ptr<testing::Pointer> pointer_;
  mutable std::unique_ptr<SharedLook> look_;  // made at the first grab
};

// An Xvfb server with openbox, for the lifetime of the object.
class Desktop : public XServer {
 public:
  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;

  explicit Desktop(int width = kWidth, int height = kHeight);
  ~Desktop();

 private:
  pid_t wm_ = -1;
};

// A program's top-level window on the desktop, found in the window manager's
// client list by the process that owns it (_NET_WM_PID), and what a person at
// the desktop sees of it and does with it. Opens its own display connection
// on first use, to `display` (empty: the one DISPLAY names).
class TopWindow {
 public:
  explicit TopWindow(std::string display = {}) : display_name_(std::move(display)) {}
  ~TopWindow();
  TopWindow(const TopWindow&) = delete;
  TopWindow& operator=(const TopWindow&) = delete;

  // Waits until a mapped client window shows whose owner satisfies `owned`.
  bool wait_for_window_of(const std::function<bool(pid_t)>& owned,
                          std::chrono::milliseconds timeout);
  unsigned long window() const { return window_; }
  pid_t window_owner() const { return owner_; }
  bool window_exists() const;  // still managed by the window manager
  // Top-level windows the window manager manages, of any program.
  std::vector<unsigned long> client_windows() const;

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
  // Lifts the window's size hints and resizes it, as a tiling window manager
  // does; false if it did not take the size.
  bool resize_from_outside(int width, int height) const;
  void activate() const;  // restore, raise and focus through the window manager

 protected:
  void forget_window() {
    window_ = 0;
    owner_ = -1;
  }

 private:
  void* display() const;  // throws without a display

  std::string display_name_;
  mutable void* dpy_ = nullptr;
  unsigned long window_ = 0;
  pid_t owner_ = -1;
};

// A staged launcher folder and the running program.
class Launcher : public TopWindow {
 public:
  // Copies the program into `folder` (created), nothing else; its window is
  // looked for on `display` (empty: the one DISPLAY names).
  explicit Launcher(fs::path folder, std::string display = {});
  ~Launcher();

  const fs::path& folder() const { return folder_; }
  fs::path program() const { return folder_ / "Quarvel"; }

  // Starts the program with extra environment entries ("NAME=value"); what it
  // writes to stdout and stderr goes to `output` where one is given.
  void start(const std::vector<std::string>& env = {}, const fs::path& output = {});
  // Waits until its window is mapped and shows; false on time-out.
  bool wait_for_window(std::chrono::milliseconds timeout = 5s);
  // Waits for the process to end; its exit status, or nullopt if still running.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout) {
    return e2e::wait_exit(pid_, timeout);
  }
  bool running() { return pid_ > 0 && !wait_exit(0ms).has_value(); }
  pid_t pid() const { return pid_; }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
};

// The path of the built program (set by CMake).
fs::path built_program();

// A fresh temporary folder, removed by the caller's fixture.
fs::path make_temp_folder(const std::string& prefix);

}  // namespace quarvel::e2e
