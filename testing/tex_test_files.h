// Image files built byte by byte for the loader's tests, the fuzz corpus
// and the benchmark. Pixels are given top row first, left to right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::textest {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v);
void Put32(Bytes& b, std::uint32_t v);

// A BMP or packed DIB. `rows` are the unpadded rows of `bitsPerPixel`
// pixels, top row first; they are padded to 4 bytes and stored bottom-up
// unless `topDown`. `palette` holds 0x00RRGGBB entries. With `masks`
// (red, green, blue, alpha) the header is the 108-byte one with bit fields.
struct DibShape {
  std::int32_t width = 1, height = 1;
  std::uint16_t bits = 24;
  bool topDown = false;
  std::vector<std::uint32_t> palette;
  std::vector<Bytes> rows;
  std::vector<std::uint32_t> masks;  // empty or 4 entries
  std::uint32_t compression = 0;     // 1 RLE8, 2 RLE4 (then `rle` is the stream)
  Bytes rle;
};
Bytes MakeDib(const DibShape& shape);
Bytes MakeBmp(const DibShape& shape);

// A TGA. `pixels` are in file order (what the descriptor says), `map` the
// raw colour-map bytes.
struct TgaShape {
  std::uint8_t type = 2;
  std::uint8_t bits = 24;
  std::uint16_t width = 1, height = 1;
  std::uint8_t descriptor = 0;
  Bytes id;
  std::uint16_t mapFirst = 0, mapLength = 0;
  std::uint8_t mapBits = 0;
  Bytes map;
  Bytes pixels;
};
Bytes MakeTga(const TgaShape& shape);

// A DDS with the given pixel-format fields and payload.
struct DdsShape {
  std::uint32_t width = 4, height = 4, mipCount = 0;
  std::uint32_t pfFlags = 0x40, fourCC = 0, bits = 32;
  std::uint32_t rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF, aMask = 0;
  std::uint32_t caps2 = 0;
  Bytes payload;
};
Bytes MakeDds(const DdsShape& shape);

// PNG through libpng's writer: `rows` of samples as the colour type and
// depth say (packed for depths below 8, big-endian for 16).
struct PngShape {
  std::uint32_t width = 1, height = 1;
  int colorType = 2, bitDepth = 8;
  bool interlace = false;
  std::vector<Bytes> rows;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  Bytes trnsPalette;                   // alpha per palette entry
  bool trnsColour = false;
  std::uint16_t trns[3] = {0, 0, 0};  // grey or red, green, blue
  double gamma = 0;                   // gAMA when non-zero
  bool srgb = false;
};
Bytes MakePng(const PngShape& shape);

// JPEG through libjpeg: `pixels` are grey bytes or RGB triples.
Bytes MakeJpeg(std::uint32_t width, std::uint32_t height, bool grey, const Bytes& pixels, int quality = 95);

bool WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace qv::textest
