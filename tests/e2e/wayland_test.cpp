// The real launcher on a Wayland desktop (weston with its desktop shell):
// natively on SDL's Wayland driver, and as an X11 program through XWayland.
// The compositor places the window; everything else holds: no frame, every
// picture pixel for pixel, hover, click, and nothing said on the terminal.
// Minimize is checked natively only: weston ignores an X11 window's request.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "fixture.h"
#include "tests/support/files.h"
#include "weston.h"

namespace quarvel::e2e {
namespace {

Weston& weston() {
  static Weston w;
  static const bool told = [] {
    std::cout << "weston showed its desktop " << w.startup_time().count()
              << " ms after it was started\n";
    return true;
  }();
  (void)told;
  return w;
}

// How the launcher reaches the compositor.
struct Way {
  const char* name;
  bool native;  // SDL's Wayland driver; else X11 through XWayland
};

void PrintTo(const Way& way, std::ostream* os) {
  *os << way.name;
}

std::string way_name(const ::testing::TestParamInfo<Way>& way) {
  return way.param.name;
}

// The point of a control a pointer rests on: low and right in it, so the
// cursor's arrow leaves most of the control to be seen.
constexpr At resting_point(const Hover& h) {
  const Rect r = h.rect();
  return {r.left + r.width * 9 / 10, r.top + r.height * 4 / 5};
}

class OnWeston : public ::testing::TestWithParam<Way> {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name_.begin(), name_.end(), '/', '-');
    root = make_temp_folder("quarvel-" + name_ + "-");
    launcher = std::make_unique<Launcher>(root / "launcher");
    if (!GetParam().native) weston().park_xwayland_pointer();
    desk = weston().settled_screenshot();
    ASSERT_FALSE(desk.empty()) << "the desktop does not hold still";
  }

