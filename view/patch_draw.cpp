// Per-frame terrain drawing: level of detail per patch, and the draw calls for
// whole patches and for patches stitched to a coarser neighbour.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "lighting/terrain_shaders.h"
#include "terrain/terrain.h"
#include "view/camera.h"

namespace {

constexpr UINT kVertexStride = sizeof(TerrainVertex);  // 68
constexpr std::int64_t kLodSpan = 5000;                // world units per level

// Truncates toward zero like a float-to-int conversion, but saturates instead
// of overflowing and reads NaN as 0. The range is kept symmetric so that two
// squares still add up within 64 bits.
std::int64_t TruncateDistance(float v) {
  if (!(v == v)) return 0;
  constexpr float kMax = 2147483520.0f;  // largest float below 2^31
  if (v >= kMax) return 2147483520;
  if (v <= -kMax) return -2147483520;
  return static_cast<std::int64_t>(v);
}

std::int64_t IntegerLength(std::int64_t a, std::int64_t b) {
  // Each square is below 2^62, so the sum fits an unsigned 64-bit value.
  const std::uint64_t sum = static_cast<std::uint64_t>(a * a) + static_cast<std::uint64_t>(b * b);
  return static_cast<std::int64_t>(std::sqrt(static_cast<double>(sum)));
}

const LodIndexSet* LevelSet(const Terrain* terrain, int level) {
  if (!terrain || !terrain->m_pLods || level < 0 || level >= terrain->m_LodCount) return nullptr;
  return &terrain->m_pLods[level];
}

// Uploads a list into the level's scratch buffer and draws it. The upload and
// the draw are skipped together when the list is empty, the buffer is too
// small or refuses the lock; the stream binding is then left as it was.
IDirect3DVertexBuffer8* DrawUploaded(const TerrainPatch& patch, const LodIndexSet& set,
                                     IDirect3DVertexBuffer8* lastVB, const unsigned short* list, int count,
                                     D3DPRIMITIVETYPE type, int primitives) {
  IDirect3DIndexBuffer8* scratch = set.pScratchIB;
  if (!g_pd3dDevice || !scratch || !list || count <= 0 || primitives <= 0) return lastVB;
  const UINT bytes = static_cast<UINT>(count) * 2u;

  D3DINDEXBUFFER_DESC desc{};
  if (FAILED(scratch->GetDesc(&desc)) || desc.Size < bytes) return lastVB;

  BYTE* data = nullptr;
  if (FAILED(scratch->Lock(0, bytes, &data, D3DLOCK_DISCARD)) || !data) return lastVB;
  std::memcpy(data, list, bytes);
  scratch->Unlock();

  g_pd3dDevice->SetIndices(scratch, static_cast<UINT>(patch.FirstVertex));
  if (lastVB != patch.pVB) g_pd3dDevice->SetStreamSource(0, patch.pVB, kVertexStride);
  g_pd3dDevice->DrawIndexedPrimitive(type, 0, static_cast<UINT>(patch.VertexCount), 0,
                                     static_cast<UINT>(primitives));
  return patch.pVB;
}

}  // namespace

int TerrainPatch::ChooseLod() {
  if (Lod != -1) return -1;

  float cx = 0.0f, cy = 0.0f, cz = 0.0f;
  g_Camera.GetPosition(&cx, &cy, &cz);
  const std::int64_t dx = TruncateDistance(Centre[0] - cx);
  const std::int64_t dz = TruncateDistance(Centre[2] - cz);
  const std::int64_t dy = TruncateDistance(Centre[1] - cy);

  // Whole-number distances in 64 bits: the same results as 32-bit arithmetic
  // for anything nearer than about 46000 units, and no overflow beyond.
  const std::int64_t h = IntegerLength(dx, dz);
  const std::int64_t d = IntegerLength(h > 3037000499 ? 3037000499 : h, dy);

  // Each level spans 5000 units, upper bound included. d = 0 (the camera
  // within a unit of the centre) is level 0 like d = 1: the coarsest level
  // there would put the patch more than one level from its neighbours, whose
  // stitched edges only close the gap to a neighbour one level coarser.
  int level = g_MaxLod;
  while (level > 0 && d <= static_cast<std::int64_t>(level) * kLodSpan) --level;
  Lod = (level >= 0 && level <= g_MaxLod) ? level : g_MaxLod;
  return Lod;
}

