// The host without any window: frame counting and screenshots.
#include <gtest/gtest.h>

#include <cstdio>  // before jpeglib.h, which uses FILE and size_t
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

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

// A JPEG file as 8-bit RGB rows; false when libjpeg does not take it (its
// default error handler would exit, so the magic number is checked first).
bool ReadJpegRgb(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgb) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 3 || file[0] != 0xFF || file[1] != 0xD8 || file[2] != 0xFF) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  width = static_cast<int>(cinfo.output_width);
  height = static_cast<int>(cinfo.output_height);
  rgb.resize(static_cast<std::size_t>(width) * height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// A .jpg shot is a JPEG file; a shot that cannot be written, or whose frame
// never comes, is reported with its reason.
TEST(Host, ShotsAsJpegAndTheShotsThatFailed) {
  qv::host::Reset();
  const std::string dir = ::testing::TempDir();
  const std::string jpeg = dir + "/shot.jpg";
  std::remove(jpeg.c_str());
  qv::host::Config config;
  config.shots = {{1, jpeg}, {1, "/nonexistent/shot.png"}, {7, dir + "/late.png"}};
  qv::host::Configure(config);
  // 16 x 16 in four flat quarters, top row first: red, green / blue, white.
  auto reader = [](std::vector<std::uint8_t>& rgb, int& w, int& h) {
    w = h = 16;
    rgb.clear();
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const std::uint8_t quarter[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
        const std::uint8_t* c = quarter[(y / 8) * 2 + x / 8];
        rgb.insert(rgb.end(), c, c + 3);
      }
    return true;
  };
  for (int frame = 0; frame < 3; ++frame) {
    qv::host::BeginLoopIteration();
    qv::host::OnPresent(reader);
  }
  EXPECT_EQ(
      qv::host::ShotFailures(),
      (std::vector<std::string>{
          "cannot write /nonexistent/shot.png: No such file or directory",
          "no picture for " + dir + "/late.png: frame 7 was not presented (the run ended after 2 frames)"}));

  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(ReadJpegRgb(jpeg, w, h, rgb)) << "not a JPEG file: " << jpeg;
  ASSERT_EQ(std::make_pair(w, h), std::make_pair(16, 16));
  const int expected[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  const int corners[4][2] = {{1, 1}, {14, 1}, {1, 14}, {14, 14}};  // one pixel inside each quarter
  for (int q = 0; q < 4; ++q)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(rgb[(corners[q][1] * 16 + corners[q][0]) * 3 + c], expected[q][c], 40) << q << " " << c;
  qv::host::Reset();
}

}  // namespace
