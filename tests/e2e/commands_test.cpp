// The real launcher used with the pointer: buttons light and darken, and each
// command does its job after its delay: the game starts with the modification
// selected (a Windows game through wine), the manual opens, the launcher quits
// or minimizes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "fixture.h"
#include "tests/support/files.h"

namespace quarvel::e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) out.push_back(line);
  return out;
}

void write_script(const fs::path& p, const std::string& body) {
  write_file(p, "#!/bin/sh\n" + body);
  fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

class Commands : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    game_record = root / "game-record.txt";
    opened = root / "opened.txt";
    stage(launcher->folder());
  }

  // Puts the stand-in game and the manual where the launcher expects them, and
  // a recording desktop opener first on the launcher's PATH.
  void stage(const fs::path& folder) {
    write_file(folder / "GameData/voskbase/documentation/manual.doc", "{\\rtf1 manual}");
    fs::copy_file(QUARVEL_STUB_GAME, folder / "GameData/vivu.exe",
                  fs::copy_options::overwrite_existing);
    write_script(root / "bin/xdg-open",
                 "printf '%s\\n' \"$#\" \"$1\" \"$(pwd)\" >> '" + opened.string() + "'\n");
  }

  void start_with_records() {
    start({"QUARVEL_STUB_RECORD=" + game_record.string(),
           "PATH=" + (root / "bin").string() + ":" + std::getenv("PATH")});
  }

  // Clicks start and returns what the started program recorded of its start.
  std::vector<std::string> start_game() {
    start_with_records();
    move(kOnStart);
    click(kOnStart);
    EXPECT_EQ(launcher->wait_exit(5s), 0);
    EXPECT_TRUE(wait_until([&] { return fs::exists(game_record); }, 5s))
        << "the game did not start";
    return lines_of(read_file(game_record));
  }

  // The model after each step, to compare the screen with.
  WindowModel model;
  void set(Element e, bool visible) { model.set_visible(e, visible); }

  fs::path game_record;  // what the stand-in game records of its start
  fs::path opened;       // what the desktop opener was given
};

TEST_F(Commands, HoverLightsAButtonAndTheBackgroundDarksItAgain) {
  start_with_records();
  move(kOnStart);
  set(Element::start, false);
  set(Element::start_ovr, true);
  EXPECT_TRUE(shows(model)) << "start is not lit";

  move(kOnBackground);
  set(Element::start, true);
  set(Element::start_ovr, false);
  EXPECT_TRUE(shows(model)) << "start did not darken over the background";

  move(kOnMinimize);
  set(Element::ovrmin, true);
  set(Element::minimize, false);
  EXPECT_TRUE(shows(model)) << "minimize is not lit";
}

TEST_F(Commands, AControlLeftStraightOutOfTheWindowStaysLit) {
  start_with_records();
  move(kOnClose);  // the close widget, 8 pixels from the top edge
  set(Element::ovrclose, true);
  set(Element::close_b, false);
  ASSERT_TRUE(shows(model));
  move({kOnClose.x, -40});  // straight up and out
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(shows(model)) << "leaving the window changed the control";
}

TEST_F(Commands, StartShowsPressedThenStartsTheGameAndEnds) {
  start_with_records();
  move(kOnStart);
  click(kOnStart);
  const auto clicked = Clock::now();
  set(Element::start, false);
  set(Element::start_press, true);
  EXPECT_TRUE(shows(model, 1s)) << "no pressed picture";

  const auto status = launcher->wait_exit(5s);
  const auto after = Clock::now() - clicked;
  EXPECT_EQ(status, 0);
  EXPECT_GE(after, 1150ms);
  EXPECT_LE(after, 2500ms);

  ASSERT_TRUE(wait_until([&] { return fs::exists(game_record); }, 5s)) << "the game did not start";
  const auto rec = lines_of(read_file(game_record));
  ASSERT_GE(rec.size(), 5u);
  EXPECT_EQ(rec[0], "+set");
  EXPECT_EQ(rec[1], "fs_game");
  EXPECT_EQ(rec[2], "voskbase");
  EXPECT_EQ(rec[3], "cwd=" + fs::canonical(launcher->folder() / "GameData").string());
  EXPECT_EQ(rec[4], "fds=0,1,2") << "the game inherited the launcher's descriptors";
}

