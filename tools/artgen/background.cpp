#include "background.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "fonts.h"
#include "random.h"

namespace quarvel::artgen {

namespace {

// Starfield.

constexpr std::uint64_t kStarSeed = 0x5EED0001ull;

// Stars are white with the faintest warm or cool cast.
Colour star_colour(Random& rng, double brightness) {
  const double cast = rng.range(-1.0, 1.0) * 0.05;
  return {brightness * (1.0 + cast), brightness, brightness * (1.0 - cast)};
}

// Spreads light over a small round spot; the profile falls off like a soft gaussian.
void add_spot(Canvas& canvas, double cx, double cy, double sigma, Colour light) {
  const int reach = static_cast<int>(std::ceil(sigma * 3.5));
  const int x0 = static_cast<int>(std::floor(cx));
  const int y0 = static_cast<int>(std::floor(cy));
  for (int y = y0 - reach; y <= y0 + reach; ++y) {
    for (int x = x0 - reach; x <= x0 + reach; ++x) {
      const double dx = x + 0.5 - cx;
      const double dy = y + 0.5 - cy;
      const double w = soft_exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
      canvas.add(x, y, light * w);
    }
  }
}

// A spot stretched along the unit direction (ux, uy): a star smeared by motion or optics.
void add_streak(Canvas& canvas, double cx, double cy, double ux, double uy, double length,
                double sigma, Colour light) {
  const int reach = static_cast<int>(std::ceil(length + sigma * 3.0));
  const int x0 = static_cast<int>(std::floor(cx));
  const int y0 = static_cast<int>(std::floor(cy));
  for (int y = y0 - reach; y <= y0 + reach; ++y) {
    for (int x = x0 - reach; x <= x0 + reach; ++x) {
      const double dx = x + 0.5 - cx;
      const double dy = y + 0.5 - cy;
      const double along = dx * ux + dy * uy;
      const double across = -dx * uy + dy * ux;
      const double a = along / length;
      const double w = soft_exp(-a * a * 2.0) * soft_exp(-across * across / (2.0 * sigma * sigma));
      canvas.add(x, y, light * w);
    }
  }
}

// Thin cross-shaped rays of a bright star.
void add_spikes(Canvas& canvas, double cx, double cy, double length, Colour light) {
  const int x0 = static_cast<int>(std::floor(cx));
  const int y0 = static_cast<int>(std::floor(cy));
  const int reach = static_cast<int>(length * 2.5);
  for (int d = 1; d <= reach; ++d) {
    const double w = soft_exp(-d / length) * 0.55;
    canvas.add(x0 + d, y0, light * w);
    canvas.add(x0 - d, y0, light * w);
    canvas.add(x0, y0 + d, light * w);
    canvas.add(x0, y0 - d, light * w);
  }
}

void paint_stars(Canvas& canvas) {
  Random rng(kStarSeed);
  const double w = canvas.width;
  const double h = canvas.height;

  // Faint dust of single-pixel stars, most of them dim.
  for (int i = 0; i < 1300; ++i) {
    const int x = rng.below(canvas.width);
    const int y = rng.below(canvas.height);
    const double u = rng.uniform();
    const double brightness = 25.0 + 200.0 * u * u * u * u;
    canvas.add(x, y, star_colour(rng, brightness));
  }
  // Small soft stars between pixels.
  for (int i = 0; i < 260; ++i) {
    const double x = rng.range(0.0, w);
    const double y = rng.range(0.0, h);
    const double sigma = rng.range(0.45, 0.8);
    const double brightness = rng.range(60.0, 220.0);
    add_spot(canvas, x, y, sigma, star_colour(rng, brightness * 2.0));
  }
  // Larger stars with a soft glow.
  for (int i = 0; i < 45; ++i) {
    const double x = rng.range(0.0, w);
    const double y = rng.range(0.0, h);
    const double sigma = rng.range(0.8, 1.4);
    const Colour light = star_colour(rng, rng.range(180.0, 320.0));
    add_spot(canvas, x, y, sigma, light * 1.5);
    add_spot(canvas, x, y, sigma * 3.0, light * 0.08);
  }
  // A few bright stars with rays.
  for (int i = 0; i < 11; ++i) {
    const double x = std::floor(rng.range(0.0, w)) + 0.5;
    const double y = std::floor(rng.range(0.0, h)) + 0.5;
    const Colour light = star_colour(rng, rng.range(220.0, 300.0));
    add_spot(canvas, x, y, 0.9, light * 2.2);
    add_spot(canvas, x, y, 3.5, light * 0.06);
    add_spikes(canvas, x, y, rng.range(2.5, 5.0), light);
  }
  // Streaked stars.
  for (int i = 0; i < 14; ++i) {
    const double x = rng.range(0.0, w);
    const double y = rng.range(0.0, h);
    double ux = rng.range(-1.0, 1.0);
    double uy = rng.range(-1.0, 1.0);
    const double norm = std::sqrt(ux * ux + uy * uy) + 1e-9;
    ux /= norm;
    uy /= norm;
    const Colour light = star_colour(rng, rng.range(120.0, 240.0));
    add_streak(canvas, x, y, ux, uy, rng.range(2.0, 4.5), 0.55, light);
  }
}

// Planet.

constexpr double kPlanetX = 261.5;  // centre of pixel 261
constexpr double kPlanetY = 261.5;
constexpr double kPlanetRadius = 161.4;  // rows 100 to 422
constexpr int kPlanetLowestRow = 422;
constexpr std::uint64_t kLandSeed = 0x1A4D5EEDull;

constexpr Colour kNavy = colour(0x000040);
constexpr Colour kSea = colour(0x2020E0);
constexpr Colour kDeepSea = colour(0x1818C4);
constexpr Colour kShallowSea = colour(0x2E4CF0);
constexpr Colour kLand = colour(0x40E0A0);
constexpr Colour kLandDark = colour(0x2FC488);
constexpr Colour kLandLight = colour(0x5AF0B8);
constexpr Colour kAtmosphere = colour(0x5AA8FF);

struct Vec3 {
  double x, y, z;
};

constexpr double dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 normalised(Vec3 v) {
  const double n = std::sqrt(dot(v, v));
  return {v.x / n, v.y / n, v.z / n};
}

// The sun stands low at the lower left, a little in front of the planet.
const Vec3 kSun = normalised({-0.64, 0.66, 0.38});

double power(double x, int n) {
  double r = 1.0;
  for (int i = 0; i < n; ++i) r *= x;
  return r;
}

// Surface colour at the unit normal n, before lighting; `sea` tells how much of it is water.
Colour surface(Vec3 n, double& sea) {
  // Tilt the globe so the continents do not line up with the picture's axes.
  const Vec3 p = {0.92 * n.x + 0.39 * n.z, n.y * 0.95 + 0.31 * n.z, -0.39 * n.x + 0.92 * n.z};
  const double warp = fractal_noise(p.x * 2.0 + 3.1, p.y * 2.0, p.z * 2.0, 3, kLandSeed + 99);
  const double height =
      fractal_noise(p.x * 1.6 + warp * 0.8, p.y * 2.2 + warp * 0.6, p.z * 1.6, 7, kLandSeed);
  constexpr double kShore = 0.55;
  // A narrow blend across the shore keeps the coastlines smooth.
  sea = 1.0 - smoothstep(kShore - 0.005, kShore + 0.005, height);
  const double depth = clamp01((kShore - height) / 0.12);
  const Colour water = depth < 0.15 ? mix(kShallowSea, kSea, depth / 0.15)
                                    : mix(kSea, kDeepSea, (depth - 0.15) / 0.85);
  const double relief = fractal_noise(p.x * 7.0, p.y * 7.0, p.z * 7.0, 5, kLandSeed + 7);
  const double r = clamp01((relief - 0.5) * 2.2 + 0.5);
  const Colour ground =
      r < 0.5 ? mix(kLandDark, kLand, r * 2.0) : mix(kLand, kLandLight, (r - 0.5) * 2.0);
  const double inland = clamp01((height - kShore) / 0.04);
  const Colour land = mix(mix(kLand, kLandLight, 0.5), ground, inland);
  return mix(land, water, sea);
}

// Lit colour of the planet at the unit normal n.
Colour shade_planet(Vec3 n) {
  double sea = 0.0;
  const Colour base = surface(n, sea);
  const double light = dot(n, kSun);
  const double day = smoothstep(-0.12, 0.42, light);
  Colour c = mix(kNavy, base * (0.86 + 0.14 * clamp01(light)), day);
  const Vec3 half = normalised({kSun.x, kSun.y, kSun.z + 1.0});
  const double glint = power(std::max(0.0, dot(n, half)), 40);
  c = c + colour(0xC8D8FF) * (0.5 * glint * sea);
  // The air glows along the sunlit limb.
  const double rim = power(1.0 - n.z, 3) * smoothstep(-0.1, 0.5, light);
  return c + kAtmosphere * (0.9 * rim);
}

void paint_planet(Canvas& canvas) {
  constexpr int kSamples = 4;
  const int top = static_cast<int>(kPlanetY - kPlanetRadius) - 1;
  for (int y = top; y <= kPlanetLowestRow; ++y) {
    for (int x = 0; x < canvas.width; ++x) {
      const double dx = (x + 0.5 - kPlanetX) / kPlanetRadius;
      const double dy = (y + 0.5 - kPlanetY) / kPlanetRadius;
      const double d2 = dx * dx + dy * dy;
      if (d2 > 1.03) continue;
      if (d2 < 0.98) {
        canvas.at(x, y) = shade_planet({dx, dy, std::sqrt(1.0 - d2)});
        continue;
      }
      // Along the limb, average several samples for a clean edge.
      Colour sum;
      int inside = 0;
      for (int j = 0; j < kSamples; ++j) {
        for (int i = 0; i < kSamples; ++i) {
          const double sx = (x + (i + 0.5) / kSamples - kPlanetX) / kPlanetRadius;
          const double sy = (y + (j + 0.5) / kSamples - kPlanetY) / kPlanetRadius;
          const double s2 = sx * sx + sy * sy;
          if (s2 >= 1.0) continue;
          sum = sum + shade_planet({sx, sy, std::sqrt(1.0 - s2)});
          ++inside;
        }
      }
      if (inside == 0) continue;
      const double coverage = static_cast<double>(inside) / (kSamples * kSamples);
      canvas.at(x, y) = mix(canvas.at(x, y), sum * (1.0 / inside), coverage);
    }
  }
}

// A thin haze just outside the sunlit limb; it fades out above the button row.
void paint_atmosphere(Canvas& canvas) {
  constexpr double kThickness = 5.0;
  for (int y = 90; y <= kPlanetLowestRow; ++y) {
    const double keep = clamp01((kPlanetLowestRow - 2 - y) / 14.0);
    if (keep <= 0.0) continue;
    for (int x = 80; x < 450; ++x) {
      const double dx = x + 0.5 - kPlanetX;
      const double dy = y + 0.5 - kPlanetY;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double out = r - kPlanetRadius;
      if (out <= 0.0 || out > kThickness) continue;
      const double lit = smoothstep(-0.1, 0.6, (dx * kSun.x + dy * kSun.y) / r);
      const double fade = power(1.0 - out / kThickness, 2);
      canvas.add(x, y, kAtmosphere * (0.55 * lit * fade * keep));
    }
  }
}

// Lens flare.

constexpr double kFlareX = 115.5;
constexpr double kFlareY = 340.5;

void paint_flare(Canvas& canvas) {
  const Colour white = colour(0xFFFFFF);
  const Colour pink = colour(0xFF8F8F);
  constexpr int kReach = 48;
  for (int y = static_cast<int>(kFlareY) - kReach; y <= static_cast<int>(kFlareY) + kReach; ++y) {
    for (int x = static_cast<int>(kFlareX) - kReach; x <= static_cast<int>(kFlareX) + kReach; ++x) {
      const double dx = x + 0.5 - kFlareX;
      const double dy = y + 0.5 - kFlareY;
      const double r2 = dx * dx + dy * dy;
      const double r = std::sqrt(r2);
      const double core = 1.0 / power(1.0 + r2 / 6.0, 2);
      const double halo = soft_exp(-r2 / (2.0 * 7.0 * 7.0));
      const double outer = soft_exp(-r / 14.0) * 0.35;
      const double ring = soft_exp(-power((r - 21.0) / 1.6, 2)) * 0.10;
      const double streak_h = soft_exp(-dy * dy / 0.8) * soft_exp(-std::abs(dx) / 16.0) * 0.75;
      const double streak_v = soft_exp(-dx * dx / 0.6) * soft_exp(-std::abs(dy) / 7.0) * 0.35;
      Colour light = white * (1.6 * core) + pink * (1.25 * halo + outer + ring);
      light = light + mix(pink, white, 0.5) * (streak_h + streak_v);
      const double fade = 1.0 - smoothstep(kReach - 8.0, kReach, r);
      canvas.add(x, y, light * fade);
    }
  }
}

// Logotype.

constexpr std::string_view kLogoText = "VIVU QUARVEL";
constexpr double kLogoLeft = 42.0;
constexpr double kLogoRight = 452.0;
constexpr double kLogoTop = 26.0;
constexpr double kLogoHeight = 44.0;  // letters y 26..69; the outline adds 2 px each side
constexpr double kLetterGap = 1.0;    // cells
constexpr double kWordGap = 2.6;      // cells
constexpr double kOutlineWidth = 2.0;
constexpr int kLogoScale = 4;

double logo_width_in_cells() {
  double cells = 0.0;
  for (std::size_t i = 0; i < kLogoText.size(); ++i) {
    const char c = kLogoText[i];
    if (c == ' ') {
      cells += kWordGap - kLetterGap;
      continue;
    }
    cells += logo_glyph(c).width + (i + 1 < kLogoText.size() ? kLetterGap : 0.0);
  }
  return cells;
}

// Chrome: sky-white above a horizon line, a darker blue-grey under it, rising again below.
Colour chrome(double t) {
  struct Stop {
    double at;
    std::uint32_t hex;
  };
  constexpr std::array<Stop, 7> stops = {{{0.00, 0xFFFFFF},
                                          {0.30, 0xF1F5FA},
                                          {0.48, 0xD6DFE9},
                                          {0.52, 0xB2BFCE},
                                          {0.62, 0xC8D3DF},
                                          {0.85, 0xDCE4ED},
                                          {1.00, 0xEEF3F8}}};
  t = clamp01(t);
  for (std::size_t i = 1; i < stops.size(); ++i) {
    if (t <= stops[i].at) {
      const double k = (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
      return mix(colour(stops[i - 1].hex), colour(stops[i].hex), k);
    }
  }
  return colour(stops.back().hex);
}

void paint_logotype(Canvas& canvas) {
  const double cell_w = (kLogoRight - kLogoLeft) / logo_width_in_cells();
  const double cell_h = kLogoHeight / kOutlineGlyphHeight;
  Mask fill(canvas.width, 90, kLogoScale);
  double x = kLogoLeft;
  for (char c : kLogoText) {
    if (c == ' ') {
      x += (kWordGap - kLetterGap) * cell_w;
      continue;
    }
    const OutlineGlyph& glyph = logo_glyph(c);
    for (const auto& [shape, add] : glyph.parts) {
      Polygon placed;
      for (const Point& p : shape) placed.push_back({x + p.x * cell_w, kLogoTop + p.y * cell_h});
      fill.fill_polygon(placed, add);
    }
    x += (glyph.width + kLetterGap) * cell_w;
  }

  // The trademark sign, small, at the lower right.
  const int tm_left = static_cast<int>(kLogoRight) + 4;
  const int tm_top = static_cast<int>(kLogoTop + kLogoHeight) - 7;
  int tx = tm_left;
  for (char c : std::string_view("TM")) {
    const BitmapGlyph& g = tiny_glyph(c);
    for (int gy = 0; gy < g.height(); ++gy) {
      for (int gx = 0; gx < g.width(); ++gx) {
        if (g.ink(gx, gy)) fill.fill_rect(tx + gx, tm_top + gy, tx + gx + 1, tm_top + gy + 1);
      }
    }
    tx += g.width() + 1;
  }

  const Mask outline = fill.dilated(kOutlineWidth);
  const int bevel = kLogoScale + kLogoScale / 2;  // 1.5 px
  const Colour ink = colour(0x070A16);
  const Colour highlight = colour(0xFFFFFF);
  const Colour shadow = colour(0x7D8CA6);
  for (int py = 0; py < fill.height(); ++py) {
    for (int px = 0; px < fill.width(); ++px) {
      Colour sum;
      int covered = 0;
      for (int j = 0; j < kLogoScale; ++j) {
        for (int i = 0; i < kLogoScale; ++i) {
          const int sx = px * kLogoScale + i;
          const int sy = py * kLogoScale + j;
          if (!outline.sample(sx, sy)) continue;
          ++covered;
          if (!fill.sample(sx, sy)) {
            sum = sum + ink;
            continue;
          }
          const double t = ((sy + 0.5) / kLogoScale - kLogoTop) / kLogoHeight;
          Colour c = chrome(t);
          if (!fill.sample(sx - bevel, sy - bevel)) {
            c = mix(c, highlight, 0.75);
          } else if (!fill.sample(sx + bevel, sy + bevel)) {
            c = mix(c, shadow, 0.55);
          }
          sum = sum + c;
        }
      }
      if (covered == 0) continue;
      const double alpha = static_cast<double>(covered) / (kLogoScale * kLogoScale);
      canvas.blend(px, py, sum * (1.0 / covered), alpha);
    }
  }
}

// Title line.

constexpr int kTitleTop = 82;
constexpr int kTitleLeft = 43;
constexpr int kTitleRight = 457;

// The button labels' ramp: deep blue, pale cyan a little above the middle, deep blue.
constexpr std::array<std::uint32_t, 12> kTitleRamp = {
    0x0932FE, 0x1E57FE, 0x327AFE, 0x459DFE, 0x5AC2FE, 0x6EE5FE,
    0x73EBFE, 0x5EC0FE, 0x4894FE, 0x346AFE, 0x1F40FF, 0x0914FE,
};

Colour ramp(double t) {
  const double at = clamp01(t) * (kTitleRamp.size() - 1);
  const auto i = static_cast<std::size_t>(at);
  if (i + 1 >= kTitleRamp.size()) return colour(kTitleRamp.back());
  return mix(colour(kTitleRamp[i]), colour(kTitleRamp[i + 1]), at - static_cast<double>(i));
}

void paint_title(Canvas& canvas, std::string_view text) {
  int ink_width = 0;
  int letter_gaps = 0;
  int spaces = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') {
      ++spaces;
      continue;
    }
    ink_width += title_glyph(text[i]).width();
    if (i + 1 < text.size() && text[i + 1] != ' ') ++letter_gaps;
  }
  // Track the letters out so the line spans its full width with word spaces near 16 px.
  const int span = kTitleRight - kTitleLeft + 1;
  int gap = 1;
  while (span - ink_width - (gap + 1) * letter_gaps >= 16 * spaces) ++gap;
  const int space_total = span - ink_width - gap * letter_gaps;

