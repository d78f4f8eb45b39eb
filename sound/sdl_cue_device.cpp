// The Linux cue device on SDL2 audio.
//
// The caller is the launcher's event loop, which must never wait on sound. So
// every request only posts to a mailbox, and one worker thread does all the
// SDL audio work: initialising audio, opening the device, reading and decoding
// the cue file, queueing its samples, stopping them. Nothing is cached: each
// open reads its file anew.
//
// An open SDL device costs CPU even when silent (its audio thread keeps
// writing silence, 5 to 20 ms of CPU a second), so the worker lets the device
// go as soon as a cue has played out, and opens a fresh one (about 1 ms) for
// the next cue. Closing a device takes a few tens of ms, at times seconds
// (below), so the closer does that on threads of its own while the worker
// goes on serving requests. Once closed, nothing of ours runs until the next
// request.
#include <SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound/cue_device.h"
#include "sound/wav_decode.h"

namespace quarvel::sound {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// section: tuning
// 512 frames at 48 kHz: SDL hands the server about 11 ms at a time, so a
// queued cue starts sounding within one such period.
constexpr int kWantedRate = 48000;
constexpr int kDeviceFrames = 512;
// Silence after every cue, so the device is let go only once the last real
// sample has been handed over at least this long ago. Closing adds SDL's own
// wait of two periods before the stream goes, and the server holds about one
// period: the cue is always heard to its end. Each padded period costs CPU.
constexpr auto kTailPad = 10ms;
// How long a silent device is kept for a cue that may follow. Short: an open
// device costs 5 to 20 ms of CPU a second, opening a new one about 0.5 ms.
constexpr auto kReleaseAfter = 5ms;
// How soon audio is tried again after it failed to start (no server, say).
constexpr auto kAudioRetry = 5s;

// section: reading a cue file
// Reads at most kMaxCueFileBytes of a regular file. Opening never blocks (a
// FIFO or a device is refused after fstat, not read), and a file that shrinks
// or fails mid-read gives what was read.
std::optional<std::vector<std::uint8_t>> read_cue_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const std::size_t expect = std::min<std::size_t>(
        st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0, kMaxCueFileBytes);
    bytes.resize(expect);
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
  } else {
    ::close(fd);
    return std::nullopt;
  }
  ::close(fd);
  return bytes;
}

// section: closing devices
// SDL_CloseAudioDevice joins the device's audio thread. With PulseAudio that
// thread sleeps in poll() until the server next asks for data, which for a
// young stream on an idle sink can be two seconds away. A signal with an empty
// handler ends that poll early (libpulse takes EINTR as an empty iteration),
// after which SDL sees the device shutting down. SIGURG is ignored by default,
// so should anyone reset our handler a nudge is simply lost.
constexpr int kNudgeSignal = SIGURG;

