// A person's pointer on an X display, sent through XTEST on a connection of
// its own: nothing to start per event, and each call returns once the server
// has taken the event, so a test knows to the millisecond when it asked.
#pragma once

#include <string>

namespace quarvel::testing {

class Pointer {
 public:
  // Throws if the display (empty: $DISPLAY) cannot be opened or has no XTEST.
  explicit Pointer(const std::string& display = {});
  ~Pointer();
  Pointer(const Pointer&) = delete;
  Pointer& operator=(const Pointer&) = delete;

  void move(int x, int y) const;
  void press() const;  // the left button, where the pointer is
  void release() const;
  // Moves there, presses and releases with a hand's pauses: XWayland loses a
  // press and a release that arrive together.
  void click(int x, int y) const;

  // Queues a move without waiting, for full-speed runs; sync() waits for all.
  void move_async(int x, int y) const;
  void sync() const;

 private:
  void* dpy_ = nullptr;
};

}  // namespace quarvel::testing
