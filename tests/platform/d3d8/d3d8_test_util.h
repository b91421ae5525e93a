// Shared set-up of the graphics layer's tests: the headless device on the
// scripted host, buffers and textures made and released for the test, and
// pixel read-back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_testing.h"
#include "tests/platform/d3d8/d3d8_tokens.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"
#include "tools/headless/headless_device.h"

namespace qv::test {

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
    m_d3d = m_headless.d3d;
    m_dev = m_headless.device;
    m_width = width;
    m_height = height;
  }

  // Drops every binding, then the resources the helpers made, then the device
  // (which must then have no references left).
  void Close() {
    if (m_dev) {
      for (DWORD s = 0; s < 8; ++s) m_dev->SetTexture(s, nullptr);
      m_dev->SetStreamSource(0, nullptr, 0);
      m_dev->SetIndices(nullptr, 0);
    }
    for (IUnknown* p : m_owned) p->Release();
    m_owned.clear();
    if (m_vb) m_vb->Release();
    m_vb = nullptr;
    if (m_dev) {
      EXPECT_EQ(qv::headless::Destroy(m_headless, "d3d8 test"), 0u);
    }
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

  // Sets a shader passing position and colour through and the texture
  // coordinates to oT0, with culling off; returns its handle.
  DWORD UseColourShader() {
    const DWORD vs =
        MakeVs(VertexProgram({1, Dst(kAttr, 0), Src(kInput, 5), 1, Dst(kTexOut, 0), Src(kInput, 7)}));
    EXPECT_EQ(m_dev->SetVertexShader(vs), D3D_OK);
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    return vs;
  }

  // Resources released by Close.
  template <typename T>
  T* Own(T* p) {
    if (p) m_owned.push_back(p);
    return p;
  }
  // A vertex buffer holding v; released by Close when owned.
  template <typename V>
  IDirect3DVertexBuffer8* MakeVb(const std::vector<V>& v, bool own = true) {
    const UINT bytes = static_cast<UINT>(v.size() * sizeof(V));
    IDirect3DVertexBuffer8* vb = nullptr;
    EXPECT_EQ(m_dev->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
    Fill(vb, v.data(), bytes, 0);
    return own ? Own(vb) : vb;
  }
  // An index buffer of 16-bit indices (of `bytes` when given), filled with one lock.
  IDirect3DIndexBuffer8* MakeIb(const std::vector<WORD>& i, DWORD usage = 0, D3DPOOL pool = D3DPOOL_MANAGED,
                                UINT bytes = 0) {
    const UINT used = static_cast<UINT>(i.size() * 2);
    IDirect3DIndexBuffer8* ib = nullptr;
    EXPECT_EQ(m_dev->CreateIndexBuffer(bytes ? bytes : used, usage, D3DFMT_INDEX16, pool, &ib), D3D_OK);
    return Own(Fill(ib, i.data(), used, usage & D3DUSAGE_DYNAMIC ? D3DLOCK_DISCARD : 0));
  }
  // Locks the first `bytes` of a buffer (all of it for 0), copies `data` there and unlocks.
  template <typename B>
  static B* Fill(B* b, const void* data, UINT bytes, DWORD flags) {
    BYTE* p = nullptr;
    if (!b) return nullptr;
    EXPECT_EQ(b->Lock(0, bytes, &p, flags), D3D_OK);
    if (p && bytes) std::memcpy(p, data, bytes);
    EXPECT_EQ(b->Unlock(), D3D_OK);
    return b;
  }
  // A one-level texture of w x h texels of 4 bytes (2 for V8U8), row by row.
  IDirect3DTexture8* MakeTexture(UINT w, UINT h, D3DFORMAT f, const std::vector<DWORD>& texels) {
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(m_dev->CreateTexture(w, h, 1, 0, f, D3DPOOL_MANAGED, &t), D3D_OK);
    if (!Own(t)) return nullptr;
    D3DLOCKED_RECT lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const UINT bpp = f == D3DFMT_V8U8 ? 2 : 4;
    for (UINT y = 0; y < h; ++y)
      std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, &texels[y * w], w * bpp);
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    return t;
  }

  // Fills the test vertex buffer and binds it to stream 0.
  void SetVertices(const std::vector<TestVertex>& v) {
    if (m_vb) m_vb->Release();
    m_vb = MakeVb(v, false);
    ASSERT_EQ(m_dev->SetStreamSource(0, m_vb, sizeof(TestVertex)), D3D_OK);
  }
  // Clears the target to `colour` and the depth buffer to 1.
  void ClearTo(DWORD colour = 0xFF000000u) {
    m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0);
  }

  // A quad over the whole target (clip space, as "mov oPos, v0" passes it).
  static std::vector<TestVertex> Quad(float z = 0.5f, DWORD color = 0xFFFFFFFFu, float x0 = -1, float y0 = -1,
                                      float x1 = 1, float y1 = 1) {
    return {{x0, y1, z, color, 0, 0},
            {x1, y1, z, color, 1, 0},
            {x0, y0, z, color, 0, 1},
            {x1, y0, z, color, 1, 1}};
  }

  // The quads ExpectThreeCorners looks for: 0 red top left, 1 green top right, 2 blue bottom left.
  static std::vector<TestVertex> CornerQuad(int i) {
    const float x0 = i == 1 ? 0.0f : -1.0f, y0 = i == 2 ? -1.0f : 0.0f;
    return Quad(0.5f, 0xFF000000u | 0xFF0000u >> (8 * i), x0, y0, x0 + 1, y0 + 1);
  }

  void DrawQuad(float z = 0.5f, DWORD color = 0xFFFFFFFFu) {
    SetVertices(Quad(z, color));
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  }

  // Draws a full quad of `color` at depth z with culling off on a cleared
  // target; returns the centre pixel presented.
  std::uint32_t DrawCentre(DWORD color = 0xFFFFFFFFu, float z = 0.5f) {
    m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ClearTo();
    DrawQuad(z, color);
    PresentAndRead();
    return Centre();
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
  // Expects each listed pixel {x, y, 0xRRGGBB} of the last read-back.
  struct At {
    int x, y;
    std::uint32_t rgb;
  };
  void ExpectPixels(std::initializer_list<At> want) const {
    for (const At& p : want) EXPECT_EQ(Pixel(p.x, p.y), p.rgb) << "pixel " << p.x << "," << p.y;
  }
  // Red, green and blue in the top left, top right and bottom left corners,
  // the bottom right left black.
  void ExpectThreeCorners() const {
    const int r = static_cast<int>(m_width) - 2, b = static_cast<int>(m_height) - 2;
    ExpectPixels({{1, 1, 0xFF0000u}, {r, 1, 0x00FF00u}, {1, b, 0x0000FFu}, {r, b, 0u}});
  }

  qv::headless::Device m_headless;
  IDirect3D8* m_d3d = nullptr;
  IDirect3DDevice8* m_dev = nullptr;
  IDirect3DVertexBuffer8* m_vb = nullptr;
  std::vector<IUnknown*> m_owned;
  std::vector<std::uint8_t> m_rgb;
  UINT m_width = kWidth, m_height = kHeight;
};

// Expects each of the three channels within tol of the expected 0xRRGGBB.
inline ::testing::AssertionResult ColorNear(std::uint32_t got, std::uint32_t want, int tol = 2) {
  for (int shift = 0; shift <= 16; shift += 8)
    if (std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF)) > tol)
      return ::testing::AssertionFailure()
             << (::testing::Message()
                 << std::hex << "got " << got << ", expected " << want << std::dec << " (+-" << tol << ")");
  return ::testing::AssertionSuccess();
}

}  // namespace qv::test
