// What the programs read back from the system's log: the data file behind a
// start-up's failure (whole runs are in test_quorvel_run.cpp).
#include <gtest/gtest.h>

#include <string>

#include "testing/temp_log.h"
#include "tools/cli/system_run.h"

namespace {

using qv::cli::LogFailure;

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
