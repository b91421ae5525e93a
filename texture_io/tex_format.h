// The formats the loader can produce or choose, and the choice of a
// texture's size, level count and format against a device.
#pragma once

#include <cstdint>

#include "texture_io/d3dx8_tex.h"

namespace qv::tex {

enum class FormatKind : std::uint8_t { Colour = 0, Palette = 1, Luminance = 2, Bump = 3 };

// One row of the format table. The five channel widths are, for colour
// formats, (none, alpha, red, green, blue); for bump formats (luminance, Q,
// W, V, U); luminance formats give the luminance width as red, green and
// blue; palette formats the widths of their palette entries.
struct FormatRow {
  D3DFORMAT format;
  FormatKind kind;
  std::uint8_t bits;
  std::uint8_t channels[5];
  bool substitute;  // may stand in for another format
};

// The table's row for a format, or null when it has none.
const FormatRow* FindFormatRow(D3DFORMAT format);
// The row to compare against: a format missing from the table counts as a
// 32-bit colour format with 8 bits in each of alpha, red, green and blue.
FormatRow DescribeFormat(D3DFORMAT format);
bool IsBumpFormat(D3DFORMAT format);
bool IsDxtFormat(D3DFORMAT format);

// How badly `row` stands in for `wanted`: lower is better, kUnusable when
// it cannot stand in at all.
constexpr std::uint64_t kUnusable = ~std::uint64_t(0);
std::uint64_t ScoreFormat(const FormatRow& wanted, const FormatRow& row);

// What to create. Fields start as the caller's wishes (sizes and levels
// already resolved from the image where left open) and are brought within
// what the device can do by CheckTextureRequirements.
struct TextureRequest {
  UINT width = D3DX_DEFAULT;
  UINT height = D3DX_DEFAULT;
  UINT levels = 0;  // 0 or D3DX_DEFAULT: a full chain
  DWORD usage = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DPOOL pool = D3DPOOL_MANAGED;
};

// D3DERR_INVALIDCALL for bad usage or pool, D3DERR_NOTAVAILABLE when no
// format of the table suits the device, else D3D_OK with the request filled.
HRESULT CheckTextureRequirements(IDirect3DDevice8* device, TextureRequest& request);

}  // namespace qv::tex
