// The window host on SDL2, for Linux (X11, and Wayland through SDL's own driver): app/host.h.
// Implemented: one borderless, centred, fixed-size (min = max, on X11 and Wayland) window with the
//   program icon, drawn through SDL's window surface; on a scaled X desktop (Xft.dpi, else
//   XSETTINGS) 500k x 480k with each picture pixel a k x k block and pointer positions divided
//   by k; pointer moves, left-button presses and releases, the desktop's close and the window's
//   destruction by another client, each handed to the core; a loop that sleeps until an event or
//   the core's next due timer; SIGINT and SIGTERM taken as the desktop's close; a size change
//   made from outside (a tiling window manager) answered by drawing the whole window again, the
//   pictures at the top left and black beyond; the screen saver and idle lock left to the desktop
//   (SDL would keep the screen awake).
// Left out: keys and text (the launcher takes none); decorations (it has none, so SDL does not
//   load libdecor, whose plugin search speaks on stderr); every video driver but X11 and Wayland
//   (the others show no window on a desktop: without one it ends at once, saying so); scaling
//   natively on Wayland, where the compositor enlarges the window itself.
// Why it is so: on X11 the surface is the driver's own unaccelerated framebuffer, the cheapest
//   there is, and a driver without one (Wayland) gets SDL's texture-backed surface. The icon is set
//   through the X11 property _NET_WM_ICON, because SDL gives a window only one of its two images.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop_scale.h"
#include "app/launcher.h"
#include "assets/pictures.h"
#include "base/paths.h"
#include "launch/shell_request.h"
#include "sound/cue_device.h"

namespace quarvel {
namespace {

// Xlib's default error handler ends the process. SDL sends its wake-up events
// over a second connection, which can reach a window the desktop has just
// closed; such a late, harmless error must not turn a clean close into a crash.
int ignore_x_error(Display*, XErrorEvent*) {
  return 0;
}

class SdlHost final : public Host {
 public:
  int run();

  void invalidate(const Rect& area) override { dirty_ = bounding(dirty_, area); }
  void minimize() override { SDL_MinimizeWindow(window_); }
  [[noreturn]] void end_program() override { _exit(0); }
  NativeHandle window_handle() const override { return handle_; }
  Millis now() const override { return static_cast<Millis>(SDL_GetTicks64()); }

 private:
  bool open_window();
  bool create_window();
  void destroy_window();
  void set_icons();
  void draw_dirty();
  void renew_frame();
  void wait_and_dispatch();
  bool dispatch(const SDL_Event& e);
  int to_model(int window_position) const;

  SDL_Window* window_ = nullptr;
  SDL_Surface* frame_ = nullptr;    // the window's own surface, drawn into directly
  SDL_Surface* staging_ = nullptr;  // used only if scaled or the window surface is not 0x00RRGGBB
  int scale_ = 1;                   // each picture pixel a scale_ x scale_ block on screen
  NativeHandle handle_ = NativeHandle::none;
  Rect dirty_{};

  assets::Pictures pictures_;
  std::unique_ptr<sound::CueDevice> cue_device_;
  std::unique_ptr<launch::Shell> shell_;
  std::unique_ptr<Launcher> launcher_;
  bool running_ = true;
  bool window_destroyed_ = false;  // by another X client, not by us
};

bool video_driver_is(const char* name) {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, name) == 0;
}

// The desktop's dots per inch as toolkits read them on X11: Xft.dpi in the
// resource database, else what the XSETTINGS manager says.
std::optional<double> x11_desktop_dpi(Display* dpy) {
  std::optional<double> dpi;
  if (const char* resources = XResourceManagerString(dpy)) {
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value{};
    if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
      const std::string text(value.addr, value.size);
      char* end = nullptr;
      const double v = std::strtod(text.c_str(), &end);
      if (end != text.c_str() && std::isfinite(v)) dpi = v;
    }
    if (db) XrmDestroyDatabase(db);
  }
  if (dpi) return dpi;
  const std::string manager = "_XSETTINGS_S" + std::to_string(DefaultScreen(dpy));
  const Atom selection = XInternAtom(dpy, manager.c_str(), True);
  const Window owner = selection == None ? None : XGetSelectionOwner(dpy, selection);
  if (owner == None) return std::nullopt;
  Atom type;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, owner, XInternAtom(dpy, "_XSETTINGS_SETTINGS", False), 0, 1 << 16,
                         False, AnyPropertyType, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    if (format == 8) dpi = xsettings_dpi({data, count});
    XFree(data);
  }
  return dpi;
}

