// The patch grid: cutting the heightmap into square patches, building each
// patch's vertices (position, normal, tangent, texture coordinates), the
// bounds quadtree, and the order of InitPatches.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "terrain/terrain.h"
#include "terrain/terrain_build.h"

using terrain::Report;

namespace {

// Vector normalisation with the semantics of D3DXVec3Normalize: a vector
// whose squared length lies within 0.00001 of 1 comes back unchanged, one of
// (nearly) zero length gives (0, 0, 0). Written inline and over arrays
// because the terrain normalises about ten vectors per vertex, over a
// million vertices, at start-up; the loops below compile to vector code.
constexpr float kUnitTolerance = 0.00001f;
constexpr float kZeroLength = 1e-10f;

inline D3DXVECTOR3 Normalized(const D3DXVECTOR3& v) {
  const float s = v.x * v.x + v.y * v.y + v.z * v.z;
  if (s - 1.0f >= -kUnitTolerance && s - 1.0f <= kUnitTolerance) return v;
  if (s <= kZeroLength) return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  const float inv = 1.0f / std::sqrt(s);
  return D3DXVECTOR3(v.x * inv, v.y * inv, v.z * inv);
}

inline D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// Sample at a column and row given as floats, truncated towards zero.
inline float HeightAt(const unsigned char* map, int stride, float column, float row) {
  return static_cast<float>(
      map[static_cast<std::ptrdiff_t>(static_cast<int>(row)) * stride + static_cast<int>(column)]);
}

}  // namespace

D3DXVECTOR3 ComputeVertexNormal(const D3DXVECTOR3 p[9]) {
  // Eight face normals of the triangles fanned round p0, from p1 round to p1
  // again: face k is (p(k+1) - p(k+2)) x (p0 - p(k+1)), with p9 = p1.
  float ax[8], ay[8], az[8], bx[8], by[8], bz[8];
  for (int k = 0; k < 8; ++k) {
    const D3DXVECTOR3& u = p[k + 1];
    const D3DXVECTOR3& w = p[k < 7 ? k + 2 : 1];
    ax[k] = u.x - w.x;
    ay[k] = u.y - w.y;
    az[k] = u.z - w.z;
    bx[k] = p[0].x - u.x;
    by[k] = p[0].y - u.y;
    bz[k] = p[0].z - u.z;
  }
  float nx[8], ny[8], nz[8];
  for (int k = 0; k < 8; ++k) {
    const float cx = ay[k] * bz[k] - az[k] * by[k];
    const float cy = az[k] * bx[k] - ax[k] * bz[k];
    const float cz = ax[k] * by[k] - ay[k] * bx[k];
    const float s = cx * cx + cy * cy + cz * cz;
    const bool unit = s - 1.0f >= -kUnitTolerance && s - 1.0f <= kUnitTolerance;
    const float inv = unit ? 1.0f : (s <= kZeroLength ? 0.0f : 1.0f / std::sqrt(s));
    nx[k] = cx * inv;
    ny[k] = cy * inv;
    nz[k] = cz * inv;
  }
  D3DXVECTOR3 sum(0.0f, 0.0f, 0.0f);
  for (int k = 0; k < 8; ++k) sum += D3DXVECTOR3(nx[k], ny[k], nz[k]);
  return Normalized(sum);
}

D3DXVECTOR3 ComputeVertexTangent(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2,
                                 const D3DXVECTOR3& normal) {
  const D3DXVECTOR3 e2 = (p2 - p1) * (p2.x - p1.x);
  const D3DXVECTOR3 e1 = (p0 - p1) * (p0.x - p1.x);
  const D3DXVECTOR3 along = Normalized(e2 - e1);
  return Normalized(Cross(along, normal));
}

