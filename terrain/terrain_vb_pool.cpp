// The vertex buffer pool: a few large buffers, each holding a whole number
// of patches, filled one after the other in patch build order.
#include <cstring>
#include <limits>
#include <new>

#include "terrain/terrain.h"
#include "terrain/terrain_build.h"

using terrain::Report;

namespace {

constexpr DWORD kTerrainFvf = 0x312;  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX3
constexpr std::int64_t kVertexBytes = static_cast<std::int64_t>(sizeof(TerrainVertex));

}  // namespace

namespace terrain {

bool ComputeVBPoolLayout(std::int64_t totalVertices, int patchVertices, int vertexLimit,
                         VBPoolLayout* layout) {
  *layout = VBPoolLayout();
  if (patchVertices <= 0 || vertexLimit <= patchVertices || totalVertices < 0) return false;
  // The largest whole number of patches strictly below the limit.
  const std::int64_t b = static_cast<std::int64_t>((vertexLimit - 1) / patchVertices) * patchVertices;
  const std::int64_t n = (totalVertices + b - 1) / b;
  const std::int64_t last = totalVertices - (n - 1) * b;
  if (n > std::numeric_limits<int>::max()) return false;
  layout->totalVertices = totalVertices;
  layout->bufferVertices = static_cast<int>(b);
  layout->bufferCount = static_cast<int>(n);
  layout->lastBufferVertices = n > 0 ? static_cast<int>(last) : 0;
  return true;
}

}  // namespace terrain

bool Terrain::CreateVertexBuffers() {
  const int patchVertices = m_PatchVerts * m_PatchVerts;
  const std::int64_t total = static_cast<std::int64_t>(m_PatchesX) * m_PatchVerts * m_PatchesZ * m_PatchVerts;
  terrain::VBPoolLayout layout;
  if (!terrain::ComputeVBPoolLayout(total, patchVertices, g_MaxVBVertices, &layout)) {
    Report(LOG_ERROR, "Vertex limit must be above the vertices of one patch", "InitPatches");
    return false;
  }
  Report(LOG_INFO, layout.bufferCount, "Number of Vertex Buffers");
  Report(LOG_INFO, m_PatchVerts, "Vertices per Patch Row");
  Report(LOG_INFO, layout.bufferVertices, "Vertex Buffer Size");

  // A buffer's byte length must fit the 32-bit length the device takes.
  const int largest = layout.bufferCount > 1 ? layout.bufferVertices : layout.lastBufferVertices;
  if (static_cast<std::int64_t>(largest) * kVertexBytes > std::numeric_limits<UINT>::max()) {
    Report(LOG_ERROR, "A vertex buffer of this size cannot be created", "InitPatches");
    return false;
  }

  m_pVBs = new (std::nothrow) PatchVertexBuffer[layout.bufferCount > 0 ? layout.bufferCount : 1];
  if (!m_pVBs) {
    Report(LOG_ERROR, "Not enough memory for the vertex buffer pool", "InitPatches");
    return false;
  }
  m_VBCount = layout.bufferCount;
  m_VBVertices = layout.bufferVertices;
  m_LastVBVertices = layout.lastBufferVertices;
  for (int i = 0; i < m_VBCount; ++i) {
    m_pVBs[i].UsedVertices = 0;
    m_pVBs[i].pVB = nullptr;
  }
  for (int i = 0; i < m_VBCount; ++i) {
    const int vertices = (i == m_VBCount - 1) ? m_LastVBVertices : m_VBVertices;
    IDirect3DVertexBuffer8* vb = nullptr;
    const HRESULT hr = g_pd3dDevice->CreateVertexBuffer(
        static_cast<UINT>(vertices * kVertexBytes), D3DUSAGE_WRITEONLY, kTerrainFvf, D3DPOOL_DEFAULT, &vb);
    if (FAILED(hr) || !vb) {
      Report(LOG_ERROR, "Could not create a terrain vertex buffer", "InitPatches");
      return false;
    }
    m_pVBs[i].pVB = vb;
  }
  return true;
}

IDirect3DVertexBuffer8* Terrain::PlacePatchVertices(const void* block, unsigned bytes, int* first,
                                                    int* count) {
  *first = 0;
  *count = 0;
  const int k = static_cast<int>(bytes / static_cast<unsigned>(kVertexBytes));
  int found = -1;
  for (int i = 0; i < m_VBCount && m_pVBs; ++i) {
    const int capacity = (i == m_VBCount - 1) ? m_LastVBVertices : m_VBVertices;
    if (m_pVBs[i].pVB && static_cast<std::int64_t>(m_pVBs[i].UsedVertices) + k <= capacity) {
      found = i;
      break;
    }
  }
  if (found < 0) {
    Report(LOG_ERROR, "NOT enough VBs", "");
    return nullptr;
  }
  PatchVertexBuffer& entry = m_pVBs[found];
  // Only whole vertices are placed: a trailing partial vertex is not copied
  // past the room reserved for the block.
  const UINT copyBytes = static_cast<UINT>(k * kVertexBytes);
  BYTE* data = nullptr;
  const HRESULT hr = entry.pVB->Lock(static_cast<UINT>(entry.UsedVertices * kVertexBytes), copyBytes, &data,
                                     D3DLOCK_NOOVERWRITE);
  if (FAILED(hr) || !data) {
    Report(LOG_ERROR, "Could not lock a terrain vertex buffer", "PlacePatchVertices");
    return nullptr;
  }
  std::memcpy(data, block, copyBytes);
  entry.pVB->Unlock();
  *first = entry.UsedVertices;
  *count = k;
  entry.UsedVertices += k;
  return entry.pVB;
}
