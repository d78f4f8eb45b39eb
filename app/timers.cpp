#include "app/timers.h"

namespace quarvel {

void Timers::enable(Timer t, Millis now) {
  Slot& s = slot(t);
  if (s.enabled) return;
  s.enabled = true;
  s.due = now + describe(t).interval;
}

std::optional<Millis> Timers::next_due() const {
  std::optional<Millis> earliest;
  for (const Slot& s : slots_) {
    if (s.enabled && (!earliest || s.due < *earliest)) earliest = s.due;
  }
  return earliest;
}

std::optional<Timer> Timers::take_due(Millis now) {
  std::optional<Timer> first;
  for (const auto& d : kTimers) {
    const Slot& s = slot(d.timer);
    if (s.enabled && s.due <= now && (!first || s.due < slot(*first).due)) first = d.timer;
  }
  if (first) slot(*first).due += describe(*first).interval;
  return first;
}

}  // namespace quarvel
