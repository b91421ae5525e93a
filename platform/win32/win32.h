// The part of the Win32 API (user32, gdi32, kernel32, winmm) that the system
// calls, implemented on SDL2 and POSIX by this folder.
#pragma once

#include "platform/win32/win32_types.h"

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// --- user32 / gdi32 -------------------------------------------------------
ATOM RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE hInstance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE hInstance, LPVOID param);
BOOL DestroyWindow(HWND hWnd);
BOOL ShowWindow(HWND hWnd, int cmdShow);
BOOL UpdateWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);
BOOL PeekMessageA(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT SendMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
HWND GetForegroundWindow();
HICON LoadIconA(HINSTANCE hInstance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR name);
HGDIOBJ GetStockObject(int object);

// --- kernel32 ---------------------------------------------------------------
void OutputDebugStringA(LPCSTR text);
DWORD GetLastError();
void SetLastError(DWORD error);
HMODULE GetModuleHandleA(LPCSTR moduleName);
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
using FARPROC = void (*)();
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem);

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, void* security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
HANDLE CreateFileMappingA(HANDLE file, void* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID base);
BOOL CloseHandle(HANDLE handle);

// --- winmm ------------------------------------------------------------------
DWORD timeGetTime();

// --- built-in modules ---------------------------------------------------------
// LoadLibraryA and GetProcAddress look modules up in this table; a platform
// library registers its exports (the graphics layer registers "d3d8.dll").
struct Win32Export {
  const char* name;
  FARPROC proc;
};
void Win32RegisterModule(const char* moduleName, const Win32Export* exports, int count);
