// The default data set built on the real headless device: what the program
// does at start-up, with every buffer checked after the upload.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "testing/headless_test_device.h"
#include "tests/terrain/terrain_test_support.h"
#include "tools/quorvel-makedata/makedata.h"

namespace {

TEST(TerrainGL, DefaultDataOnTheHeadlessDevice) {
  ASSERT_TRUE(qv::test::MakeHeadlessDevice());
  terrain_test::ScratchDir dir;
  const auto heights = makedata::MakeHeightMap(1024, makedata::kDefaultSeed);
  dir.WriteFile("HeightMap20.raw", heights);
  Terrain terrain;
  ASSERT_TRUE(terrain.LoadHM("HeightMap20.raw", 1024, 1024));

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(terrain.InitPatches(16, 4, 65536));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("InitPatches on the default data: %.3f s\n", seconds);

  EXPECT_TRUE(dir.Errors().empty());
  EXPECT_EQ(terrain.m_PatchCount, 4096);
  ASSERT_EQ(terrain.m_VBCount, 19);
  long long placed = 0;
  for (int i = 0; i < terrain.m_VBCount; ++i) {
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(terrain.m_pVBs[i].pVB->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, static_cast<UINT>(terrain.m_pVBs[i].UsedVertices) * 68);
    placed += terrain.m_pVBs[i].UsedVertices;
  }
  EXPECT_EQ(placed, 1183744);

  // Read back one patch from its buffer and compare with a fresh build.
  const TerrainPatch& patch = terrain.m_pPatches[2345];
  std::vector<TerrainVertex> expected(289);
  terrain::BuildPatchVertices(g_pHeightMap, 1024, 1024, 1024, patch.X0 / 8, patch.Z0 / 8, 16, 17,
                              expected.data());
  BYTE* data = nullptr;
  ASSERT_EQ(patch.pVB->Lock(patch.FirstVertex * 68, 289 * 68, &data, D3DLOCK_READONLY), D3D_OK);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(0, std::memcmp(data, expected.data(), 289 * 68));
  patch.pVB->Unlock();

  for (int level = 0; level < 4; ++level) {
    const LodIndexSet& set = terrain.m_pLods[level];
    ASSERT_NE(set.pFullIB, nullptr);
    ASSERT_NE(set.pScratchIB, nullptr);
    terrain::LodIndexLists lists;
    terrain::BuildLodIndexLists(17, level, &lists);
    ASSERT_EQ(set.pFullIB->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(0, std::memcmp(data, lists.strip.data(), lists.strip.size() * 2));
    set.pFullIB->Unlock();
  }
  delete[] g_pHeightMapBlock;
  g_pHeightMapBlock = g_pHeightMap = nullptr;
}

}  // namespace
