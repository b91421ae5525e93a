// Whole runs of quorvel-run on the default data set (and variants of it),
// judged from the screenshots and the log: terrain, fog, time of day, seams
// between detail levels, painting, and damaged data files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "testing/run_util.h"
#include "testing/tex_test_files.h"

namespace fs = std::filesystem;

namespace {

using namespace qv::test;

struct Rgb {
  int r, g, b;
};

// The clear colour 0xFF8264FF and the fog colour 0xFF8282B4 after a 5-6-5
// back buffer, widened back to 8 bits.
constexpr Rgb kClear{0x84, 0x65, 0xFF};
constexpr Rgb kFog{0x84, 0x82, 0xB5};

int Distance(const Rgb& a, const Rgb& b) {
  return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  bool Read(const fs::path& png) { return ReadPngRgb(png.string(), width, height, rgb); }
  Rgb At(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  bool IsClear(int x, int y) const { return Distance(At(x, y), kClear) <= 6; }
  // First row from the top that is not the clear colour; height if none.
  int Silhouette(int x) const {
    int y = 0;
    while (y < height && IsClear(x, y)) ++y;
    return y;
  }
};

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Text(const qv::textest::Bytes& b) { return std::string(b.begin(), b.end()); }

// A 24-bit BMP of w x h pixels, given top row first.
std::string Bmp(int w, int h, const std::vector<Rgb>& pixels) {
  qv::textest::DibShape s;
  s.width = w;
  s.height = h;
  s.rows.resize(h);
  for (int i = 0; i < w * h; ++i)
    s.rows[i / w].insert(s.rows[i / w].end(),
                         {std::uint8_t(pixels[i].b), std::uint8_t(pixels[i].g), std::uint8_t(pixels[i].r)});
  return Text(qv::textest::MakeBmp(s));
}

// Turn 45 degrees right and tilt up in the first frames, climb with the left
// button held, then tilt down again to look over the map to the far plane.
const char* const kFlight =
    "1 move 471 -384\n"
    "2 move 0 -384\n"
    "3 button 0 down\n"
    "23 button 0 up\n"
    "24 move 0 384\n"
    "25 move 0 384\n"
    "26 move 0 150\n";
constexpr int kFlightShot = 27;

class Picture : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = MakeTempDir("qv_picture");
    ASSERT_FALSE(m_dir.empty());
    const RunResult made =
        RunCommand(std::string(QUORVEL_MAKEDATA_BIN) + " " + (m_dir / "data").string() + " --seed 1");
    ASSERT_EQ(made.exitCode, 0) << made.out;
  }
  void TearDown() override {
    std::error_code ec;
    // Folders of failed tests stay for a look, as do all with QUORVEL_KEEP_TEST_DIRS set.
    if (!HasFailure() && !std::getenv("QUORVEL_KEEP_TEST_DIRS")) fs::remove_all(m_dir, ec);
  }

  // A copy of the default data set in a folder of its own.
  fs::path Variant(const std::string& name) {
    const fs::path dir = m_dir / name;
    fs::copy(m_dir / "data", dir, fs::copy_options::recursive);
    return dir;
  }

  // Runs quorvel-run in dir with a script and shots; returns the summary. A
  // fixed epoch seeds the paint stroke, so every run paints alike.
  RunResult RunIn(const fs::path& dir, int frames, int clock, const std::string& script,
                  const std::vector<std::pair<int, std::string>>& shots, const std::string& env = "") {
    std::string args = " --dir " + dir.string() + " --frames " + std::to_string(frames) + " --clock " +
                       std::to_string(clock) + " --epoch 1000000";
    if (!script.empty()) {
      WriteFile(dir / "input.txt", script);
      args += " --input " + (dir / "input.txt").string();
    }
    for (const auto& shot : shots) {
      args += " --shot " + std::to_string(shot.first) + ":" + (dir / shot.second).string();
    }
    return RunCommand(env + " SDL_VIDEODRIVER=offscreen " + std::string(QUORVEL_RUN_BIN) + args);
  }

  fs::path m_dir;
};

// Clear-colour pixels below each column's silhouette (skipping the first
// rows, where the far plane cuts the terrain): a gap in the surface shows
// the background through it.
int HolesBelowSilhouette(const Image& im, int margin) {
  int holes = 0;
  for (int x = 0; x < im.width; ++x) {
    for (int y = im.Silhouette(x) + margin; y < im.height; ++y) {
      if (im.IsClear(x, y)) ++holes;
    }
  }
  return holes;
}