  void TearDown() override {
    end_launcher();
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  // Starts the launcher on the compositor and waits until its window shows.
  void start(const std::vector<std::string>& env = {}) {
    std::vector<std::string> all =
        GetParam().native ? weston().wayland_client() : weston().xwayland_client();
    if (GetParam().native) {
      all.push_back("SDL_VIDEODRIVER=wayland");
      // SDL's Wayland driver and Mesa keep allocations to the end (a bare SDL
      // window does too), with stacks that end inside them where no rule can
      // tell them apart: a sanitized launcher's leaks are checked on X11.
      all.push_back("ASAN_OPTIONS=detect_leaks=0");
    }
    all.insert(all.end(), env.begin(), env.end());
    launcher->start(all, output());
    const auto first = expected_window(WindowModel{});
    const bool shown = wait_until(
        [&] {
          window = weston().screenshot().find(first, kClientWidth, kClientHeight);
          return window.has_value() || !launcher->running();
        },
        5s);
    ASSERT_TRUE(shown && window) << "no window showed" << saved_screen();
  }

  // Ends the launcher, and waits until its window has left the screen.
  void end_launcher() {
    launcher.reset();
    if (!window) return;
    const auto bare = desk.crop(*window);
    EXPECT_TRUE(wait_until([&] { return weston().screenshot().crop(*window) == bare; }, 3s))
        << "the window stayed on the screen after the launcher ended" << saved_screen();
  }

  // Waits until the window shows what the model says, pixel for pixel, but
  // for those in `covered`.
  ::testing::AssertionResult shows(const WindowModel& state, std::chrono::milliseconds timeout = 3s,
                                   const Rect& covered = {}) {
    auto want = expected_window(state);
    const auto uncover = [&](std::vector<std::uint32_t>& picture) {
      const Rect hidden = intersect(covered, Rect{0, 0, kClientWidth, kClientHeight});
      for (int y = hidden.top; y < hidden.top + hidden.height; ++y)
        std::fill_n(picture.begin() + y * kClientWidth + hidden.left, hidden.width, 0u);
      return picture;
    };
    uncover(want);
    std::vector<std::uint32_t> got;
    if (wait_until([&] { return uncover(got = weston().screenshot().crop(*window)) == want; },
                   timeout))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << differing_pixels(got, want) << " pixels differ from the expected window at "
           << window->left << "," << window->top << saved_screen();
  }

  // Rests the pointer on a point of the window, as a person's pointer rests,
  // until the window shows `state` where the cursor leaves it to be seen; then
  // takes it straight out of the window.
  ::testing::AssertionResult rest_on(At at, const WindowModel& state) {
    point_at(at);
    const Rect cursor{at.x - 3, at.y - 3, 36, 36};  // the arrow points up and to the left
    auto seen = shows(state, 3s, cursor);
    step_away();
    return seen;
  }

  // Lights a control as a person does, resting the pointer on it, clicks it
  // and takes the pointer away.
  ::testing::AssertionResult click_lit(Element control) {
    const Hover& c = hover_of(control);
    set(c.normal, false);
    set(c.lit, true);
    auto lit = rest_on(resting_point(c), model);
    click_at(resting_point(c));
    step_away();
    return lit;
  }

  // Whether `shot` and `reference` agree around the window, 32 pixels out on
  // every side: no frame, no title bar, no border but what `reference` shows.
  ::testing::AssertionResult same_around(const Screenshot& shot, const Screenshot& reference) {
    constexpr int kReach = 32;
    const Rect w = *window;
    const Rect outer = intersect(
        Rect{w.left - kReach, w.top - kReach, w.width + 2 * kReach, w.height + 2 * kReach},
        Rect{0, 0, shot.width, shot.height});
    std::size_t differ = 0;
    for (int y = outer.top; y < outer.top + outer.height; ++y) {
      for (int x = outer.left; x < outer.left + outer.width; ++x) {
        const std::size_t at = static_cast<std::size_t>(y) * shot.width + x;
        differ += !w.contains(x, y) && shot.pixels[at] != reference.pixels[at];
      }
    }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << differ << " pixels around the window differ" << saved_screen();
  }

  // Pointer moves and clicks at window coordinates.
  void point_at(At at) { weston().pointer().move(window->left + at.x, window->top + at.y); }
  void click_at(At at) { weston().pointer().click(window->left + at.x, window->top + at.y); }
  // Takes the pointer straight out of the window, where the cursor covers none of it.
  void step_away() { weston().rest_pointer(); }

  fs::path output() const { return root / "output.txt"; }
  std::string said() const { return read_file(output()); }

  // A screenshot kept for a failure message.
  std::string saved_screen() const {
    const fs::path shot = fs::temp_directory_path() / ("quarvel-" + name_ + ".png");
    weston().save_screenshot(shot);
    return " (screenshot: " + shot.string() + ")";
  }

  fs::path root;
  std::unique_ptr<Launcher> launcher;
  Screenshot desk;             // the desktop before the launcher started
  std::optional<Rect> window;  // where the compositor put the window

  WindowModel model;
  void set(Element e, bool visible) { model.set_visible(e, visible); }

 private:
  std::string name_;
};

TEST_P(OnWeston, ShowsBorderlessWithEveryPixelOfItsPictures) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(launcher->running());
  const Screenshot shown = weston().settled_screenshot();
  if (GetParam().native) {
    EXPECT_TRUE(same_around(shown, desk)) << "something is drawn around the window";
    return;
  }
  // Weston's window manager gives every undecorated X11 window an outline and
  // a shadow: the launcher must look as a bare window at the same place does.
  end_launcher();
  const BareX11Window bare(weston().xwayland_display(), *window);
  const std::vector<std::uint32_t> black(kClientWidth * kClientHeight, 0);
  Screenshot reference;
  ASSERT_TRUE(wait_until(
      [&] { return (reference = weston().settled_screenshot()).crop(*window) == black; }, 3s))
      << "the bare window did not show where the launcher was" << saved_screen();
  EXPECT_TRUE(same_around(shown, reference)) << "the launcher looks unlike a bare window";
}

