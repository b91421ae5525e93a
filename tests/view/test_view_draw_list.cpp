#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "tests/view/view_test_terrain.h"

using qv::test::TestTerrain;

namespace {

std::vector<int> ListFrame(Terrain& t) {
  t.m_VisibleCount = 0;
  t.ListPatches(t.m_pQuadRoot, 2);
  return std::vector<int>(t.m_VisiblePatches, t.m_VisiblePatches + t.m_VisibleCount);
}

}  // namespace

TEST(ViewDrawList, PatchSize16WalksNodesThenColumnsThenRows) {
  TestTerrain tt(1024, 16, 0);
  const std::vector<int> list = ListFrame(*tt.terrain);
  ASSERT_EQ(list.size(), 4096u);
  // Every patch of the map exactly once.
  std::vector<int> sorted = list;
  std::vector<int> all(4096);
  std::sort(sorted.begin(), sorted.end());
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(sorted, all);

  // First level-2 node (x and z 0..256): column 0, rows 0..15, then column 1.
  for (int row = 0; row < 16; ++row) EXPECT_EQ(list[row], row * 64) << row;
  EXPECT_EQ(list[16], 1);
  EXPECT_EQ(list[17], 65);
  EXPECT_EQ(list[255], 15 + 15 * 64);
  // Second node is the high-x, low-z quarter of the first quadrant.
  EXPECT_EQ(list[256], 16);
  // Third node: low x, high z of the first quadrant (rows 16..31).
  EXPECT_EQ(list[512], 16 * 64);
  // Fifth node starts the root's second child (x 512.., z 0..).
  EXPECT_EQ(list[1024], 32);
}

TEST(ViewDrawList, NothingListedWithoutLevelTwoNodes) {
  // 256-sample patches: the level-2 nodes would be no wider than a patch.
  TestTerrain big(1024, 256, 0);
  EXPECT_TRUE(ListFrame(*big.terrain).empty());

  TestTerrain tt(1024, 16, 0);
  tt.terrain->m_VisibleCount = 0;
  tt.terrain->ListPatches(nullptr, 2);
  EXPECT_EQ(tt.terrain->m_VisibleCount, 0);
}

TEST(ViewDrawList, NeverWritesPastTheListEnd) {
  // Patch size 8 gives 16384 patches, twice what the list holds.
  TestTerrain tt(1024, 8, 0);
  Terrain& t = *tt.terrain;
  t.m_VBCount = 12345;  // the member right after the list's count
  const std::vector<int> list = ListFrame(t);
  ASSERT_EQ(list.size(), static_cast<size_t>(kMaxVisiblePatches));
  EXPECT_EQ(t.m_VBCount, 12345);
  // What is listed keeps the walk's order.
  EXPECT_EQ(list[0], 0);
  EXPECT_EQ(list[1], 128);
  EXPECT_EQ(list[32], 1);

  t.AppendPatch(7);
  EXPECT_EQ(t.m_VisibleCount, kMaxVisiblePatches);
  EXPECT_EQ(t.m_VisiblePatches[kMaxVisiblePatches - 1], list.back());
  EXPECT_EQ(t.m_VBCount, 12345);
}
