// What the launcher core asks of the window host that runs it. Each platform's
// host (sdl_host.cpp, win32_host.cpp) fills this contract and calls the core's
// entry points in app/launcher.h.
#pragma once

#include "base/types.h"

namespace quarvel {

class Host {
 public:
  virtual ~Host() = default;

  // The rectangle's pixels changed; draw it again once the event is handled.
  virtual void invalidate(const Rect& area) = 0;

  virtual void minimize() = 0;
  // Ends the whole program at once: no further step, no further event, no unload.
  [[noreturn]] virtual void end_program() = 0;
  virtual NativeHandle window_handle() const = 0;

  virtual Millis now() const = 0;
};

}  // namespace quarvel
