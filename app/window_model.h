// The launcher window's elements at run time: their visibility, which one
// receives a pointer event, and how the window is drawn.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "app/elements.h"
#include "assets/pictures.h"

namespace quarvel {

// A 0x00RRGGBB frame buffer that the window is drawn into.
struct FrameView {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // in pixels
};

class WindowModel {
 public:
  WindowModel();

  bool visible(Element e) const { return visible_[static_cast<std::size_t>(e)]; }
  // Sets an element's visibility; returns whether anything changed on screen.
  bool set_visible(Element e, bool visible);

  // The top-most visible element holding the point, or none for the background.
  std::optional<Element> receiver_at(int x, int y) const;

  // Draws the part `area` of the window: the background, then every visible
  // element from the bottom of the stack to the top.
  void draw(const assets::Pictures& pictures, const Rect& area, FrameView frame) const;

 private:
  std::array<bool, kElementCount> visible_{};
};

}  // namespace quarvel
