// The launcher placed under hostile folder names and at the root of a file
// system. Every request it makes carries the exact path (the hover cue is
// heard, the manual and the game get their exact paths and working folders),
// nothing else is ever run (tripwires named sh, bash, dash, touch and wine
// sit first on PATH, and no marker file appears), and what it starts holds
// only the standard descriptors.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <thread>

#include "fixture.h"
#include "proof.h"

namespace quarvel::proof {
namespace {

struct Place {
  const char* name;
  const char* folder;  // under the test's folder; empty: the root of a file system
};

void PrintTo(const Place& p, std::ostream* os) {
  *os << p.name;
}

const Place kPlaces[] = {
    {"Spaces", "my games/Quarvel launcher"},
    {"Quotes", "it's \"quoted\" ''"},
    {"CommandSubstitution", "$(touch pwned-dollar)"},
    {"Backticks", "`touch pwned-backtick`"},
    {"Semicolons", "a;touch pwned-semicolon;b"},
    {"Newline", "line\nbreak\ntouch pwned-newline"},
    {"NonAscii",
     "Spiele \xC3\x9C"
     "berf\xC3\xB6rster \xE6\x97\xA5\xE6\x9C\xAC \xE2\x98\x83"},
    {"AllAtOnce", "x $(touch pwned-all) `touch pwned-all2`; it's \"a\"\n\xC3\xA9 & | > <"},
    {"FileSystemRoot", ""},
};

// The directories bound into the private root, and the links beside them.
constexpr const char* kBoundDirs[] = {"usr", "etc", "dev", "proc", "tmp"};

// Runs argv[...] at the root of a fresh file system: a private mount namespace
// whose root is `new_root`, with the system's folders bound into it.
std::vector<std::string> at_root_of(const fs::path& new_root, const fs::path& script) {
  write_file(script, R"sh(#!/bin/sh
# $1: the new root. Binds the system in, then runs /Quarvel there.
set -eu
r=$1
for d in usr etc dev proc tmp; do
  /usr/bin/mkdir -p "$r/$d"
  /usr/bin/mount --rbind "/$d" "$r/$d"
done
for l in bin sbin lib lib32 lib64 libx32; do
  if [ -L "/$l" ]; then /usr/bin/ln -sfn "$(/usr/bin/readlink "/$l")" "$r/$l"; fi
done
exec /usr/sbin/chroot "$r" /Quarvel
)sh");
  return {"/usr/bin/unshare", "--mount",       "--propagation",  "private", "--",
          "/bin/sh",          script.string(), new_root.string()};
}

class HostilePaths : public ::testing::TestWithParam<Place> {
 protected:
  void SetUp() override {
    root = prepare(std::string("hostile-") + GetParam().name);
    at_root = std::string(GetParam().folder).empty();
    folder = at_root ? root / "fsroot" : root / "hostile" / GetParam().folder;
    staged = stage_launcher(folder, root);
    recording = std::make_unique<Recording>(root / "sound.raw");
  }

  void TearDown() override {
    launcher.reset();
    recording.reset();
    std::error_code ec;
    if (at_root) {
      // The bind mounts lived only in the launcher's namespace; should one be
      // visible here, nothing is removed through it.
      for (const char* d : kBoundDirs) {
        const fs::path dir = folder / d;
        if (fs::exists(dir) && !fs::remove(dir, ec)) {
          ADD_FAILURE() << dir << " is not empty (still mounted?); the test folder is kept";
          return;
        }
      }
    }
    fs::remove_all(root, ec);
  }

  // The launcher's folder as the launcher itself sees it.
  std::string seen_folder() const { return at_root ? std::string("/") : folder.string(); }
  // A path under it, joined the way the launcher joins: at the root the
  // folder's separator and the literal's meet.
  std::string seen(const std::string& rest) const { return seen_folder() + rest; }
  // The working folder as the started program reads it back.
  std::string cwd_of(const std::string& rest) const {
    return at_root ? rest : folder.string() + rest;
  }

