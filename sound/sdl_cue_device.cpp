// The cue device on Linux: cue files played through SDL2 audio (sound/cue_device.h).
// Implemented: open reads and decodes the file (anew every time: nothing is cached), play opens an
//   SDL device for that cue alone and queues its samples, close silences it; finish waits a bounded
//   time for the worker to let SDL audio go.
// Left out: MCI's device types and their settings (SDL plays wave audio only), and any report of
//   failure (a cue that cannot play is silence).
// Why it is so: the event loop must never wait on sound, so each request only posts to a mailbox
//   and one worker thread does all the audio work; its state is shared with it, so that a worker
//   stuck on a hung sound server can be left behind. A device is let go as soon as its cue has
//   played out or been cut off: one kept open would play the silence it has buffered before the
//   next cue (tens of milliseconds through pipewire-pulse) and cost CPU while idle, whereas opening
//   one takes about a millisecond on PulseAudio and 10 on PipeWire's own driver, which is taken
//   where PipeWire plays the desktop's sound (as SDL itself does from 2.30 on): through
//   pipewire-pulse, SDL's default way to it, a new stream takes 30 to 60 ms. SDL needs two audio
//   periods to close a device, so a closer thread does that, out of every cue's way. Audio that
//   reaches no sound server (none was up yet, as at login: SDL failed, or fell back to ALSA, which
//   plays past the server to come) is started anew between cues once a retry interval has passed;
//   a server restarted later needs nothing of the kind: SDL's next device reaches it by itself.
//   libasound's error handler is silenced: where SDL falls back to ALSA it would write to stderr,
//   and the launcher shows no message of its own.
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
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

// What every cue is decoded to, at its own rate where a device takes that (the
// sound server resamples it on the way, with no cost to the cue's start).
constexpr PcmFormat kFormat{48000, 2, SampleType::s16};
// SDL hands the server at most this much at a time, so a queued cue starts
// sounding within one period: 512 frames at 44.1 or 48 kHz.
constexpr auto kLongestPeriod = 12.5ms;
// Silence after every cue, so its last sample has been handed over before the
// device is let go; SDL's own two periods of closing cover what the server holds.
constexpr auto kTailPad = 10ms;

// Reads at most kMaxCueFileBytes of a regular file. Opening never blocks (a
// FIFO or a device is refused after fstat, not read), and a file that shrinks
// or fails mid-read gives what was read.
std::optional<std::vector<std::uint8_t>> read_cue_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(std::min<std::size_t>(
      static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)), kMaxCueFileBytes));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return bytes;
}

// libasound writes its errors (no sound card, no such PCM) to stderr when SDL
// falls back to ALSA. The launcher shows no message of its own, and neither
// should its libraries; the handler stays set because the library stays loaded.
void quiet_alsa_error(const char*, int, const char*, int, const char*, ...) {}

void keep_alsa_quiet() {
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  static void* const alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!alsa) return;  // no ALSA: nothing to silence
  if (auto set = reinterpret_cast<int (*)(Handler)>(::dlsym(alsa, "snd_lib_error_set_handler"))) {
    set(quiet_alsa_error);
  }
}

