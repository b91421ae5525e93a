// DIWrapper when DirectInput refuses: each construction step's report and
// quit request, skipped steps after a missing object, and failing reads.
#include <gtest/gtest.h>

#include <string>

#include "tests/input/input_test_util.h"

using qv::test::ScriptedInput;

TEST(DIWrapperFailure, EachRefusedStepIsLoggedWithItsCodeAndPostsQuit) {
  struct Step {
    const char* message;
    int reports;  // a refused data format also makes that device's Acquire fail
  };
  const Step steps[] = {
      {"dwErrorCode = to Create Direct Input Device", 1},
      {"dwErrorCode = to Create Keyboard Device", 1},
      {"dwErrorCode = to set Data Format for Keyboard", 2},
      {"dwErrorCode = to set Coorperative Level for Keyboard", 1},
      {"dwErrorCode = to Acquire the Keyboard", 1},
      {"Failed Create Mouse Device", 1},
      {"Failed to set Coorperative Level for Mouse", 1},
      {"Failed to set Data Format for Mouse", 2},
      {"Failed to Acquire Mouse", 1},
  };
  for (int n = 1; n <= 9; ++n) {
    const Step& step = steps[n - 1];
    SCOPED_TRACE(step.message);
    input_test::Input in("", n, DIERR_INPUTLOST);
    auto& [host, armed, hWnd, hInstance, di] = in;
    const std::string text = host.LogText();
    EXPECT_NE(text.find("***********************ERROR*************************\n"
                        "[DIWrapper::DIWrapper]:  " +
                        std::string(step.message) + "\n[<ERROR CODE>]:  -2147024866"),
              std::string::npos)
        << text;
    EXPECT_EQ(host.LogCount("[DIWrapper::DIWrapper]"), step.reports) << "skipped steps make no report";
    EXPECT_EQ(host.LogCount("[<ERROR CODE>]"), step.reports);
    // Construction went on: what could still be opened was opened.
    EXPECT_EQ(di.m_pDI != nullptr, n != 1);
    EXPECT_EQ(di.m_pKeyboard != nullptr, n != 1 && n != 2);
    EXPECT_EQ(di.m_pMouse != nullptr, n != 1 && n != 6);
    // Frames still run until the loop takes the quit message.
    di.Update();
    EXPECT_TRUE(ScriptedInput::NextFrame()) << "the quit message was posted";
    di.Update();
  }
  // Without a log the quit is still posted.
  input_test::Input in("", 1, E_FAIL, false);
  in.di.Update();
  EXPECT_TRUE(ScriptedInput::NextFrame());
}

TEST(DIWrapperFailure, AnUnacquiredKeyboardIsReportedEveryFrameWithoutQuitting) {
  input_test::Input in("0 key 0x01 down\n", 5);  // the keyboard's Acquire fails
  auto& [host, armed, hWnd, hInstance, di] = in;
  EXPECT_TRUE(ScriptedInput::NextFrame());  // construction's quit request
  for (int f = 1; f <= 3; ++f) {
    EXPECT_FALSE(ScriptedInput::NextFrame()) << "a failed read posts no quit";
    di.Update();
    EXPECT_FALSE(di.IsKeyDown(DIK_ESCAPE)) << "a failed read leaves all keys up";
  }
  EXPECT_EQ(host.LogCount("[DIWrapper::DIWrapper]:  Failed to Update the Keyboard\n"
                          "[<ERROR CODE>]:  -2147024884"),
            3);
}

TEST(DIWrapperFailure, InTheBackgroundTheMouseKeepsItsPlaceAndTheKeyboardReads) {
  input_test::Input in("0 move 10 10 120\n1 move 50 50 120\n1 key 0x01 down\n2 move 50 50\n4 move 7 -7\n");
  auto& [host, armed, hWnd, hInstance, di] = in;
  di.SetScreen(1024, 768);
  in.Frames();
  EXPECT_EQ(di.GetX(), 522);
  EXPECT_EQ(di.GetZ(), 24);

  qv::dinput8::testing::SetForegroundOverride(0);  // another window comes to the front
  for (int f = 1; f <= 2; ++f) {
    EXPECT_FALSE(ScriptedInput::NextFrame());
    di.Update();
    EXPECT_EQ(di.GetX(), 522);
    EXPECT_EQ(di.GetY(), 394);
    EXPECT_EQ(di.GetZ(), 24);
    EXPECT_TRUE(di.IsKeyDown(DIK_ESCAPE)) << "the background keyboard keeps reading";
  }
  EXPECT_EQ(host.LogCount("Failed to Update the Mouse\n[<ERROR CODE>]:  -2147024866"), 1)
      << "the first read finds the input lost";
  EXPECT_EQ(host.LogCount("Failed to Update the Mouse\n[<ERROR CODE>]:  -2147024884"), 1)
      << "later reads find the mouse not acquired";

  // Back in front: re-acquired in frame 3 (nothing moves), read in frame 4.
  qv::dinput8::testing::SetForegroundOverride(1);
  in.Frames();
  EXPECT_EQ(di.GetX(), 522);
  in.Frames();
  EXPECT_EQ(di.GetX(), 529);
  EXPECT_EQ(di.GetY(), 387);
  EXPECT_EQ(host.LogCount("Failed to Update the Mouse"), 3);
}
