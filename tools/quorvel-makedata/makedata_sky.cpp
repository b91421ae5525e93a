// Sky colour tables. Degree d of a table is hour (d - 310) / 15; the light
// travels along (0, sin a, cos a) with a = 15 degrees per hour, so the sun's
// elevation above the horizon is -sin(d - 310 degrees): overhead at degree 220
// (hour 18), lowest at degree 40 (hour 6), on the horizon at 310 and 130.
#include <algorithm>
#include <cmath>

#include "tools/quorvel-makedata/makedata.h"

namespace makedata {
namespace {

struct Rgb {
  double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

double SmoothStep(double e0, double e1, double x) {
  const double t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

double Brightness(const Rgb& c) { return c.r + c.g + c.b; }

// Shifts a colour's hue towards `tint` by t without changing its brightness,
// so the glow of sunrise and sunset reddens the light but never brightens it.
Rgb Tint(const Rgb& c, const Rgb& tint, double t) {
  const double scale = Brightness(c) / Brightness(tint);
  return Mix(c, {tint.r * scale, tint.g * scale, tint.b * scale}, t);
}

std::uint8_t ToByte(double v) {
  return static_cast<std::uint8_t>(std::floor(std::min(255.0, std::max(0.0, v)) + 0.5));
}

void Store(std::uint8_t* table, int degree, const Rgb& c) {
  table[degree] = ToByte(c.r);
  table[360 + degree] = ToByte(c.g);
  table[720 + degree] = ToByte(c.b);
}

}  // namespace

void MakeSkyTables(std::uint8_t diffuse[kSkyTableBytes], std::uint8_t ambient[kSkyTableBytes]) {
  const Rgb sunNoon{255, 246, 228}, sunLow{255, 150, 70}, moon{28, 36, 72};
  const Rgb skyNoon{96, 108, 128}, skyDusk{92, 64, 78}, skyNight{10, 14, 36};
  for (int d = 0; d < 360; ++d) {
    const double elevation = -SinDegrees(d - 310.0);
    // Daylight rises from just below the horizon to full a third of the way up.
    const double day = SmoothStep(-0.12, 0.35, elevation);
    // Red light of sunrise and sunset, strongest with the sun on the horizon.
    const double edge = std::max(0.0, 1.0 - std::fabs(elevation) / 0.3);
    const double glow = edge * edge;
    const Rgb sun = Tint(Mix(moon, sunNoon, day), sunLow, glow * 0.75);
    const Rgb sky = Tint(Mix(skyNight, skyNoon, day), skyDusk, glow * 0.5);
    Store(diffuse, d, sun);
    Store(ambient, d, sky);
  }
}

}  // namespace makedata
