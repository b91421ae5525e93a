// The host without any window: frame counting, screenshots, and the readout
// (its image, message line and F12 shots).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>  // before jpeglib.h, which uses FILE and size_t
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <iterator>
#include <regex>
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

// The readout's image: nothing at all while it is off and no message is up
// (so the picture stays the system's), yet the source is asked every frame;
// when on, one opaque line of light text on a dark box at (8, 8); a message
// adds a line below for 2000 ms of frame clock from the first frame showing
// it, shown also while off.
TEST(HostReadout, ImageOnlyWhileOnOrForTwoSecondsOfMessage) {
  qv::host::Reset();
  qv::host::Config config;
  config.clock_step_ms = 10;  // the frame clock is the virtual one
  qv::host::Configure(config);
  int asked = 0;
  qv::host::SetReadoutSource([&] { return "the readout of frame " + std::to_string(++asked); });
  qv::host::OverlayImage image;
  EXPECT_FALSE(qv::host::FrameOverlay(image));
  EXPECT_FALSE(qv::host::FrameOverlay(image));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(qv::host::LastReadoutText(), "the readout of frame 2");

  qv::host::SetReadoutOn(true);
  ASSERT_TRUE(qv::host::FrameOverlay(image));
  ASSERT_NE(image.rgba, nullptr);
  EXPECT_EQ(std::make_pair(image.x, image.y), std::make_pair(8, 8));
  const int oneLine = image.height;
  EXPECT_GT(image.width, 3 * oneLine) << "one line of text, wider than high";
  int light = 0, dark = 0, translucent = 0;
  for (int i = 0; i < image.width * image.height; ++i) {
    const std::uint8_t* p = image.rgba + 4 * i;
    light += p[0] > 200 && p[1] > 200 && p[2] > 200;
    dark += p[0] < 40 && p[1] < 40 && p[2] < 40;
    translucent += p[3] != 255;
  }
  EXPECT_GT(light, 50);
  EXPECT_GT(dark, image.width * image.height / 2);
  EXPECT_EQ(translucent, 0);

  qv::host::SetReadoutOn(false);
  qv::host::SetVirtualTime(50000);
  qv::host::ShowReadoutMessage("saved somewhere");
  qv::host::SetVirtualTime(60000);  // the time counts from the first frame that shows it
  ASSERT_TRUE(qv::host::FrameOverlay(image)) << "a message shows while the readout is off";
  EXPECT_EQ(image.height, oneLine);
  qv::host::SetReadoutOn(true);
  qv::host::SetVirtualTime(61999);
  ASSERT_TRUE(qv::host::FrameOverlay(image));
  EXPECT_GT(image.height, oneLine + oneLine / 2) << "the readout and the message under it";
  qv::host::SetReadoutOn(false);
  qv::host::SetVirtualTime(62000);
  EXPECT_FALSE(qv::host::FrameOverlay(image)) << "the message is gone after 2000 ms";
  qv::host::Reset();
}

// F12's shot: written at the next Present into the working directory, named
// by frame and local time, and the message says where; a picture that cannot
// be read, or a folder that is gone, gets the reason instead and no file.
TEST(HostReadout, RequestedShotIsSavedOnceOrSaysWhyNot) {
  qv::host::Reset();
  char start[4096];
  ASSERT_NE(::getcwd(start, sizeof start), nullptr);
  const std::string dir = qv::test::MakeTempDir("quorvel_shot_");
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  qv::host::SetReadoutSource([] { return std::string(); });
  auto picture = [](std::vector<std::uint8_t>& rgb, int& w, int& h) {
    w = 1;
    h = 2;
    rgb = {10, 20, 30, 40, 50, 60};
    return true;
  };
  auto message = [] {
    qv::host::OverlayImage image;
    return qv::host::FrameOverlay(image);
  };
  qv::host::BeginLoopIteration();  // frame 0
  qv::host::OnPresent(picture);
  EXPECT_FALSE(message()) << "no shot asked for, nothing said";
  qv::host::RequestShot();
  qv::host::BeginLoopIteration();  // frame 1
  ::testing::internal::CaptureStderr();
  qv::host::OnPresent(picture);
  qv::host::OnPresent(picture);  // one request, one shot
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  std::vector<std::string> names;
  const std::regex pattern(R"(Shot_000001_\d{8}-\d{6}\.png)");
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(std::regex_match(names[0], pattern)) << names[0];
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(qv::test::ReadPngRgb(dir + "/" + names[0], w, h, rgb));
  EXPECT_EQ(rgb, (std::vector<unsigned char>{10, 20, 30, 40, 50, 60}));
  EXPECT_TRUE(message());

  ::testing::internal::CaptureStderr();
  qv::host::RequestShot();
  qv::host::OnPresent([](std::vector<std::uint8_t>&, int&, int&) { return false; });
  std::filesystem::remove_all(dir);  // the working directory is gone
  qv::host::RequestShot();
  qv::host::OnPresent(picture);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(::chdir(start), 0);
  EXPECT_TRUE(std::regex_search(
      errors, std::regex("^quorvel: could not save " + dir +
                         R"(/Shot_000001_\d{8}-\d{6}\.png: the picture could not be read back\n)")))
      << errors;
  EXPECT_TRUE(std::regex_search(
      errors,
      std::regex(R"(\nquorvel: could not save Shot_000001_\d{8}-\d{6}\.png: No such file or directory\n$)")))
      << errors;
  EXPECT_TRUE(message()) << "and the readout says so";
  qv::host::Reset();
}

}  // namespace
