// The terrain shader texts assemble to exactly the token streams worked out
// by hand from the token format (testing/terrain_shader_tokens.h).
#include <gtest/gtest.h>

#include "asm_test_util.h"
#include "lighting/terrain_shaders.h"
#include "testing/terrain_shader_tokens.h"

namespace {

template <std::size_t N>
std::vector<DWORD> Words(const std::uint32_t (&tokens)[N]) {
  return std::vector<DWORD>(tokens, tokens + N);
}

TEST(AsmGolden, VertexShaderText) {
  ASSERT_EQ(std::strlen(g_TerrainVertexShaderText), 1103u);
  const AsmResult r = AssembleBytes(g_TerrainVertexShaderText, 1103);
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  EXPECT_FALSE(r.gotErrors);
  EXPECT_FALSE(r.gotConstants);  // no def statements
  ASSERT_TRUE(r.gotShader);
  EXPECT_EQ(r.words, Words(qv::test::kTerrainVertexShaderTokens));
}

TEST(AsmGolden, PixelShaderTextWithoutFinalNewline) {
  ASSERT_EQ(std::strlen(g_TerrainPixelShaderText), 294u);
  const std::vector<DWORD> want = Words(qv::test::kTerrainPixelShaderTokens);

  // As the terrain passes it: without the newline after the last line, and
  // with nothing readable after the 293rd byte.
  const GuardedText text(std::string(g_TerrainPixelShaderText, 293));
  const AsmResult r = AssembleBytes(text.data(), text.size());
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  EXPECT_FALSE(r.gotErrors);
  EXPECT_FALSE(r.gotConstants);
  EXPECT_EQ(r.words, want);

  // With the final newline, and with a terminating zero counted in, the
  // result is the same.
  EXPECT_EQ(AssembleBytes(g_TerrainPixelShaderText, 294).words, want);
  EXPECT_EQ(AssembleBytes(g_TerrainPixelShaderText, 295).words, want);
}

}  // namespace
