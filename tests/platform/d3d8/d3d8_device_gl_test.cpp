// Pixels read back headless: clear, present, orientation, culling, depth,
// blending, fog, strips with a base vertex, batching, textures and filters.
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tests/platform/d3d8/d3d8_test_util.h"

namespace qv::test {
namespace {

using DeviceGl = D3D8Device;

// D3DRS_DITHERENABLE on a 16-bit target: a black-to-white ramp, averaged per
// column over the 4 rows of the dither pattern, follows the ramp an 8-bit
// target shows to within half a step of each channel, where without the
// state it is the 565 staircase (Mesa rounds down to 565: up to 0.85 steps
// off); an 8-bit target is never dithered, and clears and colours the 16-bit
// target holds exactly stay exact in both modes, read back widened.
TEST_F(DeviceGl, DitherSpreadsA16BitRampAndKeepsExactColours) {
  constexpr UINT kW = 256, kH = 4;
  auto drawRamp = [&](D3DFORMAT format, DWORD dither) {
    Close();
    Open(format, true, kW, kH);
    UseColourShader();
    m_dev->SetRenderState(D3DRS_DITHERENABLE, dither);
    ClearTo();
    std::vector<TestVertex> q = Quad(0.5f, 0xFF000000u);
    q[1].color = q[3].color = 0xFFFFFFFFu;  // the right-hand corners
    SetVertices(q);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    PresentAndRead();
  };
  // Channel c of pixel (x, y) in steps of that channel of R5G6B5.
  const float kLevels[3] = {31.0f, 63.0f, 31.0f};
  auto steps = [&](const std::vector<std::uint8_t>& rgb, UINT x, UINT y, int c) {
    return rgb[(y * kW + x) * 3 + c] * kLevels[c] / 255.0f;
  };
  drawRamp(D3DFMT_X8R8G8B8, TRUE);
  const std::vector<std::uint8_t> ideal = m_rgb;
  for (UINT x = 0; x < kW; ++x)
    for (UINT y = 1; y < kH; ++y)
      ASSERT_NEAR(ideal[(y * kW + x) * 3], ideal[x * 3], 1) << "8-bit target dithered";
  for (DWORD dither : {FALSE, TRUE}) {
    SCOPED_TRACE(dither ? "dither on" : "dither off");
    drawRamp(D3DFMT_R5G6B5, dither);
    for (int c = 0; c < 3; ++c) {
      float worst = 0, total = 0;
      int columnsVarying = 0;  // columns whose rows are not all alike
      for (UINT x = 0; x < kW; ++x) {
        float mean = 0;
        bool varies = false;
        for (UINT y = 0; y < kH; ++y) {
          mean += steps(m_rgb, x, y, c) / kH;
          varies = varies || m_rgb[(y * kW + x) * 3 + c] != m_rgb[x * 3 + c];
        }
        columnsVarying += varies ? 1 : 0;
        const float error = std::fabs(mean - steps(ideal, x, 0, c));
        worst = std::max(worst, error);
        total += error;
      }
      SCOPED_TRACE(testing::Message() << "channel " << c << ": worst " << worst << ", mean " << total / kW
                                      << ", varying columns " << columnsVarying);
      if (dither) {
        EXPECT_LE(worst, 0.5f + 0.02f);
      }
      EXPECT_TRUE(dither ? columnsVarying > static_cast<int>(kW) / 2
                         : columnsVarying < static_cast<int>(kW) / 16)
          << "the 565 staircase has flat columns, the dithered ramp varies down most columns";
      EXPECT_TRUE(dither ? total / kW < 0.2f : total / kW > 0.2f)
          << "a staircase is off by a quarter step or more on average, the dithered ramp less";
    }
  }
  // 16/31, 40/63, 5/31 are exact in R5G6B5: read back widened to 8 bits.
  const float exact[4] = {16.0f / 31.0f, 40.0f / 63.0f, 5.0f / 31.0f, 1.0f};
  const DWORD ps = MakePs(PixelProgram({0x00000001u, Dst(kTemp, 0), Src(kConst, 0)}));
  for (DWORD dither : {FALSE, TRUE}) {
    m_dev->SetRenderState(D3DRS_DITHERENABLE, dither);
    ClearTo(0xFF8264FFu);  // 565 drops the low bits: 0x8465FF
    PresentAndRead();
    for (UINT y = 0; y < kH; ++y)
      for (UINT x = 0; x < kW; ++x) ASSERT_EQ(Pixel(x, y), 0x8465FFu) << x << "," << y;
    ASSERT_EQ(m_dev->SetPixelShader(ps), D3D_OK);
    ASSERT_EQ(m_dev->SetPixelShaderConstant(0, exact, 1), D3D_OK);
    DrawCentre();
    for (UINT y = 0; y < kH; ++y)
      for (UINT x = 0; x < 8; ++x) EXPECT_EQ(Pixel(x, y), 0x84A229u) << x << "," << y;
  }
}

TEST_F(DeviceGl, ClearRectanglesMissingBuffersAndSceneNesting) {
  int w = 0, h = 0;
  EXPECT_FALSE(QvReadLastFrame(m_dev, m_rgb, w, h)) << "nothing presented yet";
  EXPECT_FALSE(QvReadLastFrame(nullptr, m_rgb, w, h));
  ASSERT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
  D3DRECT r = {0, 0, 8, 4};
  ASSERT_EQ(m_dev->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
  EXPECT_EQ(m_dev->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  PresentAndRead();
  ExpectPixels({{0, 0, 0xFFFFFFu}, {7, 3, 0xFFFFFFu}, {8, 3, 0u}, {7, 4, 0u}});
  // Scenes nest only once.
  EXPECT_EQ(m_dev->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->BeginScene(), D3D_OK);
  EXPECT_EQ(m_dev->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->EndScene(), D3D_OK);
}

// Viewports count from the top left, as Direct3D's do; Clear clears only the
// viewport.
TEST_F(DeviceGl, ViewportFromTheTopLeft) {
  UseColourShader();
  ClearTo();
  D3DVIEWPORT8 vp = {8, 4, 16, 8, 0.0f, 1.0f};
  ASSERT_EQ(m_dev->SetViewport(&vp), D3D_OK);
  DrawQuad(0.5f, 0xFF00FF00u);
  D3DVIEWPORT8 right = {40, 0, 24, 48, 0.0f, 1.0f};
  ASSERT_EQ(m_dev->SetViewport(&right), D3D_OK);
  m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0);
  D3DVIEWPORT8 outside = {60, 0, 8, 8, 0.0f, 1.0f}, badZ = {0, 0, 8, 8, 0.5f, 2.0f};
  EXPECT_EQ(m_dev->SetViewport(&outside), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->SetViewport(&badZ), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->SetViewport(nullptr), D3DERR_INVALIDCALL);
  PresentAndRead();
  ExpectPixels({{8, 4, 0x00FF00u},
                {23, 11, 0x00FF00u},
                {7, 4, 0u},
                {8, 12, 0u},
                {24, 4, 0u},
                {40, 47, 0xFF0000u},
                {39, 47, 0u}});
}

// Direct3D samples pixels at whole coordinates: a band half a pixel wide
// around the centres of row 1, or of column 1, lights exactly that row or column.
TEST_F(DeviceGl, PixelCentresLieAtWholeCoordinates) {
  UseColourShader();
  const float W = static_cast<float>(m_width), H = static_cast<float>(m_height);
  for (bool row : {true, false}) {
    SCOPED_TRACE(row ? "row 1" : "column 1");
    ClearTo();
    // Screen coordinates 0.75 to 1.25 across the band.
    SetVertices(row ? Quad(0.5f, 0xFFFFFFFFu, -1, 1 - 2.5f / H, 1, 1 - 1.5f / H)
                    : Quad(0.5f, 0xFFFFFFFFu, -1 + 1.5f / W, -1, -1 + 2.5f / W, 1));
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    PresentAndRead();
    const int mid = row ? static_cast<int>(m_width) / 2 : static_cast<int>(m_height) / 2;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(row ? Pixel(mid, i) : Pixel(i, mid), i == 1 ? 0xFFFFFFu : 0u) << i;
  }
}

// Direct3D's front faces are clockwise on screen; the default CULLMODE (CCW)
// removes counter-clockwise ones.
TEST_F(DeviceGl, CullModeKeepsDirect3DWinding) {
  UseColourShader();
  // Clockwise on screen: top-left, top-right, bottom-left.
  const std::vector<TestVertex> cw = {
      {-1, 1, 0.5f, 0xFF00FF00u, 0, 0}, {1, 1, 0.5f, 0xFF00FF00u, 0, 0}, {-1, -1, 0.5f, 0xFF00FF00u, 0, 0}};
  const std::vector<TestVertex> ccw = {cw[0], cw[2], cw[1]};
  struct Case {
    DWORD cull;
    const std::vector<TestVertex>* tri;
    bool drawn;
  } cases[] = {{D3DCULL_CCW, &cw, true}, {D3DCULL_CCW, &ccw, false}, {D3DCULL_CW, &cw, false},
               {D3DCULL_CW, &ccw, true}, {D3DCULL_NONE, &cw, true},  {D3DCULL_NONE, &ccw, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cull " << c.cull << " drawn " << c.drawn);
    ClearTo();
    m_dev->SetRenderState(D3DRS_CULLMODE, c.cull);
    SetVertices(*c.tri);
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    PresentAndRead();
    EXPECT_EQ(Pixel(2, 2), c.drawn ? 0x00FF00u : 0u);
  }
}

TEST_F(DeviceGl, DepthTestKeepsTheNearerSurface) {
  UseColourShader();
  m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  // A depth of 1.0 at the far plane still passes LESSEQUAL against the clear.
  EXPECT_EQ(DrawCentre(0xFF0000FFu, 1.0f), 0x0000FFu);
  // Direct3D's clip volume starts at z = 0: a quad in front of it is not drawn.
  EXPECT_EQ(DrawCentre(0xFF0000FFu, -0.25f), 0u);
  // The green quad lies behind the red one: hidden with the test, drawn over it without.
  for (DWORD z : {D3DZB_TRUE, D3DZB_FALSE}) {
    m_dev->SetRenderState(D3DRS_ZENABLE, z);
    ClearTo();
    DrawQuad(0.25f, 0xFFFF0000u);
    DrawQuad(0.75f, 0xFF00FF00u);
    PresentAndRead();
    EXPECT_EQ(Centre(), z ? 0xFF0000u : 0x00FF00u);
  }
}

// oFog is the fog coordinate of the linear formula, clamped; with the vertex
// mode NONE it is the factor itself.
TEST_F(DeviceGl, LinearFogFromOFog) {
  const DWORD vs = MakeVs(VertexProgram(
      {0x00000001u, Dst(kAttr, 0), Src(kInput, 5), 0x00000001u, Dst(kRast, 1, 0x1), Src(kConst, 1, kXXXX)}));
  ASSERT_EQ(m_dev->SetVertexShader(vs), D3D_OK);
  m_dev->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
  m_dev->SetRenderState(D3DRS_FOGSTART, FloatBits(1500.0f));
  m_dev->SetRenderState(D3DRS_FOGEND, FloatBits(8000.0f));
  m_dev->SetRenderState(D3DRS_FOGDENSITY, FloatBits(2.0f));
  m_dev->SetRenderState(D3DRS_FOGENABLE, TRUE);
  struct Case {
    float fog;
    DWORD mode;
    std::uint32_t want;
  } cases[] = {
      {4750.0f, D3DFOG_LINEAR, 0x8080FFu},  {1000.0f, D3DFOG_LINEAR, 0xFFFFFFu},
      {10000.0f, D3DFOG_LINEAR, 0x0000FFu}, {0.34657f, D3DFOG_EXP, 0x8080FFu},  // e^-(2 x 0.34657) = 0.5
      {0.41628f, D3DFOG_EXP2, 0x8080FFu},                                       // e^-(2 x 0.41628)^2 = 0.5
      {0.25f, D3DFOG_NONE, 0x4040FFu},      {-3.0f, D3DFOG_NONE, 0x0000FFu}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "fog " << c.fog);
    m_dev->SetRenderState(D3DRS_FOGVERTEXMODE, c.mode);
    const float f[4] = {c.fog, 0, 0, 0};
    ASSERT_EQ(m_dev->SetVertexShaderConstant(1, f, 1), D3D_OK);
    EXPECT_TRUE(ColorNear(DrawCentre(), c.want));
  }
  // Fog off: the colour is untouched.
  m_dev->SetRenderState(D3DRS_FOGENABLE, FALSE);
  EXPECT_EQ(DrawCentre(), 0xFFFFFFu);
}

// Blending mixes by source alpha. Alpha test: each comparison against the
// reference 0x80 with alpha just below, at and above it; a refused pixel
// leaves the cleared black.
TEST_F(DeviceGl, AlphaBlendingAndAlphaTest) {
  UseColourShader();
  m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  m_dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  m_dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0);
  DrawQuad(0.5f, 0x40FF0000u);  // alpha 0.25
  PresentAndRead();
  EXPECT_TRUE(ColorNear(Centre(), 0x4000BFu));
  m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  m_dev->SetRenderState(D3DRS_ALPHAREF, 0x80);
  m_dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  const struct {
    DWORD func;
    const char* passes;  // for alpha 0x7F, 0x80, 0x81
  } cases[] = {{D3DCMP_NEVER, "---"},        {D3DCMP_LESS, "x--"},    {D3DCMP_EQUAL, "-x-"},
               {D3DCMP_LESSEQUAL, "xx-"},    {D3DCMP_GREATER, "--x"}, {D3DCMP_NOTEQUAL, "x-x"},
               {D3DCMP_GREATEREQUAL, "-xx"}, {D3DCMP_ALWAYS, "xxx"}};
  for (const auto& c : cases) {
    m_dev->SetRenderState(D3DRS_ALPHAFUNC, c.func);
    for (DWORD k = 0; k < 3; ++k)
      EXPECT_EQ(DrawCentre((0x7Fu + k) << 24 | 0xFF0000u), c.passes[k] == 'x' ? 0xFF0000u : 0u)
          << "function " << c.func << ", alpha " << 0x7F + k;
  }
}

// Blending whose result would be the source itself (source alpha 1, the
// usual factors) is left off in GL; everywhere else it stays on. The pixel
// program is "tex t0; mov r0, t0": its alpha is 1 with a texture format
// without alpha, whatever the unused byte holds. Each case changes state
// after a draw: the change alone must bring blending up to date.
TEST_F(DeviceGl, BlendingLeftOffOnlyWhereTheSourceAlphaIsOne) {
  UseColourShader();
  ASSERT_EQ(m_dev->SetPixelShader(MakePs(PixelProgram({66, Dst(kTex, 0), 1, Dst(kTemp, 0), Src(kTex, 0)}))),
            D3D_OK);
  IDirect3DTexture8* opaque = MakeTexture(1, 1, D3DFMT_X8R8G8B8, {0x00FF0000u});
  IDirect3DTexture8* translucent = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0x40FF0000u});
  m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  m_dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  const struct {
    IDirect3DTexture8* texture;
    DWORD destBlend, addressU;
    bool blends;
  } cases[] = {{opaque, D3DBLEND_INVSRCALPHA, D3DTADDRESS_WRAP, false},
               {translucent, D3DBLEND_INVSRCALPHA, D3DTADDRESS_WRAP, true},
               {opaque, D3DBLEND_INVSRCALPHA, D3DTADDRESS_BORDER, true},
               {opaque, D3DBLEND_ONE, D3DTADDRESS_WRAP, true}};
  for (const auto& c : cases) {
    ClearTo();
    DrawQuad(2.0f);  // beyond the far plane: draws nothing, applies the state
    ASSERT_EQ(m_dev->SetTexture(0, c.texture), D3D_OK);
    m_dev->SetRenderState(D3DRS_DESTBLEND, c.destBlend);
    m_dev->SetTextureStageState(0, D3DTSS_ADDRESSU, c.addressU);
    DrawQuad();
    EXPECT_EQ(glIsEnabled(GL_BLEND) == GL_TRUE, c.blends) << &c - cases;
  }
  // ZERO is a factor like the others, not an unknown one (which reads as ONE).
  m_dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  DrawQuad();
  GLint source = -1;
  glGetIntegerv(GL_BLEND_SRC_RGB, &source);
  EXPECT_EQ(source, GL_ZERO);
}

