// vivu.exe, the stand-in for the host game. It shows how it was started: the
// arguments and the working directory go to stdout and to `vivu-started.log`
// in the working directory. If QUARVEL_STUB_RECORD names a file, it also
// writes there, for tests:
//   one line per argument after argv[0]
//   cwd=<working directory>
//   fds=<open descriptors, ascending, comma-separated>
//   sid=<session id>==pid   (or sid=<session id>!=pid when not a session leader)
// The record is written beside its final name and renamed into place, so a
// reader never sees half of it.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "how_started.h"

namespace {

using quarvel::stub::open_descriptors;
using quarvel::stub::working_directory;

std::string join(const std::vector<int>& numbers) {
  std::string text;
  for (const int n : numbers) {
    if (!text.empty()) text.push_back(',');
    text += std::to_string(n);
  }
  return text;
}

bool write_record(const std::string& path, const std::string& content) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) return false;
  }
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<int> fds = open_descriptors();
  const std::string cwd = working_directory();
  const pid_t pid = getpid();
  const pid_t sid = getsid(0);

  std::string summary = "vivu.exe started in \"" + cwd + "\" with";
  if (argc <= 1) summary += " no arguments";
  for (int i = 1; i < argc; ++i) summary += std::string(" \"") + argv[i] + "\"";

  std::cout << summary << '\n' << std::flush;
  std::ofstream("vivu-started.log", std::ios::binary | std::ios::app) << summary << '\n';

  if (const char* record = std::getenv("QUARVEL_STUB_RECORD"); record != nullptr && *record) {
    std::string content;
    for (int i = 1; i < argc; ++i) content += std::string(argv[i]) + '\n';
    content += "cwd=" + cwd + '\n';
    content += "fds=" + join(fds) + '\n';
    content += "sid=" + std::to_string(sid) + (sid == pid ? "==pid" : "!=pid") + '\n';
    if (!write_record(record, content)) return 1;
  }
  return 0;
}
