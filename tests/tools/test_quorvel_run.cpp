// Whole runs of quorvel-run (and the live-host binary on the offscreen
// driver) in temporary folders: exit codes, summaries and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "testing/run_util.h"
#include "testing/temp_log.h"

namespace {

using namespace qv::test;
namespace fs = std::filesystem;

class QuorvelRun : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.Ok()); }
  void WriteFile(const std::string& name, const std::string& text) { tmp_.WriteFile(name, text); }
  RunResult RunHere(const std::string& args) {
    return RunCommand(std::string(QUORVEL_RUN_BIN) + " --dir " + dir_ + " " + args);
  }
  // The default data set (--seed 1) in dir_/data; "" when it was not made.
  std::string MakeData() {
    const std::string data = dir_ + "/data";
    return RunCommand(std::string(QUORVEL_MAKEDATA_BIN) + " " + data + " --seed 1").exitCode == 0 ? data : "";
  }
  TempDir tmp_;
  const std::string dir_ = tmp_.Dir();
};

const char* kErrorBanner = "***********************ERROR*************************";
const char* kFatalBanner = "FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL";

// A failed start-up used to end with exit code 0 (the quit message's); the
// log stays exactly as the system writes it, the exit code is 1 and one line
// names the first failure and the log.
TEST_F(QuorvelRun, EmptyFolderEndsWithTheFatalStartupError) {
  const RunResult r = RunHere("--frames 5 --epoch 1000000000");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_EQ(Field(r.out, "exit_code"), "1");
  const std::string logPath = Field(r.out, "log");
  ASSERT_EQ(logPath, dir_ + "/Log_1000000000.log");
  // The system's own message stays on a line of its own.
  EXPECT_EQ(r.err,
            "Failed to load texture.\nquorvel-run: start-up failed: [LoadHM] Could not read RAW file "
            "(HeightMap20.raw); see " +
                logPath + "\n");
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

// A start-up that goes on after its failure (the system quits only on a
// fatal one) still ends with exit code 1; the line names the texture file
// that "Readme.txt" names and that is not there.
TEST_F(QuorvelRun, AMissingTextureFailsTheStartupAndIsNamed) {
  const std::string data = MakeData();
  ASSERT_FALSE(data.empty());
  fs::remove(data + "/detail.jpg");
  const RunResult r =
      RunCommand(std::string(QUORVEL_RUN_BIN) + " --dir " + data + " --frames 1 --epoch 1000000000");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Field(r.out, "exit_code"), "1");
  EXPECT_EQ(r.err,
            "Failed to load texture.\nquorvel-run: start-up failed: COULDNT LOAD TEXTURE (detail.jpg); see " +
                data + "/Log_1000000000.log\n");
}

// The live viewer without a display does not start the system (no log), and
// says so: DISPLAY unset, or naming a display no server answers. SDL would
// otherwise fall back to its offscreen driver and run where nobody sees it.
TEST_F(QuorvelRun, NoDisplayIsOneLineAndExitCodeOne) {
  int unused = 90;
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(unused))) ++unused;
  const std::string display = ":" + std::to_string(unused);
  const std::string run = std::string(" ") + QUORVEL_BIN + " " + dir_;
  const std::string env = "timeout 60 env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER ";
  const RunResult unset = RunCommand(env + "-u DISPLAY" + run);
  EXPECT_EQ(unset.exitCode, 1);
  EXPECT_EQ(unset.err, "quorvel: cannot open a window: no X display (DISPLAY is not set)\n");
  const RunResult noServer = RunCommand(env + "DISPLAY=" + display + run);
  EXPECT_EQ(noServer.exitCode, 1);
  EXPECT_EQ(noServer.err.rfind("quorvel: cannot open a window: no X display at DISPLAY=" + display + " (", 0),
            0u)
      << noServer.err;
  EXPECT_EQ(std::count(noServer.err.begin(), noServer.err.end(), '\n'), 1) << noServer.err;
  EXPECT_TRUE(fs::is_empty(dir_)) << "the system never ran, so it wrote no log";
}

// --record names its file from where the program starts, and a file that
// cannot be created stops the viewer before it looks for a display.
TEST_F(QuorvelRun, TheRecordingIsMadeBeforeTheViewerStarts) {
  const std::string run = "cd " + dir_ +
                          " && timeout 60 env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " +
                          QUORVEL_BIN + " --record ";
  fs::create_directory(dir_ + "/data");
  const RunResult missing = RunCommand(run + "/nonexistent/rec.input data");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err,
            "quorvel: cannot create the recording /nonexistent/rec.input: No such file or directory\n");
  const RunResult noName = RunCommand(run);
  EXPECT_EQ(noName.exitCode, 2);
  EXPECT_EQ(noName.err.substr(0, noName.err.find('\n')), "quorvel: --record needs a file name");
  const RunResult noDisplay = RunCommand(run + "rec.input data");
  EXPECT_EQ(noDisplay.exitCode, 1) << noDisplay.err;
  const std::vector<std::string> recorded = Lines(dir_ + "/rec.input");
  ASSERT_GE(recorded.size(), 2u) << "rec.input, in the folder the program started in";
  EXPECT_EQ(recorded.back(), "# the run ended after 0 frames");
  EXPECT_TRUE(fs::is_empty(dir_ + "/data"));
}

