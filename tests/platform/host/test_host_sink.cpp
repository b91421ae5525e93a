// The host's frame sink: every presented frame, the screenshot's picture,
// and a refusal that closes the window once.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/host/host.h"
#include "testing/run_util.h"

namespace {

TEST(HostFrameSink, SeesEveryFrameAsItsShotAndARefusalClosesTheWindowOnce) {
  qv::host::Reset();
  const std::string path = std::string(::testing::TempDir()) + "/sink_shot.png";
  qv::host::Config config;
  config.shots = {{1, path}};
  qv::host::Configure(config);
  int reads = 0;
  auto reader = [&](std::vector<std::uint8_t>& rgb, int& w, int& h) {
    ++reads;
    w = 2;
    h = 1;
    rgb = {static_cast<std::uint8_t>(10 * qv::host::FrameIndex()), 0, 0, 0, 0, 255};
    return true;
  };
  std::vector<int> frames;
  std::vector<std::uint8_t> sunk;
  qv::host::SetFrameSink([&](int frame, const qv::host::FrameReader& read) {
    frames.push_back(frame);
    if (frame == 1) {  // the only frame whose picture this sink wants
      int w = 0, h = 0;
      EXPECT_TRUE(read(sunk, w, h));
    }
    return frame != 2;
  });
  std::vector<bool> closes;
  for (int f = 0; f < 5; ++f) {
    closes.push_back(qv::host::BeginLoopIteration());
    qv::host::OnPresent(reader);
  }
  EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(closes, (std::vector<bool>{false, false, false, true, false})) << "closed once, after frame 2";
  EXPECT_EQ(reads, 1) << "frame 1 read once for the shot and the sink; no picture read that nobody wanted";
  int w = 0, h = 0;
  std::vector<unsigned char> shot;
  ASSERT_TRUE(qv::test::ReadPngRgb(path, w, h, shot));
  EXPECT_EQ(std::vector<unsigned char>(sunk.begin(), sunk.end()), shot);
  qv::host::Reset();
}

}  // namespace