// The name of one of our threads, as /proc tells it ("" if it is gone).
std::string thread_name(pid_t tid) {
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/comm";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char comm[32] = {};
  const ssize_t n = ::read(fd, comm, sizeof comm - 1);
  ::close(fd);
  std::string name(comm, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

bool nudge_handler_installed() {
  static const bool installed = [] {
    struct sigaction old {};
    if (::sigaction(kNudgeSignal, nullptr, &old) != 0) return false;
    if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) return false;  // someone's own
    struct sigaction sa {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // poll is interrupted all the same; reads and writes restart
    return ::sigaction(kNudgeSignal, &sa, nullptr) == 0;
  }();
  return installed;
}

// The thread id of SDL's playback thread of `device` ("SDLAudioP<id>"), or 0.
pid_t find_audio_thread(SDL_AudioDeviceID device) {
  const std::string name = "SDLAudioP" + std::to_string(device);
  pid_t found = 0;
  DIR* tasks = ::opendir("/proc/self/task");
  if (!tasks) return 0;
  while (const dirent* e = ::readdir(tasks)) {
    if (e->d_name[0] == '.') continue;
    const auto tid = static_cast<pid_t>(std::atoi(e->d_name));
    if (thread_name(tid) == name) {
      found = tid;
      break;
    }
  }
  ::closedir(tasks);
  return found;
}

// Closes the devices handed to it, in order, on a thread of its own. A close
// normally takes SDL's own drain time of two audio periods, about 21 ms, at
// next to no CPU. Right after a stream started on an idle sink, though, the
// device's audio thread can sit in poll() for up to two seconds; a second
// thread, the watcher, sees such a close overrun and nudges that audio thread
// every 5 ms until it is gone. SDL marks the device as shutting down only once
// the close has begun, and a nudge that comes earlier is lost: hence the
// repeats. Both threads sleep on a condition while there is nothing to do.
class DeviceCloser {
 public:
  DeviceCloser() {
    closer_ = std::thread([this] {
      run_closer();
      SDL_TLSCleanup();  // SDL's per-thread error text
    });
    try {
      watcher_ = std::thread([this] { run_watcher(); });
    } catch (...) {
      finish();  // no watcher: the caller closes devices itself, slowly at times
      throw;
    }
  }
  ~DeviceCloser() { finish(); }

  void close(SDL_AudioDeviceID device) {
    {
      std::lock_guard lk(m_);
      pending_.push_back(device);
    }
    cv_.notify_all();
  }

  // Closes everything handed over so far, then ends both threads.
  void finish() {
    {
      std::lock_guard lk(m_);
      finishing_ = true;
    }
    cv_.notify_all();
    if (closer_.joinable()) closer_.join();
    {
      std::lock_guard lk(m_);
      closer_done_ = true;
    }
    cv_.notify_all();
    if (watcher_.joinable()) watcher_.join();
  }

 private:
  // How long a close may take before its audio thread is nudged.
  static constexpr auto kNudgeAfter = 40ms;
  static constexpr auto kNudgeEvery = 5ms;

  void run_closer() {
    std::unique_lock lk(m_);
    for (;;) {
      cv_.wait(lk, [&] { return finishing_ || !pending_.empty(); });
      if (pending_.empty()) return;
      closing_ = pending_.front();
      pending_.pop_front();
      ++closes_begun_;
      closing_since_ = Clock::now();
      const SDL_AudioDeviceID device = closing_;
      lk.unlock();
      cv_.notify_all();
      SDL_CloseAudioDevice(device);
      lk.lock();
      closing_ = 0;
      cv_.notify_all();
    }
  }

  void run_watcher() {
    const bool can_nudge = nudge_handler_installed();
    std::unique_lock lk(m_);
    for (;;) {
      cv_.wait(lk, [&] { return closing_ != 0 || closer_done_; });
      if (closing_ == 0) return;
      const SDL_AudioDeviceID device = closing_;
      const std::uint64_t which = closes_begun_;
      const auto over = [&] { return closing_ == 0 || closes_begun_ != which; };
      if (cv_.wait_until(lk, closing_since_ + kNudgeAfter, over) || !can_nudge) {
        cv_.wait(lk, over);
        continue;
      }
      // This close overruns: its audio thread waits on the server.
      pid_t tid = 0;
      std::string name;
      while (!over()) {
        lk.unlock();
        if (tid == 0) {
          tid = find_audio_thread(device);
          name = tid ? thread_name(tid) : std::string();
        }
        if (tid != 0 && thread_name(tid) == name) {
          ::syscall(SYS_tgkill, ::getpid(), tid, kNudgeSignal);
        }
        lk.lock();
        cv_.wait_for(lk, kNudgeEvery, over);
      }
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::deque<SDL_AudioDeviceID> pending_;
  SDL_AudioDeviceID closing_ = 0;  // the device being closed, 0 if none
  std::uint64_t closes_begun_ = 0;
  Clock::time_point closing_since_{};
  bool finishing_ = false;
  bool closer_done_ = false;
  std::thread closer_;
  std::thread watcher_;
};

// section: the device
struct Request {
  enum class Kind : std::uint8_t { device_type, file_name, open, play, close, stop };
  Kind kind;
  std::string text;
};

class SdlCueDevice final : public CueDevice {
 public:
  SdlCueDevice() {
    // Hints are process-wide settings, set here on the caller's thread so the
    // worker never writes SDL's hint list while the event loop reads it.
    prepare_wav_decoding();
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Quarvel");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "cue");
    try {
      worker_ = std::thread([this] {
        run();
        SDL_TLSCleanup();  // SDL's per-thread error text
      });
    } catch (...) {
      // No thread, no sound: every request is then dropped.
    }
  }

  ~SdlCueDevice() override {
    post({Request::Kind::stop, {}});
    if (worker_.joinable()) worker_.join();
  }

  void set_device_type(std::string_view type) override {
    post({Request::Kind::device_type, std::string(type)});
  }
  void set_file_name(std::string path) override {
    post({Request::Kind::file_name, std::move(path)});
  }
  void command(CueCommand c) override {
    switch (c) {
      case CueCommand::open:
        post({Request::Kind::open, {}});
        break;
      case CueCommand::play:
        post({Request::Kind::play, {}});
        break;
      case CueCommand::close:
        // Counted at once, so a decode that has become useless stops early.
        closes_posted_.fetch_add(1, std::memory_order_relaxed);
        post({Request::Kind::close, {}});
        break;
    }
  }

 private:
  // What the worker alone touches.
  struct Audio {
    // section: SDL audio
    bool up = false;  // SDL_INIT_AUDIO done by us
    Clock::time_point next_try{};
    SDL_AudioDeviceID device = 0;
    PcmFormat format{};
    // section: the cue
    std::string file_name;
    std::vector<std::uint8_t> sound;  // the open cue in `format`, tail pad included
    bool playing = false;
    Clock::time_point ends_at{};     // when the queue should have run dry
    Clock::time_point idle_since{};  // since when the device has had nothing to play
  };

  void post(Request r) {
    if (!worker_.joinable()) return;
    try {
      std::lock_guard lk(m_);
      mailbox_.push_back(std::move(r));
    } catch (...) {
      return;  // out of memory: this request is lost, as a broken cue would be
    }
    cv_.notify_one();
  }

  void run();
  bool handle(const Request& r, bool superseded);
  std::optional<Clock::time_point> next_deadline() const;
  void look_after_device();

  // section: worker steps
  void start_audio();
  bool ensure_device();
  void open_cue();
  void play_cue();
  void stop_cue();
  void release_device();
  void shut_down();

  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Request> mailbox_;
  std::atomic<unsigned> closes_posted_{0};

  Audio a_;                               // worker only
  std::unique_ptr<DeviceCloser> closer_;  // worker only
  std::thread worker_;
};

void SdlCueDevice::run() {
  start_audio();
  std::vector<Request> batch;
  for (;;) {
    batch.clear();
    {
      std::unique_lock lk(m_);
      const auto deadline = next_deadline();
      const auto ready = [&] { return !mailbox_.empty(); };
      if (deadline) {
        cv_.wait_until(lk, *deadline, ready);
      } else {
        cv_.wait(lk, ready);
      }
      batch.swap(mailbox_);
    }
    // An open or play followed by a close in the same batch would be cut off
    // at once; skip its work.
    std::size_t last_close = batch.size();
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (batch[i].kind == Request::Kind::close) last_close = i;
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
      const bool superseded = last_close != batch.size() && i < last_close;
      if (!handle(batch[i], superseded)) return;
    }
    look_after_device();
  }
}

// Carries out one request; false once the device is to end.
bool SdlCueDevice::handle(const Request& r, bool superseded) {
  switch (r.kind) {
    case Request::Kind::device_type:
      break;  // SDL has one kind of device: wave audio
    case Request::Kind::file_name:
      a_.file_name = r.text;
      break;
    case Request::Kind::open:
      if (!superseded) open_cue();
      break;
    case Request::Kind::play:
      if (!superseded) play_cue();
      break;
    case Request::Kind::close:
      stop_cue();
      break;
    case Request::Kind::stop:
      shut_down();
      return false;
  }
  return true;
}

// When the worker next has something to check without being asked.
std::optional<Clock::time_point> SdlCueDevice::next_deadline() const {
  if (!a_.device) return std::nullopt;
  if (a_.playing) return a_.ends_at;
  return a_.idle_since + kReleaseAfter;
}

// Notices the end of a cue, and lets an idle device go.
void SdlCueDevice::look_after_device() {
  if (!a_.device) return;
  const auto now = Clock::now();
  if (a_.playing && now >= a_.ends_at) {
    const Uint32 queued = SDL_GetQueuedAudioSize(a_.device);
    if (queued == 0) {
      a_.playing = false;
      a_.idle_since = now;
    } else {
      const auto bytes_per_ms = std::max(1, a_.format.rate * a_.format.frame_bytes() / 1000);
      a_.ends_at = now + std::max(2ms, std::chrono::milliseconds(queued / bytes_per_ms));
    }
  }
  if (!a_.playing && now >= a_.idle_since + kReleaseAfter) release_device();
}

void SdlCueDevice::start_audio() {
  if (a_.up || Clock::now() < a_.next_try) return;
  a_.up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!a_.up) a_.next_try = Clock::now() + kAudioRetry;
  if (a_.up && !closer_) {
    try {
      closer_ = std::make_unique<DeviceCloser>();
    } catch (...) {
      // Without a closer, devices are closed on this thread, slowly at times.
    }
  }
}

// An open, working device; a lost one (server gone) is replaced.
bool SdlCueDevice::ensure_device() {
  start_audio();
  if (!a_.up) return false;
  if (a_.device && SDL_GetAudioDeviceStatus(a_.device) == SDL_AUDIO_STOPPED) release_device();
  if (a_.device) return true;
  SDL_AudioSpec want{};
  want.freq = kWantedRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  SDL_AudioSpec have{};
  a_.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (!a_.device) return false;
  a_.format = PcmFormat{have.freq, 2, SampleType::s16};
  a_.playing = false;
  a_.idle_since = Clock::now();
  return true;
}

// Reads and decodes the file last named; nothing is open if that fails.
void SdlCueDevice::open_cue() {
  stop_cue();  // at most one cue open
  const unsigned closes_seen = closes_posted_.load(std::memory_order_relaxed);
  auto bytes = read_cue_file(a_.file_name);
  if (!bytes || bytes->empty() || !ensure_device()) return;
  const auto cancelled = [&] {
    return closes_posted_.load(std::memory_order_relaxed) != closes_seen;
  };
  a_.sound = decode_wav(std::move(*bytes), a_.format, cancelled);
  if (a_.sound.empty()) return;
  const auto pad_frames =
      static_cast<std::size_t>(a_.format.rate) * std::chrono::milliseconds(kTailPad).count() / 1000;
  a_.sound.resize(a_.sound.size() + pad_frames * a_.format.frame_bytes(), 0);
}

// Starts the open cue from its beginning.
void SdlCueDevice::play_cue() {
  if (a_.sound.empty()) return;
  const PcmFormat decoded_for = a_.format;
  if (!ensure_device() || a_.format.rate != decoded_for.rate) return;
  SDL_ClearQueuedAudio(a_.device);
  if (SDL_QueueAudio(a_.device, a_.sound.data(), static_cast<Uint32>(a_.sound.size())) != 0) {
    return;
  }
  SDL_PauseAudioDevice(a_.device, 0);
  const auto bytes_per_second = static_cast<double>(a_.format.rate) * a_.format.frame_bytes();
  a_.playing = true;
  a_.ends_at =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(a_.sound.size() / bytes_per_second));
}

// Silences the device at once and forgets the open cue.
void SdlCueDevice::stop_cue() {
  if (a_.device) {
    SDL_PauseAudioDevice(a_.device, 1);
    SDL_ClearQueuedAudio(a_.device);
    if (a_.playing) a_.idle_since = Clock::now();
    a_.playing = false;
  }
  a_.sound = {};
}

void SdlCueDevice::release_device() {
  if (!a_.device) return;
  SDL_PauseAudioDevice(a_.device, 1);
  if (closer_) {
    closer_->close(a_.device);
  } else {
    SDL_CloseAudioDevice(a_.device);
  }
  a_.device = 0;
  a_.playing = false;
}

void SdlCueDevice::shut_down() {
  stop_cue();
  release_device();
  closer_.reset();  // closes what it holds and joins
  if (a_.up) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  a_.up = false;
}

}  // namespace

std::unique_ptr<CueDevice> make_platform_cue_device() {
  return std::make_unique<SdlCueDevice>();
}

}  // namespace quarvel::sound
