#include "texture_io/tex_convert.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "texture_io/tex_format.h"

namespace qv::tex {

namespace {

// A channel of a packed pixel: width, position, and whether it is signed.
struct Field {
  std::uint8_t bits, shift;
  bool isSigned;
};

// A format whose pixels are whole bytes holding bit fields. Fields are red,
// green, blue, alpha (U, V, W, Q/L for bump formats); a luminance format
// has its one channel in red and reads it into all three colours. `fill`
// holds bits that are set on writing (the unused X bits).
struct PackedLayout {
  D3DFORMAT format;
  std::uint8_t bytes;
  Field r, g, b, a;
  bool luminance;
  std::uint32_t fill;
};

constexpr Field U(std::uint8_t bits, std::uint8_t shift) { return {bits, shift, false}; }
constexpr Field S(std::uint8_t bits, std::uint8_t shift) { return {bits, shift, true}; }
constexpr Field None{0, 0, false};

constexpr PackedLayout s_packed[] = {
    {D3DFMT_R8G8B8, 3, U(8, 16), U(8, 8), U(8, 0), None, false, 0},
    {D3DFMT_A8R8G8B8, 4, U(8, 16), U(8, 8), U(8, 0), U(8, 24), false, 0},
    {D3DFMT_X8R8G8B8, 4, U(8, 16), U(8, 8), U(8, 0), None, false, 0xFF000000u},
    {D3DFMT_R5G6B5, 2, U(5, 11), U(6, 5), U(5, 0), None, false, 0},
    {D3DFMT_X1R5G5B5, 2, U(5, 10), U(5, 5), U(5, 0), None, false, 0x8000},
    {D3DFMT_A1R5G5B5, 2, U(5, 10), U(5, 5), U(5, 0), U(1, 15), false, 0},
    {D3DFMT_A4R4G4B4, 2, U(4, 8), U(4, 4), U(4, 0), U(4, 12), false, 0},
    {D3DFMT_R3G3B2, 1, U(3, 5), U(3, 2), U(2, 0), None, false, 0},
    {D3DFMT_A8, 1, None, None, None, U(8, 0), false, 0},
    {D3DFMT_A8R3G3B2, 2, U(3, 5), U(3, 2), U(2, 0), U(8, 8), false, 0},
    {D3DFMT_X4R4G4B4, 2, U(4, 8), U(4, 4), U(4, 0), None, false, 0xF000},
    {D3DFMT_L8, 1, U(8, 0), None, None, None, true, 0},
    {D3DFMT_A8L8, 2, U(8, 0), None, None, U(8, 8), true, 0},
    {D3DFMT_A4L4, 1, U(4, 0), None, None, U(4, 4), true, 0},
    {D3DFMT_V8U8, 2, S(8, 0), S(8, 8), None, None, false, 0},
    {D3DFMT_L6V5U5, 2, S(5, 0), S(5, 5), None, U(6, 10), false, 0},
    {D3DFMT_X8L8V8U8, 4, S(8, 0), S(8, 8), None, U(8, 16), false, 0xFF000000u},
    {D3DFMT_Q8W8V8U8, 4, S(8, 0), S(8, 8), S(8, 16), S(8, 24), false, 0},
    {D3DFMT_V16U16, 4, S(16, 0), S(16, 16), None, None, false, 0},
    {D3DFMT_W11V11U10, 4, S(10, 0), S(11, 10), S(11, 21), None, false, 0},
};

const PackedLayout* FindPacked(D3DFORMAT f) {
  for (const PackedLayout& l : s_packed)
    if (l.format == f) return &l;
  return nullptr;
}

// True when every channel the layout has is a whole unsigned byte, so
// pixels can be read and written byte by byte.
bool ByteChannels(const PackedLayout& l) {
  for (const Field* f : {&l.r, &l.g, &l.b, &l.a})
    if (f->bits != 0 && (f->bits != 8 || f->isSigned || f->shift % 8 != 0)) return false;
  return true;
}

std::uint32_t LoadLE(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= std::uint32_t(p[i]) << (8 * i);
  return v;
}

void StoreLE(std::uint8_t* p, int bytes, std::uint32_t v) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// 1 / (2^bits - 1): the step of an unsigned field of each width.
constexpr float kUnsignedStep[17] = {
    0,           1.0f,        1 / 3.0f,     1 / 7.0f,     1 / 15.0f,   1 / 31.0f,
    1 / 63.0f,   1 / 127.0f,  1 / 255.0f,   1 / 511.0f,   1 / 1023.0f, 1 / 2047.0f,
    1 / 4095.0f, 1 / 8191.0f, 1 / 16383.0f, 1 / 32767.0f, 1 / 65535.0f};

float ReadField(std::uint32_t v, const Field& f, float missing) {
  if (f.bits == 0) return missing;
  const std::uint32_t raw = (v >> f.shift) & ((1u << f.bits) - 1);
  if (!f.isSigned) return raw * kUnsignedStep[f.bits];
  const std::int32_t half = 1 << (f.bits - 1);
  const std::int32_t sv = raw >= std::uint32_t(half) ? std::int32_t(raw) - 2 * half : std::int32_t(raw);
  return std::max(-1.0f, sv * kUnsignedStep[f.bits - 1]);
}

// 4x4 ordered dither thresholds, centred on zero (in units of one step).
constexpr float s_bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
float DitherOffset(std::uint32_t x, std::uint32_t y) { return (s_bayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f; }

// Rounds to the nearest step; NaN and values out of range end at the limits.
std::uint32_t WriteField(float value, const Field& f, float dither) {
  if (f.bits == 0) return 0;
  const std::uint32_t mask = (1u << f.bits) - 1;
  const float d = f.bits < 8 ? dither : 0.0f;
  if (!f.isSigned) {
    const float maxv = float(mask);
    float q = value * maxv + 0.5f + d;
    q = q > 0.0f ? (q < maxv ? q : maxv) : 0.0f;
    return (static_cast<std::uint32_t>(q) & mask) << f.shift;
  }
  const float maxv = float((1 << (f.bits - 1)) - 1);
  float q = value * maxv + maxv + 0.5f + d;  // offset so that truncation rounds
  q = q > 0.0f ? (q < 2 * maxv ? q : 2 * maxv) : 0.0f;
  const std::int32_t sv = static_cast<std::int32_t>(q) - static_cast<std::int32_t>(maxv);
  return (static_cast<std::uint32_t>(sv) & mask) << f.shift;
}

// --- DXT --------------------------------------------------------------------------
void Expand565(std::uint16_t c, float out[3]) {
  const std::uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  out[0] = ((r << 3) | (r >> 2)) / 255.0f;
  out[1] = ((g << 2) | (g >> 4)) / 255.0f;
  out[2] = ((b << 3) | (b >> 2)) / 255.0f;
}

std::uint16_t Pack565(const float c[3]) {
  auto q = [](float v, int maxv) {
    return std::uint32_t(std::floor(std::clamp(v, 0.0f, 1.0f) * maxv + 0.5f));
  };
  return static_cast<std::uint16_t>((q(c[0], 31) << 11) | (q(c[1], 63) << 5) | q(c[2], 31));
}

// The four colours of a colour block; `threeColour` for DXT1 blocks whose
// first endpoint is not the larger (the fourth is then transparent black).
void BlockPalette(std::uint16_t c0, std::uint16_t c1, bool allowThree, float pal[4][4]) {
  Expand565(c0, pal[0]);
  Expand565(c1, pal[1]);
  pal[0][3] = pal[1][3] = 1.0f;
  if (c0 > c1 || !allowThree) {
    for (int k = 0; k < 3; ++k) {
      pal[2][k] = (2 * pal[0][k] + pal[1][k]) / 3;
      pal[3][k] = (pal[0][k] + 2 * pal[1][k]) / 3;
    }
    pal[2][3] = pal[3][3] = 1.0f;
  } else {
    for (int k = 0; k < 3; ++k) pal[2][k] = (pal[0][k] + pal[1][k]) / 2;
    pal[2][3] = 1.0f;
    pal[3][0] = pal[3][1] = pal[3][2] = pal[3][3] = 0.0f;
  }
}

void AlphaPalette(std::uint8_t a0, std::uint8_t a1, float pal[8]) {
  pal[0] = a0 / 255.0f;
  pal[1] = a1 / 255.0f;
  if (a0 > a1) {
    for (int k = 1; k <= 6; ++k) pal[k + 1] = ((7 - k) * a0 + k * a1) / 7.0f / 255.0f;
  } else {
    for (int k = 1; k <= 4; ++k) pal[k + 1] = ((5 - k) * a0 + k * a1) / 5.0f / 255.0f;
    pal[6] = 0.0f;
    pal[7] = 1.0f;
  }
}

bool IsPremultiplied(D3DFORMAT f) { return f == D3DFMT_DXT2 || f == D3DFMT_DXT4; }

void DecodeDxt(D3DFORMAT f, const std::uint8_t* data, std::uint32_t pitch, FloatImage& out) {
  const std::uint32_t bw = (out.width + 3) / 4, bh = (out.height + 3) / 4;
  const std::uint32_t blockBytes = f == D3DFMT_DXT1 ? 8 : 16;
  for (std::uint32_t by = 0; by < bh; ++by) {
    for (std::uint32_t bx = 0; bx < bw; ++bx) {
      const std::uint8_t* block = data + std::size_t(by) * pitch + std::size_t(bx) * blockBytes;
      const std::uint8_t* colour = f == D3DFMT_DXT1 ? block : block + 8;
      float pal[4][4];
      BlockPalette(static_cast<std::uint16_t>(LoadLE(colour, 2)),
                   static_cast<std::uint16_t>(LoadLE(colour + 2, 2)), f == D3DFMT_DXT1, pal);
      const std::uint32_t indices = LoadLE(colour + 4, 4);
      float alphaPal[8];
      std::uint64_t alphaBits = 0;
      if (f == D3DFMT_DXT4 || f == D3DFMT_DXT5) {
        AlphaPalette(block[0], block[1], alphaPal);
        for (int i = 0; i < 6; ++i) alphaBits |= std::uint64_t(block[2 + i]) << (8 * i);
      }
      for (std::uint32_t i = 0; i < 16; ++i) {
        const std::uint32_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
        if (x >= out.width || y >= out.height) continue;
        float* p = out.At(x, y);
        const float* c = pal[(indices >> (2 * i)) & 3];
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
        p[3] = c[3];
        if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3) {
          p[3] = ((block[i / 2] >> (4 * (i & 1))) & 15) / 15.0f;
        } else if (f == D3DFMT_DXT4 || f == D3DFMT_DXT5) {
          p[3] = alphaPal[(alphaBits >> (3 * i)) & 7];
        }
        if (IsPremultiplied(f) && p[3] > 0) {
          for (int k = 0; k < 3; ++k) p[k] = std::min(1.0f, p[k] / p[3]);
        }
      }
    }
  }
}

float Dist2(const float* a, const float* b) {
  const float dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return dr * dr + dg * dg + db * db;
}

// Endpoints from the two texels farthest apart, indices by the nearest of
// the block's palette colours.
void EncodeDxt(const FloatImage& in, D3DFORMAT f, std::uint8_t* data, std::uint32_t pitch) {
  const std::uint32_t bw = (in.width + 3) / 4, bh = (in.height + 3) / 4;
  const std::uint32_t blockBytes = f == D3DFMT_DXT1 ? 8 : 16;
  for (std::uint32_t by = 0; by < bh; ++by) {
    for (std::uint32_t bx = 0; bx < bw; ++bx) {
      float px[16][4];
      bool transparent = false;
      for (std::uint32_t i = 0; i < 16; ++i) {
        // Texels past the edge repeat the last row and column.
        const std::uint32_t x = std::min(bx * 4 + (i & 3), in.width - 1);
        const std::uint32_t y = std::min(by * 4 + (i >> 2), in.height - 1);
        std::memcpy(px[i], in.At(x, y), sizeof px[i]);
        for (int k = 0; k < 4; ++k) px[i][k] = std::clamp(px[i][k], 0.0f, 1.0f);
        if (IsPremultiplied(f))
          for (int k = 0; k < 3; ++k) px[i][k] *= px[i][3];
        if (px[i][3] < 0.5f) transparent = true;
      }
      std::uint8_t* block = data + std::size_t(by) * pitch + std::size_t(bx) * blockBytes;
      std::uint8_t* colour = f == D3DFMT_DXT1 ? block : block + 8;
      const bool threeColour = f == D3DFMT_DXT1 && transparent;

      // The two texels farthest apart become the endpoints.
      int ia = -1, ib = -1;
      float widest = -1;
      for (int i = 0; i < 16; ++i) {
        if (threeColour && px[i][3] < 0.5f) continue;
        for (int j = i; j < 16; ++j) {
          if (threeColour && px[j][3] < 0.5f) continue;
          const float d = Dist2(px[i], px[j]);
          if (d > widest) {
            widest = d;
            ia = i;
            ib = j;
          }
        }
      }
      const float black[3] = {0, 0, 0};
      const float* hi = ia >= 0 ? px[ia] : black;
      const float* lo = ib >= 0 ? px[ib] : black;
      std::uint16_t c0 = Pack565(hi), c1 = Pack565(lo);
      if (c0 < c1) std::swap(c0, c1);  // four-colour blocks need the larger first
      if (threeColour) std::swap(c0, c1);
      float pal[4][4];
      BlockPalette(c0, c1, f == D3DFMT_DXT1, pal);
      const int usable = threeColour ? 3 : (c0 == c1 ? 1 : 4);
      std::uint32_t indices = 0;
      for (std::uint32_t i = 0; i < 16; ++i) {
        std::uint32_t best = 0;
        if (threeColour && px[i][3] < 0.5f) {
          best = 3;
        } else {
          float bestD = Dist2(px[i], pal[0]);
          for (int k = 1; k < usable; ++k) {
            const float d = Dist2(px[i], pal[k]);
            if (d < bestD) {
              bestD = d;
              best = static_cast<std::uint32_t>(k);
            }
          }
        }
        indices |= best << (2 * i);
      }
      StoreLE(colour, 2, c0);
      StoreLE(colour + 2, 2, c1);
      StoreLE(colour + 4, 4, indices);

      if (f == D3DFMT_DXT2 || f == D3DFMT_DXT3) {
        std::memset(block, 0, 8);
        for (std::uint32_t i = 0; i < 16; ++i) {
          const std::uint32_t a = std::uint32_t(std::floor(px[i][3] * 15 + 0.5f));
          block[i / 2] |= static_cast<std::uint8_t>(a << (4 * (i & 1)));
        }
      } else if (f == D3DFMT_DXT4 || f == D3DFMT_DXT5) {
        float amin = 1, amax = 0;
        for (auto& p : px) {
          amin = std::min(amin, p[3]);
          amax = std::max(amax, p[3]);
        }
        const std::uint8_t a0 = static_cast<std::uint8_t>(std::floor(amax * 255 + 0.5f));
        const std::uint8_t a1 = static_cast<std::uint8_t>(std::floor(amin * 255 + 0.5f));
        float apal[8];
        AlphaPalette(a0, a1, apal);
        const int count = a0 > a1 ? 8 : 1;
        std::uint64_t bits = 0;
        for (std::uint32_t i = 0; i < 16; ++i) {
          std::uint64_t best = 0;
          float bestD = std::fabs(px[i][3] - apal[0]);
          for (int k = 1; k < count; ++k) {
            const float d = std::fabs(px[i][3] - apal[k]);
            if (d < bestD) {
              bestD = d;
              best = static_cast<std::uint64_t>(k);
            }
          }
          bits |= best << (3 * i);
        }
        block[0] = a0;
        block[1] = a1;
        for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
      }
    }
  }
}

// --- YUV (4:2:2, two pixels share U and V) -------------------------------------------
void YuvToRgb(float y, float u, float v, float* p) {
  const float c = (y - 16.0f) * 1.164f, d = u - 128.0f, e = v - 128.0f;
  p[0] = std::clamp((c + 1.596f * e) / 255.0f, 0.0f, 1.0f);
  p[1] = std::clamp((c - 0.392f * d - 0.813f * e) / 255.0f, 0.0f, 1.0f);
  p[2] = std::clamp((c + 2.017f * d) / 255.0f, 0.0f, 1.0f);
  p[3] = 1.0f;
}

void RgbToYuv(const float* p, float& y, float& u, float& v) {
  const float r = std::clamp(p[0], 0.0f, 1.0f) * 255, g = std::clamp(p[1], 0.0f, 1.0f) * 255,
              b = std::clamp(p[2], 0.0f, 1.0f) * 255;
  y = 16.0f + 0.257f * r + 0.504f * g + 0.098f * b;
  u = 128.0f - 0.148f * r - 0.291f * g + 0.439f * b;
  v = 128.0f + 0.439f * r - 0.368f * g - 0.071f * b;
}

std::uint8_t ToByte(float v) {
  return static_cast<std::uint8_t>(std::clamp(std::floor(v + 0.5f), 0.0f, 255.0f));
}

// Byte positions of Y0, U, Y1, V in a macro-pixel.
void YuvOrder(D3DFORMAT f, int& y0, int& u, int& y1, int& v) {
  // clang-format off
  if (f == D3DFMT_UYVY) {
    u = 0; y0 = 1; v = 2; y1 = 3;
  } else {
    y0 = 0; u = 1; y1 = 2; v = 3;
  }
  // clang-format on
}

std::uint8_t NearestPaletteIndex(const float* p, const PALETTEENTRY* palette, bool withAlpha) {
  std::uint32_t best = 0;
  float bestD = 1e30f;
  for (std::uint32_t i = 0; i < 256; ++i) {
    const float e[4] = {palette[i].peRed / 255.0f, palette[i].peGreen / 255.0f, palette[i].peBlue / 255.0f,
                        palette[i].peFlags / 255.0f};
    float d = Dist2(p, e);
    if (withAlpha) d += (p[3] - e[3]) * (p[3] - e[3]);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return static_cast<std::uint8_t>(best);
}

}  // namespace

bool CanConvertFormat(D3DFORMAT f) {
  return FindPacked(f) || IsDxtFormat(f) || f == D3DFMT_UYVY || f == D3DFMT_YUY2 || f == D3DFMT_P8 ||
         f == D3DFMT_A8P8;
}

std::uint32_t RowBytes(D3DFORMAT f, std::uint32_t width) {
  if (IsDxtFormat(f)) return ((width + 3) / 4) * (f == D3DFMT_DXT1 ? 8 : 16);
  if (f == D3DFMT_UYVY || f == D3DFMT_YUY2) return ((width + 1) / 2) * 4;
  if (f == D3DFMT_P8) return width;
  if (f == D3DFMT_A8P8) return width * 2;
  if (const PackedLayout* l = FindPacked(f)) return width * l->bytes;
  return 0;
}

std::uint32_t RowCount(D3DFORMAT f, std::uint32_t height) {
  return IsDxtFormat(f) ? (height + 3) / 4 : height;
}

bool DecodePixels(D3DFORMAT f, const std::uint8_t* data, std::uint32_t pitch, std::uint32_t width,
                  std::uint32_t height, const PALETTEENTRY* palette, FloatImage& out) {
  if (!CanConvertFormat(f) || !data || pitch < RowBytes(f, width)) return false;
  out.Resize(width, height);
  if (IsDxtFormat(f)) {
    DecodeDxt(f, data, pitch, out);
    return true;
  }
  if (f == D3DFMT_P8 || f == D3DFMT_A8P8) {
    if (!palette) return false;
    for (std::uint32_t y = 0; y < height; ++y) {
      const std::uint8_t* row = data + std::size_t(y) * pitch;
      for (std::uint32_t x = 0; x < width; ++x) {
        const PALETTEENTRY& e = palette[f == D3DFMT_P8 ? row[x] : row[x * 2]];
        float* p = out.At(x, y);
        p[0] = e.peRed / 255.0f;
        p[1] = e.peGreen / 255.0f;
        p[2] = e.peBlue / 255.0f;
        p[3] = (f == D3DFMT_P8 ? e.peFlags : row[x * 2 + 1]) / 255.0f;
      }
    }
    return true;
  }
  if (f == D3DFMT_UYVY || f == D3DFMT_YUY2) {
    int iy0, iu, iy1, iv;
    YuvOrder(f, iy0, iu, iy1, iv);
    for (std::uint32_t y = 0; y < height; ++y) {
      const std::uint8_t* row = data + std::size_t(y) * pitch;
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t* m = row + (x / 2) * 4;
        YuvToRgb(m[(x & 1) ? iy1 : iy0], m[iu], m[iv], out.At(x, y));
      }
    }
    return true;
  }
  const PackedLayout& l = *FindPacked(f);
  if (ByteChannels(l)) {
    float byteValue[256];
    for (int i = 0; i < 256; ++i) byteValue[i] = i * kUnsignedStep[8];
    const int r = l.r.shift / 8, g = l.g.shift / 8, b = l.b.shift / 8, a = l.a.shift / 8;
    for (std::uint32_t y = 0; y < height; ++y) {
      const std::uint8_t* px = data + std::size_t(y) * pitch;
      float* p = out.At(0, y);
      for (std::uint32_t x = 0; x < width; ++x, px += l.bytes, p += 4) {
        p[0] = l.r.bits ? byteValue[px[r]] : 0.0f;
        p[1] = l.luminance ? p[0] : l.g.bits ? byteValue[px[g]] : 0.0f;
        p[2] = l.luminance ? p[0] : l.b.bits ? byteValue[px[b]] : 0.0f;
        p[3] = l.a.bits ? byteValue[px[a]] : 1.0f;
      }
    }
    return true;
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* row = data + std::size_t(y) * pitch;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t v = LoadLE(row + std::size_t(x) * l.bytes, l.bytes);
      float* p = out.At(x, y);
      p[0] = ReadField(v, l.r, 0.0f);
      p[1] = l.luminance ? p[0] : ReadField(v, l.g, 0.0f);
      p[2] = l.luminance ? p[0] : ReadField(v, l.b, 0.0f);
      p[3] = ReadField(v, l.a, 1.0f);
    }
  }
  return true;
}

