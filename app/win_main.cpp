#include "app/app.h"
#include "app/app_globals.h"
#include "log/log_file.h"

namespace {
constexpr const char* kClassName = "Quorvel class";
}

bool RegisterWindowClass(HINSTANCE hInstance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
  wc.lpfnWndProc = WndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kClassName;
  wc.hIconSm = nullptr;
  // Only the atom's low 16 bits are tested.
  return (RegisterClassExA(&wc) & 0xFFFF) != 0;
}

HWND MakeWindow(HINSTANCE hInstance) {
  HWND hWnd = CreateWindowExA(0, kClassName, "Quorvel", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr,
                              nullptr, hInstance, nullptr);
  if (!hWnd) return nullptr;
  ShowWindow(hWnd, SW_SHOWNORMAL);
  UpdateWindow(hWnd);
  return hWnd;
}

bool UnregisterWindowClass(HINSTANCE hInstance) {
  UnregisterClassA(kClassName, hInstance);
  return true;
}

LRESULT WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_KEYDOWN:
      // Keys are read through DirectInput; key messages stop here.
      return 0;
    default: return DefWindowProcA(hWnd, message, wParam, lParam);
  }
}

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
  g_pLog = new LogFile();
  g_pLog->Write("Winmain");
  g_hInstance = hInstance;
  if (!RegisterWindowClass(g_hInstance))
    g_pLog->Report(LOG_FATAL, "Error Window Class Registration", "Winmain");
  g_hWnd = MakeWindow(g_hInstance);
  if (!g_hWnd) g_pLog->Report(LOG_FATAL, "Error in Making Window", "Winmain");
  if (!GameInitialize()) g_pLog->Report(LOG_FATAL, "Error game initialization", "Winmain");

  MSG msg{};
  for (;;) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) break;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!Loop()) break;
  }

  if (!GameCleanup()) g_pLog->Report(LOG_ERROR, "Error in clean up stage", "Winmain");
  if (!UnregisterWindowClass(g_hInstance))
    g_pLog->Report(LOG_ERROR, "Error in Unregistering window class", "Winmain");
  g_pLog->Write("Winmain");
  delete g_pLog;
  g_pLog = nullptr;
  // A loop that ended without the quit message (a failed frame stage) is an
  // abnormal end; otherwise the exit code is the one the quit message carries.
  return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 1;
}
