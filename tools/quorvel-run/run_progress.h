// quorvel-run's progress line: frames done of the run's known length, the
// rate so far and the time left, rewritten in place on a terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/dinput8/dinput8_script.h"

// The number of frames a run will have when that is known beforehand: the
// frame limit, or the frame in which the input script presses Escape plus
// one (the viewer quits at the end of that frame), whichever is fewer;
// 0 when neither says.
int KnownRunLength(int maxFrames, const std::vector<qv::dinput8::ScriptEvent>& script);

// "frame 120/396  17.3 fps  0:16 left" (no time left before the rate is known).
std::string FormatProgress(int done, int total, double fps);

class ProgressLine {
 public:
  // out: where the line goes (null: nowhere); total from KnownRunLength.
  ProgressLine(std::FILE* out, int total);
  // done frames so far, seconds since the first; redrawn at most four times
  // a second, and always at the last frame.
  void Frame(int done, double seconds);
  // Ends the line (the last state stays on the screen).
  void End();

 private:
  std::FILE* m_out;
  int m_total;
  double m_lastDrawn = -1.0;
  std::size_t m_width = 0;  // length of the line on the screen
};
