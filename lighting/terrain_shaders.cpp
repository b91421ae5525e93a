// The terrain's shaders: assembled and created at start-up, their constants
// loaded and both selected every frame before the patches are drawn, deleted
// at clean-up.
#include "lighting/terrain_shaders.h"

#include <cstring>

#include "device/d3d_wrapper.h"
#include "lighting/sky_map.h"
#include "log/log_file.h"
#include "shader_asm/d3dx8_asm.h"
#include "view/camera.h"

namespace {

constexpr DWORD kNoShader = 0xFFFFFFFFu;

// Frees an assembler output buffer, if there is one.
void ReleaseBuffer(ID3DXBuffer*& buffer) {
  if (buffer) buffer->Release();
  buffer = nullptr;
}

void Log(int level, const char* message, const char* tag) {
  if (g_pLog) g_pLog->Report(level, message, tag);
}

}  // namespace

DWORD g_hVertexShader = kNoShader;
DWORD g_hPixelShader = kNoShader;

float g_Ambient[4] = {0.42f, 0.40f, 0.50f, 1.0f};
// Computed from g_Ambient's initial value while the program starts; ApplyPS
// recomputes it every frame from the colour the time of day gives.
float g_AmbientInverse[4] = {1.0f - g_Ambient[0], 1.0f - g_Ambient[1], 1.0f - g_Ambient[2], 1.0f};
float g_Diffuse[4] = {0.9f, 0.9f, 0.8f, 1.0f};
float g_VSConst0[4] = {0.0f, 0.63f, 1.0f, 0.3f};

// Stream 0 holds the 68-byte terrain vertex: position, normal, tangent and
// four texture coordinate pairs. c0 comes with the declaration; its four
// floats are g_VSConst0's bit patterns.
DWORD g_TerrainDecl[14] = {
    D3DVSD_STREAM(0),
    D3DVSD_REG(0, D3DVSDT_FLOAT3),   // position
    D3DVSD_REG(3, D3DVSDT_FLOAT3),   // normal
    D3DVSD_REG(11, D3DVSDT_FLOAT3),  // tangent
    D3DVSD_REG(7, D3DVSDT_FLOAT2),   // texture coordinates 0
    D3DVSD_REG(8, D3DVSDT_FLOAT2),   // texture coordinates 1
    D3DVSD_REG(9, D3DVSDT_FLOAT2),   // texture coordinates 2
    D3DVSD_REG(10, D3DVSDT_FLOAT2),  // texture coordinates 3
    D3DVSD_CONST(0, 1),
    0x00000000u,  // 0.0: the height at which the fog distance is measured
    0x3F2147AEu,  // 0.63
    0x3F800000u,  // 1.0: fog distance scale
    0x3E99999Au,  // 0.3
    D3DVSD_END(),
};

bool InitVS() {
  ID3DXBuffer* code = nullptr;
  HRESULT hr =
      D3DXAssembleShader(g_TerrainVertexShaderText, TERRAIN_VS_TEXT_SIZE, 0, nullptr, &code, nullptr);
  if (FAILED(hr) || !code) {
    ReleaseBuffer(code);
    Log(LOG_INFO, "Failed to Assemble Vertex Shader", "InitVS");
    return false;
  }

  // The handle is written only when the device made a shader, so a refused
  // creation leaves it at none.
  DWORD handle = kNoShader;
  hr = D3DERR_INVALIDCALL;
  if (g_pd3dDevice) {
    hr = g_pd3dDevice->CreateVertexShader(g_TerrainDecl, static_cast<const DWORD*>(code->GetBufferPointer()),
                                          &handle, 0);
  }
  ReleaseBuffer(code);
  if (FAILED(hr)) {
    Log(LOG_INFO, "Failed to Create Vertex Shader", "InitVS");
    return false;
  }
  g_hVertexShader = handle;
  return true;
}