TEST_P(OnWeston, HoverLightsEachControlAndTheBackgroundDarksItAgain) {
  ASSERT_NO_FATAL_FAILURE(start());
  for (const Hover& c : kHovers) {
    SCOPED_TRACE(c.name);
    set(c.normal, false);
    set(c.lit, true);
    EXPECT_TRUE(rest_on(resting_point(c), model)) << "not lit under the pointer";
    EXPECT_TRUE(shows(model)) << "not lit";  // all of it, once the pointer has left
    set(c.normal, true);
    set(c.lit, false);
    EXPECT_TRUE(rest_on(kOnBackground, model)) << "not dark again over the background";
    EXPECT_TRUE(shows(model)) << "not dark again";
  }
}

TEST_P(OnWeston, StartShowsPressedThenStartsTheGameAndEnds) {
  fs::create_directories(launcher->folder() / "GameData");
  fs::copy_file(QUARVEL_STUB_GAME, launcher->folder() / "GameData/vivu.exe");
  const fs::path record = root / "game-record.txt";
  ASSERT_NO_FATAL_FAILURE(start({"QUARVEL_STUB_RECORD=" + record.string()}));
  ASSERT_TRUE(click_lit(Element::start));
  set(Element::start_ovr, false);
  set(Element::start_press, true);
  EXPECT_TRUE(shows(model, 1s)) << "no pressed picture";
  EXPECT_EQ(launcher->wait_exit(5s), 0);
  ASSERT_TRUE(wait_until([&] { return fs::exists(record); }, 5s)) << "the game did not start";
  std::ifstream in(record);
  std::string args[3];
  in >> args[0] >> args[1] >> args[2];
  EXPECT_EQ(args[0] + " " + args[1] + " " + args[2], "+set fs_game voskbase");
}

TEST_P(OnWeston, SaysNothingOnTheTerminal) {
  ASSERT_NO_FATAL_FAILURE(start());
  point_at({60, 440});  // the pointer's entry loads the cursor
  step_away();
  kill(launcher->pid(), SIGTERM);
  EXPECT_EQ(launcher->wait_exit(5s), 0);
  EXPECT_EQ(said(), "");
}

INSTANTIATE_TEST_SUITE_P(Ways, OnWeston,
                         ::testing::Values(Way{"Wayland", true}, Way{"XWayland", false}), way_name);

class OnWestonNatively : public OnWeston {};

TEST_P(OnWestonNatively, MinimizeTakesTheWindowOffTheScreenAndTheSwitcherBringsItBack) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(click_lit(Element::minimize));
  set(Element::selmin, true);
  EXPECT_TRUE(shows(model, 450ms)) << "no selected picture";  // minimized 500 ms after the click
  const Rect area = *window;
  EXPECT_TRUE(wait_until([&] { return weston().screenshot().crop(area) == desk.crop(area); }, 3s))
      << "the window is still on the screen" << saved_screen();
  EXPECT_TRUE(launcher->running());

  weston().key("super+Tab");  // weston's window switcher, which restores it
  set(Element::selmin, false);
  EXPECT_TRUE(shows(model)) << "the restored window does not show the widget lit";
  EXPECT_TRUE(launcher->running());
}

// The last move a window gets before the pointer leaves it counts like any
// other: a control crossed on the way out lights.
TEST_P(OnWestonNatively, AControlCrossedOnTheWayOutLights) {
  ASSERT_NO_FATAL_FAILURE(start());
  for (const Hover& c : kHovers) {
    SCOPED_TRACE(c.name);
    point_at(resting_point(c));
    step_away();
    set(c.normal, false);
    set(c.lit, true);
    EXPECT_TRUE(shows(model)) << "not lit";
    set(c.normal, true);
    set(c.lit, false);
    EXPECT_TRUE(rest_on(kOnBackground, model)) << "not dark again over the background";
  }
}

// As on X11, min = max: a tiling compositor keeps it floating, at its size.
TEST_P(OnWestonNatively, DeclaresItsSizeFixed) {
  ASSERT_NO_FATAL_FAILURE(start({"WAYLAND_DEBUG=client"}));
  for (const char* request : {"set_min_size(500, 480)", "set_max_size(500, 480)"}) {
    EXPECT_NE(said().find(std::string(".") + request), std::string::npos)
        << "no xdg_toplevel." << request << " among:\n"
        << said();
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, OnWestonNatively, ::testing::Values(Way{"Wayland", true}), way_name);

}  // namespace
}  // namespace quarvel::e2e
