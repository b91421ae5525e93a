// The image readers on files built byte by byte: the format each variant
// yields and its decoded pixels, compared with what was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "testing/tex_test_files.h"
#include "texture_io/tex_convert.h"
#include "texture_io/tex_image.h"
#include "texture_io/tex_reject.h"

using namespace qv::tex;
using namespace qv::textest;

namespace {

// Records may point into the file, so the files read are kept alive.
TexImageChain Read(const Bytes& file) {
  static std::vector<std::unique_ptr<Bytes>> s_kept;
  s_kept.push_back(std::make_unique<Bytes>(file));
  TexImageChain chain;
  EXPECT_EQ(ReadImage(s_kept.back()->data(), file.size(), chain), ReadResult::Accepted);
  return chain;
}

bool Rejected(const Bytes& file) {
  TexImageChain chain;
  return ReadImage(file.data(), file.size(), chain) == ReadResult::Rejected;
}

using Argbs = std::vector<std::uint32_t>;
constexpr std::uint32_t K = 0xFF000000, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, W = 0xFFFFFFFF;

// The pixels of an image record as 0xAARRGGBB.
Argbs Argb(const TexImage& img) {
  FloatImage f;
  EXPECT_TRUE(DecodePixels(img.format, img.data, img.pitch, img.width, img.height,
                           img.palette.empty() ? nullptr : img.palette.data(), f));
  Argbs out;
  auto b = [](float v) { return std::uint32_t(v * 255.0f + 0.5f); };
  for (std::size_t i = 0; i < f.pixels.size(); i += 4)
    out.push_back(b(f.pixels[i + 3]) << 24 | b(f.pixels[i]) << 16 | b(f.pixels[i + 1]) << 8 |
                  b(f.pixels[i + 2]));
  return out;
}

Bytes Rgb24Row(std::initializer_list<std::uint32_t> colours) {  // 0xRRGGBB, stored B, G, R
  Bytes r;
  for (std::uint32_t c : colours) {
    r.push_back(c & 0xFF);
    r.push_back((c >> 8) & 0xFF);
    r.push_back((c >> 16) & 0xFF);
  }
  return r;
}

// A bitmap of w pixels a row, one row a line of `rows` (bottom first unless
// topDown).
DibShape Dib(std::uint16_t bits, std::int32_t w, std::vector<Bytes> rows,
             std::vector<std::uint32_t> palette = {}, bool topDown = false) {
  DibShape s;
  s.bits = bits;
  s.width = w;
  s.height = static_cast<std::int32_t>(rows.size());
  s.rows = rows;
  s.palette = palette;
  s.topDown = topDown;
  return s;
}

// A run-length bitmap: RLE8 for 8 bits, RLE4 for 4.
Bytes Rle(std::uint16_t bits, std::int32_t w, std::int32_t h, Bytes stream,
          std::vector<std::uint32_t> palette, bool topDown = false) {
  DibShape s = Dib(bits, w, {}, palette, topDown);
  s.height = h;
  s.compression = bits == 8 ? 1 : 2;
  s.rle = stream;
  return MakeBmp(s);
}

// A TGA of one row with a two-byte image ID before the pixels.
TgaShape TgaRow(std::uint8_t type, std::uint8_t bits, std::uint16_t w, Bytes pixels) {
  TgaShape s;
  s.type = type;
  s.bits = bits;
  s.width = w;
  s.id = {'i', 'd'};
  s.pixels = pixels;
  return s;
}
Bytes Tga(std::uint8_t type, std::uint8_t bits, std::uint16_t w, Bytes pixels) {
  return MakeTga(TgaRow(type, bits, w, pixels));
}

// A colour-mapped TGA of 8-bit indices, its map of `mapBits` entries from
// entry `first`.
Bytes Mapped(std::uint8_t type, std::uint16_t first, std::uint8_t mapBits, Bytes map, std::uint16_t w,
             Bytes pixels) {
  TgaShape s = TgaRow(type, 8, w, pixels);
  s.descriptor = 0x20;
  s.mapFirst = first;
  s.mapLength = static_cast<std::uint16_t>(map.size() / ((mapBits + 7) / 8));
  s.mapBits = mapBits;
  s.map = map;
  return MakeTga(s);
}

// A DXT1 DDS of 8 x 4 with the payload's bytes zero.
Bytes Dxt1(std::uint32_t mipCount, std::uint32_t caps2, std::size_t bytes) {
  DdsShape s;
  s.width = 8;
  s.mipCount = mipCount;
  s.pfFlags = 4;
  s.fourCC = D3DFMT_DXT1;
  s.caps2 = caps2;
  s.payload.assign(bytes, 0);
  return MakeDds(s);
}

template <std::size_t N>
Bytes Text(const char (&t)[N]) {  // without the closing zero; zeros inside stay
  return Bytes(t, t + N - 1);
}

}  // namespace

