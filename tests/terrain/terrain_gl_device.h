// The real Direct3D 8 device on the headless host (SDL's offscreen driver and
// Mesa): one hidden window and one device, made once per process and kept
// to its end, as the program keeps its own.
#pragma once

#include <SDL.h>

#include <cstdio>

#include "device/d3d_wrapper.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_host.h"

namespace terrain_test {

// Makes g_pd3dDevice if there is none yet; false when the host cannot.
inline bool MakeHeadlessDevice() {
  if (g_pd3dDevice) return true;
  qv::host::Config config;
  config.scripted = true;
  config.visible_window = false;
  qv::host::Configure(config);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Terrain test";
  RegisterClassExA(&wc);
  HWND hWnd = CreateWindowExA(0, "Terrain test", "Terrain test", 0, 0, 0, 1024, 768, nullptr, nullptr,
                              nullptr, nullptr);
  if (!hWnd) {
    std::fprintf(stderr, "headless device: no window\n");
    return false;
  }
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (!d3d) {
    std::fprintf(stderr, "headless device: no Direct3D object\n");
    return false;
  }
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 1024;
  pp.BackBufferHeight = 768;
  pp.BackBufferFormat = D3DFMT_R5G6B5;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = hWnd;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  const HRESULT hr =
      d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &g_pd3dDevice);
  if (hr != D3D_OK || !g_pd3dDevice) {
    std::fprintf(stderr, "headless device: CreateDevice failed (0x%08x): %s\n", static_cast<unsigned>(hr), SDL_GetError());
    return false;
  }
  return true;
}

}  // namespace terrain_test
