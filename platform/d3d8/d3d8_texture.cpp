// Textures and their level surfaces. Every level keeps a system-memory copy
// in the Direct3D layout; LockRect hands it out and UnlockRect uploads the
// level. System-memory textures have no GL object: they only feed
// UpdateTexture.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3d8/d3d8_internal.h"

namespace qv::d3d8 {
namespace {

constexpr UINT kMaxTextureSize = 8192;

UINT FullChain(UINT w, UINT h) {
  UINT n = 1;
  while (w > 1 || h > 1) {
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
    ++n;
  }
  return n;
}

}  // namespace

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format,
                 D3DPOOL pool)
    : DeviceResource(device), m_format(format), m_pool(pool), m_usage(usage) {
  m_device->AddRef();
  const UINT chain = FullChain(width, height);
  if (levels == 0 || levels > chain) levels = chain;
  try {
    m_levels.resize(levels);
    for (UINT i = 0; i < levels; ++i) {
      Level& l = m_levels[i];
      l.width = std::max(1u, width >> i);
      l.height = std::max(1u, height >> i);
      l.data.assign(static_cast<std::size_t>(FormatLevelSize(*format, l.width, l.height)), 0);
      m_surfaces.push_back(std::make_unique<Surface>(this, i));
    }
  } catch (...) {
    return;
  }
  if (pool != D3DPOOL_SYSTEMMEM) {
    m_device->MakeCurrent();
    glGenTextures(1, &m_gl);
    m_device->Gl().BindTexture(kUploadUnit, m_gl);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, format->swizzle);
    for (UINT i = 0; i < levels; ++i) {
      const Level& l = m_levels[i];
      if (format->compressed)
        glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), format->internalFormat,
                               static_cast<GLsizei>(l.width), static_cast<GLsizei>(l.height), 0,
                               static_cast<GLsizei>(l.data.size()), l.data.data());
      else
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(format->internalFormat),
                     static_cast<GLsizei>(l.width), static_cast<GLsizei>(l.height), 0, format->glFormat,
                     format->glType, l.data.data());
    }
    if (glGetError() != GL_NO_ERROR) return;
  }
  m_valid = true;
}

Texture::~Texture() {
  m_device->MakeCurrent();
  m_device->ForgetTexture(this);
  if (m_gl && m_device->ContextUsable()) glDeleteTextures(1, &m_gl);
  m_device->Release();
}

DWORD Texture::SetLOD(DWORD lod) {
  const DWORD old = m_lod;
  if (m_pool != D3DPOOL_MANAGED) return 0;
  m_lod = std::min<DWORD>(lod, static_cast<DWORD>(m_levels.size() - 1));
  m_device->MakeCurrent();
  m_device->FlushDraws();
  m_device->Gl().BindTexture(kUploadUnit, m_gl);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(m_lod));
  return old;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* pDesc) {
  if (!pDesc || level >= m_levels.size()) return D3DERR_INVALIDCALL;
  const Level& l = m_levels[level];
  pDesc->Format = m_format->format;
  pDesc->Type = D3DRTYPE_SURFACE;
  pDesc->Usage = m_usage;
  pDesc->Pool = m_pool;
  pDesc->Size = static_cast<UINT>(l.data.size());
  pDesc->MultiSampleType = D3DMULTISAMPLE_NONE;
  pDesc->Width = l.width;
  pDesc->Height = l.height;
  return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface8** ppSurface) {
  if (!ppSurface) return D3DERR_INVALIDCALL;
  *ppSurface = nullptr;
  if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
  AddRef();
  *ppSurface = m_surfaces[level].get();
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) {
  if (!pLocked || level >= m_levels.size()) return D3DERR_INVALIDCALL;
  pLocked->pBits = nullptr;
  pLocked->Pitch = 0;
  // Default-pool textures live on the GPU side only, as in Direct3D 8.
  if (m_pool == D3DPOOL_DEFAULT && !(m_usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
  Level& l = m_levels[level];
  if (l.locked) return D3DERR_INVALIDCALL;
  const UINT pitch = FormatPitch(*m_format, l.width);
  std::size_t offset = 0;
  if (pRect) {
    if (pRect->left < 0 || pRect->top < 0 || pRect->right <= pRect->left || pRect->bottom <= pRect->top ||
        static_cast<UINT>(pRect->right) > l.width || static_cast<UINT>(pRect->bottom) > l.height)
      return D3DERR_INVALIDCALL;
    const UINT block = m_format->compressed ? 4 : 1;
    if (pRect->left % block || pRect->top % block) return D3DERR_INVALIDCALL;
    offset = static_cast<std::size_t>(pRect->top / block) * pitch +
             static_cast<std::size_t>(pRect->left / block) * m_format->blockBytes;
  }
  l.locked = true;
  l.lockFlags = flags;
  pLocked->Pitch = static_cast<INT>(pitch);
  pLocked->pBits = l.data.data() + offset;
  return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= m_levels.size() || !m_levels[level].locked) return D3DERR_INVALIDCALL;
  m_levels[level].locked = false;
  if (!(m_levels[level].lockFlags & D3DLOCK_READONLY)) Upload(level);
  return D3D_OK;
}

void Texture::Upload(UINT level) {
  if (!m_gl) return;
  const Level& l = m_levels[level];
  m_device->MakeCurrent();
  m_device->FlushDraws();  // draws already issued must see the old contents
  m_device->Gl().BindTexture(kUploadUnit, m_gl);
  if (m_format->compressed)
    glCompressedTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(l.width),
                              static_cast<GLsizei>(l.height), m_format->internalFormat,
                              static_cast<GLsizei>(l.data.size()), l.data.data());
  else
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(l.width),
                    static_cast<GLsizei>(l.height), m_format->glFormat, m_format->glType, l.data.data());
}

