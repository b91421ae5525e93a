// The image readers on files built byte by byte: the format each variant
// yields and its decoded pixels, compared with what was written.
#include <gtest/gtest.h>

#include <memory>

#include "testing/tex_test_files.h"
#include "texture_io/tex_convert.h"
#include "texture_io/tex_image.h"

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

}  // namespace

// --- BMP and DIB ------------------------------------------------------------------

// Uncompressed layouts, bottom-up and top-down, with and without the file
// header; a 24-bit bitmap may carry a colour table, its pixels follow it.
TEST(TexReaderBmp, PlainLayouts) {
  const std::vector<Bytes> rgb = {Rgb24Row({0xFF0000, 0x00FF00, 0x0000FF}), Rgb24Row({0x123456, 0xFFFFFF, 0})};
  const Argbs rgbArgb = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456, 0xFFFFFFFF, 0xFF000000};
  const struct {
    std::uint16_t bits;
    bool topDown, packed;
    std::vector<std::uint32_t> palette;
    std::vector<Bytes> rows;
    D3DFORMAT format;
    Argbs argb;
  } cases[] = {
      {24, false, false, {}, rgb, D3DFMT_R8G8B8, rgbArgb},
      {24, true, false, {}, rgb, D3DFMT_R8G8B8, rgbArgb},
      {16, false, false, {}, {{0x1F, 0x7C}}, D3DFMT_X1R5G5B5, {0xFFFF00FF}},  // 0x7C1F: red and blue full
      {32, false, false, {}, {{0x11, 0x22, 0x33, 0x00}}, D3DFMT_X8R8G8B8, {0xFF332211}},
      {8, false, true, {0x102030, 0x405060}, {{1, 0}}, D3DFMT_P8, {0xFF405060, 0xFF102030}},
      {24, false, true, {0x102030, 0x405060}, {Rgb24Row({0xABCDEF, 0x010203})}, D3DFMT_R8G8B8,
       {0xFFABCDEF, 0xFF010203}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.bits << " bits, top-down " << k.topDown << ", packed " << k.packed);
    DibShape s;
    s.bits = k.bits;
    s.topDown = k.topDown;
    s.palette = k.palette;
    s.rows = k.rows;
    s.height = static_cast<std::int32_t>(k.rows.size());
    s.width = static_cast<std::int32_t>(k.argb.size() / k.rows.size());
    TexImageChain c = Read(k.packed ? MakeDib(s) : MakeBmp(s));
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.fileFormat, k.packed ? D3DXIFF_DIB : D3DXIFF_BMP);
    EXPECT_EQ(c.levels[0].format, k.format);
    EXPECT_EQ(Argb(c.levels[0]), k.argb);
  }
}

TEST(TexReaderBmp, PalettedOneFourAndEightBit) {
  DibShape s;
  s.width = 5;
  s.height = 2;
  s.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  struct Case {
    std::uint16_t bits;
    std::vector<Bytes> rows;
    std::vector<std::uint8_t> indices;
  };
  const Case cases[] = {
      {1, {{0xA8}, {0x58}}, {1, 0, 1, 0, 1, 0, 1, 0, 1, 1}},
      {4, {{0x01, 0x23, 0x10}, {0x32, 0x10, 0x30}}, {0, 1, 2, 3, 1, 3, 2, 1, 0, 3}},
      {8, {{0, 1, 2, 3, 0}, {3, 3, 2, 2, 1}}, {0, 1, 2, 3, 0, 3, 3, 2, 2, 1}},
  };
  for (const Case& k : cases) {
    s.bits = k.bits;
    s.rows = k.rows;
    TexImageChain c = Read(MakeBmp(s));
    ASSERT_EQ(c.levels.size(), 1u) << k.bits;
    const TexImage& img = c.levels[0];
    EXPECT_EQ(img.format, D3DFMT_P8);
    for (std::size_t i = 0; i < k.indices.size(); ++i)
      EXPECT_EQ(img.data[(i / 5) * img.pitch + i % 5], k.indices[i]) << k.bits << " pixel " << i;
    EXPECT_EQ(img.palette[1].peRed, 255);
    EXPECT_EQ(img.palette[1].peFlags, 255);
    // Entries past the colour table read as opaque white.
    EXPECT_EQ(img.palette[200].peRed, 255);
    EXPECT_EQ(img.palette[200].peBlue, 255);
    EXPECT_EQ(img.palette[200].peFlags, 255);
  }
}

