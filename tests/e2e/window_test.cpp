// The real launcher's window on a real X desktop: where it is, what it is
// called, its icons, its pixels, and how the desktop closes it.
#include <gtest/gtest.h>

#include <algorithm>

#include "fixture.h"
#include "tests/support/files.h"

namespace quarvel::e2e {
namespace {

class Window : public LauncherTest {};

TEST_F(Window, StartsCentredBorderless500x480AndTitledQuarvel) {
  start();
  const Rect g = launcher->geometry();
  EXPECT_EQ(g.width, 500);
  EXPECT_EQ(g.height, 480);
  EXPECT_EQ(g.left, (Desktop::kWidth - 500) / 2);
  EXPECT_EQ(g.top, (Desktop::kHeight - 480) / 2);
  EXPECT_EQ(launcher->name(), "Quarvel");
  EXPECT_EQ(launcher->frame_extents(), (std::vector<long>{0, 0, 0, 0})) << "the window has a frame";
}

TEST_F(Window, CarriesBothIconImages) {
  start();
  const auto icons = launcher->icons();
  ASSERT_EQ(icons.size(), 2u);
  const auto decoded = assets::decode_icon(assets::icon_file_image());
  ASSERT_TRUE(decoded);
  const assets::Image* want[] = {&decoded->small, &decoded->large};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(icons[i].width, want[i]->width);
    EXPECT_EQ(icons[i].height, want[i]->height);
    std::vector<std::uint32_t> opaque;
    for (std::uint32_t p : want[i]->pixels) opaque.push_back(0xFF000000u | p);
    EXPECT_EQ(icons[i].argb, opaque) << "icon " << want[i]->width;
  }
}

TEST_F(Window, ShowsTheBackgroundAndTheFiveNormalElementsPixelForPixel) {
  // Alone in its folder: no picture file is anywhere near the program.
  ASSERT_EQ(std::distance(fs::directory_iterator(launcher->folder()), fs::directory_iterator()), 1);
  start();
  EXPECT_TRUE(shows(WindowModel{}));
}

TEST_F(Window, TheWindowManagersCloseEndsTheProgram) {
  // Also right after the window appears, again and again: a close that races
  // the program's start-up must still end it cleanly.
  for (int i = 0; i < 10; ++i) {
    start();
    launcher->close_by_window_manager();
    ASSERT_EQ(launcher->wait_exit(5s), 0) << "run " << i;
  }
}

TEST_F(Window, AWindowDestroyedByAnotherProgramEndsItToo) {
  start();
  ASSERT_EQ(run({"xdotool", "windowclose", std::to_string(launcher->window())}), 0);
  EXPECT_EQ(launcher->wait_exit(5s), 0);
}

TEST_F(Window, AltF4EndsTheProgram) {
  start();
  launcher->activate();
  desktop().key("alt+F4");
  EXPECT_EQ(launcher->wait_exit(5s), 0);
}

TEST_F(Window, SigtermEndsTheProgramCleanly) {
  start();
  kill(launcher->pid(), SIGTERM);
  EXPECT_EQ(launcher->wait_exit(5s), 0);
}

// A tiling window manager gives it a size of its own: the pictures stay at
// the top left, black beyond, and every later change shows.
TEST_F(Window, DrawsAgainAfterASizeChangeFromOutside) {
  start();
  ASSERT_TRUE(launcher->resize_from_outside(700, 600));
  const Shown resized{.width = 700, .height = 600};
  EXPECT_TRUE(shows(WindowModel{}, 3s, resized)) << "not drawn whole at the new size";
  move(kOnStart);
  EXPECT_TRUE(shows(lit_window(Element::start), 3s, resized)) << "no hover after the size change";
}

// A desktop at 200 %, as GNOME and KDE set it: the window keeps its size on
// the screen, every picture pixel a 2 x 2 block, and the pointer works on it
// as on the pictures.
TEST_F(Window, OnADesktopAt200PercentEveryPixelIsA2x2Block) {
  Desktop scaled(2048, 1536);
  scaled.set_resources("Xft.dpi:\t192\n");
  Launcher on_scaled(root / "scaled", scaled.display());
  on_scaled.start({"DISPLAY=" + scaled.display()});
  ASSERT_TRUE(on_scaled.wait_for_window());
  const Rect g = on_scaled.geometry();
  EXPECT_EQ(g, (Rect{524, 288, 1000, 960}));
  const Shown doubled{.scale = 2};
  EXPECT_TRUE(window_shows(on_scaled, WindowModel{}, 3s, doubled, scaled));
  scaled.pointer().move(g.left + 2 * kOnStart.x, g.top + 2 * kOnStart.y);
  EXPECT_TRUE(window_shows(on_scaled, lit_window(Element::start), 3s, doubled, scaled))
      << "start is not lit under the pointer";
  scaled.pointer().click(g.left + 2 * kOnQuit.x, g.top + 2 * kOnQuit.y);
  WindowModel pressed = lit_window(Element::start);  // no move over the background between
  pressed.set_visible(Element::quit, false);
  pressed.set_visible(Element::exit_press, true);
  EXPECT_TRUE(window_shows(on_scaled, pressed, 400ms, doubled, scaled)) << "quit is not pressed";
  EXPECT_EQ(on_scaled.wait_exit(5s), 0) << "quit did not end it";
}

TEST_F(Window, WhereTwiceTheSizeDoesNotFitItStays500x480) {
  desktop().set_resources("Xft.dpi:\t192\n");
  start();
  desktop().set_resources("");
  EXPECT_EQ(launcher->geometry(), (Rect{262, 144, 500, 480}));
  EXPECT_TRUE(shows(WindowModel{}));
}

// A launcher menu keeps no desktop awake: the screen still blanks and locks.
TEST_F(Window, LeavesTheScreenSaverOn) {
  start();
  EXPECT_TRUE(desktop().screen_saver_comes_on()) << "the launcher keeps the screen awake";
}

TEST_F(Window, WithoutADisplayEndsAtOnceSayingSo) {
  const fs::path runtime = root / "runtime";  // no Wayland socket in it
  fs::create_directory(runtime);
  launcher->start({"-DISPLAY", "-WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + runtime.string()},
                  root / "said.txt");
  const auto status = launcher->wait_exit(2s);
  ASSERT_TRUE(status.has_value()) << "it runs on with no display";
  EXPECT_NE(*status, 0);
  const std::string said = read_file(root / "said.txt");
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find("no display"), std::string::npos) << said;
}

TEST_F(Window, TakesNoKeyboardInput) {
  start();
  launcher->activate();
  desktop().key("Return");
  desktop().key("space");
  desktop().key("Escape");
  EXPECT_TRUE(launcher->running());
  EXPECT_TRUE(shows(WindowModel{}));
}

}  // namespace
}  // namespace quarvel::e2e
