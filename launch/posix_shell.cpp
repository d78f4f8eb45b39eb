// The shell on Linux (launch/shell_request.h), without any command shell.
// Implemented: the "open" operation. What a file is decides how, by its first bytes and its mode:
//  - a Windows program (a regular file that starts "MZ") goes to `wine`, with or without the
//    execute bit: unzip or a copy from a Windows disk leaves it off;
//  - a program the system runs itself (an ELF file, or a script that starts "#!") is started
//    directly when it has the execute bit;
//  - anything else (a document) goes to the desktop's opener `xdg-open`, execute bit or not: on an
//    NTFS or exFAT drive every file has it, the manual too.
// Left out: other operations, the owner window and the show command (the desktop places what
//   starts); any report of the outcome.
// Why it is so: every path and argument reaches the started program byte for byte. What we start
//   runs in a session of its own with default signal handling and only the standard streams, is
//   never waited for, and is reaped when it ends by a SIGCHLD handler that reaps only our own.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/shell_request.h"

extern char** environ;

namespace quarvel::launch {

namespace {

// The children we started and have not reaped yet. The SIGCHLD handler reaps
// exactly these, so children that other code of the process waits for are left
// alone, and nothing about it is inherited by what we start (a handler is reset
// by exec). The table only holds pids; it is safe to use from the handler.
constexpr std::size_t kMaxChildren = 1024;

static_assert(std::atomic<pid_t>::is_always_lock_free);

std::array<std::atomic<pid_t>, kMaxChildren> g_children;  // 0: free slot
struct sigaction g_previous_sigchld = {};

// Reaps the child in `slot` if it has ended, and frees the slot once the pid is
// no longer a child of ours (ended, or reaped by someone else).
void reap_slot(std::atomic<pid_t>& slot) {
  pid_t pid = slot.load();
  if (pid <= 0) return;
  int status = 0;
  const pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == pid || (r < 0 && errno == ECHILD)) slot.compare_exchange_strong(pid, 0);
}

void reap_ended_children() {
  for (auto& slot : g_children) reap_slot(slot);
}

// SIGCHLD: reap ours, then pass the signal on to whoever handled it before us.
void on_child_signal(int sig, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  reap_ended_children();
  errno = saved_errno;
  if (g_previous_sigchld.sa_flags & SA_SIGINFO) {
    if (g_previous_sigchld.sa_sigaction != nullptr)
      g_previous_sigchld.sa_sigaction(sig, info, context);
  } else if (g_previous_sigchld.sa_handler != SIG_DFL && g_previous_sigchld.sa_handler != SIG_IGN) {
    g_previous_sigchld.sa_handler(sig);
  }
}

// Installs the SIGCHLD handler once per process. Where the process already has
// the system reap its children (SIGCHLD ignored, or SA_NOCLDWAIT), that is left
// as it is.
void install_reaper() {
  static const bool installed = [] {
    struct sigaction current = {};
    if (sigaction(SIGCHLD, nullptr, &current) != 0) return false;
    const bool has_handler = (current.sa_flags & SA_SIGINFO) != 0 ||
                             (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN);
    const bool ignored = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN;
    if (ignored || (current.sa_flags & SA_NOCLDWAIT) != 0) return false;
    g_previous_sigchld = current;
    struct sigaction mine = {};
    mine.sa_sigaction = on_child_signal;
    sigemptyset(&mine.sa_mask);
    mine.sa_flags = SA_SIGINFO | SA_RESTART;
    // Keep stop notifications only for a handler that asked for them.
    mine.sa_flags |= has_handler ? (current.sa_flags & SA_NOCLDSTOP) : SA_NOCLDSTOP;
    return sigaction(SIGCHLD, &mine, nullptr) == 0;
  }();
  (void)installed;
}

// Records a started child. If it ended before it was recorded, its signal may
// already have come and gone, so the slot is checked once right away.
void track_child(pid_t pid) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (auto& slot : g_children) {
      pid_t expected = 0;
      if (slot.compare_exchange_strong(expected, pid)) {
        reap_slot(slot);
        return;
      }
    }
    reap_ended_children();  // full: free what has ended and look once more
  }
  // More than kMaxChildren programs still running: this one is not tracked.
}

