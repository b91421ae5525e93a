// Pixel conversion and resampling: every format the loader can choose
// keeps a picture within its precision, exact encodings where the layout
// matters, DXT and YUV, dithering, and the filters' kernels and edges.
#include <gtest/gtest.h>

#include <cmath>

#include "texture_io/tex_convert.h"
#include "texture_io/tex_format.h"

using namespace qv::tex;

namespace {

using Bytes = std::vector<std::uint8_t>;

FloatImage Image(std::uint32_t w, std::uint32_t h, std::vector<float> rgba) {
  FloatImage f;
  f.Resize(w, h);
  f.pixels = std::move(rgba);
  return f;
}

Bytes Encode(const FloatImage& in, D3DFORMAT f, bool dither = false, const PALETTEENTRY* palette = nullptr) {
  const std::uint32_t pitch = RowBytes(f, in.width);
  Bytes out(std::size_t(pitch) * RowCount(f, in.height));
  EXPECT_TRUE(EncodePixels(in, f, out.data(), pitch, palette, dither));
  return out;
}

FloatImage Decode(const Bytes& bytes, D3DFORMAT f, std::uint32_t w, std::uint32_t h,
                  const PALETTEENTRY* palette = nullptr) {
  FloatImage out;
  EXPECT_TRUE(DecodePixels(f, bytes.data(), RowBytes(f, w), w, h, palette, out));
  return out;
}

}  // namespace

TEST(TexConvert, EveryFormatKeepsAPictureWithinItsPrecision) {
  const D3DFORMAT formats[] = {D3DFMT_R8G8B8,   D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
                               D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,
                               D3DFMT_A8,       D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_L8,
                               D3DFMT_A8L8,     D3DFMT_A4L4,     D3DFMT_V8U8,     D3DFMT_L6V5U5,
                               D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,   D3DFMT_W11V11U10};
  for (D3DFORMAT f : formats) {
    const FormatRow row = DescribeFormat(f);
    const bool bump = row.kind == FormatKind::Bump;
    const bool lum = row.kind == FormatKind::Luminance;
    // Per channel (red, green, blue, alpha): width, from the table's
    // (none/L, alpha/Q, red/W, green/V, blue/U) order; a bump alpha is Q or L.
    const auto& c = row.channels;
    const int bits[4] = {c[bump ? 4 : 2], c[3], c[bump ? 2 : 4], bump && !c[1] ? c[0] : c[1]};
    FloatImage in;
    in.Resize(3, 2);
    for (std::size_t i = 0; i < in.pixels.size(); ++i) {
      float v = std::fmod(0.137f * float(i) + 0.05f, 1.0f);
      if (lum && i % 4 < 3) v = in.pixels[i - i % 4] = std::fmod(0.29f * float(i / 4), 1.0f);
      if (bump && i % 4 != 3 && (bits[i % 4] > 0)) v = v * 2 - 1;  // signed channels
      if (bump && i % 4 == 3 && row.channels[1]) v = v * 2 - 1;    // Q is signed, L is not
      in.pixels[i] = v;
    }
    const Bytes bytes = Encode(in, f);
    const FloatImage out = Decode(bytes, f, 3, 2);
    for (std::size_t i = 0; i < in.pixels.size(); ++i) {
      const int b = bits[i % 4];
      if (b == 0) {
        EXPECT_EQ(out.pixels[i], i % 4 == 3 ? 1.0f : 0.0f) << f << " channel " << i % 4;
        continue;
      }
      const bool isSigned = bump && (i % 4 < 3 || row.channels[1]);
      const float step = isSigned ? 1.0f / float((1 << (b - 1)) - 1) : 1.0f / float((1 << b) - 1);
      EXPECT_NEAR(out.pixels[i], in.pixels[i], step / 2 + 1e-5f) << f << " channel " << i % 4;
    }
    EXPECT_EQ(Encode(out, f), bytes) << f << ": a decoded picture encodes to the same bytes";
  }
}

