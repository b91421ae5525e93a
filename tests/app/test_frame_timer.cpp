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

TEST_F(FrameTimerTest, FirstFrameMeasuresTheUptime) {
  now_ = 123456;
  FrameTimerTick();
  EXPECT_EQ(g_fFrameTime, 123456.0f);
  now_ += 16;
  FrameTimerTick();
  EXPECT_EQ(g_fFrameTime, 16.0f);
}

TEST_F(FrameTimerTest, NoClosedSecondReportsZero) {
  EXPECT_EQ(Report(), "[Average FPS: ]:  0");
  now_ = 5000;
  FrameTimerTick();
  EXPECT_EQ(Report(), "[Average FPS: ]:  0");
}

TEST_F(FrameTimerTest, OneClosedSecondDoesNotDivideByZero) {
  now_ = 5000;
  FrameTimerTick();
  now_ += 10;
  FrameTimerTick();  // closes the first second, which holds the start-up frame
  EXPECT_EQ(Report(), "[Average FPS: ]:  1");
}

TEST_F(FrameTimerTest, QuarterSecondFrames) {
  now_ = 5000;
  FrameTimerTick();
  now_ += 250;
  FrameTimerTick();  // closes the start-up second
  auto oneSecond = [&] {
    for (int i = 0; i < 5; ++i) {  // four counted frames, the fifth closes
      now_ += 250;
      FrameTimerTick();
    }
  };
  oneSecond();
  EXPECT_EQ(Report(), "[Average FPS: ]:  5");  // (1 + 4) / 1
  oneSecond();
  EXPECT_EQ(Report(), "[Average FPS: ]:  4");  // (1 + 8) / 2
  for (int k = 3; k <= 6; ++k) {
    oneSecond();
    EXPECT_EQ(Report(), "[Average FPS: ]:  4");
  }
}

TEST_F(FrameTimerTest, ClockWrapGivesANegativeFrame) {
  now_ = 0xFFFFFFF0u;
  FrameTimerTick();
  now_ = 0x10;
  FrameTimerTick();
  EXPECT_EQ(g_fFrameTime, static_cast<float>(0x10 - 0xFFFFFFF0ll));
}

}  // namespace
