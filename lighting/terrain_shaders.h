// The terrain's vertex and pixel shader programs, their constants and handles.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "texture_io/d3dx8math.h"

extern DWORD g_hVertexShader;
extern DWORD g_hPixelShader;
extern float g_Ambient[4];
extern float g_AmbientInverse[4];
extern float g_Diffuse[4];
extern float g_VSConst0[4];
extern DWORD g_TerrainDecl[14];

// The two program texts, byte for byte; the sizes do not count the
// terminating zero but do count the newline after each text's last line.
constexpr unsigned int TERRAIN_VS_TEXT_SIZE = 1103;
constexpr unsigned int TERRAIN_PS_TEXT_SIZE = 294;
extern const char g_TerrainVertexShaderText[];
extern const char g_TerrainPixelShaderText[];

bool InitVS();
void InitPS();
void ApplyPS(IDirect3DTexture8* texture0, IDirect3DTexture8* texture1, IDirect3DTexture8* texture2,
             IDirect3DTexture8* texture3);
bool ApplyVS();
void ReleaseVS();
void ReleasePS();
void SetMatrixConstant(IDirect3DDevice8* device, unsigned int firstRegister, const D3DXMATRIX& matrix);
