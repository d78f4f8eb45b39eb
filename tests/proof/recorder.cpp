// A stand-in for every program the launcher may start (the game, the desktop's
// opener) and a tripwire for those it must never start (a shell, touch, wine).
// It writes how it was started into $QUARVEL_PROOF_RECORDS/<name>.<pid>.rec:
//   program=<its file name>   pid=<pid>   sid=<session id>
//   arg=<argv[i]>             (one line per argument, argv[0] first)
//   cwd=<working directory>   fds=<open descriptors, ascending>
// Values are percent-escaped, so paths with newlines survive. The file is
// written beside its final name and renamed into place.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "how_started.h"

namespace {

using quarvel::stub::open_descriptors;
using quarvel::stub::working_directory;

std::string escaped(const std::string& s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : s) {
    if (c == '%' || c < 0x20 || c == 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<int> fds = open_descriptors();
  const char* dir = std::getenv("QUARVEL_PROOF_RECORDS");
  if (dir == nullptr || *dir == '\0') return 0;
  std::string name = argc > 0 ? argv[0] : "?";
  name = name.substr(name.rfind('/') + 1);

  std::string text = "program=" + escaped(name) + "\npid=" + std::to_string(getpid()) +
                     "\nsid=" + std::to_string(getsid(0)) + '\n';
  for (int i = 0; i < argc; ++i) text += "arg=" + escaped(argv[i]) + '\n';
  text += "cwd=" + escaped(working_directory()) + "\nfds=";
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (i) text += ',';
    text += std::to_string(fds[i]);
  }
  text += '\n';

  const std::string final_path =
      std::string(dir) + '/' + name + '.' + std::to_string(getpid()) + ".rec";
  const std::string partial = final_path + ".partial";
  FILE* f = std::fopen(partial.c_str(), "wb");
  if (f == nullptr) return 1;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) return 1;
  return std::rename(partial.c_str(), final_path.c_str()) == 0 ? 0 : 1;
}
