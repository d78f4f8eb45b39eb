// Deferred actions on a virtual clock: each command runs at its own timer's
// first tick, and commands chosen while another is pending race by due time.
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"

namespace quarvel::testing {
namespace {

class Commands : public ::testing::Test {
 protected:
  // Lights a control and clicks it at the current time.
  void choose(At at) {
    rig.move(at.x, at.y);
    rig.click(at.x, at.y);
  }
  bool game_launched() const {
    return std::any_of(rig.shell.requests.begin(), rig.shell.requests.end(),
                       [](const auto& r) { return r.file.ends_with("vivu.exe"); });
  }
  int manuals_opened() const {
    return static_cast<int>(std::count_if(rig.shell.requests.begin(), rig.shell.requests.end(),
                                          [](const auto& r) { return r.file.ends_with(".doc"); }));
  }
  int count(const std::string& line) const {
    return static_cast<int>(std::count(rig.log.begin(), rig.log.end(), line));
  }

  Rig rig;
};

TEST_F(Commands, EachCommandActsExactlyAtItsDelay) {
  struct Case {
    At at;
    Millis delay;
  } cases[] = {
      {kOnStart, 1200}, {kOnHelp, 500}, {kOnQuit, 500}, {kOnClose, 500}, {kOnMinimize, 500}};
  for (const Case& c : cases) {
    Rig r;
    r.move(c.at.x, c.at.y);
    r.click(c.at.x, c.at.y);
    const std::size_t before = r.log.size();
    EXPECT_FALSE(r.advance_by(c.delay - 1));
    EXPECT_EQ(r.log.size(), before) << "acted before its delay";
    r.advance_by(1);
    EXPECT_GT(r.log.size(), before) << "did not act at its delay";
  }
}

TEST_F(Commands, StartLaunchesTheGameThenEndsWithoutUnload) {
  choose(kOnStart);
  rig.take();
  EXPECT_TRUE(rig.advance_by(1200));
  EXPECT_EQ(rig.take(), (Log{"disable Timer3", "shell /games/quarvel/GameData/vivu.exe", "end"}))
      << "the player is not closed and nothing runs after the end";
}

TEST_F(Commands, QuitOrCloseLessThan700msAfterStartEndsWithoutTheGame) {
  for (At at : {kOnQuit, kOnClose}) {
    Rig r;
    r.move(kOnStart.x, kOnStart.y);
    r.click(kOnStart.x, kOnStart.y);
    r.advance_by(699);
    r.move(at.x, at.y);
    r.click(at.x, at.y);
    EXPECT_TRUE(r.advance_by(2000));
    EXPECT_TRUE(r.shell.requests.empty());
    EXPECT_EQ(r.host.clock, 1000 + 699 + 500);
  }
}

TEST_F(Commands, QuitOrCloseMoreThan700msAfterStartComesTooLate) {
  for (At at : {kOnQuit, kOnClose}) {
    Rig r;
    r.move(kOnStart.x, kOnStart.y);
    r.click(kOnStart.x, kOnStart.y);
    r.advance_by(701);
    r.move(at.x, at.y);
    r.click(at.x, at.y);
    EXPECT_TRUE(r.advance_by(2000));
    ASSERT_EQ(r.shell.requests.size(), 1u);
    EXPECT_TRUE(r.shell.requests[0].file.ends_with("vivu.exe"));
    EXPECT_EQ(r.host.clock, 1000 + 1200);
  }
}

TEST_F(Commands, HelpOrMinimizeSoonAfterStartActFirstThenTheGameStarts) {
  choose(kOnStart);
  rig.advance_by(300);
  choose(kOnHelp);
  rig.advance_by(300);
  choose(kOnMinimize);
  EXPECT_TRUE(rig.advance_by(2000));
  EXPECT_EQ(manuals_opened(), 1);
  EXPECT_EQ(rig.host.minimized, 1);
  EXPECT_TRUE(game_launched());
  EXPECT_EQ(rig.log.back(), "end");
}

TEST_F(Commands, HelpOrMinimizeLateAfterStartNeverAct) {
  choose(kOnStart);
  rig.advance_by(800);
  choose(kOnHelp);
  choose(kOnMinimize);
  EXPECT_TRUE(rig.advance_by(2000));
  EXPECT_EQ(manuals_opened(), 0);
  EXPECT_EQ(rig.host.minimized, 0);
  EXPECT_TRUE(game_launched());
}

TEST_F(Commands, QuitAndCloseWithinOneDelayEndOnceAtTheFirstTick) {
  choose(kOnQuit);
  rig.advance_by(200);
  choose(kOnClose);
  EXPECT_FALSE(rig.advance_by(299));
  EXPECT_TRUE(rig.advance_by(1));
  EXPECT_EQ(count("end"), 1);
  EXPECT_EQ(rig.host.clock, 1000 + 500);
}

TEST_F(Commands, TwoHelpCommandsOpenTheManualTwiceAndTheLauncherStays) {
  for (int i = 0; i < 2; ++i) {
    choose(kOnHelp);
    EXPECT_FALSE(rig.advance_by(600));
    rig.move(kOnBackground.x, kOnBackground.y);
  }
  EXPECT_EQ(manuals_opened(), 2);
  EXPECT_FALSE(rig.ended);
  EXPECT_FALSE(rig.launcher.next_due().has_value()) << "Timer4 stays disabled after its tick";
}

TEST_F(Commands, ASecondClickDuringTheDelayReachesThePressedElementAndDoesNothing) {
  choose(kOnHelp);
  rig.take();
  rig.click(kOnHelp.x, kOnHelp.y);
  rig.move(kOnHelp.x, kOnHelp.y);
  EXPECT_TRUE(rig.take().empty());
  rig.advance_by(500);
  EXPECT_EQ(manuals_opened(), 1);
}

TEST_F(Commands, LightingAnotherControlDuringADelayCutsTheCueButNotTheCommand) {
  choose(kOnMinimize);
  rig.take();
  rig.move(kOnBackground.x, kOnBackground.y);
  rig.move(kOnQuit.x, kOnQuit.y);
  const Log log = rig.take();
  EXPECT_NE(std::find(log.begin(), log.end(), "cue close"), log.end());
  rig.advance_by(500);
  EXPECT_EQ(rig.host.minimized, 1);
}

void close(Rig& r) {
  r.launcher.closed_from_outside();
}

// The window is gone: a second close, pointer events and time reach no procedure.
void expect_nothing_after_unload(Rig& r) {
  r.take();
  close(r);
  r.move(kOnStart.x, kOnStart.y);
  r.click(kOnStart.x, kOnStart.y);
  EXPECT_FALSE(r.launcher.next_due().has_value()) << "a timer outlived the window";
  EXPECT_FALSE(r.advance_by(5000));
  EXPECT_TRUE(r.take().empty()) << "a procedure ran after the unload step";
}

using Closing = Commands;

// Timer4's tick whose request closes the window.
const Log manual_then_unload{"disable Timer4", "show help", "hide help_press",
                             "shell /games/quarvel/GameData/voskbase/documentation/manual.doc",
                             "cue close"};

TEST_F(Closing, DuringACueUnloadsOnceAndDropsThePendingCommand) {
  for (At at : {kOnStart, kOnHelp, kOnQuit, kOnClose, kOnMinimize}) {
    for (bool inside_the_cue : {false, true}) {
      SCOPED_TRACE(inside_the_cue ? "closed as the cue starts" : "closed while it sounds");
      Rig r;
      r.move(at.x, at.y);
      if (inside_the_cue) r.cues.during_play = [&r] { close(r); };
      r.click(at.x, at.y);
      if (!inside_the_cue) close(r);
      const Log log = r.take();
      ASSERT_GE(log.size(), 2u);
      EXPECT_EQ(log[log.size() - 2], "cue play");
      EXPECT_EQ(log.back(), "cue close") << "the unload step did not close the player";
      expect_nothing_after_unload(r);
      EXPECT_TRUE(r.shell.requests.empty());
      EXPECT_EQ(r.host.minimized, 0);
    }
  }
}

TEST_F(Closing, InsideTheManualsRequestUnloadsAndNothingRunsAfter) {
  choose(kOnHelp);
  rig.shell.during_execute = [this] { close(rig); };
  rig.take();
  EXPECT_FALSE(rig.advance_by(500));
  EXPECT_EQ(rig.take(), manual_then_unload);
  expect_nothing_after_unload(rig);
  EXPECT_EQ(manuals_opened(), 1);
}

TEST_F(Closing, InsideTheGamesRequestUnloadsThenTheLaunchEndsTheProgramOnce) {
  choose(kOnStart);
  rig.shell.during_execute = [this] { close(rig); };
  rig.take();
  EXPECT_TRUE(rig.advance_by(1200));
  EXPECT_EQ(rig.take(),
            (Log{"disable Timer3", "shell /games/quarvel/GameData/vivu.exe", "cue close", "end"}));
  EXPECT_EQ(rig.shell.requests.size(), 1u);
}

TEST_F(Closing, NoOtherDueTickRunsAfterAnUnloadInsideAnEarlierTick) {
  choose(kOnStart);  // Timer3 due at 2200
  rig.advance_by(699);
  choose(kOnHelp);  // Timer4 due at 2199
  rig.advance_by(1);
  choose(kOnMinimize);  // Timer1 due at 2200
  choose(kOnQuit);      // Timer2 due at 2200
  rig.shell.during_execute = [this] { close(rig); };
  rig.take();
  // One host call with all four due: the manual's request closes the window.
  EXPECT_NO_THROW(rig.launcher.run_due_timers(2300)) << "the program ended after the unload";
  EXPECT_EQ(rig.take(), manual_then_unload);
  EXPECT_FALSE(game_launched());
  EXPECT_EQ(rig.host.minimized, 0);
  expect_nothing_after_unload(rig);
}

TEST(Timers, NextDueIsTheEarliestEnabledTimer) {
  Timers t;
  EXPECT_FALSE(t.next_due());
  t.enable(Timer::Timer3, 100);
  t.enable(Timer::Timer4, 200);
  EXPECT_EQ(t.next_due(), 700);
  EXPECT_FALSE(t.take_due(699));
  EXPECT_EQ(t.take_due(1400), Timer::Timer4);  // due 700, next at 1200
  EXPECT_EQ(t.take_due(1400), Timer::Timer4);  // due 1200, before Timer3's 1300
  EXPECT_EQ(t.take_due(1400), Timer::Timer3);  // due 1300
  EXPECT_EQ(t.take_due(1400), std::nullopt);   // both rescheduled past 1400
  t.disable(Timer::Timer4);
  t.disable(Timer::Timer3);
  EXPECT_FALSE(t.next_due());
}

}  // namespace
}  // namespace quarvel::testing
