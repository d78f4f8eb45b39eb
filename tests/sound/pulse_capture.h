// A private PulseAudio server for a test program, and a recorder of what its
// null sink plays, with the time each sample arrived.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quarvel::sound::testing {

using Clock = std::chrono::steady_clock;

// How much sound the recorder receives at a time, as desktop clients take it.
inline constexpr std::chrono::milliseconds kRecorderPeriod{20};

// Whether the session's server is PipeWire (tests/support/sound-session.sh).
bool on_pipewire();

// The most time from a cue's request to its sound on the session's server.
// The launcher's own part is small: about 1 ms on PulseAudio until SDL hands
// the server its first samples, 5 to 16 ms on PipeWire, where SDL makes a new
// stream for every device and it streams only once WirePlumber has linked it.
// The server adds the rest: a null sink at a 20 ms client's pace takes a new
// stream in with its next block, up to 20 ms on (a real sink rewinds to take
// it at once); PipeWire plays what a stream gives two 10.7 ms cycles later,
// and through pipewire-pulse a new stream at times starts two cycles later still.
std::chrono::milliseconds heard_limit();

// Runs the test program's cases, as RUN_ALL_TESTS does, while a process of its
// own watches how long the machine keeps a thread that asks to run every 2 ms
// from running. On a shared machine other work now and then holds the CPUs for
// tens of ms; a case that measures time and fails while the machine held a
// thread up for 10 ms or more has timed the machine, and is run again (at most
// twice), unless a case failed while it held nothing up.
int run_tests_retaking_if_the_machine_held_them_up(int argc, char** argv);

// Runs tests/support/sound-session.sh start, and puts the variables it prints
// into this process's environment, so SDL and parec find the server.
class SoundSession {
 public:
  // Empty when the server could not be started; `error` then says why.
  static std::unique_ptr<SoundSession> start(std::string& error);
  ~SoundSession();  // stops the server and removes its folder

  SoundSession(const SoundSession&) = delete;
  SoundSession& operator=(const SoundSession&) = delete;

 private:
  explicit SoundSession(std::string dir) : dir_(std::move(dir)) {}
  std::string dir_;
};

// Records the sink's monitor ("q.monitor") as desktop clients take it, at
// 20 ms latency: mono, 16-bit, 48 kHz, with the time each sample sounded.
// On PipeWire quarvel_pipewire_monitor stamps each buffer with the graph
// clock of the cycle that played it. On PulseAudio parec reads it, and a
// sample is timed by its read's arrival less the samples after it in that
// read (the sink plays in real time), never before the read before it: that
// is within about one render period of when it sounded.
class MonitorRecorder {
 public:
  static constexpr int kRate = 48000;

  // With `keep` false the samples are thrown away by parec itself: the sink
  // then runs in real time, as a sound card would, at no cost to this process.
  explicit MonitorRecorder(bool keep = true);
  ~MonitorRecorder();  // ends parec (by its pid) and the reader

  MonitorRecorder(const MonitorRecorder&) = delete;
  MonitorRecorder& operator=(const MonitorRecorder&) = delete;

  // Waits until samples flow; false if none came within `limit`.
  bool wait_until_running(std::chrono::milliseconds limit);

  // Waits until the latest `quiet` of the recording is silent; false if that
  // does not happen within `limit`.
  bool wait_for_silence(std::chrono::milliseconds quiet, std::chrono::milliseconds limit,
                        float threshold = 0.01f);

  // The samples that arrived between two moments.
  std::vector<float> between(Clock::time_point from, Clock::time_point to) const;
  // The arrival of the first sample louder than `threshold` after `after`.
  std::optional<Clock::time_point> first_sound_after(Clock::time_point after,
                                                     float threshold = 0.01f) const;
  // The arrival of the last sample louder than `threshold` in [from, to).
  std::optional<Clock::time_point> last_sound_between(Clock::time_point from, Clock::time_point to,
                                                      float threshold = 0.01f) const;
  // The first moment after `after` at which `hz` has reached `level`: the end
  // of the first 5 ms window (looked at every 1 ms) that holds it, as do the two
  // after it. The click of a cue cut off holds every frequency, but only briefly.
  std::optional<Clock::time_point> tone_onset_after(Clock::time_point after, double hz,
                                                    double level) const;

  // The CPU time the in-process reader of the recording has used, in ms.
  double reader_cpu_ms();

 private:
  struct Mark {
    std::size_t end;       // samples recorded up to the end of this read or buffer
    Clock::time_point at;  // when the read returned, or when the buffer's cycle began
  };

  void read_loop();
  void read_stamped();
  std::size_t index_at(Clock::time_point t) const;     // needs m_
  Clock::time_point time_of(std::size_t index) const;  // needs m_

  bool stamped_ = false;
  pid_t pid_ = -1;
  int fd_ = -1;
  mutable std::mutex m_;
  std::vector<float> samples_;
  std::vector<Mark> marks_;
  std::thread reader_;
};

}  // namespace quarvel::sound::testing
