// The free-flying camera: a position and a look / up / right frame in world
// units, turned by pending yaw and pitch once per frame.
#include "view/camera.h"

#include <cstring>

Camera g_Camera;

namespace {

D3DXMATRIX ZeroMatrix() {
  D3DXMATRIX m;
  std::memset(&m, 0, sizeof m);
  return m;
}

}  // namespace

Camera::Camera()
    : m_Position(0.0f, 0.0f, -1.0f),
      m_Look(0.0f, 0.0f, -1.0f),
      m_Up(0.0f, 1.0f, 0.0f),
      m_Right(1.0f, 0.0f, 0.0f),
      m_Pitch(0.0f),
      m_Yaw(0.0f),
      m_Projection(ZeroMatrix()),
      m_View(ZeroMatrix()) {}

void Camera::Init() {
  m_Position = D3DXVECTOR3(0.0f, 200.0f, -300.0f);
  m_Look = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  m_Up = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
  // Aspect 1.333 as written, not 4/3.
  D3DXMatrixPerspectiveFovLH(&m_Projection, 0.7853982f, 1.333f, 1.0f, 1000.0f);
  if (g_pd3dDevice) g_pd3dDevice->SetTransform(D3DTS_PROJECTION, &m_Projection);
}

void Camera::SetPosition(float x, float y, float z) { m_Position = D3DXVECTOR3(x, y, z); }

void Camera::GetPosition(float* x, float* y, float* z) const {
  *x = m_Position.x;
  *y = m_Position.y;
  *z = m_Position.z;
}

void Camera::Move(float dx, float dy, float dz) {
  m_Position.x += dx;
  m_Position.y += dy;
  m_Position.z += dz;
}

void Camera::SetLook(float x, float y, float z) { m_Look = D3DXVECTOR3(x, y, z); }

void Camera::GetLook(float* x, float* y, float* z) const {
  *x = m_Look.x;
  *y = m_Look.y;
  *z = m_Look.z;
}

void Camera::GetRight(float* x, float* y, float* z) const {
  *x = m_Right.x;
  *y = m_Right.y;
  *z = m_Right.z;
}

void Camera::GetUp(float* x, float* y, float* z) const {
  *x = m_Up.x;
  *y = m_Up.y;
  *z = m_Up.z;
}

void Camera::Update() {
  // Re-orthonormalise the frame before the turns, not after them.
  D3DXVec3Normalize(&m_Look, &m_Look);
  D3DXVec3Cross(&m_Right, &m_Up, &m_Look);
  D3DXVec3Normalize(&m_Right, &m_Right);
  D3DXVec3Cross(&m_Up, &m_Look, &m_Right);
  D3DXVec3Normalize(&m_Up, &m_Up);

  // Both turns are about the camera's own axes, so the frame can roll over time.
  D3DXMATRIX turn;
  D3DXMatrixRotationAxis(&turn, &m_Up, m_Yaw);
  D3DXVec3TransformCoord(&m_Look, &m_Look, &turn);
  D3DXVec3TransformCoord(&m_Right, &m_Right, &turn);
  D3DXMatrixRotationAxis(&turn, &m_Right, m_Pitch);
  D3DXVec3TransformCoord(&m_Look, &m_Look, &turn);
  D3DXVec3TransformCoord(&m_Up, &m_Up, &turn);
  m_Yaw = 0.0f;
  m_Pitch = 0.0f;

  D3DXMATRIX& v = m_View;
  v = ZeroMatrix();
  v(0, 0) = m_Right.x, v(0, 1) = m_Up.x, v(0, 2) = m_Look.x;
  v(1, 0) = m_Right.y, v(1, 1) = m_Up.y, v(1, 2) = m_Look.y;
  v(2, 0) = m_Right.z, v(2, 1) = m_Up.z, v(2, 2) = m_Look.z;
  v(3, 0) = -D3DXVec3Dot(&m_Position, &m_Right);
  v(3, 1) = -D3DXVec3Dot(&m_Position, &m_Up);
  v(3, 2) = -D3DXVec3Dot(&m_Position, &m_Look);
  v(3, 3) = 1.0f;
  g_matView = m_View;
}
