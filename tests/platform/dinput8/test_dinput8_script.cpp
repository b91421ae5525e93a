// The input script: parsing good and malformed lines, and playing it back.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/dinput8/dinput8_script.h"

using qv::dinput8::ParseInputScript;
using qv::dinput8::ScriptError;
using qv::dinput8::ScriptEvent;
using qv::dinput8::ScriptPlayer;

TEST(InputScript, ParsesEveryEventFormWithCommentsAndLineEnds) {
  std::vector<ScriptError> errors;
  auto events = ParseInputScript(
      "# a comment line\n"
      "\n"
      "  3 key 0x1C down   # Enter\r\n"
      "3 key 28 up\n"
      "0\tbutton 2 down\n"
      "7 move -5 12\n"
      "7 move 1 2 -240\n"
      "1 key 0XfF up",  // last line without a line end
      errors);
  EXPECT_TRUE(errors.empty()) << errors[0].line << ": " << errors[0].message;
  ASSERT_EQ(events.size(), 6u);
  // Sorted by frame, script order kept within a frame.
  EXPECT_EQ(events[0].frame, 0);
  EXPECT_EQ(events[0].kind, ScriptEvent::Kind::Button);
  EXPECT_EQ(events[0].code, 2);
  EXPECT_TRUE(events[0].down);
  EXPECT_EQ(events[0].line, 5);
  EXPECT_EQ(events[1].frame, 1);
  EXPECT_EQ(events[1].code, 255);
  EXPECT_FALSE(events[1].down);
  EXPECT_EQ(events[2].code, 0x1C);
  EXPECT_TRUE(events[2].down);
  EXPECT_EQ(events[3].code, 28);
  EXPECT_FALSE(events[3].down);
  EXPECT_EQ(events[4].kind, ScriptEvent::Kind::Move);
  EXPECT_EQ(events[4].dx, -5);
  EXPECT_EQ(events[4].dy, 12);
  EXPECT_EQ(events[4].dz, 0) << "the wheel is optional";
  EXPECT_EQ(events[5].dz, -240);
}

TEST(InputScript, MalformedLinesAreSkippedWithTheirLineNumbers) {
  const char* bad[] = {
      "-1 key 1 down",            // negative frame
      "x key 1 down",             // frame not a number
      "5",                        // no event
      "5 jump 1 down",            // unknown event
      "5 key 256 down",           // code out of range
      "5 key 0x down",            // hex without digits
      "5 key 12abc down",         // trailing garbage
      "5 key 1 pressed",          // neither down nor up
      "5 key 1",                  // missing state
      "5 key 1 down extra",       // extra word
      "5 button 8 down",          // button out of range
      "5 button -1 up",           // negative button
      "5 move 1",                 // too few motions
      "5 move 1 2 3 4",           // too many motions
      "5 move 2147483648 0",      // beyond 32 bits
      "5 move 0x10 0",            // motions are decimal
      "99999999999 key 1 down",   // frame beyond int
  };
  std::string text = "0 key 1 down\n";
  for (const char* line : bad) text += std::string(line) + "\n";
  text += "9 key 1 up\n";
  std::vector<ScriptError> errors;
  auto events = ParseInputScript(text, errors);
  ASSERT_EQ(errors.size(), std::size(bad));
  for (size_t i = 0; i < errors.size(); ++i) {
    EXPECT_EQ(errors[i].line, static_cast<int>(i) + 2) << bad[i];
    EXPECT_FALSE(errors[i].message.empty());
  }
  ASSERT_EQ(events.size(), 2u) << "the good lines around the bad ones still count";
  EXPECT_EQ(events[1].frame, 9);
}

TEST(InputScript, MotionLimitsAndNoiseNeverCrash) {
  std::vector<ScriptError> errors;
  const char raw[] = "0 move 2147483647 -2147483648 0\n\0\xff\x01 garbage\n";
  auto events = ParseInputScript(std::string(raw, sizeof raw - 1), errors);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].dx, 2147483647);
  EXPECT_EQ(events[0].dy, -2147483647 - 1);
  EXPECT_EQ(errors.size(), 1u);
}

TEST(ScriptPlayerTest, AppliesEventsUpToTheFrameAndSumsMotionUntilTaken) {
  std::vector<ScriptError> errors;
  ScriptPlayer player(ParseInputScript(
      "0 key 0x19 down\n"
      "0 move 3 4 120\n"
      "1 move 1 1\n"
      "2 key 0x19 up\n"
      "2 button 1 down\n"
      "4 key 1 down\n"
      "4 key 1 up\n",
      errors));
  std::int32_t dx, dy, dz;
  player.ApplyUpTo(-1);
  EXPECT_EQ(player.Keys()[0x19], 0);
  player.ApplyUpTo(0);
  EXPECT_EQ(player.Keys()[0x19], 0x80);
  player.ApplyUpTo(1);
  player.TakeMotion(dx, dy, dz);
  EXPECT_EQ(dx, 4);
  EXPECT_EQ(dy, 5);
  EXPECT_EQ(dz, 120);
  player.TakeMotion(dx, dy, dz);
  EXPECT_EQ(dx, 0) << "motion is relative to the previous read";
  player.ApplyUpTo(1);  // nothing applies twice
  player.TakeMotion(dx, dy, dz);
  EXPECT_EQ(dy, 0);
  player.ApplyUpTo(3);
  EXPECT_EQ(player.Keys()[0x19], 0);
  EXPECT_EQ(player.Buttons()[1], 0x80);
  player.ApplyUpTo(4);
  EXPECT_EQ(player.Keys()[1], 0) << "down and up in one frame leave the key up";
}

TEST(ScriptPlayerTest, SummedMotionSaturatesAt32Bits) {
  std::vector<ScriptError> errors;
  ScriptPlayer player(ParseInputScript(
      "0 move 2147483647 -2147483648 1\n0 move 2147483647 -2147483648 1\n", errors));
  player.ApplyUpTo(0);
  std::int32_t dx, dy, dz;
  player.TakeMotion(dx, dy, dz);
  EXPECT_EQ(dx, 2147483647);
  EXPECT_EQ(dy, -2147483647 - 1);
  EXPECT_EQ(dz, 2);
}

TEST(InputScript, LoadingReportsBadLinesAndMissingFilesOnStderr) {
  const std::string path = ::testing::TempDir() + "/dinput8_script_load.txt";
  {
    std::ofstream out(path);
    out << "0 key 1 down\n0 key 300 down\n";
  }
  ::testing::internal::CaptureStderr();
  auto events = qv::dinput8::LoadInputScript(path);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(events.size(), 1u);
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_NE(err.find(path), std::string::npos) << err;
  EXPECT_EQ(err.find("line 1"), std::string::npos) << err;

  ::testing::internal::CaptureStderr();
  events = qv::dinput8::LoadInputScript(path + ".missing");
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(events.empty());
  EXPECT_NE(err.find("cannot be opened"), std::string::npos) << err;
}