// One static strip index buffer drawn at two base vertices, then a list from
// a scratch buffer refilled with discarding locks; the draws are gathered.
TEST_F(DeviceGl, IndexedStripsWithBaseVertexAndDiscardedScratchIndices) {
  UseColourShader();
  std::vector<TestVertex> v;
  for (int i = 0; i < 3; ++i)
    for (const TestVertex& q : CornerQuad(i)) v.push_back(q);
  SetVertices(v);
  IDirect3DIndexBuffer8* strip = MakeIb({0, 1, 2, 3});
  ClearTo();
  ASSERT_EQ(m_dev->BeginScene(), D3D_OK);
  ASSERT_EQ(m_dev->SetIndices(strip, 0), D3D_OK);
  ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2), D3D_OK);
  ASSERT_EQ(m_dev->SetIndices(strip, 4), D3D_OK);
  ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2), D3D_OK);
  // The scratch list: first filled with a degenerate triangle, then (after a
  // draw that must keep reading the first contents) with the real one.
  IDirect3DIndexBuffer8* scratch =
      MakeIb({0, 0, 0}, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, 64);
  ASSERT_EQ(m_dev->SetIndices(scratch, 8), D3D_OK);
  ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3D_OK);
  const WORD good[6] = {0, 1, 2, 2, 1, 3};
  Fill(scratch, good, 12, D3DLOCK_DISCARD);
  ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
  // Out of range: more indices than the buffer holds, or a vertex range past
  // the stream's end.
  EXPECT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 20), D3DERR_INVALIDCALL);
  ASSERT_EQ(m_dev->SetIndices(strip, 10), D3D_OK);
  EXPECT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  ASSERT_EQ(m_dev->EndScene(), D3D_OK);
  PresentAndRead();
  ExpectThreeCorners();
}

