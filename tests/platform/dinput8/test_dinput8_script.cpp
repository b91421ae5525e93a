// The input script: good and malformed lines, each line formatted and parsed
// back, what a script configures on the host, and loading (playback: the
// device test; recording: the recording test).
#include <gtest/gtest.h>

#include <fstream>

#include "platform/dinput8/dinput8_script.h"

using qv::dinput8::ParseInputScript;
using qv::dinput8::ScriptError;
using qv::dinput8::ScriptEvent;

TEST(InputScript, ParsesEveryEventFormWithCommentsAndLineEnds) {
  std::vector<ScriptError> errors;
  auto events = ParseInputScript(
      "# comment\n\n  3 key 0x1C down   # Enter\r\n0\tbutton 2 up\n7 move -5 12\n"
      "7 move 1 2 -240\n1 key 0XfF down",  // no final line end
      errors);
  ASSERT_TRUE(errors.empty()) << errors[0].line << ": " << errors[0].message;
  ASSERT_EQ(events.size(), 5u);
  // Sorted by frame, script order kept within a frame.
  EXPECT_EQ(events[0].kind, ScriptEvent::Kind::Button);
  EXPECT_EQ(events[0].line, 4);
  EXPECT_FALSE(events[0].down);
  EXPECT_EQ(events[1].code, 255);
  EXPECT_EQ(events[2].code, 0x1C);
  EXPECT_TRUE(events[2].down);
  EXPECT_EQ(events[3].dx, -5);
  EXPECT_EQ(events[3].dz, 0) << "the wheel is optional";
  EXPECT_EQ(events[4].dz, -240);
}

TEST(InputScript, MalformedLinesAreSkippedWithTheirLineNumbers) {
  const char* bad[] = {
      "-1 key 1 down",
      "x key 1 down",
      "5",
      "5 jump 1 down",
      "5 key 256 down",
      "5 key 0x down",
      "5 key 12abc down",
      "5 key 1 pressed",
      "5 key 1",
      "5 key 1 down extra",
      "5 button 8 down",
      "5 move 1",
      "5 move 1 2 3 4",
      "5 move 2147483648 0",
      "99999999999 key 1 down",
      "\xff\x01 garbage",
      "5 clock -1",
      "5 clock 4294967296",
      "5 clock",
      "5 clock 0x10",
      "5 focus",
      "5 focus sideways",
      "5 close now",
      "epoch",
      "epoch -1",
      "epoch 2147483648",
      "clock-start 4294967296",
      "clock-start 1 2",
      "5 epoch 1",
      "epoch 8",
      "clock-start 10",
  };
  std::string text = "0 key 1 down\nepoch 7\nclock-start 9\n";
  for (const char* line : bad) text += std::string(line) + "\n";
  text += "9 key 1 up\n";
  std::vector<ScriptError> errors;
  auto events = ParseInputScript(text, errors);
  ASSERT_EQ(errors.size(), std::size(bad));
  for (size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(errors[i].line, static_cast<int>(i) + 4) << bad[i];
  EXPECT_EQ(events.size(), 4u) << "the good lines around the bad ones still count";
  EXPECT_EQ(errors[17].message, "clock step '4294967296' is not a whole number from 0 to 4294967295");
  EXPECT_EQ(errors.back().message, "a second clock-start line (the first is line 3)");
}

// Every kind of line, at the ends of its ranges, parses and formats back
// to the line a person writes; the lines of no frame sort first.
TEST(InputScript, EveryEventFormatsAsItsLine) {
  const std::string lines[] = {
      "epoch 2147483647", "clock-start 4294967295",
      "0 key 0x19 down",  "3 key 0xFF up",
      "3 button 7 down",  "4 move -2147483648 2147483647",
      "4 move 0 0 -120",  "5 focus out",
      "6 focus in",       "7 clock 4294967295",
      "8 clock 0",        "2147483647 close",
  };
  std::string text;
  for (std::size_t i = 2; i < std::size(lines) + 2; ++i) text += lines[i % std::size(lines)] + "\n";
  std::vector<ScriptError> errors;
  const auto events = ParseInputScript(text, errors);
  ASSERT_TRUE(errors.empty()) << errors[0].message;
  ASSERT_EQ(events.size(), std::size(lines));
  for (std::size_t i = 0; i < events.size(); ++i)
    EXPECT_EQ(qv::dinput8::FormatScriptEvent(events[i]), lines[i]);
}

// What a script sets on the host: epoch, clock and last frame, with the
// command line's --epoch, --clock and an earlier --frames winning.
TEST(InputScript, ConfiguresTheHostUnlessTheCommandLineSaysOtherwise) {
  const std::string recorded = "epoch 5\nclock-start 100\n0 clock 20\n7 clock 33\n9 close\n";
  struct Row {
    std::string script;
    long long epoch;  // as given on the command line
    int clock, frames;
    std::string want;  // the configuration, as the loop below writes it
  };
  const Row rows[] = {
      {"3 key 1 down\n", -1, 0, -1, "epoch -1 start -1 steps  frames -1 clock 0"},
      {recorded, -1, 0, -1, "epoch 5 start 100 steps 0:20 7:33  frames 10 clock 0"},
      {recorded, 42, 0, 20, "epoch 42 start 100 steps 0:20 7:33  frames 10 clock 0"},
      {recorded, -1, 51, 3, "epoch 5 start -1 steps  frames 3 clock 51 (the script's unused)"},
      {"9 close\n4 close\n", -1, 0, -1, "epoch -1 start -1 steps  frames 5 clock 0"},
      {"2147483647 close\n", -1, 0, -1, "epoch -1 start -1 steps  frames -1 clock 0"},
      {"clock-start 0\n", -1, 0, -1, "epoch -1 start 0 steps  frames -1 clock 0"},
  };
  for (const Row& row : rows) {
    std::vector<ScriptError> errors;
    qv::host::Config c;
    c.epoch = row.epoch;
    c.clock_step_ms = row.clock;
    c.max_frames = row.frames;
    const bool unused = qv::dinput8::ConfigureHostFromScript(ParseInputScript(row.script, errors), c);
    std::string steps;
    for (const qv::host::ClockStep& step : c.clock_steps)
      steps += std::to_string(step.frame) + ":" + std::to_string(step.ms) + " ";
    EXPECT_EQ("epoch " + std::to_string(c.epoch) + " start " + std::to_string(c.clock_start) + " steps " +
                  steps + " frames " + std::to_string(c.max_frames) + " clock " +
                  std::to_string(c.clock_step_ms) + (unused ? " (the script's unused)" : ""),
              row.want)
        << row.script << " with epoch " << row.epoch << ", clock " << row.clock << ", frames " << row.frames;
  }
}

TEST(InputScript, LoadingReportsBadLinesAndMissingFilesOnStderr) {
  const std::string path = ::testing::TempDir() + "/dinput8_script_load.txt";
  std::ofstream(path) << "0 key 1 down\n0 key 300 down\n";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(qv::dinput8::LoadInputScript(path).size(), 1u);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(path + "' line 2"), std::string::npos) << err;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(qv::dinput8::LoadInputScript(path + ".missing").empty());
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot be opened"), std::string::npos) << err;
}