// The attributes every started program gets: its own session, default signal
// dispositions, an empty signal mask, only descriptors 0 to 2, and the working
// directory (unchanged when none is given).
class SpawnSetup {
 public:
  explicit SpawnSetup(const std::string& directory) {
    ok_ = posix_spawn_file_actions_init(&actions_) == 0;
    if (!ok_) return;
    has_actions_ = true;
    ok_ = posix_spawnattr_init(&attr_) == 0;
    if (!ok_) return;
    has_attr_ = true;
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    ok_ = posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
          (directory.empty() ||
           posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str()) == 0) &&
          posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
          posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
          posix_spawnattr_setflags(
              &attr_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
  }
  ~SpawnSetup() {
    if (has_attr_) posix_spawnattr_destroy(&attr_);
    if (has_actions_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attr_{};
  bool has_actions_ = false;
  bool has_attr_ = false;
  bool ok_ = false;
};

// Starts `program` (an absolute path, run as is: no search, no shell) with
// `args` as its argument vector, and tracks it. Returns 0 or the error of the start.
int start_detached(const std::string& program, std::vector<std::string> args,
                   const std::string& directory) {
  SpawnSetup setup(directory);
  if (!setup.ok()) return ENOMEM;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error =
      posix_spawn(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (error == 0) track_child(pid);
  return error;
}

// A path made absolute against the launcher's working directory: the started
// program changes directory before it runs, so a relative path would go wrong.
std::string absolute_path(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  if (dir.back() != '/') dir.push_back('/');
  return dir + path;
}

enum class FileKind { program, windows_program, document };

// What `path` is by its first bytes: a program the system runs (ELF, or "#!"),
// a Windows program ("MZ"), or a document. Opening never blocks, and nothing
// but a regular file is read.
FileKind kind_of(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return FileKind::document;
  struct stat st = {};
  char magic[4] = {};
  ssize_t got = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    do {
      got = pread(fd, magic, sizeof magic, 0);
    } while (got < 0 && errno == EINTR);
  }
  close(fd);
  const std::string_view start(magic, got > 0 ? static_cast<std::size_t>(got) : 0);
  if (start.starts_with("\177ELF") || start.starts_with("#!")) return FileKind::program;
  if (start.starts_with("MZ")) return FileKind::windows_program;
  return FileKind::document;
}

bool is_executable_file(const std::string& path) {
  struct stat st = {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// `name` in the first folder of PATH that holds it as an executable file, read
// at this moment. Only absolute PATH entries count: an empty or relative entry
// would mean a program out of whatever folder the launcher was started in.
std::optional<std::string> find_on_path(std::string_view name) {
  const char* env = std::getenv("PATH");
  const std::string_view path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view dir = path.substr(start, end - start);
    if (!dir.empty() && dir.front() == '/') {
      std::string candidate(dir);
      if (candidate.back() != '/') candidate.push_back('/');
      candidate.append(name);
      if (is_executable_file(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

// The parameter string as arguments: words separated by spaces, with no
// quoting. Runs of spaces separate like one; an absent or empty string gives
// no arguments.
std::vector<std::string> split_parameters(const std::optional<std::string>& parameters) {
  std::vector<std::string> words;
  if (!parameters) return words;
  std::size_t start = 0;
  while (start < parameters->size()) {
    std::size_t end = parameters->find(' ', start);
    if (end == std::string::npos) end = parameters->size();
    if (end > start) words.push_back(parameters->substr(start, end - start));
    start = end + 1;
  }
  return words;
}

class PosixShell final : public Shell {
 public:
  void execute(const ShellRequest& request) override {
    install_reaper();
    reap_ended_children();
    if (!request.operation.empty() && request.operation != "open") return;
    if (request.file.empty()) return;
    const std::string file = absolute_path(request.file);
    struct stat st = {};
    if (stat(file.c_str(), &st) != 0) return;  // nothing there to open
    const FileKind kind = kind_of(file);
    if (kind == FileKind::windows_program)
      run_windows_program(file, request);
    else if (kind == FileKind::program && access(file.c_str(), X_OK) == 0)
      run_program(file, request);
    else
      open_document(file, request.directory);
  }

 private:
  // The argument vector of a program started for the request: the file, then the parameter words.
  static std::vector<std::string> arguments(const std::string& file, const ShellRequest& request) {
    std::vector<std::string> args{file};
    for (auto& word : split_parameters(request.parameters)) args.push_back(std::move(word));
    return args;
  }

  static void run_program(const std::string& file, const ShellRequest& request) {
    start_detached(file, arguments(file, request), request.directory);
  }

  // Hands a Windows program to wine with the same arguments; without wine,
  // nothing starts.
  static void run_windows_program(const std::string& file, const ShellRequest& request) {
    const auto wine = find_on_path("wine");
    if (!wine) return;
    std::vector<std::string> args = arguments(file, request);
    args.insert(args.begin(), *wine);
    start_detached(*wine, std::move(args), request.directory);
  }

  // Hands the file to the desktop's opener as its only argument.
  static void open_document(const std::string& file, const std::string& directory) {
    const auto opener = find_on_path("xdg-open");
    if (!opener) return;
    start_detached(*opener, {*opener, file}, directory);
  }
};

}  // namespace

std::unique_ptr<Shell> make_platform_shell() {
  return std::make_unique<PosixShell>();
}

}  // namespace quarvel::launch
