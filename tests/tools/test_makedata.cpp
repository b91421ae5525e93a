// quorvel-makedata: the data set is complete, byte-identical for a seed, and
// each file has the shape the viewer reads.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <png.h>

#include "testing/run_util.h"
#include "testing/temp_log.h"
#include "tools/quorvel-makedata/makedata.h"

namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunTool(const std::string& arguments, const std::string& errors = "/dev/null",
            const std::string& output = "/dev/null") {
  const int status = std::system(
      (std::string(QUORVEL_MAKEDATA_BIN) + " " + arguments + " 2>" + errors + " >" + output).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

class MakeData : public ::testing::Test {
 protected:
  qv::test::TempDir m_Tmp;
  fs::path m_Root = m_Tmp.Dir();
};

TEST_F(MakeData, ToolWritesTheSameBytesForTheSameSeed) {
  const fs::path summary = m_Root / "summary", errors = m_Root / "errors";
  ASSERT_EQ(RunTool((m_Root / "tool").string() + " --seed 7", "/dev/null", summary.string()), 0);
  EXPECT_EQ(FirstLine(summary), "wrote " + (m_Root / "tool").string() +
                                    ": a 1024 x 1024 map generated from seed 7, heights 0..255");
  std::string error;
  ASSERT_TRUE(makedata::WriteDataSet((m_Root / "lib").string(), 7, &error)) << error;
  for (const char* name : {"Readme.txt", "HeightMap20.raw", "Diffuse.raw", "Ambient.raw", "ground.bmp",
                           "overlay.tga", "detail.jpg", "bump.png"}) {
    const auto bytes = ReadAll(m_Root / "tool" / name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes, ReadAll(m_Root / "lib" / name)) << name;
  }
  const auto other = makedata::MakeHeightMap(1024, 8);
  EXPECT_NE(ReadAll(m_Root / "tool" / "HeightMap20.raw"),
            std::vector<unsigned char>(other.begin(), other.end()));
  // splitmix64's published first output for seed 0: the same on every machine.
  EXPECT_EQ(makedata::Rng(0).Next(), 0xE220A8397B1DCDAFull);

  // Seeds are whole numbers of 64 bits, nothing that wraps or reads in another base.
  for (const char* seed : {"abc", "' -1'", "18446744073709551616", "0x10"}) {
    EXPECT_EQ(RunTool((m_Root / "x").string() + " --seed " + seed, errors.string()), 2) << seed;
    EXPECT_NE(FirstLine(errors).find("--seed needs a whole number"), std::string::npos) << seed;
  }
  EXPECT_FALSE(fs::exists(m_Root / "x"));
  const fs::path notAFolder = m_Root / "tool" / "Readme.txt" / "sub";
  EXPECT_EQ(RunTool(notAFolder.string(), errors.string()), 1);
  EXPECT_EQ(FirstLine(errors),
            "quorvel-makedata: cannot make the folder " + notAFolder.string() + ": Not a directory");
}

TEST_F(MakeData, FilesHaveTheShapesTheViewerReads) {
  std::string error;
  ASSERT_TRUE(makedata::WriteDataSet(m_Root.string(), 7, &error)) << error;
  std::ifstream in(m_Root / "Readme.txt");
  std::vector<std::string> words{std::istream_iterator<std::string>(in),
                                 std::istream_iterator<std::string>()};
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
  std::vector<int> alpha;
  for (std::size_t i = 18 + 3; i < tga.size(); i += 4) alpha.push_back(tga[i]);
  EXPECT_LT(*std::min_element(alpha.begin(), alpha.end()), 32);  // the alpha varies over most of its range
  EXPECT_GT(*std::max_element(alpha.begin(), alpha.end()), 224);
  const auto jpeg = ReadAll(m_Root / "detail.jpg");
  ASSERT_GT(jpeg.size(), 2u);
  EXPECT_EQ(jpeg[0] << 8 | jpeg[1], 0xFFD8);

  // The normal map decodes to unit normals facing out of the surface.
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(qv::test::ReadPngRgb((m_Root / "bump.png").string(), width, height, rgb));
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
    auto brightness = [t](int d) { return t[d % 360] + t[360 + d % 360] + t[720 + d % 360]; };
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
  for (const makedata::Image& image :
       {makedata::MakeGroundTexture(256, 7), makedata::MakeOverlayTexture(256, 7),
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

// ---- importing the user's own terrain ----

// Heights 0..1 at (u, v) in 0..1: a slope rising to the south-east, a
// cone with its top in the middle, or stripes: every other column high,
// which averages to a half.
enum class Shape { Slope, Cone, Stripes };
double ShapeAt(Shape shape, double u, double v) {
  if (shape == Shape::Slope) return (u + v) / 2;
  if (shape == Shape::Stripes) return 0.5;
  return std::max(0.0, 1.0 - 2.0 * std::hypot(u - 0.5, v - 0.5));
}

enum class Format { Png16, PngColour, Pgm8, Pgm16, Raw16 };

// Writes the shape sampled at sample centres, `top` the highest value, and
// returns the samples.
std::vector<unsigned> WriteSource(const fs::path& path, Format format, Shape shape, int w, int h,
                                  unsigned top) {
  std::vector<unsigned> samples;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      samples.push_back(shape == Shape::Stripes
                            ? top * (x % 2)
                            : unsigned(std::lround(top * ShapeAt(shape, (x + 0.5) / w, (y + 0.5) / h))));
  std::vector<unsigned char> bytes;
  if (format == Format::Png16 || format == Format::PngColour) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = format == Format::Png16 ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_RGB;
    std::vector<png_uint_16> grey(samples.begin(), samples.end());
    std::vector<png_byte> rgb;
    for (unsigned s : samples) rgb.insert(rgb.end(), {0, png_byte(s), 0});  // green only
    EXPECT_TRUE(png_image_write_to_file(
        &image, path.c_str(), 0, format == Format::Png16 ? static_cast<void*>(grey.data()) : rgb.data(), 0,
        nullptr));
    return samples;
  }
  if (format != Format::Raw16) {
    const std::string header = "P5\n# made by the test\n" + std::to_string(w) + " " + std::to_string(h) +
                               "\n" + std::to_string(top) + "\n";
    bytes.assign(header.begin(), header.end());
  }
  for (unsigned s : samples) {
    if (format == Format::Pgm16) bytes.push_back(static_cast<unsigned char>(s >> 8));
    bytes.push_back(static_cast<unsigned char>(s));
    if (format == Format::Raw16) bytes.push_back(static_cast<unsigned char>(s >> 8));
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return samples;
}

// Each source comes out as the 8-bit map of its shape within one step:
// shrinking (area average), enlarging (bilinear), a non-square source, colour
// as luminance, raw little-endian samples and a fixed height range.
TEST_F(MakeData, ImportedTerrainKeepsItsShape) {
  struct Case {
    const char* name;
    Format format;
    Shape shape;
    int w, h;
    unsigned top;
    double low, high;  // --height-range; low == high: the data's own range
  };
  const Case cases[] = {
      {"png16_shrunk", Format::Png16, Shape::Cone, 2048, 2048, 65535, 0, 0},
      {"pgm16_enlarged", Format::Pgm16, Shape::Slope, 32, 24, 60000, 0, 0},
      {"pgm8_stripes", Format::Pgm8, Shape::Stripes, 2048, 512, 255, 0, 0},
      {"png_colour", Format::PngColour, Shape::Slope, 256, 256, 255, 0, 0},
      {"raw16_range", Format::Raw16, Shape::Cone, 1024, 1024, 40000, -1000, 79000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path source = m_Root / c.name, out = m_Root / (std::string(c.name) + "_data");
    const std::vector<unsigned> samples = WriteSource(source, c.format, c.shape, c.w, c.h, c.top);
    std::string args = out.string() + " --heightmap " + source.string();
    if (c.format == Format::Raw16) args += " --raw-size " + std::to_string(c.w) + "x" + std::to_string(c.h);
    if (c.low != c.high) args += " --height-range " + std::to_string(c.low) + ":" + std::to_string(c.high);
    ASSERT_EQ(RunTool(args, (m_Root / "stderr").string(), (m_Root / "stdout").string()), 0);
    const auto notes = ReadAll(m_Root / "stderr");
    EXPECT_EQ(std::string(notes.begin(), notes.end()).find("not square") != std::string::npos, c.w != c.h);

    const auto map = ReadAll(out / "HeightMap20.raw");
    ASSERT_EQ(map.size(), 1024u * 1024u);
    EXPECT_TRUE(fs::is_regular_file(out / "Readme.txt"));
    double low = c.low, high = c.high;
    if (low == high) {
      low = *std::min_element(samples.begin(), samples.end());
      high = *std::max_element(samples.begin(), samples.end());
    }
    // The summary names the folder, the source and the heights that became
    // 0 and 255 (for colour, in units of luminance).
    const std::string summary = "wrote " + out.string() + ": a 1024 x 1024 map from " + source.string() +
                                " (" + std::to_string(c.w) + " x " + std::to_string(c.h) + "), heights " +
                                std::to_string(int(low)) + ".." + std::to_string(int(high)) + " to 0..255";
    if (c.format != Format::PngColour) {
      EXPECT_EQ(FirstLine(m_Root / "stdout"), summary);
    }
    // Output centres, held within the outermost sample centres (edges clamp).
    auto at = [](int i, int n) { return std::clamp((i + 0.5) / 1024, 0.5 / n, 1 - 0.5 / n); };
    int worst = 0;
    for (int j = 0; j < 1024; ++j)
      for (int i = 0; i < 1024; ++i) {
        const double height = c.top * ShapeAt(c.shape, at(i, c.w), at(j, c.h));
        const double expected = std::clamp(255.0 * (height - low) / (high - low), 0.0, 255.0);
        const int error = int(std::lround(std::fabs(map[j * 1024 + i] - expected)));
        if (error > worst) worst = error;
      }
    EXPECT_LE(worst, 1);
  }
}

// Bad input: one line on stderr and exit code 1, and no folder written;
// bad option values, and --raw-size for an image file: exit code 2 with the
// usage. A flat map (a flat file, or heights outside --height-range) is
// written, with a warning that says why it is flat.
TEST_F(MakeData, ImportRejectsBadInputClearly) {
  WriteSource(m_Root / "good.png", Format::Png16, Shape::Cone, 64, 64, 1000);
  WriteSource(m_Root / "good.raw", Format::Raw16, Shape::Cone, 64, 64, 1000);
  const auto png = ReadAll(m_Root / "good.png");
  m_Tmp.WriteFile("cut.png", std::string(png.begin(), png.begin() + png.size() / 2));
  m_Tmp.WriteFile("cut.pgm", "P5 64 64 65535\n" + std::string(100, 'x'));
  m_Tmp.WriteFile("wide.pgm", "P5 70000 2 255\n");
  m_Tmp.WriteFile("many.pgm", "P5 11586 11586 255\n");  // just over 2^27 samples
  m_Tmp.WriteFile("text.txt", "hello\n");
  m_Tmp.WriteFile("flat.pgm", "P5 1 1 9\n\x07");
  m_Tmp.WriteFile("small.pgm", "P5 2 1 9\n\x07\x08");
  struct Case {
    std::string args;
    int exitCode;
    const char* says;
  };
  const Case cases[] = {
      {"--heightmap missing.png", 1, "cannot open"},
      {"--heightmap text.txt", 1, "unsupported format"},
      {"--heightmap cut.png", 1, "truncated"},
      {"--heightmap cut.pgm", 1, "truncated"},
      {"--heightmap wide.pgm", 1, "too large (at most 65535 a side)"},
      {"--heightmap many.pgm", 1, "too large (at most 134217728 samples)"},
      {"--heightmap good.raw --raw-size 64x65", 1, "truncated"},
      {"--heightmap flat.pgm", 0, "flat map (every height 0): every sample is 7"},
      {"--heightmap good.png --height-range 2000:3000", 0, "flat map (every height 0): its heights, 0 to"},
      {"--heightmap good.png --raw-size 0x5", 2, "--raw-size"},
      {"--heightmap good.png --raw-size 64x64", 2, "good.png is a PNG image, not a raw grid"},
      {"--heightmap small.pgm --raw-size 64x64", 2, "small.pgm is a PGM image, not a raw grid"},
      {"--heightmap good.png --height-range 5:5", 2, "--height-range"},
      {"--raw-size 64x64", 2, "--heightmap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::error_code ec;
    fs::remove_all(m_Root / "out", ec);
    EXPECT_EQ(RunTool("out " + c.args, "stderr"), c.exitCode);
    std::ifstream in(m_Root / "stderr");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("quorvel-makedata: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(c.says), std::string::npos) << lines[0];
    if (c.exitCode == 1) {
      EXPECT_EQ(lines.size(), 1u);
    } else if (c.exitCode == 2) {
      EXPECT_EQ(lines[1].rfind("usage: quorvel-makedata", 0), 0u);
    } else {
      EXPECT_EQ(ReadAll(m_Root / "out" / "HeightMap20.raw"), std::vector<unsigned char>(1024 * 1024, 0));
    }
    EXPECT_EQ(fs::exists(m_Root / "out"), c.exitCode == 0);
  }
}

}  // namespace
