// quorvel-run's command line and summary.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run_options.h"
#include "testing/temp_log.h"

namespace {

TEST(RunOptions, DefaultsAndEveryOption) {
  qv::test::TempDir tmp;  // the working directory, holding the input script
  ASSERT_TRUE(tmp.Ok());
  tmp.WriteFile("in.txt", "0 key 1 down\n");
  RunOptions o;
  std::string error;
  ASSERT_TRUE(ParseRunOptions({}, &o, &error));  // scripted and offscreen
  EXPECT_EQ(o.dir, ".");
  EXPECT_TRUE(o.host.scripted);
  EXPECT_FALSE(o.host.visible_window);
  EXPECT_EQ(o.host.max_frames, -1);
  EXPECT_EQ(o.host.clock_step_ms, 0);
  EXPECT_EQ(o.host.epoch, -1) << "the real calendar time";
  EXPECT_FALSE(o.hud);

  ASSERT_TRUE(ParseRunOptions({"--dir", "d", "--frames", "11", "--clock", "20", "--input", "in.txt", "--shot",
                               "2:a.png", "--shot", "10:dir/b:c.png", "--window", "--epoch", "0", "--hud"},
                              &o, &error))
      << error;
  EXPECT_EQ(o.dir, "d");
  EXPECT_EQ(o.host.max_frames, 11);
  EXPECT_EQ(o.host.clock_step_ms, 20);
  EXPECT_EQ(o.host.input_script, "in.txt");
  ASSERT_EQ(o.host.shots.size(), 2u);
  EXPECT_EQ(o.host.shots[0].frame, 2);
  EXPECT_EQ(o.host.shots[0].path, "a.png");
  EXPECT_EQ(o.host.shots[1].path, "dir/b:c.png") << "only the first colon separates";
  EXPECT_FALSE(o.host.scripted);
  EXPECT_TRUE(o.host.visible_window);
  EXPECT_EQ(o.host.epoch, 0);
  EXPECT_TRUE(o.hud);

  // PNG and JPEG by the extension, either case; without --frames any frame.
  ASSERT_TRUE(ParseRunOptions({"--shot", "0:a.PNG", "--shot", "1:b.jpg", "--shot", "900:c.JPEG"}, &o, &error))
      << error;
  EXPECT_EQ(o.host.shots.size(), 3u);
}

TEST(RunOptions, MalformedValuesAreRefused) {
  RunOptions o;
  std::string error;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--frames"},
                                             {"--frames", "0"},
                                             {"--frames", "-3"},
                                             {"--frames", "5x"},
                                             {"--frames", "99999999999"},
                                             {"--clock", ""},
                                             {"--shot", "a.png"},
                                             {"--shot", "x:a.png"},
                                             {"--shot", "3:"},
                                             {"--epoch", "-1"},
                                             {"--epoch", "2147483648"},
                                             {"--shot", "3:a.bmp"},
                                             {"--shot", "3:png"},
                                             {"--shot", "3:shots.png/a"},
                                             {"--frames", "5", "--shot", "5:a.png"},
                                             {"--shot", "9:a.jpg", "--frames", "3"},
                                             {"--input", "/nonexistent/flight.input"},
                                             {"--input", "/"},
                                             {"--bogus"}}) {
    error.clear();
    EXPECT_FALSE(ParseRunOptions(args, &o, &error)) << args[0] << " " << args.back();
    EXPECT_FALSE(error.empty());
  }
}

TEST(RunOptions, SummaryLines) {
  qv::host::Stats stats;
  stats.frames = 4;
  stats.draws = 10;
  stats.triangles = 1000;
  stats.draws_skipped = 6;
  stats.frame_ms = {4.0, 1.0, 3.0, 2.0};
  const std::string s = FormatSummary(stats, 0, 12.5, "/x/Log_1.log", 321.5);
  EXPECT_EQ(s,
            "frames: 4\nexit_code: 0\nwall_ms: 12.5\nframe_ms_median: 2.000\nframe_ms_p95: 4.000\n"
            "draws_per_frame: 2.5\ntriangles_per_frame: 250.0\ndraws_skipped_per_frame: 1.5\n"
            "peak_rss_mb: 321.5\nlog: /x/Log_1.log\n");
  EXPECT_NE(FormatSummary(qv::host::Stats{}, 0, 0, "").find("draws_per_frame: 0.0"), std::string::npos)
      << "no division by zero frames";
  // Without a figure the process's own peak is read: at least the 64 MiB
  // touched here, in MiB (not KiB, not bytes).
  std::vector<char> touched(64u << 20, 1);
  ASSERT_EQ(touched[12345], 1);
  const std::string own = FormatSummary(stats, 0, 0, "");
  const double peak = std::atof(own.substr(own.find("peak_rss_mb: ") + 13).c_str());
  EXPECT_GE(peak, 64.0);
  EXPECT_LT(peak, 64.0 * 1024);
}

}  // namespace
