// Texture creation on the in-memory device: the choice of size, levels and
// format, level contents, result codes, and that every failure releases
// what it made.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include <zlib.h>

#include "testing/fake_d3d8.h"
#include "testing/temp_log.h"
#include "testing/tex_test_files.h"
#include "texture_io/d3dx8_tex.h"
#include "texture_io/tex_convert.h"
#include "texture_io/tex_reject.h"

using namespace qv::test;
using namespace qv::textest;

// The largest single allocation and the bytes allocated through operator
// new since the last reset: the pixel buffers of the readers, the loader
// and the test device go through it.
static std::atomic<std::size_t> g_largestNew{0};
static std::atomic<std::size_t> g_totalNew{0};

void* operator new(std::size_t n) {
  g_totalNew += n;
  std::size_t seen = g_largestNew.load();
  while (n > seen && !g_largestNew.compare_exchange_weak(seen, n)) {
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// These pair with the operator new above, which takes its memory from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

class TexLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    m_d3d = new FakeDirect3D8();
    m_device = m_d3d->MakeDevice();
  }
  void TearDown() override {
    EXPECT_EQ(Counters().lockedNow, 0) << "a level was left locked";
    m_device->Release();
    m_d3d->Release();
  }
  FakeD3DConfig& Config() { return m_d3d->Config(); }
  FakeCounters& Counters() { return m_d3d->Counters(); }

  HRESULT Load(const Bytes& file, IDirect3DTexture8** tex, D3DXIMAGE_INFO* info = nullptr,
               D3DFORMAT format = D3DFMT_UNKNOWN, PALETTEENTRY* palette = nullptr, D3DCOLOR key = 0,
               D3DPOOL pool = D3DPOOL_MANAGED, UINT w = D3DX_DEFAULT, UINT h = D3DX_DEFAULT,
               DWORD filter = D3DX_DEFAULT, DWORD mipFilter = D3DX_DEFAULT) {
    return D3DXCreateTextureFromFileInMemoryEx(m_device, file.data(), static_cast<UINT>(file.size()), w, h,
                                               D3DX_DEFAULT, 0, format, pool, filter, mipFilter, key, info,
                                               palette, tex);
  }

  FakeDirect3D8* m_d3d = nullptr;
  IDirect3DDevice8* m_device = nullptr;
};

D3DSURFACE_DESC Desc(IDirect3DTexture8* t, UINT level) {
  D3DSURFACE_DESC d{};
  EXPECT_EQ(t->GetLevelDesc(level, &d), D3D_OK);
  return d;
}

// A level's stored bytes, rows packed.
Bytes Level(IDirect3DTexture8* t, UINT level) {
  Bytes bytes;
  D3DSURFACE_DESC d{};
  EXPECT_TRUE(FakeTextureLevel(t, level, bytes, d)) << level;
  return bytes;
}

// Level contents as floats (red, green, blue, alpha).
qv::tex::FloatImage Pixels(IDirect3DTexture8* t, UINT level) {
  const D3DSURFACE_DESC d = Desc(t, level);
  qv::tex::FloatImage f;
  EXPECT_TRUE(qv::tex::DecodePixels(d.Format, Level(t, level).data(), FakeFormatPitch(d.Format, d.Width),
                                    d.Width, d.Height, nullptr, f));
  return f;
}

Bytes Tga24(std::uint16_t w, std::uint16_t h, std::uint8_t fill = 0x80) {
  TgaShape s;
  s.width = w;
  s.height = h;
  s.pixels.assign(std::size_t(w) * h * 3, fill);
  return MakeTga(s);
}

Bytes Bmp8(std::vector<std::uint32_t> palette, std::vector<Bytes> rows) {
  DibShape s;
  s.bits = 8;
  s.width = static_cast<std::int32_t>(rows[0].size());
  s.height = static_cast<std::int32_t>(rows.size());
  s.palette = std::move(palette);
  s.rows = std::move(rows);
  return MakeBmp(s);
}

IDirect3DTexture8* const kUntouched = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t(0x1234));

}  // namespace