bool EncodePixels(const FloatImage& in, D3DFORMAT f, std::uint8_t* data, std::uint32_t pitch,
                  const PALETTEENTRY* palette, bool dither) {
  if (!CanConvertFormat(f) || !data || pitch < RowBytes(f, in.width)) return false;
  if (IsDxtFormat(f)) {
    EncodeDxt(in, f, data, pitch);
    return true;
  }
  if (f == D3DFMT_P8 || f == D3DFMT_A8P8) {
    if (!palette) return false;
    for (std::uint32_t y = 0; y < in.height; ++y) {
      std::uint8_t* row = data + std::size_t(y) * pitch;
      for (std::uint32_t x = 0; x < in.width; ++x) {
        const float* p = in.At(x, y);
        if (f == D3DFMT_P8) {
          row[x] = NearestPaletteIndex(p, palette, true);
        } else {
          row[x * 2] = NearestPaletteIndex(p, palette, false);
          row[x * 2 + 1] = ToByte(std::clamp(p[3], 0.0f, 1.0f) * 255);
        }
      }
    }
    return true;
  }
  if (f == D3DFMT_UYVY || f == D3DFMT_YUY2) {
    int iy0, iu, iy1, iv;
    YuvOrder(f, iy0, iu, iy1, iv);
    for (std::uint32_t y = 0; y < in.height; ++y) {
      std::uint8_t* row = data + std::size_t(y) * pitch;
      for (std::uint32_t x = 0; x < in.width; x += 2) {
        float y0, u0, v0, y1, u1, v1;
        RgbToYuv(in.At(x, y), y0, u0, v0);
        RgbToYuv(in.At(std::min(x + 1, in.width - 1), y), y1, u1, v1);
        std::uint8_t* m = row + (x / 2) * 4;
        m[iy0] = ToByte(y0);
        m[iy1] = ToByte(y1);
        m[iu] = ToByte((u0 + u1) / 2);
        m[iv] = ToByte((v0 + v1) / 2);
      }
    }
    return true;
  }
  const PackedLayout& l = *FindPacked(f);
  if (ByteChannels(l) && !l.luminance) {
    auto toByte = [](float v) {
      const float q = v * 255.0f + 0.5f;
      return static_cast<std::uint8_t>(q > 0.0f ? (q < 255.0f ? q : 255.0f) : 0.0f);
    };
    for (std::uint32_t y = 0; y < in.height; ++y) {
      std::uint8_t* px = data + std::size_t(y) * pitch;
      const float* p = in.At(0, y);
      for (std::uint32_t x = 0; x < in.width; ++x, px += l.bytes, p += 4) {
        StoreLE(px, l.bytes, l.fill);
        if (l.r.bits) px[l.r.shift / 8] = toByte(p[0]);
        if (l.g.bits) px[l.g.shift / 8] = toByte(p[1]);
        if (l.b.bits) px[l.b.shift / 8] = toByte(p[2]);
        if (l.a.bits) px[l.a.shift / 8] = toByte(p[3]);
      }
    }
    return true;
  }
  for (std::uint32_t y = 0; y < in.height; ++y) {
    std::uint8_t* row = data + std::size_t(y) * pitch;
    for (std::uint32_t x = 0; x < in.width; ++x) {
      const float* p = in.At(x, y);
      const float d = dither ? DitherOffset(x, y) : 0.0f;
      // Colour into luminance with the usual weights of the three primaries.
      const float first = l.luminance ? 0.2125f * p[0] + 0.7154f * p[1] + 0.0721f * p[2] : p[0];
      const std::uint32_t v = l.fill | WriteField(first, l.r, d) | WriteField(p[1], l.g, d) |
                              WriteField(p[2], l.b, d) | WriteField(p[3], l.a, d);
      StoreLE(row + std::size_t(x) * l.bytes, l.bytes, v);
    }
  }
  return true;
}

