// The frame timer and the average frame rate report, on an injected clock.
#include <gtest/gtest.h>

#include <string>

#include "app/frame_timer.h"
#include "log/log_file.h"
#include "platform/host/host.h"
#include "testing/temp_log.h"

namespace {

class FrameTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFrameTimer();
    qv::host::SetClockOverride([this] { return now_; });
  }
  void TearDown() override { qv::host::SetClockOverride(nullptr); }

  // The last line ReportAverageFPS writes.
  std::string Report() {
    qv::test::TempLog log;
    EXPECT_TRUE(log.Ok());
    ReportAverageFPS();
    std::string last;
    for (const std::string& line : log.Lines())
      if (line.rfind("[Average FPS: ]:  ", 0) == 0) last = line;
    return last;
  }

  std::uint32_t now_ = 0;
};

// The first frame measures the uptime; a clock that wraps gives a negative
// frame, not the short step modulo 2^32.
TEST_F(FrameTimerTest, FrameTimeIsTheClockDifference) {
  const std::uint32_t ticks[] = {123456, 123472, 0xFFFFFFF0u, 0x10};
  const float frames[] = {123456.0f, 16.0f, static_cast<float>(0xFFFFFFF0u - 123472),
                          static_cast<float>(0x10 - 0xFFFFFFF0ll)};
  for (int i = 0; i < 4; ++i) {
    now_ = ticks[i];
    FrameTimerTick();
    EXPECT_EQ(g_fFrameTime, frames[i]) << i;
  }
}

TEST_F(FrameTimerTest, AverageOverClosedSeconds) {
  EXPECT_EQ(Report(), "[Average FPS: ]:  0");
  now_ = 5000;
  FrameTimerTick();
  EXPECT_EQ(Report(), "[Average FPS: ]:  0") << "no closed second";
  now_ += 10;
  FrameTimerTick();  // closes the start-up second: no division by zero
  EXPECT_EQ(Report(), "[Average FPS: ]:  1");
  // Quarter-second frames: four counted frames, the fifth closes a second.
  const char* averages[] = {"5", "4", "4", "4", "4", "4"};  // (1 + 4) / 1, (1 + 8) / 2, ...
  for (const char* average : averages) {
    for (int i = 0; i < 5; ++i) {
      now_ += 250;
      FrameTimerTick();
    }
    EXPECT_EQ(Report(), std::string("[Average FPS: ]:  ") + average);
  }
}

}  // namespace
