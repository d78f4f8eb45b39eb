// The shared desktop of an end-to-end test program and a fixture that stages a
// launcher folder for each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/elements.h"
#include "app/window_model.h"
#include "assets/pictures.h"
#include "desktop.h"

namespace quarvel::e2e {

// One desktop for the whole test program.
Desktop& desktop();

// The window as the launcher should draw it for a given model state.
std::vector<std::uint32_t> expected_window(const WindowModel& model);

// Where on the screen a point of the window is.
inline int screen_x(const Launcher& l, int x) {
  return l.geometry().left + x;
}
inline int screen_y(const Launcher& l, int y) {
  return l.geometry().top + y;
}

// How many pixels differ between two pictures of the window.
std::size_t differing_pixels(const std::vector<std::uint32_t>& got,
                             const std::vector<std::uint32_t>& want);

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the launcher in the staged folder and waits for its window.
  void start(const std::vector<std::string>& env = {}, const fs::path& output = {});
  // Waits until the window shows what the model says, pixel for pixel.
  ::testing::AssertionResult shows(const WindowModel& model,
                                   std::chrono::milliseconds timeout = 3s);
  // Pointer moves and clicks at window coordinates.
  void move(int x, int y) {
    desktop().move_pointer(screen_x(*launcher, x), screen_y(*launcher, y));
  }
  void click(int x, int y) { desktop().click(screen_x(*launcher, x), screen_y(*launcher, y)); }

  fs::path root;  // removed after the test
  std::unique_ptr<Launcher> launcher;
};

}  // namespace quarvel::e2e
