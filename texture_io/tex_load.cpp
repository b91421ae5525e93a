// Texture creation from image files: reading the file through a read-only
// mapping, finding a reader, choosing the texture and filling its levels.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "platform/win32/win32.h"
#include "texture_io/d3dx8_tex.h"
#include "texture_io/tex_convert.h"
#include "texture_io/tex_format.h"
#include "texture_io/tex_image.h"

namespace qv::tex {

ReadResult ReadImage(const std::uint8_t* data, std::size_t size, TexImageChain& out, bool deferPixels) {
  using Reader = ReadResult (*)(const std::uint8_t*, std::size_t, TexImageChain&);
  // Strongest signatures first; TGA has none, and a bare DIB header is tried last.
  static constexpr Reader s_readers[] = {ReadBmp, ReadPpm, ReadDds, ReadJpeg, ReadPng, ReadTga, ReadDib};
  static_assert(sizeof s_readers / sizeof s_readers[0] == static_cast<std::size_t>(TexReader::Count),
                "one reader for each name");
  ClearRejections();
  for (std::size_t i = 0; i < static_cast<std::size_t>(TexReader::Count); ++i) {
    const TexReaderScope running(static_cast<TexReader>(i));
    out = TexImageChain();
    out.deferPixels = deferPixels;
    const ReadResult r = s_readers[i](data, size, out);
    if (r == ReadResult::Accepted && !out.levels.empty()) return r;
    if (r == ReadResult::TooLarge) {
      out = TexImageChain();
      return r;
    }
  }
  out = TexImageChain();
  return ReadResult::Rejected;
}

namespace {

// Holds one reference and releases it at the end of its scope.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : m_p(p) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Reset(); }
  void Reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }
  T** Out() {
    Reset();
    return &m_p;
  }
  T* Get() const { return m_p; }
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }

 private:
  T* m_p = nullptr;
};

// A locked surface level, unlocked at the end of its scope.
class LockedLevel {
 public:
  HRESULT Lock(IDirect3DTexture8* texture, UINT level, DWORD flags) {
    HRESULT hr = texture->GetLevelDesc(level, &m_desc);
    if (FAILED(hr)) return hr;
    hr = texture->GetSurfaceLevel(level, m_surface.Out());
    if (FAILED(hr)) return hr;
    if (!m_surface.Get()) return D3DERR_INVALIDCALL;
    hr = m_surface.Get()->LockRect(&m_rect, nullptr, flags);
    if (FAILED(hr)) return hr;
    if (!m_rect.pBits || m_rect.Pitch <= 0) {
      m_surface.Get()->UnlockRect();
      return D3DERR_INVALIDCALL;
    }
    m_locked = true;
    return D3D_OK;
  }
  ~LockedLevel() {
    if (m_locked) m_surface.Get()->UnlockRect();
  }
  const D3DSURFACE_DESC& Desc() const { return m_desc; }
  std::uint8_t* Bits() const { return static_cast<std::uint8_t*>(m_rect.pBits); }
  std::uint32_t Pitch() const { return static_cast<std::uint32_t>(m_rect.Pitch); }

 private:
  Ref<IDirect3DSurface8> m_surface;
  D3DSURFACE_DESC m_desc{};
  D3DLOCKED_RECT m_rect{};
  bool m_locked = false;
};

bool FilterValid(DWORD filter) {
  const DWORD kind = filter & 0xFF;
  return kind >= D3DX_FILTER_NONE && kind <= D3DX_FILTER_BOX &&
         (filter & ~(0xFFu | D3DX_FILTER_MIRROR | D3DX_FILTER_DITHER)) == 0;
}

bool IsPaletteFormat(D3DFORMAT f) { return f == D3DFMT_P8 || f == D3DFMT_A8P8; }

// The pixels of a locked level, as a source or a target of ConvertImage.
PixelRect LevelPixels(const LockedLevel& level, const PALETTEENTRY* palette) {
  PixelRect r;
  r.format = level.Desc().Format;
  r.data = r.writable = level.Bits();
  r.pitch = level.Pitch();
  r.width = level.Desc().Width;
  r.height = level.Desc().Height;
  r.palette = palette;
  return r;
}