// The main flight over the default map, and over a map where every odd row
// and column is a deep trench: coarser levels skip the odd samples, so an
// unstitched edge between two levels opens a slot through which the
// background shows.
TEST_F(Picture, FlightShowsTerrainWithoutCracksFadingIntoFog) {
  std::string trenches(1024 * 1024, '\0');
  for (int z = 0; z < 1024; z += 2)
    for (int x = 0; x < 1024; x += 2) trenches[static_cast<size_t>(z) * 1024 + x] = static_cast<char>(230);
  for (const bool trenched : {false, true}) {
    SCOPED_TRACE(trenched ? "trenches" : "default map");
    const fs::path dir = trenched ? Variant("trenches") : m_dir / "data";
    if (trenched) WriteFile(dir / "HeightMap20.raw", trenches);
    const RunResult r = RunIn(dir, kFlightShot + 2, 1, kFlight, {{kFlightShot, "flight.png"}});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_FALSE(Has(Lines(Field(r.out, "log")), "COULDNT LOAD TEXTURE"));
    // More draws than patches: some patches stitch to a coarser neighbour, so
    // two levels of detail share edges in this frame.
    EXPECT_GT(std::atof(Field(r.out, "draws_per_frame").c_str()), 4096.0) << r.out;

    Image im;
    ASSERT_TRUE(im.Read(dir / "flight.png"));
    ASSERT_EQ(im.width, 1024);
    ASSERT_EQ(im.height, 768);
    // Sky above, terrain in every column, and no background inside it.
    EXPECT_TRUE(im.IsClear(512, 5));
    for (int x = 0; x < im.width; ++x) ASSERT_LT(im.Silhouette(x), im.height / 2) << x;
    EXPECT_EQ(HolesBelowSilhouette(im, 3), 0);
    if (trenched) continue;

    // The farthest terrain (just under the silhouette) is mostly fog colour;
    // the nearest (the bottom rows) is not.
    long far = 0, near = 0;
    for (int x = 0; x < im.width; ++x) {
      const int top = im.Silhouette(x);
      for (int y = top; y < top + 3; ++y) far += Distance(im.At(x, y), kFog);
      for (int y = im.height - 40; y < im.height; ++y) near += Distance(im.At(x, y), kFog);
    }
    EXPECT_LT(static_cast<double>(far) / (im.width * 3), 80.0);
    EXPECT_GT(static_cast<double>(near) / (im.width * 40), 200.0);
  }
}

TEST_F(Picture, DuskIsBrighterThanNightAsTheTablesSay) {
  const fs::path dir = m_dir / "data";
  // A 60 ms frame steps the clock by 0.1 hour every frame: frame 1 is at
  // about hour 0.1 to 0.2, frame 12 at about hour 1.2 to 1.3.
  const RunResult r = RunIn(dir, 14, 60, "", {{1, "dusk.png"}, {12, "night.png"}});
  ASSERT_EQ(r.exitCode, 0) << r.out;

  // The default tables darken after dusk (pinned where the data set is made).
  Image dusk, night;
  ASSERT_TRUE(dusk.Read(dir / "dusk.png"));
  ASSERT_TRUE(night.Read(dir / "night.png"));
  // The camera has not moved: compare the pixels that show terrain in both.
  double duskSum = 0, nightSum = 0;
  long count = 0;
  for (int y = 0; y < dusk.height; ++y) {
    for (int x = 0; x < dusk.width; ++x) {
      if (dusk.IsClear(x, y) || night.IsClear(x, y)) continue;
      const Rgb a = dusk.At(x, y), b = night.At(x, y);
      duskSum += a.r + a.g + a.b;
      nightSum += b.r + b.g + b.b;
      ++count;
    }
  }
  ASSERT_GT(count, 10000);
  EXPECT_GT(duskSum, nightSum * 1.2) << duskSum / count << " vs " << nightSum / count;
}

