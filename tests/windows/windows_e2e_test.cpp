// The cross-built Quarvel.exe under Wine on a private X desktop, driven the
// way a person would: what the window looks like, hover, the start, help,
// minimize and quit commands, closing it from outside (during a cue, and in
// the middle of a shell request), and a window that stays where it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

#include "fixture.h"
#include "wine_launcher.h"

namespace quarvel::wine_e2e {
namespace {

using e2e::desktop;
using namespace quarvel::testing;
using E = Element;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The MCI command strings the program sent, from a log made with WINEDEBUG=+mci.
std::vector<std::string> mci_commands(const fs::path& log) {
  std::vector<std::string> out;
  std::ifstream in(log);
  const std::string marker = "trace:mci:mciSendStringW (L\"";
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find(marker);
    const auto end = line.rfind("\", ");
    if (at == std::string::npos || end == std::string::npos || end < at) continue;
    out.push_back(line.substr(at + marker.size(), end - at - marker.size()));
  }
  return out;
}

// How often the sound player was closed after the last cue was started, or
// -1 if none was (Wine's own nested commands, such as its attempt to open a
// device named like our alias when no cue could be opened, are not ours to count).
int closes_after_last_play(const std::vector<std::string>& commands) {
  const auto last_play = std::find_if(commands.rbegin(), commands.rend(),
                                      [](const auto& c) { return c.starts_with("play mci_1"); });
  if (last_play == commands.rend()) return -1;
  return static_cast<int>(std::count(commands.rbegin(), last_play, "close mci_1"));
}

// The file's lines that hold `text`.
int lines_with(const fs::path& file, const std::string& text) {
  std::ifstream in(file);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.find(text) != std::string::npos;
  return n;
}

// The system commands of the items drawn in a menu, from a log made with WINEDEBUG=+menu.
std::set<unsigned> drawn_menu_items(const fs::path& log) {
  std::set<unsigned> out;
  std::ifstream in(log);
  const std::string marker = "trace:menu:draw_menu_item { ID=0x";
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find(marker);
    if (at != std::string::npos)
      out.insert(std::stoul(line.substr(at + marker.size()), nullptr, 16));
  }
  out.erase(0);  // separators
  return out;
}

// WM_SYSCOMMAND's commands, for the system menu's items.
constexpr unsigned kScSize = 0xF000, kScMove = 0xF010, kScMinimize = 0xF020, kScMaximize = 0xF030,
                   kScClose = 0xF060, kScRestore = 0xF120;

// Does to the launcher's window what another program would (tests/windows/window_actions.cpp).
int act_on_window(const std::vector<std::string>& action) {
  std::vector<std::string> args{window_actions().string()};
  args.insert(args.end(), action.begin(), action.end());
  return run_under_wine(args);
}