// Size and level count follow the device's limits; a flat image stays flat
// through scaling and every filtered level.
TEST_F(TexLoad, SizeAndLevelsFollowTheDeviceLimits) {
  const D3DCAPS8 caps = Config().caps;
  const struct {
    const char* name;
    DWORD addCaps, dropCaps, maxWidth, maxAspect;
    std::uint16_t w, h;
    UINT width, height, levels;
  } cases[] = {
      {"powers of two only", D3DPTEXTURECAPS_POW2, 0, 0, 0, 300, 200, 512, 256, 10},
      {"any size: one level", 0, 0, 0, 0, 300, 200, 300, 200, 1},
      {"cut to 64, then to twice the height", 0, 0, 64, 2, 256, 16, 32, 16, 6},
      {"square only", D3DPTEXTURECAPS_SQUAREONLY, 0, 0, 0, 16, 8, 8, 8, 4},
      {"no mipmaps", 0, D3DPTEXTURECAPS_MIPMAP, 0, 0, 16, 16, 16, 16, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Config().caps = caps;
    Config().caps.TextureCaps = (caps.TextureCaps | c.addCaps) & ~c.dropCaps;
    if (c.maxWidth) Config().caps.MaxTextureWidth = c.maxWidth;
    if (c.maxAspect) Config().caps.MaxTextureAspectRatio = c.maxAspect;
    IDirect3DTexture8* tex = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Load(Tga24(c.w, c.h), &tex, &info), D3D_OK);
    EXPECT_EQ(Desc(tex, 0).Width, c.width);
    EXPECT_EQ(Desc(tex, 0).Height, c.height);
    EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_X8R8G8B8);
    ASSERT_EQ(tex->GetLevelCount(), c.levels);
    EXPECT_EQ(info.Width, c.w);
    EXPECT_EQ(info.Height, c.h);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    for (UINT level : {0u, c.levels / 2, c.levels - 1}) {
      qv::tex::FloatImage f = Pixels(tex, level);
      EXPECT_NEAR(f.At(0, 0)[0], 0x80 / 255.0, 1e-6) << level;
      EXPECT_EQ(f.At(0, 0)[3], 1.0f);
    }
    tex->Release();
  }
  EXPECT_EQ(Counters().liveTextures, 0);
}

TEST_F(TexLoad, DxtFileWithoutMipCountGetsFilteredLevels) {
  // 8x8 DXT1: left half red, right half blue (two blocks each way).
  DdsShape s;
  s.width = s.height = 8;
  s.pfFlags = 4;
  s.fourCC = D3DFMT_DXT1;
  for (int block = 0; block < 4; ++block) {
    const std::uint16_t c = (block % 2 == 0) ? 0xF800 : 0x001F;
    Put16(s.payload, c);
    Put16(s.payload, c);
    Put32(s.payload, 0);
  }
  const Bytes file = MakeDds(s);
  Config().textureFormats.insert(D3DFMT_DXT1);
  IDirect3DTexture8* tex = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(Load(file, &tex, &info), D3D_OK);
  EXPECT_EQ(info.MipLevels, 1u);
  EXPECT_EQ(info.Format, D3DFMT_DXT1);
  ASSERT_EQ(Desc(tex, 0).Format, D3DFMT_DXT1);
  ASSERT_EQ(tex->GetLevelCount(), 4u);
  EXPECT_EQ(Level(tex, 0), Bytes(file.begin() + 128, file.end()));  // blocks copied as they are
  qv::tex::FloatImage one = Pixels(tex, 1);                         // 4x4: box of 2x2 texels
  EXPECT_NEAR(one.At(0, 0)[0], 1.0f, 0.02);
  EXPECT_NEAR(one.At(3, 0)[2], 1.0f, 0.02);
  qv::tex::FloatImage last = Pixels(tex, 3);  // 1x1: the average of red and blue
  EXPECT_NEAR(last.At(0, 0)[0], 0.5f, 0.04);
  EXPECT_NEAR(last.At(0, 0)[2], 0.5f, 0.04);
  tex->Release();

  // Without DXT1 on the device the closest substitute is A8R8G8B8.
  Config().textureFormats.erase(D3DFMT_DXT1);
  ASSERT_EQ(Load(file, &tex), D3D_OK);
  EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_A8R8G8B8);
  qv::tex::FloatImage full = Pixels(tex, 0);
  EXPECT_EQ(full.At(0, 0)[0], 1.0f);
  EXPECT_EQ(full.At(7, 7)[2], 1.0f);
  tex->Release();
}

