// The per-frame camera controls: mouse-look and flying by buttons and keys.
// They are members of D3DWrapper2 but use none of its state.
#include "app/app_globals.h"
#include "input/di_wrapper.h"
#include "view/camera.h"

namespace {

constexpr int kCentreX = 512;
constexpr int kCentreY = 384;
constexpr float kPixelsPerRadian = 600.0f;
constexpr float kForwardStep = 55.0f;  // world units per frame along the view
constexpr float kSideStep = 5.0f;      // world units per frame sideways

}  // namespace

void D3DWrapper2::MouseLook() {
  if (!g_pInput) return;
  const int x = g_pInput->GetX();
  const int y = g_pInput->GetY();
  // A cursor already at the centre is left alone, pending turns included.
  if (x == kCentreX && y == kCentreY) return;
  g_pInput->SetX(kCentreX);
  g_pInput->SetY(kCentreY);
  const float yawOffset = static_cast<float>(kCentreX - x) / kPixelsPerRadian;
  const float pitchOffset = static_cast<float>(kCentreY - y) / kPixelsPerRadian;
  g_Camera.SetYaw(-yawOffset);
  g_Camera.SetPitch(-pitchOffset);
}

void D3DWrapper2::MoveCamera(DIWrapper* input) {
  if (!input) return;
  float x, y, z;
  // The look vector is used as stored: before the first Camera::Update it is
  // not yet unit length, so that frame's move is longer.
  if (input->IsButtonDown(0)) {
    g_Camera.GetLook(&x, &y, &z);
    g_Camera.Move(x * kForwardStep, y * kForwardStep, z * kForwardStep);
  } else if (input->IsButtonDown(1)) {
    g_Camera.GetLook(&x, &y, &z);
    g_Camera.Move(x * -kForwardStep, y * -kForwardStep, z * -kForwardStep);
  }
  if (input->IsKeyDown(DIK_RIGHT)) {
    g_Camera.GetRight(&x, &y, &z);
    g_Camera.Move(x * kSideStep, y * kSideStep, z * kSideStep);
  } else if (input->IsKeyDown(DIK_LEFT)) {
    g_Camera.GetRight(&x, &y, &z);
    g_Camera.Move(x * -kSideStep, y * -kSideStep, z * -kSideStep);
  }
}
