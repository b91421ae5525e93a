// What the programs read back from the system's log: the first failure of a
// start-up and the data file behind it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/temp_log.h"
#include "tools/cli/system_run.h"

namespace {

using qv::cli::LogFailure;

const std::string kError = "\n***********************ERROR*************************";
const std::string kFatal = "\nFATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL";

std::string Described(const std::string& logText) {
  LogFailure failure;
  if (!qv::cli::FirstLogFailure(logText, &failure)) return "(none)";
  return qv::cli::DescribeFailure(failure, "");
}

TEST(SystemRun, FirstFailureOfAStartup) {
  const struct {
    std::string log;
    std::string failure;
  } cases[] = {
      // An empty folder: the heightmap fails first.
      {"\n------ Filename: Log_1.log\n\nWinmain\n[DIWrapper::DIWrapper]:  Keyboard acquired" + kError +
           "\n[LoadHM]:  Could not read RAW file\nCOULDNT LOAD TEXTURE" + kError +
           "\n[Game Initialize()]:  Could not read ReadMe file" + kFatal +
           "\n[Winmain]:  Error game initialization",
       "[LoadHM] Could not read RAW file"},
      // The texture loading's line is a failure, though untagged and not counted.
      {"\nWinmain\n[LoadHM]:  LoadHM completed successfully\nCOULDNT LOAD TEXTURE" + kError +
           "\n[Game Initialize()]:  Could not read ReadMe file",
       "COULDNT LOAD TEXTURE"},
      // Information entries, a multi-line one included, and paint lines are no failure.
      {"\nWinmain\n[Pixel Shader Capabilities]:  MaxShaderValue: 1.0, \nMaxTextureBlendStages: 8\n"
       "[Number of Vertex Buffers]:  64\nPainted at 10 20\n[Average FPS: ]:  7",
       "(none)"},
      // Only the entry's first line; a tag may be empty.
      {kError + "\n[]:  NOT enough VBs\nsecond line", "[] NOT enough VBs"},
      {kFatal + "\n[Winmain]:  Error in Making Window" + kError +
           "\n[InitD3D]:  Could not create the Direct3D device",
       "[Winmain] Error in Making Window"},
  };
  for (const auto& c : cases) EXPECT_EQ(Described(c.log), c.failure) << c.log;
}

// The file named beside a failure comes from the folder the system ran in.
TEST(SystemRun, TheFileBehindAFailure) {
  qv::test::TempDir tmp;
  ASSERT_TRUE(tmp.Ok());
  const std::string image = "P6 1 1 255\n\x10\x20\x30";
  tmp.WriteFile("a.ppm", image);
  tmp.WriteFile("b.ppm", "not an image");
  tmp.WriteFile("c.ppm", image);
  tmp.WriteFile("Diffuse.raw", std::string(1080, '\0'));

  const LogFailure texture{"", "COULDNT LOAD TEXTURE", false};
  auto noteWith = [&](const std::string& readme, const LogFailure& failure) {
    tmp.WriteFile("Readme.txt", readme);
    return qv::cli::FailedFileNote(failure);
  };
  // The first of the four, in order, that does not read as an image: a file
  // that is there but is no image counts, as does one that is not there.
  EXPECT_EQ(noteWith("P 16 L 4 V 65536 T0 a.ppm T1 b.ppm T2 c.ppm T3 c.ppm", texture), "b.ppm");
  EXPECT_EQ(noteWith("P 16 L 4 V 65536 T0 a.ppm T1 c.ppm T2 gone.ppm T3 b.ppm", texture), "gone.ppm");
  EXPECT_EQ(noteWith("P 16 L 4 V 65536 T0 a.ppm T1 c.ppm", texture), "no texture file named in Readme.txt");
  EXPECT_EQ(noteWith("P 16 L 4 V 65536 T0 a.ppm T1 c.ppm T2 a.ppm T3 c.ppm", texture), "");

  EXPECT_EQ(qv::cli::FailedFileNote({"LoadHM", "Length/Width not equal to Checksum", true}),
            "HeightMap20.raw");
  EXPECT_EQ(qv::cli::FailedFileNote({"Game Initialize()", "Could not read ReadMe file", true}), "Readme.txt");
  EXPECT_EQ(qv::cli::FailedFileNote({"Load SkyMap", "Could not read SkyMap file", true}), "Ambient.raw");
  EXPECT_EQ(qv::cli::FailedFileNote({"InitD3D", "Could not create the Direct3D device", true}), "");
  EXPECT_EQ(qv::cli::DescribeFailure({"LoadHM", "Could not read RAW file", true}, "HeightMap20.raw"),
            "[LoadHM] Could not read RAW file (HeightMap20.raw)");
}

}  // namespace