TEST_F(TexLoad, DdsMipChainFillsTheLevelsItCarries) {
  DdsShape s;
  s.width = 4;
  s.height = 2;
  s.mipCount = 3;
  s.pfFlags = 0x41;
  s.aMask = 0xFF000000u;
  for (std::uint32_t v : {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x33})
    Put32(s.payload, v * 0x01010101u);
  IDirect3DTexture8* tex = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(Load(MakeDds(s), &tex, &info), D3D_OK);
  EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_A8R8G8B8);  // an image's alpha is kept
  EXPECT_EQ(info.MipLevels, 3u);
  ASSERT_EQ(tex->GetLevelCount(), 3u);
  for (UINT level = 0; level < 3; ++level) EXPECT_EQ(Level(tex, level)[0], 0x11 * (level + 1)) << level;
  tex->Release();
}

TEST_F(TexLoad, PaletteImagesWithAndWithoutAPaletteAskedForAndColourKeys) {
  const Bytes opaque = Bmp8({0xFF0000, 0x00FF00}, {{0, 1}, {1, 0}});
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(Load(opaque, &tex), D3D_OK);
  EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_X8R8G8B8);
  qv::tex::FloatImage f = Pixels(tex, 0);
  EXPECT_EQ(f.At(0, 0)[0], 1.0f);
  EXPECT_EQ(f.At(1, 0)[1], 1.0f);
  tex->Release();

  // A palette entry with alpha below 255 asks for an alpha format.
  TgaShape t;
  t.type = 1;
  t.bits = 8;
  t.mapLength = 1;
  t.mapBits = 32;
  t.map = {1, 2, 3, 0x80};
  t.pixels = {0};
  ASSERT_EQ(Load(MakeTga(t), &tex), D3D_OK);
  EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_A8R8G8B8);
  tex->Release();

  // With a palette asked for and a device that takes P8, indices stay.
  Config().textureFormats.insert(D3DFMT_P8);
  PALETTEENTRY palette[256] = {};
  ASSERT_EQ(Load(opaque, &tex, nullptr, D3DFMT_UNKNOWN, palette), D3D_OK);
  EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_P8);
  EXPECT_EQ(Level(tex, 0), (Bytes{0, 1, 1, 0}));
  EXPECT_EQ(palette[0].peRed, 255);
  EXPECT_EQ(palette[1].peGreen, 255);
  EXPECT_EQ(palette[1].peFlags, 255);
  tex->Release();

  // A colour key makes matching pixels transparent black, in an alpha format.
  Config().textureFormats.erase(D3DFMT_P8);
  ASSERT_EQ(Load(Bmp8({0x00FF00, 0x123456}, {{0, 1}}), &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0xFF00FF00),
            D3D_OK);
  EXPECT_EQ(Desc(tex, 0).Format, D3DFMT_A8R8G8B8);
  f = Pixels(tex, 0);
  EXPECT_EQ(f.At(0, 0)[3], 0.0f);
  EXPECT_EQ(f.At(0, 0)[1], 0.0f);
  EXPECT_EQ(f.At(1, 0)[3], 1.0f);
  tex->Release();
}

