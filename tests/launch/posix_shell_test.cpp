// The Linux shell, carrying out real requests: the stub game records how it was
// started; recording `xdg-open` and `wine` scripts, first on PATH, record what
// they were handed. Folder names are hostile on purpose: no shell may ever see
// them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "launch/shell_request.h"
#include "tests/support/files.h"
#include "tests/support/proc.h"

namespace quarvel::launch {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr NativeHandle kOwner = static_cast<NativeHandle>(0x77);

using testing::read_file;

// A file with the given mode.
void install_file(const fs::path& path, const std::string& content, fs::perms perms) {
  testing::write_file(path, content);
  fs::permissions(path, perms);
}

// Every file in `dir` whose name starts with `stem` (finished records only).
std::vector<std::string> records(const fs::path& dir, const std::string& stem) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(stem, 0) == 0 && !name.ends_with(".partial"))
      found.push_back(read_file(entry.path()));
  }
  return found;
}

// Waits (briefly) until `count` records with `stem` exist.
std::vector<std::string> wait_for_records(const fs::path& dir, const std::string& stem,
                                          std::size_t count = 1) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  auto found = records(dir, stem);
  while (found.size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
    found = records(dir, stem);
  }
  return found;
}

// The processes whose parent is this test, as "pid:state" (state Z is a zombie).
std::vector<std::string> children_of_this_process() {
  std::vector<std::string> children;
  for (const auto& [pid, state] : testing::children_of(getpid())) {
    children.push_back(std::to_string(pid) + ":" + state);
  }
  return children;
}

// Waits until every child has ended and been reaped; returns what is left.
std::vector<std::string> children_after_a_short_wait() {
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  auto left = children_of_this_process();
  while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
    left = children_of_this_process();
  }
  return left;
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += item + " ";
  return text;
}

// The standard descriptors open in this process, as the stub lists them.
std::string standard_descriptors() {
  std::string text;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0) continue;
    if (!text.empty()) text.push_back(',');
    text += std::to_string(fd);
  }
  return text;
}

// Whether signal `sig` is set in the hexadecimal mask of a /proc status line.
bool mask_has(const std::string& record, const std::string& field, int sig) {
  const auto at = record.find(field + ":");
  if (at == std::string::npos) return true;  // not shown: count as set, so the test fails
  const unsigned long long mask = std::stoull(record.substr(at + field.size() + 1), nullptr, 16);
  return (mask >> (sig - 1)) & 1ULL;
}

class PosixShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir = (fs::temp_directory_path() / "quarvel-launch-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    root_ = fs::canonical(dir);
    bin_ = root_ / "bin";
    fs::create_directory(bin_);
    // Were a shell to run `$(touch pwned)`, it would run it here or in a folder below.
    old_cwd_ = fs::current_path();
    fs::current_path(root_);
    const char* path = std::getenv("PATH");
    old_path_ = path != nullptr ? path : "";
    setenv("PATH", (bin_.string() + ":" + old_path_).c_str(), 1);
    setenv("QUARVEL_STUB_RECORD", (root_ / "stub.record").c_str(), 1);
  }

  void TearDown() override {
    for (const auto& entry : fs::recursive_directory_iterator(root_))
      EXPECT_NE(entry.path().filename(), "pwned")
          << "something ran a folder name: " << entry.path();
    EXPECT_EQ(joined(children_after_a_short_wait()), "") << "children left (pid:state)";
    fs::current_path(old_cwd_);
    setenv("PATH", old_path_.c_str(), 1);
    unsetenv("QUARVEL_STUB_RECORD");
    fs::remove_all(root_);
  }

  // <root>/<folder>/GameData/vivu.exe as a copy of the stub game; returns the application
  // directory.
  std::string install_game(const std::string& folder) {
    const fs::path app = root_ / folder;
    fs::create_directories(app / "GameData");
    fs::copy_file(QUARVEL_STUB_GAME, app / "GameData" / "vivu.exe");
    return app.string();
  }

  // <root>/<folder>/GameData/voskbase/documentation/manual.doc, with the execute bit every file
  // has on an NTFS or exFAT drive; returns the application directory.
  std::string install_manual(const std::string& folder) {
    const fs::path app = root_ / folder;
    fs::create_directories(app / "GameData" / "voskbase" / "documentation");
    install_file(app / "GameData" / "voskbase" / "documentation" / "manual.doc", "{\\rtf1 manual}",
                 fs::perms::owner_all);
    return app.string();
  }

  // A program `name` first on PATH that records its arguments, its count, its
  // working directory and its signal masks in <root>/<name>.<pid>.
  void install_recorder(const std::string& name) {
    const std::string out = (root_ / name).string();
    // The signal masks are read first, with builtins only: while the shell waits
    // for a command of its own it blocks signals itself. mv by path: PATH may lack it.
    const std::string script =
        "#!/bin/sh\n"
        "masks=\n"
        "while IFS= read -r line; do\n"
        "  case $line in SigBlk:*|SigIgn:*) masks=\"$masks$line\n\" ;; esac\n"
        "done < /proc/$$/status\n"
        "out='" +
        out +
        "'.$$\n"
        "{ printf '%s\\n' \"$@\"; printf 'argc=%s\\n' \"$#\"; printf 'cwd=%s\\n' \"$(pwd -P)\";\n"
        "  printf '%s' \"$masks\"; } > \"$out.partial\"\n"
        "/bin/mv \"$out.partial\" \"$out\"\n";
    install_file(bin_ / name, script, fs::perms::owner_all);
  }

  fs::path root_;
  fs::path bin_;
  fs::path old_cwd_;
  std::string old_path_;
  std::unique_ptr<Shell> shell_ = make_platform_shell();
};

