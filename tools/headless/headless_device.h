// The Direct3D 8 device on the scripted host (SDL's offscreen driver), made
// the way the viewer makes it: a 1024 x 768 hidden window and the viewer's
// present parameters. Used by the tools that need a device but no viewer and
// by the tests that draw.
#pragma once

#include <string>

#include "platform/d3d8/d3d8.h"

namespace qv::headless {

struct Device {
  HWND hWnd = nullptr;
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* device = nullptr;
};

// The present parameters InitD3D uses (1024 x 768 R5G6B5, D16 depth, three
// back buffers, immediate presentation); hDeviceWindow is left empty.
D3DPRESENT_PARAMETERS SystemPresentParameters();

// Configures the scripted host with a hidden window, registers the window
// class `className` (an already registered one is fine) and makes the
// 1024 x 768 window. Null when the host cannot.
HWND MakeWindow(const char* className);

// MakeWindow, Direct3DCreate8 and CreateDevice with `pp` (the system's when
// null; its hDeviceWindow is set to the new window). On failure `out` holds
// nothing, the window and Direct3D object are released, and `error` (when
// given) says which step failed.
bool Create(Device& out, const char* className, const D3DPRESENT_PARAMETERS* pp = nullptr,
            std::string* error = nullptr);

// Releases the device and the Direct3D object, destroys the window and
// unregisters its class; returns the device's last reference count (0 when
// nothing else holds it). `dev` is empty afterwards.
ULONG Destroy(Device& dev, const char* className);

}  // namespace qv::headless
