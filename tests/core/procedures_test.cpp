// Every event procedure runs its steps in its fixed order, the cue always last.
#include <gtest/gtest.h>

#include "fakes.h"

namespace quarvel::testing {
namespace {

Log cue(const std::string& name) {
  return {"cue close", "cue file /games/quarvel/Install/" + name + ".wav", "cue open", "cue play"};
}
Log then(Log a, const Log& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Procedures : public ::testing::Test {
 protected:
  Rig rig;
};

TEST_F(Procedures, LoadSetsUpThePlayerAndPlaysTheOpenCue) {
  rig.launcher.Form_Load();
  EXPECT_EQ(rig.take(), (Log{"cue type WaveAudio", "cue file /games/quarvel/Install/open.wav",
                             "cue open", "cue play"}));
  EXPECT_EQ(rig.visible(),
            (std::vector<std::string>{"quit", "help", "start", "minimize", "close_b"}));
}

TEST_F(Procedures, UnloadClosesThePlayer) {
  rig.launcher.Form_Unload();
  EXPECT_EQ(rig.take(), (Log{"cue close"}));
}

TEST_F(Procedures, ButtonsLightNormalFirstThenHoverThenCue) {
  rig.launcher.start_MouseMove();
  EXPECT_EQ(rig.take(), then({"hide start", "show start_ovr"}, cue("hover")));
  rig.launcher.help_MouseMove();
  EXPECT_EQ(rig.take(), then({"hide help", "show help_ovr"}, cue("hover")));
  rig.launcher.quit_MouseMove();
  EXPECT_EQ(rig.take(), then({"hide quit", "show exit_ovr"}, cue("hover")));
}

TEST_F(Procedures, WidgetsLightHoverFirstThenNormalThenCue) {
  rig.launcher.minimize_MouseMove();
  EXPECT_EQ(rig.take(), then({"show ovrmin", "hide minimize"}, cue("hover")));
  rig.launcher.close_b_MouseMove();
  EXPECT_EQ(rig.take(), then({"show ovrclose", "hide close_b"}, cue("hover")));
}

TEST_F(Procedures, BackgroundDarkensAllTenStepsWithoutCue) {
  rig.launcher.Form_MouseMove();
  EXPECT_EQ(rig.take(),
            (Log{"show close_b", "show minimize", "hide ovrmin", "hide ovrclose", "hide exit_ovr",
                 "show quit", "show help", "hide help_ovr", "show start", "hide start_ovr"}));
}

TEST_F(Procedures, ButtonClicksPressEnableThenCue) {
  rig.launcher.start_ovr_Click();
  EXPECT_EQ(rig.take(),
            then({"hide start_ovr", "show start_press", "enable Timer3"}, cue("start")));
  rig.launcher.help_ovr_Click();
  EXPECT_EQ(rig.take(), then({"hide help_ovr", "show help_press", "enable Timer4"}, cue("click")));
  rig.launcher.exit_ovr_Click();
  EXPECT_EQ(rig.take(), then({"hide exit_ovr", "show exit_press", "enable Timer2"}, cue("back")));
}

TEST_F(Procedures, WidgetClicksSelectEnableThenCue) {
  rig.launcher.ovrmin_Click();
  EXPECT_EQ(rig.take(), then({"show selmin", "enable Timer1"}, cue("back")));
  rig.launcher.ovrclose_Click();
  EXPECT_EQ(rig.take(), then({"show selclose", "enable Timer2"}, cue("back")));
}

TEST_F(Procedures, Timer1MinimizesThenRestoresTheWidget) {
  rig.launcher.Timer1_Timer();
  EXPECT_EQ(rig.take(), (Log{"minimize", "disable Timer1", "hide selmin", "show minimize"}));
}

TEST_F(Procedures, Timer2EndsAtOnce) {
  EXPECT_THROW(rig.launcher.Timer2_Timer(), ProgramEnded);
  EXPECT_EQ(rig.take(), (Log{"end"}));
}

TEST_F(Procedures, Timer3DisablesLaunchesAndEnds) {
  EXPECT_THROW(rig.launcher.Timer3_Timer(), ProgramEnded);
  EXPECT_EQ(rig.take(), (Log{"disable Timer3", "shell /games/quarvel/GameData/vivu.exe", "end"}));
}

TEST_F(Procedures, Timer4DisablesRestoresHelpThenOpensTheManual) {
  rig.launcher.Timer4_Timer();
  EXPECT_EQ(rig.take(), (Log{"disable Timer4", "show help", "hide help_press",
                             "shell /games/quarvel/GameData/voskbase/documentation/manual.doc"}));
}

TEST_F(Procedures, EveryCuePathIsBuiltAfreshFromTheDirectory) {
  rig.launcher.start_MouseMove();
  rig.dir = "/moved elsewhere";
  rig.launcher.help_MouseMove();
  const Log log = rig.take();
  EXPECT_EQ(log[3], "cue file /games/quarvel/Install/hover.wav");
  EXPECT_EQ(log[9], "cue file /moved elsewhere/Install/hover.wav");
}

TEST_F(Procedures, VisibilityChangesAreRedrawnAndRepeatsAreNot) {
  rig.launcher.start_MouseMove();
  EXPECT_EQ(rig.host.invalidated, (std::vector<Rect>{layout::kStartButton, layout::kStartButton}));
  rig.host.invalidated.clear();
  rig.launcher.start_MouseMove();  // already lit: the screen does not change
  EXPECT_TRUE(rig.host.invalidated.empty());
}

// The host's entry points route events to the procedures by the receiver rule.
TEST(Dispatch, MovesAndClicksReachTheReceiversProcedureOnly) {
  Rig rig;
  rig.move(kOnStart.x, kOnStart.y);
  EXPECT_EQ(rig.take().front(), "hide start");
  rig.move(kOnStart.x + 5, kOnStart.y);  // over start_ovr, which has no move procedure
  EXPECT_TRUE(rig.take().empty());
  rig.click(kOnHelp.x, kOnHelp.y);  // the dark help button takes no click
  EXPECT_TRUE(rig.take().empty());
  rig.click(kOnBackground.x, kOnBackground.y);
  EXPECT_TRUE(rig.take().empty());
  rig.click(kOnStart.x, kOnStart.y);
  EXPECT_EQ(rig.take().front(), "hide start_ovr");
}

TEST(Dispatch, AClickGoesToWhereTheButtonWentDownAndCountsOnlyIfReleasedThere) {
  Rig rig;
  rig.move(kOnQuit.x, kOnQuit.y);
  rig.take();
  rig.launcher.pointer_pressed(kOnQuit.x, kOnQuit.y);
  rig.launcher.pointer_released(kOnBackground.x, kOnBackground.y);
  EXPECT_TRUE(rig.take().empty());
  EXPECT_FALSE(rig.launcher.timers().enabled(Timer::Timer2));

  rig.launcher.pointer_pressed(kOnQuit.x, kOnQuit.y);
  rig.launcher.pointer_released(kOnQuit.x + 10, kOnQuit.y + 3);
  EXPECT_EQ(rig.take().front(), "hide exit_ovr");
  // Released without a press: nothing.
  rig.launcher.pointer_released(kOnQuit.x, kOnQuit.y);
  EXPECT_TRUE(rig.take().empty());
}

}  // namespace
}  // namespace quarvel::testing
