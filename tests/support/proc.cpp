#include "proc.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "files.h"

namespace quarvel::testing {
namespace {

std::string proc(pid_t pid, const std::string& file) {
  return read_file("/proc/" + std::to_string(pid) + "/" + file);
}

// The numbered entries of a /proc folder.
template <typename F>
void for_each_number_in(const std::filesystem::path& folder, F f) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const pid_t n = std::atoi(entry.path().filename().c_str());
    if (n > 0) f(n);
  }
}

}  // namespace

std::optional<std::pair<pid_t, char>> parent_and_state(pid_t pid) {
  const std::string stat = proc(pid, "stat");
  const auto close = stat.rfind(')');  // the name before it may hold anything
  if (close == std::string::npos || close + 4 > stat.size()) return std::nullopt;
  std::istringstream rest(stat.substr(close + 2));
  char state = '?';
  pid_t ppid = 0;
  rest >> state >> ppid;
  return std::make_pair(ppid, state);
}

std::map<pid_t, char> children_of(pid_t pid) {
  std::map<pid_t, char> out;
  for_each_number_in("/proc", [&](pid_t p) {
    const auto ps = parent_and_state(p);
    if (ps && ps->first == pid) out[p] = ps->second;
  });
  return out;
}

long status_field(pid_t pid, std::string_view key) {
  const std::string status = proc(pid, "status");
  const auto at = status.find(key);
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + key.size());
}

std::map<pid_t, std::int64_t> thread_cpu_ns(pid_t pid) {
  std::map<pid_t, std::int64_t> times;
  for_each_number_in("/proc/" + std::to_string(pid) + "/task", [&](pid_t tid) {
    const std::string stat = proc(pid, "task/" + std::to_string(tid) + "/schedstat");
    if (!stat.empty()) times[tid] = std::atoll(stat.c_str());
  });
  return times;
}

}  // namespace quarvel::testing
