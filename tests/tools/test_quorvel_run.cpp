// Whole runs of quorvel-run (and the live-host binary on the offscreen
// driver) in temporary folders: exit codes, summaries and the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "testing/run_util.h"
#include "testing/temp_log.h"

namespace {

using namespace qv::test;

class QuorvelRun : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.Ok()); }
  void WriteFile(const std::string& name, const std::string& text) { tmp_.WriteFile(name, text); }
  RunResult RunHere(const std::string& args) {
    return RunCommand(std::string(QUORVEL_RUN_BIN) + " --dir " + dir_ + " " + args);
  }
  TempDir tmp_;
  const std::string dir_ = tmp_.Dir();
};

const char* kErrorBanner = "***********************ERROR*************************";
const char* kFatalBanner = "FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL";

TEST_F(QuorvelRun, EmptyFolderEndsWithTheFatalStartupError) {
  const RunResult r = RunHere("--frames 5");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Field(r.out, "exit_code"), "0");
  const std::string logPath = Field(r.out, "log");
  ASSERT_EQ(logPath.rfind(dir_ + "/Log_", 0), 0u) << logPath;
  const std::vector<std::string> log = Lines(logPath);
  ASSERT_GE(log.size(), 10u);
  EXPECT_EQ(log[4], "Winmain");
  const int heightmap = Find(log, "[LoadHM]:  Could not read RAW file");
  ASSERT_GE(heightmap, 1);
  // From the heightmap's error to the last line but the closing time: the
  // textures load, and fail, before the parameter file's test.
  EXPECT_EQ(
      std::vector<std::string>(log.begin() + heightmap - 1, log.end() - 1),
      (std::vector<std::string>{kErrorBanner, "[LoadHM]:  Could not read RAW file", "COULDNT LOAD TEXTURE",
                                kErrorBanner, "[Game Initialize()]:  Could not read ReadMe file",
                                kFatalBanner, "[Winmain]:  Error game initialization", "[Average FPS: ]:  0",
                                "[Game Cleanup]:  Cleaning...", "[Game Cleanup]:  Cleaning Done", "Winmain",
                                "------ ENDING WITH 3 errors!"}));
}

// A heightmap that never ends (/dev/zero) must not hang start-up: it is
// refused with the read error, and a SIGTERM sent meanwhile finds a run that
// ends promptly with its log closed (a hung run is killed after 30 s).
TEST_F(QuorvelRun, EndlessHeightmapAndSigtermEndPromptly) {
  WriteFile("Readme.txt", "PatchSize 16 Levels 4 MaxVertices 65536 T0 a.bmp T1 b.tga T2 c.jpg T3 d.png");
  ASSERT_EQ(RunCommand("ln -s /dev/zero " + dir_ + "/HeightMap20.raw").exitCode, 0);
  const RunResult r =
      RunCommand("sh -c '" + std::string(QUORVEL_RUN_BIN) + " --dir " + dir_ +
                 " --frames 100000 & pid=$!; sleep 1; kill -TERM $pid 2>/dev/null; i=0;"
                 " while kill -0 $pid 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done;"
                 " if kill -0 $pid 2>/dev/null; then kill -KILL $pid; echo hung; fi; wait $pid'");
  EXPECT_EQ(r.out.find("hung"), std::string::npos);
  const std::vector<std::string> log = Lines(Field(r.out, "log"));
  EXPECT_GT(Find(log, "[LoadHM]:  Could not read RAW file"), 0);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().rfind("------ Ending Log at (GMT): ", 0), 0u) << log.back();
}

// The main job's flight, twice with the same --epoch side by side, once with
// draw skipping and once without: every screenshot and the whole log are the
// same byte for byte (the log named and dated by the epoch), so a scripted run
// repeats exactly and skipping never changes a pixel. With the next second as
// epoch the paint seed, and so the picture of the squares painted at frames
// 133 to 145 (in view at frame 160), differs. Every shot, all taken after the
// climb, is at most half sky (the clear colour).
TEST_F(QuorvelRun, MainFlightRepeatsExactlyWithAndWithoutDrawSkipping) {
  namespace fs = std::filesystem;
  const std::string data = dir_ + "/data";
  ASSERT_EQ(RunCommand(std::string(QUORVEL_MAKEDATA_BIN) + " " + data + " --seed 1").exitCode, 0);
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const int frames[] = {60, 124, 160, 180, 236, 300, 390};
  struct Run {
    const char* name;
    const char* env;
    const char* epoch;
    int last;  // the last frame shot
    RunResult result;
  } runs[] = {{"skip", "", "1000000000", 390, {}},
              {"noskip", "QUORVEL_NO_DRAW_SKIP=1 ", "1000000000", 390, {}},
              {"later", "", "1000000001", 160, {}}};
  for (Run& run : runs) fs::copy(data, dir_ + "/" + run.name, fs::copy_options::recursive);
  auto start = [&](Run& run) {
    const std::string dir = dir_ + "/" + run.name;
    std::string args = " --dir " + dir + " --clock 51 --input " + QUORVEL_SOURCE_DIR +
                       "/scripts/flight.input --epoch " + run.epoch + " --frames " +
                       std::to_string(run.last + 1);
    for (int f : frames)
      if (f <= run.last)
        args += " --shot " + std::to_string(f) + ":" + dir + "/" + std::to_string(f) + ".png";
    run.result = RunCommand(std::string(run.env) + QUORVEL_RUN_BIN + args);
  };
  std::thread second([&] { start(runs[1]); });
  start(runs[0]);
  second.join();
  start(runs[2]);
  for (const Run& run : runs) {
    ASSERT_EQ(run.result.exitCode, 0) << run.result.out;
    ASSERT_EQ(Field(run.result.out, "log"), dir_ + "/" + run.name + "/Log_" + run.epoch + ".log");
  }
  EXPECT_GT(std::atof(Field(runs[0].result.out, "draws_skipped_per_frame").c_str()), 100.0);
  EXPECT_EQ(std::atof(Field(runs[1].result.out, "draws_skipped_per_frame").c_str()), 0.0);
  const std::string log = read(Field(runs[0].result.out, "log"));
  EXPECT_EQ(log, read(Field(runs[1].result.out, "log")));
  EXPECT_NE(log.find("Beginning Log at (GMT): Sun Sep 09 01:46:40 2001"), std::string::npos);
  for (int f : frames) {
    const std::string path = dir_ + "/skip/" + std::to_string(f) + ".png";
    const std::string shot = read(path);
    ASSERT_FALSE(shot.empty()) << f;
    EXPECT_TRUE(shot == read(dir_ + "/noskip/" + std::to_string(f) + ".png")) << "frame " << f;
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(ReadPngRgb(path, w, h, rgb)) << f;
    std::size_t sky = 0;  // the clear colour 0x8264FF after the 5-6-5 back buffer
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
      sky += rgb[i] == 0x84 && rgb[i + 1] == 0x65 && rgb[i + 2] == 0xFF;
    EXPECT_LE(sky * 2, rgb.size() / 3) << "frame " << f << " is more than half sky";
  }
  EXPECT_FALSE(read(dir_ + "/skip/160.png") == read(dir_ + "/later/160.png"))
      << "the paint strokes are seeded from the calendar time";
}

}  // namespace
