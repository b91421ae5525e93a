// The camera: its view matrix, turns by yaw and pitch, and the per-frame
// mouse-look and flying controls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/app_globals.h"
#include "input/di_wrapper.h"
#include "testing/fake_d3d8.h"
#include "view/camera.h"

namespace {

// The camera's look vector or position against (x, y, z).
void ExpectXyz(void (Camera::*get)(float*, float*, float*) const, float x, float y, float z,
               float tolerance) {
  float v[3];
  (g_Camera.*get)(&v[0], &v[1], &v[2]);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(v[i], (i == 0 ? x : i == 1 ? y : z), tolerance) << i;
}
void ExpectPosition(float x, float y, float z) { ExpectXyz(&Camera::GetPosition, x, y, z, 1e-2f); }

// The state the start-up leaves: at (0, 0, -200) looking along +z, with the
// look vector not yet normalised.
void StartCamera() {
  g_Camera = Camera();
  g_Camera.Init();
  g_Camera.SetPosition(0.0f, 0.0f, -200.0f);
  g_Camera.SetLook(0.0f, 0.0f, 200.0f);
}

class CameraTest : public ::testing::Test {
 protected:
  CameraTest() { StartCamera(); }
};

TEST_F(CameraTest, InitGivesTheDeviceItsProjection) {
  D3DXMATRIX expected;
  D3DXMatrixPerspectiveFovLH(&expected, 0.7853982f, 1.333f, 1.0f, 1000.0f);
  EXPECT_EQ(0, std::memcmp(&g_Camera.GetProjection(), &expected, sizeof expected));  // made with no device
  qv::test::FakeDevice device;
  g_pd3dDevice = &device;
  Camera camera;
  camera.Init();
  g_pd3dDevice = nullptr;
  D3DMATRIX given;
  ASSERT_TRUE(device.Transform(D3DTS_PROJECTION, given));
  EXPECT_EQ(0, std::memcmp(&given, &expected, sizeof expected));
}

TEST_F(CameraTest, ViewMatrixAndTurns) {
  g_Camera.Update();
  const float rows[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 200, 1}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(g_Camera.GetView()(r, c), rows[r][c], 1e-4f) << r << "," << c;
  EXPECT_EQ(0, std::memcmp(&g_matView, &g_Camera.GetView(), sizeof g_matView));

  // Moved and turned, the view still takes the eye to the origin and a point
  // ahead of it onto +z.
  g_Camera.SetPosition(100.0f, 50.0f, 30.0f);
  g_Camera.SetYaw(0.7f);
  g_Camera.SetPitch(-0.3f);
  g_Camera.Update();
  float lx, ly, lz;
  g_Camera.GetLook(&lx, &ly, &lz);
  const D3DXVECTOR3 points[2] = {{100.0f, 50.0f, 30.0f},
                                 {100.0f + lx * 10, 50.0f + ly * 10, 30.0f + lz * 10}};
  for (int i = 0; i < 2; ++i) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &points[i], &g_matView);
    EXPECT_NEAR(out.x, 0.0f, 1e-3f);
    EXPECT_NEAR(out.y, 0.0f, 1e-3f);
    EXPECT_NEAR(out.z, i * 10.0f, 1e-3f);
  }

  // Yaw turns right, pitch tilts down, and each setter replaces the turn.
  StartCamera();
  g_Camera.SetYaw(0.5f);
  g_Camera.SetYaw(0.1f);  // replaces, does not add
  g_Camera.Update();
  ExpectXyz(&Camera::GetLook, std::sin(0.1f), 0, std::cos(0.1f), 1e-4f);
  EXPECT_EQ(g_Camera.GetYaw(), 0.0f);

  StartCamera();
  g_Camera.SetPitch(0.4f);
  g_Camera.SetPitch(0.1f);
  g_Camera.Update();
  ExpectXyz(&Camera::GetLook, 0, -0.0998f, 0.995f, 1e-3f);
  EXPECT_EQ(g_Camera.GetPitch(), 0.0f);
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
  g_Camera.MouseLook();
  EXPECT_FLOAT_EQ(g_Camera.GetYaw(), 0.1f);
  EXPECT_FLOAT_EQ(g_Camera.GetPitch(), 0.0f);
  EXPECT_EQ(m_Input.GetX(), 512);
  EXPECT_EQ(m_Input.GetY(), 384);
  m_Input.SetX(500);
  m_Input.SetY(444);  // left of and below the centre
  g_Camera.MouseLook();
  EXPECT_FLOAT_EQ(g_Camera.GetYaw(), -0.02f);
  EXPECT_FLOAT_EQ(g_Camera.GetPitch(), 0.1f);
  // At the centre nothing is touched, not even the pending turns.
  g_Camera.SetYaw(0.25f);
  g_Camera.MouseLook();
  EXPECT_FLOAT_EQ(g_Camera.GetYaw(), 0.25f);
  m_Input.SetY(444);  // below the centre only: still a turn, and the cursor goes back
  g_Camera.MouseLook();
  EXPECT_EQ(m_Input.GetY(), 384);
  // Without an input object there is nothing to read.
  g_pInput = nullptr;
  m_Input.SetX(900);
  g_Camera.MouseLook();
  EXPECT_EQ(m_Input.GetX(), 900);
}

TEST_F(CameraControlsTest, ButtonsFlyAndArrowsSlide) {
  m_Input.m_MouseState.rgbButtons[0] = m_Input.m_MouseState.rgbButtons[1] = 0x80;  // both: forward only
  g_Camera.MoveCamera(&m_Input);
  ExpectPosition(0, 0, -200 + 11000);  // the first frame's look is still (0, 0, 200)
  g_Camera.Update();
  g_Camera.MoveCamera(&m_Input);
  ExpectPosition(0, 0, -200 + 11000 + 55);
  m_Input.m_MouseState.rgbButtons[0] = 0;
  g_Camera.MoveCamera(&m_Input);
  ExpectPosition(0, 0, -200 + 11000);
  m_Input.m_MouseState.rgbButtons[1] = 0;

  m_Input.m_Keys[DIK_RIGHT] = m_Input.m_Keys[DIK_LEFT] = 0x80;  // both: right only
  g_Camera.MoveCamera(&m_Input);
  ExpectPosition(5, 0, -200 + 11000);
  m_Input.m_Keys[DIK_RIGHT] = 0;
  g_Camera.MoveCamera(&m_Input);
  g_Camera.MoveCamera(&m_Input);
  g_Camera.MoveCamera(nullptr);
  ExpectPosition(-5, 0, -200 + 11000);
}

}  // namespace
