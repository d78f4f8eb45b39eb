#include "pointer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace quarvel::testing {
namespace {

Display* as_display(void* p) {
  return static_cast<Display*>(p);
}

}  // namespace

Pointer::Pointer(const std::string& display) {
  dpy_ = XOpenDisplay(display.empty() ? nullptr : display.c_str());
  if (!dpy_) throw std::runtime_error("cannot open the X display " + display);
  int event, error, major, minor;
  if (!XTestQueryExtension(as_display(dpy_), &event, &error, &major, &minor)) {
    XCloseDisplay(as_display(dpy_));
    throw std::runtime_error("the X server has no XTEST extension");
  }
}

Pointer::~Pointer() {
  XCloseDisplay(as_display(dpy_));
}

void Pointer::move(int x, int y) const {
  move_async(x, y);
  sync();
}

void Pointer::press() const {
  XTestFakeButtonEvent(as_display(dpy_), 1, True, CurrentTime);
  sync();
}

void Pointer::release() const {
  XTestFakeButtonEvent(as_display(dpy_), 1, False, CurrentTime);
  sync();
}

void Pointer::click(int x, int y) const {
  using namespace std::chrono_literals;
  move(x, y);
  std::this_thread::sleep_for(20ms);
  press();
  std::this_thread::sleep_for(20ms);
  release();
}

void Pointer::move_async(int x, int y) const {
  XTestFakeMotionEvent(as_display(dpy_), -1, x, y, CurrentTime);
  XFlush(as_display(dpy_));
}

void Pointer::sync() const {
  XSync(as_display(dpy_), False);
}

}  // namespace quarvel::testing
