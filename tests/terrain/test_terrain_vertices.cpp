// Patch vertices built from in-memory heightmaps: positions, texture
// coordinates, and normals and tangents against an independent computation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "tests/terrain/terrain_test_support.h"

namespace {

using terrain_test::HeightBlock;

std::vector<TerrainVertex> Build(const HeightBlock& map, int x0, int z0, int patchSize, int verts) {
  std::vector<TerrainVertex> v(static_cast<std::size_t>(verts) * verts);
  terrain::BuildPatchVertices(map.Map(), map.Size(), map.Size(), map.Size(), x0, z0, patchSize, verts,
                              v.data());
  return v;
}

void ExpectVec(const D3DVECTOR& v, double x, double y, double z, double tolerance = 1e-5) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

// The nine-point normal and tangent, written out again in double precision.
using Vec = std::array<double, 3>;
Vec Minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec Unit(const Vec& v) {
  const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / l, v[1] / l, v[2] / l};
}
// The vertex (k = 0), then its eight neighbours clockwise from the left one;
// k = 9 is the left one again.
std::pair<Vec, Vec> Reference(const HeightBlock& map, int x, int z, int s) {
  const int offsets[9][2] = {{0, 0}, {-s, 0}, {-s, -s}, {0, -s}, {s, -s}, {s, 0}, {s, s}, {0, s}, {-s, s}};
  auto p = [&](int k) -> Vec {
    const int cx = x + offsets[k % 9 + k / 9][0], cz = z + offsets[k % 9 + k / 9][1];
    return {double(cx), double(map.Map()[cz * map.Size() + cx]), double(cz)};
  };
  Vec n{0, 0, 0};
  for (int k = 0; k < 8; ++k) {
    const Vec face = Unit(Cross(Minus(p(k + 1), p(k + 2)), Minus(p(0), p(k + 1))));
    for (int i = 0; i < 3; ++i) n[i] += face[i];
  }
  n = Unit(n);
  // The tangent is perpendicular to the normal and to the direction from the
  // vertex towards its left neighbour.
  return {n, Unit(Cross(Unit(Minus(p(1), p(0))), n))};
}

TEST(TerrainVertices, RoughGroundAgainstReference) {
  unsigned state = 12345;
  std::vector<int> noise(64 * 64);
  for (int& h : noise) {
    state = state * 1103515245u + 12345u;
    h = static_cast<int>((state >> 16) % 256);
  }
  HeightBlock map(64, [&](int x, int z) { return noise[z * 64 + x]; });
  for (int patchSize : {16, 32}) {
    const int step = patchSize / 16;
    const auto v = Build(map, 16, 16, patchSize, 17);
    for (int j = 0; j < 17; ++j) {
      for (int i = 0; i < 17; ++i) {
        const int x = 16 + i * step, z = 16 + j * step;
        if (x >= 63 || z >= 63) continue;
        const auto [n, t] = Reference(map, x, z, step);
        const TerrainVertex& vertex = v[j * 17 + i];
        SCOPED_TRACE(::testing::Message() << "patch " << patchSize << " vertex " << i << "," << j);
        ExpectVec(vertex.Normal, n[0], n[1], n[2], 1e-4);
        ExpectVec(vertex.Tangent, t[0], t[1], t[2], 1e-4);  // both unit length, as the reference
      }
    }
  }
}

// Positions and texture coordinates everywhere; the flat frame on the map's
// border rows and columns, a computed one inside.
TEST(TerrainVertices, PositionsTextureCoordinatesAndBorderFrames) {
  HeightBlock map(32, [](int x, int z) { return 3 * x + 5 * z; });
  for (const int x0 : {0, 16}) {
    const int z0 = 16 - x0;  // each patch touches one low and one high border
    const auto v = Build(map, x0, z0, 16, 17);
    for (int j = 0; j < 17; ++j) {
      for (int i = 0; i < 17; ++i) {
        const int x = x0 + i, z = z0 + j;
        SCOPED_TRACE(::testing::Message() << "vertex " << x << "," << z);
        const TerrainVertex& vertex = v[j * 17 + i];
        EXPECT_FLOAT_EQ(vertex.Position.x, x * 8.0f);
        EXPECT_FLOAT_EQ(vertex.Position.z, z * 8.0f);
        EXPECT_FLOAT_EQ(vertex.Position.y, map.Map()[z * 32 + x] * 3.0f);
        for (int pair = 0; pair < 4; ++pair) {
          EXPECT_FLOAT_EQ(vertex.Tex[pair][0], j / 16.0f);  // u follows z
          EXPECT_FLOAT_EQ(vertex.Tex[pair][1], i / 16.0f);  // v follows x
        }
        if (x == 0 || z == 0 || x >= 31 || z >= 31) {
          ExpectVec(vertex.Normal, 0, 1, 0);
          ExpectVec(vertex.Tangent, 0, 0, -1);
        } else {
          EXPECT_LT(vertex.Normal.y, 0.99f) << "interior vertex must be computed";
        }
      }
    }
  }
}

}  // namespace
