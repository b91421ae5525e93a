// quorvel-makedata: the data set is complete, byte-identical for a seed, and
// each file has the shape the viewer reads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

#include "tools/quorvel-makedata/makedata.h"

namespace {

namespace fs = std::filesystem;

const char* const kFiles[] = {"Readme.txt", "HeightMap20.raw", "Diffuse.raw", "Ambient.raw",
                              "ground.bmp", "overlay.tga",     "detail.jpg",  "bump.png"};

std::vector<unsigned char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One data set per test process, made when a test first needs it.
class MakeData : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/quorvel-makedata-XXXXXX";
    s_Root = mkdtemp(pattern);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(s_Root, ec);
  }
  static fs::path DataSet() {
    const fs::path dir = s_Root / "a";
    if (!fs::exists(dir / "bump.png")) {
      std::string error;
      EXPECT_TRUE(makedata::WriteDataSet(dir.string(), 7, &error)) << error;
    }
    return dir;
  }
  static fs::path s_Root;
};
fs::path MakeData::s_Root;

TEST_F(MakeData, ToolWritesTheSameBytesForTheSameSeed) {
  const fs::path dir = s_Root / "tool";
  const std::string command = std::string(QUORVEL_MAKEDATA_BIN) + " " + dir.string() + " --seed 7";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : kFiles) {
    const auto bytes = ReadAll(dir / name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes, ReadAll(DataSet() / name)) << name;
  }
  // Another seed gives another landscape.
  const auto other = makedata::MakeHeightMap(1024, 8);
  EXPECT_NE(ReadAll(dir / "HeightMap20.raw"), std::vector<unsigned char>(other.begin(), other.end()));
}

TEST_F(MakeData, ToolRejectsBadArguments) {
  const std::string bin = QUORVEL_MAKEDATA_BIN;
  EXPECT_NE(std::system((bin + " " + (s_Root / "x").string() + " --seed abc 2>/dev/null").c_str()), 0);
  EXPECT_FALSE(fs::exists(s_Root / "x"));
  // A path under a regular file cannot be made into a directory.
  const fs::path file = s_Root / "plain";
  std::ofstream(file) << "x";
  EXPECT_NE(std::system((bin + " " + (file / "sub").string() + " 2>/dev/null").c_str()), 0);
}

TEST_F(MakeData, FilesHaveTheShapesTheViewerReads) {
  const fs::path dir = DataSet();
  std::ifstream in(dir / "Readme.txt");
  std::vector<std::string> words{std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
  ASSERT_EQ(words.size(), 14u);
  EXPECT_EQ(words[1], "16");
  EXPECT_EQ(words[3], "4");
  EXPECT_EQ(words[5], "65536");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(fs::is_regular_file(dir / words[7 + 2 * i])) << words[7 + 2 * i];

  const auto bmp = ReadAll(dir / "ground.bmp");
  ASSERT_EQ(bmp.size(), 54u + 256 * 256 * 3);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(bmp[18] | bmp[19] << 8, 256);  // width
  EXPECT_EQ(bmp[28], 24);                  // bits per pixel

  const auto tga = ReadAll(dir / "overlay.tga");
  ASSERT_EQ(tga.size(), 18u + 256 * 256 * 4);
  EXPECT_EQ(tga[2], 2);   // uncompressed true colour
  EXPECT_EQ(tga[16], 32);
  EXPECT_EQ(tga[17] & 0x0F, 8);  // alpha bits
  int low = 255, high = 0;
  for (std::size_t i = 18 + 3; i < tga.size(); i += 4) {
    low = std::min<int>(low, tga[i]);
    high = std::max<int>(high, tga[i]);
  }
  EXPECT_LT(low, 32);
  EXPECT_GT(high, 224);

  const auto jpeg = ReadAll(dir / "detail.jpg");
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  // The normal map decodes to unit normals facing out of the surface.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  const std::string path = (dir / "bump.png").string();
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  image.format = PNG_FORMAT_RGB;
  ASSERT_EQ(image.width, 256u);
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  double tilt = 0;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    const double x = rgb[i] / 127.5 - 1, y = rgb[i + 1] / 127.5 - 1, z = rgb[i + 2] / 127.5 - 1;
    ASSERT_NEAR(std::sqrt(x * x + y * y + z * z), 1.0, 0.02);
    ASSERT_GT(z, 0.0);
    tilt += 1.0 - z;
  }
  EXPECT_GT(tilt / (rgb.size() / 3), 0.01);  // there is some bump to light
}

