// The terrain shader texts assemble to exactly the token streams worked out
// by hand from the token format (testing/terrain_shader_tokens.h).
#include <gtest/gtest.h>

#include "asm_test_util.h"
#include "lighting/terrain_shaders.h"
#include "testing/terrain_shader_tokens.h"

namespace {

// Each text as the terrain passes it (the pixel text without the newline
// after its last line), with nothing readable after it; then whole, and with
// the terminating zero counted in.
TEST(AsmGolden, TerrainTextsAsPassedWholeAndWithTheirZero) {
  const struct {
    const char* text;
    std::size_t size, passed;
    const std::uint32_t* tokens;
    std::size_t words;
  } cases[] = {
      {g_TerrainVertexShaderText, 1103, 1103, qv::test::kTerrainVertexShaderTokens, 99},
      {g_TerrainPixelShaderText, 294, 293, qv::test::kTerrainPixelShaderTokens, 44},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(std::strlen(c.text), c.size);
    const std::vector<DWORD> want(c.tokens, c.tokens + c.words);
    const GuardedText text(std::string(c.text, c.passed));
    const AsmResult r = AssembleBytes(text.data(), text.size());
    ASSERT_EQ(r.hr, S_OK) << r.errors;
    EXPECT_FALSE(r.gotErrors);
    EXPECT_FALSE(r.gotConstants);  // no def statements
    EXPECT_EQ(r.words, want);
    EXPECT_EQ(AssembleBytes(c.text, static_cast<UINT>(c.size)).words, want);
    EXPECT_EQ(AssembleBytes(c.text, static_cast<UINT>(c.size + 1)).words, want);
  }
}

}  // namespace
