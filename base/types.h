// Small value types shared by the core and its backends.
#pragma once

#include <cstdint>

namespace quarvel {

// Milliseconds on a monotonic clock.
using Millis = std::int64_t;

// A native window handle (HWND, X11 window id), carried through the core unopened.
enum class NativeHandle : std::uintptr_t { none = 0 };

// A rectangle in client-area pixels.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  constexpr int right() const { return left + width; }   // one past the last column
  constexpr int bottom() const { return top + height; }  // one past the last row
  constexpr bool contains(int x, int y) const {
    return left <= x && x < right() && top <= y && y < bottom();
  }
  constexpr bool empty() const { return width <= 0 || height <= 0; }
  constexpr bool operator==(const Rect&) const = default;
};

// The smallest rectangle holding both (an empty one holds nothing).
constexpr Rect bounding(const Rect& a, const Rect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  const int l = a.left < b.left ? a.left : b.left;
  const int t = a.top < b.top ? a.top : b.top;
  const int r = a.right() > b.right() ? a.right() : b.right();
  const int btm = a.bottom() > b.bottom() ? a.bottom() : b.bottom();
  return {l, t, r - l, btm - t};
}

// The part of a that lies inside b (empty if none).
constexpr Rect intersect(const Rect& a, const Rect& b) {
  const int l = a.left > b.left ? a.left : b.left;
  const int t = a.top > b.top ? a.top : b.top;
  const int r = a.right() < b.right() ? a.right() : b.right();
  const int btm = a.bottom() < b.bottom() ? a.bottom() : b.bottom();
  if (r <= l || btm <= t) return {};
  return {l, t, r - l, btm - t};
}

}  // namespace quarvel