// Every variant each reader yields pixels for: the file format and pixel
// format it reports and the pixels, as 0xAARRGGBB, top row first.
TEST(TexReaders, FormatAndPixelsOfEachVariant) {
  const std::vector<std::uint32_t> rgbk = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  auto bmp = [](std::uint16_t bits, std::int32_t w, std::vector<Bytes> rows,
                std::vector<std::uint32_t> palette,
                bool topDown = false) { return MakeBmp(Dib(bits, w, rows, palette, topDown)); };
  auto dib = [](std::uint16_t bits, Bytes row) {  // no file header
    return MakeDib(Dib(bits, 2, {row}, {0x102030, 0x405060}));
  };
  auto pngShape = [](int type, int depth, Bytes row) {  // two pixels
    PngShape s;
    s.width = 2;
    s.colorType = type;
    s.bitDepth = depth;
    s.rows = {row};
    return s;
  };
  auto png = [&](int type, int depth, Bytes row, std::vector<std::uint16_t> trns = {}) {
    PngShape s = pngShape(type, depth, row);
    s.trnsColour = !trns.empty();
    std::copy(trns.begin(), trns.end(), s.trns);
    return MakePng(s);
  };
  auto pngPalette = [&](int depth) {  // indices 1 and 0 of an opaque entry and one of alpha 0x40
    Bytes row = {static_cast<std::uint8_t>(depth == 8 ? 1 : (1u << (8 - depth)))};
    if (depth == 8) row.push_back(0);
    PngShape s = pngShape(3, depth, row);
    s.palette = {0x102030, 0xA0B0C0};
    s.trnsPalette = {0x40};
    return MakePng(s);
  };
  auto mapped = [](std::uint8_t type, std::uint8_t mapBits, Bytes map, Bytes pixels) {  // 3 x 1 from entry 10
    return Mapped(type, 10, mapBits, map, 3, pixels);
  };
  const std::vector<Bytes> rgb = {Rgb24Row({0xFF0000, 0x00FF00, 0x0000FF}),
                                  Rgb24Row({0x123456, 0xFFFFFF, 0})};
  const Argbs rgbArgb = {R, G, B, 0xFF123456, W, K};
  // clang-format off
  const struct {
    const char* name;
    Bytes file;
    D3DXIMAGE_FILEFORMAT fileFormat;
    D3DFORMAT format;
    Argbs argb;
  } cases[] = {
      {"bmp 24-bit, rows padded", bmp(24, 3, rgb, {}), D3DXIFF_BMP, D3DFMT_R8G8B8, rgbArgb},
      {"bmp 24-bit, top-down", bmp(24, 3, rgb, {}, true), D3DXIFF_BMP, D3DFMT_R8G8B8, rgbArgb},
      {"bmp 16-bit", bmp(16, 1, {{0x1F, 0x7C}}, {}), D3DXIFF_BMP, D3DFMT_X1R5G5B5, {0xFFFF00FF}},
      {"bmp 32-bit", bmp(32, 1, {{0x11, 0x22, 0x33, 0}}, {}), D3DXIFF_BMP, D3DFMT_X8R8G8B8, {0xFF332211}},
      {"bmp 1-bit", bmp(1, 5, {{0xA8}, {0x58}}, rgbk), D3DXIFF_BMP, D3DFMT_P8,
       {R, K, R, K, R, K, R, K, R, R}},
      {"bmp 4-bit", bmp(4, 5, {{0x01, 0x23, 0x10}, {0x32, 0x10, 0x30}}, rgbk), D3DXIFF_BMP, D3DFMT_P8,
       {K, R, G, B, R, B, G, R, K, B}},
      {"bmp 8-bit, entries past the table white", bmp(8, 5, {{0, 1, 2, 3, 200}, {3, 3, 2, 2, 1}}, rgbk),
       D3DXIFF_BMP, D3DFMT_P8, {K, R, G, B, W, B, B, G, G, R}},
      // Bottom row: run of 6 (cut at 4); next: literal 3 (padded) then end of
      // line; then delta to x=2 of the top row, a run of 1, end of bitmap.
      {"rle8", Rle(8, 4, 3, {6, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 0, 1, 3, 0, 1}, rgbk), D3DXIFF_BMP,
       D3DFMT_P8, {K, K, B, K, G, B, R, K, R, R, R, R}},
      {"rle4: 1 2 1, literal 2 1 2", Rle(4, 5, 1, {3, 0x12, 0, 3, 0x21, 0x20, 0, 1}, {0, 0xFF, 0xFF00}),
       D3DXIFF_BMP, D3DFMT_P8, {B, G, B, G, B}},
      {"dib 8-bit", dib(8, {1, 0}), D3DXIFF_DIB, D3DFMT_P8, {0xFF405060, 0xFF102030}},
      {"dib 24-bit after a colour table", dib(24, Rgb24Row({0xABCDEF, 0x010203})), D3DXIFF_DIB, D3DFMT_R8G8B8,
       {0xFFABCDEF, 0xFF010203}},
      {"ppm binary with comments", Text("P6 # a comment\n2 1\n# another\n255\n\xFF\0\0\x01\x02\x03"),
       D3DXIFF_PPM, D3DFMT_X8R8G8B8, {R, 0xFF010203}},
      {"ppm text, maximum 15", Text("P3\n# c\n1 2 15\n15 0 7 # trailing\n 0 15 15"), D3DXIFF_PPM,
       D3DFMT_X8R8G8B8, {0xFFFF0077, 0xFF00FFFF}},
      {"ppm 16-bit samples", Text("P6 1 1 65535\n\xFF\xFF\x80\0\0\0"), D3DXIFF_PPM, D3DFMT_X8R8G8B8,
       {0xFFFF8000}},
      {"png grey 1", png(0, 1, {0x80}), D3DXIFF_PNG, D3DFMT_L8, {W, K}},
      {"png grey 2", png(0, 2, {0xE0}), D3DXIFF_PNG, D3DFMT_L8, {W, 0xFFAAAAAA}},
      {"png grey 4", png(0, 4, {0xF7}), D3DXIFF_PNG, D3DFMT_L8, {W, 0xFF777777}},
      {"png grey 8", png(0, 8, {0x12, 0xFE}), D3DXIFF_PNG, D3DFMT_L8, {0xFF121212, 0xFFFEFEFE}},
      {"png grey 16", png(0, 16, {0x12, 0x34, 0xAB, 0xCD}), D3DXIFF_PNG, D3DFMT_L8, {0xFF121212, 0xFFABABAB}},
      {"png rgb 8", png(2, 8, {1, 2, 3, 4, 5, 6}), D3DXIFF_PNG, D3DFMT_X8R8G8B8, {0xFF010203, 0xFF040506}},
      {"png rgb 16", png(2, 16, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0}), D3DXIFF_PNG, D3DFMT_X8R8G8B8,
       {0xFF010203, 0xFF040506}},
      {"png grey+alpha 8", png(4, 8, {0x10, 0x80, 0x20, 0xFF}), D3DXIFF_PNG, D3DFMT_A8L8,
       {0x80101010, 0xFF202020}},
      {"png grey+alpha 16", png(4, 16, {0x10, 0, 0x80, 0, 0x20, 0, 0xFF, 0}), D3DXIFF_PNG, D3DFMT_A8L8,
       {0x80101010, 0xFF202020}},
      {"png rgba 8", png(6, 8, {1, 2, 3, 4, 5, 6, 7, 8}), D3DXIFF_PNG, D3DFMT_A8R8G8B8,
       {0x04010203, 0x08050607}},
      {"png rgba 16", png(6, 16, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0}), D3DXIFF_PNG,
       D3DFMT_A8R8G8B8, {0x04010203, 0x08050607}},
      {"png rgb, transparent colour", png(2, 8, {10, 20, 30, 40, 50, 60}, {40, 50, 60}), D3DXIFF_PNG,
       D3DFMT_A8R8G8B8, {0xFF0A141E, 0x0028323C}},
      {"png grey, transparent grey", png(0, 8, {7, 9}, {9}), D3DXIFF_PNG, D3DFMT_A8L8,
       {0xFF070707, 0x00090909}},
      {"png palette 1", pngPalette(1), D3DXIFF_PNG, D3DFMT_P8, {0xFFA0B0C0, 0x40102030}},
      {"png palette 2", pngPalette(2), D3DXIFF_PNG, D3DFMT_P8, {0xFFA0B0C0, 0x40102030}},
      {"png palette 4", pngPalette(4), D3DXIFF_PNG, D3DFMT_P8, {0xFFA0B0C0, 0x40102030}},
      {"png palette 8", pngPalette(8), D3DXIFF_PNG, D3DFMT_P8, {0xFFA0B0C0, 0x40102030}},
      {"tga 15-bit", Tga(2, 15, 1, {0x1F, 0x7C}), D3DXIFF_TGA, D3DFMT_X1R5G5B5, {0xFFFF00FF}},
      {"tga 16-bit", Tga(2, 16, 1, {0x1F, 0x7C}), D3DXIFF_TGA, D3DFMT_A1R5G5B5, {0x00FF00FF}},
      {"tga 24-bit", Tga(2, 24, 1, {1, 2, 3}), D3DXIFF_TGA, D3DFMT_R8G8B8, {0xFF030201}},
      {"tga 32-bit", Tga(2, 32, 1, {1, 2, 3, 4}), D3DXIFF_TGA, D3DFMT_A8R8G8B8, {0x04030201}},
      {"tga run past the end, cut", Tga(10, 24, 2, {0xFF, 10, 20, 30}), D3DXIFF_TGA, D3DFMT_R8G8B8,
       {0xFF1E140A, 0xFF1E140A}},
      {"tga mapped, 24-bit map, index past it white",
       mapped(1, 24, {0x30, 0x20, 0x10, 0x60, 0x50, 0x40}, {10, 11, 12}), D3DXIFF_TGA, D3DFMT_P8,
       {0xFF102030, 0xFF405060, W}},
      {"tga mapped run-length, 16-bit map: opaque red, clear blue",
       mapped(9, 16, {0x00, 0xFC, 0x1F, 0x00}, {0x81, 10, 0x00, 11}), D3DXIFF_TGA, D3DFMT_P8,
       {R, R, 0x000000FF}},
  };
  // clang-format on
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    TexImageChain c = Read(k.file);
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.fileFormat, k.fileFormat);
    EXPECT_EQ(c.levels[0].format, k.format);
    EXPECT_EQ(Argb(c.levels[0]), k.argb);
  }
}

