// The cue device on Windows: winmm's MCI wave-audio device, driven by command strings on one
// alias (sound/cue_device.h).
// Implemented: the device type and file name as given; open, play from the start, close; finish
//   waits a bounded time for the commands still queued to be carried out.
// Left out: every result and error text: a missing file or sound device only means silence. The
//   retry interval: MCI starts the wave-audio device anew at every open, so nothing is retried.
// Why it is so: the commands go, in the order given, to a thread of the device's own, so that
//   nothing blocks the message loop: "play" is sent without "wait", but "close" waits until a
//   playing cue has stopped, and the first "open" or "play" waits for the audio system to start
//   (under Wine, close alone can take most of a second while a cue plays). The queue is shared
//   with that thread, so that a thread stuck in a hung driver can be left behind.
#include <windows.h>
// mmsystem.h needs the types from windows.h first.
#include <mmsystem.h>

#include <chrono>
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

// The commands on their way to MCI, shared by the device and its sending thread.
class CommandQueue {
 public:
  void push(std::wstring command) {
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(std::move(command));
    }
    changed_.notify_all();
  }

  // Lets the sending thread end once everything queued is sent.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
  }

  bool wait_sent(std::chrono::milliseconds within) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, within, [this] { return sent_all_; });
  }

  // The sending thread: each command in turn; its result and error text are not wanted.
  void send_queued() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !commands_.empty(); });
      if (commands_.empty()) break;  // stopping, and all is sent
      const std::wstring command = std::move(commands_.front());
      commands_.pop_front();
      lock.unlock();
      mciSendStringW(command.c_str(), nullptr, 0, nullptr);
      lock.lock();
    }
    sent_all_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::wstring> commands_;
  bool stopping_ = false;
  bool sent_all_ = false;
};

class MciCueDevice final : public CueDevice {
 public:
  MciCueDevice() : sender_([queue = queue_] { queue->send_queued(); }) {}

  // Sends what is still queued (the unload step's close), then stops the thread.
  ~MciCueDevice() override {
    if (!sender_.joinable()) return;
    queue_->stop();
    sender_.join();
  }

  void set_device_type(std::string_view type) override { device_type_ = widen(type); }
  void set_file_name(std::string path) override { file_name_ = widen(path); }

  void command(CueCommand c) override {
    switch (c) {
      case CueCommand::open:
        // A Windows path holds no quote, so quoting keeps spaces in one argument.
        return queue_->push(L"open \"" + file_name_ + L"\" type " + device_type_ + L" alias mci_1");
      case CueCommand::play:
        return queue_->push(L"play mci_1 from 0");
      case CueCommand::close:
        return queue_->push(L"close mci_1");
    }
  }

  // A thread stuck in a hung driver is left behind with the queue it needs.
  bool finish(std::chrono::milliseconds within) override {
    if (!sender_.joinable()) return !left_behind_;
    queue_->stop();
    if (!queue_->wait_sent(within)) {
      sender_.detach();
      left_behind_ = true;
      return false;
    }
    sender_.join();
    return true;
  }

 private:
  // The message loop's thread alone uses these.
  std::wstring device_type_;
  std::wstring file_name_;
  bool left_behind_ = false;

  std::shared_ptr<CommandQueue> queue_ = std::make_shared<CommandQueue>();
  std::thread sender_;  // last: starts once everything above is ready
};

}  // namespace

std::unique_ptr<CueDevice> make_platform_cue_device(std::chrono::milliseconds) {
  return std::make_unique<MciCueDevice>();
}

}  // namespace quarvel::sound
