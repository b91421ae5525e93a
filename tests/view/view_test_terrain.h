// A terrain built by hand for the view tests: a square patch grid with its
// neighbour links, a bounds quadtree down to the draw list's depth, and level
// index sets whose lists carry recognisable values. The test owns every
// record; they are detached from the Terrain before it is destroyed.
#pragma once

#include <cstring>
#include <deque>
#include <memory>
#include <tuple>
#include <vector>

#include "terrain/terrain.h"
#include "testing/fake_d3d8.h"

namespace qv::test {

// Identifies a list of a level set: its first index is level * 1000 + id * 100.
enum ListId { kTi, kBi, kLi, kRi, kTr, kBr, kLr, kRr, kClp, kListCount };

class TestTerrain {
 public:
  static constexpr int kVertexSpacing = 7;  // patch i's vertices start at i * 7: any distinct bases do

  // length: heightmap samples per side; patchSize: samples per patch side;
  // levels: level sets to make (0 for none); buffers: pooled vertex buffers,
  // patch i lives in buffer i % buffers.
  TestTerrain(int length, int patchSize, int levels, int buffers = 1) : terrain(std::make_unique<Terrain>()) {
    Terrain& t = *terrain;
    t.m_Length = t.m_Width = length;
    t.m_PatchSize = patchSize;
    const int n = length / patchSize;
    t.m_PatchesX = t.m_PatchesZ = n;
    t.m_PatchVerts = patchSize + 1;

    for (int i = 0; i < buffers; ++i) vbs.push_back(std::make_unique<FakeVertexBuffer>(68));
    patches.resize(static_cast<size_t>(n) * n);
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) {
        const int i = c + r * n;
        TerrainPatch& p = patches[i];
        p.Lod = -1;
        p.pLeft = c > 0 ? &patches[i - 1] : nullptr;
        p.pRight = c + 1 < n ? &patches[i + 1] : nullptr;
        p.pTop = r > 0 ? &patches[i - n] : nullptr;
        p.pBottom = r + 1 < n ? &patches[i + n] : nullptr;
        const int side = patchSize * 8;
        std::tie(p.X0, p.X1, p.Z0, p.Z1) =
            std::make_tuple(c * side, (c + 1) * side, r * side, (r + 1) * side);
        std::tie(p.Centre[0], p.Centre[1], p.Centre[2]) =
            std::make_tuple((c + 0.5f) * side, 0.0f, (r + 0.5f) * side);
        p.FirstVertex = i * kVertexSpacing;
        p.VertexCount = t.m_PatchVerts * t.m_PatchVerts;
        p.pVB = vbs[i % buffers].get();
      }
    }
    t.m_pPatches = patches.data();
    t.m_PatchCount = n * n;

    const float lo[3] = {0, 0, 0};
    const float hi[3] = {static_cast<float>(length), 255, static_cast<float>(length)};
    t.m_pQuadRoot = BuildNode(lo, hi, 0);

    for (int level = 0; level < levels; ++level) AddLevel(level);
    t.m_pLods = levels > 0 ? lods.data() : nullptr;
    t.m_LodCount = levels;
  }

  // Only what the Terrain would free is detached.
  ~TestTerrain() {
    Terrain& t = *terrain;
    t.m_pPatches = nullptr;
    t.m_pQuadRoot = nullptr;
    t.m_pLods = nullptr;
  }

  TestTerrain(const TestTerrain&) = delete;
  TestTerrain& operator=(const TestTerrain&) = delete;

  TerrainPatch& At(int column, int row) { return patches[column + row * terrain->m_PatchesZ]; }
  int IndexOf(const TerrainPatch& p) const { return static_cast<int>(&p - patches.data()); }

  // The level a draw was made for, from the buffer it used; -1 if none.
  int LevelOf(const RecordedDraw& d) const {
    for (size_t l = 0; l < lods.size(); ++l) {
      if (d.indices == lods[l].pFullIB || d.indices == lods[l].pScratchIB) return static_cast<int>(l);
    }
    return -1;
  }
  // Which list a draw used (kListCount for the whole-patch strip, -1 if unknown).
  static int ListOf(const RecordedDraw& d) {
    if (d.uploaded.empty()) return -1;
    return (d.uploaded[0] % 1000) / 100;
  }

  std::unique_ptr<Terrain> terrain;
  std::vector<TerrainPatch> patches;
  std::vector<std::unique_ptr<FakeVertexBuffer>> vbs;
  std::deque<TerrainQuadNode> nodes;
  std::vector<LodIndexSet> lods;
  std::vector<std::unique_ptr<FakeIndexBuffer>> ibs;
  std::deque<std::vector<unsigned short>> lists;

 private:
  // Children only where the rectangle is wider than a patch on both axes,
  // and no deeper than the draw list walks.
  TerrainQuadNode* BuildNode(const float a[3], const float b[3], int depth) {
    const int size = terrain->m_PatchSize;
    if (!(b[0] - a[0] > size && b[2] - a[2] > size) || depth > 2) return nullptr;
    nodes.emplace_back();
    TerrainQuadNode* node = &nodes.back();
    for (int k = 0; k < 3; ++k) {
      node->Min[k] = a[k];
      node->Max[k] = b[k];
    }
    const float mx = (a[0] + b[0]) / 2, mz = (a[2] + b[2]) / 2;
    const float quarters[4][4] = {
        {a[0], a[2], mx, mz}, {mx, a[2], b[0], mz}, {a[0], mz, mx, b[2]}, {mx, mz, b[0], b[2]}};
    for (int c = 0; c < 4; ++c) {
      const float lo[3] = {quarters[c][0], a[1], quarters[c][1]};
      const float hi[3] = {quarters[c][2], b[1], quarters[c][3]};
      node->pChild[c] = BuildNode(lo, hi, depth + 1);
    }
    return node;
  }

  unsigned short* MakeList(int level, int id, int count, int* outCount) {
    std::vector<unsigned short> v(count);
    for (int i = 0; i < count; ++i) v[i] = static_cast<unsigned short>(level * 1000 + id * 100 + i);
    lists.push_back(std::move(v));
    *outCount = count;
    return lists.back().data();
  }

  void AddLevel(int level) {
    LodIndexSet s{};
    ibs.push_back(std::make_unique<FakeIndexBuffer>(256));
    s.pScratchIB = ibs.back().get();
    ibs.push_back(std::make_unique<FakeIndexBuffer>(256));
    s.pFullIB = ibs.back().get();
    // The whole-patch strip is marked like a list with id kListCount.
    for (size_t i = 0; i < ibs.back()->m_bytes.size() / 2; ++i) {
      const unsigned short v = static_cast<unsigned short>(level * 1000 + kListCount * 100 + i % 100);
      std::memcpy(&ibs.back()->m_bytes[i * 2], &v, 2);
    }
    s.FullPrimCount = 10 + level;
    // In ListId order.
    unsigned short** slots[] = {&s.Ti, &s.bi, &s.li, &s.ri, &s.Tr, &s.Br, &s.lr, &s.rr, &s.Clp};
    int* counts[] = {&s.TiCount, &s.biCount, &s.liCount, &s.riCount, &s.TrCount,
                     &s.BrCount, &s.lrCount, &s.rrCount, &s.ClpCount};
    const int sizes[] = {6, 9, 12, 15, 3, 6, 9, 12, 8};
    for (int id = 0; id < kListCount; ++id) *slots[id] = MakeList(level, id, sizes[id], counts[id]);
    lods.push_back(s);
  }
};

}  // namespace qv::test
