// Encoding of operands and instructions: registers and their limits,
// modifiers, masks, swizzles, shifts, co-issue, indexing, definitions, the
// sub rewrite and the debug comment blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "asm_test_util.h"
#include "testing/terrain_shader_tokens.h"

namespace {

using Words = std::vector<DWORD>;

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

TEST(AsmEncoding, VersionTokens) {
  EXPECT_EQ(Assemble("ps.255.7").words.at(0), 0xFFFFFF07u);
  // A text with only the version statement is a whole program.
  const AsmResult r = Assemble("vs.1.1");
  ASSERT_EQ(r.hr, S_OK);
  // Its version token, the banner comment of the terrain's streams, the end.
  Words want(qv::test::kTerrainVertexShaderTokens, qv::test::kTerrainVertexShaderTokens + 11);
  want[0] = 0xFFFE0101;
  want.push_back(0x0000FFFF);
  EXPECT_EQ(r.words, want);
}

// The instruction words of one or two instructions: register types and their
// limits, masks, swizzles, modifiers, result shifts, co-issue, indexing, the
// sub rewrite, operand counts, comments and white space.
TEST(AsmEncoding, InstructionWords) {
  const struct {
    const char* text;
    Words body;
  } cases[] = {
      // Vertex registers; leading zeros are only digits.
      {"vs.1.1 mov r0, v15", {1, 0x800F0000, 0x90E4000F}},
      {"vs.1.1 mov r11, r0", {1, 0x800F000B, 0x80E40000}},
      {"vs.1.1 mov r0, c4095", {1, 0x800F0000, 0xA0E40FFF}},
      {"vs.1.1 mov a0.x, v0", {1, 0xB0010000, 0x90E40000}},
      {"vs.1.1 mov r0, a0.x", {1, 0x800F0000, 0xB0000000}},
      {"vs.1.1 mov oPos, v0", {1, 0xC00F0000, 0x90E40000}},
      {"vs.1.1 mov oFog.x, v0", {1, 0xC0010001, 0x90E40000}},
      {"vs.1.1 mov oPts.x, v0", {1, 0xC0010002, 0x90E40000}},
      {"vs.1.1 mov oD1, v0", {1, 0xD00F0001, 0x90E40000}},
      {"vs.1.1 mov oT7, v0", {1, 0xE00F0007, 0x90E40000}},
      {"vs.1.1 mov r01, v002", {1, 0x800F0001, 0x90E40002}},
      // Pixel registers; a pixel constant may be written with an integer index.
      {"ps.1.1 mov r7, v1", {1, 0x800F0007, 0x90E40001}},
      {"ps.1.1 mov r0, c15", {1, 0x800F0000, 0xA0E4000F}},
      {"ps.1.1 tex t7", {0x42, 0xB00F0007}},
      {"ps.1.1 mov t1, t0", {1, 0xB00F0001, 0xB0E40000}},
      {"ps.1.1 mov r0, v7", {1, 0x800F0000, 0x90E40007}},
      {"ps.1.1 mov r0, c[2+3+1]", {1, 0x800F0000, 0xA0E40006}},
      // Write masks; pixel shaders allow rgb, alpha or all four.
      {"vs.1.1 mov r0.x, v0", {1, 0x80010000, 0x90E40000}},
      {"vs.1.1 mov r0.yw, v0", {1, 0x800A0000, 0x90E40000}},
      {"vs.1.1 mov r0.xyzw, v0", {1, 0x800F0000, 0x90E40000}},
      {"vs.1.1 mov r0.rga, v0", {1, 0x800B0000, 0x90E40000}},
      {"ps.1.1 mov r0.rgb, v0", {1, 0x80070000, 0x90E40000}},
      {"ps.1.1 mov r0.xyz, v0", {1, 0x80070000, 0x90E40000}},
      {"ps.1.1 mov r0.a, v0", {1, 0x80080000, 0x90E40000}},
      {"ps.1.1 mov r0.rgba, v0", {1, 0x800F0000, 0x90E40000}},
      // Swizzles repeat their last component.
      {"vs.1.1 mov r0, v0.x", {1, 0x800F0000, 0x90000000}},
      {"vs.1.1 mov r0, v0.w", {1, 0x800F0000, 0x90FF0000}},
      {"vs.1.1 mov r0, v0.yx", {1, 0x800F0000, 0x90010000}},   // yxxx
      {"vs.1.1 mov r0, v0.xyz", {1, 0x800F0000, 0x90A40000}},  // xyzz
      {"vs.1.1 mov r0, v0.wzyx", {1, 0x800F0000, 0x901B0000}},
      {"vs.1.1 mov r0, v0.bgra", {1, 0x800F0000, 0x90C60000}},
      {"ps.1.1 mov r0, t0.a", {1, 0x800F0000, 0xB0FF0000}},
      {"ps.1.1 mov r0, t0.rgba", {1, 0x800F0000, 0xB0E40000}},
      // Source modifiers; the complement's integer is not examined.
      {"vs.1.1 mov r0, -v1", {1, 0x800F0000, 0x91E40001}},
      {"ps.1.1 mov r0, t1_bias", {1, 0x800F0000, 0xB2E40001}},
      {"ps.1.1 mov r0, -t1_bias", {1, 0x800F0000, 0xB3E40001}},
      {"ps.1.1 mov r0, t1_bx2", {1, 0x800F0000, 0xB4E40001}},
      {"ps.1.1 mov r0, -t1_bx2", {1, 0x800F0000, 0xB5E40001}},
      {"ps.1.1 mov r0, t1_sgn", {1, 0x800F0000, 0xB4E40001}},
      {"ps.1.1 mov r0, -t1_sgn.a", {1, 0x800F0000, 0xB5FF0001}},
      {"ps.1.1 mov r0, 1-t1", {1, 0x800F0000, 0xB6E40001}},
      {"ps.1.1 mov r0, 7 - t1.a", {1, 0x800F0000, 0xB6FF0001}},
      {"vs.1.1 mov r0, -c12", {1, 0x800F0000, 0xA1E4000C}},
      {"vs.1.1 mov r0, c12.z", {1, 0x800F0000, 0xA0AA000C}},
      // Result shifts and saturation.
      {"ps.1.1 mul_x2 r0, r1, r2", {5, 0x810F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_x4 r0, r1, r2", {5, 0x820F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_x8 r0, r1, r2", {5, 0x830F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_d2 r0, r1, r2", {5, 0x8F0F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_d4 r0, r1, r2", {5, 0x8E0F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_d8 r0, r1, r2", {5, 0x8D0F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_sat r0, r1, r2", {5, 0x801F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_x2_sat r0, r1, r2", {5, 0x811F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 mul_d8_sat r0, r1, r2", {5, 0x8D1F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 dp3_sat r1, t3_bx2, v0_bx2", {8, 0x801F0001, 0xB4E40003, 0x94E40000}},
      {"ps.1.1 tex_x2 t0", {0x42, 0xB10F0000}},
      // Co-issue.
      {"ps.1.1 mul r0.rgb, t0, v0\n+add r0.a, t0, v0",
       {5, 0x80070000, 0xB0E40000, 0x90E40000, 0x40000002, 0x80080000, 0xB0E40000, 0x90E40000}},
      {"ps.1.1 mov r0.rgb, t0 + mov r0.a, t1",
       {1, 0x80070000, 0xB0E40000, 0x40000001, 0x80080000, 0xB0E40001}},
      // Vertex indexing: relative addressing sets bit 13; the integer terms
      // add up.
      {"vs.1.1 mov r0, c[a0.x]", {1, 0x800F0000, 0xA0E42000}},
      {"vs.1.1 mov r0, c[a0.x + 5]", {1, 0x800F0000, 0xA0E42005}},
      {"vs.1.1 mov r0, c[3 + a0.x + 4]", {1, 0x800F0000, 0xA0E42007}},
      {"vs.1.1 mov r0, -c[a0.x+1].y", {1, 0x800F0000, 0xA1552001}},
      {"vs.1.1 mov r0, c[10+20+30]", {1, 0x800F0000, 0xA0E4003C}},
      {"vs.1.1 mov r0, c[4095]", {1, 0x800F0000, 0xA0E40FFF}},
      // A vertex sub becomes an add with the negation toggled; pixel shaders
      // keep their subtract.
      {"vs.1.1 sub r0, r1, r2", {2, 0x800F0000, 0x80E40001, 0x81E40002}},
      {"vs.1.1 sub r0, r1, -r2", {2, 0x800F0000, 0x80E40001, 0x80E40002}},
      {"ps.1.1 sub r0, r1, r2", {3, 0x800F0000, 0x80E40001, 0x80E40002}},
      // Operand counts; newlines carry no meaning.
      {"vs.1.1 nop", {0}},
      {"ps.1.1 tex t0 texm3x3spec t3, t0, c0", {0x42, 0xB00F0000, 76, 0xB00F0003, 0xB0E40000, 0xA0E40000}},
      {"vs.1.1 mov r0,\n v0 mov r1,\n\n v1", {1, 0x800F0000, 0x90E40000, 1, 0x800F0001, 0x90E40001}},
      // Comments and white space, also on the version statement's line.
      {"vs.1.1\n; whole line\n// another\r\nmov r0, v0 ; mov r1, v1\n\t\vmov r2, v2 // x",
       {1, 0x800F0000, 0x90E40000, 1, 0x800F0002, 0x90E40002}},
      {"// head\nvs . 1 . 1 mov r0, v0", {1, 0x800F0000, 0x90E40000}},
  };
  for (const auto& c : cases) {
    const AsmResult r = Assemble(c.text);
    EXPECT_EQ(r.hr, S_OK) << c.text << "\n" << r.errors;
    EXPECT_EQ(Body(r), c.body) << c.text;
  }
}

// The opcode of every instruction the other tests do not write, each with
// the number of operands it takes.
TEST(AsmEncoding, Opcodes) {
  const std::pair<const char*, DWORD> cases[] = {
      {"vs.1.1 min r0, r1, r2", 10},       {"vs.1.1 max r0, r1, r2", 11},
      {"vs.1.1 slt r0, r1, r2", 12},       {"vs.1.1 sge r0, r1, r2", 13},
      {"vs.1.1 exp r0, r1", 14},           {"vs.1.1 log r0, r1", 15},
      {"vs.1.1 lit r0, r1", 16},           {"vs.1.1 dst r0, r1, r2", 17},
      {"vs.1.1 frc r0, r1", 19},           {"vs.1.1 m4x4 r0, r1, c0", 20},
      {"vs.1.1 m4x3 r0, r1, c0", 21},      {"vs.1.1 m3x4 r0, r1, c0", 22},
      {"vs.1.1 m3x3 r0, r1, c0", 23},      {"vs.1.1 m3x2 r0, r1, c0", 24},
      {"vs.1.1 expp r0, r1", 78},          {"vs.1.1 logp r0, r1", 79},
      {"ps.1.1 cnd r0, r0.a, r1, r2", 80}, {"ps.1.1 texcoord t0", 64},
      {"ps.1.1 texkill t0", 65},           {"ps.1.1 texbem t1, t0", 67},
      {"ps.1.1 texbeml t1, t0", 68},       {"ps.1.1 texreg2ar t1, t0", 69},
      {"ps.1.1 texreg2gb t1, t0", 70},     {"ps.1.1 texm3x2pad t1, t0", 71},
      {"ps.1.1 texm3x2tex t1, t0", 72},    {"ps.1.1 texm3x3pad t1, t0", 73},
      {"ps.1.1 texm3x3tex t1, t0", 74},    {"ps.1.1 texm3x3diff t1, t0", 75},
      {"ps.1.1 texm3x3vspec t1, t0", 77},  {"ps.1.1 texm3x2depth t1, t0", 96},
      {"ps.1.1 texbrdf t1, t0, t0", 97},   {"ps.1.1 texdp3 t1, t0", 98},
      {"ps.1.1 texreg2rgb t1, t0", 99},
  };
  for (const auto& [text, opcode] : cases) {
    const AsmResult r = Assemble(text);
    EXPECT_EQ(r.hr, S_OK) << text << "\n" << r.errors;
    EXPECT_EQ(Body(r).at(0), opcode) << text;
  }
}

TEST(AsmEncoding, PixelDefinitionsComeBeforeTheInstructions) {
  const AsmResult r = Assemble("ps.1.1\ndef c3, 0.5, -1, +2.5e1, 1f\ndef c0, 0,0,0,.25f\n");
  // ".25f" is not a number: a number starts with a digit.
  EXPECT_EQ(r.hr, D3DXERR_INVALIDDATA);

  const AsmResult ok = Assemble("ps.1.1\ndef c3, 0.5, -1, +2.5e1, 1f\ndef c7, 1.e-1, 3, 0, 0\nmov r0, c3");
  ASSERT_EQ(ok.hr, S_OK) << ok.errors;
  EXPECT_FALSE(ok.gotConstants);  // pixel definitions stay in the stream
  EXPECT_EQ(Body(ok),
            (Words{81, 0xA00F0003, FloatBits(0.5f), FloatBits(-1.0f), FloatBits(25.0f), FloatBits(1.0f), 81,
                   0xA00F0007, FloatBits(0.1f), FloatBits(3.0f), 0, 0, 1, 0x800F0000, 0xA0E40003}));
}

TEST(AsmEncoding, VertexDefinitionsBecomeDeclarationFragments) {
  const AsmResult r = Assemble("vs.1.1\ndef c20, 0.5, 0.5, 0.5, 0.5\ndef c4, 1, 2, 3, 4\nmov oPos, v0");
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  ASSERT_TRUE(r.gotConstants);
  EXPECT_EQ(r.constants,
            (Words{0x82000014, FloatBits(0.5f), FloatBits(0.5f), FloatBits(0.5f), FloatBits(0.5f), 0x82000004,
                   FloatBits(1), FloatBits(2), FloatBits(3), FloatBits(4)}));
  EXPECT_EQ(Body(r), (Words{1, 0xC00F0000, 0x90E40000}));
}

TEST(AsmEncoding, DebugCommentBlocks) {
  const std::string text = "vs.1.1\nmov r0, v0\nmov r1, v1 mov r2, v2\n";
  const AsmResult r = Assemble(text, D3DXASM_DEBUG);
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  const Words body = Body(r);
  // TEXT block: tag and the whole text with a terminating zero.
  const DWORD textWords = DWORD((text.size() + 1 + 3) / 4);
  ASSERT_GE(body.size(), textWords + 2);
  EXPECT_EQ(body[0], 0x0000FFFEu | (textWords + 1) << 16);
  EXPECT_EQ(body[1], 0x54584554u);  // "TEXT"
  EXPECT_EQ(std::memcmp(&body[2], text.c_str(), text.size() + 1), 0);
  // LINE blocks only when the line changes.
  const Words rest(body.begin() + 2 + textWords, body.end());
  EXPECT_EQ(rest, (Words{0x0002FFFE, 0x454E494C, 2, 1, 0x800F0000, 0x90E40000, 0x0002FFFE, 0x454E494C, 3, 1,
                         0x800F0001, 0x90E40001, 1, 0x800F0002, 0x90E40002}));
}

TEST(AsmEncoding, DebugFileBlockAfterLineDirective) {
  const AsmResult r = Assemble("#line 40 \"dir\\\\a.vsh\"\nvs.1.1\nmov r0, v0\n", D3DXASM_DEBUG);
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  // No TEXT block when a file name is known; "dir\a.vsh" has 9 characters.
  const Words body = Body(r);
  ASSERT_EQ(body.size(), 2u + 3u + 3u + 3u);
  EXPECT_EQ(body[0], 0x0004FFFEu);
  EXPECT_EQ(body[1], 0x454C4946u);  // "FILE"
  EXPECT_EQ(std::memcmp(&body[2], "dir\\a.vsh", 10), 0);
  EXPECT_EQ((Words(body.begin() + 5, body.end())),
            (Words{0x0002FFFE, 0x454E494C, 41, 1, 0x800F0000, 0x90E40000}));
}

}  // namespace