TEST(TexReaderBmp, BitFieldsPickTheFormatTheMasksDescribe) {
  struct Case {
    std::uint16_t bits;
    std::vector<std::uint32_t> masks;
    D3DFORMAT format;
  };
  const Case cases[] = {
      {16, {0xF800, 0x7E0, 0x1F, 0}, D3DFMT_R5G6B5},
      {16, {0x7C00, 0x3E0, 0x1F, 0}, D3DFMT_X1R5G5B5},
      {16, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_A1R5G5B5},
      {16, {0xFF, 0xFF, 0xFF, 0xFF00}, D3DFMT_A8L8},
      {16, {0xE0, 0x1C, 0x3, 0xFF00}, D3DFMT_A8R3G3B2},
      {24, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8},
      {32, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_X8R8G8B8},
      {32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, D3DFMT_A8R8G8B8},
  };
  for (const Case& k : cases) {
    DibShape s;
    s.width = 2;
    s.height = 2;
    s.bits = k.bits;
    s.masks = k.masks;
    s.topDown = true;  // allowed with bit fields
    s.rows = {Bytes(k.bits / 4, 0x5A), Bytes(k.bits / 4, 0xA5)};
    TexImageChain c = Read(MakeBmp(s));
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.levels[0].format, k.format);
    EXPECT_EQ(c.levels[0].data[0], 0x5A);  // top row first
  }
}

TEST(TexReaderBmp, Rle8RunsLiteralsDeltaAndClipping) {
  DibShape s;
  s.width = 4;
  s.height = 3;
  s.bits = 8;
  s.compression = 1;
  s.palette = {0, 0xFF0000, 0x00FF00, 0x0000FF};
  // Bottom row: run of 6 (cut at 4); next: literal 3 (padded) then EOL;
  // then delta to x=2 of the top row, a run of 1, end of bitmap.
  s.rle = {6, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 0, 1, 3, 0, 1};
  TexImageChain c = Read(MakeBmp(s));
  ASSERT_EQ(c.levels.size(), 1u);
  const TexImage& img = c.levels[0];
  const std::vector<std::uint8_t> want = {0, 0, 3, 0, 2, 3, 1, 0, 1, 1, 1, 1};
  for (std::size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(img.data[(i / 4) * img.pitch + i % 4], want[i]) << i;

  s.rle = {2, 1, 0, 0};  // stream ends before the bitmap does
  EXPECT_TRUE(Rejected(MakeBmp(s)));
  s.rle = {2, 1, 0, 1};
  s.topDown = true;  // run-length bitmaps are always bottom-up
  EXPECT_TRUE(Rejected(MakeBmp(s)));
}

TEST(TexReaderBmp, Rle4) {
  DibShape s;
  s.width = 5;
  s.height = 1;
  s.bits = 4;
  s.compression = 2;
  s.palette = {0, 0xFF, 0xFF00};
  s.rle = {3, 0x12, 0, 3, 0x21, 0x20, 0, 1};  // 1 2 1, literal 2 1 2
  TexImageChain c = Read(MakeBmp(s));
  ASSERT_EQ(c.levels.size(), 1u);
  EXPECT_EQ(Bytes(c.levels[0].data, c.levels[0].data + 5), (Bytes{1, 2, 1, 2, 1}));
}

// --- PPM --------------------------------------------------------------------------

TEST(TexReaderPpm, BinaryAndTextWithComments) {
  std::string p6 = "P6 # a comment\n2 1\n# another\n255\n";
  Bytes f(p6.begin(), p6.end());
  for (std::uint8_t v : {255, 0, 0, 1, 2, 3}) f.push_back(v);
  TexImageChain c = Read(f);
  EXPECT_EQ(c.fileFormat, D3DXIFF_PPM);
  EXPECT_EQ(c.levels[0].format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(Argb(c.levels[0]), (Argbs{0xFFFF0000, 0xFF010203}));

  // Maximum 15: samples scale to 0..255.
  std::string p3 = "P3\n# c\n1 2 15\n15 0 7 # trailing\n 0 15 15";
  c = Read(Bytes(p3.begin(), p3.end()));
  EXPECT_EQ(Argb(c.levels[0]), (Argbs{0xFFFF0077, 0xFF00FFFF}));
  // Sixteen-bit samples, high byte first.
  const std::string h = "P6 1 1 65535\n\xFF\xFF\x80";
  Bytes f16(h.begin(), h.end());
  f16.insert(f16.end(), {0, 0, 0});
  EXPECT_EQ(Argb(Read(f16).levels[0])[0], 0xFFFF8000u);
}

// --- DDS --------------------------------------------------------------------------

TEST(TexReaderDds, UncompressedLayouts) {
  struct Case {
    std::uint32_t flags, bits, gMask, aMask;
    D3DFORMAT format;
  };
  const Case cases[] = {
      {0x41, 32, 0xFF00, 0xFF000000u, D3DFMT_A8R8G8B8},
      {0x40, 32, 0xFF00, 0, D3DFMT_X8R8G8B8},
      {0x40, 16, 0x7E0, 0, D3DFMT_R5G6B5},
      {0x40, 16, 0x3E0, 0, D3DFMT_X1R5G5B5},
      {0x41, 16, 0x3E0, 0x8000, D3DFMT_A1R5G5B5},
      {0x41, 16, 0xF0, 0xF000, D3DFMT_A4R4G4B4},
  };
  for (const Case& k : cases) {
    DdsShape s;
    s.width = 3;
    s.height = 2;
    s.pfFlags = k.flags;
    s.bits = k.bits;
    s.gMask = k.gMask;
    s.aMask = k.aMask;
    for (std::uint32_t i = 0; i < 6 * k.bits / 8; ++i) s.payload.push_back(static_cast<std::uint8_t>(i));
    TexImageChain c = Read(MakeDds(s));
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.levels[0].format, k.format);
    EXPECT_EQ(c.levels[0].pitch, 3 * k.bits / 8);
    EXPECT_EQ(c.levels[0].data[c.levels[0].pitch], 3 * k.bits / 8);  // second row
  }
}

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
  EXPECT_EQ(c.levels[1].width, 4u);
  EXPECT_EQ(c.levels[1].height, 2u);
  EXPECT_EQ(c.levels[2].width, 2u);
  EXPECT_EQ(c.levels[2].height, 1u);
  EXPECT_EQ(c.levels[0].pitch, 16u);

  s.mipCount = 1;
  s.caps2 = 0xFE00;  // every face
  s.payload.assign(6 * 16, 0);
  s.payload[16] = 0x77;  // first byte of the second face
  c = Read(MakeDds(s));
  ASSERT_EQ(c.levels.size(), 1u);  // the texture takes the first face
  EXPECT_EQ(c.levels[0].data[0], 0);
}

