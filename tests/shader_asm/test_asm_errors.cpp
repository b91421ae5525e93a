// Error lines: exact message, file and line, several per text, and the
// first syntax error ending the parse.
#include <gtest/gtest.h>

#include "asm_test_util.h"

namespace {

// Assembles a text that must fail and returns its error text.
std::string Errors(const std::string& text) {
  const AsmResult r = Assemble(text);
  EXPECT_EQ(r.hr, D3DXERR_INVALIDDATA) << text;
  EXPECT_FALSE(r.gotShader) << text;
  EXPECT_FALSE(r.gotConstants) << text;
  return r.errors;
}

std::string Line(int line, const std::string& message) {
  return "(" + std::to_string(line) + ") : (Assembly Error) " + message + "\n";
}

// One error per text: its message, and the line on which the lexer stood when
// it took the most recent instruction keyword, 1 before the first one; not
// the line of the offending token.
TEST(AsmErrors, MessageAndLineOfEachError) {
  const struct {
    const char* text;
    int line;
    const char* message;
  } cases[] = {
      {"vs.1.1\nmov r0, v0\n\n\nfoo\n", 2, "syntax error"},
      {"; nothing\n", 1, "syntax error"},
      {"vs.1.1\nmov r0,\n", 2, "syntax error"},
      // The last source is checked once the next keyword has been read.
      {"vs.1.1\nmov r0, v16\n\nmov r1, v0", 4, "invalid register 'v16'"},
      // Version statement.
      {"\n\nvs.256.0\n", 1, "invalid version"},
      {"#line 40\nvs.256.1", 1, "invalid version"},
      {"\n\nps.1.4096\nmov r0, v0", 1, "invalid version"},
      {"vs.1", 1, "syntax error"},
      {"mov r0, v0", 1, "syntax error"},
      {"VS.1.1", 1, "syntax error"},
      // Masks and swizzles: after a destination "yx" is out of order; after a
      // source it is yxxx. Pixel sources take identity or alpha, destinations
      // rgb, a or all.
      {"vs.1.1\nmov r0.yx, v0.yx", 2, "invalid mask 'yx'"},
      {"vs.1.1\nmov r0.xx, v0", 2, "invalid mask 'xx'"},
      {"vs.1.1\nmov r0.xyzwx, v0", 2, "invalid mask 'xyzwx'"},
      {"vs.1.1\nmov r0, v0.xq", 2, "invalid swizzle 'xq'"},
      {"vs.1.1\nmov r0, v0.xyzwx", 2, "invalid swizzle 'xyzwx'"},
      {"vs.1.1\nmov r0, v0.X", 2, "invalid swizzle 'X'"},
      {"ps.1.1\nmov r0, t0.x", 2, "invalid swizzle"},
      {"ps.1.1\nmov r0, t0.rgb", 2, "invalid swizzle"},
      {"ps.1.1\nmov r0.r, t0", 2, "invalid write mask"},
      {"ps.1.1\nmov r0.rga, t0", 2, "invalid write mask"},
      // Register types in each place.
      {"vs.1.1\nmov v0, r0", 2, "invalid destination register"},
      {"vs.1.1\nmov c0, r0", 2, "invalid destination register"},
      {"vs.1.1\nmov c[a0.x], r0", 2, "invalid destination register"},
      {"ps.1.1\nmov v0, r0", 2, "invalid destination register"},
      {"ps.1.1\nmov c0, r0", 2, "invalid destination register"},
      {"vs.1.1\nmov r0, oPos", 2, "invalid source register"},
      {"vs.1.1\nmov r0, oD0", 2, "invalid source register"},
      {"vs.1.1\nmov r0, -oT1.x", 2, "invalid source register"},
      {"ps.1.1\nmov r0_bx2, t0", 2, "source modifiers are not allowed on destination registers"},
      {"ps.1.1\ntex t0_bias", 2, "source modifiers are not allowed on destination registers"},
      // Complement; with negation it is not in the grammar.
      {"vs.1.1\nmov r0, 1-v0", 2, "complement not supported in vertex shaders"},
      {"ps.1.1\nmov r0, 1-t0_bx2", 2, "complement cannot be used with other modifiers"},
      {"ps.1.1\nmov r0, 1-t0_bias.a", 2, "complement cannot be used with other modifiers"},
      {"ps.1.1\nmov r0, 1--t0", 2, "syntax error"},
      // Index expressions.
      {"vs.1.1\nmov r0, c[a0.x + a0.x]", 2, "a0.x can only appear once in an index expression"},
      {"vs.1.1\nmov r0, c[a0.x + 1 + a0.x + a0.x]", 2, "a0.x can only appear once in an index expression"},
      {"vs.1.1\nmov r0, c[r0.x]", 2, "illegal register in index expression"},
      {"vs.1.1\nmov r0, c[a0.y + 2]", 2, "illegal register in index expression"},
      {"vs.1.1\nmov r0, c[a0]", 2, "illegal register in index expression"},
      {"vs.1.1\nmov r0, c[a1.x]", 2, "illegal register in index expression"},
      {"ps.1.1\nmov r0, c[a0.x]", 2, "illegal register in index expression"},
      {"ps.1.1\nmov r0, c[t0]", 2, "illegal register in index expression"},
      {"vs.1.1\nmov r0, c[1.5]", 2, "syntax error"},
      // Definitions come before any instruction keyword (their errors carry
      // line 1), and at least one instruction follows them.
      {"vs.1.1\n\ndef r0, 1, 2, 3, 4\nmov r0, v0", 1, "invalid constant"},
      {"vs.1.1\ndef c[a0.x + 1], 1, 2, 3, 4\nmov r0, v0", 1, "invalid constant"},
      {"ps.1.1\ndef t0, 1, 2, 3, 4\nmov r0, v0", 1, "invalid constant"},
      {"ps.1.1\ndef c16, 1, 2, 3, 4\nmov r0, v0", 1, "invalid register 'c16'"},
      {"ps.1.1\nmov r0, v0\ndef c0, 1, 2, 3, 4", 2, "syntax error"},
      {"ps.1.1\ndef c0, 1, 2, 3\nmov r0, v0", 3, "syntax error"},
      {"ps.1.1\ndef c0, 1, 2, 3, 4\n", 1, "syntax error"},
      // Names are case-sensitive and belong to one kind of shader.
      {"vs.1.1\nMOV r0, v0", 1, "syntax error"},
      {"vs.1.1\nmov r0, v0\nMOV r1, v0", 2, "syntax error"},
      {"vs.1.1\nmov r0, V0", 2, "invalid register 'V0'"},
      {"vs.1.1\nmov r0, v0\nmul_x2 r0, r1, r2", 2, "syntax error"},
      {"vs.1.1\nmul_sat r0, r1, r2", 1, "syntax error"},
      {"ps.1.1\nmul_sat_x2 r0, r1, r2", 1, "syntax error"},
      {"ps.1.1\nmul_x2_x4 r0, r1, r2", 1, "syntax error"},
      {"ps.1.1\nmul_ r0, r1, r2", 1, "syntax error"},
      {"ps.1.1\nrsq r0, r1", 1, "syntax error"},
      {"vs.1.1\ntex t0", 1, "syntax error"},
      {"vs.1.1\nmov r0, v0 @", 2, "syntax error"},
      // Preprocessor lines; a '#' inside a line is refused too, and the rest
      // of that line skipped.
      {"vs.1.1\n\n\n\nmov r0, v0\n#define X\n", 5, "preprocessor directives are not supported."},
      {"vs.1.1\n#define X 1\nmov r0, v0", 1, "preprocessor directives are not supported."},
      {"vs.1.1\n  #include \"a\"\nmov r0, v0", 1, "preprocessor directives are not supported."},
      {"vs.1.1\nmov r0, v0 # mov r1, v1\nmov r2, v2", 2, "preprocessor directives are not supported."},
      {"vs.1.1\n#line\nmov r0, v0", 1, "preprocessor directives are not supported."},
      {"vs.1.1\n#line 7\n\nmov r12, v0", 8, "invalid register 'r12'"},
  };
  for (const auto& c : cases) EXPECT_EQ(Errors(c.text), Line(c.line, c.message)) << c.text;
}

// The message names the register as written, an index as added up; a sum
// past what a token holds is out of range, not wrapped round.
TEST(AsmErrors, RegistersOutOfRange) {
  auto check = [](const std::string& text, int line, const std::string& reg, const char* named) {
    EXPECT_EQ(Errors(text + reg), Line(line, "invalid register '" + std::string(named ? named : reg) + "'"));
  };
  for (const char* reg : {"r12", "v16", "oD2", "oT8", "a1", "c4096", "oPos0", "r", "R0", "x0", "r0_bx2"})
    check("vs.1.1\n\nmov r0, ", 3, reg, nullptr);
  for (const char* reg : {"r8", "v8", "t8", "c16", "a0", "oPos", "t0_bx3", "t0_bx2_bias"})
    check("ps.1.1\nmov r0, ", 2, reg, nullptr);
  const char* indexed[][2] = {{"c[4096]", "c[4096]"}, {"c[a0.x + 4000 + 96]", "c[a0.x + 4096]"},
                              {"r[1]", "r[1]"},       {"v[a0.x]", "v[a0.x + 0]"},
                              {"c1[2]", "c1[2]"},     {"c[4095+1]", "c[4096]"}};
  for (const auto& reg : indexed) check("vs.1.1\nmov r0, ", 2, reg[0], reg[1]);
  check("ps.1.1\nmov r0, ", 2, "c[8+8]", "c[16]");
}

TEST(AsmErrors, LineDirectiveAndSeveralErrorsEachOnItsOwnLineUntilASyntaxError) {
  EXPECT_EQ(Errors("#line 100 \"shaders\\\\a.vsh\"\nvs.1.1\nmov r12, v0"),
            "shaders\\a.vsh(101) : (Assembly Error) invalid register 'r12'\n");
  // A file name is kept to 255 characters.
  const std::string longName(400, 'n');
  EXPECT_EQ(Errors("#line 5 \"" + longName + "\"\nvs.1.1 mov r12, v0"),
            std::string(255, 'n') + "(5) : (Assembly Error) invalid register 'r12'\n");

  // The last operand of an instruction is checked after the next keyword has
  // been read, so its error carries that keyword's line.
  EXPECT_EQ(Errors("vs.1.1\nmov r0, v16\nmov r12, v0\n\nadd r0.yx, r0, oPos\nmov r0, v0\n"),
            Line(3, "invalid register 'v16'") + Line(3, "invalid register 'r12'") +
                Line(5, "invalid mask 'yx'") + Line(6, "invalid source register"));
  // A directive is reported when the lexer meets it, looking ahead or not.
  EXPECT_EQ(Errors("vs.1.1\nmov r0, v16\n#define X\nmov r1, v0\n#undef X"),
            Line(2, "preprocessor directives are not supported.") + Line(4, "invalid register 'v16'") +
                Line(4, "preprocessor directives are not supported."));
  EXPECT_EQ(Errors("ps.1.1\n#pragma x\ntex t0\nmov r0.x, t0.y\n"),
            Line(1, "preprocessor directives are not supported.") + Line(4, "invalid write mask") +
                Line(4, "invalid swizzle"));
  // The first syntax error ends the parse.
  EXPECT_EQ(Errors("vs.1.1\nmov r12, v0\nmov r0 v0\nmov r12, v0"),
            Line(2, "invalid register 'r12'") + Line(3, "syntax error"));
}

std::string IndexOfZeros(int terms) {
  std::string index = "0";
  for (int i = 1; i < terms; ++i) index += "+0";
  return "vs.1.1\nmov r0, c[" + index + "]\nmov r12, v0\n";
}

TEST(AsmErrors, DeepIndexOverflowsTheParserStack) {
  // Each further index term puts two more entries on the parser stack:
  // "mov r0, c[" with n terms needs 2n + 6 entries; 500 fit, the 501st overflows.
  const AsmResult fits = Assemble(IndexOfZeros(247));
  EXPECT_EQ(fits.errors, Line(3, "invalid register 'r12'"));
  EXPECT_EQ(Errors(IndexOfZeros(248)), Line(2, "yacc stack overflow"));
  EXPECT_EQ(Errors(IndexOfZeros(100000)), Line(2, "yacc stack overflow"));
}

}  // namespace