class WindowsLauncher : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    desktop();
    // The prefix's handler for ".doc" is the recording stub, and the shell
    // shows its box during a request from a launcher started to have it.
    ASSERT_EQ(run_under_wine({doc_recorder().string(), "--register"}), 0);
    ASSERT_EQ(run_under_wine({"regsvr32", "/s", dos_path(shell_box())}), 0);
  }
  static void TearDownTestSuite() {
    run_under_wine({"regsvr32", "/u", "/s", dos_path(shell_box())});
  }

  void SetUp() override {
    desktop().pointer().move(5, 5);  // away from where the window appears
    root = e2e::make_temp_folder("quarvel-win-");
  }

  void TearDown() override {
    launcher.reset();
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void stage(const std::string& name = "Quarvel") {
    launcher = std::make_unique<WineLauncher>(root / name);
  }

  void start(const std::vector<std::string>& env = {}, const fs::path& log = {}) {
    launcher->start(env, log);
    ASSERT_TRUE(launcher->wait_for_window()) << "no window appeared";
  }

  ::testing::AssertionResult shows(const WindowModel& model,
                                   std::chrono::milliseconds timeout = 5s) {
    return e2e::window_shows(*launcher, model, timeout);
  }

  void move(At at) { e2e::move_in(*launcher, at); }
  void click(At at) { e2e::click_in(*launcher, at); }
  // Moves the pointer onto a control to light it before a click. Now and then
  // (twice in about 200 first moves on a busy machine, in tests old and new)
  // Wine lets the single motion event of the first move after the window
  // appears go by: a person's hand moves on, and so does this, by a pixel.
  ::testing::AssertionResult light(Element control) {
    const At at = hover_of(control).at();
    move(at);
    if (shows(lit_window(control), 2s)) return ::testing::AssertionSuccess();
    move({at.x + 1, at.y});
    return shows(lit_window(control));
  }

  // Lights the start button, clicks it and checks that the game got the
  // request and the launcher ended after Timer3's 1.2 s. `folder` is the
  // launcher's folder as Windows names it (by default its Z: path).
  void start_the_game(std::string folder = {}) {
    if (folder.empty()) folder = dos_path(launcher->folder());
    ASSERT_TRUE(light(E::start));
    const auto clicked = std::chrono::steady_clock::now();
    click(kOnStart);
    const auto status = launcher->wait_exit(10s);
    const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - clicked);
    ASSERT_EQ(status, 0) << "the launcher did not end";
    EXPECT_GE(after.count(), 1150) << "ended before Timer3's 1200 ms";
    EXPECT_LE(after.count(), 2500) << "ended long after Timer3's 1200 ms";

    const auto record = read_lines(launcher->game_record(), 2);
    ASSERT_EQ(record.size(), 2u) << "the stub game did not record its start";
    const std::string command_line = record[0];
    EXPECT_TRUE(command_line.ends_with(" +set fs_game voskbase")) << command_line;
    EXPECT_NE(lower(command_line).find("\\gamedata\\vivu.exe"), std::string::npos)
        << command_line << " does not start GameData\\vivu.exe";
    std::string game_data = folder + (folder.ends_with('\\') ? "" : "\\") + "GameData";
    EXPECT_EQ(lower(record[1]), lower(game_data)) << "working directory";
  }

  // Clicks the button whose normal element is `button`, with the shell's box
  // shown during its command's request, and closes the launcher while the box
  // is up, once with WM_CLOSE and once by logging off, each in a folder of its
  // own. The close reaches the window through the box's own message loop, in
  // the middle of the request: the launcher unloads once and ends cleanly, and
  // the request's program (its `record`) was started once.
  void close_during_the_request(Element button, fs::path (WineLauncher::*record)() const) {
    for (const std::string how : {"close-in-box", "end-session-in-box"}) {
      SCOPED_TRACE(how);
      stage(how);
      ASSERT_TRUE(launcher->add_cues());
      const fs::path log = root / (how + ".log");
      start({"WINEDEBUG=+mci", "QUARVEL_TEST_SHELL_BOX=1"}, log);
      ASSERT_TRUE(light(button));
      click(hover_of(button).at());
      ASSERT_EQ(act_on_window({how}), 0) << "no box during the request, or the close was refused";
      ASSERT_EQ(launcher->wait_exit(10s), 0)
          << "the launcher did not end cleanly (log: " << log << ")";
      EXPECT_EQ(lines_with(log, "wine: Unhandled"), 0)
          << "the launcher crashed (log: " << log << ")";
      EXPECT_EQ(closes_after_last_play(mci_commands(log)), 1)
          << "the unload step did not close the player exactly once (log: " << log << ")";
      EXPECT_EQ(read_lines(((*launcher).*record)(), 3, 1s).size(), 2u)
          << "the request's program was not started exactly once";
    }
  }

  fs::path root;
  std::unique_ptr<WineLauncher> launcher;
};

