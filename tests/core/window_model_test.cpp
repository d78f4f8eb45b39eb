// The window's layout, the receiver of pointer events and the drawing rule.
#include <gtest/gtest.h>

#include "app/window_model.h"

namespace quarvel {
namespace {

std::string receiver_name(const WindowModel& m, int x, int y) {
  const auto r = m.receiver_at(x, y);
  return r ? std::string(describe(*r).name) : "background";
}

TEST(Layout, FiveNormalElementsAreVisibleAtStart) {
  WindowModel m;
  std::vector<std::string> visible;
  for (const auto& d : kElements) {
    if (m.visible(d.element)) visible.emplace_back(d.name);
  }
  EXPECT_EQ(visible, (std::vector<std::string>{"quit", "help", "start", "minimize", "close_b"}));
}

TEST(Layout, StackingRanksFollowTheTableTopFirst) {
  for (std::size_t i = 0; i < kElements.size(); ++i) {
    EXPECT_EQ(kElements[i].rank, static_cast<int>(i) + 1) << kElements[i].name;
    EXPECT_EQ(static_cast<std::size_t>(kElements[i].element), i) << kElements[i].name;
  }
}

TEST(Layout, EveryElementIsAsLargeAsItsPicture) {
  for (const auto& d : kElements) {
    const auto& pic = assets::describe(d.picture);
    EXPECT_EQ(d.rect.width, pic.width) << d.name;
    EXPECT_EQ(d.rect.height, pic.height) << d.name;
  }
}

TEST(Layout, ControlsDoNotOverlapAndKeepTheirGaps) {
  const Rect controls[] = {layout::kStartButton, layout::kHelpButton, layout::kQuitButton,
                           layout::kMinimizeWidget, layout::kCloseWidget};
  for (const Rect& a : controls) {
    for (const Rect& b : controls) {
      if (&a != &b) {
        EXPECT_TRUE(intersect(a, b).empty());
      }
    }
  }
  EXPECT_EQ(layout::kHelpButton.left - layout::kStartButton.right(), 55);
  EXPECT_EQ(layout::kCloseWidget.left - layout::kMinimizeWidget.right(), 6);
}

TEST(Receiver, EdgesOfTheControls) {
  WindowModel m;
  EXPECT_EQ(receiver_name(m, 8, 424), "start");
  EXPECT_EQ(receiver_name(m, 132, 463), "start");
  EXPECT_EQ(receiver_name(m, 133, 424), "background");
  EXPECT_EQ(receiver_name(m, 7, 424), "background");
  EXPECT_EQ(receiver_name(m, 8, 464), "background");
  EXPECT_EQ(receiver_name(m, 466, 8), "background");  // between the widgets
  EXPECT_EQ(receiver_name(m, 465, 25), "minimize");
  EXPECT_EQ(receiver_name(m, 489, 25), "close_b");
  EXPECT_EQ(receiver_name(m, 490, 8), "background");
  EXPECT_EQ(receiver_name(m, 250, 440), "help");
  EXPECT_EQ(receiver_name(m, 492, 463), "quit");
  EXPECT_EQ(receiver_name(m, 0, 0), "background");
}

TEST(Receiver, TopMostVisibleElementWinsAndHiddenOnesNeverReceive) {
  WindowModel m;
  m.set_visible(Element::start_ovr, true);
  EXPECT_EQ(receiver_name(m, 8, 424), "start_ovr");
  m.set_visible(Element::start_press, true);
  EXPECT_EQ(receiver_name(m, 8, 424), "start_press");
  m.set_visible(Element::start_ovr, false);
  m.set_visible(Element::start, false);
  EXPECT_EQ(receiver_name(m, 8, 424), "start_press");
  m.set_visible(Element::start_press, false);
  EXPECT_EQ(receiver_name(m, 8, 424), "background");

  m.set_visible(Element::selmin, true);
  EXPECT_EQ(receiver_name(m, 450, 10), "selmin");
  m.set_visible(Element::ovrclose, true);
  EXPECT_EQ(receiver_name(m, 480, 10), "ovrclose");
}

TEST(Receiver, SettingTheSameVisibilityChangesNothing) {
  WindowModel m;
  EXPECT_FALSE(m.set_visible(Element::start, true));
  EXPECT_FALSE(m.set_visible(Element::start_ovr, false));
  EXPECT_TRUE(m.set_visible(Element::start_ovr, true));
  EXPECT_FALSE(m.set_visible(Element::start_ovr, true));
}

// Pictures of solid colours: the background 0x000001, each element its own colour.
assets::Pictures solid_pictures() {
  assets::Pictures p;
  std::uint32_t colour = 1;
  for (const auto& d : assets::kPictures) {
    auto& img = p.images[static_cast<std::size_t>(d.picture)];
    img.width = d.width;
    img.height = d.height;
    img.pixels.assign(static_cast<std::size_t>(d.width) * d.height, colour++);
  }
  return p;
}

std::uint32_t colour_of(const assets::Pictures& p, Picture pic) {
  return p[pic].pixels.front();
}

struct Frame {
  std::vector<std::uint32_t> pixels =
      std::vector<std::uint32_t>(static_cast<std::size_t>(kClientWidth) * kClientHeight, 0xDEAD);
  FrameView view() { return {pixels.data(), kClientWidth, kClientHeight, kClientWidth}; }
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * kClientWidth + x];
  }
};

