#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/app_globals.h"
#include "testing/fake_d3d8.h"
#include "testing/temp_log.h"
#include "view/paint.h"

using qv::test::FakeVertexBuffer;
using qv::test::TempLog;

namespace {

// Two 16-sample patches side by side in one buffer, 17 vertices a side
// unless a test says otherwise. Patch 0 spans world x 0..128, patch 1
// 128..256; both span z 0..128.
class ViewPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_log.Ok());
    m_saved = g_pTerrain;
    SetVerts(17);
    g_pTerrain = &m_terrain;
    g_BrushStrength = 0.2f;
    g_BrushSize = 10;
    g_BrushU = g_BrushV = 0.3f;
  }
  void TearDown() override {
    g_pTerrain = m_saved;
    m_terrain.m_pPatches = nullptr;
    m_terrain.m_PatchCount = 0;
  }

  void SetVerts(int verts) {
    const int perPatch = verts * verts;
    m_vb = std::make_unique<FakeVertexBuffer>(static_cast<UINT>(2 * perPatch * 68));
    // Every float of every vertex starts as a distinct value.
    float* f = reinterpret_cast<float*>(m_vb->m_bytes.data());
    for (size_t i = 0; i < m_vb->m_bytes.size() / 4; ++i) f[i] = -1000.0f - static_cast<float>(i);
    for (int i = 0; i < 2; ++i) {
      TerrainPatch& p = m_patches[i];
      std::tie(p.X0, p.X1, p.Z0, p.Z1) = std::make_tuple(128 * i, 128 * (i + 1), 0, 128);
      p.pVB = m_vb.get();
      p.FirstVertex = i * perPatch;
      p.VertexCount = perPatch;
    }
    m_terrain.m_pPatches = m_patches;
    m_terrain.m_PatchCount = 2;
    m_terrain.m_PatchVerts = verts;
    m_before = m_vb->m_bytes;
  }

  const TerrainVertex& Vertex(int patch, int column, int row) const {
    const int verts = m_terrain.m_PatchVerts;
    const auto* v = reinterpret_cast<const TerrainVertex*>(m_vb->m_bytes.data());
    return v[patch * verts * verts + row * verts + column];
  }

  // The (patch, column, row) of every vertex whose bytes changed.
  std::set<std::vector<int>> Changed() const {
    std::set<std::vector<int>> out;
    const int verts = m_terrain.m_PatchVerts;
    for (size_t i = 0; i < m_vb->m_bytes.size() / 68; ++i) {
      if (std::memcmp(&m_vb->m_bytes[i * 68], &m_before[i * 68], 68) != 0) {
        const int v = static_cast<int>(i);
        out.insert({v / (verts * verts), (v % (verts * verts)) % verts, (v % (verts * verts)) / verts});
      }
    }
    return out;
  }

  static std::set<std::vector<int>> Square(int patch, int c0, int c1, int r0, int r1) {
    std::set<std::vector<int>> out;
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c) out.insert({patch, c, r});
    return out;
  }

  TempLog m_log;
  Terrain m_terrain;
  TerrainPatch m_patches[2];
  std::unique_ptr<FakeVertexBuffer> m_vb;
  std::vector<BYTE> m_before;
  Terrain* m_saved = nullptr;
};

