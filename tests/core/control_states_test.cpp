// Every reachable state of every control and what each event does in it:
// a pointer move over the control, a click on it, a move over the background,
// and the tick of its timer.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "fakes.h"

namespace quarvel::testing {
namespace {

enum class Ev { move_over, click, background, tick };

struct Control {
  const char* name;
  At at;
  Element normal, hover, chosen;
  Millis delay;
};

constexpr Control kStart{
    "start", kOnStart, Element::start, Element::start_ovr, Element::start_press, 1200};
constexpr Control kHelp{"help", kOnHelp, Element::help, Element::help_ovr, Element::help_press,
                        500};
constexpr Control kQuit{"quit", kOnQuit, Element::quit, Element::exit_ovr, Element::exit_press,
                        500};
constexpr Control kClose{"close",           kOnClose,          Element::close_b,
                         Element::ovrclose, Element::selclose, 500};
constexpr Control kMinimize{"minimize",      kOnMinimize,     Element::minimize,
                            Element::ovrmin, Element::selmin, 500};

struct Row {
  const Control* control;
  const char* state;
  std::vector<std::pair<const Control*, Ev>> reach;  // from the start of the program
  Ev event;
  std::set<std::string> visible_after;  // the control's visible elements
  std::vector<std::string> effects;     // cues, timers, shell, minimize, end
};

void apply(Rig& rig, const Control& c, Ev ev) {
  switch (ev) {
    case Ev::move_over:
      return rig.move(c.at.x, c.at.y);
    case Ev::click:
      return rig.click(c.at.x, c.at.y);
    case Ev::background:
      return rig.move(kOnBackground.x, kOnBackground.y);
    case Ev::tick:
      rig.advance_by(c.delay);
      return;
  }
}

std::set<std::string> visible_of(const Rig& rig, const Control& c) {
  std::set<std::string> out;
  for (Element e : {c.normal, c.hover, c.chosen}) {
    if (rig.launcher.model().visible(e)) out.emplace(describe(e).name);
  }
  return out;
}

// The log without the show/hide steps, cue steps folded into the cue's name.
std::vector<std::string> effects(const Log& log) {
  std::vector<std::string> out;
  for (const std::string& line : log) {
    if (line.starts_with("cue file ")) {
      const auto slash = line.rfind('/');
      out.push_back("cue " + line.substr(slash + 1, line.size() - slash - 5));
    } else if (line.starts_with("enable ") || line == "minimize" || line == "end") {
      out.push_back(line);
    } else if (line.starts_with("shell ")) {
      out.push_back(line.ends_with("vivu.exe") ? "game launched" : "manual opened");
    }
  }
  return out;
}

std::string describe_row(const Row& r) {
  static constexpr const char* kEv[] = {"move over", "click", "background", "tick"};
  return std::string(r.control->name) + " " + r.state + " + " + kEv[static_cast<int>(r.event)];
}

using S = std::set<std::string>;
using V = std::vector<std::string>;
const auto M = Ev::move_over;
const auto C = Ev::click;
const auto B = Ev::background;
const auto T = Ev::tick;

std::vector<Row> button_rows(const Control& c, const char* cue, const char* timer, V tick_effects,
                             S tick_visible) {
  const std::string n(describe(c.normal).name), h(describe(c.hover).name),
      p(describe(c.chosen).name);
  const std::vector<std::pair<const Control*, Ev>> lit{{&c, M}}, pressed{{&c, M}, {&c, C}},
      darkened{{&c, M}, {&c, C}, {&c, B}};
  return {
      {&c, "dark", {}, M, S{h}, V{"cue hover"}},
      {&c, "dark", {}, C, S{n}, V{}},
      {&c, "dark", {}, B, S{n}, V{}},
      {&c, "lit", lit, M, S{h}, V{}},
      {&c, "lit", lit, C, S{p}, V{std::string("enable ") + timer, std::string("cue ") + cue}},
      {&c, "lit", lit, B, S{n}, V{}},
      {&c, "pressed", pressed, M, S{p}, V{}},
      {&c, "pressed", pressed, C, S{p}, V{}},
      {&c, "pressed", pressed, B, S{n, p}, V{}},
      {&c, "pressed", pressed, T, tick_visible.empty() ? S{p} : tick_visible, tick_effects},
      {&c, "pressed and darkened", darkened, M, S{n, p}, V{}},
      {&c, "pressed and darkened", darkened, C, S{n, p}, V{}},
      {&c, "pressed and darkened", darkened, B, S{n, p}, V{}},
      {&c, "pressed and darkened", darkened, T, tick_visible.empty() ? S{n, p} : tick_visible,
       tick_effects},
  };
}

std::vector<Row> all_rows() {
  std::vector<Row> rows;
  auto add = [&rows](std::vector<Row> more) { rows.insert(rows.end(), more.begin(), more.end()); };
  add(button_rows(kStart, "start", "Timer3", V{"game launched", "end"}, S{}));
  add(button_rows(kHelp, "click", "Timer4", V{"manual opened"}, S{"help"}));
  add(button_rows(kQuit, "back", "Timer2", V{"end"}, S{}));

  // Quit and close share Timer2: a tick in a dark or lit state means the other one is pending.
  const std::pair<const Control*, Ev> quit_pending[] = {{&kQuit, M}, {&kQuit, C}};
  const std::pair<const Control*, Ev> close_pending[] = {{&kClose, M}, {&kClose, C}};
  rows.push_back({&kQuit,
                  "dark, close pending",
                  {close_pending[0], close_pending[1]},
                  T,
                  S{"quit"},
                  V{"end"}});
  rows.push_back({&kQuit,
                  "lit, close pending",
                  {close_pending[0], close_pending[1], {&kQuit, M}},
                  T,
                  S{"exit_ovr"},
                  V{"end"}});
  rows.push_back({&kClose,
                  "dark, quit pending",
                  {quit_pending[0], quit_pending[1]},
                  T,
                  S{"close_b"},
                  V{"end"}});
  rows.push_back({&kClose,
                  "lit, quit pending",
                  {quit_pending[0], quit_pending[1], {&kClose, M}},
                  T,
                  S{"ovrclose"},
                  V{"end"}});

  // Close widget: the selected element lies above the hover element it leaves visible.
  const std::vector<std::pair<const Control*, Ev>> clit{{&kClose, M}},
      csel{{&kClose, M}, {&kClose, C}}, cdark{{&kClose, M}, {&kClose, C}, {&kClose, B}};
  add({
      {&kClose, "dark", {}, M, S{"ovrclose"}, V{"cue hover"}},
      {&kClose, "dark", {}, C, S{"close_b"}, V{}},
      {&kClose, "dark", {}, B, S{"close_b"}, V{}},
      {&kClose, "lit", clit, M, S{"ovrclose"}, V{}},
      {&kClose, "lit", clit, C, S{"ovrclose", "selclose"}, V{"enable Timer2", "cue back"}},
      {&kClose, "lit", clit, B, S{"close_b"}, V{}},
      {&kClose, "selected", csel, M, S{"ovrclose", "selclose"}, V{}},
      {&kClose, "selected", csel, C, S{"ovrclose", "selclose"}, V{}},
      {&kClose, "selected", csel, B, S{"close_b", "selclose"}, V{}},
      {&kClose, "selected", csel, T, S{"ovrclose", "selclose"}, V{"end"}},
      {&kClose, "selected and darkened", cdark, M, S{"close_b", "selclose"}, V{}},
      {&kClose, "selected and darkened", cdark, C, S{"close_b", "selclose"}, V{}},
      {&kClose, "selected and darkened", cdark, B, S{"close_b", "selclose"}, V{}},
      {&kClose, "selected and darkened", cdark, T, S{"close_b", "selclose"}, V{"end"}},
  });

  // Minimize widget, with the two states its tick leaves behind when the pointer stayed on it.
  const std::vector<std::pair<const Control*, Ev>> mlit{{&kMinimize, M}},
      msel{{&kMinimize, M}, {&kMinimize, C}},
      mdark{{&kMinimize, M}, {&kMinimize, C}, {&kMinimize, B}},
      mover{{&kMinimize, M}, {&kMinimize, C}, {&kMinimize, T}},
      msover{{&kMinimize, M}, {&kMinimize, C}, {&kMinimize, T}, {&kMinimize, C}};
  add({
      {&kMinimize, "dark", {}, M, S{"ovrmin"}, V{"cue hover"}},
      {&kMinimize, "dark", {}, C, S{"minimize"}, V{}},
      {&kMinimize, "dark", {}, B, S{"minimize"}, V{}},
      {&kMinimize, "lit", mlit, M, S{"ovrmin"}, V{}},
      {&kMinimize, "lit", mlit, C, S{"ovrmin", "selmin"}, V{"enable Timer1", "cue back"}},
      {&kMinimize, "lit", mlit, B, S{"minimize"}, V{}},
      {&kMinimize, "selected", msel, M, S{"ovrmin", "selmin"}, V{}},
      {&kMinimize, "selected", msel, C, S{"ovrmin", "selmin"}, V{}},
      {&kMinimize, "selected", msel, B, S{"minimize", "selmin"}, V{}},
      {&kMinimize, "selected", msel, T, S{"minimize", "ovrmin"}, V{"minimize"}},
      {&kMinimize, "selected and darkened", mdark, M, S{"minimize", "selmin"}, V{}},
      {&kMinimize, "selected and darkened", mdark, C, S{"minimize", "selmin"}, V{}},
      {&kMinimize, "selected and darkened", mdark, B, S{"minimize", "selmin"}, V{}},
      {&kMinimize, "selected and darkened", mdark, T, S{"minimize"}, V{"minimize"}},
      {&kMinimize, "lit over normal", mover, M, S{"minimize", "ovrmin"}, V{}},
      {&kMinimize, "lit over normal", mover, C, S{"minimize", "ovrmin", "selmin"},
       V{"enable Timer1", "cue back"}},
      {&kMinimize, "lit over normal", mover, B, S{"minimize"}, V{}},
      {&kMinimize, "selected over normal", msover, M, S{"minimize", "ovrmin", "selmin"}, V{}},
      {&kMinimize, "selected over normal", msover, C, S{"minimize", "ovrmin", "selmin"}, V{}},
      {&kMinimize, "selected over normal", msover, B, S{"minimize", "selmin"}, V{}},
      {&kMinimize, "selected over normal", msover, T, S{"minimize", "ovrmin"}, V{"minimize"}},
  });
  return rows;
}

TEST(ControlStates, EveryRowOfEveryControl) {
  const auto rows = all_rows();
  EXPECT_EQ(rows.size(), 14u * 3 + 4 + 14 + 21);
  for (const Row& row : rows) {
    SCOPED_TRACE(describe_row(row));
    Rig rig;
    for (const auto& [control, ev] : row.reach) apply(rig, *control, ev);
    ASSERT_FALSE(rig.ended) << "the program ended while reaching the state";
    rig.take();
    apply(rig, *row.control, row.event);
    EXPECT_EQ(visible_of(rig, *row.control), row.visible_after);
    EXPECT_EQ(effects(rig.take()), row.effects);
  }
}

TEST(ControlStates, TimersCannotTickInTheDarkOrLitStates) {
  for (const Control* c : {&kStart, &kHelp, &kMinimize}) {
    SCOPED_TRACE(c->name);
    Rig rig;
    rig.advance_by(5000);
    rig.move(c->at.x, c->at.y);
    rig.take();
    rig.advance_by(5000);
    EXPECT_TRUE(effects(rig.take()).empty());
    EXPECT_FALSE(rig.launcher.next_due().has_value());
  }
}

TEST(ControlStates, HoverCuePlaysOncePerEntryFromTheBackground) {
  Rig rig;
  int hovers = 0;
  auto count = [&] {
    for (const auto& e : effects(rig.take())) hovers += e == "cue hover";
  };
  for (int i = 0; i < 3; ++i) {
    for (int dx = 0; dx < 40; ++dx) rig.move(kOnStart.x + dx, kOnStart.y);
    count();
    EXPECT_EQ(hovers, i + 1);
    rig.move(kOnBackground.x, kOnBackground.y);
    count();
  }
  // Straight from one lit control to another without crossing the background.
  rig.move(kOnMinimize.x, kOnMinimize.y);
  rig.move(kOnClose.x, kOnClose.y);
  count();
  EXPECT_EQ(hovers, 5);
  EXPECT_TRUE(rig.launcher.model().visible(Element::ovrmin));
  EXPECT_TRUE(rig.launcher.model().visible(Element::ovrclose));
  rig.move(kOnBackground.x, kOnBackground.y);
  EXPECT_FALSE(rig.launcher.model().visible(Element::ovrmin));
  EXPECT_FALSE(rig.launcher.model().visible(Element::ovrclose));
}

}  // namespace
}  // namespace quarvel::testing
