// The real launcher once under valgrind's memcheck through a whole session:
// hover, the help command, minimize and restore, quit. No memory error, and
// nothing definitely lost when it ends.
#include <gtest/gtest.h>

#include <iostream>
#include <thread>

#include "fixture.h"
#include "proof.h"

namespace quarvel::proof {
namespace {

class Memcheck : public StagedTest {
 protected:
  ::testing::AssertionResult shows(const WindowModel& m) {
    return e2e::window_shows(*launcher, m, 10s);
  }
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
  ASSERT_TRUE(shows(WindowModel{}));

  move_in(*launcher, kOnStart);
  EXPECT_TRUE(shows(lit_window(Element::start)));
  move_in(*launcher, kOnBackground);
  EXPECT_TRUE(shows(WindowModel{}));

  click_in(*launcher, kOnHelp);
  EXPECT_TRUE(e2e::wait_until([&] { return !staged.started("xdg-open").empty(); }, 10s))
      << "the manual was not opened";
  move_in(*launcher, kOnBackground);
  EXPECT_TRUE(shows(WindowModel{}));

  click_in(*launcher, kOnMinimize);
  EXPECT_TRUE(e2e::wait_until([&] { return launcher->iconified(); }, 10s)) << "not minimized";
  launcher->activate();
  EXPECT_TRUE(e2e::wait_until([&] { return !launcher->iconified(); }, 10s)) << "not restored";

  click_in(*launcher, kOnQuit);
  const auto status = launcher->wait_exit(60s);
  const std::string report = read_file(log);
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
