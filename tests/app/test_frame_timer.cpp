// The frame timer and the average frame rate report, on an injected clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/frame_timer.h"
#include "log/log_file.h"
#include "platform/win32/win32_host.h"

namespace {

class FrameTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFrameTimer();
    qv::host::SetClockOverride([this] { return now_; });
    char tmpl[] = "/tmp/qvtimerXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    ASSERT_EQ(getcwd(old_, sizeof old_), old_);
    ASSERT_EQ(chdir(tmpl), 0);
  }
  void TearDown() override {
    qv::host::SetClockOverride(nullptr);
    ASSERT_EQ(chdir(old_), 0);
  }

  // The last line ReportAverageFPS writes.
  std::string Report() {
    g_pLog = new LogFile();
    const std::string name = g_pLog->FileName();
    ReportAverageFPS();
    delete g_pLog;
    g_pLog = nullptr;
    std::ifstream in(name);
    std::string line, last;
    while (std::getline(in, line))
      if (line.rfind("[Average FPS: ]:  ", 0) == 0) last = line;
    std::remove(name.c_str());
    return last;
  }

  std::uint32_t now_ = 0;
  char old_[4096];
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
