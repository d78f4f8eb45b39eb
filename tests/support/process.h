// Programs a test starts and ends: without a shell, with the environment and
// the streams it chooses, never left running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarvel::testing {

// Polls `ok` every few milliseconds until it holds or `timeout` passes.
bool wait_until(const std::function<bool()>& ok, std::chrono::milliseconds timeout);

// This process's environment with `changes` made: "NAME=value" sets NAME,
// "-NAME" removes it.
std::vector<std::string> environment_with(const std::vector<std::string>& changes);

struct SpawnOptions {
  std::filesystem::path cwd{};     // empty: ours
  std::filesystem::path output{};  // a file for stdout and stderr (truncated); empty: ours
  bool close_other_fds = true;     // pass on no descriptor of ours beyond 0, 1 and 2
};
// Starts a program without a shell, stdin from /dev/null: argv[0] as given
// when it holds a '/', else looked up on PATH. Its pid, or -1.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const SpawnOptions& how = {});

// Asks a child to end (SIGTERM), kills it if it still runs after `grace`, and
// reaps it.
void stop(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(1));

// Waits for the child `pid` to end: its exit status (128 + signal if killed),
// with `pid` set to -1; nullopt if it still runs after `timeout`.
std::optional<int> wait_exit(pid_t& pid, std::chrono::milliseconds timeout);

// Runs a program (no shell) and waits for it; returns its exit status, or -1.
int run(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});

}  // namespace quarvel::testing
