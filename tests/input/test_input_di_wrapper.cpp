// DIWrapper on the scripted host: cursor and wheel, buttons and rectangles,
// keys and their one-shot release.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "tests/input/input_test_util.h"

using input_test::Input;

TEST(DIWrapperCursor, MovesAndClampsAtBothEndsInclusive) {
  // The last frame's motion, scaled a billion times, clamps without overflow.
  Input in(
      "0 move 2000 -50\n1 move -5000 -5000\n2 move 99999 99999\n3 move -1 -1\n"
      "4 move 2147483647 -2147483648\n");
  in.di.SetScreen(1024, 768);
  EXPECT_EQ(in.di.GetX(), 512);
  EXPECT_EQ(in.di.GetY(), 384);
  const int expected[][2] = {{1024, 334}, {0, 0}, {1024, 768}, {1023, 767}, {1024, 0}};
  for (const auto& xy : expected) {
    if (&xy == &expected[4]) in.di.SetSensitivity(1e9f);
    in.Frames();
    EXPECT_EQ(in.di.GetX(), xy[0]);
    EXPECT_EQ(in.di.GetY(), xy[1]);
  }
  EXPECT_EQ(in.host.LogCount("DIWrapper"), 0);
}

TEST(DIWrapperWheel, TruncatesTheScaledMotionAndStaysInRange) {
  Input in(
      "0 move 0 0 120\n1 move 0 0 3\n2 move 0 0 -3\n3 move 0 0 -3\n4 move 0 0 1200\n"
      "5 move 0 0 -120\n");
  const int steps[][2] = {{50, 74}, {50, 50}, {50, 49}, {0, 0}, {0, 100}, {100, 76}};
  for (const auto& s : steps) {
    in.di.SetZ(s[0]);
    in.Frames();
    EXPECT_EQ(in.di.GetZ(), s[1]) << "from " << s[0];
  }
}

TEST(DIWrapperButtons, OnlyZeroToThreeAndStrictRectangles) {
  Input in("0 button 0 down\n0 button 3 down\n0 button 4 down\n1 button 0 up\n");
  in.Frames();
  EXPECT_TRUE(in.di.IsButtonDown(0));
  EXPECT_TRUE(in.di.IsButtonDown(3));
  EXPECT_TRUE(in.di.IsButtonUp(1));
  EXPECT_FALSE(in.di.IsButtonDown(4)) << "held, but outside 0..3";
  for (int b : {-1, 4, INT_MIN}) EXPECT_FALSE(in.di.IsButtonUp(b)) << b;

  in.di.SetX(100);
  in.di.SetY(50);
  EXPECT_FALSE(in.di.ClickedInRect(0, 0, 100, 100, 0)) << "right edge excluded";
  EXPECT_TRUE(in.di.ClickedInRect(0, 0, 101, 100, 0));
  EXPECT_FALSE(in.di.ClickedInRect(0, 0, 101, 100, 1)) << "right button is up";
  EXPECT_FALSE(in.di.InRect(100, 0, 200, 100)) << "left edge excluded";
  EXPECT_FALSE(in.di.InRect(0, 50, 200, 100)) << "top edge excluded";
  EXPECT_FALSE(in.di.InRect(0, 0, 200, 50)) << "bottom edge excluded";
  in.Frames();
  EXPECT_FALSE(in.di.IsButtonDown(0));
  EXPECT_TRUE(in.di.IsButtonUp(0));
}

TEST(DIWrapperKeys, ReleaseIsReportedOnceAfterTheKeyGoesUp) {
  // P held in frames 0 to 2, up from frame 3; a tap of Escape inside frame 4.
  Input in("0 key 0x19 down\n3 key 0x19 up\n4 key 0x01 down\n4 key 0x01 up\n");
  std::vector<bool> down, released, escape;
  for (int f = 0; f < 6; ++f) {
    in.Frames();
    down.push_back(in.di.IsKeyDown(DIK_P));
    released.push_back(in.di.KeyReleased(DIK_P));
    escape.push_back(in.di.IsKeyDown(DIK_ESCAPE) || in.di.KeyReleased(DIK_ESCAPE));
  }
  EXPECT_EQ(down, (std::vector<bool>{true, true, true, false, false, false}));
  EXPECT_EQ(released, (std::vector<bool>{false, false, false, true, false, false}));
  EXPECT_EQ(escape, std::vector<bool>(6, false)) << "a tap between two reads is never seen";
  for (int code : {-1, 256, INT_MAX}) EXPECT_FALSE(in.di.KeyReleased(code)) << code;
}

TEST(DIWrapperKeys, TheReleaseFlagNeedsASightingAndServesOneCaller) {
  Input in("0 key 0x19 down\n1 key 0x19 up\n2 key 0x19 down\n3 key 0x19 up\n");
  in.Frames(2);  // nobody asks about P while it is down
  EXPECT_FALSE(in.di.KeyReleased(DIK_P));
  in.Frames();
  EXPECT_FALSE(in.di.KeyReleased(DIK_P));
  in.Frames();
  EXPECT_TRUE(in.di.KeyReleased(DIK_P));
  EXPECT_FALSE(in.di.KeyReleased(DIK_P)) << "a second caller in the same frame sees nothing";
}