// Closes the devices handed to it, in order, on a thread of its own.
class DeviceCloser {
 public:
  DeviceCloser()
      : thread_([this] {
          run();
          SDL_TLSCleanup();  // SDL's per-thread error text
        }) {}
  // Closes everything handed over so far, then ends the thread.
  ~DeviceCloser() {
    {
      std::lock_guard lk(m_);
      finishing_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }

  void close(SDL_AudioDeviceID device) {
    {
      std::lock_guard lk(m_);
      pending_.push_back(device);
    }
    cv_.notify_one();
  }

 private:
  void run() {
    std::unique_lock lk(m_);
    for (;;) {
      cv_.wait(lk, [&] { return finishing_ || !pending_.empty(); });
      if (pending_.empty()) return;
      const SDL_AudioDeviceID device = pending_.front();
      pending_.pop_front();
      lk.unlock();
      SDL_CloseAudioDevice(device);
      lk.lock();
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::deque<SDL_AudioDeviceID> pending_;
  bool finishing_ = false;
  std::thread thread_;  // last: it starts once the rest is there
};

// Whether SDL plays where the desktop's sound goes: through a sound server, or
// through the driver the user named. ALSA or OSS that SDL chose itself means it
// found no server, and would play past the one that comes up later.
bool reaches_the_desktops_sound() {
  const char* named = SDL_GetHint(SDL_HINT_AUDIODRIVER);
  if (named && *named) return true;
  const char* driver = SDL_GetCurrentAudioDriver();
  return driver && std::strcmp(driver, "alsa") != 0 && std::strcmp(driver, "dsp") != 0;
}

// Starts SDL audio on PipeWire's own driver where PipeWire plays the desktop's
// sound (a PipeWire that only carries video has no output), else on the driver
// the user names or SDL chooses. True if it started through SDL_AudioInit.
bool start_sdl_audio(bool& by_audio_init) {
  const char* named = std::getenv("SDL_AUDIODRIVER");
  by_audio_init = !(named && *named) && SDL_AudioInit("pipewire") == 0;
  if (by_audio_init && SDL_GetNumAudioDevices(0) > 0) return true;
  if (by_audio_init) SDL_AudioQuit();
  by_audio_init = false;
  return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

struct Request {
  enum class Kind : std::uint8_t { file_name, open, play, close, stop };
  Kind kind;
  std::string text;
};

// The device's work, on a thread of its own, and the mailbox that feeds it.
// Shared between the device and that thread, which may outlive the device.
class CueWorker {
 public:
  explicit CueWorker(Clock::duration retry) : retry_(retry) {}

  void post(Request r) {
    try {
      std::lock_guard lk(m_);
      mailbox_.push_back(std::move(r));
    } catch (...) {
      return;  // out of memory: this request is lost, as a broken cue would be
    }
    cv_.notify_one();
  }
  // Counted at once, so a decode that has become useless stops early.
  void count_close() { closes_posted_.fetch_add(1, std::memory_order_relaxed); }

  // The thread's whole life: requests until stop, then SDL's per-thread error text.
  void live() {
    run();
    SDL_TLSCleanup();
    {
      std::lock_guard lk(m_);
      ended_ = true;
    }
    ended_cv_.notify_all();
  }
  bool wait_ended(Clock::duration within) {
    std::unique_lock lk(m_);
    return ended_cv_.wait_for(lk, within, [&] { return ended_; });
  }

 private:
  void run();
  bool handle(const Request& r, bool superseded);
  bool start_audio(bool between_cues);
  void stop_audio();
  void open_cue();
  void play_cue();
  void stop_cue();
  void release_when_played_out();

  const Clock::duration retry_;
  std::mutex m_;
  std::condition_variable cv_;
  std::condition_variable ended_cv_;
  std::vector<Request> mailbox_;
  bool ended_ = false;
  std::atomic<unsigned> closes_posted_{0};

  // The worker's alone.
  struct {
    bool up = false;               // SDL audio started by us
    bool by_audio_init = false;    // on PipeWire's driver, through SDL_AudioInit
    bool settled = false;          // and it reaches the desktop's sound
    Clock::time_point next_try{};  // when audio down or unsettled may start anew
    std::unique_ptr<DeviceCloser> closer;
    std::string file_name;
    DecodedWav sound;              // the open cue
    SDL_AudioDeviceID device = 0;  // the device the playing cue has
    Clock::time_point ends_at{};   // when its queue should have run dry
  } a_;
};

class SdlCueDevice final : public CueDevice {
 public:
  explicit SdlCueDevice(Clock::duration retry) {
    // Hints are process-wide, so they are set here on the caller's thread and
    // the worker never writes SDL's hint list while the event loop reads it.
    prepare_wav_decoding();
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Quarvel");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "cue");
    try {
      worker_ = std::make_shared<CueWorker>(retry);
      thread_ = std::thread([w = worker_] { w->live(); });
    } catch (...) {
      // No thread, no sound: every request is then dropped.
    }
  }

  ~SdlCueDevice() override {
    if (!thread_.joinable()) return;
    worker_->post({Request::Kind::stop, {}});
    thread_.join();
  }

  void set_device_type(std::string_view) override {}  // SDL plays wave audio only
  void set_file_name(std::string path) override {
    post({Request::Kind::file_name, std::move(path)});
  }
  void command(CueCommand c) override {
    switch (c) {
      case CueCommand::open:
        return post({Request::Kind::open, {}});
      case CueCommand::play:
        return post({Request::Kind::play, {}});
      case CueCommand::close:
        if (thread_.joinable()) worker_->count_close();
        return post({Request::Kind::close, {}});
    }
  }

  // A worker stuck in SDL is left behind with what it needs; the caller must
  // then not take SDL audio down under it.
  bool finish(std::chrono::milliseconds within) override {
    if (!thread_.joinable()) return !left_behind_;
    worker_->post({Request::Kind::stop, {}});
    if (!worker_->wait_ended(within)) {
      thread_.detach();
      left_behind_ = true;
      return false;
    }
    thread_.join();
    return true;
  }

 private:
  void post(Request r) {
    if (thread_.joinable()) worker_->post(std::move(r));
  }

  std::shared_ptr<CueWorker> worker_;
  std::thread thread_;
  bool left_behind_ = false;
};

void CueWorker::run() {
  start_audio(true);  // now, rather than in the way of the first cue
  std::vector<Request> batch;
  for (;;) {
    batch.clear();
    {
      std::unique_lock lk(m_);
      const auto ready = [&] { return !mailbox_.empty(); };
      if (a_.device) {
        cv_.wait_until(lk, a_.ends_at, ready);
      } else {
        cv_.wait(lk, ready);
      }
      batch.swap(mailbox_);
    }
    // An open or play followed by a close in the same batch would be cut off
    // at once: skip its work.
    std::size_t last_close = 0;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (batch[i].kind == Request::Kind::close) last_close = i + 1;
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (!handle(batch[i], i + 1 < last_close)) return;
    }
    release_when_played_out();
  }
}

// Carries out one request; false once the device is to end.
bool CueWorker::handle(const Request& r, bool superseded) {
  switch (r.kind) {
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
      a_.sound.samples = {};
      break;
    case Request::Kind::stop:
      stop_audio();
      return false;
  }
  return true;
}

// Audio is up. Where it is down or does not reach the desktop's sound, it is
// started anew once the retry interval has passed since the last start; audio
// that is up is only restarted between cues, never under one.
bool CueWorker::start_audio(bool between_cues) {
  const bool due = Clock::now() >= a_.next_try;
  if (a_.up && (a_.settled || !due || !between_cues)) return true;
  if (!due) return false;
  stop_audio();
  keep_alsa_quiet();
  a_.next_try = Clock::now() + retry_;
  a_.up = start_sdl_audio(a_.by_audio_init);
  if (!a_.up) return false;
  a_.settled = reaches_the_desktops_sound();
  try {
    a_.closer = std::make_unique<DeviceCloser>();
  } catch (...) {
    // No closer thread: devices are closed on this one, a little slower.
  }
  return true;
}

// Silences the playing cue and lets SDL audio go, once every device is closed.
void CueWorker::stop_audio() {
  stop_cue();
  a_.closer.reset();  // closes what it holds, then ends
  if (a_.up && a_.by_audio_init) SDL_AudioQuit();
  if (a_.up && !a_.by_audio_init) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  a_.up = false;
}

// Reads and decodes the file last named; nothing is open if that fails.
void CueWorker::open_cue() {
  const bool between_cues = a_.device == 0;
  stop_cue();  // at most one cue open
  const unsigned closes_seen = closes_posted_.load(std::memory_order_relaxed);
  auto bytes = read_cue_file(a_.file_name);
  if (!bytes || bytes->empty() || !start_audio(between_cues)) return;
  a_.sound = decode_wav_at_own_rate(std::move(*bytes), kFormat, [&] {
    return closes_posted_.load(std::memory_order_relaxed) != closes_seen;
  });
}

// Starts the open cue from its beginning on a device of its own.
void CueWorker::play_cue() {
  const std::vector<std::uint8_t>& samples = a_.sound.samples;
  const PcmFormat& format = a_.sound.format;
  if (samples.empty()) return;
  stop_cue();  // a second play starts the cue over
  SDL_AudioSpec want{};
  want.freq = format.rate;
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(format.channels);
  want.samples = static_cast<Uint16>(std::bit_floor(
      static_cast<unsigned>(std::chrono::duration<double>(kLongestPeriod).count() * format.rate)));
  a_.device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (!a_.device) return;
  const std::vector<std::uint8_t> pad(static_cast<std::size_t>(format.rate * format.frame_bytes()) *
                                      std::chrono::milliseconds(kTailPad).count() / 1000);
  if (SDL_QueueAudio(a_.device, samples.data(), static_cast<Uint32>(samples.size())) != 0 ||
      SDL_QueueAudio(a_.device, pad.data(), static_cast<Uint32>(pad.size())) != 0) {
    return stop_cue();
  }
  SDL_PauseAudioDevice(a_.device, 0);
  const std::chrono::duration<double> length(static_cast<double>(samples.size() + pad.size()) /
                                             (format.rate * format.frame_bytes()));
  a_.ends_at = Clock::now() + std::chrono::duration_cast<Clock::duration>(length);
}

// Silences the playing cue at once and lets its device go.
void CueWorker::stop_cue() {
  if (!a_.device) return;
  SDL_PauseAudioDevice(a_.device, 1);
  if (a_.closer) {
    a_.closer->close(a_.device);
  } else {
    SDL_CloseAudioDevice(a_.device);
  }
  a_.device = 0;
}

// Lets the device go once the cue has played out; the open cue stays open.
void CueWorker::release_when_played_out() {
  if (!a_.device || Clock::now() < a_.ends_at) return;
  const Uint32 queued = SDL_GetQueuedAudioSize(a_.device);
  if (queued == 0) return stop_cue();
  const PcmFormat& format = a_.sound.format;
  const auto left =
      std::chrono::milliseconds(queued / std::max(1, format.rate * format.frame_bytes() / 1000));
  a_.ends_at = Clock::now() + std::max<Clock::duration>(2ms, left);
}

}  // namespace

std::unique_ptr<CueDevice> make_platform_cue_device(std::chrono::milliseconds retry) {
  return std::make_unique<SdlCueDevice>(retry);
}

}  // namespace quarvel::sound
