// The real launcher once under valgrind's memcheck through a whole session:
// hover, the help command, minimize and restore, quit. No memory error, and
// nothing definitely lost when it ends.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "fixture.h"
#include "proof.h"

namespace quarvel::proof {
namespace {

std::string read_all(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Memcheck : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundServer::instance();
    e2e::desktop();
    pointer().move(5, 5);
    root = e2e::make_temp_folder("quarvel-memcheck-");
    staged = stage_launcher(root / "launcher", root);
  }

  void TearDown() override {
    launcher.reset();
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void move_to(Point p) {
    const Rect g = launcher->geometry();
    pointer().move(g.left + p.x, g.top + p.y);
  }

  void click(Point p) {
    move_to(p);
    pointer().press();
    pointer().release();
  }

  bool shows(const WindowModel& m, std::chrono::milliseconds timeout = 10s) {
    const auto want = e2e::expected_window(m);
    return e2e::wait_until([&] { return e2e::desktop().grab(launcher->geometry()) == want; },
                           timeout);
  }

  fs::path root;
  Staged staged;
  std::unique_ptr<Subject> launcher;
};

TEST_F(Memcheck, AWholeSessionHasNoErrorAndLosesNothing) {
  const fs::path log = root / "memcheck.log";
  launcher = std::make_unique<Subject>();
  launcher->start({"valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
                   "--errors-for-leak-kinds=definite", "--error-exitcode=97", "--track-origins=yes",
                   "--num-callers=30", "--suppressions=" QUARVEL_VALGRIND_SUPPRESSIONS,
                   "--log-file=" + log.string(), staged.program.string()},
                  staged.env(), staged.folder);
  ASSERT_TRUE(launcher->wait_for_window(60s)) << "no window under valgrind";
  ASSERT_TRUE(shows(model_with(Lit::none)));

  move_to(kStartAt);
  EXPECT_TRUE(shows(model_with(Lit::start)));
  move_to(kBackgroundAt);
  EXPECT_TRUE(shows(model_with(Lit::none)));

  click(kHelpAt);
  EXPECT_TRUE(e2e::wait_until([&] { return !staged.started("xdg-open").empty(); }, 10s))
      << "the manual was not opened";
  move_to(kBackgroundAt);
  EXPECT_TRUE(shows(model_with(Lit::none)));

  click(kMinimizeAt);
  EXPECT_TRUE(e2e::wait_until([&] { return launcher->iconified(); }, 10s)) << "not minimized";
  launcher->activate();
  EXPECT_TRUE(e2e::wait_until([&] { return !launcher->iconified(); }, 10s)) << "not restored";

  click(kQuitAt);
  const auto status = launcher->wait_exit(60s);
  const std::string report = read_all(log);
  ASSERT_TRUE(status.has_value()) << "the launcher did not quit under valgrind";
  EXPECT_EQ(*status, 0) << "memcheck found errors (97) or the launcher failed:\n" << report;
  EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
  const auto leaks = report.find("LEAK SUMMARY:");
  ASSERT_NE(leaks, std::string::npos) << "no leak check ran:\n" << report;
  EXPECT_NE(report.find("definitely lost: 0 bytes", leaks), std::string::npos) << report;
  std::cout << report.substr(leaks) << '\n';
}

}  // namespace
}  // namespace quarvel::proof
