// What the host asks the window system directly, where SDL's own answer is not
// the one the platform layers need: the window's real size and the keyboard of
// the whole display. On X11 both come from Xlib on SDL's own connection; other
// video drivers get SDL's answer.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>

#include "platform/host/host.h"

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/keysym.h>
#endif

namespace qv::host {
namespace {

#if defined(SDL_VIDEO_DRIVER_X11)
// The X connection and window behind an SDL window; false on other drivers.
bool X11Of(SDL_Window* window, Display*& display, ::Window& xwindow) {
  if (!window) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return display != nullptr && xwindow != 0;
}

// X servers built on the Linux input layer number their keys as its key
// codes plus 8; a server that does not (checked on two keys) gets no global
// key state, since its numbering is unknown.
bool EvdevKeycodes(Display* display) {
  return XKeysymToKeycode(display, XK_Escape) == 1 + 8 && XKeysymToKeycode(display, XK_Up) == 103 + 8;
}
#endif

}  // namespace

void WindowPixelSize(SDL_Window* window, int& width, int& height) {
  width = height = 0;
  if (!window) return;
#if defined(SDL_VIDEO_DRIVER_X11)
  // Without a window manager a full-screen request can go unanswered while
  // SDL already reports the desktop size; the X server knows the truth.
  Display* display = nullptr;
  ::Window xwindow = 0;
  XWindowAttributes attributes;
  if (X11Of(window, display, xwindow) && XGetWindowAttributes(display, xwindow, &attributes)) {
    width = attributes.width;
    height = attributes.height;
    return;
  }
#endif
  SDL_GL_GetDrawableSize(window, &width, &height);
}

bool GlobalKeyState(std::uint8_t keys[32]) {
  std::memset(keys, 0, 32);
#if defined(SDL_VIDEO_DRIVER_X11)
  Display* display = nullptr;
  ::Window xwindow = 0;
  if (!X11Of(Window(), display, xwindow) || !EvdevKeycodes(display)) return false;
  char keymap[32];
  XQueryKeymap(display, keymap);
  // X key code k is Linux key code k - 8.
  for (int k = 8; k < 256; ++k)
    if (keymap[k / 8] & (1 << (k % 8))) keys[(k - 8) / 8] |= static_cast<std::uint8_t>(1u << ((k - 8) % 8));
  return true;
#else
  return false;
#endif
}

}  // namespace qv::host
