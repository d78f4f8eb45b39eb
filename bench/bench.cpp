// Times the real launcher on the X server in $DISPLAY, with the sound server
// in the environment, and checks the results against their budgets.
//
//   quarvel_bench PROGRAM BARE_PROGRAM [RUNS]
//
// Every time is read off the screen: the driver polls the window's pixels
// (through shared memory) until they are exactly the expected picture.
//   first frame: process start to the first complete, correct window, for
//                the launcher and for a bare SDL program, started alternately
//   hover:       a pointer move onto a control to its hover picture
//   press:       the button's release (the click) to its pressed picture
//   peak RSS:    VmHWM at the end of a run
//   idle CPU:    CPU time of all threads over 10 s, after the open cue ended
//   size:        the program file stripped
//   soak:        one launcher driven at full speed for minutes (500 help commands,
//                each with 20 hover and darken cycles while it is pending): its
//                resident memory growth after a warm-up, its descriptors, its
//                zombie children, and a manual opened for every help command
// On a scaled desktop (scripts/desktop.sh with QUARVEL_SCREEN and QUARVEL_DPI)
// the window is expected at the launcher's scale, the bare window as large.
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop_scale.h"
#include "app/elements.h"
#include "app/window_model.h"
#include "assets/pictures.h"
#include "tests/support/controls.h"
#include "tests/support/files.h"
#include "tests/support/pointer.h"
#include "tests/support/proc.h"
#include "tests/support/process.h"
#include "tools/cuegen/cue_tones.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using quarvel::Element;
using quarvel::Rect;
using quarvel::WindowModel;
using quarvel::testing::read_file;
using quarvel::testing::status_field;
using quarvel::testing::stop;
using quarvel::testing::thread_cpu_ns;

constexpr int kWidth = quarvel::kClientWidth;
constexpr int kHeight = quarvel::kClientHeight;
constexpr std::uint32_t kBareColour = 0x3366AA;

double ms_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Polling the screen through shared memory costs the X server a copy per
// look, little enough to look every 50 us.
class ScreenReader {
 public:
  ScreenReader() {
    dpy_ = XOpenDisplay(nullptr);
    if (!dpy_) throw std::runtime_error("no X display");
    if (!XShmQueryExtension(dpy_)) throw std::runtime_error("no MIT-SHM on the X server");
    root_ = DefaultRootWindow(dpy_);
    screen_w_ = DisplayWidth(dpy_, DefaultScreen(dpy_));
    screen_h_ = DisplayHeight(dpy_, DefaultScreen(dpy_));
    scale_ = quarvel::window_scale(xft_dpi(), screen_w_, screen_h_);
  }
  ~ScreenReader() {
    for (auto& [size, img] : images_) {
      XShmDetach(dpy_, &img->info);
      XDestroyImage(img->image);
      shmdt(img->info.shmaddr);
    }
    XCloseDisplay(dpy_);
  }

  int scale() const { return scale_; }
  // Where a centred window of the client size, at the desktop's scale, sits.
  Rect window_area() const {
    return {(screen_w_ - kWidth * scale_) / 2, (screen_h_ - kHeight * scale_) / 2, kWidth * scale_,
            kHeight * scale_};
  }

  // True if `area` of the screen holds exactly `want` (0x00RRGGBB, row-major).
  bool shows(const Rect& area, const std::vector<std::uint32_t>& want) {
    Shm& s = image_for(area.width, area.height);
    if (!XShmGetImage(dpy_, root_, s.image, area.left, area.top, AllPlanes)) return false;
    for (int y = 0; y < area.height; ++y) {
      const auto* row =
          reinterpret_cast<const std::uint32_t*>(s.image->data + y * s.image->bytes_per_line);
      const std::uint32_t* expect = want.data() + static_cast<std::size_t>(y) * area.width;
      for (int x = 0; x < area.width; ++x) {
        if ((row[x] & 0xFFFFFF) != expect[x]) return false;
      }
    }
    return true;
  }

  // Polls until `area` shows `want`; the milliseconds since `t0`, or nullopt.
  std::optional<double> wait_for(const Rect& area, const std::vector<std::uint32_t>& want,
                                 Clock::time_point t0, std::chrono::microseconds pause,
                                 std::chrono::milliseconds timeout = 5s) {
    for (;;) {
      if (shows(area, want)) return ms_since(t0);
      if (Clock::now() - t0 > timeout) return std::nullopt;
      std::this_thread::sleep_for(pause);
    }
  }

