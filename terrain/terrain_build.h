// The device-free building blocks of the terrain: heightmap borders, patch
// vertices, vertex-buffer pool sizing and the per-level index lists. Each is a
// pure function over plain arrays, so the geometry can be checked without a
// Direct3D device; Terrain::LoadHM and Terrain::InitPatches put them together.
#pragma once

#include <cstdint>
#include <vector>

#include "log/log_file.h"
#include "terrain/terrain.h"

namespace terrain {

// Log entries go to the run's log when there is one.
inline void Report(int level, const char* message, const char* tag) {
  if (g_pLog) g_pLog->Report(level, message, tag);
}
inline void Report(int level, std::int32_t value, const char* tag) {
  if (g_pLog) g_pLog->Report(level, value, tag);
}

// World units per heightmap column or row, and per height step.
constexpr int kWorldPerSample = 8;
constexpr float kWorldPerHeight = 3.0f;
// Indices are 16-bit: (2^levels + 1)^2 may not exceed 65536.
constexpr int kMaxLevels = 7;

// Fills the border rows of a heightmap block whose samples already lie
// `width` bytes from its start: row -1 becomes a copy of the last row, and
// the width + 1 bytes behind the last sample a copy of row 0 and the first
// sample of row 1. The block holds (length + 1) x (width + 1) bytes and
// length must equal width, so every look-up from row -1 to row length and
// column 0 to column width stays inside it.
void FillHeightMapBorders(unsigned char* block, int length, int width);

// Normal and tangent given to vertices on the map's outer border, where the
// nine-point neighbourhood is not computed.
D3DXVECTOR3 BorderNormal();
D3DXVECTOR3 BorderTangent();

// Builds the patch whose top-left sample is (x0, z0): patchVerts^2 vertices,
// row by row, positions already scaled to world units. heightMap points at
// sample (0, 0) of a map bordered as above; stride is its row length and
// mapLength / mapWidth its size.
void BuildPatchVertices(const unsigned char* heightMap, int stride, int mapLength, int mapWidth, int x0,
                        int z0, int patchSize, int patchVerts, TerrainVertex* out);

// How the terrain's vertices are spread over the pooled vertex buffers.
struct VBPoolLayout {
  std::int64_t totalVertices = 0;  // T
  int bufferVertices = 0;          // B: a whole number of patches, below the limit
  int bufferCount = 0;             // N
  int lastBufferVertices = 0;      // size of buffer N - 1
};
// False when the limit is not above one patch's vertices (no buffer could
// hold a patch) or the sizes are out of range.
bool ComputeVBPoolLayout(std::int64_t totalVertices, int patchVertices, int vertexLimit,
                         VBPoolLayout* layout);

// Index counts of one level with n cells along a patch edge.
struct LodListSizes {
  int strip;     // whole-patch strip, 2n(n + 1)
  int scratch;   // scratch buffer capacity, 3n^2
  int stitched;  // each stitched edge list
  int regular;   // each regular edge list
  int interior;  // interior strip, 2(n - 1)(n - 2)
};
LodListSizes LodSizes(int n);

// The index lists of one level, in drawing order.
struct LodIndexLists {
  std::vector<std::uint16_t> strip;
  std::vector<std::uint16_t> Ti, bi, li, ri;  // stitched edges
  std::vector<std::uint16_t> Clp;             // interior strip
  std::vector<std::uint16_t> Tr, Br, lr, rr;  // regular edges
};
// patchVerts = 2^levels + 1; 0 <= level < levels.
void BuildLodIndexLists(int patchVerts, int level, LodIndexLists* lists);

}  // namespace terrain
