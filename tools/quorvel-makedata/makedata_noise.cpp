// Seeded randomness and noise for the data generator.
#include <cmath>

#include "tools/quorvel-makedata/makedata.h"

namespace makedata {

std::uint64_t Rng::Next() {
  std::uint64_t z = (m_State += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

std::uint32_t SubSeed(std::uint64_t seed, std::uint32_t stage) {
  Rng rng(seed ^ (static_cast<std::uint64_t>(stage) * 0xD1B54A32D192ED03ull));
  return static_cast<std::uint32_t>(rng.Next() >> 32);
}

namespace {

std::uint32_t HashLattice(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B1u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA77u;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

double LatticeValue(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  return static_cast<double>(HashLattice(x, y, seed)) * (1.0 / 4294967296.0);
}

double Fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

std::int32_t Wrap(std::int32_t v, int period) {
  if (period <= 0) return v;
  std::int32_t r = v % period;
  return r < 0 ? r + period : r;
}

}  // namespace

double ValueNoise(double x, double y, std::uint32_t seed, int period) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const std::int32_t ix = static_cast<std::int32_t>(fx);
  const std::int32_t iy = static_cast<std::int32_t>(fy);
  const double tx = Fade(x - fx);
  const double ty = Fade(y - fy);
  const std::int32_t x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period);
  const std::int32_t y0 = Wrap(iy, period), y1 = Wrap(iy + 1, period);
  const double a = LatticeValue(x0, y0, seed);
  const double b = LatticeValue(x1, y0, seed);
  const double c = LatticeValue(x0, y1, seed);
  const double d = LatticeValue(x1, y1, seed);
  const double top = a + (b - a) * tx;
  const double bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

double Fbm(double x, double y, std::uint32_t seed, int octaves, int basePeriod) {
  double sum = 0.0, amplitude = 1.0, total = 0.0;
  int period = basePeriod;
  for (int o = 0; o < octaves; ++o) {
    sum += ValueNoise(x, y, seed + static_cast<std::uint32_t>(o) * 1013u, period) * amplitude;
    total += amplitude;
    amplitude *= 0.5;
    x *= 2.0;
    y *= 2.0;
    if (period > 0) period *= 2;
  }
  return sum / total;
}

namespace {

// Sixteen unit gradient directions, 22.5 degrees apart, as literal constants.
const double kGradients[16][2] = {{1, 0},
                                  {0.92387953251128674, 0.38268343236508978},
                                  {0.70710678118654757, 0.70710678118654746},
                                  {0.38268343236508984, 0.92387953251128674},
                                  {6.123233995736766e-17, 1},
                                  {-0.38268343236508973, 0.92387953251128674},
                                  {-0.70710678118654746, 0.70710678118654757},
                                  {-0.92387953251128674, 0.38268343236508989},
                                  {-1, 1.2246467991473532e-16},
                                  {-0.92387953251128685, -0.38268343236508967},
                                  {-0.70710678118654768, -0.70710678118654746},
                                  {-0.38268343236509034, -0.92387953251128652},
                                  {-1.8369701987210297e-16, -1},
                                  {0.38268343236509, -0.92387953251128663},
                                  {0.70710678118654735, -0.70710678118654768},
                                  {0.92387953251128652, -0.38268343236509039}};

}  // namespace

double GradientNoise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const std::int32_t ix = static_cast<std::int32_t>(fx);
  const std::int32_t iy = static_cast<std::int32_t>(fy);
  const double u = x - fx, v = y - fy;
  auto corner = [&](std::int32_t cx, std::int32_t cy, double dx, double dy) {
    const double* g = kGradients[HashLattice(cx, cy, seed) >> 28];
    return g[0] * dx + g[1] * dy;
  };
  const double a = corner(ix, iy, u, v);
  const double b = corner(ix + 1, iy, u - 1.0, v);
  const double c = corner(ix, iy + 1, u, v - 1.0);
  const double d = corner(ix + 1, iy + 1, u - 1.0, v - 1.0);
  const double tx = Fade(u), ty = Fade(v);
  const double top = a + (b - a) * tx;
  const double bottom = c + (d - c) * tx;
  // The sum stays within about +-0.71; map it to [0, 1].
  const double n = 0.5 + (top + (bottom - top) * ty) * 0.7;
  return n < 0.0 ? 0.0 : (n > 1.0 ? 1.0 : n);
}

double GradientFbm(double x, double y, std::uint32_t seed, int octaves) {
  double sum = 0.0, amplitude = 1.0, total = 0.0;
  for (int o = 0; o < octaves; ++o) {
    sum += GradientNoise(x, y, seed + static_cast<std::uint32_t>(o) * 1013u) * amplitude;
    total += amplitude;
    amplitude *= 0.5;
    // Rotate each octave a little so lattice axes do not line up.
    const double rx = x * 1.6 - y * 1.2, ry = x * 1.2 + y * 1.6;
    x = rx + 17.3;
    y = ry - 9.1;
  }
  return sum / total;
}

double SinDegrees(double degrees) {
  // Reduce to [-180, 180), then use sin(x) = -sin(x - 180) to reach [-90, 90].
  double d = degrees - 360.0 * std::floor((degrees + 180.0) / 360.0);
  if (d > 90.0) {
    d = 180.0 - d;
  } else if (d < -90.0) {
    d = -180.0 - d;
  }
  const double x = d * (3.14159265358979323846 / 180.0);
  const double x2 = x * x;
  // Taylor series to x^17: error below 1e-12 on [-pi/2, pi/2].
  double term = x, sum = x;
  for (int k = 1; k <= 8; ++k) {
    term = -term * x2 / static_cast<double>((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

}  // namespace makedata
