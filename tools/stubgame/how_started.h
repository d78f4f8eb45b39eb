// What a started program can tell of how it was started, for the stand-ins
// of the programs the launcher starts: the demo's game and the tests' recorder.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace quarvel::stub {

// The descriptors open now, ascending; called first thing, those it was given.
inline std::vector<int> open_descriptors() {
  std::vector<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return fds;
  const int own = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const int fd = std::atoi(entry->d_name);
    if (fd != own) fds.push_back(fd);
  }
  closedir(dir);
  std::sort(fds.begin(), fds.end());
  return fds;
}

// The working directory, however long; "?" if it cannot be read.
inline std::string working_directory() {
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return "?";
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

}  // namespace quarvel::stub
