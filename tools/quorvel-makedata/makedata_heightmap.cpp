// Heightmap: warped fractal noise with ridged mountains, then hydraulic
// erosion by simulated water droplets, then stretched to the full 0..255 range.
#include <algorithm>
#include <cmath>

#include "tools/quorvel-makedata/makedata.h"

namespace makedata {
namespace {

double SmoothStep(double e0, double e1, double x) {
  double t = (x - e0) / (e1 - e0);
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  return t * t * (3.0 - 2.0 * t);
}

// Ridged fractal: sharp crests where the noise crosses its middle value;
// each octave is weighted by the one before, so detail gathers on the crests.
double Ridged(double x, double y, std::uint32_t seed, int octaves) {
  double sum = 0.0, amplitude = 1.0, total = 0.0, weight = 1.0;
  for (int o = 0; o < octaves; ++o) {
    double n = GradientNoise(x, y, seed + static_cast<std::uint32_t>(o) * 7919u);
    n = 1.0 - std::fabs(2.0 * n - 1.0);
    n *= n;
    n *= weight;
    weight = std::min(1.0, n * 1.8);
    sum += n * amplitude;
    total += amplitude;
    amplitude *= 0.5;
    const double rx = x * 1.6 - y * 1.2, ry = x * 1.2 + y * 1.6;
    x = rx + 31.7;
    y = ry + 5.3;
  }
  return sum / total;
}

// Heights during erosion are in cell units: one unit per sample horizontally.
// A final sample step of 1 is 3 world units against 8 horizontally, so the
// 0..255 range corresponds to about 0..96 cells.
constexpr double kReliefCells = 96.0;

struct Field {
  int size;
  std::vector<double> h;
  double At(int x, int y) const { return h[static_cast<std::size_t>(y) * size + x]; }
  double& At(int x, int y) { return h[static_cast<std::size_t>(y) * size + x]; }
};

void BaseTerrain(Field& f, std::uint64_t seed) {
  const std::uint32_t warpSeedX = SubSeed(seed, 1), warpSeedY = SubSeed(seed, 2);
  const std::uint32_t landSeed = SubSeed(seed, 3), ridgeSeed = SubSeed(seed, 4);
  const std::uint32_t hillSeed = SubSeed(seed, 5);
  const int n = f.size;
  const double scale = 1024.0 / n;  // keep feature sizes in samples of a 1024 map
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const double px = x * scale, py = y * scale;
      const double wx = px + 90.0 * (GradientFbm(px / 350.0, py / 350.0, warpSeedX, 3) - 0.5);
      const double wy = py + 90.0 * (GradientFbm(px / 350.0, py / 350.0, warpSeedY, 3) - 0.5);
      const double land = GradientFbm(wx / 500.0, wy / 500.0, landSeed, 4);
      const double ridge = Ridged(wx / 300.0, wy / 300.0, ridgeSeed, 7);
      const double hills = GradientFbm(wx / 110.0, wy / 110.0, hillSeed, 5);
      const double mountains = SmoothStep(0.38, 0.62, land);
      double h = 0.6 * land + 0.18 * hills + 0.8 * ridge * mountains;
      // Soften the lowlands into broad valley floors.
      h = h < 0.45 ? 0.45 - (0.45 - h) * 0.7 : h;
      f.At(x, y) = h * kReliefCells;
    }
  }
}

