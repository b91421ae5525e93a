// The host without any window: frame counting and screenshots.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/host/host.h"

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
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char sig[8] = {};
  EXPECT_EQ(std::fread(sig, 1, 8, f), 8u);
  std::fclose(f);
  EXPECT_EQ(sig[1], 'P');
  EXPECT_EQ(sig[2], 'N');
  EXPECT_EQ(sig[3], 'G');
  qv::host::Reset();
}

}  // namespace
