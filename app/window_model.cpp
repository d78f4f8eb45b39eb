#include "app/window_model.h"

#include <algorithm>

namespace quarvel {

WindowModel::WindowModel() {
  for (const auto& d : kElements)
    visible_[static_cast<std::size_t>(d.element)] = d.visible_at_start;
}

bool WindowModel::set_visible(Element e, bool visible) {
  bool& v = visible_[static_cast<std::size_t>(e)];
  if (v == visible) return false;
  v = visible;
  return true;
}

std::optional<Element> WindowModel::receiver_at(int x, int y) const {
  for (const auto& d : kElements) {  // top-most first
    if (visible(d.element) && d.rect.contains(x, y)) return d.element;
  }
  return std::nullopt;
}

namespace {

// Copies the part of `image` (placed at `at`) that lies in `area` into the frame.
void blit(const assets::Image& image, const Rect& at, const Rect& area, FrameView frame) {
  const Rect part = intersect(intersect(at, area), Rect{0, 0, frame.width, frame.height});
  if (part.empty() || image.width != at.width || image.height != at.height) return;
  for (int y = part.top; y < part.bottom(); ++y) {
    const std::uint32_t* src = &image.pixels[static_cast<std::size_t>(y - at.top) * image.width +
                                             static_cast<std::size_t>(part.left - at.left)];
    std::uint32_t* dst = frame.pixels + static_cast<std::size_t>(y) * frame.stride + part.left;
    std::copy_n(src, part.width, dst);
  }
}

}  // namespace

void WindowModel::draw(const assets::Pictures& pictures, const Rect& area, FrameView frame) const {
  blit(pictures[Picture::background], Rect{0, 0, kClientWidth, kClientHeight}, area, frame);
  for (auto it = kElements.rbegin(); it != kElements.rend(); ++it) {  // bottom of the stack first
    if (visible(it->element)) blit(pictures[it->picture], it->rect, area, frame);
  }
}

}  // namespace quarvel