// The log is appended to: a run that follows a failed one in the same file
// (the same --epoch) is judged by its own part only. A shot that cannot be
// written makes the exit code 1 with its reason; a .jpg shot is a JPEG file.
TEST_F(QuorvelRun, OnlyThisRunsPartOfTheLogCountsAndShotsSayWhy) {
  const std::string data = MakeData();
  ASSERT_FALSE(data.empty());
  const std::string run = std::string(QUORVEL_RUN_BIN) + " --dir " + data + " --frames 1 --epoch 1000000000";
  ASSERT_EQ(RunCommand("cd " + data + " && mv HeightMap20.raw saved && head -c 1000 saved >HeightMap20.raw")
                .exitCode,
            0);
  const RunResult cut = RunCommand(run);  // a heightmap cut short
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(
      cut.err,
      "quorvel-run: start-up failed: [LoadHM] Length/Width not equal to Checksum (HeightMap20.raw); see " +
          data + "/Log_1000000000.log\n");
  ASSERT_EQ(RunCommand("cd " + data + " && mv saved HeightMap20.raw").exitCode, 0);
  const RunResult r = RunCommand(run + " --shot 0:" + dir_ + "/a.jpg --shot 0:/nonexistent/b.png");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Field(r.out, "exit_code"), "1");
  EXPECT_EQ(r.err, "quorvel-run: cannot write /nonexistent/b.png: No such file or directory\n");
  const std::vector<std::string> log = Lines(data + "/Log_1000000000.log");
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("------ Beginning", 0) == 0; }),
            2);
  std::ifstream jpeg(dir_ + "/a.jpg", std::ios::binary);
  char magic[3] = {};
  jpeg.read(magic, 3);
  EXPECT_EQ(std::string(magic, 3), "\xFF\xD8\xFF") << "a .jpg shot is written as JPEG";
}

// When the log cannot be written (here a folder holds its name) the summary
// says so instead of naming a file that is not there; a start-up that quit
// at once still fails, though no log says why.
TEST_F(QuorvelRun, ALogThatCannotBeWrittenIsNamedAsSuch) {
  fs::create_directory(dir_ + "/Log_1000000000.log");
  const RunResult r = RunHere("--frames 2 --epoch 1000000000");
  const std::string problem = "cannot write " + dir_ + "/Log_1000000000.log: Is a directory";
  EXPECT_EQ(Field(r.out, "log"), "none (" + problem + ")");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "Failed to load texture.\nquorvel-run: start-up failed with a fatal error; no log says why (" +
                problem + ")\n");
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

// Without a font the readout says so once and draws nothing: the pictures
// are those of a run without --hud. The fonts are hidden under an empty
// folder in a mount namespace of the run's own (skipped where none can be made).
TEST_F(QuorvelRun, HudWithoutAFontSaysSoOnceAndDrawsNothing) {
  const std::string hide = "unshare -m sh -c 'mount -t tmpfs none /usr/share/fonts";
  if (RunCommand(hide + "'").exitCode != 0) GTEST_SKIP() << "no mount namespace here";
  // The start-up parameters alone: the rest fails to load (a failed start-up,
  // exit code 1), but frames run.
  WriteFile("Readme.txt", "PatchSize 16 Levels 4 VertexLimit 65536 T0 a.bmp T1 b.tga T2 c.jpg T3 d.png");
  const std::string run = std::string(QUORVEL_RUN_BIN) + " --dir " + dir_ + " --clock 20 --frames 3 ";
  const RunResult plain = RunCommand(run + "--shot 2:" + dir_ + "/plain.png");
  const RunResult hud =
      RunCommand(hide + " && exec " + run + "--hud --shot 2:" + dir_ + "/hud.png 2>" + dir_ + "/hud.err'");
  ASSERT_EQ(plain.exitCode, 1);
  ASSERT_EQ(hud.exitCode, 1) << hud.out;
  EXPECT_EQ(Field(hud.out, "readout").rfind("frame 2 ", 0), 0u) << "the text is still put together";
  int said = 0;
  for (const std::string& line : Lines(dir_ + "/hud.err"))
    said += line.find("no readout") != std::string::npos;
  EXPECT_EQ(said, 1);
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string shot = read(dir_ + "/hud.png");
  EXPECT_FALSE(shot.empty());
  EXPECT_TRUE(shot == read(dir_ + "/plain.png"));
}

