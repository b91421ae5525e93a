// DIWrapper on the scripted host: cursor and wheel, buttons and rectangles,
// keys and their one-shot release.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "input/di_wrapper.h"
#include "tests/platform/dinput8/dinput8_test_host.h"

namespace {

using qv::test::ScriptedInput;

struct Input {
  explicit Input(const std::string& script) : host(script) {}
  ScriptedInput host;
  HWND hWnd = nullptr;
  HINSTANCE hInstance = nullptr;
  DIWrapper di{&hWnd, &hInstance};
  // Runs the next frame's input read.
  void Frame() {
    ScriptedInput::NextFrame();
    di.Update();
  }
};

}  // namespace

TEST(DIWrapperStart, InitialValuesAndACleanConstruction) {
  Input in("");
  EXPECT_NE(in.di.m_pDI, nullptr);
  EXPECT_NE(in.di.m_pKeyboard, nullptr);
  EXPECT_NE(in.di.m_pMouse, nullptr);
  EXPECT_EQ(in.di.m_MaxX, 1024);
  EXPECT_EQ(in.di.m_MaxY, 768);
  EXPECT_EQ(in.di.m_MaxZ, 100);
  EXPECT_EQ(in.di.m_TextMode, 1);
  EXPECT_EQ(in.di.GetX(), 0);
  EXPECT_EQ(in.di.GetZ(), 0);
  EXPECT_EQ(in.host.LogCount("DIWrapper"), 0);
  EXPECT_FALSE(ScriptedInput::NextFrame()) << "no quit message";
}

TEST(DIWrapperCursor, MovesAndClampsAtBothEndsInclusive) {
  Input in(
      "0 move 2000 -50\n"  // from the centre: right edge, up 50
      "1 move -5000 -5000\n"
      "2 move 1 1\n"
      "3 move 99999 99999\n"
      "4 move -1 -1\n");
  in.di.SetScreen(1024, 768);
  EXPECT_EQ(in.di.GetX(), 512);
  EXPECT_EQ(in.di.GetY(), 384);
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 1024);
  EXPECT_EQ(in.di.GetY(), 334);
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 0);
  EXPECT_EQ(in.di.GetY(), 0);
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 1);
  EXPECT_EQ(in.di.GetY(), 1);
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 1024) << "the bound itself is a valid position";
  EXPECT_EQ(in.di.GetY(), 768);
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 1023);
  EXPECT_EQ(in.di.GetY(), 767);
}

TEST(DIWrapperCursor, SensitivityScalesAndTruncatesTowardZero) {
  Input in("0 move 3 -3\n1 move 2147483647 -2147483648\n");
  in.di.SetScreen(1024, 768);
  in.di.SetSensitivity(0.5f);
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 513);  // 513.5
  EXPECT_EQ(in.di.GetY(), 382);  // 382.5
  in.di.SetSensitivity(1e9f);    // far beyond 32 bits: clamps, no overflow
  in.Frame();
  EXPECT_EQ(in.di.GetX(), 1024);
  EXPECT_EQ(in.di.GetY(), 0);
}

TEST(DIWrapperWheel, TruncatesTheScaledMotionAndStaysInRange) {
  Input in(
      "0 move 0 0 120\n"
      "1 move 0 0 3\n"
      "2 move 0 0 -3\n"
      "3 move 0 0 -3\n"
      "4 move 0 0 1200\n"
      "5 move 0 0 -120\n");
  struct Step {
    int start, expected;
  };
  const Step steps[] = {
      {50, 74},   // + 24
      {50, 50},   // 50.6
      {50, 49},   // 49.4
      {0, 0},     // -0.6 truncates to 0
      {0, 100},   // + 240, clamped
      {100, 76},  // - 24
  };
  for (const Step& s : steps) {
    in.di.SetZ(s.start);
    in.Frame();
    EXPECT_EQ(in.di.GetZ(), s.expected) << "from " << s.start;
  }
}

