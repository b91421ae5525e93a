// The per-level index lists, checked without a device: sizes, exact orders,
// and - triangle by triangle - that every mix of regular and
// stitched edges closes the patch with no hole and no overlap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "terrain/terrain_build.h"

namespace {

using terrain::BuildLodIndexLists;
using terrain::LodIndexLists;
using Indices = std::vector<std::uint16_t>;

struct Point {
  double c, r;  // in the level's own units: 0..n
};
struct Triangle {
  Point a, b, c;
};

double SignedArea(const Triangle& t) {
  return ((t.b.c - t.a.c) * (t.c.r - t.a.r) - (t.c.c - t.a.c) * (t.b.r - t.a.r)) / 2.0;
}

Point ToPoint(std::uint16_t index, int patchVerts, int step) {
  return {static_cast<double>(index % patchVerts) / step, static_cast<double>(index / patchVerts) / step};
}

void AppendList(const Indices& list, int patchVerts, int step, std::vector<Triangle>* out) {
  for (std::size_t i = 0; i + 2 < list.size(); i += 3)
    out->push_back({ToPoint(list[i], patchVerts, step), ToPoint(list[i + 1], patchVerts, step),
                    ToPoint(list[i + 2], patchVerts, step)});
}

void AppendStrip(const Indices& strip, int patchVerts, int step, std::vector<Triangle>* out) {
  for (std::size_t i = 0; i + 2 < strip.size(); ++i) {
    const Triangle t{ToPoint(strip[i], patchVerts, step), ToPoint(strip[i + 1], patchVerts, step),
                     ToPoint(strip[i + 2], patchVerts, step)};
    if (SignedArea(t) != 0.0) out->push_back(t);  // the turns' degenerate triangles cover nothing
  }
}

// Checks that the triangles tile the n x n square exactly: their areas add up
// to n^2, and each of nine sample points in every cell lies inside exactly
// one triangle. The sample offsets are chosen off every line through lattice
// points with slopes 0, infinity, +-1/2, +-1 and +-2, the only edges here.
::testing::AssertionResult TilesSquare(const std::vector<Triangle>& triangles, int n) {
  static const double kOffsets[3][2] = {{0.1234, 0.2345}, {0.4567, 0.5678}, {0.7891, 0.8912}};
  double area = 0.0;
  std::vector<int> hits(static_cast<std::size_t>(n) * n * 9, 0);
  for (const Triangle& t : triangles) {
    const double a = SignedArea(t);
    if (a == 0.0) return ::testing::AssertionFailure() << "degenerate triangle in a list";
    area += std::fabs(a);
    const int c0 = static_cast<int>(std::floor(std::min({t.a.c, t.b.c, t.c.c})));
    const int c1 = static_cast<int>(std::ceil(std::max({t.a.c, t.b.c, t.c.c})));
    const int r0 = static_cast<int>(std::floor(std::min({t.a.r, t.b.r, t.c.r})));
    const int r1 = static_cast<int>(std::ceil(std::max({t.a.r, t.b.r, t.c.r})));
    if (c0 < 0 || r0 < 0 || c1 > n || r1 > n)
      return ::testing::AssertionFailure() << "triangle outside the patch";
    for (int r = r0; r < r1; ++r) {
      for (int c = c0; c < c1; ++c) {
        for (int sy = 0; sy < 3; ++sy) {
          for (int sx = 0; sx < 3; ++sx) {
            const Point p{c + kOffsets[sx][0], r + kOffsets[sy][1]};
            const double d1 = SignedArea({t.a, t.b, p}), d2 = SignedArea({t.b, t.c, p}),
                         d3 = SignedArea({t.c, t.a, p});
            const bool inside = (d1 > 0 && d2 > 0 && d3 > 0) || (d1 < 0 && d2 < 0 && d3 < 0);
            if (inside) ++hits[(static_cast<std::size_t>(r) * n + c) * 9 + sy * 3 + sx];
          }
        }
      }
    }
  }
  if (area != static_cast<double>(n) * n)
    return ::testing::AssertionFailure() << "area " << area << " instead of " << n * n;
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (hits[i] != 1) {
      const std::size_t cell = i / 9;
      return ::testing::AssertionFailure() << "cell (" << cell % n << ", " << cell / n << ") sample " << i % 9
                                           << " covered " << hits[i] << " times";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(TerrainLodLists, Sizes) {
  // Levels = 4: n = 16, 8, 4, 2 for levels 0..3. The lists themselves are
  // sized by the tiling test below: a list with a triangle too many or too
  // few no longer covers its patch exactly once.
  const int rows[][6] = {
      {16, 544, 768, 66, 90, 420}, {8, 144, 192, 30, 42, 84}, {4, 40, 48, 12, 18, 12}, {2, 12, 12, 3, 6, 0}};
  for (const auto& r : rows) {
    const terrain::LodListSizes s = terrain::LodSizes(r[0]);
    EXPECT_EQ((std::vector<int>{s.strip, s.scratch, s.stitched, s.regular, s.interior}),
              std::vector<int>(r + 1, r + 6))
        << "n = " << r[0];
  }
}

TEST(TerrainLodLists, ExactOrder) {
  LodIndexLists lists;
  BuildLodIndexLists(17, 0, &lists);
  // Row 0 runs left to right, row 1 right to left.
  const Indices start(lists.strip.begin(), lists.strip.begin() + 6);
  EXPECT_EQ(start, (Indices{0, 17, 1, 18, 2, 19}));
  const Indices second(lists.strip.begin() + 34, lists.strip.begin() + 38);
  EXPECT_EQ(second, (Indices{33, 50, 32, 49}));
  // The interior starts at point (1, 1) on its odd first row.
  EXPECT_EQ(lists.Clp[0], 18);
  EXPECT_EQ(lists.Clp[1], 35);
  // The coarsest level's lists, exactly, are checked where InitPatches stores
  // them; the tiling test below reaches every corner up to 129 vertices a side.
}

// The whole strip, and the interior with each of the 16 mixes of regular
// and stitched edges, cover the patch exactly, at every level.
TEST(TerrainLodLists, EveryWayOfDrawingTilesThePatch) {
  LodIndexLists lists;
  for (int levels = 1; levels <= terrain::kMaxLevels; ++levels) {
    const int verts = (1 << levels) + 1;
    for (int level = 0; level < levels; ++level) {
      SCOPED_TRACE(::testing::Message() << "levels " << levels << " level " << level);
      BuildLodIndexLists(verts, level, &lists);
      const int step = 1 << level, n = (verts - 1) >> level;
      std::vector<Triangle> whole;
      AppendStrip(lists.strip, verts, step, &whole);
      EXPECT_TRUE(TilesSquare(whole, n));
      for (int mix = 0; mix < 16; ++mix) {
        std::vector<Triangle> triangles;
        AppendStrip(lists.Clp, verts, step, &triangles);
        AppendList((mix & 1) ? lists.Ti : lists.Tr, verts, step, &triangles);
        AppendList((mix & 2) ? lists.bi : lists.Br, verts, step, &triangles);
        AppendList((mix & 4) ? lists.li : lists.lr, verts, step, &triangles);
        AppendList((mix & 8) ? lists.ri : lists.rr, verts, step, &triangles);
        EXPECT_TRUE(TilesSquare(triangles, n)) << "stitched mask " << mix;
      }
    }
  }
}

// A stitched edge must use exactly the outer points that the next coarser
// level uses on that edge, or a crack opens between the two patches.
TEST(TerrainLodLists, StitchedEdgeMeetsTheCoarserLevel) {
  const int verts = 17;
  LodIndexLists fine, coarse;
  for (int level = 0; level + 1 < 4; ++level) {
    SCOPED_TRACE(level);
    BuildLodIndexLists(verts, level, &fine);
    BuildLodIndexLists(verts, level + 1, &coarse);
    auto outer = [verts](const Indices& list, auto onEdge) {
      std::set<int> points;
      for (std::uint16_t i : list)
        if (onEdge(i % verts, i / verts)) points.insert(i);
      return points;
    };
    auto top = [](int, int row) { return row == 0; };
    auto bottom = [verts](int, int row) { return row == verts - 1; };
    auto left = [](int col, int) { return col == 0; };
    auto right = [verts](int col, int) { return col == verts - 1; };
    EXPECT_EQ(outer(fine.Ti, top), outer(coarse.Tr, top));
    EXPECT_EQ(outer(fine.bi, bottom), outer(coarse.Br, bottom));
    EXPECT_EQ(outer(fine.li, left), outer(coarse.lr, left));
    EXPECT_EQ(outer(fine.ri, right), outer(coarse.rr, right));
    // ... while the regular edge uses every point of the level.
    EXPECT_EQ(outer(fine.Tr, top).size(), static_cast<std::size_t>(((verts - 1) >> level) + 1));
  }
}

}  // namespace
