// Typed text: letters and digits appended on release, Shift, Enter, Escape,
// and the bounded buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

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

// Scripts and the text (and state, where not -1) after so many frames:
// letters, then Enter, finish the line; keys let go in one frame follow list
// order (letters, then 1..9, then 0); Shift gives capitals and holds digits
// back, their release flag staying set; Escape cancels, and Enter after it
// leaves no text.
TEST(TypedTextTest, TextAndStateAfterEachFrame) {
  const struct {
    std::string script;
    std::vector<std::tuple<int, const char*, int>> after;  // frames, text, state
  } cases[] = {
      {Tap(0, DIK_H) + Tap(2, DIK_I) + Tap(4, DIK_RETURN) + Tap(6, DIK_J), {{10, "hi", 28}}},
      {"0 key 0x30 down\n0 key 0x1E down\n0 key 0x0B down\n0 key 0x02 down\n"  // B A 0 1
       "1 key 0x0B up\n1 key 0x02 up\n1 key 0x30 up\n1 key 0x1E up\n",
       {{2, "ab10", -1}}},
      {"0 key 0x02 down\n"                   // 1, seen without Shift
       "1 key 0x2A down\n1 key 0x1E down\n"  // left Shift, A
       "2 key 0x1E up\n2 key 0x02 up\n"      // both let go under Shift
       "4 key 0x2A up\n"
       "5 key 0x36 down\n5 key 0x2C down\n6 key 0x2C up\n",  // right Shift, Z
       {{4, "A", -1}, {5, "A1", -1}, {8, "A1Z", -1}}},
      {Tap(0, DIK_X) + Tap(2, DIK_ESCAPE) + Tap(4, DIK_Y) + Tap(6, DIK_RETURN),
       {{2, "x", -1}, {6, "", 1}, {8, "", 28}}},
  };
  for (const auto& c : cases) {
    TypedText t(c.script);
    int frames = 0;
    for (const auto& [until, text, state] : c.after) {
      t.Frames(until - frames);
      frames = until;
      EXPECT_STREQ(t.di.GetText(), text) << c.script << "after frame " << frames;
      if (state >= 0) {
        EXPECT_EQ(t.di.GetTextState(), state) << c.script << "after frame " << frames;
      }
    }
  }
  // Collection off: the text is dropped and keys add nothing.
  TypedText t(Tap(0, DIK_H) + Tap(2, DIK_RETURN) + Tap(4, DIK_I));
  t.Frames(4);
  EXPECT_STREQ(t.di.GetText(), "h");
  EXPECT_EQ(t.di.GetTextState(), 28);
  t.di.ResetText(1);
  t.Frames(2);
  EXPECT_STREQ(t.di.GetText(), "");
  EXPECT_EQ(t.di.GetTextState(), 0);
}

TEST(TypedTextTest, AFullBufferDropsCharactersAndStaysTerminated) {
  TypedText t(Tap(0, DIK_Q) + Tap(2, DIK_W));
  std::memset(t.di.m_Text, 'z', 1022);
  t.Frames(4);
  EXPECT_EQ(std::strlen(t.di.GetText()), 1023u);
  EXPECT_EQ(t.di.GetText()[1022], 'q') << "the 1023rd fits, the 1024th is dropped";
}