class HostileFolder : public PosixShellTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileFolder, GameGetsExactlyItsArgumentsDirectoryAndNothingElse) {
  const std::string app = install_game(GetParam());
  const int stray = open("/dev/null", O_RDONLY);  // no O_CLOEXEC: inherited unless closed
  ASSERT_GT(stray, 2);
  ASSERT_EQ(fcntl(stray, F_GETFD) & FD_CLOEXEC, 0);

  shell_->execute(launch_game_request(app, '/', kOwner));
  close(stray);

  const auto found = wait_for_records(root_, "stub.record");
  ASSERT_EQ(found.size(), 1u) << "the stub game did not record its start";
  const std::string& record = found[0];
  const std::string expected =
      "+set\nfs_game\nvoskbase\ncwd=" + app + "/GameData\nfds=" + standard_descriptors() + "\nsid=";
  EXPECT_EQ(record.substr(0, expected.size()), expected);
  EXPECT_TRUE(record.ends_with("==pid\n")) << "not in a session of its own: " << record;
  EXPECT_TRUE(fs::exists(fs::path(app) / "GameData" / "vivu-started.log"));
}

TEST_P(HostileFolder, ManualGoesToTheOpenerAsItsOnlyArgument) {
  install_recorder("xdg-open");
  const std::string app = install_manual(GetParam());

  shell_->execute(open_manual_request(app, '/', kOwner));

  const auto found = wait_for_records(root_, "xdg-open.");
  ASSERT_EQ(found.size(), 1u) << "the opener was not started";
  const std::string doc = app + "/GameData/voskbase/documentation";
  const std::string expected = doc + "/manual.doc\nargc=1\ncwd=" + doc + "\n";
  EXPECT_EQ(found[0].substr(0, expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, HostileFolder,
                         ::testing::Values("with space", "quote' and \"double\"", "$(touch pwned)",
                                           "`touch pwned`", "semi;touch pwned;", "new\nline",
                                           "\xC3\xBCn\xC3\xAF \xE2\x9C\x93 \xE6\x97\xA5",
                                           "all $(touch pwned) `touch pwned`; ' \" \n \xC3\xBC"));

TEST_F(PosixShellTest, EveryHelpCommandOpensTheManualAgain) {
  install_recorder("xdg-open");
  const std::string app = install_manual("Quarvel");
  shell_->execute(open_manual_request(app, '/', kOwner));
  shell_->execute(open_manual_request(app, '/', kOwner));
  EXPECT_EQ(wait_for_records(root_, "xdg-open.", 2).size(), 2u);
}

TEST_F(PosixShellTest, StartedProgramsGetDefaultSignalsAndAnEmptyMask) {
  install_recorder("xdg-open");
  const std::string app = install_manual("Quarvel");
  struct sigaction ignore = {};
  struct sigaction old_action = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGUSR1, &ignore, &old_action);
  sigset_t block;
  sigset_t old_mask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &block, &old_mask);

  shell_->execute(open_manual_request(app, '/', kOwner));

  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  sigaction(SIGUSR1, &old_action, nullptr);
  const auto found = wait_for_records(root_, "xdg-open.");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_FALSE(mask_has(found[0], "SigIgn", SIGUSR1)) << found[0];
  EXPECT_FALSE(mask_has(found[0], "SigBlk", SIGUSR2)) << found[0];
}

TEST_F(PosixShellTest, NoOpenerMeansNothingHappens) {
  const std::string app = install_manual("Quarvel");
  setenv("PATH", bin_.c_str(), 1);  // holds no xdg-open
  shell_->execute(open_manual_request(app, '/', kOwner));
  EXPECT_EQ(joined(children_of_this_process()), "");
}

TEST_F(PosixShellTest, DoesNotWaitForWhatItStarts) {
  const fs::path game = root_ / "Quarvel" / "GameData";
  fs::create_directories(game);
  install_file(game / "vivu.exe",
               "#!/bin/sh\nsleep 0.5\n: > '" + (root_ / "slow.done").string() + "'\n",
               fs::perms::owner_all);
  const auto before = std::chrono::steady_clock::now();

  shell_->execute(launch_game_request((root_ / "Quarvel").string(), '/', kOwner));

  EXPECT_LT(std::chrono::steady_clock::now() - before, 250ms);
  EXPECT_FALSE(fs::exists(root_ / "slow.done"));
  EXPECT_EQ(wait_for_records(root_, "slow.done").size(), 1u) << "the game never ran";
}

