// Reading "Readme.txt": 14 words, three numbers and four bounded names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "app/app.h"

namespace {

std::string Write(const std::string& name, const std::string& text) {
  const std::string path = std::string(::testing::TempDir()) + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return path;
}

// Numbers and names are read as a chain of >> extractions reads them: a word
// that starts with a number gives that number and leaves the rest to the next
// read, and once one read fails nothing more is read. What was read before
// the failure stays; the rest, and the whole result of a missing file, is
// zero or empty, whatever the structure held before.
TEST(StartupParameters, ReadAsAChainOfExtractions) {
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
    const std::string path = text ? Write("chain.txt", text) : "/nonexistent/Readme.txt";
    EXPECT_EQ(ReadStartupParameters(path.c_str(), &p), !chain.fail());
    EXPECT_EQ(p.patchSize, numbers[0]);
    EXPECT_EQ(p.levels, numbers[1]);
    EXPECT_EQ(p.vertexLimit, numbers[2]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.textures[i], names[i]) << i;
  }
}

TEST(StartupParameters, OverlongWordsAreBoundedTo255) {
  StartupParameters p;
  const std::string longName(10000, 'x');
  const std::string longLabel(300, 'L');
  const std::string path = Write("long.txt", longLabel + " 16 b 4 c 65536 d " + longName + " e t1 f t2 g t3");
  ASSERT_TRUE(ReadStartupParameters(path.c_str(), &p));
  EXPECT_EQ(p.patchSize, 16);
  EXPECT_EQ(std::strlen(p.textures[0]), 255u);
  EXPECT_EQ(std::string(p.textures[0]), std::string(255, 'x'));
  EXPECT_STREQ(p.textures[1], "t1") << "the rest of an over-long word is skipped";
}

}  // namespace
