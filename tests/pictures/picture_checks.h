// Small helpers shared by the picture tests: colour arithmetic and the decoded pictures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "assets/pictures.h"

namespace quarvel::assets::testing {

struct Channels {
  int r = 0;
  int g = 0;
  int b = 0;
};

inline Channels split(std::uint32_t c) {
  return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
          static_cast<int>(c & 0xFF)};
}

// Largest difference over the three channels.
inline int distance(std::uint32_t a, std::uint32_t b) {
  const Channels x = split(a);
  const Channels y = split(b);
  return std::max({std::abs(x.r - y.r), std::abs(x.g - y.g), std::abs(x.b - y.b)});
}

// How far a colour is from grey: 0 for neutral, 255 for a pure primary.
inline int chroma(std::uint32_t c) {
  const Channels x = split(c);
  return std::max({x.r, x.g, x.b}) - std::min({x.r, x.g, x.b});
}

inline int brightness(std::uint32_t c) {
  const Channels x = split(c);
  return (x.r * 30 + x.g * 59 + x.b * 11) / 100;
}

inline std::string hex(std::uint32_t c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(c & 0xFFFFFF));
  return text;
}

// Joins the parts into one message (streams keep GCC's string warnings quiet).
template <typename... Parts>
std::string text(const Parts&... parts) {
  std::ostringstream out;
  (out << ... << parts);
  return out.str();
}

inline std::string at_text(int x, int y) {
  return text(" (", x, ", ", y, ")");
}

// The pixel has exactly the expected colour; failures name both in hex.
inline ::testing::AssertionResult has_colour(const Image& img, int x, int y,
                                             std::uint32_t expected) {
  if (img.at(x, y) == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel" << at_text(x, y) << " is " << hex(img.at(x, y))
                                       << ", expected " << hex(expected);
}

// Every picture decoded once for the whole test program.
inline const Pictures& decoded() {
  static const Pictures pictures = Pictures::decode_all();
  return pictures;
}

// The picture that shows `what` in `look`, as the table of pictures says.
inline Picture picture_of(Shows what, Look look) {
  for (const PictureDesc& d : kPictures) {
    if (d.shows == what && d.look == look) return d.picture;
  }
  throw std::out_of_range("no picture shows that look");
}

}  // namespace quarvel::assets::testing
