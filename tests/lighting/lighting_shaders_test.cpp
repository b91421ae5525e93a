#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/frame_timer.h"
#include "device/d3d_wrapper.h"
#include "lighting/sky_map.h"
#include "lighting/terrain_shaders.h"
#include "testing/fake_d3d8.h"
#include "testing/temp_log.h"
#include "view/camera.h"

namespace {

using qv::test::FakeDevice;
using qv::test::RecordedCall;
using qv::test::TempLog;

constexpr DWORD kNone = 0xFFFFFFFFu;

// Points g_pd3dDevice at an in-memory device for one test.
struct DeviceScope {
  FakeDevice device;
  DeviceScope() { g_pd3dDevice = &device; }
  ~DeviceScope() { g_pd3dDevice = nullptr; }
  const std::vector<RecordedCall>& Calls() const { return device.calls; }
};

void ExpectConstant(const RecordedCall& call, const char* op, DWORD reg, std::vector<float> data) {
  EXPECT_EQ(call.op, op);
  EXPECT_EQ(call.value, reg);
  ASSERT_EQ(call.data.size(), data.size()) << op << " c" << reg;
  for (size_t i = 0; i < data.size(); ++i)
    EXPECT_FLOAT_EQ(call.data[i], data[i]) << op << " c" << reg << "[" << i << "]";
}

TEST(TerrainShadersTest, PixelConstantsFollowTheTimeOfDay) {
  // Before the first clock step: the start-up colours, with the inverse
  // ambient computed while the program started.
  EXPECT_FLOAT_EQ(g_AmbientInverse[0], 0.58f);
  DeviceScope scope;
  g_hPixelShader = 0x77;
  g_fFrameTime = 10.0f;
  // Four distinct texture pointers; the device only compares them.
  alignas(16) static char storage[4][64];
  IDirect3DTexture8* tex[4];
  for (int i = 0; i < 4; ++i) tex[i] = reinterpret_cast<IDirect3DTexture8*>(storage[i]);
  ApplyPS(tex[0], tex[1], tex[2], tex[3]);
  const auto& calls = scope.Calls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[0].op, "SetPixelShader");
  EXPECT_EQ(calls[0].value, 0x77u);
  ExpectConstant(calls[1], "SetPixelShaderConstant", 0, {0.42f, 0.40f, 0.50f, 1.0f});
  ExpectConstant(calls[2], "SetPixelShaderConstant", 1, {0.58f, 0.60f, 0.50f, 1.0f});
  ExpectConstant(calls[3], "SetPixelShaderConstant", 2, {0.90f, 0.90f, 0.80f, 1.0f});
  for (int stage = 0; stage < 4; ++stage) {
    EXPECT_EQ(calls[4 + stage].op, "SetTexture");
    EXPECT_EQ(calls[4 + stage].value, static_cast<DWORD>(stage));
    EXPECT_EQ(calls[4 + stage].pointer, static_cast<IDirect3DBaseTexture8*>(tex[stage]));
  }

  // After a step with tables loaded, the colours come from the tables, the
  // inverse follows the new ambient and every alpha stays 1.
  TempLog log;
  std::string diffuse(1080, '\0'), ambient(1080, '\0');
  diffuse[311] = '\xFF';
  ambient[360 + 311] = '\x33';
  log.WriteFile("Diffuse.raw", diffuse);
  log.WriteFile("Ambient.raw", ambient);
  LoadSkyMap("Diffuse.raw", "Ambient.raw");
  scope.device.calls.clear();
  g_fFrameTime = 60.0f;
  ApplyPS(nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(calls.size(), 8u);
  ExpectConstant(calls[1], "SetPixelShaderConstant", 0, {0.0f, 0.2f, 0.0f, 1.0f});
  ExpectConstant(calls[2], "SetPixelShaderConstant", 1, {1.0f, 0.8f, 1.0f, 1.0f});
  ExpectConstant(calls[3], "SetPixelShaderConstant", 2, {1.0f, 0.0f, 0.0f, 1.0f});
}

TEST(TerrainShadersTest, VertexConstantsHoldTheTransposedProductLightAndCamera) {
  DeviceScope scope;
  g_hVertexShader = 0x55;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      g_matWorld.m[r][c] = (r == c) ? 1.0f : 0.0f;
      g_matView.m[r][c] = static_cast<float>(r * 4 + c + 1);
      g_matProj.m[r][c] = static_cast<float>((r + 2 * c) % 5) - 1.0f;
    }
  g_matWorld.m[3][0] = 7.0f;  // a translation
  g_LightDir = D3DXVECTOR3(0.0f, 0.6f, -0.8f);
  g_Camera.SetPosition(100.0f, 250.0f, -30.0f);

