// What the host asks the window system directly, where SDL's own answer is not
// the one the platform layers need: the window's real size, the keyboard of
// the whole display, and a full-screen window where no window manager makes
// one. On X11 these come from Xlib (the keyboard through the X Input
// extension); other video drivers get SDL's answer.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/host/host.h"

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
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

// The display's keyboard, on a connection of its own so that SDL's event
// handling never sees (or drops) its events. Raw key presses of the X Input
// extension, selected on the root window, arrive whatever window has the
// focus and however short the press; XQueryKeymap gives the keys held now.
struct DisplayKeyboard {
  std::string name;  // the display it was opened for
  std::unique_ptr<Display, int (*)(Display*)> display{nullptr, XCloseDisplay};
  int xiOpcode = -1;  // the extension's request code; -1: no raw events, held keys only
  bool evdev = false;
};

// The keyboard connection for the server SDL's window is on, opened once.
DisplayKeyboard* KeyboardOf(Display* sdlDisplay) {
  static DisplayKeyboard s_keyboard;
  const char* name = DisplayString(sdlDisplay);
  if (s_keyboard.name == name) return s_keyboard.display ? &s_keyboard : nullptr;
  s_keyboard = DisplayKeyboard{};
  s_keyboard.name = name;
  s_keyboard.display.reset(XOpenDisplay(name));
  Display* display = s_keyboard.display.get();
  if (!display) return nullptr;
  s_keyboard.evdev = EvdevKeycodes(display);
  int event = 0, error = 0, major = 2, minor = 2;
  if (XQueryExtension(display, "XInputExtension", &s_keyboard.xiOpcode, &event, &error) &&
      XIQueryVersion(display, &major, &minor) == Success) {
    unsigned char bits[XIMaskLen(XI_RawKeyPress)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
  } else {
    s_keyboard.xiOpcode = -1;
  }
  return &s_keyboard;
}

// Sets the bit of an X key code's Linux key code (the X code less 8) in a key set.
void SetKey(std::uint8_t keys[32], int xKeycode) {
  const int code = xKeycode - 8;
  if (code >= 0 && code < 256) keys[code / 8] |= static_cast<std::uint8_t>(1u << (code % 8));
}

// Without a window manager nobody carries out a full-screen request: SDL
// marks the window full screen (and reports the desktop size) while the X
// server keeps it where it was made. Nobody redirecting the root window's
// configuration requests means there is no window manager; the window is
// then moved over the screen it is on by the X server itself.
void CoverScreen(SDL_Window* window) {
  Display* display = nullptr;
  ::Window xwindow = 0;
  XWindowAttributes root, now;
  if (!X11Of(window, display, xwindow) || !XGetWindowAttributes(display, DefaultRootWindow(display), &root) ||
      (root.all_event_masks & SubstructureRedirectMask) != 0)
    return;
  SDL_Rect bounds;
  const int index = SDL_GetWindowDisplayIndex(window);
  if (index < 0 || SDL_GetDisplayBounds(index, &bounds) != 0 || !XGetWindowAttributes(display, xwindow, &now))
    return;
  if (now.x == bounds.x && now.y == bounds.y && now.width == bounds.w && now.height == bounds.h) return;
  XMoveResizeWindow(display, xwindow, bounds.x, bounds.y, static_cast<unsigned>(bounds.w),
                    static_cast<unsigned>(bounds.h));
  XRaiseWindow(display, xwindow);
  XFlush(display);
}
#endif

}  // namespace

void WindowPixelSize(SDL_Window* window, int& width, int& height) {
  width = height = 0;
  if (!window) return;
#if defined(SDL_VIDEO_DRIVER_X11)
  // Until a full-screen request is carried out, SDL already reports the
  // desktop size; the X server knows the truth.
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

bool GlobalKeyState(std::uint8_t held[32], std::uint8_t pressed[32]) {
  std::memset(held, 0, 32);
  std::memset(pressed, 0, 32);
#if defined(SDL_VIDEO_DRIVER_X11)
  Display* sdlDisplay = nullptr;
  ::Window xwindow = 0;
  if (!X11Of(Window(), sdlDisplay, xwindow)) return false;
  DisplayKeyboard* keyboard = KeyboardOf(sdlDisplay);
  if (!keyboard || !keyboard->evdev) return false;
  Display* display = keyboard->display.get();
  // A round trip: every press the server made before it is queued after it.
  char keymap[32];
  XQueryKeymap(display, keymap);
  for (int k = 8; k < 256; ++k)
    if (keymap[k / 8] & (1 << (k % 8))) SetKey(held, k);
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    XGenericEventCookie& cookie = event.xcookie;
    if (cookie.type != GenericEvent || cookie.extension != keyboard->xiOpcode ||
        !XGetEventData(display, &cookie))
      continue;
    if (cookie.evtype == XI_RawKeyPress) SetKey(pressed, static_cast<const XIRawEvent*>(cookie.data)->detail);
    XFreeEventData(display, &cookie);
  }
  return true;
#else
  return false;
#endif
}

void PlaceWindow() {
  const Config& config = GetConfig();
  SDL_Window* window = Window();
  if (config.scripted || !window || (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) == 0) return;
  if (config.window_width > 0 && config.window_height > 0) {
    // The system asked for full screen; the host chose a window. SDL gives
    // it back the size it had before.
    SDL_SetWindowFullscreen(window, 0);
    return;
  }
#if defined(SDL_VIDEO_DRIVER_X11)
  CoverScreen(window);
#endif
}

}  // namespace qv::host
