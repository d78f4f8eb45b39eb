// Recording fakes of everything the launcher core talks to, writing into one
// shared log so that the order of every step can be checked.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "tests/support/controls.h"

namespace quarvel::testing {

using Log = std::vector<std::string>;

// Thrown by the fake host where the real one ends the process.
struct ProgramEnded {};

class FakeHost : public Host {
 public:
  explicit FakeHost(Log& log) : log_(log) {}
  void invalidate(const Rect& area) override { invalidated.push_back(area); }
  void minimize() override {
    log_.push_back("minimize");
    ++minimized;
  }
  [[noreturn]] void end_program() override {
    log_.push_back("end");
    throw ProgramEnded{};
  }
  NativeHandle window_handle() const override { return NativeHandle{0x4242}; }
  Millis now() const override { return clock; }

  Millis clock = 1000;
  int minimized = 0;
  std::vector<Rect> invalidated;

 private:
  Log& log_;
};

class FakeCueDevice : public sound::CueDevice {
 public:
  explicit FakeCueDevice(Log& log) : log_(log) {}
  void set_device_type(std::string_view type) override {
    log_.push_back("cue type " + std::string(type));
  }
  void set_file_name(std::string path) override { log_.push_back("cue file " + path); }
  void command(sound::CueCommand c) override {
    static constexpr const char* kNames[] = {"cue open", "cue play", "cue close"};
    log_.push_back(kNames[static_cast<int>(c)]);
    if (c == sound::CueCommand::play && during_play) during_play();
  }
  bool finish(std::chrono::milliseconds) override { return true; }
  // Runs once a cue has started: what the host delivers while it sounds.
  std::function<void()> during_play;

 private:
  Log& log_;
};

class FakeShell : public launch::Shell {
 public:
  explicit FakeShell(Log& log) : log_(log) {}
  void execute(const launch::ShellRequest& r) override {
    requests.push_back(r);
    log_.push_back("shell " + r.file);
    if (during_execute) during_execute();
  }
  std::vector<launch::ShellRequest> requests;
  // Runs inside the request, as a shell's own message loop hands the host's messages on.
  std::function<void()> during_execute;

 private:
  Log& log_;
};

// A launcher wired to the fakes, in the folder `dir`, on a virtual clock.
struct Rig {
  explicit Rig(std::string folder = "/games/quarvel", char separator = '/')
      : dir(std::move(folder)),
        host(log),
        cues(log),
        shell(log),
        launcher(
            host, cues, shell, [this] { return dir; }, separator) {
    launcher.set_step_trace([this](std::string_view step) { log.emplace_back(step); });
  }

  // Runs the host loop's timer part up to `t`, tick by tick; true if the program ended.
  bool advance_to(Millis t) {
    try {
      while (auto due = launcher.next_due()) {
        if (*due > t) break;
        host.clock = *due;
        launcher.run_due_timers(host.clock);
      }
      host.clock = t;
      return false;
    } catch (const ProgramEnded&) {
      ended = true;
      return true;
    }
  }
  bool advance_by(Millis ms) { return advance_to(host.clock + ms); }

  void move(int x, int y) { launcher.pointer_moved(x, y); }
  void click(int x, int y) {
    launcher.pointer_pressed(x, y);
    launcher.pointer_released(x, y);
  }
  // Log lines since the last call.
  Log take() {
    Log out(log.begin() + static_cast<std::ptrdiff_t>(seen), log.end());
    seen = log.size();
    return out;
  }
  std::vector<std::string> visible() const {
    std::vector<std::string> v;
    for (const auto& d : kElements) {
      if (launcher.model().visible(d.element)) v.emplace_back(d.name);
    }
    return v;
  }

  std::string dir;
  Log log;
  std::size_t seen = 0;
  FakeHost host;
  FakeCueDevice cues;
  FakeShell shell;
  Launcher launcher;
  bool ended = false;
};

}  // namespace quarvel::testing