TEST_F(ViewPaint, SquareAroundTheCameraGetsOneTexel) {
  PaintTerrain(7 * 8 + 3, 7 * 8 + 7);  // 7 samples into patch 0 on both axes
  EXPECT_EQ(Changed(), Square(0, 2, 11, 2, 11));
  const float u = 0.3f + 0.2f / 12;
  for (int r = 2; r <= 11; ++r) {
    for (int c = 2; c <= 11; ++c) {
      const TerrainVertex& v = Vertex(0, c, r);
      for (float t : {v.Tex[0][0], v.Tex[0][1], v.Tex[2][0], v.Tex[2][1]}) EXPECT_FLOAT_EQ(t, u);
    }
  }
  // Only sets 0 and 2 change: compare the rest of one painted vertex.
  const size_t at = static_cast<size_t>(5 * 17 + 5) * 68;
  EXPECT_EQ(std::memcmp(&m_vb->m_bytes[at], &m_before[at], 36), 0);           // position, normal, tangent
  EXPECT_EQ(std::memcmp(&m_vb->m_bytes[at + 44], &m_before[at + 44], 8), 0);  // Tex[1]
  EXPECT_EQ(std::memcmp(&m_vb->m_bytes[at + 60], &m_before[at + 60], 8), 0);  // Tex[3]

  EXPECT_EQ(m_vb->m_lastLockOffset, 0u);
  EXPECT_EQ(m_vb->m_lastLockSize, 17u * 17u * 68u);
  EXPECT_EQ(m_vb->m_lastLockFlags, 0u);
  EXPECT_EQ(m_vb->m_unlocks, 1);
  EXPECT_EQ(m_log.Lines(), (std::vector<std::string>{"Painting", "Done Painting"}));
}

TEST_F(ViewPaint, EndsAreClampedAndTheLastVertexIsNeverPainted) {
  // 14 samples into patch 1 on x, 1 sample on z: columns 9..15, rows 0..9.
  PaintTerrain(128 + 14 * 8 + 1, 8 + 1);
  EXPECT_EQ(Changed(), Square(1, 9, 15, 0, 9));
  // The u step uses the clamped end (16), the v step the unclamped one (10).
  EXPECT_FLOAT_EQ(Vertex(1, 9, 0).Tex[0][0], 0.3f + 0.2f / 16);
  EXPECT_FLOAT_EQ(Vertex(1, 9, 0).Tex[0][1], 0.3f + 0.2f / 10);
  EXPECT_EQ(m_vb->m_lastLockOffset, 17u * 17u * 68u);
  // The same on z, in patch 0: rows 9..15, columns 0..9.
  PaintTerrain(8 + 1, 14 * 8 + 1);
  auto both = Square(1, 9, 15, 0, 9);
  for (const auto& v : Square(0, 0, 9, 9, 15)) both.insert(v);
  EXPECT_EQ(Changed(), both);
}

TEST_F(ViewPaint, CoordinatesAreClampedToTheTexture) {
  for (const float end : {1.0f, 0.0f}) {
    g_BrushU = g_BrushV = end * 0.99f;
    g_BrushStrength = end > 0 ? 0.2f : -0.2f;
    PaintTerrain(60, 60);
    EXPECT_EQ(Vertex(0, 5, 5).Tex[0][0], end);
    EXPECT_EQ(Vertex(0, 5, 5).Tex[2][1], end);
  }
}

TEST_F(ViewPaint, NoPatchOnBordersOrOutsideTheMap) {
  const int points[][2] = {{128, 64}, {0, 64}, {64, 0}, {64, 128}, {-5, 64}, {300, 64}, {64, -1}};
  for (const auto& p : points) {
    EXPECT_EQ(FindPatch(p[0], p[1]), nullptr) << p[0] << "," << p[1];
    PaintTerrain(p[0], p[1]);
  }
  EXPECT_TRUE(Changed().empty());
  EXPECT_EQ(m_vb->m_locks, 0);
  EXPECT_EQ(m_log.Lines(), std::vector<std::string>(7, "Couldn't find Patch"));
  EXPECT_EQ(FindPatch(1, 1), &m_patches[0]);
  EXPECT_EQ(FindPatch(129, 127), &m_patches[1]);

  g_pTerrain = nullptr;
  EXPECT_EQ(FindPatch(64, 64), nullptr);
}

