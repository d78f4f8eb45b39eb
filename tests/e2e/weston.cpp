#include "weston.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "tests/support/files.h"

namespace quarvel::e2e {

namespace {

using Clock = std::chrono::steady_clock;

// A desktop as a test needs it: no fading in at start or out after a window
// closes, and no screen blanking or locking while a slow run leaves the
// pointer still.
constexpr const char* kConfig =
    "[core]\n"
    "idle-time=0\n"
    "[shell]\n"
    "startup-animation=none\n"
    "close-animation=none\n"
    "locking=false\n";

// The X display weston's XWayland listens on, from weston's log ("" until it says).
std::string xwayland_display_in(const std::string& log) {
  const std::string said = "xserver listening on display ";
  const auto at = log.find(said);
  if (at == std::string::npos) return "";
  const auto from = at + said.size();
  const auto end = log.find_first_of("\r\n", from);
  return end == std::string::npos ? "" : log.substr(from, end - from);
}

// The screen is still, and drawn, once two screenshots in a row agree and are not black.
bool settled(const Screenshot& previous, const Screenshot& now) {
  return !now.empty() && now.pixels == previous.pixels &&
         std::any_of(now.pixels.begin(), now.pixels.end(), [](std::uint32_t p) { return p != 0; });
}

}  // namespace

std::vector<std::uint32_t> Screenshot::crop(const Rect& area) const {
  std::vector<std::uint32_t> out;
  if (area.left < 0 || area.top < 0 || area.left + area.width > width ||
      area.top + area.height > height)
    return out;
  out.reserve(static_cast<std::size_t>(area.width) * area.height);
  for (int y = area.top; y < area.top + area.height; ++y) {
    const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y) * width + area.left;
    out.insert(out.end(), row, row + area.width);
  }
  return out;
}

std::optional<Rect> Screenshot::find(const std::vector<std::uint32_t>& picture, int w,
                                     int h) const {
  const auto matches_at = [&](int left, int top) {
    for (int y = 0; y < h; ++y) {
      const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(top + y) * width + left;
      if (!std::equal(row, row + w, picture.begin() + static_cast<std::ptrdiff_t>(y) * w))
        return false;
    }
    return true;
  };
  for (int top = 0; top + h <= height; ++top) {
    for (int left = 0; left + w <= width; ++left) {
      if (matches_at(left, top)) return Rect{left, top, w, h};
    }
  }
  return std::nullopt;
}

Weston::Weston() : x_(kWidth, kHeight) {
  home_ = make_temp_folder("quarvel-weston-");
  fs::permissions(home_, fs::perms::owner_all);  // as a runtime folder must be
  testing::write_file(home_ / "weston.ini", kConfig);
  fs::create_directory(home_ / "shots");
  const fs::path log = home_ / "weston.log";

  const auto started = Clock::now();
  pid_ =
      spawn({"weston", "--backend=x11-backend.so", "--use-pixman", "--xwayland", "--debug",
             "--socket=" + socket_, "--width=" + std::to_string(kWidth),
             "--height=" + std::to_string(kHeight), "--config=" + (home_ / "weston.ini").string()},
            environment_with({"DISPLAY=" + x_.display(), "XDG_RUNTIME_DIR=" + home_.string(),
                              "-WAYLAND_DISPLAY", "-WAYLAND_SOCKET"}),
            {.output = log});
  const auto give_up = [&](const std::string& what) {
    const std::string said = testing::read_file(log);
    shut_down();  // no destructor runs for a constructor that throws
    throw std::runtime_error(what + ":\n" + said);
  };
  if (pid_ < 0) give_up("cannot start weston");
  const bool listening = wait_until(
      [&] {
        xwayland_display_ = xwayland_display_in(testing::read_file(log));
        return !xwayland_display_.empty() && fs::exists(home_ / socket_);
      },
      10s);
  if (!listening) give_up("weston did not start");
  if (settled_screenshot(10s).empty()) give_up("weston's desktop did not show");
  startup_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
  // Weston turns the X pointer's moves into offsets from where it last was:
  // the first move takes both to the same place.
  pointer().move(0, 0);
  rest_pointer();
}

Weston::~Weston() {
  shut_down();
}

void Weston::shut_down() {
  stop(pid_, 2s);
  pid_ = -1;
  std::error_code ec;
  fs::remove_all(home_, ec);
}

std::vector<std::string> Weston::wayland_client() const {
  return {"WAYLAND_DISPLAY=" + socket_, "XDG_RUNTIME_DIR=" + home_.string(), "-DISPLAY"};
}

std::vector<std::string> Weston::xwayland_client() const {
  return {"DISPLAY=" + xwayland_display_, "-WAYLAND_DISPLAY"};
}

fs::path Weston::shoot() const {
  const fs::path dir = home_ / "shots";
  for (const auto& old : fs::directory_iterator(dir)) fs::remove(old.path());
  const pid_t pid =
      spawn({"weston-screenshooter"},
            environment_with({"WAYLAND_DISPLAY=" + socket_, "XDG_RUNTIME_DIR=" + home_.string()}),
            {.cwd = dir, .output = home_ / "screenshooter.log"});
  pid_t waited = pid;
  if (pid < 0 || wait_exit(waited, 10s) != 0) {
    stop(waited);
    return {};
  }
  for (const auto& file : fs::directory_iterator(dir)) {
    if (file.path().extension() == ".png") return file.path();
  }
  return {};
}

Screenshot Weston::screenshot() const {
  const fs::path file = shoot();
  return file.empty() ? Screenshot{} : read_png(file);
}

Screenshot Weston::settled_screenshot(std::chrono::milliseconds timeout) const {
  Screenshot previous;
  Screenshot now;
  const bool done = wait_until(
      [&] {
        previous = std::exchange(now, screenshot());
        return settled(previous, now);
      },
      timeout);
  return done ? now : Screenshot{};
}

void Weston::park_xwayland_pointer() const {
  testing::Pointer(xwayland_display_).move(0, 0);
}

void Weston::save_screenshot(const fs::path& file) const {
  const fs::path shot = shoot();
  if (!shot.empty()) fs::copy_file(shot, file, fs::copy_options::overwrite_existing);
}

BareX11Window::BareX11Window(const std::string& display, const Rect& area) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) throw std::runtime_error("cannot open " + display);
  dpy_ = d;
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), area.left, area.top,
                                       static_cast<unsigned>(area.width),
                                       static_cast<unsigned>(area.height), 0, 0, 0);
  XSizeHints hints{};
  hints.flags = USPosition | PPosition | PMinSize | PMaxSize;
  hints.x = area.left;
  hints.y = area.top;
  hints.min_width = hints.max_width = area.width;
  hints.min_height = hints.max_height = area.height;
  XSetWMNormalHints(d, w, &hints);
  const long motif[5] = {2, 0, 0, 0, 0};  // flags: decorations; decorations: none
  const Atom motif_hints = XInternAtom(d, "_MOTIF_WM_HINTS", False);
  XChangeProperty(d, w, motif_hints, motif_hints, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(motif), 5);
  XMapWindow(d, w);
  XFlush(d);
}

BareX11Window::~BareX11Window() {
  XCloseDisplay(static_cast<Display*>(dpy_));
}

}  // namespace quarvel::e2e
