#include "desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/scrnsaver.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace quarvel::e2e {

namespace {

Display* as_display(void* p) {
  return static_cast<Display*>(p);
}

// Windows come and go while the tests look at them (a launcher ending as its
// window is queried): such an error only means the window is gone, and must
// not end the test program as Xlib's default handler would.
int ignore_x_error(Display*, XErrorEvent*) {
  return 0;
}

std::vector<unsigned long> property(Display* d, Window w, const char* name, Atom type) {
  Atom actual;
  int format;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> out;
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 20, False, type, &actual,
                         &format, &count, &after, &data) == Success &&
      data) {
    if (format == 32) {
      const auto* longs = reinterpret_cast<const unsigned long*>(data);
      out.assign(longs, longs + count);
    }
    XFree(data);
  }
  return out;
}

// openbox claims the screen before it has finished starting, and a map request
// that comes in meanwhile can lie unread in its queue until another event wakes
// it: a program started then waits for ever for its window to show. A desktop's
// window manager is long settled when programs start; ours is once it has
// managed a window of our own, woken by a property changed on the root.
bool window_manager_settled(Display* d) {
  const Window root = DefaultRootWindow(d);
  const Window probe = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
  XMapWindow(d, probe);
  const Atom nudge = XInternAtom(d, "_QUARVEL_NUDGE", False);
  const long any = 0;
  const bool managed = wait_until(
      [&] {
        XChangeProperty(d, root, nudge, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&any), 1);
        return !property(d, probe, "WM_STATE", XInternAtom(d, "WM_STATE", False)).empty();
      },
      10s);
  XDestroyWindow(d, probe);
  XDeleteProperty(d, root, nudge);
  return managed &&
         wait_until([&] { return property(d, root, "_NET_CLIENT_LIST", XA_WINDOW).empty(); }, 10s);
}

}  // namespace

fs::path make_temp_folder(const std::string& prefix) {
  std::string templ = (fs::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  return templ;
}

XServer::XServer(int width, int height) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  const std::string fd = std::to_string(fds[1]);
  pid_ = spawn({"Xvfb", "-displayfd", fd, "-screen", "0",
                std::to_string(width) + "x" + std::to_string(height) + "x24", "-noreset",
                "-nolisten", "tcp"},
               environment_with({}), {.close_other_fds = false});
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
  close(fds[0]);
  if (pid_ < 0 || number.empty()) throw std::runtime_error("Xvfb did not start");
  display_ = ":" + number;
  XSetErrorHandler(ignore_x_error);
  dpy_ = XOpenDisplay(display_.c_str());
  if (!dpy_) throw std::runtime_error("cannot open " + display_);
  pointer_ = std::make_unique<testing::Pointer>(display_);
}

// A segment as large as the screen, shared with the server: a look at the
// screen is then one copy in the server, not a megabyte through the socket,
// and costs the program under test little even on a busy machine.
struct XServer::SharedLook {
  XShmSegmentInfo segment{};
  bool attached = false;

  explicit SharedLook(Display* d) {
    const auto bytes = static_cast<std::size_t>(DisplayWidth(d, DefaultScreen(d))) *
                       DisplayHeight(d, DefaultScreen(d)) * 4;
    if (!XShmQueryExtension(d)) return;
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) return;
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    shmctl(segment.shmid, IPC_RMID, nullptr);  // gone once both sides let go
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) return;
    segment.readOnly = False;
    attached = XShmAttach(d, &segment) != 0;
    XSync(d, False);
  }
  void detach(Display* d) {
    if (attached) XShmDetach(d, &segment);
    if (segment.shmaddr && segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
  }

  // The area's pixels through the segment; null where sharing does not work.
  XImage* take(Display* d, const Rect& area) {
    if (!attached) return nullptr;
    XImage* img = XShmCreateImage(d, DefaultVisual(d, DefaultScreen(d)),
                                  static_cast<unsigned>(DefaultDepth(d, DefaultScreen(d))), ZPixmap,
                                  segment.shmaddr, &segment, static_cast<unsigned>(area.width),
                                  static_cast<unsigned>(area.height));
    if (img && XShmGetImage(d, DefaultRootWindow(d), img, area.left, area.top, AllPlanes))
      return img;
    if (img) XDestroyImage(img);  // the image alone: the segment stays
    attached = false;             // the server refused to share: look through the socket
    return nullptr;
  }
};

