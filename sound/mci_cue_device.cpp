// The cue device on Windows: winmm's MCI wave-audio device, driven by command strings on one
// alias (sound/cue_device.h).
// Implemented: the device type and file name as given; open, play from the start, close.
// Left out: every result and error text: a missing file or sound device only means silence.
// Why it is so: the commands go, in the order given, to a thread of the device's own, so that
//   nothing blocks the message loop: "play" is sent without "wait", but "close" waits until a
//   playing cue has stopped, and the first "open" or "play" waits for the audio system to start
//   (under Wine, close alone can take most of a second while a cue plays).
#include <windows.h>
// mmsystem.h needs the types from windows.h first.
#include <mmsystem.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/win32_text.h"
#include "sound/cue_device.h"

namespace quarvel::sound {
namespace {

class MciCueDevice final : public CueDevice {
 public:
  MciCueDevice() : sender_([this] { send_queued(); }) {}

  // Sends what is still queued (the unload step's close), then stops the thread.
  ~MciCueDevice() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    queued_.notify_one();
    sender_.join();
  }

  void set_device_type(std::string_view type) override { device_type_ = widen(type); }
  void set_file_name(std::string path) override { file_name_ = widen(path); }

  void command(CueCommand c) override {
    switch (c) {
      case CueCommand::open:
        // A Windows path holds no quote, so quoting keeps spaces in one argument.
        return queue(L"open \"" + file_name_ + L"\" type " + device_type_ + L" alias mci_1");
      case CueCommand::play:
        return queue(L"play mci_1 from 0");
      case CueCommand::close:
        return queue(L"close mci_1");
    }
  }

 private:
  void queue(std::wstring command) {
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(std::move(command));
    }
    queued_.notify_one();
  }

  // The sending thread: each command in turn; its result and error text are not wanted.
  void send_queued() {
    std::unique_lock lock(mutex_);
    for (;;) {
      queued_.wait(lock, [this] { return stopping_ || !commands_.empty(); });
      if (commands_.empty()) return;  // stopping, and all is sent
      const std::wstring command = std::move(commands_.front());
      commands_.pop_front();
      lock.unlock();
      mciSendStringW(command.c_str(), nullptr, 0, nullptr);
      lock.lock();
    }
  }

  // The message loop's thread alone uses these.
  std::wstring device_type_;
  std::wstring file_name_;

  // Shared with the sending thread.
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::wstring> commands_;
  bool stopping_ = false;
  std::thread sender_;  // last: starts once everything above is ready
};

}  // namespace

std::unique_ptr<CueDevice> make_platform_cue_device() {
  return std::make_unique<MciCueDevice>();
}

}  // namespace quarvel::sound
