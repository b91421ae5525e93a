// The terrain's four textures, one per stage, and their linear filtering.
#include "log/log_file.h"
#include "platform/win32/win32.h"
#include "terrain/terrain.h"
#include "texture_io/d3dx8_tex.h"

void Terrain::LoadTextures(const char* name0, const char* name1, const char* name2, const char* name3) {
  const char* const names[4] = {name0, name1, name2, name3};

  // A stage whose file did not load holds no texture: the drawer hands all
  // four to the pixel-shader set-up every frame, so no stale or half-made
  // pointer may be left here.
  for (IDirect3DTexture8*& texture : m_pTextures) texture = nullptr;

  for (int i = 0; i < 4; ++i) {
    IDirect3DTexture8* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileA(g_pd3dDevice, names[i] ? names[i] : "", &texture);
    if (FAILED(hr) || !texture) {
      // The first failure stops loading: the later files are not opened and
      // no filter is set.
      if (g_pLog) g_pLog->Write("COULDNT LOAD TEXTURE");
      OutputDebugStringA("Failed to load texture.");
      return;
    }
    m_pTextures[i] = texture;
  }

  if (!g_pd3dDevice) return;
  static const DWORD kStageOrder[4] = {2, 3, 0, 1};
  static const D3DTEXTURESTAGESTATETYPE kFilters[3] = {D3DTSS_MIPFILTER, D3DTSS_MAGFILTER, D3DTSS_MINFILTER};
  for (DWORD stage : kStageOrder) {
    for (D3DTEXTURESTAGESTATETYPE filter : kFilters) {
      g_pd3dDevice->SetTextureStageState(stage, filter, D3DTEXF_LINEAR);
    }
  }
}
