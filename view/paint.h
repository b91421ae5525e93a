// Terrain painting and the small random generator behind the brush.
#pragma once

#include "terrain/terrain.h"

extern float g_BrushStrength;
extern int g_BrushSize;
extern float g_BrushU;
extern float g_BrushV;

void SeedRandom();
void SeedRandomWith(unsigned int seed);  // seeds from a given value instead of the clock (tests)
int Random();
int RandomRange(int lo, int hi);
void SetPaintBrush(float strength, int size);
TerrainPatch* FindPatch(int x, int z);
void PaintTerrain(int x, int z);