// The factor to draw at: on X11 (XWayland too) the desktop's own scale, read
// at start on a connection of our own, as SDL's exists only with a window. A
// Wayland compositor enlarges a window itself.
int desktop_scale() {
  SDL_Rect screen{};
  if (!video_driver_is("x11") || SDL_GetDisplayBounds(0, &screen) != 0) return 1;
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return 1;
  const int scale = window_scale(x11_desktop_dpi(dpy), screen.w, screen.h);
  XCloseDisplay(dpy);
  return scale;
}

// Creates the hidden, borderless, centred window and its drawing surface.
bool SdlHost::create_window() {
  scale_ = desktop_scale();
  window_ = SDL_CreateWindow(std::string(kCaption).c_str(), SDL_WINDOWPOS_CENTERED,
                             SDL_WINDOWPOS_CENTERED, kClientWidth * scale_, kClientHeight * scale_,
                             SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!window_) return false;
  frame_ = SDL_GetWindowSurface(window_);
  if (!frame_) return false;
  if (scale_ > 1 || frame_->format->format != SDL_PIXELFORMAT_RGB888) {
    staging_ =
        SDL_CreateRGBSurfaceWithFormat(0, kClientWidth, kClientHeight, 32, SDL_PIXELFORMAT_RGB888);
    if (!staging_) return false;
  }
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11) {
    handle_ = static_cast<NativeHandle>(info.info.x11.window);
  }
  set_icons();
  return true;
}

void SdlHost::destroy_window() {
  if (staging_) SDL_FreeSurface(staging_);
  staging_ = nullptr;
  frame_ = nullptr;
  if (window_) SDL_DestroyWindow(window_);
  window_ = nullptr;
  handle_ = NativeHandle::none;
}

// Gives the window both icon images (SDL alone sets only one size).
void SdlHost::set_icons() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window_, &info) || info.subsystem != SDL_SYSWM_X11) return;
  std::vector<unsigned long> data;  // _NET_WM_ICON: width, height, then ARGB per pixel
  for (const assets::Image* img : {&pictures_.icon.small, &pictures_.icon.large}) {
    if (img->pixels.empty()) continue;
    data.push_back(static_cast<unsigned long>(img->width));
    data.push_back(static_cast<unsigned long>(img->height));
    for (std::uint32_t p : img->pixels) data.push_back(0xFF000000UL | p);
  }
  if (data.empty()) return;
  Display* dpy = info.info.x11.display;
  const Atom net_wm_icon = XInternAtom(dpy, "_NET_WM_ICON", False);
  XChangeProperty(dpy, info.info.x11.window, net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(data.data()),
                  static_cast<int>(data.size()));
  XFlush(dpy);
}

// Draws the changed part of the window and puts it on screen.
void SdlHost::draw_dirty() {
  const Rect area = intersect(dirty_, Rect{0, 0, kClientWidth, kClientHeight});
  dirty_ = {};
  if (area.empty() || !frame_) return;
  SDL_Surface* target = staging_ ? staging_ : frame_;
  launcher_->model().draw(pictures_, area,
                          FrameView{static_cast<std::uint32_t*>(target->pixels), target->w,
                                    target->h, target->pitch / 4});
  SDL_Rect r{area.left, area.top, area.width, area.height};
  SDL_Rect on_screen{r.x * scale_, r.y * scale_, r.w * scale_, r.h * scale_};
  if (scale_ > 1) {
    SDL_BlitScaled(staging_, &r, frame_, &on_screen);  // nearest neighbour: k x k blocks
  } else if (staging_) {
    SDL_BlitSurface(staging_, &r, frame_, &on_screen);
  }
  SDL_UpdateWindowSurfaceRects(window_, &on_screen, 1);
}

// A window position in the pictures' own pixels (rounded down: a move captured
// outside the window can be negative).
int SdlHost::to_model(int window_position) const {
  return window_position >= 0 ? window_position / scale_
                              : -((scale_ - 1 - window_position) / scale_);
}

