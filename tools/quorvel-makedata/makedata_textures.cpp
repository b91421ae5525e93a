// The four tiling textures. Every noise lookup wraps its lattice at the tile's
// edge, so each texture repeats without seams.
#include <algorithm>
#include <cmath>

#include "tools/quorvel-makedata/makedata.h"

namespace makedata {
namespace {

double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

double SmoothStep(double e0, double e1, double x) {
  const double t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

std::uint8_t ToByte(double v01) { return static_cast<std::uint8_t>(std::floor(Clamp01(v01) * 255.0 + 0.5)); }

// Tileable fractal noise at texel (x, y) of a size x size tile with `cells`
// lattice cells across at the lowest octave.
double TileFbm(int x, int y, int size, int cells, std::uint32_t seed, int octaves) {
  const double f = static_cast<double>(cells) / size;
  return Fbm((x + 0.5) * f, (y + 0.5) * f, seed, octaves, cells);
}

Image NewImage(int size, int channels) {
  Image image;
  image.width = image.height = size;
  image.channels = channels;
  image.pixels.assign(static_cast<std::size_t>(size) * size * channels, 0);
  return image;
}

void Put(Image& image, int x, int y, double r, double g, double b) {
  std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * image.channels];
  p[0] = ToByte(r);
  p[1] = ToByte(g);
  p[2] = ToByte(b);
}

}  // namespace

Image MakeGroundTexture(int size, std::uint64_t seed) {
  Image image = NewImage(size, 3);
  const std::uint32_t s1 = SubSeed(seed, 11), s2 = SubSeed(seed, 12), s3 = SubSeed(seed, 13);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double patches = TileFbm(x, y, size, 4, s1, 5);
      const double dirt = SmoothStep(0.45, 0.65, TileFbm(x, y, size, 8, s2, 4));
      const double grain = TileFbm(x, y, size, 64, s3, 2) - 0.5;
      // Grass from lush to dry, with patches of bare earth.
      double r = 0.24 + 0.22 * patches, g = 0.40 + 0.14 * patches, b = 0.14 + 0.06 * patches;
      r += (0.45 - r) * dirt;
      g += (0.35 - g) * dirt;
      b += (0.22 - b) * dirt;
      const double shade = 1.0 + 0.35 * grain;
      Put(image, x, y, r * shade, g * shade, b * shade);
    }
  }
  return image;
}

Image MakeOverlayTexture(int size, std::uint64_t seed) {
  Image image = NewImage(size, 4);
  const std::uint32_t s1 = SubSeed(seed, 21), s2 = SubSeed(seed, 22), s3 = SubSeed(seed, 23);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double rock = TileFbm(x, y, size, 16, s1, 5);
      const double cover = TileFbm(x, y, size, 4, s2, 4);
      const double crack = TileFbm(x, y, size, 32, s3, 2);
      const double shade = 0.75 + 0.5 * rock - (crack < 0.3 ? 0.25 : 0.0);
      Put(image, x, y, 0.52 * shade, 0.48 * shade, 0.42 * shade);
      // Rock shows in irregular blotches with soft borders.
      image.pixels[(static_cast<std::size_t>(y) * size + x) * 4 + 3] =
          ToByte(SmoothStep(0.42, 0.62, cover + 0.15 * (rock - 0.5)));
    }
  }
  return image;
}

Image MakeDetailTexture(int size, std::uint64_t seed) {
  Image image = NewImage(size, 3);
  const std::uint32_t s1 = SubSeed(seed, 31), s2 = SubSeed(seed, 32);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double fine = TileFbm(x, y, size, 32, s1, 3);
      const double tint = TileFbm(x, y, size, 8, s2, 3);
      const double v = 0.3 + 0.45 * fine;
      Put(image, x, y, v + 0.06 * tint, v + 0.03 * tint, v - 0.04 * tint);
    }
  }
  return image;
}

Image MakeNormalMap(int size, std::uint64_t seed) {
  Image image = NewImage(size, 3);
  const std::uint32_t s1 = SubSeed(seed, 41), s2 = SubSeed(seed, 42);
  std::vector<double> bump(static_cast<std::size_t>(size) * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double pebbles = TileFbm(x, y, size, 16, s1, 4);
      const double ripples = TileFbm(x, y, size, 64, s2, 2);
      bump[static_cast<std::size_t>(y) * size + x] = pebbles * pebbles + 0.25 * ripples;
    }
  }
  // Central differences with wrap-around keep the normal map tileable.
  const double strength = 12.0;
  auto at = [&](int x, int y) {
    x = (x + size) % size;
    y = (y + size) % size;
    return bump[static_cast<std::size_t>(y) * size + x];
  };
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double nx = -(at(x + 1, y) - at(x - 1, y)) * 0.5 * strength;
      const double ny = -(at(x, y + 1) - at(x, y - 1)) * 0.5 * strength;
      const double len = std::sqrt(nx * nx + ny * ny + 1.0);
      Put(image, x, y, nx / len * 0.5 + 0.5, ny / len * 0.5 + 0.5, 1.0 / len * 0.5 + 0.5);
    }
  }
  return image;
}

}  // namespace makedata
