#include "tools/headless/headless_device.h"

#include <SDL.h>

#include <cstdio>

#include "device/d3d_wrapper.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"

namespace qv::headless {

D3DPRESENT_PARAMETERS SystemPresentParameters() { return ::SystemPresentParameters(nullptr); }

HWND MakeWindow(const char* className) {
  qv::host::Config config;
  config.scripted = true;
  config.visible_window = false;
  qv::host::Configure(config);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = className;
  RegisterClassExA(&wc);  // fails harmlessly when the class is there already
  return CreateWindowExA(0, className, className, WS_POPUP, 0, 0, 1024, 768, nullptr, nullptr, nullptr,
                         nullptr);
}

bool Create(Device& out, const char* className, const D3DPRESENT_PARAMETERS* pp, std::string* error) {
  out = Device{};
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " (" + SDL_GetError() + ")";
    Destroy(out, className);
    return false;
  };
  out.hWnd = MakeWindow(className);
  if (!out.hWnd) return fail("no window");
  out.d3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (!out.d3d) return fail("no Direct3D object");
  D3DPRESENT_PARAMETERS params = pp ? *pp : SystemPresentParameters();
  params.hDeviceWindow = out.hWnd;
  const HRESULT hr = out.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, out.hWnd,
                                           D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &out.device);
  if (FAILED(hr) || !out.device) {
    char text[48];
    std::snprintf(text, sizeof text, "CreateDevice failed (0x%08X)", static_cast<unsigned>(hr));
    return fail(text);
  }
  return true;
}

ULONG Destroy(Device& dev, const char* className) {
  const ULONG left = dev.device ? dev.device->Release() : 0;
  if (dev.d3d) dev.d3d->Release();
  if (dev.hWnd) DestroyWindow(dev.hWnd);
  UnregisterClassA(className, nullptr);
  dev = Device{};
  return left;
}

}  // namespace qv::headless
