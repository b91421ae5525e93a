// InitPatches on the in-memory device: the patch grid, the quadtree, the log
// entries in order, the vertex buffer pool, the index buffers, and the
// configurations it refuses.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "testing/fake_d3d8.h"
#include "tests/terrain/terrain_test_support.h"

namespace {

using Indices = std::vector<std::uint16_t>;

int Height(int x, int z) { return (x * 13 + z * 7 + (x * z) % 31) % 256; }

// A 1024 x 1024 map as g_pHeightMap and the in-memory device as g_pd3dDevice.
class TerrainInitPatches : public ::testing::Test {
 protected:
  TerrainInitPatches() : m_Map(1024, Height), m_Terrain(new Terrain) {
    g_pd3dDevice = &m_Device;
    g_pHeightMapBlock = nullptr;
    g_pHeightMap = m_Map.Map();
    m_Terrain->m_Length = m_Terrain->m_Width = 1024;
  }
  ~TerrainInitPatches() override {
    m_Terrain.reset();
    g_pHeightMap = nullptr;
    g_pd3dDevice = nullptr;
  }

  std::string ValueOf(const std::string& tag) const {
    for (const std::string& e : m_Dir.Entries())
      if (e.rfind(tag + ": ", 0) == 0) return e.substr(tag.size() + 2);
    return "(none)";
  }
  const TerrainPatch& Patch(int px, int pz) const { return m_Terrain->m_pPatches[pz * 32 + px]; }

