// InitPatches on the in-memory device: the patch grid, the quadtree, the log
// entries in order, the vertex buffer pool, the index buffers, and the
// configurations it refuses.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/terrain/terrain_test_support.h"

namespace {

using terrain_test::FakeDevice;
using terrain_test::HeightBlock;
using terrain_test::ScratchDir;
using terrain_test::UseHeightBlock;
using Indices = std::vector<std::uint16_t>;

int Height(int x, int z) { return (x * 13 + z * 7 + (x * z) % 31) % 256; }

class TerrainInitPatches : public ::testing::Test {
 protected:
  TerrainInitPatches() : m_Map(1024, Height), m_Terrain(new Terrain), m_Use(*m_Terrain, m_Map) {}
  ~TerrainInitPatches() override {
    m_Terrain.reset();
    g_pHeightMap = nullptr;
  }

  std::vector<std::string> Tags() const {
    std::vector<std::string> tags;
    for (const auto& e : m_Dir.Entries()) tags.push_back(e.tag);
    return tags;
  }
  std::string ValueOf(const std::string& tag) const {
    for (const auto& e : m_Dir.Entries())
      if (e.tag == tag) return e.message;
    return "(none)";
  }

  ScratchDir m_Dir;
  FakeDevice m_Device;
  HeightBlock m_Map;
  std::unique_ptr<Terrain> m_Terrain;
  UseHeightBlock m_Use;
};

TEST_F(TerrainInitPatches, GridOfPatches) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  Terrain& t = *m_Terrain;
  EXPECT_EQ(t.m_PatchesX, 32);
  EXPECT_EQ(t.m_PatchesZ, 32);
  EXPECT_EQ(t.m_PatchCount, 1024);
  EXPECT_EQ(t.m_PatchVerts, 17);
  EXPECT_EQ(g_MaxLod, 3);
  EXPECT_EQ(g_MaxVBVertices, 65536);

  const TerrainPatch& first = t.m_pPatches[0];
  EXPECT_EQ(first.X0, 0);
  EXPECT_EQ(first.Z0, 0);
  EXPECT_EQ(first.X1, 256);
  EXPECT_EQ(first.Z1, 256);
  const TerrainPatch& last = t.m_pPatches[1023];
  EXPECT_EQ(last.X0, 7936);
  EXPECT_EQ(last.Z0, 7936);
  EXPECT_EQ(last.X1, 8192);
  EXPECT_EQ(last.Z1, 8192);
  // Patch (column 3, row 5): middle sample (3 * 32 + 16, 5 * 32 + 16).
  const TerrainPatch& p = t.m_pPatches[5 * 32 + 3];
  EXPECT_FLOAT_EQ(p.Centre[0], 112 * 8.0f);
  EXPECT_FLOAT_EQ(p.Centre[2], 176 * 8.0f);
  EXPECT_FLOAT_EQ(p.Centre[1], Height(112, 176) * 3.0f);

  for (int pz = 0; pz < 32; ++pz) {
    for (int px = 0; px < 32; ++px) {
      const TerrainPatch& q = t.m_pPatches[pz * 32 + px];
      EXPECT_EQ(q.Lod, -1);
      EXPECT_EQ(q.VertexCount, 289);
      EXPECT_EQ(q.pLeft, px == 0 ? nullptr : &t.m_pPatches[pz * 32 + px - 1]);
      EXPECT_EQ(q.pRight, px == 31 ? nullptr : &t.m_pPatches[pz * 32 + px + 1]);
      EXPECT_EQ(q.pTop, pz == 0 ? nullptr : &t.m_pPatches[(pz - 1) * 32 + px]);
      EXPECT_EQ(q.pBottom, pz == 31 ? nullptr : &t.m_pPatches[(pz + 1) * 32 + px]);
      if (q.pRight) {
        EXPECT_EQ(q.pRight->pLeft, &q);
      }
      if (q.pBottom) {
        EXPECT_EQ(q.pBottom->pTop, &q);
      }
    }
  }
}

