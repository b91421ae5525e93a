#include "texture_io/d3dx8math.h"

#include <cmath>

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV) {
  const float s = pV->x * pV->x + pV->y * pV->y + pV->z * pV->z;
  // A vector already of about unit length is returned as it is.
  if (s - 1.0f >= -0.00001f && s - 1.0f <= 0.00001f) {
    *pOut = *pV;
    return pOut;
  }
  if (s < 1e-10f) {
    *pOut = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    return pOut;
  }
  const float inv = 1.0f / std::sqrt(s);
  *pOut = D3DXVECTOR3(pV->x * inv, pV->y * inv, pV->z * inv);
  return pOut;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pA, const D3DXVECTOR3* pB) {
  const D3DXVECTOR3 r(pA->y * pB->z - pA->z * pB->y, pA->z * pB->x - pA->x * pB->z,
                      pA->x * pB->y - pA->y * pB->x);
  *pOut = r;
  return pOut;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
  const D3DXMATRIX& m = *pM;
  const float x = pV->x * m(0, 0) + pV->y * m(1, 0) + pV->z * m(2, 0) + m(3, 0);
  const float y = pV->x * m(0, 1) + pV->y * m(1, 1) + pV->z * m(2, 1) + m(3, 1);
  const float z = pV->x * m(0, 2) + pV->y * m(1, 2) + pV->z * m(2, 2) + m(3, 2);
  const float w = pV->x * m(0, 3) + pV->y * m(1, 3) + pV->z * m(2, 3) + m(3, 3);
  if (w - 1.0f >= -0.00001f && w - 1.0f <= 0.00001f)
    *pOut = D3DXVECTOR3(x, y, z);
  else
    *pOut = D3DXVECTOR3(x / w, y / w, z / w);
  return pOut;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pA, const D3DXMATRIX* pB) {
  // Inputs are copied first so that the output may be either input.
  const D3DXMATRIX a = *pA;
  const D3DXMATRIX b = *pB;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      (*pOut)(i, j) = a(i, 0) * b(0, j) + a(i, 1) * b(1, j) + a(i, 2) * b(2, j) + a(i, 3) * b(3, j);
  return pOut;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM) {
  const D3DXMATRIX m = *pM;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) (*pOut)(i, j) = m(j, i);
  return pOut;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) (*pOut)(i, j) = (i == j) ? 1.0f : 0.0f;
  (*pOut)(3, 0) = x;
  (*pOut)(3, 1) = y;
  (*pOut)(3, 2) = z;
  return pOut;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pAxis, float angle) {
  D3DXVECTOR3 v;
  D3DXVec3Normalize(&v, pAxis);
  const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
  const float x = v.x, y = v.y, z = v.z;
  D3DXMATRIX& m = *pOut;
  m(0, 0) = t * x * x + c;
  m(0, 1) = t * x * y + s * z;
  m(0, 2) = t * x * z - s * y;
  m(0, 3) = 0.0f;
  m(1, 0) = t * x * y - s * z;
  m(1, 1) = t * y * y + c;
  m(1, 2) = t * y * z + s * x;
  m(1, 3) = 0.0f;
  m(2, 0) = t * x * z + s * y;
  m(2, 1) = t * y * z - s * x;
  m(2, 2) = t * z * z + c;
  m(2, 3) = 0.0f;
  m(3, 0) = 0.0f;
  m(3, 1) = 0.0f;
  m(3, 2) = 0.0f;
  m(3, 3) = 1.0f;
  return pOut;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                               const D3DXVECTOR3* pUp) {
  const D3DXVECTOR3 eye = *pEye;
  D3DXVECTOR3 zaxis = *pAt - eye;
  D3DXVec3Normalize(&zaxis, &zaxis);
  D3DXVECTOR3 xaxis;
  D3DXVec3Cross(&xaxis, pUp, &zaxis);
  D3DXVec3Normalize(&xaxis, &xaxis);
  D3DXVECTOR3 yaxis;
  D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
  D3DXMATRIX& m = *pOut;
  m(0, 0) = xaxis.x;
  m(1, 0) = xaxis.y;
  m(2, 0) = xaxis.z;
  m(0, 1) = yaxis.x;
  m(1, 1) = yaxis.y;
  m(2, 1) = yaxis.z;
  m(0, 2) = zaxis.x;
  m(1, 2) = zaxis.y;
  m(2, 2) = zaxis.z;
  m(0, 3) = 0.0f;
  m(1, 3) = 0.0f;
  m(2, 3) = 0.0f;
  m(3, 0) = -D3DXVec3Dot(&xaxis, &eye);
  m(3, 1) = -D3DXVec3Dot(&yaxis, &eye);
  m(3, 2) = -D3DXVec3Dot(&zaxis, &eye);
  m(3, 3) = 1.0f;
  return pOut;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn, float zf) {
  const float yscale = std::cos(fovy / 2.0f) / std::sin(fovy / 2.0f);
  const float xscale = yscale / aspect;
  const float q = zf / (zf - zn);
  D3DXMATRIX& m = *pOut;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m(i, j) = 0.0f;
  m(0, 0) = xscale;
  m(1, 1) = yscale;
  m(2, 2) = q;
  m(2, 3) = 1.0f;
  m(3, 2) = -q * zn;
  return pOut;
}