TEST(TexReaderDds, DxtBlocksDecode) {
  // DXT1, four-colour block: red and blue endpoints, indices 0 1 2 3 in the top row.
  Bytes dxt1 = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
  FloatImage f;
  ASSERT_TRUE(DecodePixels(D3DFMT_DXT1, dxt1.data(), 8, 4, 4, nullptr, f));
  EXPECT_FLOAT_EQ(f.At(0, 0)[0], 1.0f);
  EXPECT_FLOAT_EQ(f.At(1, 0)[2], 1.0f);
  EXPECT_NEAR(f.At(2, 0)[0], 2.0f / 3, 1e-5);
  EXPECT_NEAR(f.At(3, 0)[2], 2.0f / 3, 1e-5);
  // Three-colour block (first endpoint smaller): index 3 is transparent black.
  Bytes three = {0x1F, 0x00, 0x00, 0xF8, 0xC0, 0, 0, 0};
  ASSERT_TRUE(DecodePixels(D3DFMT_DXT1, three.data(), 8, 4, 4, nullptr, f));
  EXPECT_EQ(f.At(3, 0)[3], 0.0f);
  EXPECT_EQ(f.At(0, 0)[3], 1.0f);
  // DXT3: explicit 4-bit alpha; DXT5: interpolated alpha.
  Bytes dxt3(16, 0);
  dxt3[0] = 0xF5;  // pixel 0 alpha 5, pixel 1 alpha 15
  ASSERT_TRUE(DecodePixels(D3DFMT_DXT3, dxt3.data(), 16, 4, 4, nullptr, f));
  EXPECT_NEAR(f.At(0, 0)[3], 5 / 15.0f, 1e-6);
  EXPECT_EQ(f.At(1, 0)[3], 1.0f);
  Bytes dxt5(16, 0);
  dxt5[0] = 255;
  dxt5[1] = 0;
  dxt5[2] = 0x0A;  // pixel 0 index 2, pixel 1 index 1
  ASSERT_TRUE(DecodePixels(D3DFMT_DXT5, dxt5.data(), 16, 4, 4, nullptr, f));
  EXPECT_NEAR(f.At(0, 0)[3], (6 * 255 / 7.0f) / 255, 1e-5);
  EXPECT_EQ(f.At(1, 0)[3], 0.0f);
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
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = 220;
    rgb[i + 1] = 30;
    rgb[i + 2] = 90;
  }
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

