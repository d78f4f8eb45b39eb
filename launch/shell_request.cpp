#include "launch/shell_request.h"

#include "base/paths.h"

namespace quarvel::launch {

ShellRequest launch_game_request(std::string_view app_dir, char separator, NativeHandle owner) {
  ShellRequest r;
  r.file = join_path(app_dir, kGameLiteral, separator);
  r.parameters = std::string(kGameParameters);
  r.directory = join_path(app_dir, kGameDirectoryLiteral, separator);
  r.owner = owner;
  r.operation = "open";
  r.show_command = kShowNormal;
  return r;
}

ShellRequest open_manual_request(std::string_view app_dir, char separator, NativeHandle owner) {
  ShellRequest r;
  r.file = join_path(app_dir, kManualLiteral, separator);
  r.parameters = std::nullopt;
  r.directory = join_path(app_dir, kManualDirectoryLiteral, separator);
  r.owner = owner;
  r.operation = "open";
  r.show_command = kShowNormal;
  return r;
}

}  // namespace quarvel::launch
