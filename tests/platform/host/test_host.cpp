// The host without any window: frame counting and screenshots.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/host.h"
#include "testing/run_util.h"

namespace {

TEST(Host, ScreenshotsAreTakenAtTheirFrame) {
  qv::host::Reset();
  const std::string path = std::string(::testing::TempDir()) + "/shot.png";
  std::remove(path.c_str());
  qv::host::Config config;
  config.shots = {{1, path}};
  qv::host::Configure(config);
  int reads = 0;
  auto reader = [&](std::vector<std::uint8_t>& rgb, int& w, int& h) {
    ++reads;
    w = 2;
    h = 1;
    rgb = {255, 0, 0, 0, 0, 255};
    return true;
  };
  qv::host::BeginLoopIteration();  // frame 0
  qv::host::OnPresent(reader);
  EXPECT_EQ(reads, 0);
  qv::host::BeginLoopIteration();  // frame 1
  qv::host::OnPresent(reader);
  EXPECT_EQ(reads, 1);
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(qv::test::ReadPngRgb(path, w, h, rgb)) << path;
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(2, 1));
  EXPECT_EQ(rgb, (std::vector<unsigned char>{255, 0, 0, 0, 0, 255}));
  qv::host::Reset();
}

}  // namespace