bool ConvertImage(const PixelRect& src, const PixelRect& dst, DWORD filter, D3DCOLOR colorKey, bool dither) {
  if (!CanConvertFormat(src.format) || !CanConvertFormat(dst.format) || !src.data || !dst.writable ||
      src.width == 0 || src.height == 0 || dst.width == 0 || dst.height == 0 ||
      src.pitch < RowBytes(src.format, src.width) || dst.pitch < RowBytes(dst.format, dst.width))
    return false;
  bool ok = true;

  // Source rows decoded one at a time (a row of blocks for DXT).
  const std::uint32_t srcUnit = IsDxtFormat(src.format) ? 4 : 1;
  FloatImage decoded;
  std::uint32_t decodedFirst = ~0u;
  auto sourceRow = [&](std::uint32_t y) -> const float* {
    const std::uint32_t first = y / srcUnit * srcUnit;
    if (first != decodedFirst) {
      const std::uint32_t rows = std::min(srcUnit, src.height - first);
      if (!DecodePixels(src.format, src.data + std::size_t(first / srcUnit) * src.pitch, src.pitch, src.width,
                        rows, src.palette, decoded)) {
        ok = false;
        return nullptr;
      }
      if (colorKey != 0) ApplyColorKey(decoded, colorKey);
      decodedFirst = first;
    }
    return decoded.At(0, y - first);
  };

  // Target rows gathered into bands that start on a multiple of 16, so that
  // DXT blocks and the dither pattern fall as they do for a whole image.
  constexpr std::uint32_t kBand = 16;
  const std::uint32_t dstUnit = IsDxtFormat(dst.format) ? 4 : 1;
  FloatImage band;
  band.Resize(dst.width, std::min(kBand, dst.height));
  std::uint32_t bandFirst = 0;
  auto targetRow = [&](std::uint32_t y, const float* row) {
    std::copy(row, row + std::size_t(dst.width) * 4, band.At(0, y - bandFirst));
    const std::uint32_t rows = y + 1 - bandFirst;
    if (rows < band.height && y + 1 < dst.height) return true;
    if (rows < band.height) {  // the last band, shorter than the others
      band.height = rows;
      band.pixels.resize(std::size_t(dst.width) * rows * 4);
    }
    if (!EncodePixels(band, dst.format, dst.writable + std::size_t(bandFirst / dstUnit) * dst.pitch,
                      dst.pitch, dst.palette, dither)) {
      ok = false;
      return false;
    }
    bandFirst = y + 1;
    return true;
  };
  ResampleRows(src.width, src.height, dst.width, dst.height, filter, sourceRow, targetRow);
  return ok;
}

