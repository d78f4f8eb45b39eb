// Where a person points at the window's controls, derived from the element
// table, and how the window looks with one of them lit.
#pragma once

#include <stdexcept>

#include "app/elements.h"
#include "app/window_model.h"

namespace quarvel::testing {

struct At {
  int x, y;
};

constexpr At middle(const Rect& r) {
  return {r.left + r.width / 2, r.top + r.height / 2};
}

inline constexpr At kOnStart = middle(layout::kStartButton);
inline constexpr At kOnHelp = middle(layout::kHelpButton);
inline constexpr At kOnQuit = middle(layout::kQuitButton);
inline constexpr At kOnMinimize = middle(layout::kMinimizeWidget);
inline constexpr At kOnClose = middle(layout::kCloseWidget);
inline constexpr At kOnBackground{250, 300};  // under no control

// A control and the element that lights it while the pointer is over it.
struct Hover {
  const char* name;
  Element normal, lit;
  constexpr Rect rect() const { return describe(normal).rect; }
  constexpr At at() const { return middle(rect()); }
};
inline constexpr Hover kHovers[] = {
    {"start", Element::start, Element::start_ovr},
    {"help", Element::help, Element::help_ovr},
    {"quit", Element::quit, Element::exit_ovr},
    {"minimize", Element::minimize, Element::ovrmin},
    {"close", Element::close_b, Element::ovrclose},
};

// The control whose normal element is `normal`.
constexpr const Hover& hover_of(Element normal) {
  for (const Hover& h : kHovers) {
    if (h.normal == normal) return h;
  }
  throw std::invalid_argument("not a control's normal element");
}

// The window as it first shows, but with the pointer over that control.
inline WindowModel lit_window(Element normal) {
  WindowModel m;
  m.set_visible(hover_of(normal).normal, false);
  m.set_visible(hover_of(normal).lit, true);
  return m;
}

}  // namespace quarvel::testing
