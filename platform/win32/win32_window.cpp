// user32, gdi32 and winmm on the host's SDL2: window classes, the window, the
// message queue, the default window procedure and the millisecond clock. The
// host reaches the windows only through the hooks this file sets.
//
// The queue keeps Windows' order where the system relies on it: posted
// messages first, then WM_QUIT once PostQuitMessage was called, then input
// derived from SDL events. So a quit request is handed out only after the
// messages posted before it, and constant input can never hold it back.
#include <SDL.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_queue.h"

namespace qv::win32 {

struct Window {
  std::string className;
  WNDPROC proc = nullptr;
  SDL_Window* sdl = nullptr;
  bool destroyed = false;
};

namespace {

struct WindowClass {
  std::string name;
  WNDCLASSEXA wc;
};

struct State {
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<Window>> windows;
};

State& S() {
  static State state;
  return state;
}

bool LiveWindow(HWND hWnd) {
  for (auto& w : S().windows)
    if (toHwnd(w.get()) == hWnd && !w->destroyed) return true;
  return false;
}

MSG MakeMsg(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hWnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = timeGetTime();
  return m;
}

// Virtual-key code for an SDL key, for the key messages (DirectInput has its own table).
WPARAM VirtualKey(SDL_Keycode key) {
  if (key >= 'a' && key <= 'z') return static_cast<WPARAM>(key - 'a' + 'A');
  if (key >= '0' && key <= '9') return static_cast<WPARAM>(key);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<WPARAM>(key - SDLK_F1);
  switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    default: return static_cast<WPARAM>(key & 0xFF);
  }
}

Window* FirstWindow() {
  for (auto& w : S().windows)
    if (!w->destroyed) return w.get();
  return nullptr;
}

SDL_Window* FirstSdlWindow() {
  Window* w = FirstWindow();
  return w ? w->sdl : nullptr;
}

HWND FirstHwnd() { return toHwnd(FirstWindow()); }

// Appends a message to the input queue of the first window.
void QueueInput(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND hWnd = FirstHwnd();
  if (!hWnd) return;
  // Mouse motion is coalesced, as Windows does, so it cannot flood the queue.
  if (message == WM_MOUSEMOVE) {
    for (MSG& m : Queue().input) {
      if (m.message == WM_MOUSEMOVE) {
        m.lParam = lParam;
        return;
      }
    }
  }
  // A held key's auto-repeats are merged, as Windows does, into the key-down
  // still waiting for that key: its repeat count (bits 0-15) grows instead
  // of the queue, so a slow loop never finds a close request behind a
  // backlog of repeats.
  constexpr LPARAM kRepeatBit = static_cast<LPARAM>(1) << 30;
  constexpr LPARAM kCountMask = 0xFFFF;
  if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && (lParam & kRepeatBit)) {
    // The newest message about this key decides: a key-up after the pending
    // key-down ends that press, and the repeat then queues as usual.
    for (auto it = Queue().input.rbegin(); it != Queue().input.rend(); ++it) {
      MSG& m = *it;
      if (m.wParam != wParam || (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN &&
                                 m.message != WM_KEYUP && m.message != WM_SYSKEYUP))
        continue;
      if (m.message != message) break;
      const LPARAM count = std::min<LPARAM>((m.lParam & kCountMask) + (lParam & kCountMask), kCountMask);
      m.lParam = (m.lParam & ~kCountMask) | count;
      return;
    }
  }
  Queue().input.push_back(MakeMsg(hWnd, message, wParam, lParam));
}

// Turns an SDL event into a window message (close requests, keys) on the input queue.
void TranslateSdlEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT: QueueInput(WM_CLOSE, 0, 0); break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) QueueInput(WM_CLOSE, 0, 0);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const bool alt = (e.key.keysym.mod & KMOD_ALT) != 0 || e.key.keysym.sym == SDLK_LALT ||
                       e.key.keysym.sym == SDLK_RALT;
      const bool down = e.type == SDL_KEYDOWN;
      const UINT msg = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
      LPARAM lParam = 1 | (static_cast<LPARAM>(e.key.keysym.scancode & 0xFF) << 16);
      if (alt) lParam |= (static_cast<LPARAM>(1) << 29);
      if (!down) lParam |= (static_cast<LPARAM>(3) << 30);
      if (down && e.key.repeat) lParam |= (static_cast<LPARAM>(1) << 30);  // was down already
      QueueInput(msg, VirtualKey(e.key.keysym.sym), lParam);
      break;
    }
    default: break;
  }
}

// Forgets every class, window and queued message (the host's Reset).
void ResetWindowState() {
  for (auto& w : S().windows)
    if (w->sdl) SDL_DestroyWindow(w->sdl);
  S() = State{};
  Queue() = MessageQueue{};
}

// Set when this file is linked in, before main runs.
[[maybe_unused]] const bool s_hooksSet =
    (qv::host::SetWindowHooks({FirstSdlWindow, TranslateSdlEvent, ResetWindowState}), true);

}  // namespace
}  // namespace qv::win32

using namespace qv::win32;

