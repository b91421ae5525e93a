// The real Direct3D 8 device on the headless host (SDL's offscreen driver and
// Mesa): one hidden window and one device, made once per process and kept
// to its end, as the program keeps its own.
#pragma once

#include <cstdio>
#include <string>

#include "device/d3d_wrapper.h"
#include "tools/headless/headless_device.h"

namespace qv::test {

// Makes g_pd3dDevice if there is none yet; false when the host cannot.
inline bool MakeHeadlessDevice() {
  if (g_pd3dDevice) return true;
  static qv::headless::Device s_device;
  std::string error;
  if (!qv::headless::Create(s_device, "Terrain test", nullptr, &error)) {
    std::fprintf(stderr, "headless device: %s\n", error.c_str());
    return false;
  }
  g_pd3dDevice = s_device.device;
  return true;
}

}  // namespace qv::test
