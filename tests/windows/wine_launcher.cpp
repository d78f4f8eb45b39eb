#include "wine_launcher.h"

#include <sys/wait.h>

#include <fstream>
#include <stdexcept>

#include "desktop.h"

namespace quarvel::wine_e2e {

namespace {

using e2e::wait_until;

// Starts `args` under tests/windows/wine-run.sh in `cwd`, stdin from /dev/null
// and stdout and stderr to `log` (or /dev/null).
pid_t spawn_wine(const std::vector<std::string>& args, const std::vector<std::string>& extra_env,
                 const fs::path& cwd, const fs::path& log) {
  std::vector<std::string> argv{QUARVEL_WINE_RUN};
  argv.insert(argv.end(), args.begin(), args.end());
  return e2e::spawn(argv, e2e::environment_with(extra_env),
                    {.cwd = cwd, .output = log.empty() ? fs::path("/dev/null") : log});
}

}  // namespace

fs::path windows_program() {
  return QUARVEL_WINDOWS_PROGRAM;
}
fs::path stub_game() {
  return QUARVEL_STUB_GAME;
}
fs::path doc_recorder() {
  return QUARVEL_DOC_RECORDER;
}
fs::path shell_box() {
  return QUARVEL_SHELL_BOX;
}
fs::path window_actions() {
  return QUARVEL_WINDOW_ACTIONS;
}

int run_under_wine(const std::vector<std::string>& args) {
  const pid_t pid = spawn_wine(args, {}, {}, {});
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string dos_path(const fs::path& unix_path) {
  std::string out = "Z:" + fs::absolute(unix_path).lexically_normal().string();
  for (char& c : out) c = c == '/' ? '\\' : c;
  return out;
}

std::vector<std::string> read_lines(const fs::path& file, std::size_t lines,
                                    std::chrono::milliseconds timeout) {
  std::vector<std::string> out;
  wait_until(
      [&] {
        out.clear();
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out.size() >= lines;
      },
      timeout);
  return out;
}

WineLauncher::WineLauncher(fs::path folder) : folder_(std::move(folder)) {
  const fs::path docs = folder_ / "GameData" / "voskbase" / "documentation";
  fs::create_directories(docs);
  fs::copy_file(windows_program(), folder_ / "Quarvel.exe");
  fs::copy_file(stub_game(), folder_ / "GameData" / "vivu.exe");
  std::ofstream(docs / "manual.doc") << "The player's manual\n";
}

bool WineLauncher::add_cues() {
  return e2e::run({QUARVEL_CUEGEN, (folder_ / "Install").string()}) == 0;
}

WineLauncher::~WineLauncher() {
  e2e::stop(pid_, 0ms);
}

void WineLauncher::start(const std::vector<std::string>& env, const fs::path& log,
                         const std::string& program) {
  pid_ = spawn_wine({program}, env, folder_, log);
  if (pid_ < 0) throw std::runtime_error("cannot start Quarvel.exe under Wine");
}

}  // namespace quarvel::wine_e2e
