#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/frame_timer.h"
#include "lighting/sky_map.h"
#include "testing/temp_log.h"

namespace {

using qv::test::TempLog;

void ResetSky() {
  delete[] g_pDiffuseMap;
  delete[] g_pAmbientMap;
  g_pDiffuseMap = g_pAmbientMap = nullptr;
  g_TimeOfDay = 0.0f;
  g_SkyCountdown = 50;
  g_LightDir = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
}

// Tables from which the degree can be read back from the colours: the
// diffuse table holds d's low byte in red, its high byte in green and the
// low byte's complement in blue; the ambient table holds d / 2, d % 2, 200.
void WriteDegreeTables(const TempLog& log) {
  std::string diffuse(1080, '\0'), ambient(1080, '\0');
  for (int d = 0; d < 360; ++d) {
    diffuse[d] = static_cast<char>(d & 0xFF);
    diffuse[360 + d] = static_cast<char>(d >> 8);
    diffuse[720 + d] = static_cast<char>(255 - (d & 0xFF));
    ambient[d] = static_cast<char>(d / 2);
    ambient[360 + d] = static_cast<char>(d % 2);
    ambient[720 + d] = static_cast<char>(200);
  }
  log.WriteFile("Diffuse.raw", diffuse + "trailing bytes are ignored");
  log.WriteFile("Ambient.raw", ambient);
}

int Byte(float component) { return static_cast<int>(std::lround(component * 255.0f)); }

int DiffuseDegree(const float* c) {
  EXPECT_EQ(Byte(c[2]), 255 - Byte(c[0]));
  return Byte(c[0]) + 256 * Byte(c[1]);
}
int AmbientDegree(const float* c) {
  EXPECT_EQ(Byte(c[2]), 200);
  return 2 * Byte(c[0]) + Byte(c[1]);
}

// Runs frames long enough that each one steps the clock.
void Steps(int n, float* diffuse, float* ambient) {
  g_fFrameTime = 60.0f;
  for (int i = 0; i < n; ++i) UpdateSkyMap(diffuse, ambient);
}

TEST(SkyMapTest, CountdownTruncatesTowardZeroAndStepsOnlyBelowZero) {
  struct Case {
    float frame;
    std::vector<int> countdowns;  // after each frame; the last frame steps the clock
  };
  // 50.5 ms leaves -0.5, which truncates to 0 and does not step yet.
  const Case cases[] = {{20.0f, {30, 10, 50}}, {12.4f, {37, 24, 11, 50}}, {50.5f, {0, 50}}};
  for (const Case& c : cases) {
    ResetSky();
    float diffuse[4] = {7, 7, 7, 7}, ambient[4] = {7, 7, 7, 7};
    g_fFrameTime = c.frame;
    for (size_t i = 0; i < c.countdowns.size(); ++i) {
      UpdateSkyMap(diffuse, ambient);
      EXPECT_EQ(g_SkyCountdown, c.countdowns[i]) << c.frame << " ms, frame " << i;
      bool stepped = i + 1 == c.countdowns.size();
      EXPECT_EQ(g_TimeOfDay, stepped ? 0.1f : 0.0f) << c.frame << " ms, frame " << i;
    }
  }

  // A frame time far outside the int range still steps once, and a
  // non-number leaves the countdown alone.
  ResetSky();
  g_fFrameTime = 1e30f;
  UpdateSkyMap(nullptr, nullptr);
  EXPECT_EQ(g_SkyCountdown, 50);
  EXPECT_EQ(g_TimeOfDay, 0.1f);
  g_fFrameTime = std::nanf("");
  UpdateSkyMap(nullptr, nullptr);
  EXPECT_EQ(g_SkyCountdown, 50);
}

TEST(SkyMapTest, ADayIs240StepsWithTheLightTurningAboutX) {
  ResetSky();
  TempLog log;
  WriteDegreeTables(log);
  LoadSkyMap("Diffuse.raw", "Ambient.raw");
  EXPECT_EQ(log.Count("\n[]:  Skymaps loaded"), 1);

  // Hour 6: the light travels straight up, hour 18 straight down; step 240
  // wraps to midnight exactly. Degree -1: the tables are not looked at.
  const struct {
    int steps;
    float hour;
    int degree;
    float lightY, lightZ;
  } rows[] = {{1, 0.1f, 311, NAN, NAN},
              {59, 6.0f, -1, 1, 0},
              {120, 18.0f, -1, -1, 0},
              {59, 23.9f, 308, NAN, NAN},
              {1, 0.0f, 310, 0, 1.0f}};
  float diffuse[4] = {0, 0, 0, 0.25f}, ambient[4] = {0, 0, 0, 0.5f};
  for (const auto& r : rows) {
    Steps(r.steps, diffuse, ambient);
    EXPECT_NEAR(g_TimeOfDay, r.hour, r.hour == 0.0f ? 0.0f : 1e-4f);
    if (r.degree >= 0) {
      EXPECT_EQ(DiffuseDegree(diffuse), r.degree) << r.hour;
      EXPECT_EQ(AmbientDegree(ambient), r.degree) << r.hour;
    }
    if (!std::isnan(r.lightY)) {
      EXPECT_NEAR(g_LightDir.y, r.lightY, 1e-4f) << r.hour;
      EXPECT_NEAR(g_LightDir.z, r.lightZ, 1e-4f) << r.hour;
    }
    EXPECT_EQ(g_LightDir.x, 0.0f);
  }
  // The alpha components are never written.
  EXPECT_EQ(diffuse[3], 0.25f);
  EXPECT_EQ(ambient[3], 0.5f);
}

TEST(SkyMapTest, ShortTablesAreAcceptedWithAZeroTail) {
  ResetSky();
  TempLog log;
  log.WriteFile("d.raw", std::string(400, '\xFF'));  // red plane and 40 green bytes
  log.WriteFile("a.raw", "");
  LoadSkyMap("d.raw", "a.raw");
  EXPECT_EQ(log.Count("[]:  Skymaps loaded"), 1);
  EXPECT_EQ(g_pLog->ErrorCount(), 0u);

  float diffuse[4] = {0.5f, 0.5f, 0.5f, 1}, ambient[4] = {0.5f, 0.5f, 0.5f, 1};
  Steps(1, diffuse, ambient);  // degree 311: green and blue lie past the file's end
  // 255 is exactly 1.
  EXPECT_EQ(std::vector<float>(diffuse, diffuse + 3), (std::vector<float>{1, 0, 0}));
  EXPECT_EQ(std::vector<float>(ambient, ambient + 3), std::vector<float>(3, 0.0f));
}

TEST(SkyMapTest, MissingFilesAreReportedOnceAndTheClockStillRuns) {
  const char* const pairs[][2] = {{"none.raw", "none.raw"}, {"d.raw", "none.raw"}, {"none.raw", "a.raw"}};
  for (const auto& pair : pairs) {
    ResetSky();
    TempLog log;
    log.WriteFile("d.raw", std::string(1080, '\x10'));
    log.WriteFile("a.raw", std::string(1080, '\x10'));
    LoadSkyMap(pair[0], pair[1]);
    EXPECT_EQ(log.Count("[Load SkyMap]:  Could not read SkyMap file"), 1) << pair[0] << pair[1];
    EXPECT_EQ(log.Count("Skymaps loaded"), 0);
    EXPECT_EQ(g_pLog->ErrorCount(), 1u);
    EXPECT_TRUE(g_pDiffuseMap == nullptr && g_pAmbientMap == nullptr);

    float diffuse[4] = {0.9f, 0.9f, 0.8f, 1}, ambient[4] = {0.42f, 0.4f, 0.5f, 1};
    Steps(60, diffuse, ambient);
    EXPECT_NEAR(g_TimeOfDay, 6.0f, 1e-4f);
    EXPECT_NEAR(g_LightDir.y, 1.0f, 1e-5f);
    EXPECT_EQ(std::vector<float>(diffuse, diffuse + 4), (std::vector<float>{0.9f, 0.9f, 0.8f, 1}));
    EXPECT_EQ(std::vector<float>(ambient, ambient + 4), (std::vector<float>{0.42f, 0.4f, 0.5f, 1}));
  }
}

}  // namespace
