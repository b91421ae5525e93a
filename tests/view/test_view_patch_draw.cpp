#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/view/view_test_terrain.h"
#include "view/camera.h"

using namespace qv::test;  // the list ids, the in-memory device and TestTerrain

namespace {

class ViewLod : public ::testing::Test {
 protected:
  void SetUp() override {
    m_savedMaxLod = g_MaxLod;
    g_MaxLod = 3;
    g_Camera.SetPosition(0, 0, 0);
  }
  void TearDown() override { g_MaxLod = m_savedMaxLod; }

  static int LevelAt(float x, float y, float z) {
    TerrainPatch p;
    p.Lod = -1;
    std::tie(p.Centre[0], p.Centre[1], p.Centre[2]) = std::tie(x, y, z);
    return p.ChooseLod();
  }

  int m_savedMaxLod = 0;
};

// Each level spans 5000 units, upper bound included, measured from the
// camera in whole units (fractions cut off); no distance overflows.
TEST_F(ViewLod, LevelByDistance) {
  struct Row {
    float camera[3], centre[3];
    int maxLod, level;
  } rows[] = {
      {{0, 0, 0}, {1, 0, 0}, 3, 0},
      {{0, 0, 0}, {5000, 0, 0}, 3, 0},
      {{0, 0, 0}, {5001, 0, 0}, 3, 1},
      {{0, 0, 0}, {0, 0, -10000}, 3, 1},
      {{0, 0, 0}, {0, 10001, 0}, 3, 2},
      {{0, 0, 0}, {15000, 0, 0}, 3, 2},
      {{0, 0, 0}, {15001, 0, 0}, 3, 3},
      {{0, 0, 0}, {3000.9f, 0, 4000.9f}, 3, 0},
      {{0, 0, 0}, {3000, 0, 4001}, 3, 0},  // sqrt(25008001) = 5000.8, cut to 5000
      {{0, 0, 0}, {3000, 0, 4002}, 3, 1},
      {{100, 0, 0}, {5100, 0, 0}, 3, 0},  // the camera's own position counts
      {{100, 0, 0}, {5101.5f, 0, 0}, 3, 1},
      {{0, 0, 0}, {0, 0, 0}, 3, 0},            // zero distance: the finest level, like d = 1,
      {{0, 0, 0}, {0.9f, -0.9f, 0.5f}, 3, 0},  // so no crack opens against finer neighbours
      {{0, 0, 0}, {20001, 0, 0}, 5, 4},        // the level count follows g_MaxLod
      {{0, 0, 0}, {0, 0, 0}, 0, 0},
      {{0, 0, 0}, {100000, 0, 0}, 0, 0},
      {{0, 0, 0}, {46341, 0, 0}, 3, 3},  // a 32-bit square would overflow
      {{0, 0, 0}, {-2.0e9f, 2.0e9f, -2.0e9f}, 3, 3},
      {{0, 0, 0}, {3.0e38f, -3.0e38f, 3.0e38f}, 3, 3},
      {{-3.0e38f, 0, 3.0e38f}, {3.0e38f, 0, -3.0e38f}, 3, 3},
      {{0, 0, 0}, {5001, 0, 0}, 2000000, 1},  // nor the threshold itself
  };
  for (const Row& r : rows) {
    g_MaxLod = r.maxLod;
    g_Camera.SetPosition(r.camera[0], r.camera[1], r.camera[2]);
    EXPECT_EQ(LevelAt(r.centre[0], r.centre[1], r.centre[2]), r.level)
        << r.centre[0] << " " << r.centre[1] << " " << r.centre[2] << " from " << r.camera[0];
  }
  // A patch whose level is already chosen this frame keeps it.
  TerrainPatch p;
  p.Lod = 2;
  p.Centre[0] = p.Centre[1] = p.Centre[2] = 0;  // level 0 if it were chosen again
  EXPECT_EQ(p.ChooseLod(), -1);
  EXPECT_EQ(p.Lod, 2);
}

// Drawing through Terrain::Render on a 64 x 64 map of 8-sample patches
// (8 x 8 patches) with the in-memory device.
class ViewRender : public ViewLod {
 protected:
  void SetUp() override {
    ViewLod::SetUp();
    g_pd3dDevice = &m_device;
  }
  void TearDown() override {
    ViewLod::TearDown();
    g_pd3dDevice = nullptr;
  }