TEST_F(WindowsLauncher, StartsCentredWithoutFrame500x480TitledQuarvel) {
  stage();
  start();
  const Rect g = launcher->geometry();
  EXPECT_EQ(g.width, 500);
  EXPECT_EQ(g.height, 480);
  EXPECT_EQ(g.left, (e2e::Desktop::kWidth - 500) / 2);
  EXPECT_EQ(g.top, (e2e::Desktop::kHeight - 480) / 2);
  EXPECT_EQ(launcher->name(), "Quarvel");
  EXPECT_EQ(launcher->frame_extents(), (std::vector<long>{0, 0, 0, 0})) << "the window has a frame";
}

TEST_F(WindowsLauncher, CarriesBothImagesOfTheProgramIcon) {
  stage();
  start();
  const auto decoded = assets::decode_icon(assets::icon_file_image());
  ASSERT_TRUE(decoded);
  const auto icons = launcher->icons();
  for (const assets::Image* want : {&decoded->small, &decoded->large}) {
    const auto it = std::find_if(icons.begin(), icons.end(),
                                 [&](const auto& i) { return i.width == want->width; });
    ASSERT_NE(it, icons.end()) << "no " << want->width << " px icon on the window";
    ASSERT_EQ(it->height, want->height);
    std::vector<std::uint32_t> opaque;
    for (std::uint32_t p : want->pixels) opaque.push_back(0xFF000000u | p);
    EXPECT_EQ(it->argb, opaque) << "the " << want->width << " px icon differs";
  }
}

TEST_F(WindowsLauncher, ShowsTheBackgroundAndTheFiveNormalElementsPixelForPixel) {
  stage();
  start();
  EXPECT_TRUE(shows(WindowModel{}));
}

TEST_F(WindowsLauncher, HoverLightsAButtonAndTheBackgroundDarkensIt) {
  stage();
  start();
  move(kOnHelp);
  EXPECT_TRUE(shows(lit_window(E::help)));
  move(kOnBackground);
  EXPECT_TRUE(shows(WindowModel{}));
  move(kOnClose);
  EXPECT_TRUE(shows(lit_window(E::close_b)));
}

TEST_F(WindowsLauncher, StartRunsTheGameWithTheModSelectedAndEnds) {
  stage();
  start();
  start_the_game();
}

TEST_F(WindowsLauncher, StartFromAFolderWithSpaces) {
  stage("My Games/Quarvel Mod");
  start();
  start_the_game();
}

TEST_F(WindowsLauncher, StartFromAFolderOutsideTheAnsiCodePage) {
  stage("Кварвел Ωμέγα");
  start();
  start_the_game();
}

// A launcher at the root of a drive: its folder is "Q:\", so every path has
// two backslashes in a row ("Q:\\GameData\vivu.exe"), which Windows reads as one.
TEST_F(WindowsLauncher, StartFromTheRootOfADrive) {
  stage("drive");
  const char* prefix = std::getenv("WINEPREFIX");
  const fs::path drive = fs::path(prefix ? prefix : QUARVEL_WINEPREFIX) / "dosdevices" / "q:";
  fs::remove(drive);
  fs::create_directory_symlink(launcher->folder(), drive);
  struct Unmap {
    fs::path link;
    ~Unmap() { fs::remove(link); }
  } unmap{drive};
  launcher->start({}, {}, "Q:\\Quarvel.exe");
  ASSERT_TRUE(launcher->wait_for_window()) << "no window appeared";
  start_the_game("Q:\\");
}

TEST_F(WindowsLauncher, HelpHandsTheManualToTheDocHandlerAndStays) {
  stage();
  start();
  ASSERT_TRUE(light(E::help));
  click(kOnHelp);
  const fs::path docs = launcher->folder() / "GameData" / "voskbase" / "documentation";
  const auto record = read_lines(launcher->manual_record(), 2);
  ASSERT_EQ(record.size(), 2u) << "the .doc handler was not started";
  EXPECT_NE(lower(record[0]).find(lower(dos_path(docs / "manual.doc"))), std::string::npos)
      << record[0];
  EXPECT_EQ(lower(record[1]), lower(dos_path(docs))) << "working directory";
  EXPECT_TRUE(launcher->running()) << "the launcher ended after help";
  move(kOnBackground);
  EXPECT_TRUE(shows(WindowModel{}));
}