// Writes `src` into a level, converted and resampled to it.
HRESULT StoreLevel(IDirect3DTexture8* texture, UINT level, const PixelRect& src, DWORD filter,
                   D3DCOLOR colorKey) {
  LockedLevel dst;
  HRESULT hr = dst.Lock(texture, level, 0);
  if (FAILED(hr)) return hr;
  if (!ConvertImage(src, LevelPixels(dst, src.palette), filter, colorKey, (filter & D3DX_FILTER_DITHER) != 0))
    return D3DERR_INVALIDCALL;
  return D3D_OK;
}

// Loads an image record into a texture level. A record already in the
// level's format and size is copied as it is, so nothing is lost to
// conversion (DXT blocks stay as they were); anything else is converted.
HRESULT LoadLevel(IDirect3DTexture8* texture, UINT level, TexImage& img, DWORD filter, D3DCOLOR colorKey) {
  D3DSURFACE_DESC desc{};
  HRESULT hr = texture->GetLevelDesc(level, &desc);
  if (FAILED(hr)) return hr;
  const PALETTEENTRY* palette = img.palette.empty() ? nullptr : img.palette.data();
  if (desc.Format == img.format && desc.Width == img.width && desc.Height == img.height && colorKey == 0) {
    LockedLevel dst;
    hr = dst.Lock(texture, level, 0);
    if (FAILED(hr)) return hr;
    const std::uint32_t rowBytes = RowBytes(img.format, img.width);
    if (rowBytes == 0 || dst.Pitch() < rowBytes) return D3DERR_INVALIDCALL;
    // Pixels still in the file are decoded straight into the level.
    if (!img.data && img.decode) return img.decode(dst.Bits(), dst.Pitch()) ? D3D_OK : D3DXERR_INVALIDDATA;
    for (std::uint32_t r = 0; r < RowCount(img.format, img.height); ++r)
      std::memcpy(dst.Bits() + std::size_t(r) * dst.Pitch(), img.data + std::size_t(r) * img.pitch, rowBytes);
    return D3D_OK;
  }
  if (!img.data && img.decode) {
    img.storage.resize(std::size_t(img.pitch) * img.height);
    if (!img.decode(img.storage.data(), img.pitch)) return D3DXERR_INVALIDDATA;
    img.data = img.storage.data();
  }
  // The record must decode as a whole before anything is written.
  if (!img.data || !CanConvertFormat(img.format) || (IsPaletteFormat(img.format) && !palette) ||
      img.pitch < RowBytes(img.format, img.width))
    return D3DXERR_INVALIDDATA;
  PixelRect src;
  src.format = img.format;
  src.data = img.data;
  src.pitch = img.pitch;
  src.width = img.width;
  src.height = img.height;
  src.palette = palette;
  return StoreLevel(texture, level, src, filter, colorKey);
}

HRESULT FilterLevels(IDirect3DTexture8* texture, const PALETTEENTRY* palette, UINT srcLevel, DWORD filter) {
  const UINT count = texture->GetLevelCount();
  if (srcLevel == D3DX_DEFAULT) srcLevel = 0;
  if (srcLevel >= count) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{};
  HRESULT hr = texture->GetLevelDesc(srcLevel, &desc);
  if (FAILED(hr)) return hr;
  if (filter == D3DX_DEFAULT) filter = IsBumpFormat(desc.Format) ? D3DX_FILTER_POINT : D3DX_FILTER_BOX;
  if (!FilterValid(filter)) return D3DERR_INVALIDCALL;
  if (!CanConvertFormat(desc.Format) || (IsPaletteFormat(desc.Format) && !palette)) return D3DERR_INVALIDCALL;
  // Point and box build each level from the one before; the others go back
  // to the source level every time. The box filter on byte channels works
  // on the bytes themselves.
  const DWORD kind = filter & 0xFF;
  const bool chained = kind == D3DX_FILTER_POINT || kind == D3DX_FILTER_BOX;
  for (UINT level = srcLevel + 1; level < count; ++level) {
    LockedLevel src;
    hr = src.Lock(texture, chained ? level - 1 : srcLevel, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    const PixelRect from = LevelPixels(src, palette);
    if (kind == D3DX_FILTER_BOX) {
      LockedLevel dst;
      hr = dst.Lock(texture, level, 0);
      if (FAILED(hr)) return hr;
      if (HalveBytes(from, LevelPixels(dst, palette))) continue;
    }
    hr = StoreLevel(texture, level, from, filter, 0);
    if (FAILED(hr)) return hr;
  }
  return D3D_OK;
}

}  // namespace