// --- PNG --------------------------------------------------------------------------

TEST(TexReaderPng, EveryColourTypeAndDepth) {
  struct Case {
    int type, depth;
    D3DFORMAT format;
    Bytes row;  // one row of two pixels
    Argbs argb;
    std::vector<std::uint16_t> trns{};  // a transparent grey or red, green, blue
  };
  const Case cases[] = {
      {0, 1, D3DFMT_L8, {0x80}, {0xFFFFFFFF, 0xFF000000}},
      {0, 2, D3DFMT_L8, {0xE0}, {0xFFFFFFFF, 0xFFAAAAAA}},
      {0, 4, D3DFMT_L8, {0xF7}, {0xFFFFFFFF, 0xFF777777}},
      {0, 8, D3DFMT_L8, {0x12, 0xFE}, {0xFF121212, 0xFFFEFEFE}},
      {0, 16, D3DFMT_L8, {0x12, 0x34, 0xAB, 0xCD}, {0xFF121212, 0xFFABABAB}},
      {2, 8, D3DFMT_X8R8G8B8, {1, 2, 3, 4, 5, 6}, {0xFF010203, 0xFF040506}},
      {2, 16, D3DFMT_X8R8G8B8, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0}, {0xFF010203, 0xFF040506}},
      {4, 8, D3DFMT_A8L8, {0x10, 0x80, 0x20, 0xFF}, {0x80101010, 0xFF202020}},
      {4, 16, D3DFMT_A8L8, {0x10, 0, 0x80, 0, 0x20, 0, 0xFF, 0}, {0x80101010, 0xFF202020}},
      {6, 8, D3DFMT_A8R8G8B8, {1, 2, 3, 4, 5, 6, 7, 8}, {0x04010203, 0x08050607}},
      {6, 16, D3DFMT_A8R8G8B8, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0}, {0x04010203, 0x08050607}},
      {2, 8, D3DFMT_A8R8G8B8, {10, 20, 30, 40, 50, 60}, {0xFF0A141E, 0x0028323C}, {40, 50, 60}},
      {0, 8, D3DFMT_A8L8, {7, 9}, {0xFF070707, 0x00090909}, {9}},
  };
  for (const Case& k : cases) {
    PngShape s;
    s.width = 2;
    s.colorType = k.type;
    s.bitDepth = k.depth;
    s.rows = {k.row};
    s.trnsColour = !k.trns.empty();
    std::copy(k.trns.begin(), k.trns.end(), s.trns);
    TexImageChain c = Read(MakePng(s));
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.fileFormat, D3DXIFF_PNG);
    EXPECT_EQ(c.levels[0].format, k.format) << k.type << "/" << k.depth;
    EXPECT_EQ(Argb(c.levels[0]), k.argb) << k.type << "/" << k.depth;
  }
}

