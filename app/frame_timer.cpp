#include "app/frame_timer.h"

#include <cstdint>

#include "log/log_file.h"
#include "platform/win32/win32.h"

float g_fFrameTime = 0.0f;

namespace {
std::int64_t s_PreviousTime = 0;
float s_SecondAccumulator = 0.0f;
std::uint32_t s_FramesThisSecond = 0;
std::int32_t s_FrameSum = 0;
std::int32_t s_ClosedSeconds = 0;
}  // namespace

void FrameTimerTick() {
  const std::int64_t now = static_cast<std::int64_t>(static_cast<std::uint64_t>(timeGetTime()));
  g_fFrameTime = static_cast<float>(now - s_PreviousTime);
  s_PreviousTime = now;
  if (s_SecondAccumulator < 1.0f) {
    s_SecondAccumulator = g_fFrameTime / 1000.0f + s_SecondAccumulator;
    s_FramesThisSecond += 1;
  } else {
    // The frame that closes a second is counted in no second.
    s_SecondAccumulator = 0.0f;
    s_FrameSum += static_cast<std::int32_t>(s_FramesThisSecond);
    s_ClosedSeconds += 1;
    s_FramesThisSecond = 0;
  }
}

void ReportAverageFPS() {
  // The first closed second holds only the start-up frame and is left out of
  // the divisor. With exactly one closed second there is nothing to divide
  // by: the average is then that second's frame count.
  const std::int32_t divisor = s_ClosedSeconds - 1;
  const std::int32_t average = divisor != 0 ? s_FrameSum / divisor : s_FrameSum;
  if (g_pLog) g_pLog->Report(LOG_INFO, average, "Average FPS: ");
}

void ResetFrameTimer() {
  g_fFrameTime = 0.0f;
  s_PreviousTime = 0;
  s_SecondAccumulator = 0.0f;
  s_FramesThisSecond = 0;
  s_FrameSum = 0;
  s_ClosedSeconds = 0;
}