// A colour table that claims more than 256 entries: the palette is its
// first 256, the rest is skipped, and the pixels come after the whole table.
// Reading every entry claimed would write far past the 256-entry palette.
TEST(TexReaders, ColourTableBeyond256EntriesGivesTheFirst256) {
  std::vector<std::uint32_t> table(1u << 16);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = (i * 2654435761u) & 0xFFFFFF;
  const TexImageChain c = Read(MakeDib(Dib(8, 4, {{0, 1, 255, 7}}, table)));
  ASSERT_EQ(c.levels.size(), 1u);
  EXPECT_EQ(c.levels[0].palette.size(), 256u);
  EXPECT_EQ(Argb(c.levels[0]), (Argbs{K | table[0], K | table[1], K | table[255], K | table[7]}));
}

// Bit-field bitmaps and uncompressed DDS files: the format the masks
// describe, the row pitch, and the first byte of each of the first two rows.
TEST(TexReaders, MaskedLayouts) {
  auto fields = [](std::uint16_t bits, std::vector<std::uint32_t> masks) {  // 2 x 2, top-down
    DibShape s = Dib(bits, 2, {Bytes(bits / 4, 0x5A), Bytes(bits / 4, 0xA5)}, {}, true);
    s.masks = masks;
    return MakeBmp(s);
  };
  auto dds = [](std::uint32_t flags, std::uint32_t bits, std::uint32_t gMask, std::uint32_t aMask) {  // 3 x 2
    Bytes payload(6 * bits / 8);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i);
    DdsShape s;
    s.width = 3;
    s.height = 2;
    s.pfFlags = flags;
    s.bits = bits;
    s.gMask = gMask;
    s.aMask = aMask;
    s.payload = payload;
    return MakeDds(s);
  };
  const struct {
    Bytes file;
    D3DFORMAT format;
    std::uint32_t pitch;
    std::uint8_t first, second;
  } cases[] = {
      {fields(16, {0xF800, 0x7E0, 0x1F, 0}), D3DFMT_R5G6B5, 4, 0x5A, 0xA5},
      {fields(16, {0x7C00, 0x3E0, 0x1F, 0}), D3DFMT_X1R5G5B5, 4, 0x5A, 0xA5},
      {fields(16, {0x7C00, 0x3E0, 0x1F, 0x8000}), D3DFMT_A1R5G5B5, 4, 0x5A, 0xA5},
      {fields(16, {0xFF, 0xFF, 0xFF, 0xFF00}), D3DFMT_A8L8, 4, 0x5A, 0xA5},
      {fields(16, {0xE0, 0x1C, 0x3, 0xFF00}), D3DFMT_A8R3G3B2, 4, 0x5A, 0xA5},
      {fields(24, {0xFF0000, 0xFF00, 0xFF, 0}), D3DFMT_R8G8B8, 6, 0x5A, 0xA5},
      {fields(32, {0xFF0000, 0xFF00, 0xFF, 0}), D3DFMT_X8R8G8B8, 8, 0x5A, 0xA5},
      {fields(32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}), D3DFMT_A8R8G8B8, 8, 0x5A, 0xA5},
      {dds(0x41, 32, 0xFF00, 0xFF000000u), D3DFMT_A8R8G8B8, 12, 0, 12},
      {dds(0x40, 32, 0xFF00, 0), D3DFMT_X8R8G8B8, 12, 0, 12},
      {dds(0x40, 16, 0x7E0, 0), D3DFMT_R5G6B5, 6, 0, 6},
      {dds(0x40, 16, 0x3E0, 0), D3DFMT_X1R5G5B5, 6, 0, 6},
      {dds(0x41, 16, 0x3E0, 0x8000), D3DFMT_A1R5G5B5, 6, 0, 6},
      {dds(0x41, 16, 0xF0, 0xF000), D3DFMT_A4R4G4B4, 6, 0, 6},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.format);
    TexImageChain c = Read(k.file);
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.levels[0].format, k.format);
    ASSERT_EQ(c.levels[0].pitch, k.pitch);
    EXPECT_EQ(c.levels[0].data[0], k.first);
    EXPECT_EQ(c.levels[0].data[k.pitch], k.second);
  }
}

