// The per-frame draw list: the patches to draw, in drawing order, gathered by
// walking the bounds quadtree down to a fixed depth.
#include <cstdint>
#include <initializer_list>

#include "terrain/terrain.h"

void Terrain::ListPatches(TerrainQuadNode* node, int depth) {
  if (!node) return;
  if (depth > 0) {
    for (TerrainQuadNode* child : node->pChild) {
      if (child) ListPatches(child, depth - 1);
    }
    return;
  }
  if (depth < 0 || m_PatchSize <= 0) return;
  // Bounds are heightmap sample positions; anything outside a sane range
  // (or NaN) means a damaged node, which lists nothing.
  constexpr float kLimit = 1073741824.0f;
  for (int axis : {0, 2}) {
    if (!(node->Min[axis] >= -kLimit && node->Max[axis] <= kLimit)) return;
  }

  // Nodes at depth 0 list their patches column by column (x outer, z inner),
  // so consecutive entries tend to share a pooled vertex buffer. The walk runs
  // in 64 bits and stops once the list is full, so neither a large node nor a
  // map with more patches than the list holds can overflow or spin.
  const std::int64_t size = m_PatchSize;
  const std::int64_t perRow = m_Length / m_PatchSize;
  for (std::int64_t x = static_cast<std::int64_t>(node->Min[0]); static_cast<float>(x) < node->Max[0];
       x += size) {
    for (std::int64_t z = static_cast<std::int64_t>(node->Min[2]); static_cast<float>(z) < node->Max[2];
         z += size) {
      if (m_VisibleCount >= kMaxVisiblePatches) return;
      const std::int64_t index = x / size + (z / size) * perRow;
      if (index < INT32_MIN || index > INT32_MAX) continue;
      AppendPatch(static_cast<int>(index));
    }
  }
}

void Terrain::AppendPatch(int index) {
  // The list has a fixed size; entries past it are refused rather than
  // written beyond the array.
  if (m_VisibleCount < 0 || m_VisibleCount >= kMaxVisiblePatches) return;
  m_VisiblePatches[m_VisibleCount] = index;
  ++m_VisibleCount;
}
