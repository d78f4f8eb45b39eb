// The sound device that plays one cue file at a time, driven by the launcher's
// cue player (sound/cue_player.h). Each backend fills this contract:
// sdl_cue_device.cpp on Linux, mci_cue_device.cpp on Windows.
//
// Every request returns at once and reports nothing: a missing device, a
// missing or broken file only mean silence.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace quarvel::sound {

enum class CueCommand { open, play, close };

class CueDevice {
 public:
  virtual ~CueDevice() = default;

  // Settings take effect at the next command.
  virtual void set_device_type(std::string_view type) = 0;  // "WaveAudio"
  virtual void set_file_name(std::string path) = 0;         // the cue file to open next

  // open: opens the file last named (closing nothing; the caller closes first).
  // play: starts the open file from its beginning and returns while it sounds.
  // close: stops the sound at once and releases the file.
  virtual void command(CueCommand c) = 0;

  // Carries out what was asked, then lets the sound system go, waiting at most
  // `within`: true once it has. False while the sound system still holds the
  // device (a hung sound server): the device then finishes on its own, if ever,
  // and its owner ends the program without shutting the sound system down.
  // Destroying a device that was not finished waits for all of this.
  virtual bool finish(std::chrono::milliseconds within) = 0;
};

// How soon a sound system that could not be reached is tried again.
inline constexpr std::chrono::milliseconds kSoundRetry = std::chrono::seconds(5);

// The platform's device (defined by the backend built for this platform).
std::unique_ptr<CueDevice> make_platform_cue_device(std::chrono::milliseconds retry = kSoundRetry);

}  // namespace quarvel::sound
