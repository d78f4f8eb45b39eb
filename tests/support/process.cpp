#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

namespace quarvel::testing {

using namespace std::chrono_literals;

bool wait_until(const std::function<bool()>& ok, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (ok()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
}

std::vector<std::string> environment_with(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& x : changes) {
    const bool remove = x.starts_with('-');
    const std::string key = remove ? x.substr(1) + "=" : x.substr(0, x.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(key); });
    if (!remove) env.push_back(x);
  }
  return env;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const SpawnOptions& how) {
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!how.cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, how.cwd.c_str());
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  if (!how.output.empty()) {
    posix_spawn_file_actions_addopen(&fa, 1, how.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
  }
  if (how.close_other_fds) posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  pid_t pid = -1;
  const std::string& file = argv.front();
  const int rc = file.find('/') == std::string::npos
                     ? posix_spawnp(&pid, file.c_str(), &fa, nullptr, args.data(), envp.data())
                     : posix_spawn(&pid, file.c_str(), &fa, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : -1;
}

void stop(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto until = std::chrono::steady_clock::now() + grace;
  for (;;) {
    if (waitpid(pid, nullptr, WNOHANG) != 0) return;
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::optional<int> wait_exit(pid_t& pid, std::chrono::milliseconds timeout) {
  std::optional<int> status;
  wait_until(
      [&] {
        int s = 0;
        if (pid > 0 && waitpid(pid, &s, WNOHANG) == pid) {
          status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
          pid = -1;
        }
        return status.has_value();
      },
      timeout);
  return status;
}

int run(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
  const pid_t pid = spawn(argv, environment_with(extra_env));
  if (pid < 0) return -1;
  // A helper program that hangs must not hang the test: it gets 10 s.
  int status = 0;
  const bool ended = wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10s);
  if (!ended) {
    stop(pid);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quarvel::testing
