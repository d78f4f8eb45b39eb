// The launcher's two outward requests, as plain values: start the host game
// with the modification selected, and open the player's manual. The core
// builds them; a backend (launch/<backend>_shell.cpp) carries them out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/types.h"

namespace quarvel::launch {

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

struct ShellRequest {
  NativeHandle owner = NativeHandle::none;
  std::string operation;                  // "open"
  std::string file;                       // what to open
  std::optional<std::string> parameters;  // absent is not the same as empty
  std::string directory;                  // working directory
  int show_command = kShowNormal;

  bool operator==(const ShellRequest&) const = default;
};

inline constexpr std::string_view kGameLiteral = "\\GameData\\vivu.exe";
inline constexpr std::string_view kGameParameters = "+set fs_game voskbase";
inline constexpr std::string_view kGameDirectoryLiteral = "\\GameData";
inline constexpr std::string_view kManualLiteral =
    "\\GameData\\voskbase\\documentation\\manual.doc";
inline constexpr std::string_view kManualDirectoryLiteral = "\\GameData\\voskbase\\documentation\\";

// Both take the application directory and the separator, so every platform's
// request can be built and checked anywhere.
ShellRequest launch_game_request(std::string_view app_dir, char separator, NativeHandle owner);
ShellRequest open_manual_request(std::string_view app_dir, char separator, NativeHandle owner);

// Carries out requests on the desktop. Never waits for what it starts and never
// reports an outcome.
class Shell {
 public:
  virtual ~Shell() = default;
  virtual void execute(const ShellRequest& request) = 0;
};

// The platform's shell (defined by the backend built for this platform).
std::unique_ptr<Shell> make_platform_shell();

}  // namespace quarvel::launch
