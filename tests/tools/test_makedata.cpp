// quorvel-makedata: the data set is complete, byte-identical for a seed, and
// each file has the shape the viewer reads.
#include <gtest/gtest.h>


#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <png.h>

#include "testing/temp_log.h"
#include "tools/quorvel-makedata/makedata.h"

namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunTool(const std::string& arguments) {
  return std::system((std::string(QUORVEL_MAKEDATA_BIN) + " " + arguments + " 2>/dev/null").c_str());
}

class MakeData : public ::testing::Test {
 protected:
  qv::test::TempDir m_Tmp;
  fs::path m_Root = m_Tmp.Dir();
};

TEST_F(MakeData, ToolWritesTheSameBytesForTheSameSeed) {
  ASSERT_EQ(RunTool((m_Root / "tool").string() + " --seed 7"), 0);
  std::string error;
  ASSERT_TRUE(makedata::WriteDataSet((m_Root / "lib").string(), 7, &error)) << error;
  for (const char* name : {"Readme.txt", "HeightMap20.raw", "Diffuse.raw", "Ambient.raw", "ground.bmp",
                           "overlay.tga", "detail.jpg", "bump.png"}) {
    const auto bytes = ReadAll(m_Root / "tool" / name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes, ReadAll(m_Root / "lib" / name)) << name;
  }
  const auto other = makedata::MakeHeightMap(1024, 8);
  EXPECT_NE(ReadAll(m_Root / "tool" / "HeightMap20.raw"), std::vector<unsigned char>(other.begin(), other.end()));
  // splitmix64's published first output for seed 0: the same on every machine.
  EXPECT_EQ(makedata::Rng(0).Next(), 0xE220A8397B1DCDAFull);

  EXPECT_NE(RunTool((m_Root / "x").string() + " --seed abc"), 0);
  EXPECT_FALSE(fs::exists(m_Root / "x"));
  EXPECT_NE(RunTool((m_Root / "tool" / "Readme.txt" / "sub").string()), 0);  // not a directory
}

TEST_F(MakeData, FilesHaveTheShapesTheViewerReads) {
  std::string error;
  ASSERT_TRUE(makedata::WriteDataSet(m_Root.string(), 7, &error)) << error;
  std::ifstream in(m_Root / "Readme.txt");
  std::vector<std::string> words{std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
  ASSERT_EQ(words.size(), 14u);
  EXPECT_EQ(words[1] + " " + words[3] + " " + words[5], "16 4 65536");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(fs::is_regular_file(m_Root / words[7 + 2 * i])) << words[7 + 2 * i];

  // The heightmap: full range, broad relief, yet smooth from sample to sample.
  const auto h = ReadAll(m_Root / "HeightMap20.raw");
  ASSERT_EQ(h.size(), 1024u * 1024u);
  EXPECT_EQ(*std::min_element(h.begin(), h.end()), 0);
  EXPECT_EQ(*std::max_element(h.begin(), h.end()), 255);
  double sum = 0, sumSq = 0, step = 0;
  for (std::size_t i = 0; i < h.size(); ++i) {
    sum += h[i];
    sumSq += double(h[i]) * h[i];
    if (i % 1024) step += std::fabs(double(h[i]) - h[i - 1]);
  }
  const double mean = sum / h.size();
  EXPECT_GT(std::sqrt(sumSq / h.size() - mean * mean), 25.0);
  EXPECT_LT(step / (1024.0 * 1023.0), 3.0);

  const auto bmp = ReadAll(m_Root / "ground.bmp");
  ASSERT_EQ(bmp.size(), 54u + 256 * 256 * 3);
  EXPECT_EQ(std::string(bmp.begin(), bmp.begin() + 2), "BM");
  EXPECT_EQ(bmp[18] | bmp[19] << 8, 256);  // width
  EXPECT_EQ(bmp[28], 24);                  // bits per pixel
  const auto tga = ReadAll(m_Root / "overlay.tga");
  ASSERT_EQ(tga.size(), 18u + 256 * 256 * 4);
  EXPECT_EQ(tga[2], 2);  // uncompressed true colour
  EXPECT_EQ(tga[16], 32);
  int low = 255, high = 0;
  for (std::size_t i = 18 + 3; i < tga.size(); i += 4) low = std::min<int>(low, tga[i]), high = std::max<int>(high, tga[i]);
  EXPECT_LT(low, 32);  // the alpha varies over most of its range
  EXPECT_GT(high, 224);
  const auto jpeg = ReadAll(m_Root / "detail.jpg");
  ASSERT_GT(jpeg.size(), 2u);
  EXPECT_EQ(jpeg[0] << 8 | jpeg[1], 0xFFD8);

  // The normal map decodes to unit normals facing out of the surface.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (m_Root / "bump.png").c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(rgb.size(), 256u * 256u * 3u);
  double tilt = 0;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    const double x = rgb[i] / 127.5 - 1, y = rgb[i + 1] / 127.5 - 1, z = rgb[i + 2] / 127.5 - 1;
    ASSERT_NEAR(std::sqrt(x * x + y * y + z * z), 1.0, 0.02);
    ASSERT_GT(z, 0.0);
    tilt += 1.0 - z;
  }
  EXPECT_GT(tilt / (rgb.size() / 3), 0.01);  // there is some bump to light
}

TEST(MakeDataSky, BrightAtNoonAndBlueAtMidnight) {
  std::uint8_t diffuse[1080], ambient[1080];
  makedata::MakeSkyTables(diffuse, ambient);
  for (const std::uint8_t* t : {diffuse, ambient}) {
    auto brightness = [t](int d) { d = (d + 360) % 360; return t[d] + t[360 + d] + t[720 + d]; };
    EXPECT_GT(brightness(220), 2 * brightness(40));  // hour 18 (light straight down) and hour 6
    EXPECT_GT(t[720 + 40], t[40]);                   // night is blue
    // The light dims steadily from noon to midnight on either side.
    for (int d = 0; d < 180; ++d) {
      EXPECT_GE(brightness(220 + d) + 1, brightness(220 + d + 1)) << 220 + d;
      EXPECT_GE(brightness(220 - d) + 1, brightness(220 - d - 1)) << 220 - d;
    }
  }
  EXPECT_GE(diffuse[220], diffuse[720 + 220]);  // warm sunlight
}

TEST(MakeDataTextures, TileWithoutSeams) {
  // The jumps across the tile's wrap, both ways, against those between two
  // inner columns and rows.
  for (const makedata::Image& image : {makedata::MakeGroundTexture(256, 7), makedata::MakeOverlayTexture(256, 7),
                                       makedata::MakeDetailTexture(256, 7), makedata::MakeNormalMap(256, 7)}) {
    auto px = [&](int x, int y, int c) { return double(image.pixels[(y * 256 + x) * image.channels + c]); };
    double wrap = 0, inner = 0;
    for (int k = 0; k < 256; ++k) {
      for (int c = 0; c < image.channels; ++c) {
        wrap += std::fabs(px(255, k, c) - px(0, k, c)) + std::fabs(px(k, 255, c) - px(k, 0, c));
        inner += std::fabs(px(128, k, c) - px(127, k, c)) + std::fabs(px(k, 128, c) - px(k, 127, c));
      }
    }
    EXPECT_LT(wrap, inner * 1.6) << "channels " << image.channels;
  }
}

}  // namespace
