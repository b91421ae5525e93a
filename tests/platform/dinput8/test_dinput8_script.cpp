// The input script: good and malformed lines, and loading (playback: the device test).
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
      "-1 key 1 down",      "x key 1 down",        "5",
      "5 jump 1 down",      "5 key 256 down",      "5 key 0x down",
      "5 key 12abc down",   "5 key 1 pressed",     "5 key 1",
      "5 key 1 down extra", "5 button 8 down",     "5 move 1",
      "5 move 1 2 3 4",     "5 move 2147483648 0", "99999999999 key 1 down",
      "\xff\x01 garbage",
  };
  std::string text = "0 key 1 down\n";
  for (const char* line : bad) text += std::string(line) + "\n";
  text += "9 key 1 up\n";
  std::vector<ScriptError> errors;
  auto events = ParseInputScript(text, errors);
  ASSERT_EQ(errors.size(), std::size(bad));
  for (size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(errors[i].line, static_cast<int>(i) + 2) << bad[i];
  EXPECT_EQ(events.size(), 2u) << "the good lines around the bad ones still count";
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