int CountNodes(const TerrainQuadNode* node, int depth, int* deepest, float* smallest) {
  if (!node) return 0;
  *deepest = std::max(*deepest, depth);
  *smallest = std::min(*smallest, node->Max[0] - node->Min[0]);
  int count = 1;
  for (const TerrainQuadNode* child : node->pChild) count += CountNodes(child, depth + 1, deepest, smallest);
  return count;
}

TEST_F(TerrainInitPatches, QuadtreeExtentAndDepth) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  const TerrainQuadNode* root = m_Terrain->m_pQuadRoot;
  ASSERT_NE(root, nullptr);
  EXPECT_FLOAT_EQ(root->Min[0], 0.0f);
  EXPECT_FLOAT_EQ(root->Min[1], static_cast<float>(Height(0, 0)));
  EXPECT_FLOAT_EQ(root->Max[0], 1024.0f);
  EXPECT_FLOAT_EQ(root->Max[2], 1024.0f);
  // Quarter 1 is (high x, low z) and starts at the sample in the middle of row 0.
  ASSERT_NE(root->pChild[1], nullptr);
  EXPECT_FLOAT_EQ(root->pChild[1]->Min[0], 512.0f);
  EXPECT_FLOAT_EQ(root->pChild[1]->Min[2], 0.0f);
  EXPECT_FLOAT_EQ(root->pChild[1]->Min[1], static_cast<float>(Height(512, 0)));
  EXPECT_FLOAT_EQ(root->pChild[2]->Min[2], 512.0f);
  // Nodes down to two patches across: 1024, 512, ..., 64.
  int deepest = 0;
  float smallest = 1e9f;
  EXPECT_EQ(CountNodes(root, 0, &deepest, &smallest), 1 + 4 + 16 + 64 + 256);
  EXPECT_EQ(deepest, 4);
  EXPECT_FLOAT_EQ(smallest, 64.0f);
}

TEST_F(TerrainInitPatches, LogEntriesInOrder) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  std::vector<std::string> expected = {"Number of Vertex Buffers", "Vertices per Patch Row", "Vertex Buffer Size"};
  for (int level = 0; level < 4; ++level) {
    for (const char* tag : {"sp", "b", "Ti Size", "Ti_B", "bi Size", "bi_B", "li Size", "li_B", "ri Size", "ri_B",
                            "Clp_Size", "Clp_b", "Tr Size", "Tr_B", "Br Size", "br_B", "lr Size", "lr_B", "rr Size",
                            "rr_B"})
      expected.push_back(tag);
  }
  EXPECT_EQ(Tags(), expected);
  EXPECT_EQ(ValueOf("Number of Vertex Buffers"), "5");
  EXPECT_EQ(ValueOf("Vertices per Patch Row"), "17");
  EXPECT_EQ(ValueOf("Vertex Buffer Size"), "65314");
  EXPECT_EQ(ValueOf("sp"), "544");
  EXPECT_EQ(ValueOf("Ti Size"), "66");
  EXPECT_EQ(ValueOf("Clp_Size"), "420");
  EXPECT_TRUE(m_Dir.Errors().empty());
}

TEST_F(TerrainInitPatches, IndexSets) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  ASSERT_EQ(m_Terrain->m_LodCount, 4);
  terrain::LodIndexLists lists;
  for (int level = 0; level < 4; ++level) {
    SCOPED_TRACE(level);
    const LodIndexSet& set = m_Terrain->m_pLods[level];
    terrain::BuildLodIndexLists(17, level, &lists);
    std::vector<std::uint8_t> bytes;
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_TRUE(qv::test::FakeIndexBufferBytes(set.pFullIB, bytes, desc));
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(desc.Usage, D3DUSAGE_WRITEONLY);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    ASSERT_EQ(bytes.size(), lists.strip.size() * 2);
    EXPECT_EQ(0, std::memcmp(bytes.data(), lists.strip.data(), bytes.size()));
    EXPECT_EQ(set.FullPrimCount, static_cast<int>(lists.strip.size()) - 2);
    ASSERT_TRUE(qv::test::FakeIndexBufferBytes(set.pScratchIB, bytes, desc));
    const int n = 16 >> level;
    EXPECT_EQ(desc.Size, static_cast<UINT>(3 * n * n * 2));
    const std::pair<const unsigned short*, int> stored[] = {
        {set.Ti, set.TiCount}, {set.bi, set.biCount}, {set.li, set.liCount}, {set.ri, set.riCount},
        {set.Clp, set.ClpCount}, {set.Tr, set.TrCount}, {set.Br, set.BrCount}, {set.lr, set.lrCount},
        {set.rr, set.rrCount}};
    const Indices* built[] = {&lists.Ti, &lists.bi, &lists.li, &lists.ri, &lists.Clp,
                              &lists.Tr, &lists.Br, &lists.lr, &lists.rr};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Indices(stored[i].first, stored[i].first + stored[i].second), *built[i]);
  }
}

