// Whole runs of quorvel-run (and the live-host binary on the offscreen
// driver) in temporary folders: exit codes, summaries and the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/run_util.h"

namespace {

using namespace qv::test;

class QuorvelRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("qvrun");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    std::error_code ec;
    if (!HasFailure()) std::filesystem::remove_all(dir_, ec);
  }
  void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  RunResult RunHere(const std::string& args) {
    return RunCommand(std::string(QUORVEL_RUN_BIN) + " --dir " + dir_ + " " + args);
  }
  std::string dir_;
};

const char* kErrorBanner = "***********************ERROR*************************";
const char* kFatalBanner = "FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL";

TEST_F(QuorvelRun, EmptyFolderEndsWithTheFatalStartupError) {
  const RunResult r = RunHere("--frames 5");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Field(r.out, "exit_code"), "0");
  EXPECT_NE(Field(r.out, "frames"), "");
  EXPECT_NE(Field(r.out, "frame_ms_median"), "");
  const std::string logPath = Field(r.out, "log");
  ASSERT_EQ(logPath.rfind(dir_ + "/Log_", 0), 0u) << logPath;
  const std::vector<std::string> log = Lines(logPath);
  ASSERT_GE(log.size(), 10u);
  EXPECT_EQ(log[4], "Winmain");
  const int heightmap = Find(log, "[LoadHM]:  Could not read RAW file");
  const int texture = Find(log, "COULDNT LOAD TEXTURE");
  const int readme = Find(log, "[Game Initialize()]:  Could not read ReadMe file");
  const int fatal = Find(log, "[Winmain]:  Error game initialization");
  ASSERT_GE(heightmap, 0);
  EXPECT_EQ(log[heightmap - 1], kErrorBanner);
  ASSERT_GT(texture, heightmap) << "the textures load, and fail, before the file's test";
  ASSERT_GT(readme, texture);
  EXPECT_EQ(log[readme - 1], kErrorBanner);
  ASSERT_EQ(fatal, readme + 2);
  EXPECT_EQ(log[fatal - 1], kFatalBanner);
  const int cleaning = Find(log, "[Game Cleanup]:  Cleaning...", fatal);
  ASSERT_GT(cleaning, fatal);
  EXPECT_EQ(log[cleaning - 1].rfind("[Average FPS: ]:  ", 0), 0u);
  EXPECT_EQ(log[cleaning + 1], "[Game Cleanup]:  Cleaning Done");
  EXPECT_EQ(log[cleaning + 2], "Winmain");
  EXPECT_EQ(log[cleaning + 3].rfind("------ ENDING WITH ", 0), 0u);
}

TEST_F(QuorvelRun, AGoodParameterFileRunsUntilTheWindowCloses) {
  WriteFile("Readme.txt", "PatchSize 16 Levels 4 MaxVertices 65536 T0 a.bmp T1 b.tga T2 c.jpg T3 d.png");
  const RunResult r = RunHere("--frames 7 --clock 20");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Field(r.out, "frames"), "7");
  const std::vector<std::string> log = Lines(Field(r.out, "log"));
  EXPECT_EQ(Find(log, "[Game Initialize()]:  Could not read ReadMe file"), -1);
  EXPECT_EQ(Find(log, "[Winmain]:  Error game initialization"), -1);
  EXPECT_GT(Find(log, "[Game Cleanup]:  Cleaning Done"), 0);
}

TEST_F(QuorvelRun, LiveBinaryIgnoresItsCommandLine) {
  // The live host on the offscreen driver: the system reads no command line,
  // so these words change nothing; the empty folder makes the run quit.
  const std::string bin = std::string(QUORVEL_RUN_BIN);
  const std::string live = bin.substr(0, bin.rfind("/quorvel-run/")) + "/quorvel/quorvel";
  const RunResult r =
      RunCommand("cd " + dir_ + " && SDL_VIDEODRIVER=offscreen " + live + " --frames 1 -x garbage");
  EXPECT_EQ(r.exitCode, 0);
  bool found = false;
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    found |= entry.path().filename().string().rfind("Log_", 0) == 0;
  EXPECT_TRUE(found);
}

}  // namespace
