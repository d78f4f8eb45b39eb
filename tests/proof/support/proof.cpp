#include "proof.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "pulse_capture.h"
#include "wav_writer.h"

namespace quarvel::proof {
namespace {

bool descends_from(pid_t pid, pid_t ancestor) {
  for (int depth = 0; pid > 1 && depth < 16; ++depth) {
    if (pid == ancestor) return true;
    const auto ps = parent_and_state(pid);
    if (!ps) return false;
    pid = ps->first;
  }
  return pid == ancestor;
}

}  // namespace

ProcessFacts facts_of(pid_t pid) {
  ProcessFacts f;
  f.rss_kib = status_field(pid, "VmRSS:");
  if (f.rss_kib < 0) return f;
  f.peak_rss_kib = status_field(pid, "VmHWM:");
  f.threads = static_cast<int>(status_field(pid, "Threads:"));
  std::error_code ec;
  f.fds = static_cast<int>(
      std::distance(fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec),
                    fs::directory_iterator()));
  return f;
}

Subject::~Subject() {
  e2e::stop(pid_, 3s);
  std::error_code ec;
  if (!output_.empty()) fs::remove_all(output_.parent_path(), ec);
}

void Subject::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const fs::path& cwd) {
  std::error_code ec;
  if (!output_.empty()) fs::remove_all(output_.parent_path(), ec);  // a previous start's
  output_ = e2e::make_temp_folder("quarvel-output-") / "output.txt";
  // A sanitized launcher leaves out the system libraries' own leaks.
  std::vector<std::string> with_leak_rules{"LSAN_OPTIONS=suppressions=" QUARVEL_LSAN_SUPPRESSIONS
                                           ":print_suppressions=0"};
  with_leak_rules.insert(with_leak_rules.end(), env.begin(), env.end());
  pid_ = e2e::spawn(argv, e2e::environment_with(with_leak_rules), {.cwd = cwd, .output = output_});
  if (pid_ < 0) throw std::runtime_error("cannot start " + argv.front());
  forget_window();
}

bool Subject::wait_for_window(std::chrono::milliseconds timeout) {
  if (wait_for_window_of([this](pid_t owner) { return descends_from(owner, pid_); }, timeout))
    return true;
  const auto ps = testing::parent_and_state(pid_);
  std::cerr << "no window from process " << pid_ << " (state "
            << (ps ? std::string(1, ps->second) : std::string("gone")) << "); its output:\n"
            << output() << '\n';
  return false;
}

void Subject::signal(int sig) const {
  if (program_pid() > 0) kill(program_pid(), sig);
}

std::string Subject::output() const {
  return output_.empty() ? std::string() : read_file(output_);
}

fs::path stage_program(const fs::path& folder) {
  fs::create_directories(folder / "Install");
  fs::copy_file(e2e::built_program(), folder / "Quarvel", fs::copy_options::overwrite_existing);
  return folder / "Quarvel";
}

std::vector<std::uint32_t> expected_area(const WindowModel& model, const Rect& area) {
  const auto whole = e2e::expected_window(model);
  std::vector<std::uint32_t> out;
  out.reserve(static_cast<std::size_t>(area.width) * area.height);
  for (int y = area.top; y < area.bottom(); ++y) {
    for (int x = area.left; x < area.right(); ++x) {
      out.push_back(whole[static_cast<std::size_t>(y) * kClientWidth + x]);
    }
  }
  return out;
}

std::optional<std::chrono::microseconds> time_to_show(const Subject& s, const Rect& area,
                                                      const std::vector<std::uint32_t>& want,
                                                      const std::function<void()>& act,
                                                      std::chrono::milliseconds timeout) {
  const Rect g = s.geometry();
  const Rect on_screen{g.left + area.left, g.top + area.top, area.width, area.height};
  const auto t0 = Clock::now();
  act();
  for (;;) {
    if (e2e::desktop().grab(on_screen) == want) {
      return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0);
    }
    if (Clock::now() - t0 > timeout) return std::nullopt;
    std::this_thread::sleep_for(1ms);  // a look costs the X server a copy of the area
  }
}

void use_sound_server() {
  static const auto session = [] {
    std::string error;
    auto s = sound::testing::SoundSession::start(error);
    if (!s) throw std::runtime_error(error);
    return s;
  }();
}

Recording::Recording(const fs::path& file) : file_(file) {
  use_sound_server();
  pid_ = e2e::spawn({"parec", "--device=q.monitor", "--raw", "--format=s16le", "--rate=48000",
                     "--channels=2", "--latency-msec=20"},
                    e2e::environment_with({}), {.output = file_});
  if (pid_ < 0) throw std::runtime_error("cannot start parec");
  if (!e2e::wait_until([&] { return now() > 0; }, 5s)) {
    throw std::runtime_error("parec records nothing");
  }
}

