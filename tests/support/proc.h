// What the kernel tells of running processes, read from /proc: how tests see
// what a program leaves behind and what it costs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

namespace quarvel::testing {

// The parent and the state letter (R, S, Z, ...) of a process.
std::optional<std::pair<pid_t, char>> parent_and_state(pid_t pid);
// The direct children of `pid` and their state letters.
std::map<pid_t, char> children_of(pid_t pid);
// The number after `key` (such as "VmHWM:" in KiB, or "Threads:") in
// /proc/PID/status; -1 where there is none.
long status_field(pid_t pid, std::string_view key);
// The CPU time each thread alive now has used, in nanoseconds, by thread id.
std::map<pid_t, std::int64_t> thread_cpu_ns(pid_t pid);

}  // namespace quarvel::testing
