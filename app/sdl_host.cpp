// The window host on SDL2, for Linux (X11, and Wayland through SDL's own driver): app/host.h.
// Implemented: one borderless, centred 500 x 480 window with the program icon, drawn through SDL's
//   window surface; pointer moves, left-button presses and releases, the desktop's close and the
//   window's destruction by another client, each handed to the core; a loop that sleeps until an
//   event or the core's next due timer.
// Left out: keys and text (the launcher takes none); decorations (it has none, so SDL does not
//   load libdecor, whose plugin search speaks on stderr).
// Why it is so: on X11 the surface is the driver's own unaccelerated framebuffer, the cheapest
//   there is, and a driver without one (Wayland) gets SDL's texture-backed surface. The icon is set
//   through the X11 property _NET_WM_ICON, because SDL gives a window only one of its two images.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

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
  void wait_and_dispatch();
  bool dispatch(const SDL_Event& e);

  SDL_Window* window_ = nullptr;
  SDL_Surface* frame_ = nullptr;    // the window's own surface, drawn into directly
  SDL_Surface* staging_ = nullptr;  // used only if the window surface is not 0x00RRGGBB
  NativeHandle handle_ = NativeHandle::none;
  Rect dirty_{};

  assets::Pictures pictures_;
  std::unique_ptr<sound::CueDevice> cue_device_;
  std::unique_ptr<launch::Shell> shell_;
  std::unique_ptr<Launcher> launcher_;
  bool running_ = true;
  bool window_destroyed_ = false;  // by another X client, not by us
};

// Creates the hidden, borderless, centred window and its drawing surface.
bool SdlHost::create_window() {
  window_ = SDL_CreateWindow(std::string(kCaption).c_str(), SDL_WINDOWPOS_CENTERED,
                             SDL_WINDOWPOS_CENTERED, kClientWidth, kClientHeight,
                             SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!window_) return false;
  frame_ = SDL_GetWindowSurface(window_);
  if (!frame_) return false;
  if (frame_->format->format != SDL_PIXELFORMAT_RGB888) {
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
  if (area.empty()) return;
  SDL_Surface* target = staging_ ? staging_ : frame_;
  launcher_->model().draw(pictures_, area,
                          FrameView{static_cast<std::uint32_t*>(target->pixels), target->w,
                                    target->h, target->pitch / 4});
  SDL_Rect r{area.left, area.top, area.width, area.height};
  if (staging_) SDL_BlitSurface(staging_, &r, frame_, &r);
  SDL_UpdateWindowSurfaceRects(window_, &r, 1);
}

// SDL's X11 driver reports the pointer leaving the window as a move to the
// nearest edge, queued right before the leave event itself; that move is not a
// real one. Any other move before a leave is, and may be the one that lights a
// control: the Wayland driver makes up no edge move, nor does XWayland, which
// reports the leave where the pointer last was inside.
bool edge_move_before_leave(const SDL_MouseMotionEvent& m) {
  const bool on_edge = m.x == 0 || m.y == 0 || m.x == kClientWidth - 1 || m.y == kClientHeight - 1;
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

// SDL settles on the kind of window surface once per video start, so where the
// driver has no unaccelerated framebuffer, video starts again without asking for it.
bool SdlHost::open_window() {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (!init_video_without_bus_autolaunch()) return false;
  if (create_window()) return true;
  destroy_window();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  SDL_ResetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
  return init_video_without_bus_autolaunch() && create_window();
}

// Hands one SDL event to the core; returns false once the window is closed.
bool SdlHost::dispatch(const SDL_Event& e) {
  switch (e.type) {
    case SDL_MOUSEMOTION:
      // Moves reported outside the client area (a held button captures the
      // pointer) are not moves over the window, nor is the pointer leaving it.
      if (Rect{0, 0, kClientWidth, kClientHeight}.contains(e.motion.x, e.motion.y) &&
          !edge_move_before_leave(e.motion)) {
        launcher_->pointer_moved(e.motion.x, e.motion.y);
      }
      return true;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) launcher_->pointer_pressed(e.button.x, e.button.y);
      return true;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) launcher_->pointer_released(e.button.x, e.button.y);
      return true;
    case SDL_WINDOWEVENT:
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
  SDL_UpdateWindowSurface(window_);

  while (running_) wait_and_dispatch();

  launcher_->closed_from_outside();
  launcher_.reset();
  // SDL would wait forever on a window that is gone; ours goes before any wait on sound.
  if (!window_destroyed_) destroy_window();
  // A hung sound server keeps the sound device: the program ends without waiting on it.
  if (!cue_device_->finish(kSoundGrace)) _exit(0);
  cue_device_.reset();
  if (!window_destroyed_) SDL_Quit();
  return 0;
}

}  // namespace
}  // namespace quarvel

int main(int, char**) {
  quarvel::SdlHost host;
  return host.run();
}