// Early rejection. With the position a plain transform by c4..c7, a draw
// whose vertices all lie beyond one clip plane is counted but spared GL; one
// that straddles a plane (the half-pixel shift included) is drawn; a shader of
// another form never skips; relocking the vertices changes the decision.
TEST_F(DeviceGl, DrawsWhollyOutsideTheClipVolumeAreSkipped) {
  std::vector<DWORD> plain = {0xFFFE0101u};
  for (std::uint32_t i = 0; i < 4; ++i)  // dp4 oPos.<i>, v0, c<4 + i>
    plain.insert(plain.end(), {9u, Dst(kRast, 0, 1u << i), Src(kInput, 0), Src(kConst, 4 + i)});
  plain.insert(plain.end(), {0x00000001u, Dst(kAttr, 0), Src(kInput, 5), 0x0000FFFFu});
  const DWORD plainVs = MakeVs(plain), otherVs = UseColourShader();
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  ASSERT_EQ(m_dev->SetVertexShaderConstant(4, identity, 4), D3D_OK);
  IDirect3DIndexBuffer8* strip = MakeIb({0, 1, 2, 3});
  const int W = static_cast<int>(m_width), H = static_cast<int>(m_height);
  // Draws a white quad; whether it was skipped, and whether pixel (x, y) is white.
  auto draw = [&](int x, int y) {
    ClearTo();
    const std::uint64_t before = qv::host::GetStats().draws_skipped;
    EXPECT_EQ(m_dev->SetIndices(strip, 0), D3D_OK);
    EXPECT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2), D3D_OK);
    PresentAndRead();
    return std::make_pair(qv::host::GetStats().draws_skipped != before, x >= 0 && Pixel(x, y) == 0xFFFFFFu);
  };
  struct Case {
    const char* what;
    bool plainShader;
    float x0, y0, x1, y1, z;
    bool skipped;
    int x, y;  // a pixel the quad must cover when drawn (-1: none)
  } cases[] = {
      {"inside", true, -1, -1, 1, 1, 0.5f, false, W / 2, H / 2},
      {"right of x = w", true, 1.2f, -1, 3, 1, 0.5f, true, -1, 0},
      {"left of x = -w", true, -3, -1, -1.2f, 1, 0.5f, true, -1, 0},
      {"above y = w", true, -1, 1.2f, 1, 3, 0.5f, true, -1, 0},
      {"below y = -w", true, -1, -3, 1, -1.2f, 0.5f, true, -1, 0},
      {"in front of z = 0", true, -1, -1, 1, 1, -0.5f, true, -1, 0},
      {"behind z = w", true, -1, -1, 1, 1, 1.5f, true, -1, 0},
      {"straddling x = w", true, 0.5f, -1, 3, 1, 0.5f, false, W - 1, H / 2},
      {"straddling two planes", true, 0.5f, 0.5f, 3, 3, 0.5f, false, W - 1, 0},
      // A quarter pixel beyond x = -w: the half-pixel shift brings it back in.
      {"just left of x = -w", true, -3, -1, -1.004f, 1, 0.5f, false, -1, 0},
      {"other shader", false, 1.2f, -1, 3, 1, 0.5f, false, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(m_dev->SetVertexShader(c.plainShader ? plainVs : otherVs), D3D_OK);
    SetVertices(Quad(c.z, 0xFFFFFFFFu, c.x0, c.y0, c.x1, c.y1));
    const auto got = draw(c.x, c.y);
    EXPECT_EQ(got.first, c.skipped);
    EXPECT_TRUE(c.x < 0 || got.second);
  }
  // Relocking the same buffer moves the quad in and out of the picture.
  ASSERT_EQ(m_dev->SetVertexShader(plainVs), D3D_OK);
  const std::vector<TestVertex> in = Quad(0.5f), out = Quad(0.5f, 0xFFFFFFFFu, 1.2f, -1, 3, 1);
  for (const auto* v : {&in, &out, &in}) {
    Fill(m_vb, v->data(), static_cast<UINT>(v->size() * sizeof(TestVertex)), 0);
    const auto got = draw(W / 2, H / 2);
    EXPECT_EQ(got.first, v == &out);
    EXPECT_EQ(got.second, v == &in);
  }
  // Turned off, nothing is skipped.
  QvD3D8SetDrawSkip(m_dev, false);
  SetVertices(out);
  EXPECT_FALSE(draw(-1, 0).first);
}