TEST_F(ViewPaint, StartPastTheLastVertexOrAFailedLockChangesNothing) {
  // Five vertices a side over 16 samples: 14 samples in starts at column 9.
  SetVerts(5);
  PaintTerrain(14 * 8 + 1, 14 * 8 + 1);
  EXPECT_TRUE(Changed().empty());
  EXPECT_EQ(m_log.Lines(), (std::vector<std::string>{"Painting", "Done Painting"}));

  SetVerts(17);
  m_vb->m_failLock = true;
  PaintTerrain(60, 60);
  EXPECT_TRUE(Changed().empty());
  EXPECT_EQ(m_vb->m_unlocks, 0);
  EXPECT_EQ(m_log.Lines().size(), 2u) << "a failed lock logs nothing";

  m_vb->m_failLock = false;
  m_patches[0].pVB = nullptr;
  PaintTerrain(60, 60);
  EXPECT_TRUE(Changed().empty());
}

TEST(ViewRandom, GeneratorFromAKnownSeed) {
  // Seed 0 fills the table with Fibonacci numbers; the first draws add
  // entries 0 and 31, then 1 and 32, and keep 24 of 30 bits.
  SeedRandomWith(0);
  EXPECT_EQ(Random(), 1346269 >> 6);
  EXPECT_EQ(Random(), (1 + 2178309) >> 6);
  SeedRandomWith(0x7FFFFFFF);  // only the low 30 bits of the seed count
  const int a = Random();
  SeedRandomWith(0x3FFFFFFF);
  EXPECT_EQ(Random(), a);
  for (int i = 0; i < 10000; ++i) {
    const int r = Random();
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 1 << 24);
  }
}

TEST(ViewRandom, RangeMasksToAPowerOfTwoAndRejects) {
  // Find a seed whose first draw masked to 63 lands in 51..63, then check that
  // RandomRange(0, 50) rejects it and answers with the next acceptable draw.
  unsigned seed = 0;
  for (;; ++seed) {
    SeedRandomWith(seed);
    if ((Random() & 63) >= 51) break;
    ASSERT_LT(seed, 100000u);
  }
  SeedRandomWith(seed);
  std::vector<int> draws;
  for (int i = 0; i < 50; ++i) draws.push_back(Random());
  SeedRandomWith(seed);
  const int got = RandomRange(0, 50);
  size_t used = 0;
  while ((draws[used] & 63) >= 51) ++used;
  EXPECT_EQ(got, draws[used] & 63);
  EXPECT_EQ(Random(), draws[used + 1]);  // nothing else was consumed

  EXPECT_EQ(RandomRange(5, 5), 5);
  EXPECT_EQ(RandomRange(9, 2), 9);
  // Every draw lies inside its range and some pass the third column, in the
  // range's top half: above 2^24 only two draws combined reach it, and the
  // widest range must not overflow.
  const int ranges[][3] = {
      {-3, 47, 21}, {0, (1 << 25) - 1, 1 << 24}, {0, (1 << 26) - 1, 1 << 25}, {INT_MIN, INT_MAX, 1 << 30}};
  for (const auto& range : ranges) {
    SeedRandomWith(seed);
    int highest = INT_MIN;
    for (int i = 0; i < 2000; ++i) {
      const int r = RandomRange(range[0], range[1]);
      ASSERT_GE(r, range[0]);
      ASSERT_LE(r, range[1]);
      highest = std::max(highest, r);
    }
    EXPECT_GT(highest, range[2]) << range[1];
  }
}

TEST(ViewRandom, BrushTakesAHundredthBetweenZeroAndAHalf) {
  std::set<int> seen;
  for (unsigned seed = 0; seed < 300; ++seed) {
    SeedRandomWith(seed);
    SetPaintBrush(0.2f, 10);
    EXPECT_EQ(g_BrushStrength, 0.2f);
    EXPECT_EQ(g_BrushSize, 10);
    EXPECT_EQ(g_BrushU, g_BrushV);
    const int hundredths = static_cast<int>(g_BrushU * 100.0f + 0.5f);
    EXPECT_GE(hundredths, 0);
    EXPECT_LE(hundredths, 50);
    EXPECT_FLOAT_EQ(g_BrushU, hundredths / 100.0f);
    seen.insert(hundredths);
  }
  EXPECT_GT(seen.size(), 30u);
}

}  // namespace
