// Encoding of operands and instructions: registers and their limits,
// modifiers, masks, swizzles, shifts, co-issue, indexing, definitions, the
// sub rewrite and the debug comment blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "asm_test_util.h"

namespace {

using Words = std::vector<DWORD>;

Words Vs(const std::string& body) {
  const AsmResult r = Assemble("vs.1.1\n" + body);
  EXPECT_EQ(r.hr, S_OK) << body << "\n" << r.errors;
  return Body(r);
}

Words Ps(const std::string& body) {
  const AsmResult r = Assemble("ps.1.1\n" + body);
  EXPECT_EQ(r.hr, S_OK) << body << "\n" << r.errors;
  return Body(r);
}

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
  EXPECT_EQ(r.words, (Words{0xFFFE0101, 0x0009FFFE, 0x58443344, 0x68532038, 0x72656461, 0x73734120,
                            0x6C626D65, 0x56207265, 0x69737265, 0x30206E6F, 0x0031392E, 0x0000FFFF}));
}

TEST(AsmEncoding, VertexRegisterTypesAndLimits) {
  EXPECT_EQ(Vs("mov r0, v15"), (Words{1, 0x800F0000, 0x90E4000F}));
  EXPECT_EQ(Vs("mov r11, r0"), (Words{1, 0x800F000B, 0x80E40000}));
  EXPECT_EQ(Vs("mov r0, c4095"), (Words{1, 0x800F0000, 0xA0E40FFF}));
  EXPECT_EQ(Vs("mov a0.x, v0"), (Words{1, 0xB0010000, 0x90E40000}));
  EXPECT_EQ(Vs("mov r0, a0.x"), (Words{1, 0x800F0000, 0xB0000000}));
  EXPECT_EQ(Vs("mov oPos, v0"), (Words{1, 0xC00F0000, 0x90E40000}));
  EXPECT_EQ(Vs("mov oFog.x, v0"), (Words{1, 0xC0010001, 0x90E40000}));
  EXPECT_EQ(Vs("mov oPts.x, v0"), (Words{1, 0xC0010002, 0x90E40000}));
  EXPECT_EQ(Vs("mov oD1, v0"), (Words{1, 0xD00F0001, 0x90E40000}));
  EXPECT_EQ(Vs("mov oT7, v0"), (Words{1, 0xE00F0007, 0x90E40000}));
  // Leading zeros are only digits.
  EXPECT_EQ(Vs("mov r01, v002"), (Words{1, 0x800F0001, 0x90E40002}));
}

TEST(AsmEncoding, PixelRegisterTypesAndLimits) {
  EXPECT_EQ(Ps("mov r7, v1"), (Words{1, 0x800F0007, 0x90E40001}));
  EXPECT_EQ(Ps("mov r0, c15"), (Words{1, 0x800F0000, 0xA0E4000F}));
  EXPECT_EQ(Ps("tex t7"), (Words{0x42, 0xB00F0007}));
  EXPECT_EQ(Ps("mov t1, t0"), (Words{1, 0xB00F0001, 0xB0E40000}));
  EXPECT_EQ(Ps("mov r0, v7"), (Words{1, 0x800F0000, 0x90E40007}));
  // A pixel constant may be written with an integer index.
  EXPECT_EQ(Ps("mov r0, c[2+3+1]"), (Words{1, 0x800F0000, 0xA0E40006}));
}

TEST(AsmEncoding, WriteMasks) {
  EXPECT_EQ(Vs("mov r0.x, v0")[1], 0x80010000u);
  EXPECT_EQ(Vs("mov r0.yw, v0")[1], 0x800A0000u);
  EXPECT_EQ(Vs("mov r0.xyzw, v0")[1], 0x800F0000u);
  EXPECT_EQ(Vs("mov r0.rga, v0")[1], 0x800B0000u);
  // Pixel shaders allow rgb, alpha or all four.
  EXPECT_EQ(Ps("mov r0.rgb, v0")[1], 0x80070000u);
  EXPECT_EQ(Ps("mov r0.xyz, v0")[1], 0x80070000u);
  EXPECT_EQ(Ps("mov r0.a, v0")[1], 0x80080000u);
  EXPECT_EQ(Ps("mov r0.rgba, v0")[1], 0x800F0000u);
}

TEST(AsmEncoding, SwizzlesRepeatTheirLastComponent) {
  EXPECT_EQ(Vs("mov r0, v0.x")[2], 0x90000000u);
  EXPECT_EQ(Vs("mov r0, v0.w")[2], 0x90FF0000u);
  EXPECT_EQ(Vs("mov r0, v0.yx")[2], 0x90010000u);   // yxxx
  EXPECT_EQ(Vs("mov r0, v0.xyz")[2], 0x90A40000u);  // xyzz
  EXPECT_EQ(Vs("mov r0, v0.wzyx")[2], 0x901B0000u);
  EXPECT_EQ(Vs("mov r0, v0.bgra")[2], 0x90C60000u);
  EXPECT_EQ(Ps("mov r0, t0.a")[2], 0xB0FF0000u);
  EXPECT_EQ(Ps("mov r0, t0.rgba")[2], 0xB0E40000u);
}