// Vertex buffers share buffer objects; switching between them between draws
// (one where the start is a whole number of vertices in, one where it is not)
// must still read each buffer's own vertices.
TEST_F(DeviceGl, DrawsFromSeveralVertexBuffers) {
  UseColourShader();
  // The first two follow each other (the second starts 4 vertices in); a
  // 4-byte buffer then puts the third off a vertex boundary.
  IDirect3DVertexBuffer8* vbs[3] = {MakeVb(CornerQuad(0)), MakeVb(CornerQuad(1))};
  MakeVb(std::vector<BYTE>(4));
  vbs[2] = MakeVb(CornerQuad(2));
  ClearTo();
  ASSERT_EQ(m_dev->SetIndices(MakeIb({0, 1, 2, 3}), 0), D3D_OK);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(m_dev->SetStreamSource(0, vbs[i], sizeof(TestVertex)), D3D_OK);
    ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2), D3D_OK);
  }
  PresentAndRead();
  ExpectThreeCorners();
}

// Vertex buffers get their GL storage at first use, all those waiting
// together and in as much as they need: a pool made up front shares one
// buffer object of its exact size. A buffer released before its first use
// takes none. Storage freed by a released buffer is used again, zeroed. A
// buffer that fits nowhere gets new storage of at least a quarter of what is
// already held (and at least 1 MiB).
TEST_F(DeviceGl, VertexStorageIsSizedToTheBuffersWaitingForIt) {
  const std::vector<BYTE> fives(4000, 0x55);
  auto make = [&](UINT bytes, bool use) {
    IDirect3DVertexBuffer8* vb = nullptr;
    EXPECT_EQ(m_dev->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb), D3D_OK);
    return use ? Fill(vb, fives.data(), std::min<UINT>(bytes, 4000), 0) : vb;
  };
  const std::size_t mib = 1u << 20, pool = 5000000;
  EXPECT_EQ(make(4000, true)->Release(), 0u);
  EXPECT_EQ(QvD3D8VertexStorageBytes(m_dev), mib);
  make(4000, false)->Release();
  for (int i = 0; i < 5; ++i) Own(make(pool / 5, i == 4));
  EXPECT_EQ(QvD3D8VertexStorageBytes(m_dev), mib + pool);
  IDirect3DVertexBuffer8* again = Own(make(4000, false));
  BYTE* p = nullptr;
  ASSERT_EQ(again->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(std::count(p, p + 4000, 0), 4000) << "freed storage is zeroed for the next buffer";
  ASSERT_EQ(again->Unlock(), D3D_OK);
  EXPECT_EQ(QvD3D8VertexStorageBytes(m_dev), mib + pool);
  Own(make(1100000, true));
  EXPECT_EQ(QvD3D8VertexStorageBytes(m_dev), mib + pool + (mib + pool) / 4);
}