void InitPS() {
  // The newline after the text's last line is not passed.
  ID3DXBuffer* code = nullptr;
  HRESULT hr =
      D3DXAssembleShader(g_TerrainPixelShaderText, TERRAIN_PS_TEXT_SIZE - 1, 0, nullptr, &code, nullptr);
  // Nothing is created from an absent token stream; the handle stays none.
  if (FAILED(hr) || !code || !g_pd3dDevice) {
    ReleaseBuffer(code);
    return;
  }
  DWORD handle = kNoShader;
  hr = g_pd3dDevice->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &handle);
  ReleaseBuffer(code);
  if (SUCCEEDED(hr)) g_hPixelShader = handle;
}

void ApplyPS(IDirect3DTexture8* texture0, IDirect3DTexture8* texture1, IDirect3DTexture8* texture2,
             IDirect3DTexture8* texture3) {
  UpdateSkyMap(g_Diffuse, g_Ambient);
  g_AmbientInverse[0] = 1.0f - g_Ambient[0];
  g_AmbientInverse[1] = 1.0f - g_Ambient[1];
  g_AmbientInverse[2] = 1.0f - g_Ambient[2];

  if (!g_pd3dDevice) return;
  // With no pixel shader created the device refuses the selection; the
  // frame goes on regardless.
  g_pd3dDevice->SetPixelShader(g_hPixelShader);
  g_pd3dDevice->SetPixelShaderConstant(0, g_Ambient, 1);
  g_pd3dDevice->SetPixelShaderConstant(1, g_AmbientInverse, 1);
  g_pd3dDevice->SetPixelShaderConstant(2, g_Diffuse, 1);
  g_pd3dDevice->SetTexture(0, texture0);
  g_pd3dDevice->SetTexture(1, texture1);
  g_pd3dDevice->SetTexture(2, texture2);
  g_pd3dDevice->SetTexture(3, texture3);
}

bool ApplyVS() {
  if (!g_pd3dDevice) return true;

  D3DXMATRIX worldViewProj;
  D3DXMatrixMultiply(&worldViewProj, &g_matWorld, &g_matView);
  D3DXMatrixMultiply(&worldViewProj, &worldViewProj, &g_matProj);
  SetMatrixConstant(g_pd3dDevice, 4, worldViewProj);

  // A register holds four floats; the program reads only the direction's
  // three, the fourth is loaded as 0.
  const float light[4] = {g_LightDir.x, g_LightDir.y, g_LightDir.z, 0.0f};
  g_pd3dDevice->SetVertexShaderConstant(12, light, 1);

  const float half[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  g_pd3dDevice->SetVertexShaderConstant(20, half, 1);

  float camera[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  g_Camera.GetPosition(&camera[0], &camera[1], &camera[2]);
  g_pd3dDevice->SetVertexShaderConstant(10, camera, 1);

  g_pd3dDevice->SetVertexShader(g_hVertexShader);
  return true;
}

void SetMatrixConstant(IDirect3DDevice8* device, unsigned int firstRegister, const D3DXMATRIX& matrix) {
  if (!device) return;
  // Register first + i receives column i, so dp4 of a row vector against the
  // four registers multiplies it by the matrix.
  D3DXMATRIX transposed;
  D3DXMatrixTranspose(&transposed, &matrix);
  device->SetVertexShaderConstant(firstRegister, &transposed, 4);
}

void ReleaseVS() {
  if (g_hVertexShader == kNoShader) return;
  if (g_pd3dDevice) g_pd3dDevice->DeleteVertexShader(g_hVertexShader);
  g_hVertexShader = kNoShader;
}

void ReleasePS() {
  if (g_pd3dDevice) g_pd3dDevice->SetPixelShader(0);
  if (g_hPixelShader == kNoShader) return;
  if (g_pd3dDevice) g_pd3dDevice->DeletePixelShader(g_hPixelShader);
  g_hPixelShader = kNoShader;
}