TEST(AsmEncoding, SourceModifiers) {
  EXPECT_EQ(Vs("mov r0, -v1")[2], 0x91E40001u);
  EXPECT_EQ(Ps("mov r0, t1_bias")[2], 0xB2E40001u);
  EXPECT_EQ(Ps("mov r0, -t1_bias")[2], 0xB3E40001u);
  EXPECT_EQ(Ps("mov r0, t1_bx2")[2], 0xB4E40001u);
  EXPECT_EQ(Ps("mov r0, -t1_bx2")[2], 0xB5E40001u);
  EXPECT_EQ(Ps("mov r0, t1_sgn")[2], 0xB4E40001u);
  EXPECT_EQ(Ps("mov r0, -t1_sgn.a")[2], 0xB5FF0001u);
  // Complement: the integer is not examined.
  EXPECT_EQ(Ps("mov r0, 1-t1")[2], 0xB6E40001u);
  EXPECT_EQ(Ps("mov r0, 7 - t1.a")[2], 0xB6FF0001u);
  // Worked examples of the token format.
  EXPECT_EQ(Vs("mov r0, -c12")[2], 0xA1E4000Cu);
  EXPECT_EQ(Vs("mov r0, c12.z")[2], 0xA0AA000Cu);
}

TEST(AsmEncoding, ResultShiftsAndSaturate) {
  const struct {
    const char* op;
    DWORD bits;
  } cases[] = {{"mul_x2", 0x01000000},  {"mul_x4", 0x02000000},     {"mul_x8", 0x03000000},
               {"mul_d2", 0x0F000000},  {"mul_d4", 0x0E000000},     {"mul_d8", 0x0D000000},
               {"mul_sat", 0x00100000}, {"mul_x2_sat", 0x01100000}, {"mul_d8_sat", 0x0D100000}};
  for (const auto& c : cases) {
    EXPECT_EQ(Ps(std::string(c.op) + " r0, r1, r2"), (Words{5, 0x800F0000 | c.bits, 0x80E40001, 0x80E40002}))
        << c.op;
  }
  EXPECT_EQ(Ps("dp3_sat r1, t3_bx2, v0_bx2")[1], 0x801F0001u);
  EXPECT_EQ(Ps("tex_x2 t0")[1], 0xB10F0000u);
}

TEST(AsmEncoding, CoIssue) {
  EXPECT_EQ(Ps("mul r0.rgb, t0, v0\n+add r0.a, t0, v0"),
            (Words{5, 0x80070000, 0xB0E40000, 0x90E40000, 0x40000002, 0x80080000, 0xB0E40000, 0x90E40000}));
  EXPECT_EQ(Ps("mov r0.rgb, t0 + mov r0.a, t1")[3], 0x40000001u);
}

TEST(AsmEncoding, VertexIndexing) {
  // Relative addressing sets bit 13; the integer terms add up.
  EXPECT_EQ(Vs("mov r0, c[a0.x]")[2], 0xA0E42000u);
  EXPECT_EQ(Vs("mov r0, c[a0.x + 5]")[2], 0xA0E42005u);
  EXPECT_EQ(Vs("mov r0, c[3 + a0.x + 4]")[2], 0xA0E42007u);
  EXPECT_EQ(Vs("mov r0, -c[a0.x+1].y")[2], 0xA1552001u);
  EXPECT_EQ(Vs("mov r0, c[10+20+30]")[2], 0xA0E4003Cu);
  EXPECT_EQ(Vs("mov r0, c[4095]")[2], 0xA0E40FFFu);
}

TEST(AsmEncoding, VertexSubBecomesAddWithTheNegationToggled) {
  EXPECT_EQ(Vs("sub r0, r1, r2"), (Words{2, 0x800F0000, 0x80E40001, 0x81E40002}));
  EXPECT_EQ(Vs("sub r0, r1, -r2"), (Words{2, 0x800F0000, 0x80E40001, 0x80E40002}));
  // Pixel shaders keep their subtract.
  EXPECT_EQ(Ps("sub r0, r1, r2"), (Words{3, 0x800F0000, 0x80E40001, 0x80E40002}));
}

TEST(AsmEncoding, OperandCountsAndLayout) {
  EXPECT_EQ(Vs("nop"), (Words{0}));
  EXPECT_EQ(Ps("tex t0 texm3x3spec t3, t0, c0"),
            (Words{0x42, 0xB00F0000, 76, 0xB00F0003, 0xB0E40000, 0xA0E40000}));
  // Newlines carry no meaning: instructions may share a line or be split.
  EXPECT_EQ(Vs("mov r0,\n v0 mov r1,\n\n v1"), (Words{1, 0x800F0000, 0x90E40000, 1, 0x800F0001, 0x90E40001}));
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

TEST(AsmEncoding, CommentsAndWhiteSpace) {
  EXPECT_EQ(Vs("; whole line\n// another\r\nmov r0, v0 ; mov r1, v1\n\t\vmov r2, v2 // x"),
            (Words{1, 0x800F0000, 0x90E40000, 1, 0x800F0002, 0x90E40002}));
  // Comments and the version statement on one line with more text.
  EXPECT_EQ(Body(Assemble("// head\nvs . 1 . 1 mov r0, v0")), (Words{1, 0x800F0000, 0x90E40000}));
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
