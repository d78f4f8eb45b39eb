#include "app/launcher.h"

#include <utility>

#include "base/paths.h"

namespace quarvel {

using E = Element;
using sound::Cue;

Launcher::Launcher(Host& host, sound::CueDevice& cue_device, launch::Shell& shell,
                   DirectorySource directory, char separator)
    : host_(host),
      shell_(shell),
      directory_(std::move(directory)),
      separator_(separator),
      mci_1_(cue_device, [this](std::string_view literal) { return path(literal); }) {}

void Launcher::load() {
  Form_Load();
}

void Launcher::pointer_moved(int x, int y) {
  if (unloaded_) return;
  const auto receiver = model_.receiver_at(x, y);
  if (!receiver) return Form_MouseMove();
  switch (*receiver) {
    case E::start:
      return start_MouseMove();
    case E::help:
      return help_MouseMove();
    case E::quit:
      return quit_MouseMove();
    case E::minimize:
      return minimize_MouseMove();
    case E::close_b:
      return close_b_MouseMove();
    default:
      return;  // hover, pressed and selected elements have no move procedure
  }
}

void Launcher::pointer_pressed(int x, int y) {
  if (unloaded_) return;
  pressed_on_ = model_.receiver_at(x, y);
}

void Launcher::pointer_released(int x, int y) {
  if (unloaded_) return;
  const auto receiver = std::exchange(pressed_on_, std::nullopt);
  if (!receiver) return;  // the background has no click procedure
  // Like any push button, a click counts only if released over the same control.
  if (!describe(*receiver).rect.contains(x, y)) return;
  switch (*receiver) {
    case E::start_ovr:
      return start_ovr_Click();
    case E::help_ovr:
      return help_ovr_Click();
    case E::exit_ovr:
      return exit_ovr_Click();
    case E::ovrmin:
      return ovrmin_Click();
    case E::ovrclose:
      return ovrclose_Click();
    default:
      return;  // only the hover elements take clicks
  }
}

void Launcher::run_due_timers(Millis now) {
  // Checked before every tick: a tick's shell request may have unloaded the window.
  while (!unloaded_) {
    const auto t = timers_.take_due(now);
    if (!t) return;
    switch (*t) {
      case Timer::Timer1:
        Timer1_Timer();
        break;
      case Timer::Timer2:
        Timer2_Timer();
        break;
      case Timer::Timer3:
        Timer3_Timer();
        break;
      case Timer::Timer4:
        Timer4_Timer();
        break;
    }
  }
}

void Launcher::closed_from_outside() {
  if (std::exchange(unloaded_, true)) return;
  Form_Unload();
  timers_ = {};  // the timers go with the window: a pending deferred action is dropped
}

void Launcher::Form_Load() {
  mci_1_.set_up_and_play_open();
}

void Launcher::Form_Unload() {
  mci_1_.close();
}

void Launcher::Form_MouseMove() {
  show(E::close_b);
  show(E::minimize);
  hide(E::ovrmin);
  hide(E::ovrclose);
  hide(E::exit_ovr);
  show(E::quit);
  show(E::help);
  hide(E::help_ovr);
  show(E::start);
  hide(E::start_ovr);
}

void Launcher::start_MouseMove() {
  hide(E::start);
  show(E::start_ovr);
  play(Cue::hover);
}

void Launcher::help_MouseMove() {
  hide(E::help);
  show(E::help_ovr);
  play(Cue::hover);
}

void Launcher::quit_MouseMove() {
  hide(E::quit);
  show(E::exit_ovr);
  play(Cue::hover);
}

void Launcher::minimize_MouseMove() {
  show(E::ovrmin);
  hide(E::minimize);
  play(Cue::hover);
}

void Launcher::close_b_MouseMove() {
  show(E::ovrclose);
  hide(E::close_b);
  play(Cue::hover);
}

void Launcher::start_ovr_Click() {
  hide(E::start_ovr);
  show(E::start_press);
  enable(Timer::Timer3);
  play(Cue::start);
}

void Launcher::help_ovr_Click() {
  hide(E::help_ovr);
  show(E::help_press);
  enable(Timer::Timer4);
  play(Cue::click);
}

void Launcher::exit_ovr_Click() {
  hide(E::exit_ovr);
  show(E::exit_press);
  enable(Timer::Timer2);
  play(Cue::back);
}

void Launcher::ovrmin_Click() {
  show(E::selmin);
  enable(Timer::Timer1);
  play(Cue::back);
}

void Launcher::ovrclose_Click() {
  show(E::selclose);
  enable(Timer::Timer2);
  play(Cue::back);
}

void Launcher::Timer1_Timer() {
  host_.minimize();
  disable(Timer::Timer1);
  hide(E::selmin);
  show(E::minimize);
}

void Launcher::Timer2_Timer() {
  host_.end_program();
}

void Launcher::Timer3_Timer() {
  disable(Timer::Timer3);
  launch_game();
}

void Launcher::Timer4_Timer() {
  disable(Timer::Timer4);
  show(E::help);
  hide(E::help_press);
  open_manual();
}

void Launcher::set_visible(Element e, bool visible) {
  trace(visible ? "show" : "hide", describe(e).name);
  if (model_.set_visible(e, visible)) host_.invalidate(describe(e).rect);
}

void Launcher::enable(Timer t) {
  trace("enable", describe(t).name);
  timers_.enable(t, host_.now());
}

void Launcher::disable(Timer t) {
  trace("disable", describe(t).name);
  timers_.disable(t);
}

void Launcher::launch_game() {
  shell_.execute(launch::launch_game_request(directory_(), separator_, host_.window_handle()));
  host_.end_program();
}

void Launcher::open_manual() {
  shell_.execute(launch::open_manual_request(directory_(), separator_, host_.window_handle()));
}

std::string Launcher::path(std::string_view literal) const {
  return join_path(directory_(), literal, separator_);
}

void Launcher::trace(std::string_view verb, std::string_view name) const {
  if (!trace_) return;
  std::string line(verb);
  line += ' ';
  line += name;
  trace_(line);
}

}  // namespace quarvel