 private:
  struct Shm {
    XImage* image = nullptr;
    XShmSegmentInfo info{};
  };
  // One shared image per size; XShmGetImage finds its segment through the
  // image, so the segment description must stay where it was created.
  Shm& image_for(int w, int h) {
    auto& slot = images_[std::make_pair(w, h)];
    if (slot) return *slot;
    slot = std::make_unique<Shm>();
    Shm& s = *slot;
    s.image = XShmCreateImage(dpy_, DefaultVisual(dpy_, DefaultScreen(dpy_)),
                              DefaultDepth(dpy_, DefaultScreen(dpy_)), ZPixmap, nullptr, &s.info,
                              static_cast<unsigned>(w), static_cast<unsigned>(h));
    s.info.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(s.image->bytes_per_line) * h,
                          IPC_CREAT | 0600);
    s.info.shmaddr = s.image->data = static_cast<char*>(shmat(s.info.shmid, nullptr, 0));
    s.info.readOnly = False;
    XShmAttach(dpy_, &s.info);
    XSync(dpy_, False);
    shmctl(s.info.shmid, IPC_RMID, nullptr);  // gone once both sides let go
    return s;
  }

  // The Xft.dpi resource, the scale scripts/desktop.sh sets.
  std::optional<double> xft_dpi() const {
    const char* resources = XResourceManagerString(dpy_);
    if (!resources) return std::nullopt;
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value{};
    std::optional<double> dpi;
    if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
      dpi = std::atof(value.addr);
    if (db) XrmDestroyDatabase(db);
    return dpi;
  }

  Display* dpy_ = nullptr;
  Window root_ = 0;
  int screen_w_ = 0, screen_h_ = 0, scale_ = 1;
  std::map<std::pair<int, int>, std::unique_ptr<Shm>> images_;
};

// Starts a program in `cwd` with our environment (and `changes` to it), its
// output thrown away.
pid_t start(const std::vector<std::string>& argv, const fs::path& cwd,
            const std::vector<std::string>& changes = {}) {
  return quarvel::testing::spawn(argv, quarvel::testing::environment_with(changes),
                                 {.cwd = cwd, .output = "/dev/null"});
}

double cpu_ms_over(pid_t pid, std::chrono::milliseconds span, int& threads_changed) {
  const auto first = thread_cpu_ns(pid);
  auto last = first;
  const auto end_at = Clock::now() + span;
  while (Clock::now() < end_at) {
    std::this_thread::sleep_for(std::min<Clock::duration>(100ms, end_at - Clock::now()));
    for (const auto& [tid, ns] : thread_cpu_ns(pid)) last[tid] = ns;
  }
  std::int64_t total = 0;
  for (const auto& [tid, ns] : last) {
    const auto was = first.find(tid);
    total += ns - (was == first.end() ? 0 : was->second);
  }
  threads_changed += last.size() != first.size();
  return static_cast<double>(total) / 1e6;
}

