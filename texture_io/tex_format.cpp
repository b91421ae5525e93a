#include "texture_io/tex_format.h"

#include <iterator>

namespace qv::tex {

namespace {

using K = FormatKind;

// In the order the choice goes through them; every row is asked of the device.
constexpr FormatRow s_formats[] = {
    {D3DFMT_R8G8B8, K::Colour, 24, {0, 0, 8, 8, 8}, false},
    {D3DFMT_A8R8G8B8, K::Colour, 32, {0, 8, 8, 8, 8}, true},
    {D3DFMT_X8R8G8B8, K::Colour, 32, {0, 0, 8, 8, 8}, true},
    {D3DFMT_R5G6B5, K::Colour, 16, {0, 0, 5, 6, 5}, true},
    {D3DFMT_X1R5G5B5, K::Colour, 16, {0, 0, 5, 5, 5}, true},
    {D3DFMT_A8P8, K::Palette, 16, {0, 8, 8, 8, 8}, true},
    {D3DFMT_P8, K::Palette, 8, {0, 8, 8, 8, 8}, true},
    {D3DFMT_A1R5G5B5, K::Colour, 16, {0, 1, 5, 5, 5}, true},
    {D3DFMT_A4R4G4B4, K::Colour, 16, {0, 4, 4, 4, 4}, true},
    {D3DFMT_R3G3B2, K::Colour, 8, {0, 0, 3, 3, 2}, true},
    {D3DFMT_A8, K::Colour, 8, {0, 8, 0, 0, 0}, true},
    {D3DFMT_A8R3G3B2, K::Colour, 16, {0, 8, 3, 3, 2}, true},
    {D3DFMT_X4R4G4B4, K::Colour, 16, {0, 0, 4, 4, 4}, true},
    {D3DFMT_L8, K::Luminance, 8, {0, 0, 8, 8, 8}, true},
    {D3DFMT_A8L8, K::Luminance, 16, {0, 8, 8, 8, 8}, true},
    {D3DFMT_A4L4, K::Luminance, 8, {0, 4, 4, 4, 4}, true},
    {D3DFMT_V8U8, K::Bump, 16, {0, 0, 0, 8, 8}, true},
    {D3DFMT_L6V5U5, K::Bump, 16, {6, 0, 0, 5, 5}, true},
    {D3DFMT_X8L8V8U8, K::Bump, 32, {8, 0, 0, 8, 8}, true},
    {D3DFMT_Q8W8V8U8, K::Bump, 32, {0, 8, 8, 8, 8}, true},
    {D3DFMT_V16U16, K::Bump, 32, {0, 0, 0, 16, 16}, true},
    {D3DFMT_W11V11U10, K::Bump, 32, {0, 0, 11, 11, 10}, true},
    {D3DFMT_UYVY, K::Colour, 16, {0, 0, 8, 8, 8}, false},
    {D3DFMT_YUY2, K::Colour, 16, {0, 0, 8, 8, 8}, false},
    {D3DFMT_DXT1, K::Colour, 16, {0, 1, 5, 6, 5}, false},
    {D3DFMT_DXT2, K::Colour, 16, {0, 4, 5, 6, 5}, false},
    {D3DFMT_DXT3, K::Colour, 16, {0, 4, 5, 6, 5}, false},
    {D3DFMT_DXT4, K::Colour, 16, {0, 3, 5, 6, 5}, false},
    {D3DFMT_DXT5, K::Colour, 16, {0, 3, 5, 6, 5}, false},
};
static_assert(std::size(s_formats) == 29, "one row per format the loader knows");

constexpr std::uint64_t kDropChannel = 16777216;  // the row lacks a wanted channel
constexpr std::uint64_t kNarrower = 65536;        // per bit the row's channel is short
constexpr std::uint64_t kAddChannel = 256;        // the row has a channel not wanted

bool IsPow2(UINT v) { return v != 0 && (v & (v - 1)) == 0; }

UINT NextPow2(UINT v) {
  UINT p = 1;
  while (p < v && p < 0x80000000u) p <<= 1;
  return p;
}

UINT PrevPow2(UINT v) {
  UINT p = 1;
  while (p * 2 <= v && p < 0x80000000u) p <<= 1;
  return p;
}

}  // namespace

const FormatRow* FindFormatRow(D3DFORMAT format) {
  for (const FormatRow& row : s_formats)
    if (row.format == format) return &row;
  return nullptr;
}

FormatRow DescribeFormat(D3DFORMAT format) {
  if (const FormatRow* row = FindFormatRow(format)) return *row;
  return FormatRow{format, K::Colour, 32, {0, 8, 8, 8, 8}, false};
}

bool IsBumpFormat(D3DFORMAT format) { return DescribeFormat(format).kind == K::Bump; }

bool IsDxtFormat(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

std::uint64_t ScoreFormat(const FormatRow& wanted, const FormatRow& row) {
  if (row.kind != wanted.kind) {
    const bool colourForPaletteOrLuminance =
        row.kind == K::Colour && (wanted.kind == K::Palette || wanted.kind == K::Luminance);
    if (!colourForPaletteOrLuminance) return kUnusable;
  }
  std::uint64_t score = 0;
  for (int i = 0; i < 5; ++i) {
    const std::uint64_t s = wanted.channels[i];
    const std::uint64_t c = row.channels[i];
    if (s == c) continue;
    if (s == 0)
      score += kAddChannel;
    else if (c == 0)
      score += kDropChannel;
    else if (c < s)
      score += (s - c) * kNarrower;
    else
      score += c - s;
  }
  return score;
}

HRESULT CheckTextureRequirements(IDirect3DDevice8* device, TextureRequest& r) {
  if (!device) return D3DERR_INVALIDCALL;
  if (r.usage == D3DX_DEFAULT) r.usage = 0;
  if (r.usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
  if (r.pool != D3DPOOL_DEFAULT && r.pool != D3DPOOL_MANAGED && r.pool != D3DPOOL_SYSTEMMEM)
    return D3DERR_INVALIDCALL;

  D3DCAPS8 caps{};
  HRESULT hr = device->GetDeviceCaps(&caps);
  if (FAILED(hr)) return hr;

  // Size.
  UINT w = r.width, h = r.height;
  if (w == D3DX_DEFAULT && h == D3DX_DEFAULT)
    w = h = 256;
  else if (w == D3DX_DEFAULT)
    w = h;
  else if (h == D3DX_DEFAULT)
    h = w;
  if (w == 0) w = 1;
  if (h == 0) h = 1;
  if (caps.MaxTextureWidth && w > caps.MaxTextureWidth) w = caps.MaxTextureWidth;
  if (caps.MaxTextureHeight && h > caps.MaxTextureHeight) h = caps.MaxTextureHeight;
  const UINT aspect = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
  if (aspect) {
    if (std::uint64_t(w) > std::uint64_t(aspect) * h) w = aspect * h;
    if (std::uint64_t(h) > std::uint64_t(aspect) * w) h = aspect * w;
  }
  const bool pow2Only =
      (caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
  if (pow2Only) {
    w = NextPow2(w);
    h = NextPow2(h);
    // Raising a side must not take it past the device's limit.
    if (caps.MaxTextureWidth && w > caps.MaxTextureWidth) w = PrevPow2(caps.MaxTextureWidth);
    if (caps.MaxTextureHeight && h > caps.MaxTextureHeight) h = PrevPow2(caps.MaxTextureHeight);
  }
  if (IsDxtFormat(r.format)) {
    w = (w + 3) & ~3u;
    h = (h + 3) & ~3u;
  }
  r.width = w;
  r.height = h;

  // Levels.
  if (!(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP) || !IsPow2(w) || !IsPow2(h)) {
    r.levels = 1;
  } else {
    UINT full = 1;
    for (UINT side = w > h ? w : h; side > 1; side >>= 1) ++full;
    if (r.levels == 0 || r.levels == D3DX_DEFAULT || r.levels > full) r.levels = full;
  }

  // Format: the wanted one if the device takes it, else the best substitute.
  IDirect3D8* d3d = nullptr;
  hr = device->GetDirect3D(&d3d);
  if (FAILED(hr) || !d3d) return FAILED(hr) ? hr : D3DERR_INVALIDCALL;
  D3DDISPLAYMODE mode{};
  hr = device->GetDisplayMode(&mode);
  if (FAILED(hr)) {
    d3d->Release();
    return hr;
  }
  // Caps that leave the device type open are taken to describe the HAL.
  const D3DDEVTYPE deviceType = caps.DeviceType ? caps.DeviceType : D3DDEVTYPE_HAL;
  const FormatRow wanted = DescribeFormat(r.format);
  const FormatRow* best = nullptr;
  std::uint64_t bestScore = kUnusable;
  for (const FormatRow& row : s_formats) {
    if (FAILED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, deviceType, mode.Format, r.usage, D3DRTYPE_TEXTURE,
                                      row.format)))
      continue;
    if (row.format == r.format) {
      best = &row;
      break;
    }
    if (!row.substitute) continue;
    const std::uint64_t score = ScoreFormat(wanted, row);
    if (score == kUnusable) continue;
    if (!best || score < bestScore || (score == bestScore && row.bits < best->bits)) {
      best = &row;
      bestScore = score;
    }
  }
  d3d->Release();
  if (!best) return D3DERR_NOTAVAILABLE;
  r.format = best->format;
  return D3D_OK;
}

}  // namespace qv::tex
