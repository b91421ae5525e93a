// D3DWrapper2::InitD3D: creates the one device, reports its shader caps,
// builds the world, view and projection matrices and sets the render state
// that holds for the whole run.
#include "device/d3d_wrapper.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_globals.h"
#include "input/di_wrapper.h"
#include "log/log_file.h"

IDirect3DDevice8* g_pd3dDevice = nullptr;
D3DXMATRIX g_matWorld;
D3DXMATRIX g_matView;
D3DXMATRIX g_matProj;
D3DXVECTOR3 g_vEyePt;
D3DXVECTOR3 g_vLookatPt;

namespace {

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

// Left-handed perspective with the same field of view both ways (no aspect
// correction); the tangent is taken in double precision.
void BuildProjection(D3DXMATRIX& m) {
  const float fov = 0.7853982f;
  const float zn = 1.0f, zf = 8000.0f;
  const float h = static_cast<float>(1.0 / std::tan(static_cast<double>(fov) * 0.5));
  const float q = zf / (zf - zn);
  std::memset(&m, 0, sizeof m);
  m(0, 0) = h;
  m(1, 1) = h;
  m(2, 2) = q;
  m(2, 3) = 1.0f;
  m(3, 2) = -q * zn;
}

}  // namespace

D3DPRESENT_PARAMETERS SystemPresentParameters(HWND hWnd) {
  // The display mode is fixed, not queried from the adapter.
  D3DDISPLAYMODE mode;
  mode.Width = 1024;
  mode.Height = 768;
  mode.RefreshRate = 0;
  mode.Format = D3DFMT_R5G6B5;

  D3DPRESENT_PARAMETERS pp;
  pp.BackBufferWidth = mode.Width;
  pp.BackBufferHeight = mode.Height;
  pp.BackBufferFormat = mode.Format;
  pp.BackBufferCount = 3;
  pp.MultiSampleType = D3DMULTISAMPLE_NONE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = hWnd;
  pp.Windowed = FALSE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  pp.Flags = 0;
  pp.FullScreen_RefreshRateInHz = 0;
  pp.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

  return pp;
}

// Nothing is set up here; the members start empty so that an object on
// which InitD3D never runs (the camera) holds no stray pointer.
D3DWrapper2::D3DWrapper2() : m_pD3D(nullptr), m_Material{} {}

void D3DWrapper2::InitD3D(HWND hWnd) {
  if (g_pInput) g_pInput->SetScreen(1024, 768);

  m_pD3D = Direct3DCreate8(D3D_SDK_VERSION);
  if (!m_pD3D) return;

  D3DPRESENT_PARAMETERS pp = SystemPresentParameters(hWnd);
  m_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                       &g_pd3dDevice);
  // Without a device nothing below can run; later stages see the null device
  // and draw nothing.
  if (!g_pd3dDevice) {
    if (g_pLog) g_pLog->Report(LOG_ERROR, "Could not create the Direct3D device", "InitD3D");
    return;
  }

  D3DCAPS8 caps;
  std::memset(&caps, 0, sizeof caps);
  g_pd3dDevice->GetDeviceCaps(&caps);
  char text[512];
  std::snprintf(text, sizeof text,
                "MaxShaderValue: %f, MaxSimultaneousTextures: %d, \nMaxTextureBlendStages: %d, "
                "PixelShaderVersion: %d.%d",
                static_cast<double>(caps.MaxPixelShaderValue), static_cast<int>(caps.MaxSimultaneousTextures),
                static_cast<int>(caps.MaxTextureBlendStages),
                static_cast<int>((caps.PixelShaderVersion >> 8) & 0xFF),
                static_cast<int>(caps.PixelShaderVersion & 0xFF));
  if (g_pLog) g_pLog->Report(LOG_INFO, text, "Pixel Shader Capabilities");
  std::snprintf(text, sizeof text,
                "MaxPrimitives: %d, MaxVertexIndex: %d, MaxStreams: %d,\n MaxVshaderConst: %d, "
                "VertexShaderVersion: %d.%d",
                static_cast<int>(caps.MaxPrimitiveCount), static_cast<int>(caps.MaxVertexIndex),
                static_cast<int>(caps.MaxStreams), static_cast<int>(caps.MaxVertexShaderConst),
                static_cast<int>((caps.VertexShaderVersion >> 8) & 0xFF),
                static_cast<int>(caps.VertexShaderVersion & 0xFF));
  if (g_pLog) g_pLog->Report(LOG_INFO, text, "VertexShader Capabilities");

  BuildProjection(g_matProj);
  D3DXMatrixTranslation(&g_matWorld, 0.0f, 0.0f, 0.0f);
  g_vEyePt = D3DXVECTOR3(0.0f, 0.0f, -200.0f);
  g_vLookatPt = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  D3DXMatrixLookAtLH(&g_matView, &g_vEyePt, &g_vLookatPt, &up);

  g_pd3dDevice->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX3);
  g_pd3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  g_pd3dDevice->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);

  m_Material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  m_Material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
  m_Material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
  m_Material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
  m_Material.Power = 0.3f;
  g_pd3dDevice->SetMaterial(&m_Material);

  g_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  g_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  g_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
  g_pd3dDevice->SetRenderState(D3DRS_DITHERENABLE, TRUE);
  g_pd3dDevice->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  g_pd3dDevice->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  g_pd3dDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  g_pd3dDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF8282B4u);
  g_pd3dDevice->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  g_pd3dDevice->SetRenderState(D3DRS_FOGSTART, FloatBits(1500.0f));
  g_pd3dDevice->SetRenderState(D3DRS_FOGEND, FloatBits(8000.0f));
  g_pd3dDevice->SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
  g_pd3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
}
