// End-to-end test support for a Wayland desktop: weston with its desktop shell
// and XWayland, running on its X11 backend inside an Xvfb of its own (weston's
// headless backend has no input seat). The pointer is driven on that Xvfb,
// which weston passes on to its clients; the screen is read back through
// weston's own screenshooter, so a picture is what the compositor shows.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "assets/pictures.h"
#include "base/types.h"
#include "desktop.h"

namespace quarvel::e2e {

// One picture of weston's whole output.
struct Screenshot : assets::Image {
  bool empty() const { return pixels.empty(); }
  std::vector<std::uint32_t> crop(const Rect& area) const;  // empty unless inside
  // Where `picture` (w x h) shows in full, top-most then left-most; nullopt if nowhere.
  std::optional<Rect> find(const std::vector<std::uint32_t>& picture, int w, int h) const;
};

// Reads a PNG file; empty if it cannot be read.
Screenshot read_png(const fs::path& file);

class Weston {
 public:
  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;

  Weston();  // throws if weston or its desktop does not come up
  ~Weston();
  Weston(const Weston&) = delete;
  Weston& operator=(const Weston&) = delete;

  // Environment changes for a client on weston's Wayland socket, and for an
  // X11 client on weston's XWayland display.
  std::vector<std::string> wayland_client() const;
  std::vector<std::string> xwayland_client() const;
  const std::string& xwayland_display() const { return xwayland_display_; }

  // How long weston took from its start until its desktop showed.
  std::chrono::milliseconds startup_time() const { return startup_; }

  // A person's pointer and keys on the output.
  const testing::Pointer& pointer() const { return x_.pointer(); }
  void key(const std::string& k) const { x_.key(k); }
  // Takes the pointer to the panel's empty top-right corner, where no window
  // comes and the cursor's picture stays on the panel.
  void rest_pointer() const { pointer().move(kWidth - 1, 0); }
  // XWayland keeps the pointer where it last saw it over an X11 window, and a
  // window that comes up there has the pointer enter it at once: this takes
  // XWayland's pointer to the corner, which no window covers.
  void park_xwayland_pointer() const;

  Screenshot screenshot() const;
  // The screen once it stops changing; empty if it goes on changing for `timeout`.
  Screenshot settled_screenshot(std::chrono::milliseconds timeout = 3s) const;
  // Keeps the current screen as a PNG file at `file`.
  void save_screenshot(const fs::path& file) const;

 private:
  fs::path shoot() const;  // a fresh screenshot file
  void shut_down();

  XServer x_;
  fs::path home_;  // the private runtime folder, its config and screenshots
  std::string socket_ = "quarvel-wayland";
  std::string xwayland_display_;
  pid_t pid_ = -1;
  std::chrono::milliseconds startup_{};
};

// A black X11 window without decorations (as _MOTIF_WM_HINTS asks) at
// `area` on the X display `display`, shown for the lifetime of the object:
// what the compositor draws around any undecorated X11 window.
class BareX11Window {
 public:
  BareX11Window(const std::string& display, const Rect& area);
  ~BareX11Window();
  BareX11Window(const BareX11Window&) = delete;
  BareX11Window& operator=(const BareX11Window&) = delete;

 private:
  void* dpy_ = nullptr;
};

}  // namespace quarvel::e2e