TEST_F(TerrainInitPatches, PoolOfSixtyFiveThousand) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  Terrain& t = *m_Terrain;
  ASSERT_EQ(t.m_VBCount, 5);
  for (int i = 0; i < 5; ++i) {
    std::vector<std::uint8_t> bytes;
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_TRUE(qv::test::FakeVertexBufferBytes(t.m_pVBs[i].pVB, bytes, desc));
    const int vertices = i < 4 ? 65314 : 34680;
    EXPECT_EQ(desc.Size, static_cast<UINT>(vertices * 68));
    EXPECT_EQ(desc.FVF, 0x312u);
    EXPECT_EQ(desc.Usage, D3DUSAGE_WRITEONLY);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(t.m_pVBs[i].UsedVertices, vertices);
  }
  EXPECT_EQ(t.m_pPatches[0].pVB, t.m_pVBs[0].pVB);
  EXPECT_EQ(t.m_pPatches[0].FirstVertex, 0);
  EXPECT_EQ(t.m_pPatches[225].FirstVertex, 225 * 289);
  EXPECT_EQ(t.m_pPatches[226].pVB, t.m_pVBs[1].pVB);
  EXPECT_EQ(t.m_pPatches[226].FirstVertex, 0);
  EXPECT_EQ(t.m_pPatches[1023].pVB, t.m_pVBs[4].pVB);
  EXPECT_EQ(t.m_pPatches[1023].FirstVertex, 119 * 289);

  // The buffer holds exactly the vertices built for the patch.
  const TerrainPatch& p = t.m_pPatches[300];
  std::vector<TerrainVertex> expected(289);
  terrain::BuildPatchVertices(m_Map.Map(), 1024, 1024, 1024, p.X0 / 8, p.Z0 / 8, 32, 17, expected.data());
  const auto stored = terrain_test::VertexBufferContents(p.pVB);
  ASSERT_GE(stored.size(), static_cast<std::size_t>(p.FirstVertex + 289));
  EXPECT_EQ(0, std::memcmp(&stored[p.FirstVertex], expected.data(), 289 * sizeof(TerrainVertex)));
}

TEST_F(TerrainInitPatches, SmallerPoolLimits) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 8192));
  EXPECT_EQ(m_Terrain->m_VBCount, 37);
  EXPECT_EQ(ValueOf("Vertex Buffer Size"), "8092");
  EXPECT_EQ(m_Terrain->m_pVBs[36].UsedVertices, 4624);

  // A limit of exactly two patches still leaves one patch per buffer.
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 578));
  EXPECT_EQ(m_Terrain->m_VBCount, 1024);
  for (int i = 0; i < 1024; ++i) {
    EXPECT_EQ(m_Terrain->m_pPatches[i].pVB, m_Terrain->m_pVBs[i].pVB);
    EXPECT_EQ(m_Terrain->m_pPatches[i].FirstVertex, 0);
  }
  // The buffers of the first build were released when it was replaced.
  EXPECT_EQ(m_Device.Counters().liveBuffers, 1024 + 4 * 2);
}

TEST_F(TerrainInitPatches, NoRoomLeftIsReported) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  std::vector<TerrainVertex> block(289);
  int first = -1, count = -1;
  EXPECT_EQ(m_Terrain->PlacePatchVertices(block.data(), 289 * 68, &first, &count), nullptr);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(count, 0);
  const auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].tag, "");
  EXPECT_EQ(errors[0].message, "NOT enough VBs");
}