TEST_F(MakeData, HeightMapLooksLikeTerrain) {
  const auto h = ReadAll(DataSet() / "HeightMap20.raw");
  ASSERT_EQ(h.size(), 1024u * 1024u);
  EXPECT_EQ(*std::min_element(h.begin(), h.end()), 0);
  EXPECT_EQ(*std::max_element(h.begin(), h.end()), 255);
  double sum = 0, sumSq = 0, step = 0;
  for (int z = 0; z < 1024; ++z) {
    for (int x = 0; x < 1024; ++x) {
      const double v = h[z * 1024 + x];
      sum += v;
      sumSq += v * v;
      if (x > 0) step += std::fabs(v - h[z * 1024 + x - 1]);
    }
  }
  const double mean = sum / h.size();
  const double spread = std::sqrt(sumSq / h.size() - mean * mean);
  // Broad relief, yet smooth from sample to sample.
  EXPECT_GT(spread, 25.0);
  EXPECT_LT(step / (1024.0 * 1023.0), 3.0);
}

TEST(MakeDataSky, BrightAtNoonAndBlueAtMidnight) {
  std::uint8_t diffuse[1080], ambient[1080];
  makedata::MakeSkyTables(diffuse, ambient);
  for (const std::uint8_t* t : {diffuse, ambient}) {
    SCOPED_TRACE(t == diffuse ? "diffuse" : "ambient");
    auto rgb = [&](int degree, int c) { return static_cast<int>(t[c * 360 + degree]); };
    const int noon = 220, midnight = 40;
    EXPECT_GT(rgb(noon, 0) + rgb(noon, 1) + rgb(noon, 2), 2 * (rgb(midnight, 0) + rgb(midnight, 1) + rgb(midnight, 2)));
    EXPECT_GT(rgb(midnight, 2), rgb(midnight, 0));
    // Brightness falls steadily from noon to midnight on either side.
    for (int d = 0; d < 180; ++d) {
      const int a = (noon + d) % 360, b = (noon + d + 1) % 360;
      const int c = (noon - d + 360) % 360, e = (noon - d - 1 + 360) % 360;
      EXPECT_GE(rgb(a, 0) + rgb(a, 1) + rgb(a, 2) + 1, rgb(b, 0) + rgb(b, 1) + rgb(b, 2)) << a;
      EXPECT_GE(rgb(c, 0) + rgb(c, 1) + rgb(c, 2) + 1, rgb(e, 0) + rgb(e, 1) + rgb(e, 2)) << c;
    }
  }
  EXPECT_GE(diffuse[220], diffuse[720 + 220]);  // warm sunlight
}

TEST(MakeDataTextures, TileWithoutSeams) {
  // Compare the jumps across the tile's wrap, both ways, with the jumps
  // between two inner columns and rows.
  const makedata::Image images[] = {makedata::MakeGroundTexture(256, 7), makedata::MakeOverlayTexture(256, 7),
                                    makedata::MakeDetailTexture(256, 7), makedata::MakeNormalMap(256, 7)};
  for (const makedata::Image& image : images) {
    auto px = [&](int x, int y, int c) {
      return static_cast<double>(image.pixels[(y * 256 + x) * image.channels + c]);
    };
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

TEST(MakeDataRandom, SameSeedSameSequence) {
  makedata::Rng a(99), b(99), c(100);
  for (int i = 0; i < 8; ++i) {
    const auto va = a.Next();
    EXPECT_EQ(va, b.Next());
    EXPECT_NE(va, c.Next());
  }
  // splitmix64's published first output for seed 0.
  makedata::Rng zero(0);
  EXPECT_EQ(zero.Next(), 0xE220A8397B1DCDAFull);
  EXPECT_NEAR(makedata::SinDegrees(30.0), 0.5, 1e-12);
  EXPECT_NEAR(makedata::SinDegrees(-270.0), 1.0, 1e-12);
  EXPECT_NEAR(makedata::SinDegrees(500.0), std::sin(140.0 * M_PI / 180.0), 1e-12);
}

}  // namespace