HRESULT CreateTextureFromImage(IDirect3DDevice8* device, TexImageChain& chain, UINT width, UINT height,
                               UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                               DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                               PALETTEENTRY* paletteOut, IDirect3DTexture8** ppTexture) {
  if (chain.levels.empty()) return D3DXERR_INVALIDDATA;
  const TexImage& first = chain.levels.front();
  if (info) {
    info->Width = first.width;
    info->Height = first.height;
    info->Depth = 1;
    info->MipLevels = static_cast<UINT>(chain.levels.size());
    info->Format = first.format;
    info->ResourceType = D3DRTYPE_TEXTURE;
    info->ImageFileFormat = chain.fileFormat;
  }

  // The wanted format.
  const D3DFORMAT imageFormat = first.format;
  if (format == D3DFMT_UNKNOWN) {
    format = imageFormat == D3DFMT_R8G8B8 ? D3DFMT_X8R8G8B8 : imageFormat;
    // Palette images without a palette asked for become colour first, so
    // that a colour key can still give them an alpha channel.
    if (!paletteOut) {
      if (format == D3DFMT_A8P8) {
        format = D3DFMT_A8R8G8B8;
      } else if (format == D3DFMT_P8) {
        bool translucent = false;
        for (const PALETTEENTRY& e : first.palette) translucent = translucent || e.peFlags != 255;
        format = translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
      }
    }
    if (colorKey != 0) {
      switch (format) {
        case D3DFMT_X1R5G5B5:
        case D3DFMT_R3G3B2:
        case D3DFMT_X4R4G4B4: format = D3DFMT_A1R5G5B5; break;
        case D3DFMT_L8: format = D3DFMT_A8L8; break;
        case D3DFMT_R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_R5G6B5: format = D3DFMT_A8R8G8B8; break;
        default: break;
      }
    }
  }
  const bool bump = IsBumpFormat(imageFormat);
  if (filter == D3DX_DEFAULT) filter = (bump ? D3DX_FILTER_POINT : D3DX_FILTER_TRIANGLE) | D3DX_FILTER_DITHER;
  if (mipFilter == D3DX_DEFAULT) mipFilter = bump ? D3DX_FILTER_POINT : D3DX_FILTER_BOX;

  // Arguments are checked once the image is read, with the device's
  // requirements: a file no reader accepts is bad data whatever was asked.
  if (usage == D3DX_DEFAULT) usage = 0;
  if ((usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) ||
      (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM) ||
      !FilterValid(filter) || !FilterValid(mipFilter))
    return D3DERR_INVALIDCALL;

  TextureRequest request;
  request.width = (width == 0 || width == D3DX_DEFAULT) ? first.width : width;
  request.height = (height == 0 || height == D3DX_DEFAULT) ? first.height : height;
  request.levels = mipLevels;
  request.usage = usage;
  request.format = format;
  request.pool = pool;
  HRESULT hr = CheckTextureRequirements(device, request);
  if (FAILED(hr)) return hr;
  if (!CanConvertFormat(request.format)) return D3DERR_NOTAVAILABLE;

  Ref<IDirect3DTexture8> texture;
  hr = device->CreateTexture(request.width, request.height, request.levels, request.usage, request.format,
                             request.pool, texture.Out());
  if (FAILED(hr)) return hr;
  if (!texture.Get()) return D3DERR_INVALIDCALL;
  // A texture in the default pool cannot be locked: fill a copy in system
  // memory and hand it over at the end.
  Ref<IDirect3DTexture8> staging;
  if (request.pool == D3DPOOL_DEFAULT) {
    hr = device->CreateTexture(request.width, request.height, texture.Get()->GetLevelCount(), 0,
                               request.format, D3DPOOL_SYSTEMMEM, staging.Out());
    if (FAILED(hr)) return hr;
    if (!staging.Get()) return D3DERR_INVALIDCALL;
  }
  IDirect3DTexture8* target = staging.Get() ? staging.Get() : texture.Get();
  const UINT levelCount = target->GetLevelCount();
  if (levelCount == 0) return D3DERR_INVALIDCALL;

  UINT loaded = 0;
  for (TexImage& img : chain.levels) {
    if (loaded >= levelCount) break;
    hr = LoadLevel(target, loaded, img, filter, colorKey);
    if (FAILED(hr)) return hr;
    ++loaded;
  }
  if (loaded < levelCount) {
    TexImage& last = chain.levels[loaded - 1];
    const DWORD kind = mipFilter & 0xFF;
    if ((filter & 0xFF) == D3DX_FILTER_NONE || kind == D3DX_FILTER_POINT || kind == D3DX_FILTER_BOX) {
      // The other levels come from the texture itself: the decoded image is
      // let go first, so that it and the whole chain never coexist.
      for (TexImage& img : chain.levels) {
        std::vector<std::uint8_t>().swap(img.storage);
        img.data = nullptr;
      }
      hr = FilterLevels(target, last.palette.empty() ? nullptr : last.palette.data(), loaded - 1, mipFilter);
      if (FAILED(hr)) return hr;
    } else {
      for (UINT level = loaded; level < levelCount; ++level) {
        hr = LoadLevel(target, level, last, mipFilter, colorKey);
        if (FAILED(hr)) return hr;
      }
    }
  }
  if (staging.Get()) {
    hr = device->UpdateTexture(staging.Get(), texture.Get());
    if (FAILED(hr)) return hr;
  }
  if (paletteOut && !first.palette.empty())
    std::memcpy(paletteOut, first.palette.data(), 256 * sizeof(PALETTEENTRY));
  *ppTexture = texture.Detach();
  return D3D_OK;
}