  // Places each patch's centre so that it gets the given level from a camera
  // at the origin.
  static void SetLevel(TerrainPatch& p, int level) {
    p.Centre[0] = 1.0f + 5000.0f * level;
    p.Centre[1] = p.Centre[2] = 0.0f;
  }

  // The patch a draw was made for, from its base vertex; -1 if none.
  static int PatchOf(const TestTerrain& tt, const RecordedDraw& d) {
    const size_t i = d.baseVertex / TestTerrain::kVertexSpacing;
    const bool exact = d.baseVertex % TestTerrain::kVertexSpacing == 0;
    return exact && i < tt.patches.size() ? static_cast<int>(i) : -1;
  }
  // Draws of one frame grouped by the patch they were made for.
  std::map<int, std::vector<RecordedDraw>> DrawsByPatch(const TestTerrain& tt) {
    std::map<int, std::vector<RecordedDraw>> out;
    for (const RecordedDraw& d : m_device.Draws()) out[PatchOf(tt, d)].push_back(d);
    return out;
  }
  // A draw runs on the buffer of the patch it was made for.
  static void ExpectOwnBuffer(const TestTerrain& tt, const RecordedDraw& d) {
    const int i = PatchOf(tt, d);
    ASSERT_GE(i, 0) << d.baseVertex;
    EXPECT_EQ(d.stream, tt.patches[i].pVB);
  }
  static std::vector<int> Lists(const std::vector<RecordedDraw>& draws) {
    std::vector<int> out;
    for (const RecordedDraw& d : draws) out.push_back(TestTerrain::ListOf(d));
    return out;
  }

