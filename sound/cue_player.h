// The launcher's sound player: plays its five cues, one at a time, each cue
// closing the one before. It builds each cue's path afresh and drives the
// device in a fixed order; it never reports failure to its caller.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "sound/cue_device.h"

namespace quarvel::sound {

enum class Cue : std::uint8_t { open, hover, click, start, back };

struct CueDesc {
  Cue cue;
  std::string_view literal;  // appended to the application directory
};

inline constexpr std::array<CueDesc, 5> kCues = {{
    {Cue::open, "\\Install\\open.wav"},
    {Cue::hover, "\\Install\\hover.wav"},
    {Cue::click, "\\Install\\click.wav"},
    {Cue::start, "\\Install\\start.wav"},
    {Cue::back, "\\Install\\back.wav"},
}};

constexpr std::string_view cue_literal(Cue c) {
  return kCues[static_cast<std::size_t>(c)].literal;
}

// Builds a file path: the application directory at the time of the call,
// followed by a literal.
using PathBuilder = std::function<std::string(std::string_view literal)>;

class CuePlayer {
 public:
  CuePlayer(CueDevice& device, PathBuilder path) : device_(device), path_(std::move(path)) {}

  // The load step: configure the device and start the open cue.
  void set_up_and_play_open();
  // Close the cue before, then open this cue's file anew and start it.
  void play(Cue cue);
  // The unload step: stop and release whatever is open.
  void close();

 private:
  CueDevice& device_;
  PathBuilder path_;
};

}  // namespace quarvel::sound
