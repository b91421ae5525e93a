// Links between the window layer and the host inside platform/win32.
#pragma once

#include "platform/win32/win32.h"

struct SDL_Window;
union SDL_Event;

namespace qv::win32 {
SDL_Window* SdlWindowOf(HWND hWnd);
SDL_Window* FirstSdlWindow();
HWND FirstHwnd();
// Turns an SDL event into a window message (close requests, keys) on the input queue.
void TranslateSdlEvent(const SDL_Event& e);
// Appends a message to the input queue of the first window.
void QueueInput(UINT message, WPARAM wParam, LPARAM lParam);
// Forgets every class, window and queued message (tests).
void ResetWindowState();
}  // namespace qv::win32

namespace qv::host {
// Called by PeekMessageA at the start of each message-loop iteration: the
// frame index advances, the virtual clock steps, frame times are recorded and
// the configured frame limit closes the window.
void BeginLoopIteration();
}  // namespace qv::host
