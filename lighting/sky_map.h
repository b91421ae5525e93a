// Time of day: the clock, the light direction and the two colour tables.
#pragma once

#include "texture_io/d3dx8math.h"

extern unsigned char* g_pDiffuseMap;
extern unsigned char* g_pAmbientMap;
extern float g_TimeOfDay;
extern int g_SkyCountdown;
extern D3DXVECTOR3 g_LightDir;

void LoadSkyMap(const char* diffuseFile, const char* ambientFile);
void UpdateSkyMap(float* diffuse, float* ambient);