namespace terrain {

D3DXVECTOR3 BorderNormal() { return D3DXVECTOR3(0.0f, 1.0f, 0.0f); }
D3DXVECTOR3 BorderTangent() { return D3DXVECTOR3(0.0f, 0.0f, -1.0f); }

void BuildPatchVertices(const unsigned char* map, int stride, int mapLength, int mapWidth, int x0, int z0,
                        int patchSize, int patchVerts, TerrainVertex* out) {
  const float step = static_cast<float>(patchSize) / static_cast<float>(patchVerts - 1);
  const float last = static_cast<float>(patchVerts - 1);
  const float borderX = static_cast<float>(mapWidth - 1);
  const float borderZ = static_cast<float>(mapLength - 1);
  const D3DXVECTOR3 borderNormal = BorderNormal(), borderTangent = BorderTangent();
  for (int j = 0; j < patchVerts; ++j) {
    const float z = static_cast<float>(z0) + static_cast<float>(j) * step;
    for (int i = 0; i < patchVerts; ++i) {
      const float x = static_cast<float>(x0) + static_cast<float>(i) * step;
      TerrainVertex& v = out[j * patchVerts + i];
      const float h = HeightAt(map, stride, x, z);
      // u follows the row (z), v the column (x).
      const float u = static_cast<float>(j) / last, tv = static_cast<float>(i) / last;
      for (auto& pair : v.Tex) {
        pair[0] = u;
        pair[1] = tv;
      }
      if (x != 0.0f && z != 0.0f && z < borderZ && x < borderX) {
        const float s = step;
        const D3DXVECTOR3 p[9] = {
            {x, h, z},
            {x - s, HeightAt(map, stride, x - s, z), z},
            {x - s, HeightAt(map, stride, x - s, z - s), z - s},
            {x, HeightAt(map, stride, x, z - s), z - s},
            {x + s, HeightAt(map, stride, x + s, z - s), z - s},
            {x + s, HeightAt(map, stride, x + s, z), z},
            {x + s, HeightAt(map, stride, x + s, z + s), z + s},
            {x, HeightAt(map, stride, x, z + s), z + s},
            {x - s, HeightAt(map, stride, x - s, z + s), z + s},
        };
        const D3DXVECTOR3 normal = ComputeVertexNormal(p);
        v.Normal = normal;
        v.Tangent = ComputeVertexTangent(p[0], p[1], p[2], normal);
      } else {
        // The neighbourhood of a border vertex is not computed; it gets the
        // normal and tangent of flat ground.
        v.Normal = borderNormal;
        v.Tangent = borderTangent;
      }
      v.Position.x = x * static_cast<float>(kWorldPerSample);
      v.Position.y = h * kWorldPerHeight;
      v.Position.z = z * static_cast<float>(kWorldPerSample);
    }
  }
}

}  // namespace terrain

TerrainQuadNode* Terrain::BuildQuadNode(const float a[3], const float b[3]) {
  // No node for an area not wider and deeper than one patch.
  if (static_cast<float>(m_PatchSize) >= b[0] - a[0] || static_cast<float>(m_PatchSize) >= b[2] - a[2])
    return nullptr;
  TerrainQuadNode* node = new TerrainQuadNode;
  for (int c = 0; c < 3; ++c) {
    node->Min[c] = a[c];
    node->Max[c] = b[c];
  }
  const float mx = (a[0] + b[0]) / 2.0f;
  const float mz = (a[2] + b[2]) / 2.0f;
  auto h = [this](float x, float z) { return HeightAt(g_pHeightMap, m_Length, x, z); };
  const float c0a[3] = {a[0], a[1], a[2]}, c0b[3] = {mx, h(mx, mz), mz};
  const float c1a[3] = {mx, h(mx, a[2]), a[2]}, c1b[3] = {b[0], h(b[0], mz), mz};
  const float c2a[3] = {a[0], h(a[0], mz), mz}, c2b[3] = {mx, h(mx, b[2]), b[2]};
  const float c3a[3] = {mx, h(mx, mz), mz}, c3b[3] = {b[0], b[1], b[2]};
  node->pChild[0] = BuildQuadNode(c0a, c0b);
  node->pChild[1] = BuildQuadNode(c1a, c1b);
  node->pChild[2] = BuildQuadNode(c2a, c2b);
  node->pChild[3] = BuildQuadNode(c3a, c3b);
  return node;
}

