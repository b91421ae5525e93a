// Reading "Readme.txt": 14 words, three numbers and four bounded names.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "app/app.h"
#include "testing/temp_log.h"

namespace {

// Numbers and names are read as a chain of >> extractions reads them: a word
// that starts with a number gives that number and leaves the rest to the next
// read, and once one read fails nothing more is read. What was read before
// the failure stays; the rest, and the whole result of a missing file, is
// zero or empty, whatever the structure held before.
TEST(StartupParameters, ReadAsAChainOfExtractions) {
  const qv::test::TempDir tmp;  // the working directory meanwhile
  // clang-format off
  const char* texts[] = {
      "PatchSize 16\nLevels\t4 MaxVertices 65536\r\nTex0 a.bmp Tex1 b.tga\nTex2 c.jpg Tex3 d.png",
      "a 16 b 4 c 65536 d t0 e t1 f t2 g",          "a 16 b four c 65536 d t0 e t1 f t2 g t3",
      "a 16 b 4 c 2147483648 d t0 e t1 f t2 g t3",  "a -16 b 4 c 65536 d t0 e t1 f t2 g t3",
      "a 16 b 4 c 65536.0 d t0 e t1 f t2 g t3",     "a 16 b 4 c 0x10000 d t0 e t1 f t2 g t3",
      "a 16b 4 c 65536 d t0 e t1 f t2 g t3",        "a +16 b 4 c -0 d t0 e t1 f t2 g t3",
      "a 16 b 4x c 65536 d t0 e t1 f t2 g t3",      "a - 16 b 4 c 65536 d t0 e t1 f t2 g t3",
      "a 16 b 4 c 99999999999 d t0 e t1 f t2 g t3", nullptr,  // no file
  };
  // clang-format on
  for (const char* text : texts) {
    SCOPED_TRACE(text ? text : "missing file");
    std::istringstream chain(text ? text : "");
    std::string label, names[4];
    int numbers[3] = {0, 0, 0};
    chain >> label >> numbers[0] >> label >> numbers[1] >> label >> numbers[2];
    for (std::string& name : names) chain >> label >> name;
    StartupParameters p;
    p.patchSize = p.levels = p.vertexLimit = 99;
    for (auto& name : p.textures) std::strcpy(name, "stale");
    if (text) tmp.WriteFile("chain.txt", text);
    EXPECT_EQ(ReadStartupParameters(text ? "chain.txt" : "missing.txt", &p), !chain.fail());
    EXPECT_EQ(p.patchSize, numbers[0]);
    EXPECT_EQ(p.levels, numbers[1]);
    EXPECT_EQ(p.vertexLimit, numbers[2]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.textures[i], names[i]) << i;
  }
}

TEST(StartupParameters, OverlongWordsAreBoundedTo255) {
  const qv::test::TempDir tmp;
  StartupParameters p;
  const std::string longName(10000, 'x');
  const std::string longLabel(300, 'L');
  tmp.WriteFile("long.txt", longLabel + " 16 b 4 c 65536 d " + longName + " e t1 f t2 g t3");
  ASSERT_TRUE(ReadStartupParameters("long.txt", &p));
  EXPECT_EQ(p.patchSize, 16);
  EXPECT_EQ(std::strlen(p.textures[0]), 255u);
  EXPECT_EQ(std::string(p.textures[0]), std::string(255, 'x'));
  EXPECT_STREQ(p.textures[1], "t1") << "the rest of an over-long word is skipped";
}

}  // namespace