  terrain_test::ScratchDir m_Dir;
  qv::test::FakeDevice m_Device;
  terrain_test::HeightBlock m_Map;
  std::unique_ptr<Terrain> m_Terrain;
};

TEST_F(TerrainInitPatches, GridQuadtreeLogIndexSetsAndPool) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 65536));
  const Terrain& t = *m_Terrain;
  EXPECT_EQ(t.m_PatchCount, 1024);
  EXPECT_EQ(t.m_PatchVerts, 17);
  EXPECT_EQ(g_MaxLod, 3);
  EXPECT_EQ(g_MaxVBVertices, 65536);
  auto rect = [](const TerrainPatch& p) { return std::vector<int>{p.X0, p.Z0, p.X1, p.Z1}; };
  EXPECT_EQ(rect(Patch(0, 0)), (std::vector<int>{0, 0, 256, 256}));
  EXPECT_EQ(rect(Patch(31, 31)), (std::vector<int>{7936, 7936, 8192, 8192}));
  // Patch (column 3, row 5): middle sample (3 * 32 + 16, 5 * 32 + 16).
  EXPECT_FLOAT_EQ(Patch(3, 5).Centre[0], 112 * 8.0f);
  EXPECT_FLOAT_EQ(Patch(3, 5).Centre[2], 176 * 8.0f);
  EXPECT_FLOAT_EQ(Patch(3, 5).Centre[1], Height(112, 176) * 3.0f);
  for (int pz = 0; pz < 32; ++pz) {
    for (int px = 0; px < 32; ++px) {
      const TerrainPatch& q = Patch(px, pz);
      ASSERT_EQ(q.Lod, -1);
      ASSERT_EQ(q.VertexCount, 289);
      ASSERT_EQ(q.pLeft, px == 0 ? nullptr : &Patch(px - 1, pz));
      ASSERT_EQ(q.pRight, px == 31 ? nullptr : &Patch(px + 1, pz));
      ASSERT_EQ(q.pTop, pz == 0 ? nullptr : &Patch(px, pz - 1));
      ASSERT_EQ(q.pBottom, pz == 31 ? nullptr : &Patch(px, pz + 1));
    }
  }

  const TerrainQuadNode* root = t.m_pQuadRoot;
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(std::vector<float>(root->Min, root->Min + 3), (std::vector<float>{0, float(Height(0, 0)), 0}));
  EXPECT_FLOAT_EQ(root->Max[0], 1024.0f);
  EXPECT_FLOAT_EQ(root->Max[2], 1024.0f);
  // Quarter 1 is (high x, low z): it starts at the sample in the middle of row 0.
  EXPECT_EQ(std::vector<float>(root->pChild[1]->Min, root->pChild[1]->Min + 3),
            (std::vector<float>{512, float(Height(512, 0)), 0}));
  // Nodes go down to two patches across (1024, 512, ..., 64), no further.
  int nodes = 0;
  float smallest = 1e9f;
  std::function<void(const TerrainQuadNode*)> walk = [&](const TerrainQuadNode* n) {
    if (!n) return;
    ++nodes;
    smallest = std::min(smallest, n->Max[0] - n->Min[0]);
    for (const TerrainQuadNode* c : n->pChild) walk(c);
  };
  walk(root);
  EXPECT_EQ(nodes, 1 + 4 + 16 + 64 + 256);
  EXPECT_FLOAT_EQ(smallest, 64.0f);

  // clang-format off
  std::vector<std::string> expected = {"Number of Vertex Buffers", "Vertices per Patch Row", "Vertex Buffer Size"};
  for (int level = 0; level < 4; ++level) {
    for (const char* tag : {"sp", "b", "Ti Size", "Ti_B", "bi Size", "bi_B", "li Size", "li_B", "ri Size", "ri_B",
                            "Clp_Size", "Clp_b", "Tr Size", "Tr_B", "Br Size", "br_B", "lr Size", "lr_B", "rr Size",
                            "rr_B"})
      expected.push_back(tag);
  }
  std::vector<std::string> tags;
  for (const std::string& e : m_Dir.Entries()) tags.push_back(e.substr(0, e.find(": ")));
  EXPECT_EQ(tags, expected);
  EXPECT_EQ(ValueOf("Number of Vertex Buffers") + " " + ValueOf("Vertices per Patch Row") + " " +
                ValueOf("Vertex Buffer Size") + " " + ValueOf("sp") + " " + ValueOf("Ti Size"),
            "5 17 65314 544 66");
  EXPECT_TRUE(m_Dir.Errors().empty());

  for (int level = 0; level < 4; ++level) {
    SCOPED_TRACE(level);
    const LodIndexSet& set = m_Terrain->m_pLods[level];
    std::vector<std::uint8_t> bytes;
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_TRUE(qv::test::FakeIndexBufferBytes(set.pFullIB, bytes, desc));
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(desc.Usage, D3DUSAGE_WRITEONLY);
    const int strip[] = {544, 144, 40, 12};
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(strip[level] * 2));
    Indices full(bytes.size() / 2);
    std::memcpy(full.data(), bytes.data(), bytes.size());
    EXPECT_EQ(full.back(), 272) << "the strip is copied whole";
    EXPECT_EQ(set.FullPrimCount, strip[level] - 2);
    ASSERT_TRUE(qv::test::FakeIndexBufferBytes(set.pScratchIB, bytes, desc));
    EXPECT_EQ(desc.Size, static_cast<UINT>(3 * (16 >> level) * (16 >> level) * 2));
  }
  // Each list lands in its own slot (level 3: one cell, literal indices).
  const LodIndexSet& c = m_Terrain->m_pLods[3];
  const std::pair<const unsigned short*, int> stored[] = {
      {c.Ti, c.TiCount}, {c.bi, c.biCount}, {c.li, c.liCount}, {c.ri, c.riCount},
      {c.Tr, c.TrCount}, {c.Br, c.BrCount}, {c.lr, c.lrCount}, {c.rr, c.rrCount}};
  const Indices literal[] = {{0, 144, 16},          {272, 144, 288},         {0, 144, 272},
                             {16, 144, 288},        {0, 8, 144, 8, 16, 144}, {272, 280, 144, 280, 288, 144},
                             {0, 136, 144, 136, 144, 272}, {16, 152, 144, 152, 144, 288}};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(Indices(stored[i].first, stored[i].first + stored[i].second), literal[i]) << "list " << i;
  EXPECT_EQ(c.ClpCount, 0);
  EXPECT_EQ(m_Terrain->m_pLods[0].ClpCount, 420);
  // clang-format on

  // The pool of 65536-vertex buffers.
  ASSERT_EQ(t.m_VBCount, 5);
  for (int i = 0; i < 5; ++i) {
    std::vector<std::uint8_t> bytes;
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_TRUE(qv::test::FakeVertexBufferBytes(t.m_pVBs[i].pVB, bytes, desc));
    const int vertices = i < 4 ? 65314 : 34680;
    EXPECT_EQ(desc.Size, static_cast<UINT>(vertices * 68));
    EXPECT_EQ(desc.FVF, 0x312u);
    EXPECT_EQ(desc.Usage, D3DUSAGE_WRITEONLY);
    EXPECT_EQ(t.m_pVBs[i].UsedVertices, vertices);
  }
  // Patch index -> (buffer, first vertex).
  const int where[][3] = {{0, 0, 0}, {225, 0, 225 * 289}, {226, 1, 0}, {1023, 4, 119 * 289}};
  for (const auto& w : where) {
    EXPECT_EQ(t.m_pPatches[w[0]].pVB, t.m_pVBs[w[1]].pVB) << w[0];
    EXPECT_EQ(t.m_pPatches[w[0]].FirstVertex, w[2]) << w[0];
  }
  // The buffer holds exactly the vertices built for the patch.
  const TerrainPatch& p = t.m_pPatches[300];
  std::vector<TerrainVertex> built(289);
  terrain::BuildPatchVertices(m_Map.Map(), 1024, 1024, 1024, p.X0 / 8, p.Z0 / 8, 32, 17, built.data());
  std::vector<std::uint8_t> vb;
  D3DVERTEXBUFFER_DESC desc{};
  ASSERT_TRUE(qv::test::FakeVertexBufferBytes(p.pVB, vb, desc));
  ASSERT_GE(vb.size(), (p.FirstVertex + 289) * sizeof(TerrainVertex));
  EXPECT_EQ(0, std::memcmp(&vb[p.FirstVertex * 68], built.data(), 289 * sizeof(TerrainVertex)));

  // Once every buffer is full a further block finds no room.
  int first = -1, count = -1;
  EXPECT_EQ(m_Terrain->PlacePatchVertices(built.data(), 289 * 68, &first, &count), nullptr);
  EXPECT_EQ(first + count, 0);
  EXPECT_EQ(m_Dir.Errors(), std::vector<std::string>{": NOT enough VBs"});

  // The destructor releases every buffer, never the device.
  EXPECT_EQ(m_Device.Counters().liveBuffers, 5 + 8);
  m_Terrain.reset();
  EXPECT_EQ(m_Device.Counters().liveBuffers, 0);
  EXPECT_EQ(g_pd3dDevice, &m_Device);
}

