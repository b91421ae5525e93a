// The free-flying camera: a position and an orthonormal frame in world units.
#pragma once

#include "device/d3d_wrapper.h"

class Camera : public D3DWrapper2 {
 public:
  Camera();

  void Init();
  void SetPosition(float x, float y, float z);
  void GetPosition(float* x, float* y, float* z) const;
  void Move(float dx, float dy, float dz);
  void SetLook(float x, float y, float z);
  void GetLook(float* x, float* y, float* z) const;
  void GetRight(float* x, float* y, float* z) const;
  void GetUp(float* x, float* y, float* z) const;
  void SetYaw(float angle) { m_Yaw = angle; }
  void SetPitch(float angle) { m_Pitch = angle; }
  float GetYaw() const { return m_Yaw; }
  float GetPitch() const { return m_Pitch; }
  void Update();
  const D3DXMATRIX& GetView() const { return m_View; }
  const D3DXMATRIX& GetProjection() const { return m_Projection; }

 private:
  D3DXVECTOR3 m_Position;
  D3DXVECTOR3 m_Look;
  D3DXVECTOR3 m_Up;
  D3DXVECTOR3 m_Right;
  float m_Pitch;
  float m_Yaw;
  D3DXMATRIX m_Projection;
  D3DXMATRIX m_View;
};

extern Camera g_Camera;