bool HalveBytes(const PixelRect& src, const PixelRect& dst) {
  if (src.format != dst.format || !src.data || !dst.writable) return false;
  const PackedLayout* l = FindPacked(src.format);
  if (!l || !ByteChannels(*l)) return false;
  const bool halveX = src.width == 2 * dst.width, halveY = src.height == 2 * dst.height;
  if ((!halveX && !(src.width == 1 && dst.width == 1)) || (!halveY && !(src.height == 1 && dst.height == 1)))
    return false;
  if (src.pitch < RowBytes(src.format, src.width) || dst.pitch < RowBytes(dst.format, dst.width))
    return false;
  // Which bytes of a pixel hold a channel; the others take the fill bits.
  const std::uint32_t bytes = l->bytes;
  bool channel[4] = {false, false, false, false};
  for (const Field* f : {&l->r, &l->g, &l->b, &l->a})
    if (f->bits) channel[f->shift / 8] = true;
  const std::uint32_t nx = halveX ? 2 : 1, ny = halveY ? 2 : 1;
  const std::uint32_t shift = (halveX ? 1 : 0) + (halveY ? 1 : 0), half = (1u << shift) >> 1;
  for (std::uint32_t y = 0; y < dst.height; ++y) {
    const std::uint8_t* a = src.data + std::size_t(y) * ny * src.pitch;
    const std::uint8_t* b = halveY ? a + src.pitch : a;
    std::uint8_t* out = dst.writable + std::size_t(y) * dst.pitch;
    for (std::uint32_t x = 0; x < dst.width; ++x, a += nx * bytes, b += nx * bytes, out += bytes) {
      for (std::uint32_t k = 0; k < bytes; ++k) {
        if (!channel[k]) {
          out[k] = static_cast<std::uint8_t>(l->fill >> (8 * k));
          continue;
        }
        std::uint32_t sum = a[k] + (halveX ? a[k + bytes] : 0u);
        if (halveY) sum += b[k] + (halveX ? b[k + bytes] : 0u);
        out[k] = static_cast<std::uint8_t>((sum + half) >> shift);
      }
    }
  }
  return true;
}

void ApplyColorKey(FloatImage& image, D3DCOLOR key) {
  auto byte = [](float v) { return std::uint32_t(ToByte(std::clamp(v, 0.0f, 1.0f) * 255)); };
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    float* p = &image.pixels[i];
    const D3DCOLOR c = byte(p[3]) << 24 | byte(p[0]) << 16 | byte(p[1]) << 8 | byte(p[2]);
    if (c == key) p[0] = p[1] = p[2] = p[3] = 0.0f;
  }
}

}  // namespace qv::tex