HRESULT Texture::UpdateFrom(const Texture& src) {
  if (src.m_format != m_format) return D3DERR_INVALIDCALL;
  // The source may carry more levels above: start where the sizes match.
  std::size_t first = 0;
  while (first < src.m_levels.size() &&
         (src.m_levels[first].width != m_levels[0].width || src.m_levels[first].height != m_levels[0].height))
    ++first;
  if (first + m_levels.size() > src.m_levels.size()) return D3DERR_INVALIDCALL;
  for (std::size_t i = 0; i < m_levels.size(); ++i) {
    if (src.m_levels[first + i].locked || m_levels[i].locked) return D3DERR_INVALIDCALL;
  }
  for (std::size_t i = 0; i < m_levels.size(); ++i) {
    m_levels[i].data = src.m_levels[first + i].data;
    Upload(static_cast<UINT>(i));
  }
  return D3D_OK;
}

// --- surfaces ----------------------------------------------------------------------------

HRESULT Surface::QueryInterface(REFIID, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return E_NOINTERFACE;
}
ULONG Surface::AddRef() { return m_owner->AddRef(); }
ULONG Surface::Release() { return m_owner->Release(); }
HRESULT Surface::GetDevice(IDirect3DDevice8** ppDevice) { return m_owner->GetDevice(ppDevice); }
// The only container a surface has here is its texture.
HRESULT Surface::GetContainer(REFIID, void** ppContainer) {
  if (!ppContainer) return D3DERR_INVALIDCALL;
  m_owner->AddRef();
  *ppContainer = static_cast<IDirect3DTexture8*>(m_owner);
  return D3D_OK;
}
HRESULT Surface::GetDesc(D3DSURFACE_DESC* pDesc) { return m_owner->GetLevelDesc(m_level, pDesc); }
HRESULT Surface::LockRect(D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) {
  return m_owner->LockRect(m_level, pLocked, pRect, flags);
}
HRESULT Surface::UnlockRect() { return m_owner->UnlockRect(m_level); }

// --- creation and update on the device ---------------------------------------------------

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture8** ppTexture) {
  if (!ppTexture) return D3DERR_INVALIDCALL;
  *ppTexture = nullptr;
  if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize ||
      pool > D3DPOOL_SYSTEMMEM)
    return D3DERR_INVALIDCALL;
  if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
  MakeCurrent();
  const FormatInfo* f = FindTextureFormat(format, ContextHasS3tc());
  if (!f) return D3DERR_INVALIDCALL;
  auto* t = new (std::nothrow) Texture(this, width, height, levels, usage, f, pool);
  if (!t) return E_OUTOFMEMORY;
  if (!t->Valid()) {
    t->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *ppTexture = t;
  return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture8* pSource, IDirect3DBaseTexture8* pDest) {
  if (!pSource || !pDest) return D3DERR_INVALIDCALL;
  auto* src = dynamic_cast<Texture*>(pSource);
  auto* dst = dynamic_cast<Texture*>(pDest);
  if (!src || !dst || src == dst || !src->Valid() || !dst->Valid()) return D3DERR_INVALIDCALL;
  if (src->Pool() != D3DPOOL_SYSTEMMEM || dst->Pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  return dst->UpdateFrom(*src);
}

}  // namespace qv::d3d8