// A size change, whoever made it, leaves SDL's old surface invalid: the whole
// window is drawn anew on a fresh one, black beyond the pictures.
void SdlHost::renew_frame() {
  frame_ = SDL_GetWindowSurface(window_);
  if (!frame_) return;
  SDL_FillRect(frame_, nullptr, SDL_MapRGB(frame_->format, 0, 0, 0));
  dirty_ = Rect{0, 0, kClientWidth, kClientHeight};
  draw_dirty();
  SDL_UpdateWindowSurface(window_);
}

// SDL's X11 driver reports the pointer leaving the window as a move to the
// nearest edge, queued right before the leave event itself; that move is not a
// real one. Any other move before a leave is, and may be the one that lights a
// control: the Wayland driver makes up no edge move, nor does XWayland, which
// reports the leave where the pointer last was inside.
bool edge_move_before_leave(SDL_Window* window, const SDL_MouseMotionEvent& m) {
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  const bool on_edge = m.x == 0 || m.y == 0 || m.x == width - 1 || m.y == height - 1;
  SDL_Event next;
  return on_edge && SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
         next.type == SDL_WINDOWEVENT && next.window.event == SDL_WINDOWEVENT_LEAVE;
}

// Another X client destroyed our window outright (SDL does not report it): the
// window is closed from outside as surely as by the desktop's close.
bool window_destroyed(const SDL_SysWMmsg& msg, NativeHandle window) {
  return msg.subsystem == SDL_SYSWM_X11 && msg.msg.x11.event.type == DestroyNotify &&
         static_cast<NativeHandle>(msg.msg.x11.event.xdestroywindow.window) == window;
}

// SIGINT and SIGTERM close the launcher as the desktop's close does. SDL's own
// handler only marks them for its next look at the events, and a mark made on
// another thread, or just before its event wait sleeps, is seen only at the
// next event. So every thread blocks them (each inherits the mask of the thread
// that starts it: this one starts first), and a thread of their own takes them
// and posts the close as an event, which wakes the wait; one that comes before
// the events are up is found before the first wait.
// Kept for the whole process: the thread that takes the signals never ends.
struct CloseSignals {
  // Called first in main, before any thread starts.
  static void take_from_now_on() {
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([] {
      for (int sig = 0;;) {
        if (sigwait(&set, &sig) != 0) continue;
        came = true;
        std::lock_guard lk(m);
        if (!events_up) continue;
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
      }
    }).detach();
  }
  // Whether the close may be posted as an event: from the first wait until SDL ends.
  static void set_events_up(bool up) {
    std::lock_guard lk(m);
    events_up = up;
  }

  static inline sigset_t set{};
  static inline std::atomic<bool> came{false};
  static inline std::mutex m;
  static inline bool events_up = false;
};

// SDL connects to the desktop's session bus while it starts. Where there is
// none, libdbus would start one by running dbus-launch, and the launcher runs
// nothing but what the user asks for. A bus address that cannot be reached
// makes that attempt fail quietly; the environment is restored at once, so
// what the launcher starts later sees it unchanged.
bool init_video_without_bus_autolaunch() {
  const bool no_bus = std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr;
  if (no_bus) setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quarvel-no-bus", 1);
  const bool ok = SDL_Init(SDL_INIT_VIDEO) == 0;
  if (no_bus) unsetenv("DBUS_SESSION_BUS_ADDRESS");
  return ok;
}

// Without a desktop SDL falls back to drivers that show nobody anything
// (offscreen, dummy): a launcher there would run unseen for ever.
bool on_a_desktop() {
  return video_driver_is("x11") || video_driver_is("wayland");
}

// The runtime's one-line report of the failed start; the launcher itself says nothing.
bool no_display() {
  std::fputs(
      "Quarvel: found no display to open its window on (no X server at DISPLAY, no Wayland "
      "compositor at WAYLAND_DISPLAY)\n",
      stderr);
  return false;
}

// SDL settles on the kind of window surface once per video start, so where the
// driver has no unaccelerated framebuffer, video starts again without asking for it.
bool SdlHost::open_window() {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (!init_video_without_bus_autolaunch() || !on_a_desktop()) return no_display();
  if (create_window()) return true;
  destroy_window();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  // SDL 2.0.20 cannot unset a hint; "1" gives the texture-backed surface that unset gives.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
  return init_video_without_bus_autolaunch() && create_window();
}

