// Time of day: a clock that steps 0.1 hour each time 50 ms of frame time have
// passed, the light direction that turns with it and the light colours looked
// up per degree of the day in two colour tables.
#include "lighting/sky_map.h"

#include <cmath>
#include <cstring>
#include <fstream>

#include "app/frame_timer.h"
#include "log/log_file.h"

namespace {

// One table: three planes (red, green, blue) of one byte per degree.
constexpr int kDegrees = 360;
constexpr int kTableSize = 3 * kDegrees;
constexpr int kCountdownMs = 50;
constexpr float kHourStep = 0.1f;
constexpr float kHoursPerDay = 24.0f;
constexpr float kRadiansPerHour = 0.2617994f;  // 15 degrees
constexpr int kDegreeAtMidnight = 310;

// Reads up to one table's worth of bytes; whatever the file does not hold
// stays zero.
void ReadTable(std::ifstream& file, unsigned char* table) {
  std::memset(table, 0, kTableSize);
  file.read(reinterpret_cast<char*>(table), kTableSize);
}

// The countdown after a frame, truncated toward zero. The frame time comes
// from outside, so a value that would not fit an int (or is not a number) is
// kept from turning into an undefined conversion.
int CountDown(int countdown, float frameTime) {
  float left = static_cast<float>(countdown) - frameTime;
  if (std::isnan(left)) return countdown;
  constexpr float kLimit = 2147483520.0f;  // the largest float below 2^31
  if (left <= -kLimit) return -static_cast<int>(kLimit);
  if (left >= kLimit) return static_cast<int>(kLimit);
  return static_cast<int>(left);  // truncates toward zero
}

// The table entry for the current hour: hour 0 is degree 310, 15 degrees an hour.
int DegreeOfHour(float hour) {
  double degree = std::trunc(static_cast<double>(hour) * 360.0 / 24.0);
  if (!std::isfinite(degree) || degree < 0.0 || degree >= kDegrees) degree = 0.0;
  int d = static_cast<int>(degree) + kDegreeAtMidnight;
  if (d > kDegrees - 1) d -= kDegrees;
  return d;
}

}  // namespace

unsigned char* g_pDiffuseMap = nullptr;
unsigned char* g_pAmbientMap = nullptr;
float g_TimeOfDay = 0.0f;
int g_SkyCountdown = kCountdownMs;
D3DXVECTOR3 g_LightDir(0.0f, 0.0f, -1.0f);

void LoadSkyMap(const char* diffuseFile, const char* ambientFile) {
  std::ifstream diffuse;
  std::ifstream ambient;
  if (diffuseFile) diffuse.open(diffuseFile, std::ios::in | std::ios::binary);
  if (ambientFile) ambient.open(ambientFile, std::ios::in | std::ios::binary);
  if (!diffuse.is_open() || !ambient.is_open()) {
    if (g_pLog) g_pLog->Report(LOG_ERROR, "Could not read SkyMap file", "Load SkyMap");
    return;
  }

  // The tables live for the whole run; a second load reuses them.
  if (!g_pDiffuseMap) g_pDiffuseMap = new unsigned char[kTableSize];
  if (!g_pAmbientMap) g_pAmbientMap = new unsigned char[kTableSize];
  ReadTable(diffuse, g_pDiffuseMap);
  ReadTable(ambient, g_pAmbientMap);

  if (g_pLog) g_pLog->Report(LOG_INFO, "Skymaps loaded", "");
}

void UpdateSkyMap(float* diffuse, float* ambient) {
  g_SkyCountdown = CountDown(g_SkyCountdown, g_fFrameTime);
  if (g_SkyCountdown >= 0) return;

  g_SkyCountdown = kCountdownMs;
  // 0.1 is not exact in float: after 239 steps the clock reads 23.9 and the
  // 240th step lands just above 24, so a day is 240 steps and ends at 0.0.
  g_TimeOfDay = g_TimeOfDay + kHourStep;
  if (g_TimeOfDay > kHoursPerDay) g_TimeOfDay = 0.0f;

  // The light turns about the x axis: straight up at hour 6, down at hour 18.
  float angle = g_TimeOfDay * kRadiansPerHour;
  g_LightDir.y = std::sin(angle);
  g_LightDir.z = std::cos(angle);
  D3DXVec3Normalize(&g_LightDir, &g_LightDir);

  // Without tables (their files were missing) the colours stay as they are.
  int d = DegreeOfHour(g_TimeOfDay);
  for (int c = 0; c < 3; ++c) {
    if (g_pDiffuseMap && diffuse) diffuse[c] = static_cast<float>(g_pDiffuseMap[c * kDegrees + d] / 255.0);
    if (g_pAmbientMap && ambient) ambient[c] = static_cast<float>(g_pAmbientMap[c * kDegrees + d] / 255.0);
  }
}