// Water droplets run downhill, pick up sediment where they speed up and drop
// it where they slow down or the ground rises, carving gullies and filling
// valley floors.
void Erode(Field& f, std::uint64_t seed, int droplets) {
  Rng rng(seed ^ 0xE505E505ull);
  const int n = f.size;
  const double inertia = 0.3, capacityFactor = 6.0, minCapacity = 0.01;
  const double depositRate = 0.25, erodeRate = 0.35, evaporate = 0.02, gravity = 4.0;
  const int maxSteps = 48;

  auto sample = [&f](double x, double y, double* gx, double* gy) {
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const double u = x - ix, v = y - iy;
    const double a = f.At(ix, iy), b = f.At(ix + 1, iy);
    const double c = f.At(ix, iy + 1), d = f.At(ix + 1, iy + 1);
    if (gx) *gx = (b - a) * (1.0 - v) + (d - c) * v;
    if (gy) *gy = (c - a) * (1.0 - u) + (d - b) * u;
    return a * (1 - u) * (1 - v) + b * u * (1 - v) + c * (1 - u) * v + d * u * v;
  };
  auto deposit = [&f](double x, double y, double amount) {
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const double u = x - ix, v = y - iy;
    f.At(ix, iy) += amount * (1 - u) * (1 - v);
    f.At(ix + 1, iy) += amount * u * (1 - v);
    f.At(ix, iy + 1) += amount * (1 - u) * v;
    f.At(ix + 1, iy + 1) += amount * u * v;
  };
  // Erosion takes material from a disc of radius 2, which keeps the
  // channels smooth instead of digging one-cell pits.
  auto erode = [&f, n](double x, double y, double amount) {
    const int cx = static_cast<int>(x + 0.5), cy = static_cast<int>(y + 0.5);
    double weights[25];
    double total = 0.0;
    for (int oy = -2; oy <= 2; ++oy) {
      for (int ox = -2; ox <= 2; ++ox) {
        const int sx = cx + ox, sy = cy + oy;
        const double dist = std::sqrt(static_cast<double>(ox * ox + oy * oy));
        double w = 0.0;
        if (sx >= 0 && sy >= 0 && sx < n && sy < n && dist < 2.5) w = 2.5 - dist;
        weights[(oy + 2) * 5 + ox + 2] = w;
        total += w;
      }
    }
    for (int oy = -2; oy <= 2; ++oy) {
      for (int ox = -2; ox <= 2; ++ox) {
        const double w = weights[(oy + 2) * 5 + ox + 2];
        if (w > 0.0) f.At(cx + ox, cy + oy) -= amount * w / total;
      }
    }
  };

  const double limit = n - 1.0001;
  for (int d = 0; d < droplets; ++d) {
    double x = rng.Uniform() * limit, y = rng.Uniform() * limit;
    double dx = 0.0, dy = 0.0, speed = 1.0, water = 1.0, sediment = 0.0;
    for (int step = 0; step < maxSteps; ++step) {
      double gx, gy;
      const double h = sample(x, y, &gx, &gy);
      dx = dx * inertia - gx * (1.0 - inertia);
      dy = dy * inertia - gy * (1.0 - inertia);
      const double len = std::sqrt(dx * dx + dy * dy);
      if (len < 1e-12) break;  // a flat pit: the droplet stops
      dx /= len;
      dy /= len;
      const double nx = x + dx, ny = y + dy;
      if (nx < 0.0 || ny < 0.0 || nx >= limit || ny >= limit) break;
      const double dh = sample(nx, ny, nullptr, nullptr) - h;
      const double capacity = std::max(-dh * speed * water * capacityFactor, minCapacity);
      if (dh > 0.0 || sediment > capacity) {
        const double drop = dh > 0.0 ? std::min(dh, sediment) : (sediment - capacity) * depositRate;
        sediment -= drop;
        deposit(x, y, drop);
      } else {
        const double take = std::min((capacity - sediment) * erodeRate, -dh);
        sediment += take;
        erode(x, y, take);
      }
      speed = std::sqrt(std::max(0.0, speed * speed - dh * gravity));
      water *= 1.0 - evaporate;
      x = nx;
      y = ny;
    }
  }
}

// One light 3x3 blur softens the single-cell pits droplets leave behind.
void Soften(Field& f) {
  const int n = f.size;
  std::vector<double> out(f.h.size());
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      double sum = 0.0, weight = 0.0;
      for (int oy = -1; oy <= 1; ++oy) {
        for (int ox = -1; ox <= 1; ++ox) {
          const int sx = x + ox, sy = y + oy;
          if (sx < 0 || sy < 0 || sx >= n || sy >= n) continue;
          const double w = (ox == 0 && oy == 0) ? 4.0 : ((ox == 0 || oy == 0) ? 1.0 : 0.5);
          sum += f.At(sx, sy) * w;
          weight += w;
        }
      }
      out[static_cast<std::size_t>(y) * n + x] = sum / weight;
    }
  }
  f.h.swap(out);
}

}  // namespace

std::vector<std::uint8_t> MakeHeightMap(int size, std::uint64_t seed) {
  std::vector<std::uint8_t> bytes;
  if (size < 2) return bytes;
  Field f{size, std::vector<double>(static_cast<std::size_t>(size) * size)};
  BaseTerrain(f, seed);
  Erode(f, seed, size * size / 6);
  Soften(f);
  const auto [lo, hi] = std::minmax_element(f.h.begin(), f.h.end());
  const double minH = *lo, range = *hi - *lo;
  bytes.resize(f.h.size());
  for (std::size_t i = 0; i < f.h.size(); ++i) {
    const double t = range > 0.0 ? (f.h[i] - minH) / range : 0.0;
    bytes[i] = static_cast<std::uint8_t>(std::floor(t * 255.0 + 0.5));
  }
  return bytes;
}

}  // namespace makedata
