// Painting the patch under the camera with one texel of the base texture, and
// the small additive random generator that places the brush.
#include "view/paint.h"

#include <cstdint>
#include <ctime>

#include "app/app_globals.h"
#include "log/log_file.h"

float g_BrushStrength = 0.0f;
int g_BrushSize = 0;
float g_BrushU = 0.0f;
float g_BrushV = 0.0f;

namespace {

constexpr int kRandomLength = 55;
constexpr std::uint32_t kRandomMask = 0x3FFFFFFF;

std::uint32_t s_RandomState[kRandomLength];
int s_RandomJ = 0;
int s_RandomK = 31;

void WriteLog(const char* line) {
  if (g_pLog) g_pLog->Write(line);
}

}  // namespace

void SeedRandom() { SeedRandomWith(static_cast<unsigned int>(std::time(nullptr))); }

void SeedRandomWith(unsigned int seed) {
  s_RandomJ = 0;
  s_RandomK = 31;
  s_RandomState[0] = seed & kRandomMask;
  s_RandomState[1] = 1;
  for (int i = 2; i < kRandomLength; ++i) {
    s_RandomState[i] = (s_RandomState[i - 1] + s_RandomState[i - 2]) & kRandomMask;
  }
}

int Random() {
  const std::uint32_t v = (s_RandomState[s_RandomJ] + s_RandomState[s_RandomK]) & kRandomMask;
  s_RandomState[s_RandomJ] = v;
  if (++s_RandomJ == kRandomLength) s_RandomJ = 0;
  if (++s_RandomK == kRandomLength) s_RandomK = 0;
  return static_cast<int>(v >> 6);  // 24 bits
}

int RandomRange(int lo, int hi) {
  // Widths are taken in 64 bits so that no pair of 32-bit bounds overflows.
  const std::int64_t n = static_cast<std::int64_t>(hi) - lo + 1;
  if (n < 2) return lo;
  std::int64_t m = 2;
  while (m < n) m *= 2;
  // Draws are masked to the next power of two and out-of-range values are
  // thrown away. One draw carries 24 bits; wider ranges join two draws so
  // that every value of the range can come up.
  std::int64_t r;
  do {
    std::int64_t bits = Random();
    if (m > (std::int64_t{1} << 24)) bits = (bits << 24) | Random();
    r = bits & (m - 1);
  } while (r >= n);
  return static_cast<int>(lo + r);
}

void SetPaintBrush(float strength, int size) {
  g_BrushStrength = strength;
  g_BrushSize = size;
  const float r = static_cast<float>(RandomRange(0, 50) / 100.0);
  g_BrushU = r;
  g_BrushV = r;
}

TerrainPatch* FindPatch(int x, int z) {
  if (!g_pTerrain || !g_pTerrain->m_pPatches) return nullptr;
  // Strict containment: a point on a patch border belongs to no patch.
  for (int i = 0; i < g_pTerrain->m_PatchCount; ++i) {
    TerrainPatch& p = g_pTerrain->m_pPatches[i];
    if (p.X0 < x && x < p.X1 && p.Z0 < z && z < p.Z1) return &p;
  }
  return nullptr;
}

void PaintTerrain(int x, int z) {
  TerrainPatch* patch = FindPatch(x, z);
  if (!patch) {
    WriteLog("Couldn't find Patch");
    return;
  }

  // The patch's block in its pooled buffer. A buffer that is missing or
  // refuses the lock leaves the terrain as it was.
  const std::int64_t verts = g_pTerrain->m_PatchVerts;
  const std::int64_t offset = static_cast<std::int64_t>(patch->FirstVertex) * 68;
  const std::int64_t bytes = verts * verts * 68;
  if (!patch->pVB || verts <= 0 || patch->FirstVertex < 0 || offset > UINT32_MAX || bytes > UINT32_MAX) {
    return;
  }
  BYTE* data = nullptr;
  if (FAILED(patch->pVB->Lock(static_cast<UINT>(offset), static_cast<UINT>(bytes), &data, 0)) || !data) {
    return;
  }
  TerrainVertex* block = reinterpret_cast<TerrainVertex*>(data);

  // World units to heightmap samples, which index the patch's vertex grid.
  std::int64_t cx = (static_cast<std::int64_t>(x) - patch->X0) / 8;
  std::int64_t cz = (static_cast<std::int64_t>(z) - patch->Z0) / 8;
  WriteLog("Painting");

  const std::int64_t size = g_BrushSize;
  cx -= size / 2;
  cz -= size / 2;
  if (cx < 0) cx = 0;
  if (cz < 0) cz = 0;
  // Exclusive ends: the last vertex of a row or column is never painted.
  const std::int64_t ex = cx + size < verts - 1 ? cx + size : verts - 1;
  const std::int64_t ez = cz + size < verts - 1 ? cz + size : verts - 1;

  if (cx < ex && cz < ez) {
    // Every vertex of the stroke gets the same pair, so the square shows a
    // single texel of the base texture. Both ends are positive here.
    const float du = g_BrushStrength / static_cast<float>(ex);
    const float dv = g_BrushStrength / static_cast<float>(ez);
    float u = g_BrushU + du;
    float v = g_BrushV + dv;
    u = u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);
    v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    for (std::int64_t row = cz; row < ez; ++row) {
      for (std::int64_t column = cx; column < ex; ++column) {
        TerrainVertex& vertex = block[row * verts + column];
        vertex.Tex[0][0] = u;
        vertex.Tex[0][1] = v;
        vertex.Tex[2][0] = u;
        vertex.Tex[2][1] = v;
      }
    }
  }

  patch->pVB->Unlock();
  WriteLog("Done Painting");
}