namespace {

// SIGINT and SIGTERM ask the program to close, as a close request from the
// window manager does: the next message pump turns them into WM_CLOSE, so
// the run ends through its normal clean-up and closes its log. The handlers
// are set with the first window class, before anything slow or blocking runs,
// and without SA_RESTART: a read blocked on a pipe fails instead of waiting.
volatile std::sig_atomic_t s_closeSignal = 0;

void OnCloseSignal(int) { s_closeSignal = 1; }

void CatchCloseSignals() {
  static bool s_installed = false;
  if (s_installed) return;
  s_installed = true;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction action {};
  action.sa_handler = OnCloseSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  CatchCloseSignals();
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (const auto& c : S().classes)
    if (c.name == wc->lpszClassName) {
      SetLastError(1410);  // class already exists
      return 0;
    }
  S().classes.push_back({wc->lpszClassName, *wc});
  return static_cast<ATOM>(0xC000 + S().classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE hInstance) {
  if (!className) return FALSE;
  auto& classes = S().classes;
  for (auto it = classes.begin(); it != classes.end(); ++it) {
    if (it->name != className) continue;
    for (auto& w : S().windows)
      if (!w->destroyed && w->className == className) {
        SetLastError(1412);  // class still has windows
        return FALSE;
      }
    classes.erase(it);
    return TRUE;
  }
  SetLastError(1411);  // class does not exist
  return FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE hInstance, LPVOID param) {
  const WindowClass* cls = nullptr;
  for (const auto& c : S().classes)
    if (className && c.name == className) cls = &c;
  if (!cls || width <= 0 || height <= 0) {
    SetLastError(cls ? ERROR_INVALID_PARAMETER : 1407);  // 1407: class not found
    return nullptr;
  }
  if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    SDL_Log("SDL video could not start: %s", SDL_GetError());
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const qv::host::Config& config = qv::host::GetConfig();
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if (!config.scripted && config.window_width > 0 && config.window_height > 0) {
    // The host's choice (quorvel --window): a normal window of its size,
    // framed and resizable, whatever the system asks for.
    flags |= SDL_WINDOW_RESIZABLE;
    width = config.window_width;
    height = config.window_height;
  } else if (style & WS_POPUP) {
    flags |= SDL_WINDOW_BORDERLESS;
  }
  SDL_Window* sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, width, height, flags);
  if (!sdl) {
    SDL_Log("SDL window could not be created: %s", SDL_GetError());
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto w = std::make_unique<Window>();
  w->className = cls->name;
  w->proc = cls->wc.lpfnWndProc;
  w->sdl = sdl;
  Window* raw = w.get();
  S().windows.push_back(std::move(w));
  HWND hWnd = toHwnd(raw);
  raw->proc(hWnd, WM_CREATE, 0, 0);
  if ((style & WS_VISIBLE) && config.visible_window) SDL_ShowWindow(sdl);
  return hWnd;
}

BOOL DestroyWindow(HWND hWnd) {
  if (!LiveWindow(hWnd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Window* w = fromHwnd(hWnd);
  w->proc(hWnd, WM_DESTROY, 0, 0);
  w->destroyed = true;
  // The SDL window stays alive (hidden) until the process ends: the graphics
  // layer may still present a last frame into it after the destroy message.
  if (w->sdl) SDL_HideWindow(w->sdl);
  return TRUE;
}

BOOL IsWindow(HWND hWnd) { return LiveWindow(hWnd) ? TRUE : FALSE; }

BOOL ShowWindow(HWND hWnd, int cmdShow) {
  if (!LiveWindow(hWnd)) return FALSE;
  SDL_Window* sdl = fromHwnd(hWnd)->sdl;
  const bool wasVisible = (SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN) != 0;
  if (cmdShow == SW_HIDE)
    SDL_HideWindow(sdl);
  else if (qv::host::GetConfig().visible_window)
    SDL_ShowWindow(sdl);
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hWnd) { return LiveWindow(hWnd) ? TRUE : FALSE; }

BOOL PeekMessageA(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  // The frame limit closes the window as a user would.
  if (qv::host::BeginLoopIteration()) {
    if (HWND first = FirstHwnd())
      PostMessageA(first, WM_CLOSE, 0, 0);
    else
      PostQuitMessage(0);
  }
  qv::host::PumpEvents();
  if (s_closeSignal) {
    s_closeSignal = 0;
    QueueInput(WM_CLOSE, 0, 0);
  }
  MessageQueue& s = Queue();
  std::deque<MSG>* source = nullptr;
  if (!s.posted.empty()) {
    source = &s.posted;
  } else if (s.quitPosted) {
    *msg = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0);
    if (removeMsg & PM_REMOVE) s.quitPosted = false;
    return TRUE;
  } else if (!s.input.empty()) {
    source = &s.input;
  }
  if (!source) return FALSE;
  *msg = source->front();
  if (removeMsg & PM_REMOVE) source->pop_front();
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  // Character messages are not used by the system; key messages pass unchanged.
  return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd || !LiveWindow(msg->hwnd)) return 0;
  return fromHwnd(msg->hwnd)->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!LiveWindow(hWnd)) return 0;
  return fromHwnd(hWnd)->proc(hWnd, message, wParam, lParam);
}

BOOL PostMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hWnd && !LiveWindow(hWnd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Queue().posted.push_back(MakeMsg(hWnd, message, wParam, lParam));
  return TRUE;
}

LRESULT DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 asks the window to close, through the system menu command.
      if (wParam == VK_F4) SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
    default: return 0;
  }
}

HWND GetForegroundWindow() { return qv::host::WindowHasFocus() ? FirstHwnd() : nullptr; }

// Stock objects are never drawn with; any distinct non-null handle serves.
namespace {
char s_stockIcon, s_stockCursor, s_stockObjects[32];
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR name) {
  return name ? reinterpret_cast<HICON>(&s_stockIcon) : nullptr;
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR name) {
  return name ? reinterpret_cast<HCURSOR>(&s_stockCursor) : nullptr;
}

HGDIOBJ GetStockObject(int object) {
  if (object < 0 || object >= 32) return nullptr;
  return reinterpret_cast<HGDIOBJ>(&s_stockObjects[object]);
}

DWORD timeGetTime() { return qv::host::Milliseconds(); }
