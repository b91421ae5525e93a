// The terrain shaders on the real device (offscreen GL): created from the
// assembled texts, and what they compute read back from presented pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/frame_timer.h"
#include "device/d3d_wrapper.h"
#include "lighting/sky_map.h"
#include "lighting/terrain_shaders.h"
#include "platform/d3d8/d3d8_testing.h"
#include "testing/temp_log.h"
#include "shader_asm/d3dx8_asm.h"
#include "tools/headless/headless_device.h"
#include "view/camera.h"

namespace {

constexpr DWORD kNone = 0xFFFFFFFFu;
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kTolerance = 10;  // the back buffer is R5G6B5

struct Vertex {  // the 68-byte terrain vertex
  float pos[3], normal[3], tangent[3], uv[4][2];
};
static_assert(sizeof(Vertex) == 68, "terrain vertex size");

// Normal +z, tangent +x, every texture coordinate 0.5.
Vertex MakeVertex(float x, float y, float z) {
  return {{x, y, z}, {0, 0, 1}, {1, 0, 0}, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}};
}

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

class TerrainShadersGLTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(qv::headless::Create(s_headless, "Lighting test", nullptr, &error)) << error;
    g_pd3dDevice = s_headless.device;
  }

  void SetUp() override {
    ASSERT_NE(g_pd3dDevice, nullptr);
    m_Log = std::make_unique<qv::test::TempLog>();
    ASSERT_TRUE(InitVS());
    InitPS();
    for (D3DXMATRIX* m : {&g_matWorld, &g_matView, &g_matProj}) D3DXMatrixTranslation(m, 0, 0, 0);
    g_fFrameTime = 0.0f;  // keep the time of day where the test puts it
    g_LightDir = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
    g_Camera.SetPosition(0.0f, 0.0f, 0.0f);
    IDirect3DDevice8* d = g_pd3dDevice;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
  }

  void TearDown() override {
    ReleaseVS();
    ReleasePS();
    for (DWORD shader : m_TestShaders) g_pd3dDevice->DeletePixelShader(shader);
    for (IDirect3DTexture8* t : m_Textures) t->Release();
    if (m_pVB) m_pVB->Release();
    m_Log.reset();
  }

  // A pixel shader of the test's own, for reading the vertex shader's outputs.
  DWORD TestPixelShader(const char* text) {
    ID3DXBuffer* code = nullptr;
    HRESULT hr = D3DXAssembleShader(text, static_cast<UINT>(std::strlen(text)), 0, nullptr, &code, nullptr);
    EXPECT_EQ(hr, D3D_OK) << text;
    if (FAILED(hr) || !code) return kNone;
    DWORD handle = kNone;
    EXPECT_EQ(g_pd3dDevice->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &handle),
              D3D_OK);
    code->Release();
    m_TestShaders.push_back(handle);
    return handle;
  }

  // A texture of one colour (0xAARRGGBB).
  IDirect3DTexture8* SolidTexture(DWORD argb) {
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(g_pd3dDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    if (!t) return nullptr;
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) static_cast<DWORD*>(lr.pBits)[y * lr.Pitch / 4 + x] = argb;
    t->UnlockRect(0);
    m_Textures.push_back(t);
    return t;
  }

  // Draws a triangle strip of terrain vertices through the terrain vertex
  // shader (with the pixel shader `ps`, or the terrain's when it is 0) and
  // returns the presented frame.
  std::vector<std::uint8_t> Draw(const std::vector<Vertex>& strip, DWORD ps = 0) {
    IDirect3DDevice8* d = g_pd3dDevice;
    UINT bytes = static_cast<UINT>(strip.size() * sizeof(Vertex));
    if (m_pVB) m_pVB->Release();
    m_pVB = nullptr;
    EXPECT_EQ(d->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &m_pVB), D3D_OK);
    BYTE* p = nullptr;
    if (!m_pVB || FAILED(m_pVB->Lock(0, bytes, &p, 0))) return {};
    std::memcpy(p, strip.data(), bytes);
    m_pVB->Unlock();

    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080u, 1.0f, 0);
    d->BeginScene();
    if (ps == 0) {
      ApplyPS(m_Textures.at(0), m_Textures.at(1), m_Textures.at(2), m_Textures.at(3));
    }
    EXPECT_TRUE(ApplyVS());
    if (ps != 0) d->SetPixelShader(ps);
    d->SetStreamSource(0, m_pVB, sizeof(Vertex));
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(strip.size() - 2)), D3D_OK);
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    std::vector<std::uint8_t> rgb;
    int w = 0, h = 0;
    EXPECT_TRUE(QvReadLastFrame(d, rgb, w, h));
    EXPECT_EQ(w, kWidth);
    EXPECT_EQ(h, kHeight);
    return rgb;
  }

  static std::vector<Vertex> FullScreenQuad() {
    return {MakeVertex(-1, -1, 0.5f), MakeVertex(-1, 1, 0.5f), MakeVertex(1, -1, 0.5f),
            MakeVertex(1, 1, 0.5f)};
  }

  static void ExpectPixel(const std::vector<std::uint8_t>& rgb, int x, int y, int r, int g, int b) {
    ASSERT_EQ(rgb.size(), static_cast<size_t>(kWidth * kHeight * 3));
    const std::uint8_t* p = &rgb[(y * kWidth + x) * 3];
    EXPECT_NEAR(p[0], r, kTolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(p[1], g, kTolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(p[2], b, kTolerance) << "blue at " << x << "," << y;
  }

  static qv::headless::Device s_headless;
  std::unique_ptr<qv::test::TempLog> m_Log;
  std::vector<DWORD> m_TestShaders;
  std::vector<IDirect3DTexture8*> m_Textures;
  IDirect3DVertexBuffer8* m_pVB = nullptr;
};

qv::headless::Device TerrainShadersGLTest::s_headless;

TEST_F(TerrainShadersGLTest, LightVectorIsPackedInTangentSpace) {
  // Light travelling along -z, tangent x, normal z: the direction towards the
  // light lies along the normal.
  DWORD showColour = TestPixelShader("ps.1.1\nmov r0, v0\n");
  DWORD showAlpha = TestPixelShader("ps.1.1\nmov r0, v0.a\n");
  ExpectPixel(Draw(FullScreenQuad(), showColour), 512, 384, 128, 128, 255);
  // oD0.w is c12.z = -1, which the colour output clamps to 0.
  ExpectPixel(Draw(FullScreenQuad(), showAlpha), 512, 384, 0, 0, 0);

  // Light travelling along (0, 0.6, 0.8): towards it is (0, -0.6, -0.8),
  // which the binormal (0, -1, 0) turns into +0.6 and the normal into -0.8;
  // oD0.w then carries c12.z = 0.8.
  g_LightDir = D3DXVECTOR3(0.0f, 0.6f, 0.8f);
  ExpectPixel(Draw(FullScreenQuad(), showColour), 300, 200, 128, 204, 26);
  ExpectPixel(Draw(FullScreenQuad(), showAlpha), 300, 200, 204, 204, 204);
}

TEST_F(TerrainShadersGLTest, TerrainPixelShaderBlendsAndLightsFromTheBumpMap) {
  SolidTexture(0xFF0000FFu);  // base: blue
  SolidTexture(0x40FF0000u);  // overlay: red at alpha 0.25
  SolidTexture(0xFF00FF00u);  // stage 2: sampled, never seen
  SolidTexture(0xFF8080FFu);  // bump: the normal (0, 0, 1)
  g_Ambient[0] = 0.2f;
  g_Ambient[1] = 0.3f;
  g_Ambient[2] = 0.4f;
  g_Diffuse[0] = g_Diffuse[1] = g_Diffuse[2] = 0.5f;

  // Lit head-on: (0.25 red + 0.75 blue) x (ambient + diffuse).
  ExpectPixel(Draw(FullScreenQuad()), 512, 384, 45, 0, 172);
  // Light from below the surface: the clamped dot product leaves ambient only.
  g_LightDir = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
  ExpectPixel(Draw(FullScreenQuad()), 512, 384, 13, 0, 77);
}

TEST_F(TerrainShadersGLTest, FogDistanceIgnoresTheVertexHeight) {
  // World x and y from -100 to 100 fill the screen; the camera stands 60
  // above the plane z = 0.5. Linear fog from 0 to 200 towards black over a
  // white surface shows the fog distance as grey.
  g_matProj.m[0][0] = g_matProj.m[1][1] = 0.01f;
  g_Camera.SetPosition(0.0f, 60.0f, 0.5f);
  IDirect3DDevice8* d = g_pd3dDevice;
  d->SetRenderState(D3DRS_FOGENABLE, TRUE);
  d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  d->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
  d->SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
  d->SetRenderState(D3DRS_FOGEND, FloatBits(200.0f));
  d->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u);
  DWORD white = TestPixelShader("ps.1.1\ndef c5, 1.0, 1.0, 1.0, 1.0\nmov r0, c5\n");
  std::vector<Vertex> strip;
  for (float x : {-100.0f, 0.0f, 100.0f}) {
    strip.push_back(MakeVertex(x, -100.0f, 0.5f));
    strip.push_back(MakeVertex(x, 100.0f, 0.5f));
  }
  std::vector<std::uint8_t> rgb = Draw(strip, white);
  d->SetRenderState(D3DRS_FOGENABLE, FALSE);

  // Vertices at x = 0 are sqrt(0 + 60^2 + 0) = 60 away (fog 0.7), those at
  // x = +-100 are 116.6 away (fog 0.417); the rows at the top and the bottom
  // of the screen, whose vertices differ by 200 in height, agree.
  const int centre = 178, halfway = 142;  // (0.7 + 0.417) / 2 at x = -50
  for (int y : {8, 384, 760}) {
    ExpectPixel(rgb, 511, y, centre, centre, centre);
    ExpectPixel(rgb, 256, y, halfway, halfway, halfway);
  }
}

}  // namespace
