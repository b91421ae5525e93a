// The terrain object's life: construction, release of what InitPatches built,
// and the terrain-wide globals.
#include "terrain/terrain.h"

#include <initializer_list>

#include "terrain/terrain_build.h"

unsigned char* g_pHeightMapBlock = nullptr;
unsigned char* g_pHeightMap = nullptr;
int g_MaxLod = 0;
int g_MaxVBVertices = 8192;

int PowerOfTwo(int n) {
  int value = 1;
  for (int i = 0; i < n; ++i) value *= 2;
  return value;
}

TerrainPatch::TerrainPatch()
    : Lod(-1),
      pLeft(nullptr),
      pTop(nullptr),
      pBottom(nullptr),
      pRight(nullptr),
      X0(0),
      Z0(0),
      X1(0),
      Z1(0),
      Centre{0.0f, 0.0f, 0.0f},
      FirstVertex(0),
      VertexCount(0),
      pVB(nullptr) {}

// Everything starts empty, so that a terrain whose set-up failed part-way
// can still be drawn (nothing) and deleted safely.
Terrain::Terrain()
    : m_pTextures{nullptr, nullptr, nullptr, nullptr},
      m_FileBytes(0),
      m_PatchesX(0),
      m_PatchesZ(0),
      m_Length(0),
      m_Width(0),
      m_PatchSize(0),
      m_PatchVerts(0),
      m_pQuadRoot(nullptr),
      m_VisiblePatches{},
      m_VisibleCount(0),
      m_VBCount(0),
      m_PatchCount(0),
      m_pVBs(nullptr),
      m_pPatches(nullptr),
      m_LodCount(0),
      m_pLods(nullptr),
      m_VBVertices(0),
      m_LastVBVertices(0) {}

Terrain::~Terrain() { ReleaseGeometry(); }

void Terrain::ReleaseGeometry() {
  delete[] m_pPatches;
  m_pPatches = nullptr;
  m_PatchCount = 0;
  m_PatchesX = m_PatchesZ = 0;

  if (m_pVBs) {
    for (int i = 0; i < m_VBCount; ++i) {
      if (m_pVBs[i].pVB) m_pVBs[i].pVB->Release();
    }
  }
  delete[] m_pVBs;
  m_pVBs = nullptr;
  m_VBCount = 0;
  m_VBVertices = m_LastVBVertices = 0;

  if (m_pLods) {
    for (int i = 0; i < m_LodCount; ++i) {
      LodIndexSet& set = m_pLods[i];
      if (set.pScratchIB) set.pScratchIB->Release();
      if (set.pFullIB) set.pFullIB->Release();
      for (unsigned short* list : {set.Ti, set.bi, set.ri, set.li, set.Tr, set.Br, set.lr, set.rr, set.Clp})
        delete[] list;
    }
  }
  delete[] m_pLods;
  m_pLods = nullptr;
  m_LodCount = 0;

  FreeQuadNode(m_pQuadRoot);
  m_pQuadRoot = nullptr;
  m_VisibleCount = 0;
}

void Terrain::FreeQuadNode(TerrainQuadNode* node) {
  if (!node) return;
  for (TerrainQuadNode* child : node->pChild) FreeQuadNode(child);
  delete node;
}