TEST(Drawing, BackgroundThenVisibleElementsBottomToTop) {
  const auto pics = solid_pictures();
  WindowModel m;
  Frame f;
  m.draw(pics, {0, 0, kClientWidth, kClientHeight}, f.view());

  EXPECT_EQ(f.at(0, 0), colour_of(pics, Picture::background));
  EXPECT_EQ(f.at(499, 479), colour_of(pics, Picture::background));
  EXPECT_EQ(f.at(8, 424), colour_of(pics, Picture::start));
  EXPECT_EQ(f.at(312, 463), colour_of(pics, Picture::help));
  EXPECT_EQ(f.at(368, 424), colour_of(pics, Picture::quit));
  EXPECT_EQ(f.at(448, 8), colour_of(pics, Picture::minimize));
  EXPECT_EQ(f.at(489, 25), colour_of(pics, Picture::close_b));
  EXPECT_EQ(f.at(466, 8), colour_of(pics, Picture::background));

  // Showing a higher element covers the lower one; hiding it reveals it again.
  m.set_visible(Element::start_press, true);
  m.draw(pics, layout::kStartButton, f.view());
  EXPECT_EQ(f.at(70, 440), colour_of(pics, Picture::start_press));
  m.set_visible(Element::start_ovr, true);  // below start_press: stays covered
  m.draw(pics, layout::kStartButton, f.view());
  EXPECT_EQ(f.at(70, 440), colour_of(pics, Picture::start_press));
  m.set_visible(Element::start_press, false);
  m.draw(pics, layout::kStartButton, f.view());
  EXPECT_EQ(f.at(70, 440), colour_of(pics, Picture::start_ovr));

  // With no element of a control visible the background shows there.
  m.set_visible(Element::start_ovr, false);
  m.set_visible(Element::start, false);
  m.draw(pics, layout::kStartButton, f.view());
  EXPECT_EQ(f.at(70, 440), colour_of(pics, Picture::background));
}

TEST(Drawing, OnlyTheGivenAreaIsTouched) {
  const auto pics = solid_pictures();
  WindowModel m;
  Frame f;
  m.draw(pics, layout::kHelpButton, f.view());
  EXPECT_EQ(f.at(188, 424), colour_of(pics, Picture::help));
  EXPECT_EQ(f.at(187, 424), 0xDEADu);
  EXPECT_EQ(f.at(313, 424), 0xDEADu);
  EXPECT_EQ(f.at(188, 423), 0xDEADu);
  EXPECT_EQ(f.at(8, 424), 0xDEADu);

  m.draw(pics, Rect{490, 470, 50, 50}, f.view());  // clipped at the window's edge
  EXPECT_EQ(f.at(499, 479), colour_of(pics, Picture::background));
}

}  // namespace
}  // namespace quarvel