  FakeDevice m_device;
};

TEST_F(ViewRender, PatchesWithoutCoarserNeighboursTakeOneWholeDraw) {
  TestTerrain tt(64, 8, 4);
  for (auto& p : tt.patches) SetLevel(p, 2);
  tt.terrain->Render();

  ASSERT_EQ(m_device.Draws().size(), 64u);
  for (const RecordedDraw& d : m_device.Draws()) {
    EXPECT_EQ(d.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(d.indices, tt.lods[2].pFullIB);
    EXPECT_EQ(d.primitiveCount, 12u);
    EXPECT_EQ(d.minIndex, 0u);
    EXPECT_EQ(d.startIndex, 0u);
    EXPECT_EQ(d.numVertices, 81u);
  }
  // Draw order follows the draw list.
  EXPECT_EQ(m_device.Draws()[0].baseVertex, static_cast<UINT>(tt.patches[0].FirstVertex));
  EXPECT_EQ(m_device.Draws()[1].baseVertex, static_cast<UINT>(tt.patches[8].FirstVertex));
  for (const auto& p : tt.patches) EXPECT_EQ(p.Lod, -1);
}

TEST_F(ViewRender, OneCoarserNeighbourGivesFiveDraws) {
  TestTerrain tt(64, 8, 4);
  for (auto& p : tt.patches) SetLevel(p, 0);
  SetLevel(tt.At(3, 2), 1);  // the top neighbour of (3, 3)
  tt.terrain->Render();

  auto byPatch = DrawsByPatch(tt);
  // The coarse patch itself has only finer neighbours: one whole draw.
  const auto& coarse = byPatch[tt.IndexOf(tt.At(3, 2))];
  ASSERT_EQ(coarse.size(), 1u);
  EXPECT_EQ(coarse[0].indices, tt.lods[1].pFullIB);

  // Below it: stitched top first, then the interior and the other three sides.
  const auto& below = byPatch[tt.IndexOf(tt.At(3, 3))];
  EXPECT_EQ(Lists(below), (std::vector<int>{kTi, kClp, kBr, kLr, kRr}));
  for (const RecordedDraw& d : below) {
    EXPECT_EQ(d.indices, tt.lods[0].pScratchIB);
    EXPECT_EQ(d.numVertices, 81u);
  }
  EXPECT_EQ(below[0].type, D3DPT_TRIANGLELIST);
  EXPECT_EQ(below[0].primitiveCount, 2u);  // 6 indices
  EXPECT_EQ(below[1].type, D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(below[1].primitiveCount, 6u);  // 8 indices
  EXPECT_EQ(below[1].uploaded.size(), 8u);
  EXPECT_EQ(below[1].uploaded[7], 0 * 1000 + kClp * 100 + 7);
  EXPECT_EQ(below[4].primitiveCount, 4u);  // rr: 12 indices

  // The other three neighbours of the coarse patch stitch their facing side.
  EXPECT_EQ(Lists(byPatch[tt.IndexOf(tt.At(3, 1))]), (std::vector<int>{kBi, kClp, kTr, kLr, kRr}));
  EXPECT_EQ(Lists(byPatch[tt.IndexOf(tt.At(2, 2))]), (std::vector<int>{kRi, kClp, kTr, kBr, kLr}));
  EXPECT_EQ(Lists(byPatch[tt.IndexOf(tt.At(4, 2))]), (std::vector<int>{kLi, kClp, kTr, kBr, kRr}));

  // Everything else: one draw each. 59 + 1 + 4 x 5.
  EXPECT_EQ(m_device.Draws().size(), 59u + 1u + 20u);
}

TEST_F(ViewRender, MapEdgeSidesAreDrawnRegular) {
  TestTerrain tt(64, 8, 4);
  for (auto& p : tt.patches) SetLevel(p, 0);
  SetLevel(tt.At(1, 0), 1);
  SetLevel(tt.At(0, 1), 2);  // two levels apart from the corner
  SetLevel(tt.At(4, 5), 1);  // below and left of (4, 4)
  SetLevel(tt.At(3, 4), 1);
  tt.terrain->Render();
  auto byPatch = DrawsByPatch(tt);
  // Corner (0,0): no top or left neighbour; right and bottom are coarser.
  const auto& corner = byPatch[tt.IndexOf(tt.At(0, 0))];
  EXPECT_EQ(Lists(corner), (std::vector<int>{kBi, kRi, kClp, kTr, kLr}));
  for (const RecordedDraw& d : corner) EXPECT_EQ(tt.LevelOf(d), 0);
  // (1,1) sees level 1 on top and level 2 on the left: its own level's lists.
  const auto& inner = byPatch[tt.IndexOf(tt.At(1, 1))];
  EXPECT_EQ(Lists(inner), (std::vector<int>{kTi, kLi, kClp, kBr, kRr}));
  for (const RecordedDraw& d : inner) EXPECT_EQ(tt.LevelOf(d), 0);
  // Stitched sides come top, bottom, left, right.
  EXPECT_EQ(Lists(byPatch[tt.IndexOf(tt.At(4, 4))]), (std::vector<int>{kBi, kLi, kClp, kTr, kRr}));
  // (1,0) at level 1 has the level-2 patch diagonally only: one draw.
  EXPECT_EQ(byPatch[tt.IndexOf(tt.At(1, 0))].size(), 1u);
}

TEST_F(ViewRender, StreamIsBoundOnlyWhenTheBufferChanges) {
  TestTerrain tt(64, 8, 4, 3);  // patches spread over three buffers
  for (size_t i = 0; i < tt.patches.size(); ++i) SetLevel(tt.patches[i], static_cast<int>(i % 3));
  tt.terrain->Render();
  ASSERT_FALSE(m_device.Draws().empty());

  int changes = 0;
  IDirect3DVertexBuffer8* last = nullptr;
  for (const RecordedDraw& d : m_device.Draws()) {
    ExpectOwnBuffer(tt, d);
    if (d.stream != last) ++changes;
    last = d.stream;
  }
  EXPECT_EQ(m_device.Count("SetStreamSource"), changes);
  for (const auto& c : m_device.calls) {
    if (c.op != "SetStreamSource") continue;
    EXPECT_EQ(c.value, 0u);  // stream 0, with the 68-byte terrain vertex
    EXPECT_EQ(c.arg, 68u);
  }
  EXPECT_GT(static_cast<int>(m_device.Draws().size()), changes);
  // Index data and base vertex are set once before every draw.
  int setIndices = 0;
  for (const std::string& call : m_device.Ops()) {
    if (call == "SetIndices") ++setIndices;
    if (call == "DrawIndexedPrimitive") {
      EXPECT_EQ(setIndices, 1);
      setIndices = 0;
    }
  }
  // Each frame binds afresh: its first draw binds although the previous
  // frame ended on the same buffer.
  m_device.Clear();
  tt.terrain->Render();
  EXPECT_EQ(m_device.Count("SetStreamSource"), changes);
}

TEST_F(ViewRender, UploadsDiscardAndAFailedLockSkipsItsDraw) {
  TestTerrain tt(64, 8, 4, 2);
  for (auto& p : tt.patches) SetLevel(p, 0);
  SetLevel(tt.At(3, 2), 1);
  auto* scratch = static_cast<FakeIndexBuffer*>(tt.lods[0].pScratchIB);
  tt.terrain->Render();
  EXPECT_EQ(scratch->m_locks, 20);
  EXPECT_EQ(scratch->m_unlocks, 20);
  EXPECT_EQ(scratch->m_lastLockFlags, D3DLOCK_DISCARD);
  EXPECT_EQ(scratch->m_lastLockOffset, 0u);
  EXPECT_EQ(scratch->m_lastLockSize, 24u);  // rr of the last stitched patch: 12 indices

  m_device.Clear();
  scratch->m_failLock = true;
  std::fill(scratch->m_bytes.begin(), scratch->m_bytes.end(), 0xEE);
  tt.terrain->Render();
  // Only whole patches are drawn; nothing was written to the buffer.
  EXPECT_EQ(m_device.Draws().size(), 60u);
  for (const RecordedDraw& d : m_device.Draws()) {
    EXPECT_NE(d.indices, tt.lods[0].pScratchIB);
    ExpectOwnBuffer(tt, d);  // the binding stays right although some draws were skipped
  }
  for (BYTE b : scratch->m_bytes) ASSERT_EQ(b, 0xEE);
}

TEST_F(ViewRender, NothingIsTouchedWithoutGridLevelsOrDevice) {
  TestTerrain tt(64, 8, 4);
  for (auto& p : tt.patches) p.Lod = 7;  // would be read or reset if touched
  auto drawsNothing = [&](int maxLod, bool lods, bool device, bool patches, const char* why) {
    g_MaxLod = maxLod;
    tt.terrain->m_pLods = lods ? tt.lods.data() : nullptr;
    g_pd3dDevice = device ? &m_device : nullptr;
    tt.terrain->m_pPatches = patches ? tt.patches.data() : nullptr;
    tt.terrain->Render();
    EXPECT_TRUE(m_device.Draws().empty()) << why;
  };
  drawsNothing(-1, true, true, true, "no levels");
  drawsNothing(4, true, true, true, "more levels than were built");
  drawsNothing(3, false, true, true, "no index sets");
  drawsNothing(3, true, false, true, "no device");
  drawsNothing(3, true, true, false, "no patches");
  for (const auto& p : tt.patches) EXPECT_EQ(p.Lod, 7);
  for (const auto& ib : tt.ibs) EXPECT_EQ(ib->m_locks, 0);
}

}  // namespace