TEST(DIWrapperButtons, NumbersOutsideZeroToThreeAreAlwaysFalse) {
  Input in(
      "0 button 0 down\n0 button 3 down\n0 button 4 down\n"
      "1 button 0 up\n1 button 3 up\n");
  in.Frame();
  EXPECT_TRUE(in.di.IsButtonDown(0));
  EXPECT_FALSE(in.di.IsButtonUp(0));
  EXPECT_TRUE(in.di.IsButtonDown(3));
  EXPECT_FALSE(in.di.IsButtonDown(1));
  EXPECT_TRUE(in.di.IsButtonUp(1));
  EXPECT_FALSE(in.di.IsButtonDown(4)) << "held, but outside 0..3";
  in.Frame();
  EXPECT_FALSE(in.di.IsButtonDown(0));
  EXPECT_TRUE(in.di.IsButtonUp(0));
  for (int b : {-1, 4, 8, INT_MIN, INT_MAX}) {
    EXPECT_FALSE(in.di.IsButtonDown(b)) << b;
    EXPECT_FALSE(in.di.IsButtonUp(b)) << b;
  }
}

TEST(DIWrapperButtons, RectangleTestsAreStrictOnAllFourSides) {
  Input in("0 button 0 down\n");
  in.Frame();
  in.di.SetX(100);
  in.di.SetY(50);
  EXPECT_FALSE(in.di.ClickedInRect(0, 0, 100, 100, 0)) << "right edge excluded";
  EXPECT_TRUE(in.di.ClickedInRect(0, 0, 101, 100, 0));
  EXPECT_FALSE(in.di.ClickedInRect(0, 0, 101, 100, 1)) << "right button is up";
  EXPECT_FALSE(in.di.InRect(100, 0, 200, 100)) << "left edge excluded";
  EXPECT_FALSE(in.di.InRect(0, 50, 200, 100)) << "top edge excluded";
  EXPECT_FALSE(in.di.InRect(0, 0, 200, 50)) << "bottom edge excluded";
  EXPECT_TRUE(in.di.InRect(99, 49, 101, 51));
}

TEST(DIWrapperKeys, ReleaseIsReportedOnceAfterTheKeyGoesUp) {
  // P held in frames 0, 1, 2; up from frame 3.
  Input in("0 key 0x19 down\n3 key 0x19 up\n");
  std::vector<bool> released, down;
  for (int f = 0; f < 6; ++f) {
    in.Frame();
    down.push_back(in.di.IsKeyDown(DIK_P));
    released.push_back(in.di.KeyReleased(DIK_P));
  }
  EXPECT_EQ(down, (std::vector<bool>{true, true, true, false, false, false}));
  EXPECT_EQ(released, (std::vector<bool>{false, false, false, true, false, false}));
}

TEST(DIWrapperKeys, ATapBetweenTwoReadsIsNeverSeen) {
  Input in("1 key 0x19 down\n1 key 0x19 up\n");
  for (int f = 0; f < 3; ++f) {
    in.Frame();
    EXPECT_FALSE(in.di.IsKeyDown(DIK_P));
    EXPECT_FALSE(in.di.KeyReleased(DIK_P));
  }
}

TEST(DIWrapperKeys, ReleaseNeedsACallThatSawTheKeyDown) {
  Input in("0 key 0x19 down\n1 key 0x19 up\n");
  in.Frame();  // nobody asks about P while it is down
  in.Frame();
  EXPECT_FALSE(in.di.KeyReleased(DIK_P));
}

TEST(DIWrapperKeys, EscapeAndEnterStatesAndCodesOutOfRange) {
  Input in("0 key 0x01 down\n1 key 0x01 up\n1 key 0x1C down\n");
  in.Frame();
  EXPECT_TRUE(in.di.IsKeyDown(DIK_ESCAPE));
  EXPECT_FALSE(in.di.IsKeyDown(DIK_RETURN));
  in.Frame();
  EXPECT_FALSE(in.di.IsKeyDown(DIK_ESCAPE));
  EXPECT_TRUE(in.di.IsKeyDown(DIK_RETURN));
  for (int code : {-1, 256, INT_MIN, INT_MAX}) {
    EXPECT_FALSE(in.di.IsKeyDown(code)) << code;
    EXPECT_FALSE(in.di.KeyReleased(code)) << code;
  }
}

TEST(DIWrapperKeys, SharedFlagServesOnlyTheFirstCaller) {
  Input in("0 key 0x19 down\n1 key 0x19 up\n");
  in.Frame();
  EXPECT_FALSE(in.di.KeyReleased(DIK_P));
  in.Frame();
  EXPECT_TRUE(in.di.KeyReleased(DIK_P));
  EXPECT_FALSE(in.di.KeyReleased(DIK_P)) << "a second caller in the same frame sees nothing";
}