TEST_F(TerrainInitPatches, SmallerPoolLimits) {
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 8192));
  EXPECT_EQ(m_Terrain->m_VBCount, 37);
  EXPECT_EQ(ValueOf("Vertex Buffer Size"), "8092");
  EXPECT_EQ(m_Terrain->m_pVBs[36].UsedVertices, 4624);
  // A limit of exactly two patches still leaves one patch per buffer, and
  // the last of this whole number of buffers is full, not empty.
  ASSERT_TRUE(m_Terrain->InitPatches(32, 4, 578));
  EXPECT_EQ(m_Terrain->m_VBCount, 1024);
  for (int i = 0; i < 1024; ++i) {
    EXPECT_EQ(m_Terrain->m_pPatches[i].pVB, m_Terrain->m_pVBs[i].pVB);
    EXPECT_EQ(m_Terrain->m_pPatches[i].FirstVertex, 0);
  }
  // The buffers of the first build were released when it was replaced.
  EXPECT_EQ(m_Device.Counters().liveBuffers, 1024 + 4 * 2);
}

TEST_F(TerrainInitPatches, RefusesUnsafeConfigurations) {
  const int cases[][3] = {
      {0, 4, 65536},      // patch size 0
      {-16, 4, 65536},    // negative patch size
      {32, 0, 65536},     // no levels
      {512, 8, 1 << 30},  // (2^8 + 1)^2 vertices need more than 16-bit indices
      {32, 4, 289},       // a limit of one patch
      {8, 2, 65536},      // 16384 patches: more than the draw list holds
  };
  for (const auto& c : cases) EXPECT_FALSE(m_Terrain->InitPatches(c[0], c[1], c[2])) << c[0] << " " << c[1];
  g_pHeightMap = nullptr;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  g_pHeightMap = m_Map.Map();
  IDirect3DDevice8* device = g_pd3dDevice;
  g_pd3dDevice = nullptr;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  g_pd3dDevice = device;

  const auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), std::size(cases) + 2);
  for (const auto& e : errors) EXPECT_EQ(e.rfind("InitPatches: ", 0), 0u) << e;
  EXPECT_EQ(m_Terrain->m_pQuadRoot, nullptr);
  EXPECT_EQ(m_Terrain->m_pPatches, nullptr);
  EXPECT_EQ(m_Device.Counters().vertexBuffersCreated, 0);

  // An uneven patch size is found once the quadtree is built: the tree stays.
  EXPECT_FALSE(m_Terrain->InitPatches(100, 4, 65536));
  EXPECT_EQ(m_Dir.Errors().back(), "InitPatches: Patchsize cannot fit evenly into map");
  EXPECT_NE(m_Terrain->m_pQuadRoot, nullptr);
  EXPECT_EQ(m_Terrain->m_pPatches, nullptr);
}

TEST_F(TerrainInitPatches, DeviceFailuresStopTheBuild) {
  m_Device.Config().createVertexBufferResult = D3DERR_OUTOFVIDEOMEMORY;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  EXPECT_EQ(m_Dir.Errors().back().rfind("InitPatches: ", 0), 0u);
  m_Device.Config().createVertexBufferResult = D3D_OK;

  // The third patch's lock fails: it finds no buffer and the build stops there.
  m_Device.Config().failLockAfter = m_Device.Counters().locks + 2;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  EXPECT_EQ(m_Dir.Errors().back(), ": ERROR Finding empty VB");
  EXPECT_NE(m_Terrain->m_pPatches[1].pVB, nullptr);
  EXPECT_EQ(m_Terrain->m_pPatches[2].pVB, nullptr);
  EXPECT_EQ(m_Terrain->m_pLods, nullptr);
  m_Device.Config().failLockAfter = -1;

  m_Device.Config().createIndexBufferResult = D3DERR_OUTOFVIDEOMEMORY;
  EXPECT_FALSE(m_Terrain->InitPatches(32, 4, 65536));
  EXPECT_EQ(m_Dir.Errors().back().rfind("InitPatches: ", 0), 0u);
}

}  // namespace
