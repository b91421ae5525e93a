// InitD3D on the scripted host: the capability entries in the log, the
// matrices, the start-up render state, and the set-up stopping cleanly when
// no device can be made.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/d3d_wrapper.h"
#include "log/log_file.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"
#include "testing/temp_log.h"
#include "tools/headless/headless_device.h"

namespace {

class InitD3DTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_log.Ok());
    qv::host::Reset();  // MakeWindow configures the scripted host
  }
  void TearDown() override {
    if (g_pd3dDevice) g_pd3dDevice->Release();
    g_pd3dDevice = nullptr;
    if (m_wrapper.m_pD3D) m_wrapper.m_pD3D->Release();
    qv::host::Reset();
  }
  static HWND MakeWindow() { return qv::headless::MakeWindow("Quorvel class"); }

  qv::test::TempLog m_log;  // also the working directory
  D3DWrapper2 m_wrapper;
};

TEST_F(InitD3DTest, ReportsCapsBuildsMatricesAndSetsStartUpState) {
  HWND hWnd = MakeWindow();
  ASSERT_NE(hWnd, nullptr);
  m_wrapper.InitD3D(hWnd);
  ASSERT_NE(g_pd3dDevice, nullptr);
  ASSERT_NE(m_wrapper.m_pD3D, nullptr);
  const std::string log = m_log.Text();
  for (const char* entry :
       {"\n[Pixel Shader Capabilities]:  MaxShaderValue: 8.000000, MaxSimultaneousTextures: 4, \n"
        "MaxTextureBlendStages: 8, PixelShaderVersion: 1.3",
        "\n[VertexShader Capabilities]:  MaxPrimitives: 1048575, MaxVertexIndex: 16777215, "
        "MaxStreams: 8,\n MaxVshaderConst: 96, VertexShaderVersion: 1.1"})
    EXPECT_NE(log.find(entry), std::string::npos) << entry << "\nin\n" << log;
  EXPECT_EQ(g_pLog->ErrorCount(), 0u);

  // Projection: 1 / tan(pi / 8) on both axes, Q = 8000 / 7999 (depth 1 lands
  // on 0, depth 8000 on 1).
  const float proj[4][4] = {
      {2.4142134f, 0, 0, 0}, {0, 2.4142134f, 0, 0}, {0, 0, 1.0001251f, 1}, {0, 0, -1.0001251f, 0}};
  // The view maps the origin to (0, 0, 200); the world is the identity.
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(g_matProj(r, c), proj[r][c], 1e-6f) << r << "," << c;
      EXPECT_EQ(g_matWorld(r, c), r == c ? 1.0f : 0.0f);
    }
  for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(g_matView(3, c), c == 2 ? 200.0f : 0.0f);
  EXPECT_EQ(g_vEyePt.z, -200.0f);

  struct State {
    D3DRENDERSTATETYPE state;
    DWORD value;
  } expected[] = {{D3DRS_CULLMODE, D3DCULL_NONE},      {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1},
                  {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA}, {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
                  {D3DRS_ALPHABLENDENABLE, TRUE},      {D3DRS_LIGHTING, FALSE},
                  {D3DRS_DITHERENABLE, TRUE},          {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL},
                  {D3DRS_SPECULARENABLE, FALSE},       {D3DRS_ZENABLE, D3DZB_TRUE},
                  {D3DRS_FOGCOLOR, 0xFF8282B4u},       {D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR},
                  {D3DRS_FOGSTART, 0x44BB8000u},       {D3DRS_FOGEND, 0x45FA0000u},
                  {D3DRS_RANGEFOGENABLE, TRUE},        {D3DRS_FOGENABLE, TRUE}};
  for (const State& s : expected) {
    DWORD v = 0;
    ASSERT_EQ(g_pd3dDevice->GetRenderState(s.state, &v), D3D_OK);
    EXPECT_EQ(v, s.value) << "state " << s.state;
  }
  D3DMATERIAL8 m{};
  ASSERT_EQ(g_pd3dDevice->GetMaterial(&m), D3D_OK);
  EXPECT_FLOAT_EQ(m.Power, 0.3f);
  EXPECT_EQ(m.Emissive.a, 0.0f);
  DWORD fvf = 0;
  ASSERT_EQ(g_pd3dDevice->GetVertexShader(&fvf), D3D_OK);
  EXPECT_EQ(fvf, 0x312u);
  // The back buffer is 1024 x 768 R5G6B5.
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(g_pd3dDevice->GetDisplayMode(&mode), D3D_OK);
  EXPECT_EQ(mode.Width, 1024u);
  EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
}

TEST_F(InitD3DTest, NoDeviceStopsTheSetUpAndLogsAnError) {
  // No window exists, so the device cannot be created.
  m_wrapper.InitD3D(nullptr);
  EXPECT_EQ(g_pd3dDevice, nullptr);
  EXPECT_NE(m_wrapper.m_pD3D, nullptr);
  const std::string log = m_log.Text();
  EXPECT_NE(log.find("[InitD3D]:  Could not create the Direct3D device"), std::string::npos) << log;
  EXPECT_EQ(log.find("Capabilities"), std::string::npos);
  EXPECT_EQ(g_pLog->ErrorCount(), 1u);
}

}  // namespace