// --- DDS --------------------------------------------------------------------------

TEST(TexReaderDds, MipChainAndCubeFaces) {
  DdsShape s;
  s.width = 8;
  s.height = 4;
  s.mipCount = 3;  // 8x4, 4x2, 2x1
  s.fourCC = D3DFMT_DXT1;
  s.pfFlags = 4;
  s.payload.assign((2 + 1 + 1) * 8, 0);
  TexImageChain c = Read(MakeDds(s));
  ASSERT_EQ(c.levels.size(), 3u);
  for (std::uint32_t i : {1u, 2u})
    EXPECT_TRUE(c.levels[i].width == 8u >> i && c.levels[i].height == 4u >> i) << i;
  EXPECT_EQ(c.levels[0].pitch, 16u);

  s.mipCount = 1;
  s.caps2 = 0xFE00;  // every face
  s.payload.assign(6 * 16, 0);
  s.payload[16] = 0x77;  // first byte of the second face
  c = Read(MakeDds(s));
  ASSERT_EQ(c.levels.size(), 1u);  // the texture takes the first face
  EXPECT_EQ(c.levels[0].data[0], 0);
}

// One texel channel of a single decoded block: DXT1 four-colour (red and blue
// endpoints, indices 0 1 2 3 in the top row) and three-colour (first endpoint
// smaller: index 3 is transparent black), DXT3 explicit 4-bit alpha (pixel 0
// alpha 5, pixel 1 alpha 15), DXT5 interpolated alpha (pixel 0 index 2, pixel 1 index 1).
TEST(TexReaderDds, DxtBlocksDecode) {
  const Bytes four = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0}, three = {0x1F, 0x00, 0x00, 0xF8, 0xC0, 0, 0, 0};
  const Bytes dxt3 = {0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes dxt5 = {255, 0, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const struct {
    D3DFORMAT format;
    const Bytes& block;
    std::uint32_t x, channel;
    float want;
  } cases[] = {{D3DFMT_DXT1, four, 0, 0, 1.0f},      {D3DFMT_DXT1, four, 1, 2, 1.0f},
               {D3DFMT_DXT1, four, 2, 0, 2.0f / 3},  {D3DFMT_DXT1, four, 3, 2, 2.0f / 3},
               {D3DFMT_DXT1, three, 3, 3, 0.0f},     {D3DFMT_DXT1, three, 0, 3, 1.0f},
               {D3DFMT_DXT3, dxt3, 0, 3, 5 / 15.0f}, {D3DFMT_DXT3, dxt3, 1, 3, 1.0f},
               {D3DFMT_DXT5, dxt5, 0, 3, 6 / 7.0f},  {D3DFMT_DXT5, dxt5, 1, 3, 0.0f}};
  for (const auto& k : cases) {
    FloatImage f;
    ASSERT_TRUE(DecodePixels(k.format, k.block.data(), std::uint32_t(k.block.size()), 4, 4, nullptr, f));
    EXPECT_NEAR(f.At(k.x, 0)[k.channel], k.want, 1e-5)
        << k.format << " texel " << k.x << " channel " << k.channel;
  }
}

// --- JPEG -------------------------------------------------------------------------

TEST(TexReaderJpeg, GreyAndColour) {
  Bytes grey(16 * 8);
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i % 16 < 8 ? 40 : 200);
  TexImageChain c = Read(MakeJpeg(16, 8, true, grey));
  EXPECT_EQ(c.fileFormat, D3DXIFF_JPG);
  ASSERT_EQ(c.levels[0].format, D3DFMT_L8);
  EXPECT_NEAR(c.levels[0].data[2 * 16 + 2], 40, 6);
  EXPECT_NEAR(c.levels[0].data[2 * 16 + 13], 200, 6);

  Bytes rgb(9 * 5 * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = i % 3 == 0 ? 220 : i % 3 == 1 ? 30 : 90;
  c = Read(MakeJpeg(9, 5, false, rgb));
  ASSERT_EQ(c.levels[0].format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(c.levels[0].width, 9u);
  const std::uint8_t* p = c.levels[0].data + 4 * c.levels[0].pitch + 8 * 4;
  EXPECT_NEAR(p[2], 220, 6);
  EXPECT_NEAR(p[1], 30, 6);
  EXPECT_NEAR(p[0], 90, 6);
  EXPECT_EQ(p[3], 255);
}

TEST(TexReaderJpeg, ScanCutShortIsRejected) {
  Bytes rgb(32 * 32 * 3, 128);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes f = MakeJpeg(32, 32, false, rgb);
  // Scan data cut short but closed with an end marker, as a file whose
  // middle went missing would be: libjpeg would fill the rest with grey.
  for (std::size_t n = f.size() / 3; n + 8 < f.size(); n += 97) {
    Bytes cut(f.begin(), f.begin() + n);
    cut.insert(cut.end(), {0xFF, 0xD9});
    EXPECT_TRUE(Rejected(cut)) << "cut at " << n;
  }
}

TEST(TexReaderPng, GammaSrgbAndInterlacing) {
  PngShape s;
  s.width = 1;
  s.colorType = 0;
  s.rows = {{128}};
  s.gamma = 1.0;  // linear samples shown on a 2.2 screen get brighter
  EXPECT_NEAR(Read(MakePng(s)).levels[0].data[0], 186, 2);
  s.gamma = 0;
  s.srgb = true;  // sRGB samples stay as they are
  EXPECT_EQ(Read(MakePng(s)).levels[0].data[0], 128);

  PngShape a;
  a.width = 9;
  a.height = 7;
  a.colorType = 2;
  for (std::uint32_t y = 0; y < 7; ++y) {
    Bytes row;
    for (std::uint32_t x = 0; x < 27; ++x) row.push_back(static_cast<std::uint8_t>(y * 31 + x * 5));
    a.rows.push_back(row);
  }
  const Argbs plain = Argb(Read(MakePng(a)).levels[0]);
  a.interlace = true;
  EXPECT_EQ(Argb(Read(MakePng(a)).levels[0]), plain);
}

TEST(TexReaderTga, EveryOriginGivesTheSameImage) {
  // The image, top row first: 1 2 3 / 4 5 6 (grey values), in file order.
  const struct {
    std::uint8_t descriptor;
    Bytes fileOrder;
  } cases[] = {
      {0x00, {4, 5, 6, 1, 2, 3}},  // bottom-up, left to right
      {0x20, {1, 2, 3, 4, 5, 6}},  // top-down
      {0x10, {6, 5, 4, 3, 2, 1}},  // bottom-up, right to left
      {0x30, {3, 2, 1, 6, 5, 4}},  // top-down, right to left
  };
  for (const auto& k : cases) {
    for (bool rle : {false, true}) {
      SCOPED_TRACE(::testing::Message() << int(k.descriptor) << (rle ? " run-length" : ""));
      const Bytes& f = k.fileOrder;
      // Run-length: a and b raw, then c four times; a packet past the last
      // pixel is never read.
      const Bytes stored = rle ? Bytes{f[0], f[1], f[2], f[2], f[2], f[2]} : f;
      TgaShape s;
      s.type = rle ? 11 : 3;
      s.bits = 8;
      s.width = 3;
      s.height = 2;
      s.descriptor = k.descriptor;
      s.pixels = rle ? Bytes{0x01, f[0], f[1], 0x83, f[2], 0x02, f[3], f[4], f[5]} : f;
      TexImageChain c = Read(MakeTga(s));
      ASSERT_EQ(c.levels.size(), 1u);
      EXPECT_EQ(c.levels[0].format, D3DFMT_L8);
      for (std::uint8_t i = 0; i < 6; ++i)  // image pixel i lies where i + 1 lies in the file
        EXPECT_EQ(c.levels[0].data[i], stored[std::find(f.begin(), f.end(), i + 1) - f.begin()]) << int(i);
    }
  }
}

// Fields no reader accepts, and data the header's claims do not fit (every
// shorter prefix of a good file is the loader's truncation test).
TEST(TexReaders, MalformedFilesAreRejected) {
  const Bytes goodBmp = MakeBmp(Dib(24, 1, {Rgb24Row({0xFFFFFF})}));
  DibShape noFormat = Dib(16, 1, {Bytes(2, 0)});
  noFormat.masks = {0xF00, 0xF0, 0xF, 0xF000};
  DdsShape rgb24;
  rgb24.width = 8;
  rgb24.mipCount = 2;
  rgb24.bits = 24;
  rgb24.payload.assign(160, 0);                                 // what 32 bits would take
  const std::vector<std::uint32_t> rlePalette = {0, 0xFF0000};  // run-length bitmaps, 4 x 3
  Bytes sizeField = goodBmp;
  sizeField[2] = 0xFF;
  PngShape png;
  png.width = png.height = 16;
  png.rows.assign(16, Bytes(48, 0x5D));
  Bytes crc = MakePng(png);
  crc[crc.size() / 2] ^= 0xFF;
  // Each file with the one reader that recognised it and its reason for
  // refusing it; a file no reader recognised leaves every reader silent.
  using R = TexReader;
  using W = TexRejection;
  const struct {
    const char* name;
    Bytes file;
    TexReader reader;
    TexRejection why;
  } files[] = {
      {"bmp: 13 bytes", {'B', 'M', 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, R::Count, W::None},
      {"bmp: size field past the end", sizeField, R::Bmp, W::SizeFieldPastEnd},
      {"bmp: masks of no format", MakeBmp(noFormat), R::Bmp, W::UnknownMasks},
      {"ppm: no height", Text("P6 1\n255\n"), R::Ppm, W::BadHeader},
      {"ppm: sample over the maximum", Text("P3 1 1 255 1 2 300"), R::Ppm, W::BadSample},
      {"ppm: a sample short", Text("P3 1 1 255 1 2"), R::Ppm, W::CutShort},
      {"ppm: maximum 0", Text("P6 1 1 0\nabc"), R::Ppm, W::BadHeader},
      {"ppm: a byte short", Text("P6 1 1 255\n\x01\x02"), R::Ppm, W::CutShort},
      {"ppm: P7", Text("P7 1 1 255\n123"), R::Count, W::None},
      {"ppm: no space after P6", Text("P61 1 255\n\x01\x02\x03"), R::Count, W::None},
      {"rle8: stream ends before the bitmap", Rle(8, 4, 3, {2, 1, 0, 0}, rlePalette), R::Bmp, W::CutShort},
      {"rle8: top-down (always bottom-up)", Rle(8, 4, 3, {2, 1, 0, 1}, rlePalette, true), R::Bmp,
       W::UnsupportedLayout},
      {"dds: 24 bits (with the bytes 32 would take)", MakeDds(rgb24), R::Dds, W::UnknownPixelFormat},
      {"dds: a byte short", Dxt1(2, 0, 23), R::Dds, W::CutShort},
      {"dds: more levels than data", Dxt1(0xFFFFFFFFu, 0, 24), R::Dds, W::CutShort},
      {"dds: five faces of six", Dxt1(1, 0xFE00, 5 * 16), R::Dds, W::CutShort},
      {"dds: some faces", Dxt1(1, 0x0C00, 6 * 16), R::Dds, W::SomeCubeFaces},
      {"png: check sum broken", crc, R::Png, W::DamagedData},
      {"tga: type 0", Tga(0, 24, 1, {1, 2, 3}), R::Count, W::None},
      {"tga: type 4", Tga(4, 24, 1, {1, 2, 3}), R::Count, W::None},
      {"tga: type 8", Tga(8, 24, 1, {1, 2, 3}), R::Count, W::None},
      {"tga: type 0x13", Tga(0x13, 24, 1, {1, 2, 3}), R::Count, W::None},
      {"tga: width 0", Tga(2, 24, 0, {1, 2, 3}), R::Count, W::None},
      {"tga: 16-bit grey", Tga(3, 16, 1, {1, 2, 3}), R::Count, W::None},
      {"tga: a byte short", Tga(2, 24, 1, {1, 2}), R::Tga, W::CutShort},
      {"tga: mapped without a map", Tga(1, 8, 1, {0}), R::Count, W::None},
      {"tga: map past entry 255", Mapped(1, 200, 16, Bytes(57 * 2, 0), 1, {0}), R::Tga, W::ColourMapPastEnd},
  };
  for (const auto& f : files) {
    EXPECT_TRUE(Rejected(f.file)) << f.name;
    for (std::uint32_t r = 0; r < std::uint32_t(R::Count); ++r)
      EXPECT_EQ(LastRejection(R(r)), R(r) == f.reader ? f.why : W::None)
          << f.name << ", " << TexReaderName(R(r));
    if (f.why == W::DamagedData) {
      EXPECT_STRNE(LastRejectionDetail(f.reader), "") << "libpng says what";
    }
  }
  EXPECT_FALSE(Rejected(goodBmp));
  EXPECT_FALSE(Rejected(Dxt1(2, 0, 24)));
  EXPECT_FALSE(Rejected(Tga(2, 24, 1, {1, 2, 3})));
  EXPECT_FALSE(Rejected(Rle(8, 4, 3, {2, 1, 0, 1}, rlePalette)));
}
