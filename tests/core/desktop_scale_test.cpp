// The host's choice of scale: whole numbers from the desktop's dpi, never more
// than the screen holds, and the XSETTINGS bytes it reads that dpi from.
#include "app/desktop_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quarvel {
namespace {

struct ScaleCase {
  std::optional<double> dpi;
  int screen_width, screen_height;
  int scale;
};

TEST(WindowScale, IsTheWholeDpiFactorThatFitsTheScreen) {
  const ScaleCase cases[] = {
      {std::nullopt, 2048, 1536, 1}, {96, 2048, 1536, 1},   {191.9, 2048, 1536, 1},
      {192, 2048, 1536, 2},          {192, 1024, 768, 1},   {192, 999, 2000, 1},
      {288, 2048, 1536, 3},          {288, 1920, 1080, 2},  {1e300, 3840, 2160, 4},
      {NAN, 2048, 1536, 1},          {-192, 2048, 1536, 1}, {192, -1, -1, 1},
  };
  for (const ScaleCase& c : cases) {
    EXPECT_EQ(window_scale(c.dpi, c.screen_width, c.screen_height), c.scale)
        << "dpi " << c.dpi.value_or(0) << " on " << c.screen_width << " x " << c.screen_height;
  }
}

// An XSETTINGS property: integer settings, then a string and a colour, in
// either byte order.
std::vector<std::uint8_t> settings(bool msb_first,
                                   const std::vector<std::pair<std::string, int>>& integers) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(msb_first), 0, 0, 0};
  const auto card = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      out.push_back(static_cast<std::uint8_t>(v >> 8 * (msb_first ? bytes - 1 - i : i)));
  };
  const auto text = [&](const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.resize(out.size() + (4 - s.size() % 4) % 4, 0);
  };
  card(7, 4);
  card(static_cast<std::uint32_t>(integers.size() + 2), 4);
  const auto head = [&](int type, const std::string& name) {
    card(type, 1), card(0, 1), card(static_cast<std::uint32_t>(name.size()), 2), text(name);
    card(1, 4);  // last-change serial
  };
  for (const auto& [name, value] : integers)
    head(0, name), card(static_cast<std::uint32_t>(value), 4);
  head(1, "Net/IconTheme"), card(7, 4), text("Adwaita");
  head(2, "Gtk/Color"), card(0, 4), card(0, 4);
  return out;
}

TEST(XSettingsDpi, ReadsTheWindowScaleElseXftDpiInEitherByteOrder) {
  for (const bool msb : {false, true}) {
    EXPECT_EQ(xsettings_dpi(settings(msb, {{"Gdk/WindowScalingFactor", 2}})), 192.0);
    EXPECT_EQ(xsettings_dpi(settings(msb, {{"Xft/DPI", 192 * 1024}})), 192.0);
    EXPECT_EQ(xsettings_dpi(settings(msb, {{"Xft/DPI", 98304}, {"Gdk/WindowScalingFactor", 2}})),
              192.0);
    EXPECT_EQ(xsettings_dpi(settings(msb, {{"Gtk/CursorThemeSize", 24}})), std::nullopt);
  }
}

TEST(XSettingsDpi, TrustsNoLengthInTheData) {
  const auto whole = settings(false, {{"Gdk/WindowScalingFactor", 2}});
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    EXPECT_EQ(xsettings_dpi({whole.data(), cut}), std::nullopt) << "cut at " << cut;
  }
  for (const std::size_t at : {10u, 14u}) {  // the number of settings, the first name's length
    auto lying = whole;
    lying[at] = 0xFF;
    EXPECT_EQ(xsettings_dpi(lying), std::nullopt) << "byte " << at;
  }
}

}  // namespace
}  // namespace quarvel