  int x = kTitleLeft;
  int spaces_done = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') {
      // Share the room between the spaces, the odd pixels going to the first ones.
      x += space_total / spaces + (spaces_done < space_total % spaces ? 1 : 0);
      ++spaces_done;
      continue;
    }
    const BitmapGlyph& g = title_glyph(text[i]);
    int first = g.height();
    int last = -1;
    for (int gy = 0; gy < g.height(); ++gy) {
      for (int gx = 0; gx < g.width(); ++gx) {
        if (g.ink(gx, gy)) {
          first = std::min(first, gy);
          last = std::max(last, gy);
        }
      }
    }
    for (int gy = 0; gy < g.height(); ++gy) {
      const double t = last > first ? (gy - first) / static_cast<double>(last - first) : 0.5;
      const Colour c = ramp(t);
      for (int gx = 0; gx < g.width(); ++gx) {
        if (g.ink(gx, gy)) canvas.at(x + gx, kTitleTop + gy) = c;
      }
    }
    x += g.width();
    if (i + 1 < text.size() && text[i + 1] != ' ') x += gap;
  }
}

// Stars behind the thin title lettering would read as glare inside its letters: quieten them.
void quieten_stars_behind_title(Canvas& canvas) {
  for (int y = kTitleTop - 2; y <= kTitleTop + 18; ++y) {
    for (int x = kTitleLeft - 3; x <= kTitleRight + 3; ++x) canvas.at(x, y) = canvas.at(x, y) * 0.2;
  }
}

}  // namespace

Picture8 paint_background() {
  Canvas canvas(kBackgroundWidth, kBackgroundHeight);
  paint_stars(canvas);
  quieten_stars_behind_title(canvas);
  paint_planet(canvas);
  paint_atmosphere(canvas);
  paint_flare(canvas);
  paint_logotype(canvas);
  paint_title(canvas, "The Vivu Chronicles: Quarvel");
  return canvas.to_picture();
}

}  // namespace quarvel::artgen