XServer::~XServer() {
  if (look_) look_->detach(as_display(dpy_));
  look_.reset();
  pointer_.reset();
  if (dpy_) XCloseDisplay(as_display(dpy_));
  stop(pid_);
}

void XServer::xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  run(argv, {"DISPLAY=" + display_});
}

void XServer::key(const std::string& keys) const {
  xdotool({"key", keys});
}

std::vector<std::uint32_t> XServer::grab(const Rect& area) const {
  Display* d = as_display(dpy_);
  if (!look_) look_ = std::make_unique<SharedLook>(d);
  XImage* img = look_->take(d, area);
  if (!img) {
    img = XGetImage(d, DefaultRootWindow(d), area.left, area.top, static_cast<unsigned>(area.width),
                    static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  }
  std::vector<std::uint32_t> out;
  if (!img) return out;
  out.reserve(static_cast<std::size_t>(area.width) * area.height);
  // A 32-bit image in this machine's byte order is read as it lies: a look at
  // the screen must cost little beside the program under test.
  const bool as_is = img->bits_per_pixel == 32 && img->byte_order == LSBFirst &&
                     std::endian::native == std::endian::little;
  for (int y = 0; y < area.height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(img->data + y * img->bytes_per_line);
    for (int x = 0; x < area.width; ++x) {
      out.push_back(as_is ? row[x] & 0xFFFFFF
                          : static_cast<std::uint32_t>(XGetPixel(img, x, y) & 0xFFFFFF));
    }
  }
  XDestroyImage(img);
  return out;
}

bool XServer::screen_saver_comes_on() const {
  Display* d = as_display(dpy_);
  XSetScreenSaver(d, 1, 0, PreferBlanking, AllowExposures);
  XForceScreenSaver(d, ScreenSaverReset);
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  const auto saving = [&] { return XScreenSaverQueryInfo(d, DefaultRootWindow(d), info) != 0; };
  const bool on = wait_until([&] { return saving() && info->state == ScreenSaverOn; }, 3s);
  XFree(info);
  XSetScreenSaver(d, -1, -1, DefaultBlanking, DefaultExposures);
  XForceScreenSaver(d, ScreenSaverReset);
  XSync(d, False);
  return on;
}

void XServer::set_resources(const std::string& resources) const {
  Display* d = as_display(dpy_);
  XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(d, False);
}

void XServer::save_png(const Rect& area, const fs::path& file) const {
  const auto pixels = grab(area);
  const fs::path ppm = fs::path(file).replace_extension(".ppm");
  {
    std::ofstream out(ppm, std::ios::binary);
    out << "P6\n" << area.width << ' ' << area.height << "\n255\n";
    for (std::uint32_t p : pixels) {
      const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8),
                           static_cast<char>(p)};
      out.write(rgb, 3);
    }
  }
  run({"convert", ppm.string(), file.string()});
  fs::remove(ppm);
}