TEST_F(WindowsLauncher, MinimizeIconifiesAndTheDesktopRestoresIt) {
  stage();
  start();
  ASSERT_TRUE(light(E::minimize));
  click(kOnMinimize);
  EXPECT_TRUE(e2e::wait_until([&] { return launcher->iconified(); }, 3s)) << "not minimized";
  EXPECT_TRUE(launcher->running());
  launcher->activate();
  ASSERT_TRUE(e2e::wait_until([&] { return !launcher->iconified(); }, 3s)) << "not restored";
  // Timer1 showed the normal widget again; its hover element still lies above it.
  WindowModel restored = lit_window(E::minimize);
  restored.set_visible(E::minimize, true);
  EXPECT_TRUE(shows(restored));
}

TEST_F(WindowsLauncher, QuitEndsWithoutTheUnloadStep) {
  stage();
  const fs::path log = root / "wine.log";
  start({"WINEDEBUG=+mci"}, log);
  ASSERT_TRUE(light(E::quit));
  click(kOnQuit);
  ASSERT_EQ(launcher->wait_exit(5s), 0);
  const auto commands = mci_commands(log);
  ASSERT_GE(std::count(commands.begin(), commands.end(), "play mci_1 from 0"), 2)
      << "the open and back cues were not played (log: " << log << ")";
  EXPECT_EQ(closes_after_last_play(commands), 0) << "the unload step ran";
}

TEST_F(WindowsLauncher, TakesNoKeyboardInput) {
  stage();
  start();
  launcher->activate();
  for (const char* key : {"Return", "space", "Escape", "Tab", "Down"}) desktop().key(key);
  EXPECT_TRUE(launcher->running());
  EXPECT_TRUE(shows(WindowModel{}));
}

TEST_F(WindowsLauncher, AltF4RunsTheUnloadStepAndEnds) {
  stage();
  const fs::path log = root / "wine.log";
  start({"WINEDEBUG=+mci"}, log);
  launcher->activate();
  desktop().key("alt+F4");
  ASSERT_EQ(launcher->wait_exit(5s), 0);
  const auto commands = mci_commands(log);
  ASSERT_FALSE(commands.empty()) << "no MCI command seen in " << log;
  EXPECT_EQ(closes_after_last_play(commands), 1) << "the unload step did not close the player once";
}

TEST_F(WindowsLauncher, TheDesktopsCloseDuringTheStartCueUnloadsAndDropsThePendingStart) {
  stage();
  ASSERT_TRUE(launcher->add_cues());
  const fs::path log = root / "wine.log";
  start({"WINEDEBUG=+mci"}, log);
  ASSERT_TRUE(light(E::start));
  click(kOnStart);                      // the start cue sounds for 1.4 s, Timer3 runs for 1.2 s ...
  launcher->close_by_window_manager();  // ... and the window is closed before either ends
  ASSERT_EQ(launcher->wait_exit(5s), 0);
  const auto commands = mci_commands(log);
  const auto last_open = std::find_if(commands.rbegin(), commands.rend(),
                                      [](const auto& c) { return c.starts_with("open "); });
  ASSERT_NE(last_open, commands.rend());
  EXPECT_NE(last_open->find("start.wav"), std::string::npos) << "the start cue was not the last";
  EXPECT_EQ(closes_after_last_play(commands), 1) << "the unload step did not close the player once";
  EXPECT_TRUE(read_lines(launcher->game_record(), 2, 2s).empty()) << "the pending start ran";
}

