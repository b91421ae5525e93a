// quorvel-run's video and progress options without a run: the frame rate,
// the container, the encoder fallback, the run's known length and the
// progress text.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "run_options.h"
#include "run_progress.h"
#include "run_video.h"

namespace {

TEST(RunVideoOptions, RateContainerAndTheOptionsThatGoTogether) {
  struct Rate {
    int fps, clockMs, num, den;
  } rates[] = {{0, 51, 1000, 51}, {0, 50, 20, 1},  {0, 40, 25, 1},
               {0, 3000, 1, 3},   {24, 51, 24, 1}, {0, 0, 0, 1}};
  for (const Rate& r : rates) {
    const VideoRate v = ChooseVideoRate(r.fps, r.clockMs);
    EXPECT_EQ(v.num, r.num) << r.fps << " fps, " << r.clockMs << " ms";
    EXPECT_EQ(v.den, r.den) << r.fps << " fps, " << r.clockMs << " ms";
  }
  // A recorded clock: its mean rate over the run, each step in force from its
  // frame on (frame 1 is the first that moves on), up to the last step
  // without a known length.
  const struct {
    std::vector<qv::host::ClockStep> steps;
    int frames, num, den;
  } recorded[] = {{{{1, 100}}, 11, 10, 1},
                  {{{1, 50}, {6, 150}}, 11, 10, 1},
                  {{{1, 40}, {3, 60}}, 0, 150, 7},
                  {{{2, 30}}, 4, 50, 1},
                  {{{1, 0}}, 5, 0, 1}};
  for (const auto& r : recorded) {
    const VideoRate v = ChooseVideoRate(0, 0, r.steps, r.frames);
    EXPECT_EQ(std::make_pair(v.num, v.den), std::make_pair(r.num, r.den)) << &r - recorded;
  }
  EXPECT_EQ(ChooseVideoRate(0, 51, {{1, 100}}, 11).num, 1000) << "--clock wins over the recording";
  EXPECT_STREQ(VideoContainerFor("out/a.mp4"), "mp4");
  EXPECT_STREQ(VideoContainerFor("a.b.mkv"), "matroska");
  for (const char* bad : {"a.avi", "mp4", ".mp4x", "a.MP4", ""})
    EXPECT_EQ(VideoContainerFor(bad), nullptr) << bad;

  RunOptions o;
  std::string error;
  ASSERT_TRUE(ParseRunOptions({"--clock", "51", "--video", "f.mkv"}, &o, &error)) << error;
  EXPECT_EQ(o.video, "f.mkv");
  EXPECT_EQ(o.video_fps, 0);
  ASSERT_TRUE(ParseRunOptions({"--video", "f.mp4", "--video-fps", "30"}, &o, &error)) << error;
  EXPECT_EQ(o.video_fps, 30);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--video", "f.mp4"},  // no clock and no rate
                                             {"--clock", "51", "--video", "f.avi"},
                                             {"--clock", "51", "--video"},
                                             {"--video-fps", "30"},  // no video
                                             {"--video", "f.mp4", "--video-fps", "0"},
                                             {"--video", "f.mp4", "--video-fps", "1001"}}) {
    error.clear();
    EXPECT_FALSE(ParseRunOptions(args, &o, &error)) << args.back();
    EXPECT_FALSE(error.empty());
  }
}

TEST(RunVideoOptions, WithoutH264TheEncoderFallsBackAndSaysSo) {
  const VideoEncoderChoice all = ChooseVideoEncoder([](const char*) { return true; });
  EXPECT_STREQ(all.name, "libx264");
  EXPECT_EQ(all.note, "");
  const VideoEncoderChoice noX264 =
      ChooseVideoEncoder([](const char* name) { return std::string(name) != "libx264"; });
  EXPECT_STREQ(noX264.name, "mpeg4");
  EXPECT_NE(noX264.note.find("H.264"), std::string::npos) << noX264.note;
  const VideoEncoderChoice none = ChooseVideoEncoder([](const char*) { return false; });
  EXPECT_EQ(none.name, nullptr);
  EXPECT_FALSE(none.note.empty());
}

TEST(RunProgress, KnownLengthAndTheLine) {
  using qv::dinput8::ScriptEvent;
  std::vector<qv::dinput8::ScriptError> errors;
  const std::vector<ScriptEvent> script =
      qv::dinput8::ParseInputScript("5 key 0x01 up\n9 key 30 down\n100 key 1 down\n120 key 1 down\n", errors);
  ASSERT_TRUE(errors.empty());
  EXPECT_EQ(KnownRunLength(-1, script), 101) << "the first Escape press ends the run in its frame";
  EXPECT_EQ(KnownRunLength(50, script), 50);
  EXPECT_EQ(KnownRunLength(500, script), 101);
  EXPECT_EQ(KnownRunLength(7, {}), 7);
  EXPECT_EQ(KnownRunLength(-1, {script[0], script[1]}), 0) << "no frame limit and no Escape press";

  EXPECT_EQ(FormatProgress(120, 396, 20.0), "frame 120/396  20.0 fps  0:14 left");
  EXPECT_EQ(FormatProgress(1, 2000, 10.0), "frame 1/2000  10.0 fps  3:20 left");
  EXPECT_EQ(FormatProgress(1, 30, 0.0), "frame 1/30") << "no rate yet after one frame";
}

}  // namespace