// User and system time of the whole process (ended threads included), in ms.
double process_cpu_ms(pid_t pid) {
  const std::string s = read_file("/proc/" + std::to_string(pid) + "/stat");
  const auto close = s.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(s.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return (utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Series {
  std::vector<double> v;
  void add(double x) { v.push_back(x); }
  double at(double q) const {
    auto s = v;
    std::sort(s.begin(), s.end());
    if (s.empty()) return 0;
    const double pos = q * static_cast<double>(s.size() - 1);
    const auto lo = static_cast<std::size_t>(pos);
    const auto hi = std::min(lo + 1, s.size() - 1);
    return s[lo] + (s[hi] - s[lo]) * (pos - static_cast<double>(lo));
  }
  double median() const { return at(0.5); }
};

struct Row {
  std::string what;
  Series s;
  std::string unit;
  std::string budget;                 // empty: no budget of its own
  std::function<bool(double)> meets;  // judged on the median
};

// Every row of the report, in its order, with its budget.
struct Results {
  Row first{"first correct frame, Quarvel", {}, "ms", "<= 60 ms", [](double m) { return m <= 60; }};
  Row first_bare{"first correct frame, bare SDL window", {}, "ms", "", {}};
  Row ratio{
      "first frame / bare SDL (pairwise)", {}, "x", "<= 1.3", [](double m) { return m <= 1.3; }};
  Row hover{"pointer move to hover picture", {}, "ms", "<= 5 ms", [](double m) { return m <= 5; }};
  Row press{"click to pressed picture", {}, "ms", "<= 5 ms", [](double m) { return m <= 5; }};
  Row rss{"peak resident memory", {}, "MiB", "< 24 MiB", [](double m) { return m < 24; }};
  Row idle{"CPU while idle for 10 s", {}, "ms", "< 10 ms", [](double m) { return m < 10; }};
  Row idle_ticks{"  the same from /proc/PID/stat (10 ms ticks)", {}, "ms", "", {}};
  Row size{"program file, stripped", {}, "MiB", "< 1.2 MiB", [](double m) { return m < 1.2; }};
  Row unstripped{"program file as built", {}, "MiB", "", {}};
  Row soak_growth{
      "soak: resident memory growth", {}, "KiB", "< 512 KiB", [](double m) { return m < 512; }};
  Row soak_fds{"soak: descriptors left open", {}, "", "none", [](double m) { return m == 0; }};
  Row soak_zombies{"soak: zombie children", {}, "", "none", [](double m) { return m == 0; }};
  Row soak_missed{
      "soak: help commands without a manual", {}, "", "none", [](double m) { return m == 0; }};
  Row soak_time{"soak: its duration", {}, "s", "", {}};
  int idle_thread_changes = 0;  // idle windows in which threads came or went

  std::vector<const Row*> rows() const {
    return {&first,       &first_bare, &ratio,        &hover,       &press,
            &rss,         &idle,       &idle_ticks,   &size,        &unstripped,
            &soak_growth, &soak_fds,   &soak_zombies, &soak_missed, &soak_time};
  }
};

// What the benchmark runs and what it expects to see: the launcher in a
// folder of its own with the demo's five cues, the bare program, the screen
// and the pointer, and the window's pictures.
struct Bench {
  Bench(const fs::path& program_file, const fs::path& bare_program)
      : program(fs::absolute(program_file)), bare(fs::absolute(bare_program)) {
    char templ[] = "/tmp/quarvel-bench-XXXXXX";
    if (!mkdtemp(templ)) throw std::runtime_error("cannot make a folder in /tmp");
    folder = templ;
    fs::copy_file(program, folder / "Quarvel");
    for (const quarvel::cuegen::CueTone& cue : quarvel::cuegen::kCueTones) {
      quarvel::testing::write_file(folder / "Install" / cue.file,
                                   quarvel::cuegen::wav_image(quarvel::cuegen::synthesise(cue.file),
                                                              quarvel::cuegen::kCueRate));
    }
    quarvel::testing::write_file(folder / "GameData/voskbase/documentation/manual.doc",
                                 "{\\rtf1 manual}");
    fs::create_directories(folder / "bin");
    fs::create_directories(folder / "opened");
    fs::copy_file(QUARVEL_BENCH_RECORDER, folder / "bin/xdg-open");
  }
  ~Bench() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  // The screen pixels of `area` (the pictures' coordinates) that `m` draws, at the scale.
  std::vector<std::uint32_t> frame_of(const WindowModel& m,
                                      const Rect& area = {0, 0, kWidth, kHeight}) const {
    std::vector<std::uint32_t> whole(static_cast<std::size_t>(kWidth) * kHeight);
    m.draw(pictures, Rect{0, 0, kWidth, kHeight},
           quarvel::FrameView{whole.data(), kWidth, kHeight, kWidth});
    std::vector<std::uint32_t> out;
    for (int y = area.top * k; y < area.bottom() * k; ++y) {
      for (int x = area.left * k; x < area.right() * k; ++x) {
        out.push_back(whole[static_cast<std::size_t>(y / k) * kWidth + x / k]);
      }
    }
    return out;
  }
  Rect on_screen(const Rect& r) const {
    return {win.left + r.left * k, win.top + r.top * k, r.width * k, r.height * k};
  }
  void point_at(quarvel::testing::At at) const {
    pointer.move(win.left + at.x * k, win.top + at.y * k);
  }
  // Back on the background, once the window shows its first picture again.
  void rest() {
    point_at(quarvel::testing::kOnBackground);
    screen.wait_for(win, initial, Clock::now(), 200us);
  }

  fs::path program, bare, folder;
  ScreenReader screen;
  quarvel::testing::Pointer pointer;
  int k = screen.scale();
  Rect win = screen.window_area();
  quarvel::assets::Pictures pictures = quarvel::assets::Pictures::decode_all();
  std::vector<std::uint32_t> initial = frame_of(WindowModel{});
  std::vector<std::uint32_t> bare_frame =
      std::vector<std::uint32_t>(static_cast<std::size_t>(win.width) * win.height, kBareColour);
};

struct Started {
  pid_t pid = -1;  // -1: a window never showed its picture
  Clock::time_point at;
};

// The bare program, then the launcher, each from process start; the launcher
// is left running.
Started measure_first_frames(Bench& b, Results& r) {
  const auto bare_t0 = Clock::now();
  const pid_t bare =
      start({b.bare.string(), std::to_string(b.win.width), std::to_string(b.win.height)}, b.folder);
  const auto bare_ms = b.screen.wait_for(b.win, b.bare_frame, bare_t0, 200us);
  stop(bare, 5s);
  std::this_thread::sleep_for(300ms);

  const auto t0 = Clock::now();
  const pid_t pid = start({(b.folder / "Quarvel").string()}, b.folder);
  const auto first_ms = b.screen.wait_for(b.win, b.initial, t0, 200us);
  if (!bare_ms || !first_ms) {
    stop(pid, 5s);
    return {};
  }
  r.first.s.add(*first_ms);
  r.first_bare.s.add(*bare_ms);
  r.ratio.s.add(*first_ms / *bare_ms);
  return {pid, t0};
}

// From after the open cue has played out and the launcher's threads have
// settled (the sound device let go), for 10 s.
void measure_idle(pid_t pid, Clock::time_point started, Results& r) {
  const std::chrono::duration<double> open_cue(quarvel::cuegen::kCueTones[0].seconds);
  std::this_thread::sleep_until(started + open_cue + 500ms);
  for (int steady = 0, last = -1, polls = 0; steady < 10 && polls < 100; ++polls) {
    const int threads = static_cast<int>(thread_cpu_ns(pid).size());
    steady = threads == last ? steady + 1 : 0;
    last = threads;
    std::this_thread::sleep_for(50ms);
  }
  const double ticks0 = process_cpu_ms(pid);
  r.idle.s.add(cpu_ms_over(pid, 10s, r.idle_thread_changes));
  r.idle_ticks.s.add(process_cpu_ms(pid) - ticks0);
}

// Onto each control from the background.
void measure_hovers(Bench& b, Results& r) {
  for (const quarvel::testing::Hover& h : quarvel::testing::kHovers) {
    b.rest();
    std::this_thread::sleep_for(150ms);  // the last hover cue is over
    const auto want = b.frame_of(quarvel::testing::lit_window(h.normal), h.rect());
    const auto t0 = Clock::now();
    b.point_at(h.at());
    if (const auto ms = b.screen.wait_for(b.on_screen(h.rect()), want, t0, 50us))
      r.hover.s.add(*ms);
  }
}

// A click on the lit help button.
void measure_press(Bench& b, Results& r) {
  b.rest();
  b.point_at(quarvel::testing::kOnHelp);
  std::this_thread::sleep_for(150ms);
  WindowModel pressed;
  pressed.set_visible(Element::help, false);
  pressed.set_visible(Element::help_press, true);
  const Rect help = quarvel::layout::kHelpButton;
  const auto want = b.frame_of(pressed, help);
  const auto t0 = Clock::now();
  b.pointer.press();
  b.pointer.release();
  if (const auto ms = b.screen.wait_for(b.on_screen(help), want, t0, 50us)) r.press.s.add(*ms);
  std::this_thread::sleep_for(700ms);  // the help command's tick
}

// One run: both first frames, idle, hovers and a press of one launcher, and
// its peak memory. False when a window never showed its picture.
bool measure_run(Bench& b, Results& r, int run) {
  b.pointer.move(5, 5);  // off the window
  std::this_thread::sleep_for(300ms);
  const auto [pid, started] = measure_first_frames(b, r);
  if (pid < 0) {
    std::fprintf(stderr, "run %d: a window never showed its picture\n", run);
    return false;
  }
  measure_idle(pid, started, r);
  measure_hovers(b, r);
  measure_press(b, r);
  r.rss.s.add(static_cast<double>(status_field(pid, "VmHWM:")) / 1024.0);
  stop(pid, 5s);
  std::printf("  run %2d: first frame %.1f ms (bare %.1f), idle CPU %.2f ms\n", run + 1,
              r.first.s.v.back(), r.first_bare.s.v.back(), r.idle.s.v.back());
  std::fflush(stdout);
  return true;
}

// The soak's figures of one process: resident memory (KiB) and descriptors.
struct Footprint {
  long rss_kib = -1;
  long fds = -1;
};
Footprint footprint_of(pid_t pid) {
  std::error_code ec;
  const auto fds = std::distance(fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec),
                                 fs::directory_iterator());
  return {status_field(pid, "VmRSS:"), ec ? -1 : static_cast<long>(fds)};
}

// The launcher at full speed for minutes: help commands, each with hover and
// darken cycles over the other controls while it is pending, the pointer's
// moves sent without waiting.
class Soak {
 public:
  static constexpr int kCommands = 500;
  static constexpr int kCyclesPerCommand = 20;  // 10,000 hover and darken cycles in all
  static constexpr int kWarmUpCommands = 10;

  explicit Soak(Bench& b) : b_(b) {
    WindowModel pressed;
    pressed.set_visible(Element::help, false);
    pressed.set_visible(Element::help_press, true);
    pressed_help_ = b.frame_of(pressed, quarvel::layout::kHelpButton);
  }

  void run(Results& r) {
    b_.pointer.move(5, 5);
    const char* path = std::getenv("PATH");
    const pid_t pid =
        start({(b_.folder / "Quarvel").string()}, b_.folder,
              {"QUARVEL_PROOF_RECORDS=" + (b_.folder / "opened").string(),
               "PATH=" + (b_.folder / "bin").string() + ":" + (path ? path : "/usr/bin:/bin")});
    if (!b_.screen.wait_for(b_.win, b_.initial, Clock::now(), 1ms)) {
      std::fprintf(stderr, "soak: the window never showed its picture\n");
      stop(pid, 5s);
      return;
    }
    settle(pid);
    const Footprint at_start = footprint_of(pid);
    int done = 0;
    for (; done < kWarmUpCommands && help_command(); ++done) {
    }
    settle(pid);
    const Footprint warm = footprint_of(pid);
    const auto t0 = Clock::now();
    for (; done < kWarmUpCommands + kCommands && help_command(); ++done) {
    }
    r.soak_time.s.add(ms_since(t0) / 1000);
    settle(pid);
    const Footprint end = footprint_of(pid);
    // A descriptor or a child of the last command may take a moment to go.
    quarvel::testing::wait_until([&] { return footprint_of(pid).fds <= at_start.fds; }, 5s);
    quarvel::testing::wait_until([&] { return zombies_of(pid) == 0; }, 3s);
    r.soak_growth.s.add(static_cast<double>(end.rss_kib - warm.rss_kib));
    r.soak_fds.s.add(static_cast<double>(footprint_of(pid).fds - at_start.fds));
    r.soak_zombies.s.add(zombies_of(pid));
    r.soak_missed.s.add(kWarmUpCommands + kCommands - static_cast<double>(opened()));
    std::printf(
        "  soak: %d help commands; RSS %ld KiB at start, %ld after warm-up, %ld at the end;"
        " descriptors %ld -> %ld\n",
        done, at_start.rss_kib, warm.rss_kib, end.rss_kib, at_start.fds, end.fds);
    std::fflush(stdout);
    stop(pid, 5s);
  }

 private:
  // One help command with its cycles; false if it showed no pressed picture
  // or opened no manual.
  bool help_command() {
    const std::size_t before = opened();
    b_.point_at(quarvel::testing::kOnHelp);
    b_.pointer.press();
    b_.pointer.release();
    const Rect help = b_.on_screen(quarvel::layout::kHelpButton);
    if (!b_.screen.wait_for(help, pressed_help_, Clock::now(), 1ms, 2s)) return false;
    static constexpr quarvel::testing::At kOthers[] = {
        quarvel::testing::kOnStart, quarvel::testing::kOnQuit, quarvel::testing::kOnMinimize,
        quarvel::testing::kOnClose};
    for (int i = 0; i < kCyclesPerCommand; ++i) {
      const auto [x, y] = kOthers[i % 4];
      b_.pointer.move_async(b_.win.left + x * b_.k, b_.win.top + y * b_.k);
      b_.pointer.move_async(b_.win.left + quarvel::testing::kOnBackground.x * b_.k,
                            b_.win.top + quarvel::testing::kOnBackground.y * b_.k);
    }
    b_.pointer.sync();
    return quarvel::testing::wait_until([&] { return opened() == before + 1; }, 3s);
  }

  static int zombies_of(pid_t pid) {
    const auto children = quarvel::testing::children_of(pid);
    return static_cast<int>(std::count_if(children.begin(), children.end(),
                                          [](const auto& child) { return child.second == 'Z'; }));
  }

  // Manuals opened so far: one record of the stand-in opener each.
  std::size_t opened() const {
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(b_.folder / "opened", ec)) {
      n += e.path().extension() == ".rec";
    }
    return n;
  }

  // Until the last cue has played out and its sound device is let go, so the
  // figures compared are those of an idle launcher.
  static void settle(pid_t pid) {
    std::this_thread::sleep_for(1500ms);
    quarvel::testing::wait_until([&] { return !has_audio_thread(pid); }, 5s);
  }
  static bool has_audio_thread(pid_t pid) {
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
      if (read_file(task.path() / "comm").starts_with("SDLAudio")) return true;
    }
    return false;
  }

  Bench& b_;
  std::vector<std::uint32_t> pressed_help_;
};