IDirect3DVertexBuffer8* TerrainPatch::DrawWhole(int level, IDirect3DVertexBuffer8* lastVB, Terrain* terrain) {
  const LodIndexSet* set = LevelSet(terrain, level);
  if (!g_pd3dDevice || !set || !set->pFullIB || set->FullPrimCount <= 0) return lastVB;

  g_pd3dDevice->SetIndices(set->pFullIB, static_cast<UINT>(FirstVertex));
  if (lastVB != pVB) g_pd3dDevice->SetStreamSource(0, pVB, kVertexStride);
  g_pd3dDevice->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(VertexCount), 0,
                                     static_cast<UINT>(set->FullPrimCount));
  return pVB;
}

IDirect3DVertexBuffer8* TerrainPatch::DrawInterior(int level, IDirect3DVertexBuffer8* lastVB,
                                                   Terrain* terrain) {
  const LodIndexSet* set = LevelSet(terrain, level);
  if (!set) return lastVB;
  return DrawUploaded(*this, *set, lastVB, set->Clp, set->ClpCount, D3DPT_TRIANGLESTRIP, set->ClpCount - 2);
}

IDirect3DVertexBuffer8* TerrainPatch::DrawEdge(int level, IDirect3DVertexBuffer8* lastVB, Terrain* terrain,
                                               const unsigned short* list, int count) {
  const LodIndexSet* set = LevelSet(terrain, level);
  if (!set) return lastVB;
  return DrawUploaded(*this, *set, lastVB, list, count, D3DPT_TRIANGLELIST, count / 3);
}

void Terrain::Render() {
  if (!g_pd3dDevice) return;

  ApplyPS(m_pTextures[0], m_pTextures[1], m_pTextures[2], m_pTextures[3]);
  if (!ApplyVS()) return;

  m_VisibleCount = 0;
  // Without the patch grid, the level sets, or any level at all there is
  // nothing to draw, and no patch or level record may be read.
  if (!m_pPatches || m_PatchCount <= 0 || !m_pLods || g_MaxLod < 0 || g_MaxLod >= m_LodCount) {
    return;
  }
  ListPatches(m_pQuadRoot, 2);

  IDirect3DVertexBuffer8* lastVB = nullptr;
  for (int i = 0; i < m_VisibleCount; ++i) {
    const int index = m_VisiblePatches[i];
    if (index < 0 || index >= m_PatchCount) continue;
    TerrainPatch& p = m_pPatches[index];

    p.ChooseLod();
    TerrainPatch* const around[4] = {p.pLeft, p.pBottom, p.pTop, p.pRight};
    for (TerrainPatch* n : around) {
      if (n) n->ChooseLod();
    }
    const int level = p.Lod;
    const LodIndexSet* set = LevelSet(this, level);
    if (!set) continue;

    // A side is stitched when that neighbour is drawn coarser; a finer or
    // equal neighbour stitches its own side instead.
    const bool top = p.pTop && p.pTop->Lod - level > 0;
    const bool bottom = p.pBottom && p.pBottom->Lod - level > 0;
    const bool left = p.pLeft && p.pLeft->Lod - level > 0;
    const bool right = p.pRight && p.pRight->Lod - level > 0;

    if (top) lastVB = p.DrawEdge(level, lastVB, this, set->Ti, set->TiCount);
    if (bottom) lastVB = p.DrawEdge(level, lastVB, this, set->bi, set->biCount);
    if (left) lastVB = p.DrawEdge(level, lastVB, this, set->li, set->liCount);
    if (right) lastVB = p.DrawEdge(level, lastVB, this, set->ri, set->riCount);

    if (top || bottom || left || right) {
      lastVB = p.DrawInterior(level, lastVB, this);
      if (!top) lastVB = p.DrawEdge(level, lastVB, this, set->Tr, set->TrCount);
      if (!bottom) lastVB = p.DrawEdge(level, lastVB, this, set->Br, set->BrCount);
      if (!left) lastVB = p.DrawEdge(level, lastVB, this, set->lr, set->lrCount);
      if (!right) lastVB = p.DrawEdge(level, lastVB, this, set->rr, set->rrCount);
    } else {
      lastVB = p.DrawWhole(level, lastVB, this);
    }
  }

  // Levels are cleared once the whole frame is drawn. Clearing each patch
  // right after its own draw would do as well: a neighbour listed later would
  // choose its level again from the same camera position and get the same one.
  for (int i = 0; i < m_PatchCount; ++i) m_pPatches[i].Lod = -1;
}
