#include "tools/readout/readout.h"

#include <cmath>
#include <cstdio>

#include "lighting/sky_map.h"
#include "platform/host/host.h"
#include "view/camera.h"

namespace qv::readout {

void FrameRate::Add(std::uint32_t ms) {
  m_times.push_back(ms);
  // Unsigned differences stay right across the clock's wrap.
  while (m_times.size() > 2 && ms - m_times[1] >= 1000u) m_times.pop_front();
}

double FrameRate::FramesPerSecond() const {
  if (m_times.size() < 2) return -1.0;
  const std::uint32_t span = m_times.back() - m_times.front();
  if (span == 0) return -1.0;
  return static_cast<double>(m_times.size() - 1) * 1000.0 / span;
}

double FrameRate::FrameMs() const {
  if (m_times.size() < 2) return -1.0;
  return static_cast<double>(m_times.back() - m_times[m_times.size() - 2]);
}

std::string FormatHours(float hours) {
  const long minutes = std::lround(static_cast<double>(hours) * 60.0) % (24 * 60);
  char text[16];
  std::snprintf(text, sizeof text, "%02ld:%02ld", minutes / 60, minutes % 60);
  return text;
}

int HeadingDegrees(float lookX, float lookZ) {
  const double degrees = std::atan2(static_cast<double>(lookX), static_cast<double>(lookZ)) * 180.0 / M_PI;
  return static_cast<int>((std::lround(degrees) + 360) % 360);
}

std::string FormatReadout(const Figures& f) {
  char rate[48];
  if (f.fps > 0.0)
    std::snprintf(rate, sizeof rate, "%5.1f fps  %5.1f ms", f.fps, f.frameMs);
  else
    std::snprintf(rate, sizeof rate, "  --- fps    --- ms");
  char text[256];
  std::snprintf(text, sizeof text,
                "frame %d  %s  pos %ld %ld %ld  heading %d\u00b0  time %s  draws %llu  triangles %llu",
                f.frame, rate, std::lround(f.x), std::lround(f.y), std::lround(f.z),
                HeadingDegrees(f.lookX, f.lookZ), FormatHours(f.hours).c_str(),
                static_cast<unsigned long long>(f.draws), static_cast<unsigned long long>(f.triangles));
  return text;
}

void Install() {
  qv::host::SetReadoutSource([rate = FrameRate()]() mutable {
    rate.Add(qv::host::Milliseconds());
    Figures f;
    f.frame = qv::host::FrameIndex();
    f.fps = rate.FramesPerSecond();
    f.frameMs = rate.FrameMs();
    g_Camera.GetPosition(&f.x, &f.y, &f.z);
    float lookY = 0.0f;
    g_Camera.GetLook(&f.lookX, &lookY, &f.lookZ);
    f.hours = g_TimeOfDay;
    f.draws = qv::host::GetStats().frame_draws;
    f.triangles = qv::host::GetStats().frame_triangles;
    return FormatReadout(f);
  });
}

}  // namespace qv::readout
