#include "desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

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

}  // namespace

bool wait_until(const std::function<bool()>& ok, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (ok()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
}

std::vector<std::string> environment_with(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& x : changes) {
    const bool remove = x.starts_with('-');
    const std::string key = remove ? x.substr(1) + "=" : x.substr(0, x.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(key); });
    if (!remove) env.push_back(x);
  }
  return env;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const SpawnOptions& how) {
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!how.cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, how.cwd.c_str());
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  if (!how.output.empty()) {
    posix_spawn_file_actions_addopen(&fa, 1, how.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
  }
  if (how.close_other_fds) posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  pid_t pid = -1;
  const std::string& file = argv.front();
  const int rc = file.find('/') == std::string::npos
                     ? posix_spawnp(&pid, file.c_str(), &fa, nullptr, args.data(), envp.data())
                     : posix_spawn(&pid, file.c_str(), &fa, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : -1;
}

void stop(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto until = std::chrono::steady_clock::now() + grace;
  for (;;) {
    if (waitpid(pid, nullptr, WNOHANG) != 0) return;
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::optional<int> wait_exit(pid_t& pid, std::chrono::milliseconds timeout) {
  std::optional<int> status;
  wait_until(
      [&] {
        int s = 0;
        if (pid > 0 && waitpid(pid, &s, WNOHANG) == pid) {
          status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
          pid = -1;
        }
        return status.has_value();
      },
      timeout);
  return status;
}

int run(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
  const pid_t pid = spawn(argv, environment_with(extra_env));
  if (pid < 0) return -1;
  // A helper program that hangs must not hang the test: it gets 10 s.
  int status = 0;
  const bool ended = wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10s);
  if (!ended) {
    stop(pid);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

XServer::~XServer() {
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
  XImage* img =
      XGetImage(d, DefaultRootWindow(d), area.left, area.top, static_cast<unsigned>(area.width),
                static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  std::vector<std::uint32_t> out;
  if (!img) return out;
  out.reserve(static_cast<std::size_t>(area.width) * area.height);
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      out.push_back(static_cast<std::uint32_t>(XGetPixel(img, x, y) & 0xFFFFFF));
    }
  }
  XDestroyImage(img);
  return out;
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

Desktop::Desktop() : XServer(kWidth, kHeight) {
  setenv("DISPLAY", display().c_str(), 1);
  wm_ = spawn({"openbox", "--sm-disable"}, environment_with({}));
  Display* d = as_display(connection());
  const bool wm_up = wait_until(
      [&] {
        return !property(d, DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
      },
      10s);
  if (!wm_up) throw std::runtime_error("openbox did not start");
  // The pointer starts in the middle of the screen, where the window will be.
  pointer().move(5, 5);
}

Desktop::~Desktop() {
  stop(wm_);
}

fs::path built_program() {
  return QUARVEL_PROGRAM;
}

Launcher::Launcher(fs::path folder) : folder_(std::move(folder)) {
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
  if (!dpy_) dpy_ = XOpenDisplay(nullptr);
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

void TopWindow::activate() const {
  run({"wmctrl", "-i", "-a", std::to_string(window_)});
}

}  // namespace quarvel::e2e
