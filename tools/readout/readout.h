// The one-line readout over the viewer's picture (F1 in quorvel, --hud in
// quorvel-run): frame, frames a second, frame time, camera position and
// heading, time of day, and the frame's draws and triangles. The host draws
// the line; this is where the programs put it together.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace qv::readout {

// Frames a second over the last second of the frame clock (milliseconds, as
// timeGetTime gives them, wrapping at 2^32), and the last frame's time.
class FrameRate {
 public:
  void Add(std::uint32_t ms);
  // Both are negative until two frames are known.
  double FramesPerSecond() const;
  double FrameMs() const;

 private:
  std::deque<std::uint32_t> m_times;  // the frames of the last second, and at least two
};

struct Figures {
  int frame = 0;  // from 0, as --shot counts
  double fps = -1.0, frameMs = -1.0;
  float x = 0.0f, y = 0.0f, z = 0.0f;  // camera position, world units
  float lookX = 0.0f, lookZ = 1.0f;    // the camera's look vector, seen from above
  float hours = 0.0f;                  // the system's time of day, 0 to 24
  std::uint64_t draws = 0, triangles = 0;
};

std::string FormatReadout(const Figures& f);
// The system's time of day in hours (0 to 24, in steps of 0.1 with float
// error) as "hh:mm", to the nearest minute.
std::string FormatHours(float hours);
// Compass heading of a look vector in whole degrees from 0 to 359: 0 along
// +z (the way the camera starts), 90 along +x (turned right).
int HeadingDegrees(float lookX, float lookZ);

// Hands the host the source that reads the camera, the time of day, the frame
// clock and the host's figures at each presented frame.
void Install();

}  // namespace qv::readout