TEST_F(TexLoad, FormatScoringPicksTheClosestSubstitute) {
  struct Case {
    std::set<D3DFORMAT> device;
    D3DFORMAT wanted, chosen;
  };
  const Case cases[] = {
      // A 24-bit image without X8R8G8B8: adding an alpha channel costs least.
      {{D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}, D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8},
      // Only 16-bit formats: 5-6-5 loses fewer bits than 5-5-5.
      {{D3DFMT_X1R5G5B5, D3DFMT_R5G6B5}, D3DFMT_UNKNOWN, D3DFMT_R5G6B5},
      // Equal scores go to the row with fewer bits.
      {{D3DFMT_A8R8G8B8, D3DFMT_A8R3G3B2}, D3DFMT_A8, D3DFMT_A8R3G3B2},
      // Luminance may be stood in for by colour.
      {{D3DFMT_X8R8G8B8}, D3DFMT_L8, D3DFMT_X8R8G8B8},
      // Dropping a wanted alpha is the worst a colour row can do.
      {{D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4}, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4},
  };
  for (const Case& k : cases) {
    Config().textureFormats = k.device;
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(Load(Tga24(4, 4), &tex, nullptr, k.wanted), D3D_OK);
    EXPECT_EQ(Desc(tex, 0).Format, k.chosen) << k.wanted;
    tex->Release();
  }
  // Bump formats have no colour substitute; nothing at all: not available.
  Config().textureFormats = FakeD3DConfig::CommonFormats();
  IDirect3DTexture8* tex = kUntouched;
  EXPECT_EQ(Load(Tga24(4, 4), &tex, nullptr, D3DFMT_V8U8), D3DERR_NOTAVAILABLE);
  Config().textureFormats.clear();
  EXPECT_EQ(Load(Tga24(4, 4), &tex), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(tex, kUntouched);
  EXPECT_EQ(Counters().texturesCreated, 5);
}

TEST_F(TexLoad, ExplicitSizeWithPointAndBoxFilters) {
  // 4x1 grey ramp 0, 100, 200, 252 to 2x1.
  TgaShape s;
  s.type = 3;
  s.bits = 8;
  s.width = 4;
  s.descriptor = 0x20;
  s.pixels = {0, 100, 200, 252};
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(Load(MakeTga(s), &tex, nullptr, D3DFMT_L8, nullptr, 0, D3DPOOL_MANAGED, 2, 1, D3DX_FILTER_POINT),
            D3D_OK);
  EXPECT_EQ(Level(tex, 0), (Bytes{100, 252}));
  tex->Release();
  ASSERT_EQ(Load(MakeTga(s), &tex, nullptr, D3DFMT_L8, nullptr, 0, D3DPOOL_MANAGED, 2, 1, D3DX_FILTER_BOX),
            D3D_OK);
  EXPECT_EQ(Level(tex, 0), (Bytes{50, 226}));
  EXPECT_EQ(Level(tex, 1)[0], 138);  // (50 + 226) / 2
  tex->Release();
}

// The default pool is filled through a system-memory copy; failures at any
// step release everything and leave the output alone.
TEST_F(TexLoad, DefaultPoolCopyAndFailuresThatReleaseEverything) {
  const Bytes file = Tga24(8, 8, 0x40);
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(Load(file, &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0, D3DPOOL_DEFAULT), D3D_OK);
  EXPECT_EQ(Counters().updateTextureCalls, 1);
  EXPECT_EQ(Counters().liveTextures, 1);
  EXPECT_EQ(Counters().createdPools, (std::vector<D3DPOOL>{D3DPOOL_DEFAULT, D3DPOOL_SYSTEMMEM}));
  EXPECT_NEAR(Pixels(tex, 3).At(0, 0)[0], 0x40 / 255.0, 1e-6);
  tex->Release();
  tex = kUntouched;
  Config().createTextureResult = E_OUTOFMEMORY;
  EXPECT_EQ(Load(file, &tex), E_OUTOFMEMORY);
  Config().createTextureResult = D3D_OK;
  for (int locks = 0; locks < 4; ++locks) {
    Config().failLockAfter = Counters().locks + locks;
    EXPECT_EQ(Load(file, &tex), D3DERR_INVALIDCALL) << locks;
  }
  Config().failLockAfter = -1;
  Config().updateTextureResult = D3DERR_OUTOFVIDEOMEMORY;
  EXPECT_EQ(Load(file, &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0, D3DPOOL_DEFAULT), D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(tex, kUntouched);
  EXPECT_EQ(Counters().liveTextures, 0);
}

TEST_F(TexLoad, ArgumentChecks) {
  const Bytes file = Tga24(2, 2);
  IDirect3DTexture8* tex = kUntouched;
  auto raw = [&](IDirect3DDevice8* device, const void* data, DWORD usage) {
    return D3DXCreateTextureFromFileInMemoryEx(device, data, static_cast<UINT>(file.size()), 0, 0, 0, usage,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, &tex);
  };
  EXPECT_EQ(raw(nullptr, file.data(), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(raw(m_device, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(Load(file, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(Load(file, &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0, static_cast<D3DPOOL>(7)),
            D3DERR_INVALIDCALL);
  // The file is read before usage and pool are looked at.
  EXPECT_EQ(Load(Bytes(13, 'B'), &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0, static_cast<D3DPOOL>(7)),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(raw(m_device, file.data(), D3DUSAGE_DYNAMIC), D3DERR_INVALIDCALL);
  EXPECT_EQ(Load(file, &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0, D3DPOOL_MANAGED, 0, 0, 9),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(
      Load(file, &tex, nullptr, D3DFMT_UNKNOWN, nullptr, 0, D3DPOOL_MANAGED, 0, 0, D3DX_FILTER_BOX | 0x100),
      D3DERR_INVALIDCALL);
  EXPECT_EQ(tex, kUntouched);
}

TEST_F(TexLoad, FilterTextureLevelsAndChecks) {
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(m_device->CreateTexture(2, 2, 0, 0, D3DFMT_L8, D3DPOOL_MANAGED, &tex), D3D_OK);
  D3DLOCKED_RECT r{};
  ASSERT_EQ(tex->LockRect(0, &r, nullptr, 0), D3D_OK);
  const std::uint8_t texels[4] = {0, 100, 200, 40};
  for (int i = 0; i < 4; ++i) static_cast<std::uint8_t*>(r.pBits)[i / 2 * r.Pitch + i % 2] = texels[i];
  tex->UnlockRect(0);
  EXPECT_EQ(D3DXFilterTexture(tex, nullptr, D3DX_DEFAULT, D3DX_DEFAULT), D3D_OK);
  EXPECT_EQ(Level(tex, 1)[0], 85);
  EXPECT_EQ(D3DXFilterTexture(tex, nullptr, 2, D3DX_DEFAULT), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(tex, nullptr, 0, 77), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_DEFAULT), D3DERR_INVALIDCALL);
  tex->Release();
}

TEST_F(TexLoad, FilesFromDiskMissingEmptyAndPresent) {
  const qv::test::TempDir tmp;
  ASSERT_TRUE(tmp.Ok());
  const std::string& base = tmp.Dir();
  IDirect3DTexture8* tex = kUntouched;
  EXPECT_EQ(D3DXCreateTextureFromFileA(m_device, (base + "/missing.bmp").c_str(), &tex),
            static_cast<HRESULT>(0x80070002u));
  ASSERT_TRUE(WriteFile(base + "/empty.tga", {}));
  EXPECT_EQ(D3DXCreateTextureFromFileA(m_device, (base + "/empty.tga").c_str(), &tex), D3DXERR_INVALIDDATA);
  EXPECT_EQ(tex, kUntouched);
  ASSERT_TRUE(WriteFile(base + "/ok.tga", Tga24(4, 2)));
  ASSERT_EQ(D3DXCreateTextureFromFileA(m_device, (base + "/ok.tga").c_str(), &tex), D3D_OK);
  EXPECT_EQ(tex->GetLevelCount(), 3u);
  tex->Release();
}

// Hostile files: every prefix of each file of the fuzzer's seed corpus (one
// of every kind and variant read), and headers that claim more than the data
// holds, fail cleanly with nothing left over.
TEST_F(TexLoad, TruncationAtEveryPointFails) {
  std::vector<std::filesystem::path> paths(std::filesystem::directory_iterator(QV_TEX_CORPUS_DIR), {});
  ASSERT_GE(paths.size(), 20u);
  for (const std::filesystem::path& path : paths) {
    std::ifstream in(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(path.filename().string());
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(Load(file, &tex), D3D_OK);
    tex->Release();
    // Text images may end in white space they do not need.
    const bool text = path.extension() == ".ppm";
    for (std::size_t n = 0; n < file.size(); ++n) {
      if (text && std::all_of(file.begin() + n, file.end(), [](std::uint8_t c) { return std::isspace(c); }))
        break;
      Bytes prefix(file.begin(), file.begin() + n);
      prefix.reserve(1);  // so that the empty prefix too points at memory
      tex = kUntouched;
      EXPECT_EQ(Load(prefix, &tex), D3DXERR_INVALIDDATA) << "cut at " << n;
      EXPECT_EQ(tex, kUntouched);
    }
  }
  EXPECT_EQ(Counters().liveTextures, 0);
}

TEST_F(TexLoad, HeadersClaimingMoreThanTheDataFail) {
  IDirect3DTexture8* tex = kUntouched;
  g_largestNew = 0;
  // One pixel stored, side x side claimed: far more rows than the file holds.
  auto bmp = [](std::uint16_t bits, std::uint32_t side) {
    DibShape s;
    s.bits = bits;
    s.rows = {Bytes(bits / 8, 0)};
    Bytes f = MakeBmp(s);
    for (int i = 0; i < 4; ++i) f[18 + i] = f[22 + i] = static_cast<std::uint8_t>(side >> (8 * i));
    return f;
  };
  for (const Bytes& f : {bmp(24, 0x7FFFFFFF), bmp(24, 16384), bmp(24, 4096), bmp(32, 4096)})
    EXPECT_EQ(Load(f, &tex), D3DXERR_INVALIDDATA);
  // A PNG and a JPEG whose headers claim 4096 x 4096 over a few bytes of data.
  PngShape png;
  png.width = png.height = 64;
  png.rows.assign(64, Bytes(64 * 3, 7));
  Bytes bigPng = MakePng(png);
  for (int at : {18, 19, 22, 23}) bigPng[at] = at % 2 ? 0 : 0x10;  // IHDR width, height: 0x1000 (big-endian)
  const uLong ihdrCrc = crc32(0, &bigPng[12], 17);  // over the chunk's type and data, so libpng accepts it
  for (int i = 0; i < 4; ++i) bigPng[29 + i] = static_cast<std::uint8_t>(ihdrCrc >> (24 - 8 * i));
  EXPECT_EQ(Load(bigPng, &tex), D3DXERR_INVALIDDATA);
  Bytes bigJpeg = MakeJpeg(16, 16, false, Bytes(16 * 16 * 3, 90));
  for (std::size_t i = 2; i + 8 < bigJpeg.size(); ++i)
    if (bigJpeg[i] == 0xFF && bigJpeg[i + 1] == 0xC0) {  // SOF0: height, width at +5, +7
      bigJpeg[i + 5] = bigJpeg[i + 7] = 0x10;
      bigJpeg[i + 6] = bigJpeg[i + 8] = 0;
      break;
    }
  EXPECT_EQ(Load(bigJpeg, &tex), D3DXERR_INVALIDDATA);
  EXPECT_LT(g_largestNew.load(), std::size_t(1) << 20) << "allocated for pixels the file cannot hold";
  TgaShape tga;
  tga.width = tga.height = 4000;
  tga.pixels = {1, 2, 3};
  EXPECT_EQ(Load(MakeTga(tga), &tex), D3DXERR_INVALIDDATA);
  tga.type = 10;  // run-length: far too short for 16 million pixels
  tga.pixels = {0xFF, 1, 2, 3};
  EXPECT_EQ(Load(MakeTga(tga), &tex), D3DXERR_INVALIDDATA);
  DdsShape dds;
  dds.width = dds.height = 0x10000;
  dds.payload.assign(64, 0);
  EXPECT_EQ(Load(MakeDds(dds), &tex), D3DXERR_INVALIDDATA);
  const std::string ppm = "P6 99999999999 1 255\n";
  EXPECT_EQ(Load(Bytes(ppm.begin(), ppm.end()), &tex), D3DXERR_INVALIDDATA);
  EXPECT_EQ(tex, kUntouched);
  EXPECT_EQ(Counters().texturesCreated, 0);
}

// Valid images beyond 16384 on a side or 2^24 pixels load, cut to the
// device's maximum; beyond the decoding limit they are out of memory, not
// bad data.
TEST_F(TexLoad, LargeImagesAreCutToTheDeviceMaximum) {
  PngShape png;
  png.width = 8192;
  png.height = 2049;
  png.colorType = 0;
  png.rows.assign(png.height, Bytes(png.width, 0x60));
  Bytes grey(5000 * 4000, 0xA0);
  const struct {
    const char* name;
    Bytes file;
    UINT width, height;
    int value;
  } cases[] = {
      {"png 8192 x 2049", MakePng(png), 4096, 2049, 0x60},
      {"jpeg 5000 x 4000", MakeJpeg(5000, 4000, true, grey, 50), 4096, 4000, 0xA0},
  };
  for (const auto& c : cases) {
    IDirect3DTexture8* tex = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Load(c.file, &tex, &info), D3D_OK) << c.name;
    EXPECT_GT(info.Width * info.Height, 1u << 24) << c.name;
    const D3DSURFACE_DESC d = Desc(tex, 0);
    EXPECT_EQ(d.Width, c.width) << c.name;
    EXPECT_EQ(d.Height, c.height) << c.name;
    EXPECT_NEAR(Pixels(tex, 0).At(c.width - 1, c.height - 1)[0], c.value / 255.0, 2 / 255.0) << c.name;
    tex->Release();
  }
  // Run-length data may end the bitmap at once: 30000 x 30000 in 64 bytes.
  DibShape rle;
  rle.bits = 8;
  rle.width = rle.height = 30000;
  rle.palette = {0x112233};
  rle.compression = 1;
  rle.rle = {0, 1};
  IDirect3DTexture8* tex = kUntouched;
  EXPECT_EQ(Load(MakeBmp(rle), &tex), E_OUTOFMEMORY);
  EXPECT_EQ(tex, kUntouched);
  EXPECT_EQ(qv::tex::LastRejectionsText(), "BMP: image larger than the loader decodes (30000 x 30000)");
}

// A refused file leaves the reason of the reader that recognised it, also
// when the pixels failed only as the loader decoded them into the texture.
TEST_F(TexLoad, RefusedFilesLeaveTheirReadersReasons) {
  Bytes rgb(32 * 32 * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes jpeg = MakeJpeg(32, 32, false, rgb);
  Bytes cutJpeg(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3);
  cutJpeg.insert(cutJpeg.end(), {0xFF, 0xD9});
  PngShape png;
  png.width = png.height = 16;
  png.rows.assign(16, Bytes(48, 0x5D));
  Bytes badCrc = MakePng(png);
  const std::size_t idat =
      std::search(badCrc.begin(), badCrc.end(), std::begin("IDAT"), std::end("IDAT") - 1) - badCrc.begin();
  std::size_t length = 0;
  for (std::size_t i = idat - 4; i < idat; ++i) length = length << 8 | badCrc[i];
  badCrc[idat + 4 + length] ^= 0xFF;  // the first byte of the chunk's check sum
  const std::string text = "hello\n";
  const struct {
    const char* name;
    Bytes file;
    HRESULT result;
    const char* why;
  } cases[] = {
      {"jpeg", cutJpeg, D3DXERR_INVALIDDATA, "JPEG: scan cut short"},
      {"png", badCrc, D3DXERR_INVALIDDATA, "PNG: damaged data (IDAT: CRC error)"},
      {"text", Bytes(text.begin(), text.end()), D3DXERR_INVALIDDATA, ""},
  };
  for (const auto& c : cases) {
    IDirect3DTexture8* tex = kUntouched;
    EXPECT_EQ(Load(c.file, &tex), c.result) << c.name;
    EXPECT_EQ(qv::tex::LastRejectionsText(), c.why) << c.name;
  }
}

// PNG and JPEG pixels that need no conversion are decoded straight into
// the texture: nothing but the texture's levels is allocated for them.
TEST_F(TexLoad, PngAndJpegDecodeStraightIntoTheTexture) {
  PngShape png;
  png.width = png.height = 256;
  for (std::uint32_t y = 0; y < 256; ++y) png.rows.push_back(Bytes(256 * 3, static_cast<std::uint8_t>(y)));
  Bytes rgb(256 * 256 * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i / 768);
  const std::size_t chainBytes = 256 * 256 * 4 * 4 / 3 + 16;
  for (const Bytes& file : {MakePng(png), MakeJpeg(256, 256, false, rgb)}) {
    IDirect3DTexture8* tex = nullptr;
    g_totalNew = 0;
    ASSERT_EQ(Load(file, &tex), D3D_OK);
    EXPECT_LT(g_totalNew.load(), chainBytes + 65536);
    EXPECT_NEAR(Pixels(tex, 0).At(9, 200)[1], 200 / 255.0, 3 / 255.0);
    EXPECT_NEAR(Pixels(tex, 1).At(9, 100)[1], 201 / 255.0, 3 / 255.0);
    tex->Release();
  }
}
