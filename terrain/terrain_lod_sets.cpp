// Builds the per-level index sets on the device: the whole-patch strip in a
// static index buffer, an empty scratch buffer for per-draw uploads, and the
// edge and interior lists in system memory. Every size is logged as it is built.
#include <cstring>
#include <new>

#include "terrain/terrain.h"
#include "terrain/terrain_build.h"

using terrain::Report;

namespace {

// Copies a list into a new array of `count` indices (its size as computed
// from the level); logs the number actually written under `builtLabel`.
unsigned short* StoreList(const std::vector<std::uint16_t>& list, int count, const char* sizeLabel,
                          const char* builtLabel, int* countOut) {
  if (sizeLabel) Report(LOG_INFO, count, sizeLabel);
  unsigned short* array = new unsigned short[count > 0 ? count : 1];
  std::memset(array, 0, sizeof(unsigned short) * static_cast<std::size_t>(count > 0 ? count : 1));
  const std::size_t n =
      list.size() < static_cast<std::size_t>(count) ? list.size() : static_cast<std::size_t>(count);
  if (n) std::memcpy(array, list.data(), n * sizeof(unsigned short));
  if (builtLabel) Report(LOG_INFO, static_cast<std::int32_t>(list.size()), builtLabel);
  *countOut = count;
  return array;
}

IDirect3DIndexBuffer8* CreateIndexBuffer(int indices) {
  IDirect3DIndexBuffer8* ib = nullptr;
  const HRESULT hr = g_pd3dDevice->CreateIndexBuffer(static_cast<UINT>(indices) * 2, D3DUSAGE_WRITEONLY,
                                                     D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib);
  if (FAILED(hr) || !ib) {
    Report(LOG_ERROR, "Could not create a terrain index buffer", "InitPatches");
    return nullptr;
  }
  return ib;
}

}  // namespace

bool Terrain::BuildLodSets(int levels) {
  // Value-initialised: a set left unbuilt by a failure holds only nulls.
  m_pLods = new LodIndexSet[levels]();
  m_LodCount = levels;
  terrain::LodIndexLists lists;
  for (int level = 0; level < levels; ++level) {
    LodIndexSet& set = m_pLods[level];
    const int n = (m_PatchVerts - 1) >> level;
    const terrain::LodListSizes sizes = terrain::LodSizes(n);
    terrain::BuildLodIndexLists(m_PatchVerts, level, &lists);

    Report(LOG_INFO, sizes.strip, "sp");
    Report(LOG_INFO, static_cast<std::int32_t>(lists.strip.size()), "b");
    set.pFullIB = CreateIndexBuffer(sizes.strip);
    if (!set.pFullIB) return false;
    BYTE* data = nullptr;
    const UINT stripBytes = static_cast<UINT>(sizes.strip) * 2;
    if (FAILED(set.pFullIB->Lock(0, stripBytes, &data, 0)) || !data) {
      Report(LOG_ERROR, "Could not lock a terrain index buffer", "InitPatches");
      return false;
    }
    std::memcpy(data, lists.strip.data(), stripBytes);
    set.pFullIB->Unlock();
    set.FullPrimCount = sizes.strip - 2;

    set.pScratchIB = CreateIndexBuffer(sizes.scratch);
    if (!set.pScratchIB) return false;

    set.Ti = StoreList(lists.Ti, sizes.stitched, "Ti Size", "Ti_B", &set.TiCount);
    set.bi = StoreList(lists.bi, sizes.stitched, "bi Size", "bi_B", &set.biCount);
    set.li = StoreList(lists.li, sizes.stitched, "li Size", "li_B", &set.liCount);
    set.ri = StoreList(lists.ri, sizes.stitched, "ri Size", "ri_B", &set.riCount);
    // The interior logs its size after it is built.
    set.Clp = StoreList(lists.Clp, sizes.interior, nullptr, nullptr, &set.ClpCount);
    Report(LOG_INFO, set.ClpCount, "Clp_Size");
    Report(LOG_INFO, static_cast<std::int32_t>(lists.Clp.size()), "Clp_b");
    set.Tr = StoreList(lists.Tr, sizes.regular, "Tr Size", "Tr_B", &set.TrCount);
    set.Br = StoreList(lists.Br, sizes.regular, "Br Size", "br_B", &set.BrCount);
    set.lr = StoreList(lists.lr, sizes.regular, "lr Size", "lr_B", &set.lrCount);
    set.rr = StoreList(lists.rr, sizes.regular, "rr Size", "rr_B", &set.rrCount);
  }
  return true;
}
