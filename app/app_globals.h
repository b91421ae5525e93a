// Globals of the application shell that other subsystems reach.
#pragma once

#include "platform/win32/win32.h"

class DIWrapper;
class Terrain;

extern HINSTANCE g_hInstance;
extern HWND g_hWnd;
extern DIWrapper* g_pInput;
extern Terrain* g_pTerrain;
