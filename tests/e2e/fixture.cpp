#include "fixture.h"

#include <fstream>

namespace quarvel::e2e {

Desktop& desktop() {
  static Desktop d;
  static const bool named = setenv("DISPLAY", d.display().c_str(), 1) == 0;
  (void)named;
  return d;
}

std::vector<std::uint32_t> expected_window(const WindowModel& model, Shown how) {
  static const assets::Pictures pictures = assets::Pictures::decode_all();
  std::vector<std::uint32_t> frame(static_cast<std::size_t>(kClientWidth) * kClientHeight);
  model.draw(pictures, Rect{0, 0, kClientWidth, kClientHeight},
             FrameView{frame.data(), kClientWidth, kClientHeight, kClientWidth});
  const int k = how.scale;
  const int width = how.width ? how.width : kClientWidth * k;
  const int height = how.height ? how.height : kClientHeight * k;
  std::vector<std::uint32_t> window(static_cast<std::size_t>(width) * height, 0);
  for (int y = 0; y < std::min(height, kClientHeight * k); ++y) {
    for (int x = 0; x < std::min(width, kClientWidth * k); ++x)
      window[static_cast<std::size_t>(y) * width + x] = frame[(y / k) * kClientWidth + x / k];
  }
  return window;
}

std::size_t differing_pixels(const std::vector<std::uint32_t>& got,
                             const std::vector<std::uint32_t>& want) {
  if (got.size() != want.size()) return std::max(got.size(), want.size());
  std::size_t diff = 0;
  for (std::size_t i = 0; i < got.size(); ++i) diff += got[i] != want[i];
  return diff;
}

void move_in(const TopWindow& window, At at) {
  const Rect g = window.geometry();
  desktop().pointer().move(g.left + at.x, g.top + at.y);
}

void click_in(const TopWindow& window, At at) {
  const Rect g = window.geometry();
  desktop().pointer().click(g.left + at.x, g.top + at.y);
}

void LauncherTest::SetUp() {
  desktop().pointer().move(5, 5);  // away from where the window appears
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  root = make_temp_folder(std::string("quarvel-") + info->name() + "-");
  launcher = std::make_unique<Launcher>(root / "launcher");
}

void LauncherTest::TearDown() {
  launcher.reset();
  std::error_code ec;
  fs::remove_all(root, ec);
}

// What each of a process's threads is doing, as the kernel tells it.
std::string threads_of(pid_t pid) {
  std::string out;
  std::error_code ec;
  for (const auto& task :
       fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", ec)) {
    std::ifstream comm(task.path() / "comm"), wchan(task.path() / "wchan");
    std::string name, waits;
    std::getline(comm, name);
    std::getline(wchan, waits);
    out += " " + name + "(" + waits + ")";
  }
  return out.empty() ? " none: it has ended" : out;
}

void LauncherTest::start(const std::vector<std::string>& env, const fs::path& output) {
  launcher->start(env, output);
  ASSERT_TRUE(launcher->wait_for_window())
      << "no window appeared; the launcher's threads:" << threads_of(launcher->pid());
}

::testing::AssertionResult window_shows(const TopWindow& window, const WindowModel& model,
                                        std::chrono::milliseconds timeout, Shown how,
                                        const XServer& on) {
  const auto want = expected_window(model, how);
  std::vector<std::uint32_t> got;
  const bool same = wait_until(
      [&] {
        got = on.grab(window.geometry());
        return got == want;
      },
      timeout);
  if (same) return ::testing::AssertionSuccess();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path shot =
      fs::temp_directory_path() / (std::string("quarvel-") + info->name() + ".png");
  on.save_png(window.geometry(), shot);
  return ::testing::AssertionFailure()
         << differing_pixels(got, want) << " pixels differ from the expected window"
         << " (screenshot: " << shot.string() << ")";
}

}  // namespace quarvel::e2e