TEST(TexConvert, ExactLayouts) {
  const FloatImage red = Image(1, 1, {1, 0, 0, 1});
  EXPECT_EQ(Encode(red, D3DFMT_R5G6B5), (Bytes{0x00, 0xF8}));
  EXPECT_EQ(Encode(red, D3DFMT_X1R5G5B5), (Bytes{0x00, 0xFC}));  // X bit set
  EXPECT_EQ(Encode(red, D3DFMT_X8R8G8B8), (Bytes{0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(Encode(Image(1, 1, {0, 0, 1, 0.6f}), D3DFMT_A1R5G5B5), (Bytes{0x1F, 0x80}));
  EXPECT_EQ(Encode(Image(1, 1, {0, 1, 0, 1}), D3DFMT_L8), (Bytes{182}));  // luminance weights
  EXPECT_EQ(Encode(Image(1, 1, {-1, 1, 0, 1}), D3DFMT_V8U8), (Bytes{0x81, 0x7F}));
  // U (10 bits) -1 -> -511; V (11 bits) 0; W (11 bits) +1 -> +1023.
  const Bytes w11 = Encode(Image(1, 1, {-1, 0, 1, 1}), D3DFMT_W11V11U10);
  const std::uint32_t v = w11[0] | w11[1] << 8 | w11[2] << 16 | std::uint32_t(w11[3]) << 24;
  EXPECT_EQ(v & 0x3FF, 0x201u);
  EXPECT_EQ((v >> 10) & 0x7FF, 0u);
  EXPECT_EQ(v >> 21, 0x3FFu);
  // The most negative stored value reads as -1, not below.
  EXPECT_EQ(Decode({0x80, 0x80}, D3DFMT_V8U8, 1, 1).pixels[0], -1.0f);
}

TEST(TexConvert, PalettesAndYuv) {
  PALETTEENTRY palette[256] = {};
  palette[3] = {255, 0, 0, 255};
  palette[7] = {0, 0, 255, 128};
  const FloatImage in = Image(2, 1, {0.9f, 0.1f, 0, 1, 0, 0, 1, 0.5f});
  const Bytes p8 = Encode(in, D3DFMT_P8, false, palette);
  EXPECT_EQ(p8, (Bytes{3, 7}));
  EXPECT_EQ(Decode(p8, D3DFMT_P8, 2, 1, palette).pixels[7], 128 / 255.0f);
  EXPECT_EQ(Encode(in, D3DFMT_A8P8, false, palette), (Bytes{3, 255, 7, 128}));
  FloatImage scratch;
  EXPECT_FALSE(DecodePixels(D3DFMT_P8, p8.data(), 2, 2, 1, nullptr, scratch));

  const FloatImage colours = Image(2, 1, {1, 1, 1, 1, 0.2f, 0.2f, 0.2f, 1});
  for (D3DFORMAT f : {D3DFMT_YUY2, D3DFMT_UYVY}) {
    const Bytes yuv = Encode(colours, f);
    const int y0 = f == D3DFMT_YUY2 ? 0 : 1;
    EXPECT_EQ(yuv[y0], 235);  // studio-range white
    const FloatImage back = Decode(yuv, f, 2, 1);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(back.pixels[k], 1.0f, 0.02f) << f;
      EXPECT_NEAR(back.pixels[4 + k], 0.2f, 0.02f) << f;
    }
  }
}

TEST(TexConvert, DxtEncodingRoundTrips) {
  // Two colours that 5-6-5 holds exactly, in a 6x5 image (partial blocks).
  std::vector<float> rgba;
  for (std::uint32_t y = 0; y < 5; ++y)
    for (std::uint32_t x = 0; x < 6; ++x) {
      const float red = (x + y) % 3 == 0 ? 1.0f : 0.0f;
      rgba.insert(rgba.end(), {red, 1 - red, 0, x < 2 ? 0.0f : (x < 4 ? 1.0f / 3 : 1.0f)});
    }
  const FloatImage in = Image(6, 5, rgba);
  for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
    const FloatImage out = Decode(Encode(in, f), f, 6, 5);
    for (std::uint32_t y = 0; y < 5; ++y)
      for (std::uint32_t x = 0; x < 6; ++x) {
        const float* a = in.At(x, y);
        const float* b = out.At(x, y);
        if (f == D3DFMT_DXT1) {
          // One bit of alpha: transparent texels come back transparent black.
          EXPECT_EQ(b[3], a[3] < 0.5f ? 0.0f : 1.0f) << x << "," << y;
          if (a[3] < 0.5f) continue;
        } else {
          EXPECT_NEAR(b[3], a[3], f == D3DFMT_DXT2 || f == D3DFMT_DXT3 ? 1 / 30.0f : 1 / 14.0f) << f;
          if (a[3] == 0) continue;  // premultiplied formats lose the colour of clear texels
        }
        // Premultiplied colour keeps 5 or 6 bits of colour times alpha.
        const bool premultiplied = f == D3DFMT_DXT2 || f == D3DFMT_DXT4;
        const float tolerance = premultiplied ? 0.02f / a[3] : 0.02f;
        EXPECT_NEAR(b[0], a[0], tolerance) << f << " at " << x << "," << y;
        EXPECT_NEAR(b[1], a[1], tolerance) << f << " at " << x << "," << y;
      }
  }
}

TEST(TexConvert, DitherSpreadsTheErrorInsteadOfRoundingEverywhere) {
  const FloatImage grey = Image(4, 4, std::vector<float>(64, 0.5f));
  auto reds = [](const Bytes& b) {
    std::vector<int> r;
    for (std::size_t i = 0; i < b.size(); i += 2) r.push_back((b[i + 1] >> 3) & 31);
    return r;
  };
  const std::vector<int> plain = reds(Encode(grey, D3DFMT_R5G6B5, false));
  const std::vector<int> dithered = reds(Encode(grey, D3DFMT_R5G6B5, true));
  EXPECT_EQ(plain, std::vector<int>(16, 16));
  double sum = 0;
  for (int r : dithered) {
    EXPECT_TRUE(r == 15 || r == 16) << r;
    sum += r;
  }
  EXPECT_NEAR(sum / 16, 15.5, 0.1);  // 0.5 x 31
  // Eight-bit channels are never dithered.
  EXPECT_EQ(Encode(grey, D3DFMT_X8R8G8B8, true), Encode(grey, D3DFMT_X8R8G8B8, false));
}

TEST(TexResample, KernelsAndEdges) {
  auto row = [](std::vector<float> v) {
    FloatImage f;
    f.Resize(static_cast<std::uint32_t>(v.size()), 1);
    for (std::size_t i = 0; i < v.size(); ++i) f.pixels[i * 4] = v[i];
    return f;
  };
  // Red of each output texel of a row resampled to `want`'s width.
  auto check = [](const FloatImage& in, DWORD filter, const std::vector<float>& want) {
    FloatImage out;
    out.Resize(static_cast<std::uint32_t>(want.size()), 1);
    Resample(in, out, filter);
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_NEAR(out.pixels[i * 4], want[i], 1e-5f) << filter << " " << i;
    return out;
  };
  const FloatImage five = row({0, 1, 2, 3, 4});
  check(five, D3DX_FILTER_BOX, {0.8f, 3.2f});  // covers 2.5 texels each
  check(five, D3DX_FILTER_POINT, {1, 3});
  // Without mirroring the image wraps, so the left edge sees the right one.
  const FloatImage two = row({0, 1});
  check(two, D3DX_FILTER_LINEAR, {0.25f, 0.25f, 0.75f, 0.75f});
  check(two, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U, {0, 0.25f, 0.75f, 1});
  const FloatImage step = row({0, 0, 1, 1});
  check(step, D3DX_FILTER_TRIANGLE, {0.25f, 0.75f});
  check(step, D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR_U, {0.125f, 0.875f});
  // No filter: a copy, with transparent black past the source.
  EXPECT_EQ(check(two, D3DX_FILTER_NONE, {0, 1, 0}).pixels[2 * 4 + 3], 0.0f);
}

// Converting a band of rows at a time gives the very bytes of converting
// the whole image through one float copy, for every kind of source and
// target, filter, edge mode, dither and size (bands of 16 rows, DXT rows of
// blocks, heights that end mid-band); the byte box filter stays within one
// step of the float one.
TEST(TexConvert, RowByRowMatchesTheWholeImage) {
  std::vector<PALETTEENTRY> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[i] =
        PALETTEENTRY{std::uint8_t(i * 7), std::uint8_t(i * 13), std::uint8_t(255 - i), std::uint8_t(i * 3)};
  std::uint32_t seed = 99;
  auto noise = [&seed](std::size_t n) {
    Bytes b(n);
    for (std::uint8_t& v : b) v = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return b;
  };
  struct Case {
    D3DFORMAT from, to;
    std::uint32_t sw, sh, dw, dh;
    DWORD filter;
    D3DCOLOR key;
  };
  const Case cases[] = {
      {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, 37, 41, 16, 19, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0},
      {D3DFMT_R8G8B8, D3DFMT_X8R8G8B8, 40, 40, 40, 40, D3DX_FILTER_TRIANGLE, 0},
      {D3DFMT_A8R8G8B8, D3DFMT_DXT5, 33, 35, 20, 18, D3DX_FILTER_BOX | D3DX_FILTER_MIRROR, 0},
      {D3DFMT_DXT1, D3DFMT_A4R4G4B4, 24, 36, 24, 36, D3DX_FILTER_LINEAR | D3DX_FILTER_DITHER, 0},
      {D3DFMT_DXT3, D3DFMT_DXT1, 16, 40, 7, 33, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_V, 0},
      {D3DFMT_P8, D3DFMT_P8, 19, 23, 40, 45, D3DX_FILTER_POINT, 0},
      {D3DFMT_L8, D3DFMT_YUY2, 30, 34, 15, 34, D3DX_FILTER_NONE, 0},
      {D3DFMT_YUY2, D3DFMT_A8L8, 22, 20, 23, 50, D3DX_FILTER_NONE, 0},
      {D3DFMT_V8U8, D3DFMT_Q8W8V8U8, 32, 32, 16, 16, D3DX_FILTER_POINT, 0},
      {D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, 18, 18, 9, 9, D3DX_FILTER_TRIANGLE, 0xFF000000u},
      {D3DFMT_R3G3B2, D3DFMT_A8R8G8B8, 64, 48, 64, 48, D3DX_FILTER_BOX, 0xFF000000u},
  };
  for (const Case& c : cases) {
    const std::uint32_t sp = RowBytes(c.from, c.sw), dp = RowBytes(c.to, c.dw);
    Bytes src = noise(std::size_t(sp) * RowCount(c.from, c.sh));
    // Some pixels that are zero bytes: opaque black, the key, in the keyed cases.
    for (std::size_t i = 0; i + 1 < src.size(); i += 30) src[i] = src[i + 1] = 0;
    FloatImage whole, sized;
    ASSERT_TRUE(DecodePixels(c.from, src.data(), sp, c.sw, c.sh, palette.data(), whole));
    if (c.key) ApplyColorKey(whole, c.key);
    sized.Resize(c.dw, c.dh);
    Resample(whole, sized, c.filter);
    Bytes want(std::size_t(dp) * RowCount(c.to, c.dh));
    ASSERT_TRUE(
        EncodePixels(sized, c.to, want.data(), dp, palette.data(), (c.filter & D3DX_FILTER_DITHER) != 0));

    Bytes got(want.size(), 0xCD);
    PixelRect from{c.from, src.data(), nullptr, sp, c.sw, c.sh, palette.data()};
    PixelRect to{c.to, nullptr, got.data(), dp, c.dw, c.dh, palette.data()};
    ASSERT_TRUE(ConvertImage(from, to, c.filter, c.key, (c.filter & D3DX_FILTER_DITHER) != 0));
    EXPECT_EQ(got, want) << c.from << " to " << c.to << " " << c.dw << " x " << c.dh;
  }

  // The byte box filter: each side halved or kept at 1, every byte format.
  for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A8}) {
    const std::uint32_t sizes[][4] = {{16, 8, 8, 4}, {1, 6, 1, 3}, {10, 1, 5, 1}, {1, 1, 1, 1}};
    for (const auto& z : sizes) {
      const std::uint32_t sp = RowBytes(f, z[0]), dp = RowBytes(f, z[2]);
      Bytes src = noise(std::size_t(sp) * z[1]);
      Bytes floatBox(std::size_t(dp) * z[3]), byteBox(floatBox.size());
      PixelRect from{f, src.data(), nullptr, sp, z[0], z[1], nullptr};
      ASSERT_TRUE(ConvertImage(from, {f, nullptr, floatBox.data(), dp, z[2], z[3], nullptr}, D3DX_FILTER_BOX,
                               0, false));
      ASSERT_TRUE(HalveBytes(from, {f, nullptr, byteBox.data(), dp, z[2], z[3], nullptr})) << f;
      // Within a step everywhere, and equal but for the float path's
      // rounding of exact halves.
      std::size_t differ = 0;
      for (std::size_t i = 0; i < byteBox.size(); ++i) {
        EXPECT_LE(std::abs(int(byteBox[i]) - int(floatBox[i])), 1) << f << " byte " << i;
        differ += byteBox[i] != floatBox[i];
      }
      EXPECT_LE(differ * 8, byteBox.size()) << f;
    }
  }
  // Anything else is left to the float path.
  Bytes a(64), b(64);
  EXPECT_FALSE(HalveBytes({D3DFMT_R5G6B5, a.data(), nullptr, 8, 4, 4, nullptr},
                          {D3DFMT_R5G6B5, nullptr, b.data(), 4, 2, 2, nullptr}));
  EXPECT_FALSE(HalveBytes({D3DFMT_L8, a.data(), nullptr, 6, 6, 6, nullptr},
                          {D3DFMT_L8, nullptr, b.data(), 4, 4, 4, nullptr}));
}
