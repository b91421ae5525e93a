// Pixel conversion between the loader's formats through a common form: four
// floats per pixel. Colour formats give red, green, blue and alpha in 0..1
// (a missing alpha reads 1, missing colour 0; luminance reads into all
// three colours); bump formats give U, V, W and Q (or L) as red, green,
// blue and alpha, signed channels in -1..1. Palette formats look up their
// palette; DXT1 to DXT5 and the YUV formats are decoded and encoded too.
// And resampling between sizes with the named filters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "texture_io/d3dx8_tex.h"

namespace qv::tex {

struct FloatImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<float> pixels;  // width * height * 4, rows top to bottom

  void Resize(std::uint32_t w, std::uint32_t h) {
    width = w;
    height = h;
    pixels.assign(std::size_t(w) * h * 4, 0.0f);
  }
  float* At(std::uint32_t x, std::uint32_t y) { return &pixels[(std::size_t(y) * width + x) * 4]; }
  const float* At(std::uint32_t x, std::uint32_t y) const {
    return &pixels[(std::size_t(y) * width + x) * 4];
  }
};

// True for the formats the two functions below handle.
bool CanConvertFormat(D3DFORMAT format);

// Bytes that one row of `width` pixels (of 4x4 blocks for DXT) occupies,
// and the number of such rows for `height` pixels.
std::uint32_t RowBytes(D3DFORMAT format, std::uint32_t width);
std::uint32_t RowCount(D3DFORMAT format, std::uint32_t height);

// `palette` (256 entries) is needed for palette formats only.
bool DecodePixels(D3DFORMAT format, const std::uint8_t* data, std::uint32_t pitch, std::uint32_t width,
                  std::uint32_t height, const PALETTEENTRY* palette, FloatImage& out);
// With `dither`, channels narrower than 8 bits get an ordered dither.
bool EncodePixels(const FloatImage& in, D3DFORMAT format, std::uint8_t* data, std::uint32_t pitch,
                  const PALETTEENTRY* palette, bool dither);

// Pixels whose colour, as 8-bit ARGB, equals `key` become transparent black.
void ApplyColorKey(FloatImage& image, D3DCOLOR key);

// Resamples `in` to `out`'s size with a D3DX_FILTER_* value (filter in the
// low byte, mirror flags above; without them the image wraps at its edges).
void Resample(const FloatImage& in, FloatImage& out, DWORD filter);

// The same a row at a time: `sourceRow(y)` gives source row y (srcWidth
// float pixels, valid until the next call) or null to stop; each finished
// target row goes to `targetRow`, in order, which returns false to stop.
// Only the few filtered rows the current target row needs are held.
using SourceRowFn = std::function<const float*(std::uint32_t y)>;
using TargetRowFn = std::function<bool(std::uint32_t y, const float* row)>;
void ResampleRows(std::uint32_t srcWidth, std::uint32_t srcHeight, std::uint32_t dstWidth,
                  std::uint32_t dstHeight, DWORD filter, const SourceRowFn& sourceRow,
                  const TargetRowFn& targetRow);

// Pixels in one of the formats above, for ConvertImage.
struct PixelRect {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  const std::uint8_t* data = nullptr;  // the first row (of blocks for DXT)
  std::uint8_t* writable = nullptr;    // the same, for a target
  std::uint32_t pitch = 0, width = 0, height = 0;
  const PALETTEENTRY* palette = nullptr;  // 256 entries, for palette formats
};

// Converts `src` into `dst`, resampled to dst's size with `filter`, a few
// rows at a time: memory stays at a band of rows, not a float image. With a
// non-zero `colorKey` matching source pixels become transparent black
// first; `dither` as for EncodePixels. False when a format or pitch is not
// usable (nothing else can fail).
bool ConvertImage(const PixelRect& src, const PixelRect& dst, DWORD filter, D3DCOLOR colorKey, bool dither);

// The box filter from one level to the next (each side halved, or kept at
// 1) straight on bytes, for formats whose channels are all whole unsigned
// bytes: each channel is the rounded mean of the 1, 2 or 4 texels under
// it. False, with nothing written, for any other format or size.
bool HalveBytes(const PixelRect& src, const PixelRect& dst);

}  // namespace qv::tex
