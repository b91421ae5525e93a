// The texture loader on the real graphics layer (headless GL), and the
// quorvel-texinfo tool on files made by the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/host/host.h"
#include "testing/run_util.h"
#include "testing/temp_log.h"
#include "testing/tex_test_files.h"
#include "texture_io/d3dx8_tex.h"
#include "tools/headless/headless_device.h"

using namespace qv::textest;

namespace {

class TexGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_tmp.Ok());
    qv::host::Reset();
    D3DPRESENT_PARAMETERS pp = qv::headless::SystemPresentParameters();
    pp.BackBufferWidth = 64;  // small: nothing is drawn
    pp.BackBufferHeight = 48;
    std::string error;
    ASSERT_TRUE(qv::headless::Create(m_headless, "tex gl test", &pp, &error)) << error;
    m_device = m_headless.device;
  }
  void TearDown() override {
    qv::headless::Destroy(m_headless, "tex gl test");
    qv::host::Reset();
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = m_tmp.Path(name);
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
  }

  qv::test::TempDir m_tmp;
  qv::headless::Device m_headless;
  IDirect3DDevice8* m_device = nullptr;
};

// 8-bit ARGB of pixel (x, y) of a 32-bit level.
std::uint32_t Texel(IDirect3DTexture8* tex, UINT level, UINT x, UINT y) {
  D3DLOCKED_RECT r{};
  EXPECT_EQ(tex->LockRect(level, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
  if (!r.pBits) return 0;
  const std::uint8_t* p = static_cast<const std::uint8_t*>(r.pBits) + y * r.Pitch + x * 4;
  const std::uint32_t v = p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
  tex->UnlockRect(level);
  return v;
}

}  // namespace

TEST_F(TexGl, LoadsFilesWithAFullChainAndReadablePixels) {
  TgaShape tga;
  tga.width = 16;
  tga.height = 8;
  tga.descriptor = 0x20;
  for (int i = 0; i < 16 * 8; ++i) {
    tga.pixels.push_back(static_cast<std::uint8_t>(i < 8 ? 0xFF : 0));  // blue, then black
    tga.pixels.push_back(0);
    tga.pixels.push_back(0x40);
  }
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(m_device, Write("a.tga", MakeTga(tga)).c_str(), &tex), D3D_OK);
  D3DSURFACE_DESC d{};
  ASSERT_EQ(tex->GetLevelDesc(0, &d), D3D_OK);
  EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(d.Width, 16u);
  EXPECT_EQ(d.Height, 8u);
  EXPECT_EQ(tex->GetLevelCount(), 5u);
  EXPECT_EQ(Texel(tex, 0, 3, 0) & 0xFFFFFF, 0x4000FFu);
  EXPECT_EQ(Texel(tex, 0, 3, 1) & 0xFFFFFF, 0x400000u);
  EXPECT_EQ(Texel(tex, 4, 0, 0) & 0xFFFFFF, 0x400000u | ((8 * 0xFF + 64) / 128));  // the mean of all
  tex->Release();
}

TEST_F(TexGl, DefaultPoolAndCompressedFiles) {
  PngShape png;
  png.width = png.height = 4;
  png.colorType = 6;
  for (int y = 0; y < 4; ++y) png.rows.push_back(Bytes(16, static_cast<std::uint8_t>(0x20 * y + 0x10)));
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileExA(m_device, Write("a.png", MakePng(png)).c_str(), D3DX_DEFAULT,
                                         D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                         D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &tex),
            D3D_OK);
  EXPECT_EQ(tex->GetLevelCount(), 3u);
  tex->Release();

  DdsShape dds;
  dds.width = dds.height = 4;
  dds.pfFlags = 4;
  dds.fourCC = D3DFMT_DXT1;
  Put16(dds.payload, 0xF800);
  Put16(dds.payload, 0xF800);
  Put32(dds.payload, 0);
  ASSERT_EQ(D3DXCreateTextureFromFileA(m_device, Write("a.dds", MakeDds(dds)).c_str(), &tex), D3D_OK);
  D3DSURFACE_DESC d{};
  ASSERT_EQ(tex->GetLevelDesc(0, &d), D3D_OK);
  // DXT1 where the device takes it, else a colour format holding the same red.
  if (d.Format != D3DFMT_DXT1) {
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Texel(tex, 0, 1, 1), 0xFFFF0000u);
  }
  EXPECT_EQ(tex->GetLevelCount(), 3u);
  tex->Release();
}

#ifdef QV_TEXINFO_PATH
TEST_F(TexGl, TexinfoToolReportsAndWritesPng) {
  TgaShape tga;
  tga.width = 300;
  tga.height = 200;
  tga.pixels.assign(300 * 200 * 3, 0x7F);
  const std::string in = Write("big.tga", MakeTga(tga));
  const std::string out = m_tmp.Path("out.png");
  const std::string tool = std::string(QV_TEXINFO_PATH) + " '";
  const qv::test::RunResult r = qv::test::RunCommand(tool + in + "' --png '" + out + "'");
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("format: D3DFMT_X8R8G8B8\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("width: 300\nheight: 200\nlevels: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("file format: TGA\nfile pixel format: D3DFMT_R8G8B8\n"), std::string::npos) << r.out;
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(qv::test::ReadPngRgb(out, w, h, rgb));
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(rgb[0], 0x7F);

  EXPECT_EQ(qv::test::RunCommand(tool + m_tmp.Path("missing.png") + "'").exitCode, 1);
}
#endif