TEST_F(Picture, APaintedSquareShowsOneTexel) {
  // A flat map lit by an even ambient colour and no diffuse light, a ground
  // of 16 x 16 random texels, a fully transparent overlay and a flat bump
  // map: the unpainted ground shows the texels, and a square that samples
  // one texel is one flat colour.
  const fs::path dir = Variant("paint");
  WriteFile(dir / "HeightMap20.raw", std::string(1024 * 1024, '\x32'));
  WriteFile(dir / "Ambient.raw", std::string(1080, '\xCC'));
  WriteFile(dir / "Diffuse.raw", std::string(1080, '\0'));
  unsigned seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) & 255);
  };
  std::vector<Rgb> texels(256);
  for (Rgb& t : texels) t = {next(), next(), next()};
  WriteFile(dir / "ground.bmp", Bmp(16, 16, texels));
  qv::textest::TgaShape clear;  // 4 x 4 pixels of transparent black, 32 bits
  clear.bits = 32;
  clear.descriptor = 8;
  clear.width = clear.height = 4;
  clear.pixels.assign(64, 0);
  WriteFile(dir / "clear.tga", Text(qv::textest::MakeTga(clear)));
  WriteFile(dir / "flat.bmp", Bmp(4, 4, std::vector<Rgb>(16, Rgb{128, 128, 255})));
  WriteFile(dir / "Readme.txt",
            "PatchSize 16\nLevels 4\nMaxVertices 65536\nTexture0 ground.bmp\nTexture1 clear.tga\n"
            "Texture2 ground.bmp\nTexture3 flat.bmp\n");

  // Climb straight ahead, paint, then look almost straight down.
  const std::string climb =
      "1 move 471 -384\n"
      "3 button 0 down\n"
      "33 button 0 up\n";
  const std::string lookDown =
      "36 move 0 384\n"
      "37 move 0 384\n"
      "38 move 0 384\n"
      "39 move 0 132\n";
  const RunResult painted =
      RunIn(dir, 43, 1, climb + "34 key 25 down\n35 key 25 up\n" + lookDown, {{41, "painted.png"}});
  ASSERT_EQ(painted.exitCode, 0) << painted.out;
  const std::vector<std::string> log = Lines(Field(painted.out, "log"));
  EXPECT_FALSE(Has(log, "COULDNT LOAD TEXTURE"));
  const RunResult plain = RunIn(dir, 43, 1, climb + lookDown, {{41, "plain.png"}});
  ASSERT_EQ(plain.exitCode, 0) << plain.out;

  Image a, b;
  ASSERT_TRUE(a.Read(dir / "painted.png"));
  ASSERT_TRUE(b.Read(dir / "plain.png"));
  std::vector<char> changed(static_cast<size_t>(a.width) * a.height, 0);
  int x0 = a.width, x1 = -1, y0 = a.height, y1 = -1, count = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (Distance(a.At(x, y), b.At(x, y)) == 0) continue;
      changed[static_cast<size_t>(y) * a.width + x] = 1;
      std::tie(x0, x1, y0, y1) =
          std::make_tuple(std::min(x0, x), std::max(x1, x), std::min(y0, y), std::max(y1, y));
      ++count;
    }
  }
  // One compact square below the camera, near the middle of the frame.
  ASSERT_GT(count, 2000);
  EXPECT_LT(x1 - x0, 400);
  EXPECT_LT(y1 - y0, 400);
  EXPECT_GT(x1, a.width / 4);
  EXPECT_LT(x0, a.width * 3 / 4);
  EXPECT_GT(y1, a.height / 4);
  EXPECT_LT(y0, a.height * 3 / 4);

  // The core of the square: pixels 12 away from anything unchanged, clear
  // of the edge quads whose coordinates run from the painted texel back to
  // the ground's own.
  constexpr int kMargin = 12;
  auto core = [&](int x, int y) {
    if (x < kMargin || y < kMargin || x >= a.width - kMargin || y >= a.height - kMargin) return false;
    for (int dy = -kMargin; dy <= kMargin; dy += kMargin / 2) {
      for (int dx = -kMargin; dx <= kMargin; dx += kMargin / 2) {
        if (!changed[static_cast<size_t>(y + dy) * a.width + x + dx]) return false;
      }
    }
    return true;
  };
  // Spread of each channel over the core, in the painted and the plain frame.
  double sum[2][3] = {}, squares[2][3] = {};
  long pixels = 0;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if (!core(x, y)) continue;
      ++pixels;
      for (int i = 0; i < 2; ++i) {
        const Rgb p = (i == 0 ? a : b).At(x, y);
        const int c[3] = {p.r, p.g, p.b};
        for (int k = 0; k < 3; ++k) {
          sum[i][k] += c[k];
          squares[i][k] += static_cast<double>(c[k]) * c[k];
        }
      }
    }
  }
  ASSERT_GT(pixels, 500);
  auto spread = [&](int i, int k) {
    return std::sqrt(squares[i][k] / pixels - (sum[i][k] / pixels) * (sum[i][k] / pixels));
  };
  for (int k = 0; k < 3; ++k) {
    // The 16-bit back buffer is dithered: a flat colour it cannot hold
    // exactly takes two neighbouring values, at most half a 5-bit step apart
    // from their mean (a second texel would spread it far wider).
    EXPECT_LT(spread(0, k), 255.0 / 31.0 / 2.0) << "channel " << k;
    EXPECT_GT(spread(1, k), 10.0) << "channel " << k;
  }
}