  fs::path root, folder;
  bool at_root = false;
  Staged staged;
  std::unique_ptr<Recording> recording;
  std::unique_ptr<Subject> launcher;
};

TEST_P(HostilePaths, EveryRequestCarriesTheExactPathAndNothingElseRuns) {
  launcher = std::make_unique<Subject>();
  if (at_root) {
    launcher->start(at_root_of(folder, root / "at-root.sh"), staged.env(), root);
  } else {
    launcher->start({staged.program.string()}, staged.env(), folder);
  }
  ASSERT_TRUE(launcher->wait_for_window()) << "no window appeared:\n" << launcher->output();

  // The cues: the open cue (one second) and then a hover cue are heard.
  const std::size_t start = recording->now();
  EXPECT_TRUE(e2e::wait_until([&] { return recording->audible_ms(start) >= 300; }, 3s))
      << "the open cue was not heard; levels: " << recording->levels(start);
  std::this_thread::sleep_for(1200ms);
  const std::size_t before_hover = recording->now();
  move_in(*launcher, kOnHelp);
  EXPECT_TRUE(e2e::wait_until([&] { return recording->audible_ms(before_hover) >= 100; }, 3s))
      << "the hover cue was not heard; levels: " << recording->levels(before_hover);

  // The manual: the opener gets exactly the path, in the manual's folder.
  pointer().press();
  pointer().release();
  ASSERT_TRUE(e2e::wait_until([&] { return !staged.started("xdg-open").empty(); }, 3s))
      << "the manual was not opened:\n"
      << launcher->output();
  const StartRecord opener = staged.started("xdg-open").front();
  ASSERT_EQ(opener.argv.size(), 2u) << "the opener got more or less than the file";
  EXPECT_EQ(opener.argv[1], seen("/GameData/voskbase/documentation/manual.doc"));
  EXPECT_EQ(opener.cwd, cwd_of("/GameData/voskbase/documentation"));
  EXPECT_EQ(opener.fds, (std::vector<int>{0, 1, 2})) << "the opener inherited descriptors";

  // The game: started as exactly its path, with the three words, in its folder.
  std::this_thread::sleep_for(200ms);
  move_in(*launcher, kOnStart);
  pointer().press();
  pointer().release();
  EXPECT_EQ(launcher->wait_exit(5s), 0) << launcher->output();
  ASSERT_TRUE(e2e::wait_until([&] { return !staged.started("vivu.exe").empty(); }, 3s))
      << "the game did not start";
  const StartRecord game = staged.started("vivu.exe").front();
  EXPECT_EQ(game.argv,
            (std::vector<std::string>{seen("/GameData/vivu.exe"), "+set", "fs_game", "voskbase"}));
  EXPECT_EQ(game.cwd, cwd_of("/GameData"));
  EXPECT_EQ(game.fds, (std::vector<int>{0, 1, 2})) << "the game inherited descriptors";

  // Nothing else ran: two starts in all, no tripwire, no marker file.
  std::this_thread::sleep_for(300ms);
  const auto all = read_records(staged.records);
  for (const auto& r : all) {
    EXPECT_TRUE(r.program == "xdg-open" || r.program == "vivu.exe")
        << r.program << " was run with " << r.argv.size() << " arguments";
  }
  EXPECT_EQ(all.size(), 2u);
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); it.increment(ec)) {
    if (it->is_directory(ec) && it->path().filename() == "proc") it.disable_recursion_pending();
    EXPECT_FALSE(it->path().filename().string().starts_with("pwned"))
        << "a shell ran: " << it->path();
  }
  for (const fs::path& dir : {fs::current_path(), fs::path("/")}) {
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("pwned")) << entry.path();
    }
  }
}

// Starting up and idling runs no program at all, not even one that a library
// under the launcher would look for on PATH. With no session bus, as on a bare
// X server, SDL_Init asks libdbus for one and libdbus autolaunches
// dbus-launch: first from /usr/bin, then from every folder on PATH.
TEST(StartUp, RunsNoOtherProgramEvenWithoutASessionBus) {
  const fs::path root = prepare("startup");
  const Staged staged = stage_launcher(root / "launcher", root);
  auto env = staged.env();
  env.push_back("-DBUS_SESSION_BUS_ADDRESS");
  {
    Subject launcher;
    launcher.start({staged.program.string()}, env, staged.folder);
    ASSERT_TRUE(launcher.wait_for_window());
    std::this_thread::sleep_for(1500ms);
    launcher.signal(SIGTERM);
    EXPECT_EQ(launcher.wait_exit(5s), 0);
  }
  for (const auto& r : read_records(staged.records)) {
    std::string args;
    for (const auto& a : r.argv) args += " '" + a + "'";
    ADD_FAILURE() << "the launcher ran " << r.program << ":" << args;
  }
  std::error_code ec;
  fs::remove_all(root, ec);
}

INSTANTIATE_TEST_SUITE_P(Places, HostilePaths, ::testing::ValuesIn(kPlaces),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace quarvel::proof
