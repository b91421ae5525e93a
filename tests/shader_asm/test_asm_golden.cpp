// The terrain shader texts assemble to exactly the expected token streams.
// The vertex words are worked out by hand from the token format.
#include <gtest/gtest.h>

#include "asm_test_util.h"
#include "lighting/terrain_shaders.h"

namespace {

// "D3DX8 Shader Assembler Version 0.91" and its zero, four bytes per word,
// first byte lowest.
const DWORD kBanner[10] = {0x0009FFFE, 0x58443344, 0x68532038, 0x72656461, 0x73734120,
                           0x6C626D65, 0x56207265, 0x69737265, 0x30206E6F, 0x0031392E};

TEST(AsmGolden, VertexShaderText) {
  ASSERT_EQ(std::strlen(g_TerrainVertexShaderText), 1103u);
  const AsmResult r = AssembleBytes(g_TerrainVertexShaderText, 1103);
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  EXPECT_FALSE(r.gotErrors);
  EXPECT_FALSE(r.gotConstants);  // no def statements
  ASSERT_TRUE(r.gotShader);

  std::vector<DWORD> want = {0xFFFE0100};
  want.insert(want.end(), kBanner, kBanner + 10);
  const std::vector<DWORD> body = {
      0x00000009, 0xC0010000, 0x90E40000, 0xA0E40004,              // dp4 oPos.x, v0, c4
      0x00000009, 0xC0020000, 0x90E40000, 0xA0E40005,              // dp4 oPos.y, v0, c5
      0x00000009, 0xC0040000, 0x90E40000, 0xA0E40006,              // dp4 oPos.z, v0, c6
      0x00000009, 0xC0080000, 0x90E40000, 0xA0E40007,              // dp4 oPos.w, v0, c7
      0x00000001, 0x800F0003, 0x90E4000B,                          // mov r3, v11
      0x00000001, 0x800F0005, 0x90E40003,                          // mov r5, v3
      0x00000005, 0x800F0000, 0x80D20003, 0x80C90005,              // mul r0, r3.zxyw, r5.yzxw
      0x00000004, 0x800F0004, 0x80C90003, 0x80D20005, 0x81E40000,  // mad r4, r3.yzxw, r5.zxyw, -r0
      0x00000008, 0x80010006, 0x80E40003, 0xA1E4000C,              // dp3 r6.x, r3, -c12
      0x00000008, 0x80020006, 0x80E40004, 0xA1E4000C,              // dp3 r6.y, r4, -c12
      0x00000008, 0x80040006, 0x80E40005, 0xA1E4000C,              // dp3 r6.z, r5, -c12
      0x00000004, 0xD0070000, 0x80A40006, 0xA0E40014, 0xA0E40014,  // mad oD0.xyz, r6.xyz, c20, c20
      0x00000001, 0xD0080000, 0xA0AA000C,                          // mov oD0.w, c12.z
      0x00000001, 0x800F0001, 0x90E40000,                          // mov r1, v0
      0x00000001, 0x80020001, 0xA0000000,                          // mov r1.y, c0.x
      0x00000002, 0x800F0001, 0x80E40001, 0xA1E4000A,              // add r1, r1, -c10
      0x00000008, 0x800F0001, 0x80E40001, 0x80E40001,              // dp3 r1, r1, r1
      0x00000007, 0x80080001, 0x80FF0001,                          // rsq r1.w, r1.w
      0x00000006, 0x80080001, 0x80FF0001,                          // rcp r1.w, r1.w
      0x00000005, 0xC00F0001, 0x80FF0001, 0xA0AA0000,              // mul oFog, r1.w, c0.z
      0x00000001, 0xE0030000, 0x90E40007,                          // mov oT0.xy, v7
      0x00000001, 0xE0030001, 0x90E40008,                          // mov oT1.xy, v8
      0x00000001, 0xE0030002, 0x90E40009,                          // mov oT2.xy, v9
      0x00000001, 0xE0030003, 0x90E4000A,                          // mov oT3.xy, v10
  };
  want.insert(want.end(), body.begin(), body.end());
  want.push_back(0x0000FFFF);
  EXPECT_EQ(r.words, want);
}

TEST(AsmGolden, PixelShaderTextWithoutFinalNewline) {
  ASSERT_EQ(std::strlen(g_TerrainPixelShaderText), 294u);
  std::vector<DWORD> want = {0xFFFF0101};
  want.insert(want.end(), kBanner, kBanner + 10);
  want.insert(want.end(), {0x00000042, 0xB00F0000, 0x00000042, 0xB00F0001, 0x00000042, 0xB00F0002, 0x00000042,
                           0xB00F0003, 0x00000012, 0x800F0000, 0xB0FF0001, 0xB0E40001, 0xB0E40000, 0x00000008,
                           0x801F0001, 0xB4E40003, 0x94E40000, 0x00000005, 0x80070001, 0xA0E40002, 0x80E40001,
                           0x00000002, 0x80070001, 0xA0E40000, 0x80E40001, 0x00000005, 0x80070000, 0x80E40000,
                           0x80E40001, 0x00000001, 0x80080000, 0xB0FF0000, 0x0000FFFF});

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
