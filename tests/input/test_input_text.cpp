// Typed text: letters and digits appended on release, Shift, Enter, Escape,
// and the bounded buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/input/input_test_util.h"

namespace {

// Text collection switched on from the start.
struct TypedText : input_test::Input {
  explicit TypedText(const std::string& script) : Input(script) { di.ResetText(0); }
};

// Presses a key in frame f and lets it go in frame f + 1.
std::string Tap(int f, int code) {
  return std::to_string(f) + " key " + std::to_string(code) + " down\n" + std::to_string(f + 1) + " key " +
         std::to_string(code) + " up\n";
}

}  // namespace

TEST(TypedTextTest, LettersThenEnterFinishTheLine) {
  TypedText t(Tap(0, DIK_H) + Tap(2, DIK_I) + Tap(4, DIK_RETURN) + Tap(6, DIK_J));
  t.Frames(10);
  EXPECT_STREQ(t.di.GetText(), "hi");
  EXPECT_EQ(t.di.GetTextState(), 28);
  t.di.ResetText(1);  // collection off: keys add nothing
  t.di.Update();
  EXPECT_STREQ(t.di.GetText(), "");
  EXPECT_EQ(t.di.GetTextState(), 0);
}

TEST(TypedTextTest, KeysReleasedTogetherFollowListOrder) {
  TypedText t(
      "0 key 0x30 down\n0 key 0x1E down\n0 key 0x0B down\n0 key 0x02 down\n"  // B A 0 1
      "1 key 0x0B up\n1 key 0x02 up\n1 key 0x30 up\n1 key 0x1E up\n");
  t.Frames(2);
  EXPECT_STREQ(t.di.GetText(), "ab10") << "letters, then 1..9, then 0";
}

TEST(TypedTextTest, ShiftGivesCapitalsAndHoldsDigitsBack) {
  TypedText t(
      "0 key 0x02 down\n"                   // 1, seen without Shift
      "1 key 0x2A down\n1 key 0x1E down\n"  // left Shift, A
      "2 key 0x1E up\n2 key 0x02 up\n"      // both let go under Shift
      "4 key 0x2A up\n"
      "5 key 0x36 down\n5 key 0x2C down\n6 key 0x2C up\n");  // right Shift, Z
  t.Frames(4);
  EXPECT_STREQ(t.di.GetText(), "A") << "no digit while Shift is held";
  t.Frames(1);
  EXPECT_STREQ(t.di.GetText(), "A1") << "the digit's release flag stayed set";
  t.Frames(3);
  EXPECT_STREQ(t.di.GetText(), "A1Z");
}

TEST(TypedTextTest, EscapeCancelsAndEnterAfterItLeavesNoText) {
  TypedText t(Tap(0, DIK_X) + Tap(2, DIK_ESCAPE) + Tap(4, DIK_Y) + Tap(6, DIK_RETURN));
  t.Frames(2);
  EXPECT_STREQ(t.di.GetText(), "x");
  t.Frames(4);
  EXPECT_STREQ(t.di.GetText(), "");
  EXPECT_EQ(t.di.GetTextState(), 1);
  t.Frames(2);
  EXPECT_STREQ(t.di.GetText(), "");
  EXPECT_EQ(t.di.GetTextState(), 28);
}

TEST(TypedTextTest, AFullBufferDropsCharactersAndStaysTerminated) {
  TypedText t(Tap(0, DIK_Q) + Tap(2, DIK_W));
  std::memset(t.di.m_Text, 'z', 1022);
  t.Frames(4);
  EXPECT_EQ(std::strlen(t.di.GetText()), 1023u);
  EXPECT_EQ(t.di.GetText()[1022], 'q') << "the 1023rd fits, the 1024th is dropped";
}
