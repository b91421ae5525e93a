// The application shell: process entry, window, message loop and game stages.
#pragma once

#include "platform/win32/win32.h"

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
LRESULT WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
bool RegisterWindowClass(HINSTANCE hInstance);
HWND MakeWindow(HINSTANCE hInstance);
bool UnregisterWindowClass(HINSTANCE hInstance);

bool GameInitialize();
bool Loop();
bool PreFrame();
bool InFrame();
bool PostFrame();
bool GameCleanup();

// The start-up parameters read from "Readme.txt": three numbers and four
// texture names. Each word is bounded to 255 characters; a longer word keeps
// its first 255 and the rest is skipped.
struct StartupParameters {
  int patchSize = 0;
  int levels = 0;
  int vertexLimit = 0;
  char textures[4][256] = {};
};
// Reads the 14 words; false when the file is missing, ends early, a number
// word does not parse as a 32-bit integer, or the stream fails on close.
bool ReadStartupParameters(const char* fileName, StartupParameters* out);
