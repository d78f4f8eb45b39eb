// The application directory on Linux (base/paths.h): the folder of /proc/self/exe.
// Implemented: the folder of the program file itself, links resolved, read afresh on every call.
// Left out: any fallback without /proc: the launcher then looks in its working directory (".").
#include <unistd.h>

#include <string>
#include <vector>

#include "base/paths.h"

namespace quarvel {

std::string application_directory() {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return ".";
    if (static_cast<std::size_t>(n) < buf.size()) {
      std::string exe(buf.data(), static_cast<std::size_t>(n));
      const auto slash = exe.rfind('/');
      if (slash == std::string::npos) return ".";
      // The root keeps its separator; every other folder loses its trailing one.
      return slash == 0 ? std::string("/") : exe.substr(0, slash);
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace quarvel
