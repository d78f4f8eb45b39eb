// The requests the launcher hands to the shell, and how its paths are joined.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "fakes.h"

namespace quarvel::testing {
namespace {

using launch::ShellRequest;

// Runs the start and the help commands and returns the two requests made.
std::pair<ShellRequest, ShellRequest> requests_from(const std::string& dir, char separator) {
  Rig rig(dir, separator);
  rig.launcher.Timer4_Timer();
  EXPECT_THROW(rig.launcher.Timer3_Timer(), ProgramEnded);
  EXPECT_EQ(rig.shell.requests.size(), 2u);
  return {rig.shell.requests.at(1), rig.shell.requests.at(0)};
}

TEST(Requests, GameAndManualExactly) {
  const auto [game, manual] = requests_from("/home/a/Quarvel", '/');
  EXPECT_EQ(game, (ShellRequest{NativeHandle{0x4242}, "open", "/home/a/Quarvel/GameData/vivu.exe",
                                "+set fs_game voskbase", "/home/a/Quarvel/GameData", 1}));
  EXPECT_EQ(manual,
            (ShellRequest{NativeHandle{0x4242}, "open",
                          "/home/a/Quarvel/GameData/voskbase/documentation/manual.doc",
                          std::nullopt, "/home/a/Quarvel/GameData/voskbase/documentation/", 1}));
}

TEST(Requests, NoParametersIsNotEmptyParameters) {
  const auto [game, manual] = requests_from("/q", '/');
  EXPECT_FALSE(manual.parameters.has_value());
  ShellRequest with_empty = manual;
  with_empty.parameters = "";
  EXPECT_NE(with_empty, manual);
}

TEST(Requests, RootGivesTwoSeparatorsInARow) {
  const auto [game, manual] = requests_from("/", '/');
  EXPECT_EQ(game.file, "//GameData/vivu.exe");
  EXPECT_EQ(game.directory, "//GameData");
  EXPECT_EQ(manual.directory, "//GameData/voskbase/documentation/");

  const auto [wgame, wmanual] = requests_from("C:\\", '\\');
  EXPECT_EQ(wgame.file, "C:\\\\GameData\\vivu.exe");
  EXPECT_EQ(wgame.directory, "C:\\\\GameData");
  EXPECT_EQ(wmanual.file, "C:\\\\GameData\\voskbase\\documentation\\manual.doc");
  EXPECT_EQ(wmanual.directory, "C:\\\\GameData\\voskbase\\documentation\\");
}

TEST(Requests, SpacesAndOddCharactersPassUnquoted) {
  const auto [game, manual] = requests_from("/srv/My Games/it's $(x); `y`", '/');
  EXPECT_EQ(game.file, "/srv/My Games/it's $(x); `y`/GameData/vivu.exe");
  EXPECT_EQ(game.parameters, "+set fs_game voskbase");
  EXPECT_EQ(manual.directory, "/srv/My Games/it's $(x); `y`/GameData/voskbase/documentation/");

  const auto [wgame, wmanual] = requests_from("D:\\Program Files\\Quarvel", '\\');
  EXPECT_EQ(wgame.file, "D:\\Program Files\\Quarvel\\GameData\\vivu.exe");
  EXPECT_EQ(wgame.directory, "D:\\Program Files\\Quarvel\\GameData");
}

TEST(Paths, JoiningIsPlainConcatenation) {
  EXPECT_EQ(join_path("/a/b", "\\Install\\hover.wav", '/'), "/a/b/Install/hover.wav");
  EXPECT_EQ(join_path("/", "\\Install\\hover.wav", '/'), "//Install/hover.wav");
  EXPECT_EQ(join_path("C:\\", "\\Install\\open.wav", '\\'), "C:\\\\Install\\open.wav");
  EXPECT_EQ(join_path("/a b/c d", "\\Install\\x.wav", '/'), "/a b/c d/Install/x.wav");
  EXPECT_EQ(join_path("/a/./b/../c", "\\x", '/'), "/a/./b/../c/x") << "no normalisation";
  // Backslashes in the directory itself belong to it and stay.
  EXPECT_EQ(join_path("/odd\\name", "\\x", '/'), "/odd\\name/x");
}

TEST(Paths, ApplicationDirectoryIsTheFolderOfThisExecutable) {
  const std::string dir = application_directory();
  ASSERT_FALSE(dir.empty());
  // An absolute path: "/..." on Linux, "X:\..." on Windows.
  if (kNativeSeparator == '/') {
    EXPECT_EQ(dir.front(), '/');
  } else {
    EXPECT_EQ(dir.substr(1, 2), ":\\");
  }
  EXPECT_NE(dir.back(), kNativeSeparator);
  EXPECT_EQ(application_path("\\quarvel_core_tests"),
            dir + kNativeSeparator + "quarvel_core_tests");
}

}  // namespace
}  // namespace quarvel::testing