// Discarded index data lives in a stream buffer that wraps around; a buffer
// filled before the wrap and drawn after it still draws its own indices.
TEST_F(DeviceGl, DiscardedIndicesSurviveTheStreamWrapping) {
  UseColourShader();
  SetVertices(Quad(0.5f, 0xFF00FF00u));
  IDirect3DIndexBuffer8* kept = MakeIb({0, 1, 2, 2, 1, 3}, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
  IDirect3DIndexBuffer8* big = MakeIb({}, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, 256 * 1024);
  // Several megabytes of other discarded data: the stream wraps more than once.
  const std::vector<BYTE> zeros(256 * 1024);
  for (int i = 0; i < 24; ++i) Fill(big, zeros.data(), 256 * 1024, D3DLOCK_DISCARD);
  ClearTo();
  ASSERT_EQ(m_dev->SetIndices(kept, 0), D3D_OK);
  ASSERT_EQ(m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
  PresentAndRead();
  ExpectPixels({{1, 1, 0x00FF00u}, {int(m_width) - 2, int(m_height) - 2, 0x00FF00u}});
}

TEST_F(DeviceGl, PartialBufferLockKeepsTheRest) {
  UseColourShader();
  SetVertices(Quad(0.5f, 0xFFFF0000u));
  // Rewrite only the colours of the last two vertices.
  BYTE* p = nullptr;
  ASSERT_EQ(m_vb->Lock(2 * sizeof(TestVertex), 2 * sizeof(TestVertex), &p, D3DLOCK_NOOVERWRITE), D3D_OK);
  auto* tv = reinterpret_cast<TestVertex*>(p);
  tv[0].color = tv[1].color = 0xFFFF0000u;
  ASSERT_EQ(m_vb->Unlock(), D3D_OK);
  EXPECT_EQ(m_vb->Unlock(), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_vb->Lock(0, 1000, &p, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
  ClearTo();
  ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  PresentAndRead();
  ExpectPixels({{1, 1, 0xFF0000u}, {int(m_width) - 2, int(m_height) - 2, 0xFF0000u}});
}

// Painting on write-only vertices, as the terrain does it: each stroke locks
// patch 1 (of two, 8 x 8 vertices each) with flags 0 and changes the colours
// of a square in place. The second stroke overlaps the first and ORs a bit
// into what it reads, so it must see the first one's colours. Another buffer
// lies before this one in the same buffer object. Each vertex is drawn as a
// point; the whole frame must show exactly the colours the strokes leave.
TEST_F(DeviceGl, PaintingTwiceOverOnePatchChangesExactlyItsVertices) {
  UseColourShader();
  constexpr int kSide = 8, kPatch = kSide * kSide;
  auto pixel = [](int i) {
    return (i % kSide * 2 + 1 + i / kPatch * 20) + (i % kPatch / kSide * 2 + 1) * int(kWidth);
  };
  std::vector<TestVertex> v;
  for (int i = 0; i < 2 * kPatch; ++i) {
    const float x = float(pixel(i) % kWidth), y = float(pixel(i) / kWidth);
    v.push_back({2 * x / kWidth - 1, 1 - 2 * y / kHeight, 0.5f, 0xFF000000u | DWORD(i) * 0x20401u, 0, 0});
  }
  MakeVb(std::vector<BYTE>(100, 0x55));
  IDirect3DVertexBuffer8* vb = MakeVb(v);
  ASSERT_EQ(m_dev->SetStreamSource(0, vb, sizeof(TestVertex)), D3D_OK);
  auto stroke = [&](int c0, int c1, int r0, int r1, DWORD (*paint)(DWORD)) {
    BYTE* p = nullptr;
    ASSERT_EQ(vb->Lock(kPatch * sizeof(TestVertex), kPatch * sizeof(TestVertex), &p, 0), D3D_OK);
    for (int row = r0; row < r1; ++row)
      for (int column = c0; column < c1; ++column) {
        DWORD& c = reinterpret_cast<TestVertex*>(p)[row * kSide + column].color;
        c = paint(c);
        v[kPatch + row * kSide + column].color = paint(v[kPatch + row * kSide + column].color);
      }
    ASSERT_EQ(vb->Unlock(), D3D_OK);
  };
  auto drawAndCompare = [&] {
    ClearTo();
    ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_POINTLIST, 0, 2 * kPatch), D3D_OK);
    PresentAndRead();
    std::vector<std::uint32_t> want(kWidth * kHeight, 0);
    for (int i = 0; i < 2 * kPatch; ++i) want[pixel(i)] = v[i].color & 0xFFFFFFu;
    int wrong = 0;
    for (int i = 0; i < int(kWidth * kHeight); ++i) wrong += Pixel(i % kWidth, i / kWidth) != want[i];
    EXPECT_EQ(wrong, 0);
  };
  drawAndCompare();
  stroke(1, 5, 1, 5, [](DWORD) { return 0xFFE00010u; });
  drawAndCompare();
  stroke(3, 7, 2, 6, [](DWORD c) { return c | 0x80u; });
  drawAndCompare();
}

// Sets every texel of a locked w x h rectangle to `texel`.
template <typename T>
void FillRect(const D3DLOCKED_RECT& lr, UINT w, UINT h, T texel) {
  for (UINT y = 0; y < h; ++y)
    std::fill_n(reinterpret_cast<T*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch), w, texel);
}

TEST_F(DeviceGl, TextureFirstRowIsTheTopAndFiltersFollowStageStates) {
  UseColourShader();
  IDirect3DTexture8* t =
      MakeTexture(2, 2, D3DFMT_A8R8G8B8, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
  ASSERT_EQ(m_dev->SetTexture(0, t), D3D_OK);
  DrawCentre();
  const int r = m_width - 1, b = m_height - 1;
  ExpectPixels({{0, 0, 0xFF0000u}, {r, 0, 0x00FF00u}, {0, b, 0x0000FFu}, {r, b, 0xFFFFFFu}});
  // Linear magnification blends neighbours at the centre.
  m_dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  m_dev->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  m_dev->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
  DrawQuad();
  PresentAndRead();
  EXPECT_TRUE(ColorNear(Centre(), 0x808080u, 4));
}

// The host's readout is copied into the presented frame with its top-left
// corner at (8, 8), its first row at the top, cut off at the picture's edge;
// every other pixel is the system's. The next frame, without the readout,
// draws with the system's state as it was: its texture still bound to its
// stage, nothing of the readout left over.
TEST_F(DeviceGl, ReadoutGoesIntoThePresentedFrameOnly) {
  Close();
  Open(D3DFMT_X8R8G8B8, true, 96, 32);
  UseColourShader();
  ASSERT_EQ(m_dev->SetTexture(0, MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF00FF00u})), D3D_OK);
  qv::host::SetReadoutSource([] { return std::string("Ag"); });
  qv::host::SetReadoutOn(true);
  DrawCentre();
  qv::host::OverlayImage image;  // the same text, so the same image
  ASSERT_TRUE(qv::host::FrameOverlay(image));
  ASSERT_GT(8 + image.height, static_cast<int>(m_height)) << "the box is cut off at the bottom";
  int wrong = 0, light = 0;
  for (int y = 0; y < static_cast<int>(m_height); ++y)
    for (int x = 0; x < static_cast<int>(m_width); ++x) {
      std::uint32_t want = 0x00FF00u;
      if (x >= 8 && x < 8 + image.width && y >= 8) {
        const std::uint8_t* p = image.rgba + (static_cast<std::size_t>(y - 8) * image.width + (x - 8)) * 4;
        want = (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
        light += p[0] > 200;
      }
      wrong += Pixel(x, y) != want;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(light, 10) << "text within the part shown";
  qv::host::SetReadoutOn(false);
  DrawQuad();
  PresentAndRead();
  for (int y = 0; y < static_cast<int>(m_height); ++y)
    for (int x = 0; x < static_cast<int>(m_width); ++x) ASSERT_EQ(Pixel(x, y), 0x00FF00u) << x << "," << y;
}

// A three-level chain with one colour per level; 4 texels per pixel selects
// level 2 once mip-mapping is on.
TEST_F(DeviceGl, MipMappedTextureSampledWithLinearFiltering) {
  UseColourShader();
  IDirect3DTexture8* t = nullptr;
  ASSERT_EQ(m_dev->CreateTexture(4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  Own(t);
  ASSERT_EQ(t->GetLevelCount(), 3u);
  const DWORD colours[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
  for (UINT l = 0; l < 3; ++l) {
    D3DSURFACE_DESC d;
    ASSERT_EQ(t->GetLevelDesc(l, &d), D3D_OK);
    EXPECT_EQ(d.Width, 4u >> l);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(l, &lr, nullptr, 0), D3D_OK);
    FillRect(lr, d.Width, d.Height, colours[l]);
    ASSERT_EQ(t->UnlockRect(l), D3D_OK);
  }
  ASSERT_EQ(m_dev->SetTexture(0, t), D3D_OK);
  std::vector<TestVertex> q = Quad();
  for (TestVertex& v : q) {
    v.u *= static_cast<float>(m_width);
    v.v *= static_cast<float>(m_height);
  }
  m_dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  m_dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  m_dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  SetVertices(q);
  ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  PresentAndRead();
  EXPECT_EQ(Centre(), 0xFF0000u) << "no mip filter: level 0 only";
  m_dev->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
  ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  PresentAndRead();
  EXPECT_TRUE(ColorNear(Centre(), 0x0000FFu, 8));
}

TEST_F(DeviceGl, SystemMemoryTextureUpdatesADefaultOne) {
  UseColourShader();
  IDirect3DTexture8 *sys = nullptr, *def = nullptr;
  ASSERT_EQ(m_dev->CreateTexture(8, 8, 0, 0, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &sys), D3D_OK);
  ASSERT_EQ(m_dev->CreateTexture(4, 4, 0, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &def), D3D_OK);
  Own(sys);
  Own(def);
  for (UINT l = 0; l < sys->GetLevelCount(); ++l) {
    IDirect3DSurface8* s = nullptr;
    ASSERT_EQ(sys->GetSurfaceLevel(l, &s), D3D_OK);
    D3DSURFACE_DESC d;
    ASSERT_EQ(s->GetDesc(&d), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(s->LockRect(&lr, nullptr, 0), D3D_OK);
    FillRect<WORD>(lr, d.Width, d.Height, l == 1 ? 0x07E0 : 0xF800);
    ASSERT_EQ(s->UnlockRect(), D3D_OK);
    s->Release();
  }
  D3DLOCKED_RECT lr;
  EXPECT_EQ(def->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "default pool is not lockable";
  EXPECT_EQ(m_dev->SetTexture(0, sys), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->UpdateTexture(def, sys), D3DERR_INVALIDCALL);
  ASSERT_EQ(m_dev->UpdateTexture(sys, def), D3D_OK);
  ASSERT_EQ(m_dev->SetTexture(0, def), D3D_OK);
  // The 4x4 destination took the source's 4x4 level (level 1, green).
  EXPECT_EQ(DrawCentre(), 0x00FF00u);
}

// Formats from the table; sizes and rectangles checked.
TEST_F(DeviceGl, TextureFormatsSizesAndLockRectangles) {
  for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                      D3DFMT_A4R4G4B4, D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A8, D3DFMT_P8, D3DFMT_A8P8}) {
    const bool offered = f != D3DFMT_P8 && f != D3DFMT_A8P8;
    EXPECT_EQ(m_d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, f),
              offered ? D3D_OK : D3DERR_NOTAVAILABLE)
        << f;
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(m_dev->CreateTexture(8, 8, 0, 0, f, D3DPOOL_MANAGED, &t), offered ? D3D_OK : D3DERR_INVALIDCALL)
        << f;
    Own(t);
  }
  // DXT formats follow what the context offers; when offered they work.
  const HRESULT dxt =
      m_d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1);
  IDirect3DTexture8* t = nullptr;
  EXPECT_EQ(m_dev->CreateTexture(8, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t) == D3D_OK, dxt == D3D_OK);
  if (Own(t)) {
    D3DSURFACE_DESC d{};
    EXPECT_EQ(t->GetLevelDesc(3, &d), D3D_OK);
    EXPECT_EQ(d.Size, 8u) << "a 1x1 DXT1 level is one 8-byte block";
  }
  EXPECT_EQ(m_dev->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  t = MakeTexture(16, 8, D3DFMT_A8R8G8B8, std::vector<DWORD>(16 * 8));
  D3DLOCKED_RECT lr;
  RECT r = {4, 2, 8, 4};
  ASSERT_EQ(t->LockRect(0, &lr, &r, 0), D3D_OK);
  EXPECT_EQ(lr.Pitch, 64);
  EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
  ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
  for (RECT bad : {RECT{0, 0, 17, 8}, RECT{3, 3, 3, 4}, RECT{-1, 0, 2, 2}})  // outside, empty, negative
    EXPECT_EQ(t->LockRect(0, &lr, &bad, 0), D3DERR_INVALIDCALL) << bad.left << "," << bad.top;
  EXPECT_EQ(t->LockRect(1, &lr, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(t->LockRect(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
}

// Refused calls; released resources are forgotten; the host may destroy the
// window while the device lives on: calls then do nothing harmful, and
// releasing the device still works.
TEST_F(DeviceGl, RefusedCallsReleasedResourcesAndALostWindow) {
  const float f[8] = {};
  // Past the last state, stage, stream or constant; odd values that are no
  // shader's handle; a draw without an index buffer; bad sizes and pointers.
  const HRESULT refused[] = {m_dev->SetRenderState(static_cast<D3DRENDERSTATETYPE>(999), 1),
                             m_dev->SetTextureStageState(8, D3DTSS_MINFILTER, 1),
                             m_dev->SetTexture(8, nullptr),
                             m_dev->SetStreamSource(99, nullptr, 0),
                             m_dev->SetVertexShaderConstant(95, nullptr, 1),
                             m_dev->SetVertexShaderConstant(95, f, 2),
                             m_dev->SetPixelShaderConstant(7, f, 2),
                             m_dev->SetVertexShader(0x12345u),
                             m_dev->SetPixelShader(0x777u),
                             m_dev->DeleteVertexShader(3),
                             m_dev->DeletePixelShader(0),
                             m_dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1),
                             m_dev->GetDeviceCaps(nullptr),
                             m_dev->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, &m_vb),
                             m_dev->CreateIndexBuffer(16, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr)};
  for (std::size_t i = 0; i < std::size(refused); ++i)
    EXPECT_EQ(refused[i], D3DERR_INVALIDCALL) << "call " << i;
  // A vertex format instead of a shader: the fixed-function pipeline is not offered.
  SetVertices(Quad());
  ASSERT_EQ(m_dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
  EXPECT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  // Drawing past the end of the stream.
  UseColourShader();
  EXPECT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  IDirect3DTexture8* t = nullptr;
  ASSERT_EQ(m_dev->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  ASSERT_EQ(m_dev->SetTexture(0, t), D3D_OK);
  IDirect3DBaseTexture8* got = nullptr;
  ASSERT_EQ(m_dev->GetTexture(0, &got), D3D_OK);
  EXPECT_EQ(got, t);
  got->Release();
  EXPECT_EQ(t->Release(), 0u);
  ASSERT_EQ(m_dev->GetTexture(0, &got), D3D_OK);
  EXPECT_EQ(got, nullptr);
  m_vb->Release();
  m_vb = nullptr;
  EXPECT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  SetVertices(Quad());
  qv::host::Reset();
  EXPECT_EQ(m_dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
  m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  EXPECT_EQ(m_dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  m_vb->Release();
  m_vb = nullptr;
}

}  // namespace
}  // namespace qv::test
