#include "app/app_globals.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hWnd = nullptr;
DIWrapper* g_pInput = nullptr;
Terrain* g_pTerrain = nullptr;
