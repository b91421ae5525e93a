// The terrain: heightmap, patch grid, bounds quadtree, per-level index sets,
// vertex buffer pool (terrain/), and the per-frame draw list, level of detail,
// drawing, textures and painting (view/).
#pragma once

#include <cstdint>

#include "device/d3d_wrapper.h"

// Heightmap: one block of (length + 1) x (width + 1) bytes; g_pHeightMap
// points width bytes into it, at sample (0, 0). Both are null when no map is loaded.
extern unsigned char* g_pHeightMapBlock;
extern unsigned char* g_pHeightMap;

extern int g_MaxLod;         // levels - 1: the coarsest level
extern int g_MaxVBVertices;  // vertex limit per pooled vertex buffer

constexpr int kMaxVisiblePatches = 8192;

// One terrain vertex as stream 0 holds it: 68 bytes.
struct TerrainVertex {
  D3DVECTOR Position;
  D3DVECTOR Normal;
  D3DVECTOR Tangent;
  float Tex[4][2];
};
static_assert(sizeof(TerrainVertex) == 68, "TerrainVertex is 68 bytes");

class Terrain;

struct LodIndexSet {
  IDirect3DIndexBuffer8* pScratchIB;
  IDirect3DIndexBuffer8* pFullIB;
  int FullPrimCount;
  unsigned short* Ti;
  int TiCount;
  unsigned short* bi;
  int biCount;
  unsigned short* ri;
  int riCount;
  unsigned short* li;
  int liCount;
  unsigned short* Tr;
  int TrCount;
  unsigned short* Br;
  int BrCount;
  unsigned short* lr;
  int lrCount;
  unsigned short* rr;
  int rrCount;
  unsigned short* Clp;
  int ClpCount;
};

struct TerrainPatch {
  TerrainPatch();

  // Level of detail, in view/patch_draw.cpp: chooses Lod once per frame from the camera distance.
  int ChooseLod();
  // Draw operations, in view/patch_draw.cpp: each returns pVB, the new last-bound buffer.
  IDirect3DVertexBuffer8* DrawWhole(int level, IDirect3DVertexBuffer8* lastVB, Terrain* terrain);
  IDirect3DVertexBuffer8* DrawInterior(int level, IDirect3DVertexBuffer8* lastVB, Terrain* terrain);
  IDirect3DVertexBuffer8* DrawEdge(int level, IDirect3DVertexBuffer8* lastVB, Terrain* terrain,
                                   const unsigned short* list, int count);

  int Lod;
  TerrainPatch* pLeft;
  TerrainPatch* pTop;
  TerrainPatch* pBottom;
  TerrainPatch* pRight;
  int X0, Z0, X1, Z1;
  float Centre[3];
  int FirstVertex;
  int VertexCount;
  IDirect3DVertexBuffer8* pVB;
};

struct TerrainQuadNode {
  float Min[3];
  float Max[3];
  TerrainQuadNode* pChild[4];
};

struct PatchVertexBuffer {
  int UsedVertices;
  IDirect3DVertexBuffer8* pVB;
};

class Terrain : public D3DWrapper2 {
 public:
  Terrain();
  ~Terrain();
  Terrain(const Terrain&) = delete;
  Terrain& operator=(const Terrain&) = delete;

  bool LoadHM(const char* fileName, int length, int width);            // terrain/terrain_heightmap.cpp
  bool InitPatches(int patchSize, int levels, int vertexLimit);        // terrain/terrain_patches.cpp
  TerrainQuadNode* BuildQuadNode(const float a[3], const float b[3]);  // terrain/terrain_patches.cpp
  void FreeQuadNode(TerrainQuadNode* node);                            // terrain/terrain.cpp
  // terrain/terrain_vb_pool.cpp
  IDirect3DVertexBuffer8* PlacePatchVertices(const void* block, unsigned bytes, int* first, int* count);

  void ListPatches(TerrainQuadNode* node, int depth);  // view/draw_list.cpp
  void AppendPatch(int index);                         // view/draw_list.cpp
  void Render();                                       // view/patch_draw.cpp
  // view/terrain_textures.cpp
  void LoadTextures(const char* name0, const char* name1, const char* name2, const char* name3);

  IDirect3DTexture8* m_pTextures[4];
  int m_FileBytes;
  int m_PatchesX;
  int m_PatchesZ;
  int m_Length;
  int m_Width;
  int m_PatchSize;
  int m_PatchVerts;
  TerrainQuadNode* m_pQuadRoot;
  int m_VisiblePatches[kMaxVisiblePatches];
  int m_VisibleCount;
  int m_VBCount;
  int m_PatchCount;
  PatchVertexBuffer* m_pVBs;
  TerrainPatch* m_pPatches;
  int m_LodCount;
  LodIndexSet* m_pLods;
  // Capacities of the pooled vertex buffers: every buffer but the last holds
  // m_VBVertices, the last m_LastVBVertices.
  int m_VBVertices;
  int m_LastVBVertices;

 private:
  bool CreateVertexBuffers();     // terrain/terrain_vb_pool.cpp
  bool BuildLodSets(int levels);  // terrain/terrain_lod_sets.cpp
  // Frees the patch grid, the pool, the index sets and the quadtree and
  // releases their device buffers (never the device itself).
  void ReleaseGeometry();
};

int PowerOfTwo(int n);
D3DXVECTOR3 ComputeVertexNormal(const D3DXVECTOR3 p[9]);
D3DXVECTOR3 ComputeVertexTangent(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2,
                                 const D3DXVECTOR3& normal);
