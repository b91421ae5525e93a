// The camera: its frame and view matrix, turns by yaw and pitch, and the
// per-frame mouse-look and flying controls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/app_globals.h"
#include "input/di_wrapper.h"
#include "tests/support/fake_d3d8.h"
#include "view/camera.h"

namespace {

struct Vec {
  float x, y, z;
};
Vec Look() {
  Vec v;
  g_Camera.GetLook(&v.x, &v.y, &v.z);
  return v;
}
Vec Position() {
  Vec v;
  g_Camera.GetPosition(&v.x, &v.y, &v.z);
  return v;
}
Vec Right() {
  Vec v;
  g_Camera.GetRight(&v.x, &v.y, &v.z);
  return v;
}
void ExpectVec(const Vec& v, float x, float y, float z, float tolerance = 1e-4f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

// The state Game Initialize leaves: at (0, 0, -200) looking along +z.
void StartCamera() {
  g_pd3dDevice = nullptr;
  g_Camera = Camera();
  g_Camera.Init();
  g_Camera.SetPosition(0.0f, 0.0f, -200.0f);
  g_Camera.SetLook(0.0f, 0.0f, 200.0f);
}

class CameraTest : public ::testing::Test {
 protected:
  CameraTest() { StartCamera(); }
};

TEST_F(CameraTest, InitSetsFrameAndGivesTheDeviceItsProjection) {
  Camera camera;
  camera.Init();  // no device: nothing to give the projection to
  Vec v;
  camera.GetPosition(&v.x, &v.y, &v.z);
  ExpectVec(v, 0, 200, -300);
  camera.GetLook(&v.x, &v.y, &v.z);
  ExpectVec(v, 0, 0, 0);

  D3DXMATRIX expected;
  D3DXMatrixPerspectiveFovLH(&expected, 0.7853982f, 1.333f, 1.0f, 1000.0f);
  EXPECT_EQ(0, std::memcmp(&camera.GetProjection(), &expected, sizeof expected));

  auto* d3d = new qv::test::FakeDirect3D8();
  g_pd3dDevice = d3d->MakeDevice();
  camera.Init();
  D3DMATRIX given;
  ASSERT_TRUE(qv::test::FakeDeviceTransform(g_pd3dDevice, D3DTS_PROJECTION, given));
  EXPECT_EQ(0, std::memcmp(&given, &expected, sizeof expected));
  g_pd3dDevice->Release();
  g_pd3dDevice = nullptr;
  d3d->Release();
}

TEST_F(CameraTest, ViewMatrixRows) {
  g_Camera.Update();
  const D3DXMATRIX& view = g_Camera.GetView();
  ExpectVec(Look(), 0, 0, 1);
  ExpectVec(Right(), 1, 0, 0);
  const float rows[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 200, 1}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(view(r, c), rows[r][c], 1e-4f) << r << "," << c;
  EXPECT_EQ(0, std::memcmp(&g_matView, &view, sizeof view));

  // Moved and turned, the view still maps the eye to the origin and the
  // look direction to +z.
  g_Camera.SetPosition(100.0f, 50.0f, 30.0f);
  g_Camera.SetYaw(0.7f);
  g_Camera.SetPitch(-0.3f);
  g_Camera.Update();
  D3DXVECTOR3 eye(100.0f, 50.0f, 30.0f), out;
  D3DXVec3TransformCoord(&out, &eye, &g_matView);
  EXPECT_NEAR(out.x, 0.0f, 1e-3f);
  EXPECT_NEAR(out.y, 0.0f, 1e-3f);
  EXPECT_NEAR(out.z, 0.0f, 1e-3f);
  const Vec l = Look();
  D3DXVECTOR3 ahead(100.0f + l.x * 10, 50.0f + l.y * 10, 30.0f + l.z * 10);
  D3DXVec3TransformCoord(&out, &ahead, &g_matView);
  EXPECT_NEAR(out.x, 0.0f, 1e-3f);
  EXPECT_NEAR(out.y, 0.0f, 1e-3f);
  EXPECT_NEAR(out.z, 10.0f, 1e-3f);
}

TEST_F(CameraTest, PositiveYawTurnsRightAndPositivePitchTiltsDown) {
  g_Camera.SetYaw(0.1f);
  g_Camera.Update();
  ExpectVec(Look(), std::sin(0.1f), 0, std::cos(0.1f));
  EXPECT_EQ(g_Camera.GetYaw(), 0.0f);

  StartCamera();
  g_Camera.SetPitch(0.1f);
  g_Camera.Update();
  ExpectVec(Look(), 0, -0.0998f, 0.995f, 1e-3f);
  EXPECT_EQ(g_Camera.GetPitch(), 0.0f);
}

TEST_F(CameraTest, PendingTurnsAreReplacedNotAdded) {
  g_Camera.SetYaw(0.5f);
  g_Camera.SetYaw(0.1f);
  g_Camera.SetPitch(0.4f);
  g_Camera.SetPitch(0.0f);
  g_Camera.Update();
  ExpectVec(Look(), std::sin(0.1f), 0, std::cos(0.1f));
}

class CameraControlsTest : public CameraTest {
 protected:
  CameraControlsTest() : m_Input(nullptr, nullptr) {
    m_Input.SetScreen(1024, 768);
    std::memset(m_Input.m_Keys, 0, sizeof m_Input.m_Keys);
    std::memset(&m_Input.m_MouseState, 0, sizeof m_Input.m_MouseState);
    g_pInput = &m_Input;
  }
  ~CameraControlsTest() override { g_pInput = nullptr; }
  DIWrapper m_Input;
};

TEST_F(CameraControlsTest, MouseLookTurnsByCursorOffset) {
  m_Input.SetX(572);
  m_Input.SetY(384);
  g_Camera.MouseLook();
  EXPECT_FLOAT_EQ(g_Camera.GetYaw(), 0.1f);
  EXPECT_FLOAT_EQ(g_Camera.GetPitch(), 0.0f);
  EXPECT_EQ(m_Input.GetX(), 512);
  EXPECT_EQ(m_Input.GetY(), 384);

  m_Input.SetX(500);
  m_Input.SetY(444);  // below the centre: tilt down
  g_Camera.MouseLook();
  EXPECT_FLOAT_EQ(g_Camera.GetYaw(), -12.0f / 600.0f);
  EXPECT_FLOAT_EQ(g_Camera.GetPitch(), 0.1f);

  // At the centre nothing is touched, not even the pending turns.
  g_Camera.SetYaw(0.25f);
  g_Camera.MouseLook();
  EXPECT_FLOAT_EQ(g_Camera.GetYaw(), 0.25f);

  g_pInput = nullptr;
  m_Input.SetX(900);
  g_Camera.MouseLook();
  EXPECT_EQ(m_Input.GetX(), 900);
}

TEST_F(CameraControlsTest, FirstFrameForwardMoveUsesTheUnnormalisedLook) {
  m_Input.m_MouseState.rgbButtons[0] = 0x80;
  m_Input.m_MouseState.rgbButtons[1] = 0x80;  // both buttons: forward only
  g_Camera.MoveCamera(&m_Input);
  ExpectVec(Position(), 0, 0, -200 + 11000);
  g_Camera.Update();
  g_Camera.MoveCamera(&m_Input);
  ExpectVec(Position(), 0, 0, -200 + 11000 + 55, 1e-2f);

  m_Input.m_MouseState.rgbButtons[0] = 0;
  g_Camera.MoveCamera(&m_Input);
  ExpectVec(Position(), 0, 0, -200 + 11000, 1e-2f);
}

TEST_F(CameraControlsTest, ArrowKeysSlide) {
  g_Camera.Update();
  m_Input.m_Keys[DIK_RIGHT] = 0x80;
  m_Input.m_Keys[DIK_LEFT] = 0x80;  // both: right only
  g_Camera.MoveCamera(&m_Input);
  ExpectVec(Position(), 5, 0, -200);
  m_Input.m_Keys[DIK_RIGHT] = 0;
  g_Camera.MoveCamera(&m_Input);
  g_Camera.MoveCamera(&m_Input);
  ExpectVec(Position(), -5, 0, -200);
  g_Camera.MoveCamera(nullptr);
  ExpectVec(Position(), -5, 0, -200);
}

}  // namespace
