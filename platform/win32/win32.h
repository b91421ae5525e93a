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

// Opens an existing file, pipe or device for reading (GENERIC_READ with
// OPEN_EXISTING only); a folder cannot be opened (ERROR_ACCESS_DENIED).
// Opening never waits for a pipe's other end.
HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, void* security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
// FILE_TYPE_DISK, _CHAR or _PIPE; FILE_TYPE_UNKNOWN with GetLastError()
// NO_ERROR for anything else, or with an error for a bad handle.
DWORD GetFileType(HANDLE file);
// The size of a file on a disk, now; pipes and devices have none
// (ERROR_INVALID_FUNCTION).
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
// Synchronous reads (overlapped must be null): up to `toRead` bytes from the
// file's position, fewer only at the end of a disk file, and TRUE with 0
// bytes at its end. A pipe or device read returns what it has, waiting for
// at least one byte.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
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