TEST_F(WindowsLauncher, LogOffRunsTheUnloadStepAndEnds) {
  stage();
  const fs::path log = root / "wine.log";
  start({"WINEDEBUG=+mci"}, log);
  // Wine's end of session: WM_QUERYENDSESSION, then WM_ENDSESSION to every window.
  ASSERT_EQ(run_under_wine({"wineboot", "--end-session"}), 0);
  ASSERT_EQ(launcher->wait_exit(10s), 0) << "the launcher outlived the session";
  EXPECT_EQ(closes_after_last_play(mci_commands(log)), 1);
}

TEST_F(WindowsLauncher, ACloseOrLogOffInsideTheManualsRequestUnloadsOnceAndEnds) {
  close_during_the_request(E::help, &WineLauncher::manual_record);
}

TEST_F(WindowsLauncher, ACloseOrLogOffInsideTheGamesRequestUnloadsOnceAndStartsTheGameOnce) {
  close_during_the_request(E::start, &WineLauncher::game_record);
}

TEST_F(WindowsLauncher, TheSystemMenuOffersNoMoveSizeOrMaximize) {
  stage();
  const fs::path log = root / "wine.log";
  start({"WINEDEBUG=+menu"}, log);
  // What Alt+Space asks for (the test desktop's window manager keeps that key for its own menu).
  ASSERT_EQ(act_on_window({"syscommand", "F100"}), 0);
  const bool drawn = e2e::wait_until([&] { return drawn_menu_items(log).contains(kScClose); }, 5s);
  desktop().key("Escape");
  ASSERT_TRUE(drawn) << "the system menu did not open (log: " << log << ")";
  const auto items = drawn_menu_items(log);
  for (unsigned kept : {kScRestore, kScMinimize, kScClose}) {
    EXPECT_TRUE(items.contains(kept)) << std::hex << kept << " is missing";
  }
  for (unsigned gone : {kScMove, kScSize, kScMaximize}) {
    EXPECT_FALSE(items.contains(gone)) << std::hex << gone << " is offered";
  }
  EXPECT_TRUE(launcher->running());
}

TEST_F(WindowsLauncher, RefusesMovingSizingAndMaximizingHoweverAsked) {
  stage();
  start();
  const Rect placed = launcher->geometry();
  // Move and Size from the keyboard, Size from a corner, Maximize, and Maximize
  // as a double click on a caption asks for it (the low four bits are the system's).
  for (const char* command : {"F010", "F000", "F008", "F030", "F032"}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(act_on_window({"syscommand", command}), 0);
    for (const char* key : {"Right", "Right", "Down", "Down", "Return"}) desktop().key(key);
    EXPECT_FALSE(e2e::wait_until([&] { return launcher->geometry() != placed; }, 500ms))
        << "the window moved or changed its size";
  }
  EXPECT_FALSE(launcher->iconified());
  EXPECT_TRUE(shows(WindowModel{}));
}

TEST_F(WindowsLauncher, MinimizeRestoreAndCloseStillWorkThroughTheSystemCommand) {
  stage();
  const fs::path log = root / "wine.log";
  start({"WINEDEBUG=+mci"}, log);
  const Rect placed = launcher->geometry();
  ASSERT_EQ(act_on_window({"syscommand", "F020"}), 0);
  EXPECT_TRUE(e2e::wait_until([&] { return launcher->iconified(); }, 3s)) << "not minimized";
  ASSERT_EQ(act_on_window({"syscommand", "F120"}), 0);
  EXPECT_TRUE(e2e::wait_until([&] { return !launcher->iconified(); }, 3s)) << "not restored";
  EXPECT_EQ(launcher->geometry(), placed);
  EXPECT_TRUE(shows(WindowModel{}));
  ASSERT_EQ(act_on_window({"syscommand", "F060"}), 0);
  ASSERT_EQ(launcher->wait_exit(5s), 0) << "not closed";
  EXPECT_EQ(closes_after_last_play(mci_commands(log)), 1);
}

}  // namespace
}  // namespace quarvel::wine_e2e
