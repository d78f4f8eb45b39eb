// The shared desktop of an end-to-end test program and a fixture that stages a
// launcher folder for each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/elements.h"
#include "app/window_model.h"
#include "assets/pictures.h"
#include "desktop.h"
#include "tests/support/controls.h"

namespace quarvel::e2e {

using namespace quarvel::testing;

// One desktop for the whole test program.
Desktop& desktop();

// How a window shows the 500 x 480 model: each pixel a scale x scale block from
// the top left of a window of width x height (0: just the pictures), black beyond.
struct Shown {
  int scale = 1, width = 0, height = 0;
};

// The window as the launcher should draw it for a given model state.
std::vector<std::uint32_t> expected_window(const WindowModel& model, Shown how = {});

// The desktop's pointer moved to, or clicking at, a point of a window's client area.
void move_in(const TopWindow& window, At at);
void click_in(const TopWindow& window, At at);

// How many pixels differ between two pictures of the window.
std::size_t differing_pixels(const std::vector<std::uint32_t>& got,
                             const std::vector<std::uint32_t>& want);

// Waits until `window` on the desktop `on` shows what `model` draws, pixel for pixel; else says
// how many pixels differ and keeps a screenshot of the window.
::testing::AssertionResult window_shows(const TopWindow& window, const WindowModel& model,
                                        std::chrono::milliseconds timeout, Shown how = {},
                                        const XServer& on = desktop());

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the launcher in the staged folder and waits for its window.
  void start(const std::vector<std::string>& env = {}, const fs::path& output = {});
  ::testing::AssertionResult shows(const WindowModel& model, std::chrono::milliseconds timeout = 3s,
                                   Shown how = {}) {
    return window_shows(*launcher, model, timeout, how);
  }
  void move(At at) { move_in(*launcher, at); }
  void click(At at) { click_in(*launcher, at); }

  fs::path root;  // removed after the test
  std::unique_ptr<Launcher> launcher;
};

}  // namespace quarvel::e2e
