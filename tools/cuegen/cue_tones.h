// The launcher's five demo cues, synthesised: each a short 16-bit mono PCM WAV
// at kCueRate with one dominant frequency of its own, so a recording can tell
// which cue sounded.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quarvel::cuegen {

inline constexpr int kCueRate = 44100;

// The dominant frequency of each cue, in Hz.
inline constexpr double kOpenCueHz = 880.0;     // A5: the note the rising chime lands on
inline constexpr double kHoverCueHz = 1567.98;  // G6: a soft blip
inline constexpr double kClickCueHz = 1174.66;  // D6: a short tick
inline constexpr double kStartCueHz = 1046.50;  // C6: the bright fanfare's held note
inline constexpr double kBackCueHz = 392.0;     // G4: where the descending blip settles

struct CueTone {
  std::string_view file;  // file name in the cue folder
  double hz;              // dominant frequency
  double seconds;         // length
};

inline constexpr std::array<CueTone, 5> kCueTones = {{
    {"open.wav", kOpenCueHz, 1.0},
    {"hover.wav", kHoverCueHz, 0.06},
    {"click.wav", kClickCueHz, 0.12},
    {"start.wav", kStartCueHz, 1.4},
    {"back.wav", kBackCueHz, 0.16},
}};

// The samples of one cue (its file name from kCueTones), kCueRate mono; empty
// for an unknown name. The same every time.
std::vector<std::int16_t> synthesise(std::string_view file);

// A canonical 44-byte-header PCM WAV image of 16-bit samples.
std::vector<std::uint8_t> wav_image(const std::vector<std::int16_t>& samples, int rate,
                                    int channels = 1);

}  // namespace quarvel::cuegen
