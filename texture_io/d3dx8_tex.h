// Texture creation from image files, under the Direct3D extension library's
// names: BMP, PPM, DDS, JPEG, PNG, TGA and DIB files become Direct3D 8
// textures with a full mipmap chain, in a format the device takes.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8.h"
#include "texture_io/d3dx8_errors.h"

// Leave a size, level count, usage or filter to the loader.
constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;

// Filters (low byte) and their modifiers.
constexpr DWORD D3DX_FILTER_NONE = 1;      // copy, no scaling; outside the source is transparent black
constexpr DWORD D3DX_FILTER_POINT = 2;     // nearest texel
constexpr DWORD D3DX_FILTER_LINEAR = 3;    // bilinear between the four nearest texels
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;  // tent over every texel the target covers
constexpr DWORD D3DX_FILTER_BOX = 5;       // average of the texels the target covers
constexpr DWORD D3DX_FILTER_MIRROR_U = 0x00010000;  // mirror instead of wrap across the u edges
constexpr DWORD D3DX_FILTER_MIRROR_V = 0x00020000;
constexpr DWORD D3DX_FILTER_MIRROR_W = 0x00040000;
constexpr DWORD D3DX_FILTER_MIRROR = 0x00070000;
constexpr DWORD D3DX_FILTER_DITHER = 0x00080000;  // ordered dither when channels lose bits

enum D3DXIMAGE_FILEFORMAT : std::uint32_t {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
};

// What the loader found in the file.
struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;        // always 1
  UINT MipLevels;    // levels the file carries
  D3DFORMAT Format;  // format of the file's pixels
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

// Loads a file with every choice left to the loader: size and levels from the
// file (full chain), usage 0, the file's format as far as the device takes
// it, the managed pool, default filters, no colour key.
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, IDirect3DTexture8** ppTexture);

// Width, Height and MipLevels may be D3DX_DEFAULT (or 0); Format may be
// D3DFMT_UNKNOWN. ColorKey (ARGB, 0 = none) turns matching pixels into
// transparent black. pSrcInfo and pPalette (256 entries, peFlags holding the
// alpha) may be null.
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                     DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                     D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                     IDirect3DTexture8** ppTexture);

// The same for a file already in memory.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            PALETTEENTRY* pPalette, IDirect3DTexture8** ppTexture);

// Fills every level after SrcLevel (D3DX_DEFAULT = 0) from the levels above
// it with Filter (D3DX_DEFAULT: point for bump formats, box otherwise).
// pPalette is used for palette formats and may be null.
HRESULT D3DXFilterTexture(IDirect3DBaseTexture8* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter);
