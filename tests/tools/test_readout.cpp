// The readout's text: the frame rate over the last second of frame clock,
// the time of day as hours and minutes, the compass heading, the whole line.
#include <gtest/gtest.h>

#include <cstdint>

#include "tools/readout/readout.h"

namespace {

using qv::readout::FrameRate;

TEST(Readout, FrameRateOverTheLastSecondOfFrameClock) {
  FrameRate rate;
  EXPECT_LT(rate.FramesPerSecond(), 0.0);
  rate.Add(4294967000u);  // 296 ms before the clock wraps
  EXPECT_LT(rate.FramesPerSecond(), 0.0) << "one frame has no rate";
  EXPECT_LT(rate.FrameMs(), 0.0);
  std::uint32_t t = 4294967000u;
  for (int i = 0; i < 40; ++i) rate.Add(t += 51);
  // 20 frames lie in the last second, 969 ms apart: 19 intervals.
  EXPECT_NEAR(rate.FramesPerSecond(), 19.0 * 1000.0 / 969.0, 1e-9);
  EXPECT_EQ(rate.FrameMs(), 51.0);
  rate.Add(t += 2000);  // a stall: the rate of the last two frames
  EXPECT_NEAR(rate.FramesPerSecond(), 0.5, 1e-9);
  EXPECT_EQ(rate.FrameMs(), 2000.0);
}

TEST(Readout, HoursAndHeadings) {
  float hours = 0.0f;
  for (int i = 0; i < 30; ++i) hours += 0.1f;  // 2.9999993 in float steps, as the clock goes
  const struct {
    float hours;
    const char* text;
  } times[] = {{0.0f, "00:00"},  {hours, "03:00"}, {2.99f, "02:59"},
               {12.5f, "12:30"}, {23.9f, "23:54"}, {24.0f, "00:00"}};
  for (const auto& t : times) EXPECT_EQ(qv::readout::FormatHours(t.hours), t.text) << t.hours;
  const struct {
    float x, z;
    int degrees;
  } looks[] = {{0, 1, 0}, {1, 0, 90}, {0, -1, 180}, {-1, 0, 270}, {-0.01f, 1, 359}, {1, 1, 45}, {0, 0, 0}};
  for (const auto& l : looks)
    EXPECT_EQ(qv::readout::HeadingDegrees(l.x, l.z), l.degrees) << l.x << "," << l.z;
}

TEST(Readout, TheWholeLine) {
  qv::readout::Figures f;
  f.frame = 390;
  f.fps = 1000.0 / 51.0;
  f.frameMs = 51.0;
  f.x = 1234.4f;
  f.y = -0.4f;
  f.z = -199.6f;
  f.lookX = 1.0f;
  f.lookZ = 0.0f;
  f.hours = 18.5f;
  f.draws = 4400;
  f.triangles = 1012364;
  EXPECT_EQ(qv::readout::FormatReadout(f),
            "frame 390   19.6 fps   51.0 ms  pos 1234 0 -200  heading 90\u00b0  time 18:30  draws 4400  "
            "triangles 1012364");
  f.fps = f.frameMs = -1.0;
  EXPECT_EQ(qv::readout::FormatReadout(f).substr(0, 30), "frame 390    --- fps    --- ms");
}

}  // namespace
