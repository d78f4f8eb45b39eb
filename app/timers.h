// The window's four deferred-action timers. Each has a fixed interval and
// starts disabled; enabling starts its interval, and while enabled it is due
// once per interval. The host sleeps until the earliest due time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/types.h"

namespace quarvel {

enum class Timer : std::uint8_t { Timer1, Timer2, Timer3, Timer4 };
inline constexpr std::size_t kTimerCount = 4;

struct TimerDesc {
  Timer timer;
  std::string_view name;
  Millis interval;
};

inline constexpr std::array<TimerDesc, kTimerCount> kTimers = {{
    {Timer::Timer1, "Timer1", 500},   // minimize the window
    {Timer::Timer2, "Timer2", 500},   // end the program (quit and close)
    {Timer::Timer3, "Timer3", 1200},  // launch the game, then end
    {Timer::Timer4, "Timer4", 500},   // open the manual
}};

constexpr const TimerDesc& describe(Timer t) {
  return kTimers[static_cast<std::size_t>(t)];
}

class Timers {
 public:
  bool enabled(Timer t) const { return slot(t).enabled; }

  // Enabling a running timer keeps its running interval.
  void enable(Timer t, Millis now);
  void disable(Timer t) { slot(t).enabled = false; }

  // The earliest due time of any enabled timer.
  std::optional<Millis> next_due() const;
  // The enabled timer due first at or before `now` (ties go to the lower
  // number), its next tick scheduled one interval on; none if nothing is due.
  std::optional<Timer> take_due(Millis now);

 private:
  struct Slot {
    bool enabled = false;
    Millis due = 0;
  };
  Slot& slot(Timer t) { return slots_[static_cast<std::size_t>(t)]; }
  const Slot& slot(Timer t) const { return slots_[static_cast<std::size_t>(t)]; }

  std::array<Slot, kTimerCount> slots_{};
};

}  // namespace quarvel
