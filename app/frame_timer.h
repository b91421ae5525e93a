// Frame timer: the last frame's duration and the average frame rate report.
#pragma once

extern float g_fFrameTime;  // milliseconds

void FrameTimerTick();
void ReportAverageFPS();
void ResetFrameTimer();  // back to the process-start state (tests)
