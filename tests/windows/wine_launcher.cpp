#include "wine_launcher.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "desktop.h"

extern char** environ;

namespace quarvel::wine_e2e {

namespace {

Display* as_display(void* p) {
  return static_cast<Display*>(p);
}

using e2e::wait_until;

// Starts `args` under tests/windows/wine-run.sh in `cwd`, stdin from /dev/null
// and stdout and stderr to `log` (or /dev/null).
pid_t spawn_wine(const std::vector<std::string>& args, const std::vector<std::string>& extra_env,
                 const fs::path& cwd, const fs::path& log) {
  std::vector<std::string> argv{QUARVEL_WINE_RUN};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& x : extra_env) {
    const std::string key = x.substr(0, x.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(key); });
    env.push_back(x);
  }
  std::vector<char*> argp, envp;
  for (auto& a : argv) argp.push_back(a.data());
  argp.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = log.empty() ? std::string("/dev/null") : log.string();
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argp[0], &fa, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : -1;
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

fs::path windows_program() {
  return QUARVEL_WINDOWS_PROGRAM;
}
fs::path stub_game() {
  return QUARVEL_STUB_GAME;
}
fs::path doc_recorder() {
  return QUARVEL_DOC_RECORDER;
}

int run_under_wine(const std::vector<std::string>& args) {
  const pid_t pid = spawn_wine(args, {}, {}, {});
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string dos_path(const fs::path& unix_path) {
  std::string out = "Z:" + fs::absolute(unix_path).lexically_normal().string();
  for (char& c : out) c = c == '/' ? '\\' : c;
  return out;
}

std::vector<std::string> read_lines(const fs::path& file, std::size_t lines,
                                    std::chrono::milliseconds timeout) {
  std::vector<std::string> out;
  wait_until(
      [&] {
        out.clear();
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out.size() >= lines;
      },
      timeout);
  return out;
}

// section: WineLauncher

WineLauncher::WineLauncher(fs::path folder) : folder_(std::move(folder)) {
  const fs::path docs = folder_ / "GameData" / "voskbase" / "documentation";
  fs::create_directories(docs);
  fs::copy_file(windows_program(), folder_ / "Quarvel.exe");
  fs::copy_file(stub_game(), folder_ / "GameData" / "vivu.exe");
  std::ofstream(docs / "manual.doc") << "The player's manual\n";
  dpy_ = XOpenDisplay(nullptr);
  if (!dpy_) throw std::runtime_error("no display");
}

WineLauncher::~WineLauncher() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (dpy_) XCloseDisplay(as_display(dpy_));
}

void WineLauncher::start(const std::vector<std::string>& env, const fs::path& log,
                         const std::string& program) {
  pid_ = spawn_wine({program}, env, folder_, log);
  if (pid_ < 0) throw std::runtime_error("cannot start Quarvel.exe under Wine");
}

// Wine marks its windows with the pid of the Unix process that runs the program.
bool WineLauncher::wait_for_window(std::chrono::milliseconds timeout) {
  Display* d = as_display(dpy_);
  return wait_until(
      [&] {
        for (unsigned long w : property(d, DefaultRootWindow(d), "_NET_CLIENT_LIST", XA_WINDOW)) {
          const auto pid = property(d, w, "_NET_WM_PID", XA_CARDINAL);
          XWindowAttributes a;
          if (!pid.empty() && static_cast<pid_t>(pid[0]) == pid_ &&
              XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) {
            window_ = w;
            return true;
          }
        }
        return false;
      },
      timeout);
}

std::optional<int> WineLauncher::wait_exit(std::chrono::milliseconds timeout) {
  std::optional<int> status;
  wait_until(
      [&] {
        int s = 0;
        if (pid_ > 0 && waitpid(pid_, &s, WNOHANG) == pid_) {
          status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
          pid_ = -1;
        }
        return status.has_value();
      },
      timeout);
  return status;
}

bool WineLauncher::running() {
  return pid_ > 0 && !wait_exit(0ms).has_value();
}

Rect WineLauncher::geometry() const {
  Display* d = as_display(dpy_);
  XWindowAttributes a;
  int x = 0, y = 0;
  Window child;
  if (!XGetWindowAttributes(d, window_, &a)) return {};
  XTranslateCoordinates(d, window_, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return {x, y, a.width, a.height};
}

std::string WineLauncher::name() const {
  Display* d = as_display(dpy_);
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

std::vector<WineLauncher::Icon> WineLauncher::icons() const {
  const auto data = property(as_display(dpy_), window_, "_NET_WM_ICON", XA_CARDINAL);
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

std::vector<long> WineLauncher::frame_extents() const {
  const auto data = property(as_display(dpy_), window_, "_NET_FRAME_EXTENTS", XA_CARDINAL);
  return std::vector<long>(data.begin(), data.end());
}

bool WineLauncher::iconified() const {
  Display* d = as_display(dpy_);
  const auto state = property(d, window_, "WM_STATE", XInternAtom(d, "WM_STATE", False));
  return !state.empty() && state[0] == IconicState;
}

void WineLauncher::activate() const {
  e2e::run({"wmctrl", "-i", "-a", std::to_string(window_)});
}

void WineLauncher::close_by_window_manager() const {
  e2e::run({"wmctrl", "-i", "-c", std::to_string(window_)});
}

}  // namespace quarvel::wine_e2e
