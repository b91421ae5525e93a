// Token-stream builders shared by the graphics layer's tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace qv::test {

enum : std::uint32_t {
  kTemp = 0,
  kInput = 1,
  kConst = 2,
  kAddr = 3,
  kTex = 3,
  kRast = 4,
  kAttr = 5,
  kTexOut = 6
};
constexpr std::uint32_t kXYZW = 0xE4, kXXXX = 0x00, kYYYY = 0x55, kZZZZ = 0xAA, kWWWW = 0xFF;
inline DWORD Dst(std::uint32_t type, std::uint32_t num, std::uint32_t mask = 0xF, std::uint32_t mods = 0) {
  return 0x80000000u | (type << 28) | (mask << 16) | num | mods;
}
inline DWORD Src(std::uint32_t type, std::uint32_t num, std::uint32_t swz = kXYZW, std::uint32_t mod = 0) {
  return 0x80000000u | (type << 28) | (swz << 16) | (mod << 24) | num;
}
constexpr DWORD kSat = 0x00100000u;
constexpr DWORD kCoissue = 0x40000000u;
inline DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}

// vs.1.1 stream: "mov oPos, v0", then the body, then the end token.
inline std::vector<DWORD> VertexProgram(const std::vector<DWORD>& body, DWORD version = 0xFFFE0101u) {
  std::vector<DWORD> t = {version, 0x00000001u, Dst(kRast, 0), Src(kInput, 0)};
  t.insert(t.end(), body.begin(), body.end());
  t.push_back(0x0000FFFFu);
  return t;
}
inline std::vector<DWORD> PixelProgram(const std::vector<DWORD>& body, DWORD version = 0xFFFF0101u) {
  std::vector<DWORD> t = {version};
  t.insert(t.end(), body.begin(), body.end());
  t.push_back(0x0000FFFFu);
  return t;
}

}  // namespace qv::test