// Hands one SDL event to the core; returns false once the window is closed.
bool SdlHost::dispatch(const SDL_Event& e) {
  switch (e.type) {
    case SDL_MOUSEMOTION:
      // Moves reported outside the client area (a held button captures the
      // pointer) are not moves over the window, nor is the pointer leaving it.
      if (Rect{0, 0, kClientWidth, kClientHeight}.contains(to_model(e.motion.x),
                                                           to_model(e.motion.y)) &&
          !edge_move_before_leave(window_, e.motion)) {
        launcher_->pointer_moved(to_model(e.motion.x), to_model(e.motion.y));
      }
      return true;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT)
        launcher_->pointer_pressed(to_model(e.button.x), to_model(e.button.y));
      return true;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT)
        launcher_->pointer_released(to_model(e.button.x), to_model(e.button.y));
      return true;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) renew_frame();
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) SDL_UpdateWindowSurface(window_);
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) return false;
      return true;
    case SDL_QUIT:  // the desktop's close, or SIGTERM / SIGINT
      return false;
    case SDL_SYSWMEVENT:
      window_destroyed_ = window_destroyed(*e.syswm.msg, handle_);
      return !window_destroyed_;
    default:
      return true;
  }
}

// Sleeps until an event arrives or the next timer is due, then handles all that is ready.
void SdlHost::wait_and_dispatch() {
  SDL_Event e;
  const auto due = launcher_->next_due();
  int got = 0;
  if (!due) {
    got = SDL_WaitEvent(&e);
  } else {
    const Millis wait = *due - now();
    got = wait > 0 ? SDL_WaitEventTimeout(&e, static_cast<int>(wait)) : SDL_PollEvent(&e);
  }
  while (got && running_) {
    running_ = dispatch(e);
    got = running_ ? SDL_PollEvent(&e) : 0;
  }
  if (running_) launcher_->run_due_timers(now());
  draw_dirty();
}

// How long the end after a close from outside may wait for the sound device.
constexpr std::chrono::milliseconds kSoundGrace{100};

int SdlHost::run() {
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
  // SDL keeps the screen awake by default (suspending the X screen saver, an
  // idle inhibitor, a session-bus inhibit); a launcher menu must not.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  XSetErrorHandler(ignore_x_error);
  pictures_ = assets::Pictures::decode_all();
  if (!open_window()) return 1;
  // Only now: a second video start would have undone them.
  SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
  SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);
  SDL_EventState(SDL_KEYDOWN, SDL_IGNORE);
  SDL_EventState(SDL_KEYUP, SDL_IGNORE);
  SDL_EventState(SDL_TEXTINPUT, SDL_IGNORE);
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);

  cue_device_ = sound::make_platform_cue_device();
  shell_ = launch::make_platform_shell();
  launcher_ = std::make_unique<Launcher>(*this, *cue_device_, *shell_, application_directory,
                                         kNativeSeparator);

  launcher_->load();
  dirty_ = Rect{0, 0, kClientWidth, kClientHeight};
  draw_dirty();
  SDL_ShowWindow(window_);
  // SDL's X11 driver declares min = max for a window of fixed size when it makes
  // it; its Wayland driver only once a limit is set, after the window is shown.
  if (video_driver_is("wayland"))
    SDL_SetWindowMinimumSize(window_, kClientWidth * scale_, kClientHeight * scale_);
  SDL_UpdateWindowSurface(window_);

  CloseSignals::set_events_up(true);
  while (running_ && !CloseSignals::came) wait_and_dispatch();

  launcher_->closed_from_outside();
  launcher_.reset();
  // SDL would wait forever on a window that is gone; ours goes before any wait on sound.
  if (!window_destroyed_) destroy_window();
  // A hung sound server keeps the sound device: the program ends without waiting on it.
  if (!cue_device_->finish(kSoundGrace)) _exit(0);
  cue_device_.reset();
  CloseSignals::set_events_up(false);
  if (!window_destroyed_) SDL_Quit();
  return 0;
}

}  // namespace
}  // namespace quarvel

int main(int, char**) {
  quarvel::CloseSignals::take_from_now_on();
  quarvel::SdlHost host;
  return host.run();
}