Desktop::Desktop(int width, int height) : XServer(width, height) {
  wm_ = spawn({"openbox", "--sm-disable"}, environment_with({"DISPLAY=" + display()}));
  Display* d = as_display(connection());
  const bool wm_up = wait_until(
      [&] {
        return !property(d, DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
      },
      10s);
  if (!wm_up) throw std::runtime_error("openbox did not start");
  if (!window_manager_settled(d)) throw std::runtime_error("openbox manages no window");
  // The pointer starts in the middle of the screen, where the window will be.
  pointer().move(5, 5);
}

Desktop::~Desktop() {
  stop(wm_);
}

fs::path built_program() {
  return QUARVEL_PROGRAM;
}

Launcher::Launcher(fs::path folder, std::string display)
    : TopWindow(std::move(display)), folder_(std::move(folder)) {
  fs::create_directories(folder_);
  fs::copy_file(built_program(), program(), fs::copy_options::overwrite_existing);
}

Launcher::~Launcher() {
  stop(pid_);
}

void Launcher::start(const std::vector<std::string>& env, const fs::path& output) {
  pid_ = spawn({program().string()}, environment_with(env), {.cwd = folder_, .output = output});
  if (pid_ < 0) throw std::runtime_error("cannot start " + program().string());
}

bool Launcher::wait_for_window(std::chrono::milliseconds timeout) {
  return wait_for_window_of([this](pid_t owner) { return owner == pid_; }, timeout);
}

TopWindow::~TopWindow() {
  if (dpy_) XCloseDisplay(as_display(dpy_));
}

void* TopWindow::display() const {
  if (!dpy_) dpy_ = XOpenDisplay(display_name_.empty() ? nullptr : display_name_.c_str());
  if (!dpy_) throw std::runtime_error("no display");
  return dpy_;
}

bool TopWindow::wait_for_window_of(const std::function<bool(pid_t)>& owned,
                                   std::chrono::milliseconds timeout) {
  Display* d = as_display(display());
  return wait_until(
      [&] {
        for (unsigned long w : client_windows()) {
          const auto pid = property(d, w, "_NET_WM_PID", XA_CARDINAL);
          XWindowAttributes a;
          if (!pid.empty() && owned(static_cast<pid_t>(pid[0])) && XGetWindowAttributes(d, w, &a) &&
              a.map_state == IsViewable) {
            window_ = w;
            owner_ = static_cast<pid_t>(pid[0]);
            return true;
          }
        }
        return false;
      },
      timeout);
}

std::vector<unsigned long> TopWindow::client_windows() const {
  Display* d = as_display(display());
  return property(d, DefaultRootWindow(d), "_NET_CLIENT_LIST", XA_WINDOW);
}

bool TopWindow::window_exists() const {
  const auto list = client_windows();
  return window_ != 0 && std::find(list.begin(), list.end(), window_) != list.end();
}

Rect TopWindow::geometry() const {
  Display* d = as_display(display());
  XWindowAttributes a;
  int x = 0, y = 0;
  Window child;
  if (!window_ || !XGetWindowAttributes(d, window_, &a)) return {};
  XTranslateCoordinates(d, window_, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return {x, y, a.width, a.height};
}

std::string TopWindow::name() const {
  Display* d = as_display(display());
  Atom actual;
  int format;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(d, window_, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &actual, &format, &count, &after,
                         &data) == Success &&
      data) {
    out.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return out;
}

std::vector<TopWindow::Icon> TopWindow::icons() const {
  const auto data = property(as_display(display()), window_, "_NET_WM_ICON", XA_CARDINAL);
  std::vector<Icon> out;
  for (std::size_t i = 0; i + 2 <= data.size();) {
    Icon icon{static_cast<int>(data[i]), static_cast<int>(data[i + 1]), {}};
    const std::size_t n = static_cast<std::size_t>(icon.width) * icon.height;
    i += 2;
    if (data.size() - i < n) break;
    for (std::size_t k = 0; k < n; ++k)
      icon.argb.push_back(static_cast<std::uint32_t>(data[i + k]));
    i += n;
    out.push_back(std::move(icon));
  }
  return out;
}

std::vector<long> TopWindow::frame_extents() const {
  const auto data = property(as_display(display()), window_, "_NET_FRAME_EXTENTS", XA_CARDINAL);
  return std::vector<long>(data.begin(), data.end());
}

bool TopWindow::iconified() const {
  Display* d = as_display(display());
  const auto state = property(d, window_, "WM_STATE", XInternAtom(d, "WM_STATE", False));
  return !state.empty() && state[0] == IconicState;
}

void TopWindow::close_by_window_manager() const {
  run({"wmctrl", "-i", "-c", std::to_string(window_)});
}

bool TopWindow::resize_from_outside(int width, int height) const {
  Display* d = as_display(display());
  XSizeHints none{};
  XSetWMNormalHints(d, window_, &none);
  XResizeWindow(d, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(d);
  return wait_until([&] { return geometry().width == width && geometry().height == height; }, 3s);
}

void TopWindow::activate() const {
  run({"wmctrl", "-i", "-a", std::to_string(window_)});
  // wmctrl only asks; keys sent before the window manager has done it would go
  // to whichever window had the focus before.
  Display* d = as_display(display());
  wait_until(
      [&] {
        const auto active = property(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        return !active.empty() && active[0] == window_ && !iconified();
      },
      2s);
}

}  // namespace quarvel::e2e
