// D3DWrapper2: the base that gives an object access to Direct3D 8; InitD3D
// creates the system's one device. The camera controls are members too.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "texture_io/d3dx8math.h"

class DIWrapper;

class D3DWrapper2 {
 public:
  D3DWrapper2();

  void InitD3D(HWND hWnd);

  // Camera controls, in view/camera_controls.cpp; they use none of this object's state.
  void MouseLook();
  void MoveCamera(DIWrapper* input);

  IDirect3D8* m_pD3D;
  D3DMATERIAL8 m_Material;
};

// The present parameters of the system's device: full screen 1024 x 768,
// 16-bit colour and depth, no waiting for the vertical retrace.
D3DPRESENT_PARAMETERS SystemPresentParameters(HWND hWnd);

extern IDirect3DDevice8* g_pd3dDevice;
extern D3DXMATRIX g_matWorld;
extern D3DXMATRIX g_matView;
extern D3DXMATRIX g_matProj;
extern D3DXVECTOR3 g_vEyePt;
extern D3DXVECTOR3 g_vLookatPt;