void measure_size(const Bench& b, Results& r) {
  const fs::path stripped = b.folder / "Quarvel.stripped";
  quarvel::testing::run({"strip", "--strip-all", "-o", stripped.string(), b.program.string()});
  if (fs::exists(stripped)) {
    r.size.s.add(static_cast<double>(fs::file_size(stripped)) / (1024.0 * 1024.0));
  }
  r.unstripped.s.add(static_cast<double>(fs::file_size(b.program)) / (1024.0 * 1024.0));
}

void print_row(const Row& r, int& failures) {
  char line[256];
  std::snprintf(line, sizeof line, "%-40s %9.2f %9.2f-%-9.2f %9.2f-%-9.2f %4zu  %-7s",
                r.what.c_str(), r.s.median(), r.s.at(0.25), r.s.at(0.75), r.s.at(0), r.s.at(1),
                r.s.v.size(), r.unit.c_str());
  std::string verdict;
  if (r.meets) {
    const bool ok = !r.s.v.empty() && r.meets(r.s.median());
    failures += !ok;
    verdict = std::string(ok ? "PASS" : "FAIL") + "  (" + r.budget + ")";
  }
  std::printf("%s %s\n", line, verdict.c_str());
}

// Prints the table and the verdict; the number of budgets missed.
int report(const Results& r) {
  std::printf("\n%-40s %9s %-19s %-19s %4s  %-7s %s\n", "measure", "median", "  IQR (q1-q3)",
              "  range (min-max)", "n", "unit", "budget");
  int failures = 0;
  for (const Row* row : r.rows()) print_row(*row, failures);
  if (r.idle_thread_changes) {
    std::printf(
        "note: threads came or went during %d idle windows; their CPU is in the /proc "
        "row only\n",
        r.idle_thread_changes);
  }
  std::printf("\n%s: %d budget(s) missed\n", failures ? "FAIL" : "PASS", failures);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PROGRAM BARE_PROGRAM [RUNS]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;
  Bench bench(argv[1], argv[2]);
  Results results;
  std::printf("Quarvel benchmark: %d runs on %s at scale %d, sound server %s\n", runs,
              std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "?", bench.k,
              std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "(default)");
  std::fflush(stdout);
  for (int run = 0; run < runs; ++run) {
    if (!measure_run(bench, results, run)) return 1;
  }
  measure_size(bench, results);
  Soak(bench).run(results);
  return report(results) ? 1 : 0;
}
