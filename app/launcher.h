// The launcher window Form1: its members and its event procedures. A host
// calls the entry points below; the procedures change element visibility,
// timers and the window state, play cues and hand requests to the shell.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/host.h"
#include "app/timers.h"
#include "app/window_model.h"
#include "launch/shell_request.h"
#include "sound/cue_player.h"

namespace quarvel {

// Where the launcher's files are: the application directory, read afresh for every path.
using DirectorySource = std::function<std::string()>;

class Launcher {
 public:
  Launcher(Host& host, sound::CueDevice& cue_device, launch::Shell& shell,
           DirectorySource directory, char separator);

  // A shell request may run a message loop of its own, so the window can be
  // closed from inside a procedure. From the unload step on the window is
  // gone: its timers are dropped and every entry point does nothing.
  void load();                          // before the window is first shown
  void pointer_moved(int x, int y);     // a pointer move over the client area
  void pointer_pressed(int x, int y);   // a mouse button went down
  void pointer_released(int x, int y);  // ... and came up: a click if still on that receiver
  void run_due_timers(Millis now);      // every timer tick due by `now`, in due order
  std::optional<Millis> next_due() const { return timers_.next_due(); }
  void closed_from_outside();  // the desktop closed the window: the unload step, once
  bool unloaded() const { return unloaded_; }

  const WindowModel& model() const { return model_; }
  const Timers& timers() const { return timers_; }

  // Called with a line for each show, hide, enable and disable, in order
  // (used by tests to check the order of every step).
  void set_step_trace(std::function<void(std::string_view)> trace) { trace_ = std::move(trace); }

  // Form1's event procedures, public so that a test can run each one on its own.
  void Form_Load();
  void Form_Unload();
  void Form_MouseMove();
  void start_MouseMove();
  void help_MouseMove();
  void quit_MouseMove();
  void minimize_MouseMove();
  void close_b_MouseMove();
  void start_ovr_Click();
  void help_ovr_Click();
  void exit_ovr_Click();
  void ovrmin_Click();
  void ovrclose_Click();
  void Timer1_Timer();
  void Timer2_Timer();
  void Timer3_Timer();
  void Timer4_Timer();

 private:
  void show(Element e) { set_visible(e, true); }
  void hide(Element e) { set_visible(e, false); }
  void set_visible(Element e, bool visible);
  void enable(Timer t);
  void disable(Timer t);
  void play(sound::Cue cue) { mci_1_.play(cue); }
  void launch_game();  // ends the program after the request
  void open_manual();
  std::string path(std::string_view literal) const;
  void trace(std::string_view verb, std::string_view name) const;

  Host& host_;
  launch::Shell& shell_;
  DirectorySource directory_;
  char separator_;
  WindowModel model_;
  Timers timers_;
  sound::CuePlayer mci_1_;
  std::optional<Element> pressed_on_;  // the receiver where the button went down
  bool unloaded_ = false;
  std::function<void(std::string_view)> trace_;
};

}  // namespace quarvel
