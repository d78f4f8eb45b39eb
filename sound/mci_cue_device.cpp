// The Windows cue device: winmm's MCI wave-audio device, driven by command
// strings on one alias. Play is sent without "wait", so the sound goes on while
// the message loop runs. Every result is ignored: a missing file or sound
// device only means silence.
#include <windows.h>
// mmsystem.h needs the types from windows.h first.
#include <mmsystem.h>

#include <memory>
#include <string>
#include <string_view>

#include "sound/cue_device.h"

namespace quarvel::sound {
namespace {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), size);
  return out;
}

class MciCueDevice final : public CueDevice {
 public:
  void set_device_type(std::string_view type) override { device_type_ = widen(type); }
  void set_file_name(std::string path) override { file_name_ = widen(path); }

  void command(CueCommand c) override {
    switch (c) {
      case CueCommand::open:
        // A Windows path holds no quote, so quoting keeps spaces in one argument.
        return send(L"open \"" + file_name_ + L"\" type " + device_type_ + L" alias mci_1");
      case CueCommand::play:
        return send(L"play mci_1 from 0");
      case CueCommand::close:
        return send(L"close mci_1");
    }
  }

 private:
  // Sends one command string; its result and error text are not wanted.
  static void send(const std::wstring& command) {
    mciSendStringW(command.c_str(), nullptr, 0, nullptr);
  }

  std::wstring device_type_;
  std::wstring file_name_;
};

}  // namespace

std::unique_ptr<CueDevice> make_platform_cue_device() {
  return std::make_unique<MciCueDevice>();
}

}  // namespace quarvel::sound