// A data file missing or damaged: the run logs the failure and ends through
// the normal shutdown, with exit code 1 for the failed start-up (a short
// colour table is read as far as it goes, and is no failure).
struct DamageCase {
  const char* name;
  const char* file;
  const char* contents;  // null: the file is removed
  std::vector<const char*> expected;
  bool countedError;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

const char* const kNoHeightmap = "[LoadHM]:  Could not read RAW file";
const char* const kNoSky = "[Load SkyMap]:  Could not read SkyMap file";
const char* const kNoTexture = "COULDNT LOAD TEXTURE";
const char* const kNoReadme = "[Game Initialize()]:  Could not read ReadMe file";
const char* const kStartupFailed = "[Winmain]:  Error game initialization";

class PictureDamage : public Picture, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(PictureDamage, LogsTheFailureAndEndsNormally) {
  const DamageCase& c = GetParam();
  const fs::path dir = Variant(c.name);
  if (c.contents) {
    WriteFile(dir / c.file, c.contents);
  } else {
    fs::remove(dir / c.file);
  }
  const RunResult r = RunIn(dir, 3, 20, "", {{2, "shot.png"}});
  const std::vector<std::string> log = Lines(Field(r.out, "log"));
  ASSERT_FALSE(log.empty()) << r.out;
  const bool failed = c.countedError || Has(log, kNoTexture);
  EXPECT_EQ(r.exitCode, failed ? 1 : 0) << r.out;
  EXPECT_EQ(Field(r.out, "exit_code"), failed ? "1" : "0");
  for (const char* line : c.expected) EXPECT_TRUE(Has(log, line)) << line;
  const std::string& ending = log[log.size() - 2];
  if (c.countedError) {
    EXPECT_EQ(ending.rfind("------ ENDING WITH ", 0), 0u) << ending;
  } else {
    EXPECT_EQ(ending, "------ ENDING SUCCESSFULLY! \"And there was much rejoicing\"");
  }
  // A failed start-up quits before the first frame; otherwise all three frames run.
  EXPECT_EQ(fs::exists(dir / "shot.png"), !Has(log, kStartupFailed));
  EXPECT_EQ(Field(r.out, "frames"), Has(log, kStartupFailed) ? "0" : "3") << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    EachFile, PictureDamage,
    ::testing::Values(
        DamageCase{"heightmap_missing", "HeightMap20.raw", nullptr, {kNoHeightmap}, true},
        DamageCase{"diffuse_missing", "Diffuse.raw", nullptr, {kNoSky}, true},
        DamageCase{"diffuse_short", "Diffuse.raw", "short", {"[]:  Skymaps loaded"}, false},
        DamageCase{"ground_missing", "ground.bmp", nullptr, {kNoTexture}, false},
        DamageCase{"ground_damaged", "ground.bmp", "BM not a bitmap", {kNoTexture}, false},
        DamageCase{"overlay_damaged", "overlay.tga", "\x01\x02\x03", {kNoTexture}, false},
        DamageCase{"detail_damaged", "detail.jpg", "\xFF\xD8\xFF\xE0 cut", {kNoTexture}, false},
        DamageCase{"bump_damaged", "bump.png", "\x89PNG\r\n\x1a\n cut", {kNoTexture}, false},
        DamageCase{"readme_missing", "Readme.txt", nullptr, {kNoTexture, kNoReadme, kStartupFailed}, true},
        DamageCase{"readme_damaged",
                   "Readme.txt",
                   "PatchSize sixteen Levels 4 MaxVertices 65536 a ground.bmp b overlay.tga c "
                   "detail.jpg d bump.png",
                   {kNoReadme, kStartupFailed},
                   true}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

}  // namespace
