// Shared set-up of the graphics layer's tests: the headless device on the
// scripted host, token-stream builders and pixel read-back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_testing.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"
#include "tools/headless/headless_device.h"

namespace qv::test {

// --- token builders ------------------------------------------------------------------
enum : std::uint32_t {
  kTemp = 0,
  kInput = 1,
  kConst = 2,
  kAddr = 3,
  kTex = 3,
  kRast = 4,
  kAttr = 5,
  kTexOut = 6
};
constexpr std::uint32_t kXYZW = 0xE4, kXXXX = 0x00, kYYYY = 0x55, kZZZZ = 0xAA, kWWWW = 0xFF;
inline DWORD Dst(std::uint32_t type, std::uint32_t num, std::uint32_t mask = 0xF, std::uint32_t mods = 0) {
  return 0x80000000u | (type << 28) | (mask << 16) | num | mods;
}
inline DWORD Src(std::uint32_t type, std::uint32_t num, std::uint32_t swz = kXYZW, std::uint32_t mod = 0) {
  return 0x80000000u | (type << 28) | (swz << 16) | (mod << 24) | num;
}
constexpr DWORD kSat = 0x00100000u;
constexpr DWORD kCoissue = 0x40000000u;
inline DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

// vs.1.1 stream: "mov oPos, v0", then the body, then the end token.
inline std::vector<DWORD> VertexProgram(std::initializer_list<DWORD> body, DWORD version = 0xFFFE0101u) {
  std::vector<DWORD> t = {version, 0x00000001u, Dst(kRast, 0), Src(kInput, 0)};
  t.insert(t.end(), body);
  t.push_back(0x0000FFFFu);
  return t;
}
inline std::vector<DWORD> PixelProgram(std::initializer_list<DWORD> body, DWORD version = 0xFFFF0101u) {
  std::vector<DWORD> t = {version};
  t.insert(t.end(), body);
  t.push_back(0x0000FFFFu);
  return t;
}

// Vertex of the test quads: position, colour, one texture coordinate pair.
struct TestVertex {
  float x, y, z;
  DWORD color;
  float u, v;
};
// v0 position, v5 colour, v7 texture coordinates.
inline const DWORD kTestDecl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                  D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_REG(7, D3DVSDT_FLOAT2),
                                  D3DVSD_END()};

// A device on a hidden window; the back buffer is small to keep read-back cheap.
class D3D8Device : public ::testing::Test {
 protected:
  static constexpr UINT kWidth = 64, kHeight = 48;

  void SetUp() override { Open(D3DFMT_X8R8G8B8); }
  void TearDown() override { Close(); }

  void Open(D3DFORMAT format, bool depth = true, UINT width = kWidth, UINT height = kHeight) {
    qv::host::Reset();
    D3DPRESENT_PARAMETERS pp = qv::headless::SystemPresentParameters();
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = format;
    pp.EnableAutoDepthStencil = depth ? TRUE : FALSE;
    std::string error;
    ASSERT_TRUE(qv::headless::Create(m_headless, "d3d8 test", &pp, &error)) << error;
    m_hWnd = m_headless.hWnd;
    m_d3d = m_headless.d3d;
    m_dev = m_headless.device;
    m_width = width;
    m_height = height;
  }

  void Close() {
    if (m_vb) m_vb->Release();
    m_vb = nullptr;
    if (m_dev) {
      EXPECT_EQ(qv::headless::Destroy(m_headless, "d3d8 test"), 0u);
    }
    m_hWnd = nullptr;
    m_dev = nullptr;
    m_d3d = nullptr;
    qv::host::Reset();
  }

  DWORD MakeVs(const std::vector<DWORD>& tokens, const DWORD* decl = kTestDecl) {
    DWORD h = 0;
    EXPECT_EQ(m_dev->CreateVertexShader(decl, tokens.data(), &h, 0), D3D_OK);
    return h;
  }
  DWORD MakePs(const std::vector<DWORD>& tokens) {
    DWORD h = 0;
    EXPECT_EQ(m_dev->CreatePixelShader(tokens.data(), &h), D3D_OK);
    return h;
  }

  // Fills the test vertex buffer and binds it to stream 0.
  void SetVertices(const std::vector<TestVertex>& v) {
    if (m_vb) m_vb->Release();
    m_vb = nullptr;
    const UINT bytes = static_cast<UINT>(v.size() * sizeof(TestVertex));
    ASSERT_EQ(m_dev->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &m_vb), D3D_OK);
    BYTE* p = nullptr;
    ASSERT_EQ(m_vb->Lock(0, bytes, &p, 0), D3D_OK);
    std::memcpy(p, v.data(), bytes);
    ASSERT_EQ(m_vb->Unlock(), D3D_OK);
    ASSERT_EQ(m_dev->SetStreamSource(0, m_vb, sizeof(TestVertex)), D3D_OK);
  }

  // A quad over the whole target (clip space, as "mov oPos, v0" passes it).
  static std::vector<TestVertex> Quad(float z = 0.5f, DWORD color = 0xFFFFFFFFu, float x0 = -1, float y0 = -1,
                                      float x1 = 1, float y1 = 1) {
    return {{x0, y1, z, color, 0, 0},
            {x1, y1, z, color, 1, 0},
            {x0, y0, z, color, 0, 1},
            {x1, y0, z, color, 1, 1}};
  }

  void DrawQuad(float z = 0.5f, DWORD color = 0xFFFFFFFFu) {
    SetVertices(Quad(z, color));
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  }

  // Presents and reads the presented frame back.
  void PresentAndRead() {
    ASSERT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    int w = 0, h = 0;
    ASSERT_TRUE(QvReadLastFrame(m_dev, m_rgb, w, h));
    ASSERT_EQ(w, static_cast<int>(m_width));
    ASSERT_EQ(h, static_cast<int>(m_height));
  }
  // Pixel (x, y) of the last read-back, y counted from the top.
  std::uint32_t Pixel(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * m_width + x) * 3;
    return (std::uint32_t(m_rgb[i]) << 16) | (std::uint32_t(m_rgb[i + 1]) << 8) | m_rgb[i + 2];
  }
  std::uint32_t Centre() const { return Pixel(m_width / 2, m_height / 2); }

  qv::headless::Device m_headless;
  HWND m_hWnd = nullptr;
  IDirect3D8* m_d3d = nullptr;
  IDirect3DDevice8* m_dev = nullptr;
  IDirect3DVertexBuffer8* m_vb = nullptr;
  std::vector<std::uint8_t> m_rgb;
  UINT m_width = kWidth, m_height = kHeight;
};

// Expects each of the three channels within tol of the expected 0xRRGGBB.
inline ::testing::AssertionResult ColorNear(std::uint32_t got, std::uint32_t want, int tol = 2) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int a = static_cast<int>((got >> shift) & 0xFF), b = static_cast<int>((want >> shift) & 0xFF);
    if (a - b > tol || b - a > tol) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "got %06X, expected %06X (+-%d)", got, want, tol);
      return ::testing::AssertionFailure() << buf;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace qv::test