TEST_F(PosixShellTest, MissingFilesReturnQuicklyAndStartNothing) {
  install_recorder("xdg-open");
  install_recorder("wine");
  fs::create_directories(root_ / "no game" / "GameData");
  const auto before = std::chrono::steady_clock::now();

  shell_->execute(launch_game_request((root_ / "no folder").string(), '/', kOwner));
  shell_->execute(launch_game_request((root_ / "no game").string(), '/', kOwner));
  shell_->execute(open_manual_request((root_ / "no game").string(), '/', kOwner));

  EXPECT_LT(std::chrono::steady_clock::now() - before, 250ms);
  EXPECT_EQ(joined(children_of_this_process()), "");
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(records(root_, "xdg-open.").empty());
  EXPECT_TRUE(records(root_, "wine.").empty());
}

TEST_F(PosixShellTest, MissingWorkingDirectoryStartsNothing) {
  const std::string app = install_game("Quarvel");
  ShellRequest request = launch_game_request(app, '/', kOwner);
  request.directory = app + "/gone";
  shell_->execute(request);
  EXPECT_EQ(joined(children_of_this_process()), "");
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(records(root_, "stub.record").empty());
}

// A vivu.exe that is a Windows program (a PE file's "MZ" start), with the
// execute bit or without it, as unzip or a copy from a Windows disk leaves it.
class WindowsProgram : public PosixShellTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::string install_windows_game(const std::string& folder) {
    return install_file_as_game(folder, std::string("MZ\x90\0\3\0\0\0", 8) + "PE");
  }

  std::string install_file_as_game(const std::string& folder, const std::string& content) {
    const fs::path app = root_ / folder;
    fs::create_directories(app / "GameData");
    install_file(
        app / "GameData" / "vivu.exe", content,
        GetParam() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    return app.string();
  }
};

TEST_P(WindowsProgram, GoesToWineWithTheSameArgumentsAndDirectory) {
  install_recorder("wine");
  install_recorder("xdg-open");  // a Windows program is not a document
  const std::string app = install_windows_game("a $(touch pwned) `b`; 'c' \n \xC3\xBC");

  shell_->execute(launch_game_request(app, '/', kOwner));

  const auto found = wait_for_records(root_, "wine.");
  ASSERT_EQ(found.size(), 1u) << "wine was not started";
  const std::string game = app + "/GameData";
  const std::string expected =
      game + "/vivu.exe\n+set\nfs_game\nvoskbase\nargc=4\ncwd=" + game + "\n";
  EXPECT_EQ(found[0].substr(0, expected.size()), expected);
  EXPECT_TRUE(records(root_, "xdg-open.").empty());
}

// A wine in a relative PATH entry is none, though it lies in the launcher's and the game's folder.
TEST_P(WindowsProgram, WithoutWineNothingHappens) {
  install_recorder("xdg-open");  // a Windows program is not a document
  install_recorder("wine");
  const std::string app = install_windows_game("Quarvel");
  const fs::path game = fs::path(app) / "GameData";
  fs::rename(bin_ / "wine", game / "wine");
  fs::current_path(game);
  setenv("PATH", (bin_.string() + ":.").c_str(), 1);
  shell_->execute(launch_game_request(app, '/', kOwner));
  EXPECT_EQ(joined(children_of_this_process()), "");
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(records(root_, "xdg-open.").empty());
  EXPECT_TRUE(records(root_, "wine.").empty());
}

// Only the two bytes "MZ" at the start make a Windows program. Any other file
// that is no ELF file or "#!" script never goes to wine, but to the opener as a
// document, with the execute bit or without it.
TEST_P(WindowsProgram, IsToldByItsFirstTwoBytes) {
  install_recorder("wine");
  install_recorder("xdg-open");
  const std::vector<std::string> others{"",       "M",   "Manual", "ZM\x90",
                                        "mz\x90", " MZ", "\177EL", "#"};
  std::string app;
  for (const std::string& content : others) {
    app = install_file_as_game("Quarvel", content);
    shell_->execute(launch_game_request(app, '/', kOwner));
  }
  const auto opened = wait_for_records(root_, "xdg-open.", others.size());
  ASSERT_EQ(opened.size(), others.size());
  const std::string expected = app + "/GameData/vivu.exe\nargc=1\n";
  for (const auto& record : opened) EXPECT_EQ(record.substr(0, expected.size()), expected);
  EXPECT_EQ(joined(children_after_a_short_wait()), "");
  EXPECT_TRUE(records(root_, "wine.").empty()) << "wine got a file that is no Windows program";
}

INSTANTIATE_TEST_SUITE_P(ExecuteBit, WindowsProgram, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& bit) {
                           return bit.param ? "Executable" : "NotExecutable";
                         });

}  // namespace
}  // namespace quarvel::launch