bool Terrain::InitPatches(int patchSize, int levels, int vertexLimit) {
  // Refuse what the building below cannot do safely, before anything changes.
  if (!g_pHeightMap) {
    Report(LOG_ERROR, "No heightmap is loaded", "InitPatches");
    return false;
  }
  if (m_Length != m_Width || m_Width <= 0) {
    Report(LOG_ERROR, "The heightmap must be square and not empty", "InitPatches");
    return false;
  }
  if (!g_pd3dDevice) {
    Report(LOG_ERROR, "No Direct3D device to build the terrain on", "InitPatches");
    return false;
  }
  if (patchSize <= 0) {
    Report(LOG_ERROR, "Patch size must be positive", "InitPatches");
    return false;
  }
  if (levels < 1 || levels > terrain::kMaxLevels) {
    Report(LOG_ERROR, "Detail levels must be 1 to 7 for 16-bit indices", "InitPatches");
    return false;
  }
  const int patchVerts = PowerOfTwo(levels) + 1;
  if (vertexLimit <= patchVerts * patchVerts) {
    Report(LOG_ERROR, "Vertex limit must be above the vertices of one patch", "InitPatches");
    return false;
  }
  if (m_Width % patchSize == 0) {
    const long long side = m_Width / patchSize;
    if (side * side > kMaxVisiblePatches) {
      Report(LOG_ERROR, "Too many patches: at most 8192 fit the draw list", "InitPatches");
      return false;
    }
  }

  ReleaseGeometry();
  m_PatchSize = patchSize;
  const float rootA[3] = {0.0f, static_cast<float>(g_pHeightMap[0]), 0.0f};
  const float rootB[3] = {
      static_cast<float>(m_Length),
      HeightAt(g_pHeightMap, m_Length, static_cast<float>(m_Length), static_cast<float>(m_Width)),
      static_cast<float>(m_Width)};
  m_pQuadRoot = BuildQuadNode(rootA, rootB);
  g_MaxVBVertices = vertexLimit;

  if (m_Length % patchSize != 0 || m_Width % patchSize != 0) {
    Report(LOG_ERROR, "Patchsize cannot fit evenly into map", "InitPatches");
    return false;
  }
  m_PatchesX = m_Width / patchSize;
  m_PatchesZ = m_Length / patchSize;
  m_PatchCount = m_PatchesX * m_PatchesZ;
  m_pPatches = new TerrainPatch[m_PatchCount];
  g_MaxLod = levels - 1;
  m_PatchVerts = patchVerts;

  if (!CreateVertexBuffers()) return false;

  const int vertsPerPatch = m_PatchVerts * m_PatchVerts;
  std::vector<TerrainVertex> staging(static_cast<std::size_t>(vertsPerPatch));
  for (int pz = 0; pz < m_PatchesZ; ++pz) {
    for (int px = 0; px < m_PatchesX; ++px) {
      const int k = pz * m_PatchesZ + px;
      TerrainPatch& patch = m_pPatches[k];
      patch.X0 = px * patchSize;
      patch.X1 = patch.X0 + patchSize;
      patch.Z0 = pz * patchSize;
      patch.Z1 = patch.Z0 + patchSize;
      const int cx = patch.X0 + patchSize / 2, cz = patch.Z0 + patchSize / 2;
      patch.Centre[0] = static_cast<float>(cx);
      patch.Centre[2] = static_cast<float>(cz);
      patch.Centre[1] = HeightAt(g_pHeightMap, m_Width, patch.Centre[0], patch.Centre[2]);
      if (px != 0) {
        patch.pLeft = &m_pPatches[k - 1];
        m_pPatches[k - 1].pRight = &patch;
      }
      if (pz != 0) {
        patch.pTop = &m_pPatches[k - m_PatchesZ];
        m_pPatches[k - m_PatchesZ].pBottom = &patch;
      }

      terrain::BuildPatchVertices(g_pHeightMap, m_Width, m_Length, m_Width, patch.X0, patch.Z0, patchSize,
                                  m_PatchVerts, staging.data());

      patch.X0 *= terrain::kWorldPerSample;
      patch.Z0 *= terrain::kWorldPerSample;
      patch.X1 *= terrain::kWorldPerSample;
      patch.Z1 *= terrain::kWorldPerSample;
      patch.Centre[0] *= static_cast<float>(terrain::kWorldPerSample);
      patch.Centre[2] *= static_cast<float>(terrain::kWorldPerSample);
      patch.Centre[1] *= terrain::kWorldPerHeight;

      patch.pVB =
          PlacePatchVertices(staging.data(), static_cast<unsigned>(vertsPerPatch * sizeof(TerrainVertex)),
                             &patch.FirstVertex, &patch.VertexCount);
      if (!patch.pVB) {
        Report(LOG_ERROR, "ERROR Finding empty VB", "");
        return false;
      }
    }
  }

  return BuildLodSets(levels);
}
