// The two launch requests as values, with either separator, at a root and with
// spaces in the application directory.
#include <gtest/gtest.h>

#include "launch/shell_request.h"

namespace quarvel::launch {
namespace {

constexpr NativeHandle kOwner = static_cast<NativeHandle>(0x5a17);

ShellRequest expected(std::string file, std::optional<std::string> parameters,
                      std::string directory) {
  return ShellRequest{kOwner, "open", std::move(file), std::move(parameters), std::move(directory),
                      1};
}

TEST(LaunchGameRequest, SlashSeparator) {
  EXPECT_EQ(
      launch_game_request("/opt/quarvel", '/', kOwner),
      expected("/opt/quarvel/GameData/vivu.exe", "+set fs_game voskbase", "/opt/quarvel/GameData"));
}

TEST(LaunchGameRequest, BackslashSeparator) {
  EXPECT_EQ(launch_game_request("C:\\Games\\Quarvel", '\\', kOwner),
            expected("C:\\Games\\Quarvel\\GameData\\vivu.exe", "+set fs_game voskbase",
                     "C:\\Games\\Quarvel\\GameData"));
}

TEST(LaunchGameRequest, RootGivesTwoSeparatorsInARow) {
  EXPECT_EQ(launch_game_request("/", '/', kOwner),
            expected("//GameData/vivu.exe", "+set fs_game voskbase", "//GameData"));
  EXPECT_EQ(launch_game_request("C:\\", '\\', kOwner),
            expected("C:\\\\GameData\\vivu.exe", "+set fs_game voskbase", "C:\\\\GameData"));
}

TEST(LaunchGameRequest, SpacesAreKeptWithoutQuotes) {
  EXPECT_EQ(launch_game_request("/home/pat/My Games/Quarvel 1.0", '/', kOwner),
            expected("/home/pat/My Games/Quarvel 1.0/GameData/vivu.exe", "+set fs_game voskbase",
                     "/home/pat/My Games/Quarvel 1.0/GameData"));
}

TEST(OpenManualRequest, SlashSeparatorHasNoParametersAndATrailingSeparator) {
  const ShellRequest r = open_manual_request("/opt/quarvel", '/', kOwner);
  EXPECT_EQ(r, expected("/opt/quarvel/GameData/voskbase/documentation/manual.doc", std::nullopt,
                        "/opt/quarvel/GameData/voskbase/documentation/"));
  // Absent parameters are not empty ones.
  EXPECT_FALSE(r.parameters.has_value());
  EXPECT_NE(r, expected(r.file, "", r.directory));
}

TEST(OpenManualRequest, BackslashSeparator) {
  EXPECT_EQ(open_manual_request("D:\\Quarvel", '\\', kOwner),
            expected("D:\\Quarvel\\GameData\\voskbase\\documentation\\manual.doc", std::nullopt,
                     "D:\\Quarvel\\GameData\\voskbase\\documentation\\"));
}

TEST(OpenManualRequest, Root) {
  EXPECT_EQ(open_manual_request("/", '/', kOwner),
            expected("//GameData/voskbase/documentation/manual.doc", std::nullopt,
                     "//GameData/voskbase/documentation/"));
  EXPECT_EQ(open_manual_request("C:\\", '\\', kOwner),
            expected("C:\\\\GameData\\voskbase\\documentation\\manual.doc", std::nullopt,
                     "C:\\\\GameData\\voskbase\\documentation\\"));
}

TEST(OpenManualRequest, Spaces) {
  EXPECT_EQ(
      open_manual_request("C:\\Program Files\\Quarvel", '\\', kOwner),
      expected("C:\\Program Files\\Quarvel\\GameData\\voskbase\\documentation\\manual.doc",
               std::nullopt, "C:\\Program Files\\Quarvel\\GameData\\voskbase\\documentation\\"));
}

}  // namespace
}  // namespace quarvel::launch