TEST_F(TerrainInitPatches, DestructorReleasesBuffersButNotTheDevice) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  EXPECT_EQ(m_Device.Counters().liveBuffers, 5 + 8);
  m_Terrain.reset();
  EXPECT_EQ(m_Device.Counters().liveBuffers, 0);
  EXPECT_EQ(g_pd3dDevice, m_Device.Device());
}

TEST_F(TerrainInitPatches, UnevenPatchSize) {
  EXPECT_FALSE(m_Terrain->InitPatches(100, 4, 65536));
  const auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].tag, "InitPatches");
  EXPECT_EQ(errors[0].message, "Patchsize cannot fit evenly into map");
  EXPECT_NE(m_Terrain->m_pQuadRoot, nullptr);
  EXPECT_EQ(m_Terrain->m_pPatches, nullptr);
  EXPECT_EQ(m_Device.Counters().vertexBuffersCreated, 0);
}

struct Refusal {
  const char* what;
  int patchSize, levels, limit;
};

TEST_F(TerrainInitPatches, RefusesUnsafeConfigurations) {
  const Refusal cases[] = {
      {"patch size 0", 0, 4, 65536},
      {"negative patch size", -16, 4, 65536},
      {"no levels", 32, 0, 65536},
      {"indices beyond 16 bits", 512, 8, 1 << 30},
      {"limit of one patch", 32, 4, 289},
      {"limit below one patch", 32, 4, 100},
      {"more patches than the draw list holds", 8, 2, 65536},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t before = m_Dir.Errors().size();
    EXPECT_FALSE(m_Terrain->InitPatches(c.patchSize, c.levels, c.limit));
    const auto errors = m_Dir.Errors();
    ASSERT_EQ(errors.size(), before + 1);
    EXPECT_EQ(errors.back().tag, "InitPatches");
    EXPECT_EQ(m_Terrain->m_pQuadRoot, nullptr);
    EXPECT_EQ(m_Terrain->m_pPatches, nullptr);
  }
  // Nothing can be built without a map or a device either.
  g_pHeightMap = nullptr;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  g_pHeightMap = m_Map.Map();
  IDirect3DDevice8* device = g_pd3dDevice;
  g_pd3dDevice = nullptr;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  g_pd3dDevice = device;
  const auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), std::size(cases) + 2);
  EXPECT_EQ(errors.back().tag, "InitPatches");
  EXPECT_EQ(m_Terrain->m_pQuadRoot, nullptr);
  EXPECT_EQ(m_Device.Counters().vertexBuffersCreated, 0);
}

TEST_F(TerrainInitPatches, DeviceFailuresStopTheBuild) {
  m_Device.Config().createVertexBufferResult = D3DERR_OUTOFVIDEOMEMORY;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  EXPECT_EQ(m_Dir.Errors().back().tag, "InitPatches");
  m_Device.Config().createVertexBufferResult = D3D_OK;

  // The third patch's lock fails: it finds no buffer and the build stops there.
  m_Device.Config().failLockAfter = m_Device.Counters().locks + 2;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  const auto errors = m_Dir.Errors();
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors.back().message, "ERROR Finding empty VB");
  EXPECT_NE(m_Terrain->m_pPatches[1].pVB, nullptr);
  EXPECT_EQ(m_Terrain->m_pPatches[2].pVB, nullptr);
  EXPECT_EQ(m_Terrain->m_pLods, nullptr);
  m_Device.Config().failLockAfter = -1;

  m_Device.Config().createIndexBufferResult = D3DERR_OUTOFVIDEOMEMORY;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  EXPECT_EQ(m_Dir.Errors().back().tag, "InitPatches");
}

TEST(TerrainVBPoolLayout, WholeNumberOfBuffersFillsTheLastOne) {
  terrain::VBPoolLayout layout;
  ASSERT_TRUE(terrain::ComputeVBPoolLayout(4 * 65314, 289, 65536, &layout));
  EXPECT_EQ(layout.bufferCount, 4);
  EXPECT_EQ(layout.lastBufferVertices, 65314);
  EXPECT_FALSE(terrain::ComputeVBPoolLayout(1183744, 289, 289, &layout));
}

}  // namespace