// A Windows game copied to Linux, as unzip or a copy from a Windows disk leaves
// it: no execute bit. It starts through wine, stood in for by the stub game.
TEST_F(Commands, StartRunsAWindowsGameWithoutTheExecuteBitThroughWine) {
  const fs::path game = launcher->folder() / "GameData/vivu.exe";
  write_file(game, std::string_view("MZ\x90\0\3\0", 6));
  fs::permissions(game, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  fs::copy_file(QUARVEL_STUB_GAME, root / "bin/wine");
  const auto rec = start_game();
  const fs::path folder = fs::canonical(launcher->folder() / "GameData");
  ASSERT_GE(rec.size(), 5u);
  EXPECT_EQ(rec[0], (folder / "vivu.exe").string());
  EXPECT_EQ(rec[1], "+set");
  EXPECT_EQ(rec[2], "fs_game");
  EXPECT_EQ(rec[3], "voskbase");
  EXPECT_EQ(rec[4], "cwd=" + folder.string());
  EXPECT_FALSE(fs::exists(opened)) << "the game went to the opener as a document";
}

TEST_F(Commands, HelpOpensTheManualAndTheLauncherStaysWithHelpDark) {
  start_with_records();
  move(kOnHelp);
  click(kOnHelp);
  set(Element::help, false);
  set(Element::help_press, true);
  EXPECT_TRUE(shows(model, 1s)) << "no pressed picture";

  // The opener's record is complete once it has its three lines.
  ASSERT_TRUE(wait_until([&] { return lines_of(read_file(opened)).size() >= 3; }, 3s))
      << "the manual was not opened";
  const auto args = lines_of(read_file(opened));
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], "1") << "the opener got more than the file";
  EXPECT_EQ(args[1], fs::canonical(launcher->folder()).string() +
                         "/GameData/voskbase/documentation/manual.doc");

  set(Element::help, true);
  set(Element::help_press, false);
  EXPECT_TRUE(shows(model)) << "the help button is not dark again";
  EXPECT_TRUE(launcher->running());

  // Again, with the execute bit every file has on an NTFS or exFAT drive: it opens anew.
  fs::permissions(launcher->folder() / "GameData/voskbase/documentation/manual.doc",
                  fs::perms::owner_exec, fs::perm_options::add);
  move(kOnBackground);
  move(kOnHelp);
  click(kOnHelp);
  EXPECT_TRUE(wait_until([&] { return lines_of(read_file(opened)).size() == 6; }, 3s));
  EXPECT_TRUE(launcher->running());
}

TEST_F(Commands, QuitAndCloseEndAboutHalfASecondAfterTheClick) {
  for (const At at : {kOnQuit, kOnClose}) {
    SCOPED_TRACE(at.x);
    start_with_records();
    move(at);
    click(at);
    const auto clicked = Clock::now();
    EXPECT_EQ(launcher->wait_exit(5s), 0);
    const auto after = Clock::now() - clicked;
    EXPECT_GE(after, 450ms);
    EXPECT_LE(after, 1500ms);
    EXPECT_FALSE(fs::exists(game_record));
  }
}

TEST_F(Commands, MinimizeIconifiesAndTheRestoredWindowShowsTheLastState) {
  start_with_records();
  move(kOnMinimize);
  click(kOnMinimize);
  const auto clicked = Clock::now();
  set(Element::ovrmin, true);
  set(Element::minimize, false);
  set(Element::selmin, true);
  EXPECT_TRUE(shows(model, 1s)) << "no selected picture";

  ASSERT_TRUE(wait_until([&] { return launcher->iconified(); }, 3s)) << "not minimized";
  const auto after = Clock::now() - clicked;
  EXPECT_GE(after, 450ms);
  EXPECT_LE(after, 1500ms);

  // The pointer stayed on the widget: restored, it shows the hover picture over the normal one.
  launcher->activate();
  ASSERT_TRUE(wait_until([&] { return !launcher->iconified(); }, 3s)) << "not restored";
  set(Element::selmin, false);
  set(Element::minimize, true);
  EXPECT_TRUE(shows(model)) << "the restored window does not show the widget lit";
  EXPECT_EQ(launcher->geometry().width, 500);
  EXPECT_TRUE(launcher->running());
}

TEST_F(Commands, AFolderWithShellCharactersStartsTheGameAndNothingElse) {
  const fs::path odd = root / "my games 'x' \"y\" $(touch pwned); `touch pwned2`";
  launcher = std::make_unique<Launcher>(odd);
  stage(odd);
  const auto rec = start_game();
  ASSERT_GE(rec.size(), 4u);
  EXPECT_EQ(rec[0], "+set");
  EXPECT_EQ(rec[3], "cwd=" + (odd / "GameData").string());
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name != "pwned" && name != "pwned2") << "a shell ran: " << entry.path();
  }
  EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
}

}  // namespace
}  // namespace quarvel::e2e