namespace {

// The system error behind a failed file call, as a result code. A call
// that failed without setting an error must still not read as success.
HRESULT LastErrorResult() {
  const DWORD e = GetLastError();
  return e == 0 ? E_FAIL : HRESULT_FROM_WIN32(e);
}

}  // namespace

}  // namespace qv::tex

using namespace qv::tex;

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            PALETTEENTRY* pPalette, IDirect3DTexture8** ppTexture) {
  if (!pDevice || !pSrcData || !ppTexture) return D3DERR_INVALIDCALL;
  try {
    TexImageChain chain;
    const ReadResult read = ReadImage(static_cast<const std::uint8_t*>(pSrcData), SrcDataSize, chain, true);
    if (read == ReadResult::TooLarge) return E_OUTOFMEMORY;
    if (read != ReadResult::Accepted) return D3DXERR_INVALIDDATA;
    return CreateTextureFromImage(pDevice, chain, Width, Height, MipLevels, Usage, Format, Pool, Filter,
                                  MipFilter, ColorKey, pSrcInfo, pPalette, ppTexture);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                     DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                     D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                     IDirect3DTexture8** ppTexture) {
  if (!pDevice || !pSrcFile || !ppTexture) return D3DERR_INVALIDCALL;
  HANDLE file = CreateFileA(pSrcFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return LastErrorResult();
  DWORD sizeHigh = 0;
  SetLastError(0);
  const DWORD size = GetFileSize(file, &sizeHigh);
  if (size == INVALID_FILE_SIZE && GetLastError() != 0) {
    const HRESULT hr = LastErrorResult();
    CloseHandle(file);
    return hr;
  }
  if (sizeHigh != 0) {  // over 4 GiB: no texture file is that large
    CloseHandle(file);
    return E_OUTOFMEMORY;
  }
  HRESULT hr;
  if (size == 0) {
    // An empty file cannot be mapped; no reader accepts it either.
    static const std::uint8_t s_empty = 0;
    hr =
        D3DXCreateTextureFromFileInMemoryEx(pDevice, &s_empty, 0, Width, Height, MipLevels, Usage, Format,
                                            Pool, Filter, MipFilter, ColorKey, pSrcInfo, pPalette, ppTexture);
  } else {
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
      hr = LastErrorResult();
      CloseHandle(file);
      return hr;
    }
    LPVOID view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
      hr = LastErrorResult();
      CloseHandle(mapping);
      CloseHandle(file);
      return hr;
    }
    hr =
        D3DXCreateTextureFromFileInMemoryEx(pDevice, view, size, Width, Height, MipLevels, Usage, Format,
                                            Pool, Filter, MipFilter, ColorKey, pSrcInfo, pPalette, ppTexture);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
  }
  CloseHandle(file);
  return hr;
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile,
                                   IDirect3DTexture8** ppTexture) {
  return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                      D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                      nullptr, ppTexture);
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture8* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter) {
  if (!pBaseTexture || pBaseTexture->GetType() != D3DRTYPE_TEXTURE) return D3DERR_INVALIDCALL;
  try {
    return FilterLevels(static_cast<IDirect3DTexture8*>(pBaseTexture), pPalette, SrcLevel, Filter);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}