TEST(TexReaderPng, PaletteDepthsAndTransparency) {
  for (int depth : {1, 2, 4, 8}) {
    PngShape s;
    s.width = 2;
    s.colorType = 3;
    s.bitDepth = depth;
    s.palette = {0x102030, 0xA0B0C0};
    s.trnsPalette = {0x40};
    s.rows = {{static_cast<std::uint8_t>(depth == 8 ? 1 : (1u << (8 - depth)))}};
    if (depth == 8) s.rows[0].push_back(0);
    TexImageChain c = Read(MakePng(s));
    ASSERT_EQ(c.levels[0].format, D3DFMT_P8) << depth;
    EXPECT_EQ(Argb(c.levels[0]), (Argbs{0xFFA0B0C0, 0x40102030})) << depth;
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

// --- TGA --------------------------------------------------------------------------

TEST(TexReaderTga, TrueColourDepths) {
  struct Case {
    std::uint8_t bits;
    D3DFORMAT format;
    Bytes pixel;
    std::uint32_t argb;
  };
  const Case cases[] = {
      {15, D3DFMT_X1R5G5B5, {0x1F, 0x7C}, 0xFFFF00FF},
      {16, D3DFMT_A1R5G5B5, {0x1F, 0x7C}, 0x00FF00FF},
      {24, D3DFMT_R8G8B8, {1, 2, 3}, 0xFF030201},
      {32, D3DFMT_A8R8G8B8, {1, 2, 3, 4}, 0x04030201},
  };
  for (const Case& k : cases) {
    TgaShape s;
    s.bits = k.bits;
    s.pixels = k.pixel;
    s.id = {'i', 'd'};
    TexImageChain c = Read(MakeTga(s));
    ASSERT_EQ(c.levels.size(), 1u);
    EXPECT_EQ(c.fileFormat, D3DXIFF_TGA);
    EXPECT_EQ(c.levels[0].format, k.format);
    EXPECT_EQ(Argb(c.levels[0])[0], k.argb);
  }
  // A run longer than the rest of the image is cut at its end.
  TgaShape run;
  run.type = 10;
  run.width = 2;
  run.pixels = {0xFF, 10, 20, 30};
  EXPECT_EQ(Argb(Read(MakeTga(run)).levels[0]), (Argbs{0xFF1E140A, 0xFF1E140A}));
}

TEST(TexReaderTga, EveryOriginGivesTheSameImage) {
  // The image, top row first: 1 2 3 / 4 5 6 (grey values).
  struct Case {
    std::uint8_t descriptor;
    Bytes fileOrder;
  };
  const Case cases[] = {
      {0x00, {4, 5, 6, 1, 2, 3}},  // bottom-up, left to right
      {0x20, {1, 2, 3, 4, 5, 6}},  // top-down
      {0x10, {6, 5, 4, 3, 2, 1}},  // bottom-up, right to left
      {0x30, {3, 2, 1, 6, 5, 4}},  // top-down, right to left
  };
  for (const Case& k : cases) {
    for (bool rle : {false, true}) {
      TgaShape s;
      s.type = rle ? 11 : 3;
      s.bits = 8;
      s.width = 3;
      s.height = 2;
      s.descriptor = k.descriptor;
      if (rle) {
        s.pixels = {0x01, k.fileOrder[0], k.fileOrder[1], 0x83, k.fileOrder[2]};
        // A packet past the last pixel is never read.
        s.pixels.insert(s.pixels.end(), {0x02, k.fileOrder[3], k.fileOrder[4], k.fileOrder[5]});
      } else {
        s.pixels = k.fileOrder;
      }
      TexImageChain c = Read(MakeTga(s));
      ASSERT_EQ(c.levels.size(), 1u);
      EXPECT_EQ(c.levels[0].format, D3DFMT_L8);
      Bytes got(c.levels[0].data, c.levels[0].data + 6);
      if (!rle) {
        EXPECT_EQ(got, (Bytes{1, 2, 3, 4, 5, 6})) << int(k.descriptor);
      } else {
        // In file order: a, b, then c four times.
        Bytes fileOrder = {k.fileOrder[0], k.fileOrder[1], k.fileOrder[2],
                           k.fileOrder[2], k.fileOrder[2], k.fileOrder[2]};
        TgaShape plain = s;
        plain.type = 3;
        plain.pixels = fileOrder;
        TexImageChain p = Read(MakeTga(plain));
        EXPECT_EQ(got, Bytes(p.levels[0].data, p.levels[0].data + 6)) << int(k.descriptor);
      }
    }
  }
}

TEST(TexReaderTga, ColourMappedImages) {
  TgaShape s;
  s.type = 1;
  s.bits = 8;
  s.width = 3;
  s.descriptor = 0x20;
  s.mapFirst = 10;
  s.mapLength = 2;
  s.mapBits = 24;
  s.map = {0x30, 0x20, 0x10, 0x60, 0x50, 0x40};
  s.pixels = {10, 11, 12};
  TexImageChain c = Read(MakeTga(s));
  ASSERT_EQ(c.levels[0].format, D3DFMT_P8);
  // Index 12 lies past the map: opaque white.
  EXPECT_EQ(Argb(c.levels[0]), (Argbs{0xFF102030, 0xFF405060, 0xFFFFFFFF}));

  s.mapBits = 16;
  s.map = {0x00, 0xFC, 0x1F, 0x00};  // opaque red, transparent blue
  s.type = 9;
  s.pixels = {0x81, 10, 0x00, 11};
  c = Read(MakeTga(s));
  EXPECT_EQ(Argb(c.levels[0]), (Argbs{0xFFFF0000, 0xFFFF0000, 0x000000FF}));
}

// Fields no reader accepts, and data the header's claims do not fit (every
// shorter prefix of a good file is the loader's truncation test).
TEST(TexReaders, MalformedFilesAreRejected) {
  auto bmp = [](auto edit) {
    DibShape s;
    s.rows = {Rgb24Row({0xFFFFFF})};
    edit(s);
    return MakeBmp(s);
  };
  auto dds = [](auto edit) {  // 8x4 DXT1, two levels
    DdsShape s;
    s.width = 8;
    s.height = 4;
    s.mipCount = 2;
    s.fourCC = D3DFMT_DXT1;
    s.pfFlags = 4;
    s.payload.assign(24, 0);
    edit(s);
    return MakeDds(s);
  };
  auto tga = [](auto edit) {
    TgaShape s;
    s.pixels = {1, 2, 3};
    edit(s);
    return MakeTga(s);
  };
  auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
  Bytes sizeField = bmp([](DibShape&) {});
  sizeField[2] = 0xFF;
  PngShape png;
  png.width = png.height = 16;
  png.rows.assign(16, Bytes(48, 0x5D));
  Bytes crc = MakePng(png);
  crc[crc.size() / 2] ^= 0xFF;
  const std::pair<const char*, Bytes> files[] = {
      {"bmp: 13 bytes", {'B', 'M', 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"bmp: size field past the end", sizeField},
      {"bmp: masks of no format", bmp([](DibShape& s) {
         s.bits = 16;
         s.masks = {0xF00, 0xF0, 0xF, 0xF000};
         s.rows = {Bytes(2, 0)};
       })},
      {"ppm: no height", text("P6 1\n255\n")},
      {"ppm: sample over the maximum", text("P3 1 1 255 1 2 300")},
      {"ppm: a sample short", text("P3 1 1 255 1 2")},
      {"ppm: maximum 0", text("P6 1 1 0\nabc")},
      {"ppm: a byte short", text("P6 1 1 255\n\x01\x02")},
      {"ppm: P7", text("P7 1 1 255\n123")},
      {"ppm: no space after P6", text("P61 1 255\n\x01\x02\x03")},
      {"dds: 24 bits", dds([](DdsShape& s) { s.pfFlags = 0x40, s.fourCC = 0, s.bits = 24, s.payload.resize(120); })},
      {"dds: a byte short", dds([](DdsShape& s) { s.payload.pop_back(); })},
      {"dds: more levels than data", dds([](DdsShape& s) { s.mipCount = 0xFFFFFFFFu; })},
      {"dds: five faces of six",
       dds([](DdsShape& s) { s.mipCount = 1, s.caps2 = 0xFE00, s.payload.assign(5 * 16, 0); })},
      {"dds: some faces", dds([](DdsShape& s) { s.mipCount = 1, s.caps2 = 0x0C00, s.payload.assign(6 * 16, 0); })},
      {"png: check sum broken", crc},
      {"tga: type 0", tga([](TgaShape& s) { s.type = 0; })},
      {"tga: type 4", tga([](TgaShape& s) { s.type = 4; })},
      {"tga: type 8", tga([](TgaShape& s) { s.type = 8; })},
      {"tga: type 0x13", tga([](TgaShape& s) { s.type = 0x13; })},
      {"tga: width 0", tga([](TgaShape& s) { s.width = 0; })},
      {"tga: 16-bit grey", tga([](TgaShape& s) { s.type = 3, s.bits = 16; })},
      {"tga: a byte short", tga([](TgaShape& s) { s.pixels.pop_back(); })},
      {"tga: mapped without a map", tga([](TgaShape& s) { s.type = 1, s.bits = 8, s.pixels = {0}; })},
      {"tga: map past entry 255", tga([](TgaShape& s) {
         s.type = 1, s.bits = 8, s.pixels = {0};
         s.mapFirst = 200, s.mapLength = 57, s.mapBits = 16, s.map.assign(57 * 2, 0);
       })},
  };
  for (const auto& [name, file] : files) EXPECT_TRUE(Rejected(file)) << name;
  EXPECT_FALSE(Rejected(bmp([](DibShape&) {})));
  EXPECT_FALSE(Rejected(dds([](DdsShape&) {})));
  EXPECT_FALSE(Rejected(tga([](TgaShape&) {})));
}
