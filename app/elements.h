// The launcher window's fixed layout: its fifteen picture elements, where they
// sit, which picture each shows, which are visible at start and how they stack.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "assets/pictures.h"
#include "base/types.h"

namespace quarvel {

inline constexpr int kClientWidth = 500;
inline constexpr int kClientHeight = 480;
inline constexpr std::string_view kCaption = "Quarvel";

// In stacking order, top-most first: the rank of an element is its index + 1.
enum class Element : std::uint8_t {
  exit_press,
  help_press,
  start_press,
  exit_ovr,
  help_ovr,
  start_ovr,
  quit,
  help,
  start,
  selclose,
  ovrclose,
  selmin,
  ovrmin,
  minimize,
  close_b,
};
inline constexpr std::size_t kElementCount = 15;

struct ElementDesc {
  Element element;
  std::string_view name;
  Rect rect;
  assets::Picture picture;
  bool visible_at_start;
  int rank;  // 1 is the top of the stack
};

namespace layout {
inline constexpr Rect kStartButton{8, 424, 125, 40};
inline constexpr Rect kHelpButton{188, 424, 125, 40};
inline constexpr Rect kQuitButton{368, 424, 125, 40};
inline constexpr Rect kMinimizeWidget{448, 8, 18, 18};
inline constexpr Rect kCloseWidget{472, 8, 18, 18};
}  // namespace layout

using assets::Picture;
inline constexpr std::array<ElementDesc, kElementCount> kElements = {{
    {Element::exit_press, "exit_press", layout::kQuitButton, Picture::exit_press, false, 1},
    {Element::help_press, "help_press", layout::kHelpButton, Picture::help_press, false, 2},
    {Element::start_press, "start_press", layout::kStartButton, Picture::start_press, false, 3},
    {Element::exit_ovr, "exit_ovr", layout::kQuitButton, Picture::exit_ovr, false, 4},
    {Element::help_ovr, "help_ovr", layout::kHelpButton, Picture::help_ovr, false, 5},
    {Element::start_ovr, "start_ovr", layout::kStartButton, Picture::start_ovr, false, 6},
    {Element::quit, "quit", layout::kQuitButton, Picture::quit, true, 7},
    {Element::help, "help", layout::kHelpButton, Picture::help, true, 8},
    {Element::start, "start", layout::kStartButton, Picture::start, true, 9},
    {Element::selclose, "selclose", layout::kCloseWidget, Picture::selclose, false, 10},
    {Element::ovrclose, "ovrclose", layout::kCloseWidget, Picture::ovrclose, false, 11},
    {Element::selmin, "selmin", layout::kMinimizeWidget, Picture::selmin, false, 12},
    {Element::ovrmin, "ovrmin", layout::kMinimizeWidget, Picture::ovrmin, false, 13},
    {Element::minimize, "minimize", layout::kMinimizeWidget, Picture::minimize, true, 14},
    {Element::close_b, "close_b", layout::kCloseWidget, Picture::close_b, true, 15},
}};

constexpr const ElementDesc& describe(Element e) {
  return kElements[static_cast<std::size_t>(e)];
}

}  // namespace quarvel