Recording::~Recording() {
  e2e::stop(pid_, 3s);
}

std::size_t Recording::now() const {
  std::error_code ec;
  const auto size = fs::file_size(file_, ec);
  return ec ? 0 : static_cast<std::size_t>(size / 4);
}

namespace {

// Peak levels of consecutive blocks of `block` samples between two positions.
std::vector<int> block_peaks(const fs::path& file, std::size_t from, std::size_t end,
                             std::size_t block) {
  std::vector<int> peaks;
  if (end <= from) return peaks;
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from * 4));
  std::vector<std::int16_t> pcm((end - from) * 2);
  in.read(reinterpret_cast<char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
  pcm.resize(static_cast<std::size_t>(in.gcount()) / 2);
  for (std::size_t at = 0; at + block <= pcm.size(); at += block) {
    int peak = 0;
    for (std::size_t i = at; i < at + block; ++i) peak = std::max(peak, std::abs(int{pcm[i]}));
    peaks.push_back(peak);
  }
  return peaks;
}

constexpr int kQuiet = 1000;  // about 3 % of full scale

}  // namespace

int Recording::audible_ms(std::size_t from, std::size_t to) const {
  const auto peaks = block_peaks(file_, from, to ? to : now(), 48 * 2);
  return static_cast<int>(
      std::count_if(peaks.begin(), peaks.end(), [](int p) { return p > kQuiet; }));
}

std::string Recording::levels(std::size_t from) const {
  std::string out;
  for (const int p : block_peaks(file_, from, now(), 4800 * 2)) out += std::to_string(p) + ' ';
  return out;
}

void install_recorder(const fs::path& path) {
  fs::create_directories(path.parent_path());
  fs::copy_file(QUARVEL_PROOF_RECORDER, path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

namespace {
std::string unescaped(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}
}  // namespace

std::vector<StartRecord> read_records(const fs::path& dir) {
  std::vector<std::pair<fs::file_time_type, StartRecord>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().extension() != ".rec") continue;
    StartRecord r;
    std::istringstream lines(read_file(entry.path()));
    for (std::string line; std::getline(lines, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq);
      const std::string value = unescaped(line.substr(eq + 1));
      if (key == "program") r.program = value;
      if (key == "pid") r.pid = std::atoi(value.c_str());
      if (key == "sid") r.sid = std::atoi(value.c_str());
      if (key == "arg") r.argv.push_back(value);
      if (key == "cwd") r.cwd = value;
      if (key == "fds") {
        std::istringstream list(value);
        for (std::string n; std::getline(list, n, ',');) r.fds.push_back(std::atoi(n.c_str()));
      }
    }
    found.emplace_back(entry.last_write_time(ec), std::move(r));
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<StartRecord> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

Staged stage_launcher(const fs::path& folder, const fs::path& workspace) {
  Staged s{folder, stage_program(folder), workspace / "records", workspace / "bin"};
  fs::create_directories(s.records);
  const fs::path install = folder / "Install";
  write_file(install / "open.wav", tone_wav(500, 1.0));
  write_file(install / "hover.wav", tone_wav(700, 0.3));
  write_file(install / "click.wav", tone_wav(900, 0.3));
  write_file(install / "start.wav", tone_wav(1100, 0.6));
  write_file(install / "back.wav", tone_wav(1300, 0.3));
  install_recorder(folder / "GameData/vivu.exe");
  write_file(folder / "GameData/voskbase/documentation/manual.doc", "{\\rtf1 manual}");
  for (const char* name : {"xdg-open", "sh", "bash", "dash", "touch", "wine", "dbus-launch"}) {
    install_recorder(s.bin / name);
  }
  return s;
}

std::vector<std::string> Staged::env() const {
  const char* path = std::getenv("PATH");
  return {std::string(kRecordsVariable) + "=" + records.string(),
          "PATH=" + bin.string() + ":" + (path ? path : "/usr/bin:/bin")};
}

std::vector<StartRecord> Staged::started(const std::string& program_name) const {
  auto all = read_records(records);
  std::erase_if(all, [&](const StartRecord& r) { return r.program != program_name; });
  return all;
}

std::vector<std::uint8_t> tone_wav(double hz, double seconds) {
  return wavseeds::make_wav({wavseeds::Encoding::pcm_s16, 44100, 1},
                            wavseeds::Tone{hz, seconds, 0.5});
}

fs::path prepare(const std::string& name) {
  use_sound_server();
  pointer().move(5, 5);
  return e2e::make_temp_folder("quarvel-" + name + "-");
}

void StagedTest::SetUp() {
  root = prepare(::testing::UnitTest::GetInstance()->current_test_info()->name());
  staged = stage_launcher(root / "launcher", root);
}

void StagedTest::TearDown() {
  launcher.reset();
  std::error_code ec;
  fs::remove_all(root, ec);
}

}  // namespace quarvel::proof