  EXPECT_TRUE(ApplyVS());

  // World x view x proj, by hand; register 4 + i holds column i.
  std::vector<float> columns(16, 0.0f);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k)
          columns[c * 4 + r] += g_matWorld.m[r][j] * g_matView.m[j][k] * g_matProj.m[k][c];
  const auto& calls = scope.Calls();
  ASSERT_EQ(calls.size(), 5u);
  ExpectConstant(calls[0], "SetVertexShaderConstant", 4, columns);
  ASSERT_EQ(calls[1].data.size(), 4u);
  ExpectConstant(calls[1], "SetVertexShaderConstant", 12, {0.0f, 0.6f, -0.8f, calls[1].data[3]});
  ExpectConstant(calls[2], "SetVertexShaderConstant", 20, {0.5f, 0.5f, 0.5f, 0.5f});
  ExpectConstant(calls[3], "SetVertexShaderConstant", 10, {100.0f, 250.0f, -30.0f, 0.0f});
  EXPECT_EQ(calls[4].op, "SetVertexShader");
  EXPECT_EQ(calls[4].value, 0x55u);
}

TEST(TerrainShadersTest, ReleaseSequences) {
  DeviceScope scope;
  auto ops = [&] {
    std::vector<std::string> out;
    for (const auto& c : scope.Calls()) out.push_back(c.op + " " + std::to_string(c.value));
    scope.device.calls.clear();
    return out;
  };
  using Ops = std::vector<std::string>;

  g_hPixelShader = kNone;  // nothing created: deselect only
  ReleasePS();
  EXPECT_EQ(ops(), (Ops{"SetPixelShader 0"}));
  g_hPixelShader = 9;
  ReleasePS();
  EXPECT_EQ(ops(), (Ops{"SetPixelShader 0", "DeletePixelShader 9"}));
  EXPECT_EQ(g_hPixelShader, kNone);
  ReleasePS();
  EXPECT_EQ(ops(), (Ops{"SetPixelShader 0"}));

  g_hVertexShader = kNone;
  ReleaseVS();
  EXPECT_EQ(ops(), Ops{});
  g_hVertexShader = 5;
  ReleaseVS();  // not deselected first
  EXPECT_EQ(ops(), (Ops{"DeleteVertexShader 5"}));
  EXPECT_EQ(g_hVertexShader, kNone);
  ReleaseVS();
  EXPECT_EQ(ops(), Ops{});
}

TEST(TerrainShadersTest, InitCreatesBothShadersOrLogsTheRefusalAndLeavesNoHandle) {
  TempLog log;
  DeviceScope scope;
  scope.device.nextHandle = 0x1234;
  ASSERT_TRUE(InitVS());
  EXPECT_EQ(g_hVertexShader, 0x1234u);
  ASSERT_EQ(scope.Calls().size(), 1u);
  EXPECT_EQ(scope.Calls()[0].pointer, g_TerrainDecl);
  EXPECT_EQ(scope.device.lastFunction[0], 0xFFFE0100u);  // vs.1.0

  scope.device.nextHandle = 0x4321;
  InitPS();
  EXPECT_EQ(g_hPixelShader, 0x4321u);
  EXPECT_EQ(scope.device.lastFunction[0], 0xFFFF0101u);  // ps.1.1
  EXPECT_EQ(log.Count("InitVS"), 0);

  // Refused creation is logged as information and leaves no handle.
  g_hVertexShader = g_hPixelShader = kNone;
  scope.device.Config().createShaderResult = D3DERR_INVALIDCALL;
  EXPECT_FALSE(InitVS());
  InitPS();
  g_pd3dDevice = nullptr;
  EXPECT_EQ(g_hVertexShader, kNone);
  EXPECT_EQ(g_hPixelShader, kNone);
  EXPECT_FALSE(InitVS());  // no device at all
  EXPECT_EQ(log.Count("\n[InitVS]:  Failed to Create Vertex Shader"), 2);
  EXPECT_EQ(g_pLog->ErrorCount(), 0u);

  // Without a device every other operation does nothing and says so safely.
  ApplyPS(nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(ApplyVS());
  ReleaseVS();
  ReleasePS();
}

}  // namespace