// --hud: the readout's last line agrees with the run's own summary and with
// what the run did (40 frames of 51 ms, the camera left at its start, one
// 0.1-hour clock step a frame), and it is drawn into the shot: the pixels
// differ from a run without it only in a box at the top-left, and the log is
// the same, so the system's own drawing is untouched, frame after frame.
TEST_F(QuorvelRun, HudReadoutMatchesTheSummaryAndStaysInItsBox) {
  namespace fs = std::filesystem;
  const std::string data = dir_ + "/data";
  ASSERT_EQ(RunCommand(std::string(QUORVEL_MAKEDATA_BIN) + " " + data + " --seed 1").exitCode, 0);
  fs::copy(data, dir_ + "/hud", fs::copy_options::recursive);
  auto run = [&](const std::string& name, const char* hud, RunResult* result) {
    *result = RunCommand(std::string(QUORVEL_RUN_BIN) + " --dir " + dir_ + "/" + name +
                         " --clock 51 --frames 40 --epoch 1000000000 " + hud + " --shot 39:" + dir_ + "/" +
                         name + ".png");
  };
  RunResult plain, hud;
  std::thread second([&] { run("data", "", &plain); });
  run("hud", "--hud", &hud);
  second.join();
  ASSERT_EQ(hud.exitCode, 0) << hud.out;
  ASSERT_EQ(plain.exitCode, 0) << plain.out;
  EXPECT_EQ(Field(plain.out, "readout"), "") << "no readout without --hud";

  const std::string readout = Field(hud.out, "readout");
  int frame = -1, heading = -1, hour = -1, minute = -1;
  double fps = 0, frameMs = 0;
  long x = 1, y = 1, z = 1;
  unsigned long long draws = 0, triangles = 0;
  ASSERT_EQ(std::sscanf(readout.c_str(),
                        "frame %d %lf fps %lf ms pos %ld %ld %ld heading %d\u00b0 time %d:%d draws %llu "
                        "triangles %llu",
                        &frame, &fps, &frameMs, &x, &y, &z, &heading, &hour, &minute, &draws, &triangles),
            11)
      << readout;
  EXPECT_EQ(frame + 1, std::stoi(Field(hud.out, "frames")));
  EXPECT_EQ(std::to_string(draws) + ".0", Field(hud.out, "draws_per_frame")) << "every frame draws the same";
  EXPECT_EQ(std::to_string(triangles) + ".0", Field(hud.out, "triangles_per_frame"));
  EXPECT_EQ(Field(hud.out, "draws_per_frame"), Field(plain.out, "draws_per_frame"));
  EXPECT_NEAR(fps, 1000.0 / 51.0, 0.05);
  EXPECT_EQ(frameMs, 51.0);
  EXPECT_EQ(std::vector<long>({x, y, z, heading}), std::vector<long>({0, 0, -200, 0}));
  EXPECT_EQ(std::make_pair(hour, minute), std::make_pair(4, 0));
  EXPECT_EQ(Lines(Field(hud.out, "log")), Lines(Field(plain.out, "log")));

  int w = 0, h = 0, pw = 0, ph = 0;
  std::vector<unsigned char> shot, plainShot;
  ASSERT_TRUE(ReadPngRgb(dir_ + "/hud.png", w, h, shot));
  ASSERT_TRUE(ReadPngRgb(dir_ + "/data.png", pw, ph, plainShot));
  ASSERT_EQ(std::vector<int>({w, h, pw, ph}), std::vector<int>({1024, 768, 1024, 768}));
  int x0 = w, y0 = h, x1 = -1, y1 = -1;
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      const std::size_t i = (static_cast<std::size_t>(py) * w + px) * 3;
      if (shot[i] == plainShot[i] && shot[i + 1] == plainShot[i + 1] && shot[i + 2] == plainShot[i + 2])
        continue;
      x0 = std::min(x0, px), y0 = std::min(y0, py), x1 = std::max(x1, px), y1 = std::max(y1, py);
    }
  // One line of text, top first: the box starts 8 pixels in and is a few
  // hundred pixels wide and a line high.
  EXPECT_EQ(std::make_pair(x0, y0), std::make_pair(8, 8));
  EXPECT_GT(x1, 400);
  EXPECT_LT(x1, w - 8);
  EXPECT_GT(y1, 20);
  EXPECT_LT(y1, 48);
}

}  // namespace
