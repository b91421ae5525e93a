// Token-stream validation and vertex declarations, the validators exported
// from "d3d8.dll", the GL state cache and the enum and format tables: all
// without a GL context.
// Token streams and forwarding methods here are laid out by hand: one
// instruction or one method a line.
// clang-format off
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_draw_skip.h"
#include "platform/d3d8/d3d8_formats.h"
#include "platform/d3d8/d3d8_shader.h"
#include "platform/d3d8/d3d8_state.h"
#include "platform/win32/win32.h"
#include "tests/platform/d3d8/d3d8_tokens.h"
#include "testing/terrain_shader_tokens.h"

namespace qv::d3d8 {
namespace {

using namespace qv::test;
std::vector<DWORD> Vs(const std::vector<DWORD>& body) { return VertexProgram(body); }
std::vector<DWORD> Ps(const std::vector<DWORD>& body, DWORD version = 0xFFFF0101u) { return PixelProgram(body, version); }
// The code number at the start of a failure message ("Q0012: ...").
int Code(const std::string& message) {
  return message.size() > 5 && message[0] == 'Q' ? std::stoi(message.substr(1, 4)) : -1;
}
// 0 when the stream parses, else the code of its error.
int Error(const std::vector<DWORD>& t, bool pixel) {
  ShaderProgram p;
  std::string e;
  return ParseShader(t.data(), pixel, p, e) ? 0 : Code(e);
}
int VsError(const std::vector<DWORD>& t) { return Error(t, false); }
int PsError(const std::vector<DWORD>& t) { return Error(t, true); }
int E(ShaderError e) { return static_cast<int>(e); }
// The error of a program of n "mov r0, r1" (pixel: "mov r0, r0").
int MovsError(int n, bool pixel) {
  std::vector<DWORD> body;
  for (int i = 0; i < n; ++i) body.insert(body.end(), {1, Dst(kTemp, 0), Src(kTemp, pixel ? 0 : 1)});
  return pixel ? PsError(Ps(body)) : VsError(Vs(body));
}

TEST(ShaderValidate, VertexStreamsRefused) {
  EXPECT_EQ(VsError({0xFFFE0200u, 0xFFFF}), E(ShaderError::UnsupportedVersion));
  EXPECT_EQ(VsError({0xFFFF0101u, 0xFFFF}), E(ShaderError::BadVersion));
  EXPECT_EQ(VsError(Vs({0x55, Dst(kTemp, 0), Src(kTemp, 0)})), E(ShaderError::UnknownOpcode));
  EXPECT_EQ(VsError(Vs({18, Dst(kTemp, 0), Src(kTemp, 0), Src(kTemp, 0), Src(kTemp, 0)})),
            E(ShaderError::OpcodeNotInVersion)) << "lrp is a pixel instruction";
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 12), Src(kTemp, 0)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 0), Src(kConst, 96)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 0), Src(kInput, 16)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(VsError(Vs({1, Dst(kAttr, 2), Src(kTemp, 0)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(VsError(Vs({1, Dst(kInput, 0), Src(kTemp, 0)})), E(ShaderError::BadDestinationType));
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 0, 0xF, 0x00100000u), Src(kTemp, 0)})), E(ShaderError::BadResultModifier));
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 0), Src(kTemp, 0, 0xE4, 4)})), E(ShaderError::BadSourceModifier));
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 0), Src(kTemp, 0) | 0x2000})), E(ShaderError::BadRelativeAddress));
  EXPECT_EQ(VsError(Vs({2, Dst(kTemp, 0), Src(kConst, 1), Src(kConst, 2)})), E(ShaderError::TooManyConstantReads));
  EXPECT_EQ(VsError(Vs({2, Dst(kTemp, 0), Src(kInput, 1), Src(kInput, 2)})), E(ShaderError::TooManyInputReads));
  EXPECT_EQ(VsError(Vs({1 | 0x40000000u, Dst(kTemp, 0), Src(kTemp, 0)})), E(ShaderError::BadCoissue));
  EXPECT_EQ(VsError({0xFFFE0101u, 1, Dst(kTemp, 0), Src(kInput, 0), 0xFFFF}), E(ShaderError::NoPositionWritten));
  // An instruction cut short by the end token: the end token is read as a
  // parameter and refused.
  EXPECT_EQ(VsError({0xFFFE0101u, 1, Dst(kRast, 0), 0xFFFF}), E(ShaderError::TruncatedInstruction));
  // Reads of the same constant twice are one read.
  EXPECT_EQ(VsError(Vs({4, Dst(kTemp, 0), Src(kTemp, 1), Src(kConst, 20), Src(kConst, 20)})), 0);
  // Numbers 2048-4095 fill the token's 12 bits: out of range, not a cut-short instruction.
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 0), Src(kConst, 2048)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(VsError(Vs({1, Dst(kTemp, 4095), Src(kTemp, 0)})), E(ShaderError::RegisterOutOfRange));
  // Texture-addressing opcodes are pixel-only.
  EXPECT_EQ(VsError(Vs({0x42, Dst(kTemp, 0)})), E(ShaderError::OpcodeNotInVersion));
}

TEST(ShaderValidate, StreamLengthLimits) {
  // No end token: refused at the length limit without reading past it.
  std::vector<DWORD> t(kMaxShaderTokens, 0u);
  t[0] = 0xFFFE0101u;
  EXPECT_EQ(VsError(t), E(ShaderError::MissingEnd));
  // Comments do not count against the instruction limit (a debug stream
  // carries its source text) but have a budget of their own.
  const std::size_t block = 0x8000;  // a comment token and 0x7FFF words
  const std::size_t blocks = kMaxShaderCommentTokens / block;
  std::vector<DWORD> commented((blocks + 1) * block + 4, 0u);
  commented[0] = 0xFFFE0101u;
  for (std::size_t b = 0; b <= blocks; ++b) commented[1 + b * block] = 0x7FFFFFFEu;
  EXPECT_EQ(VsError(commented), E(ShaderError::BadComment));
  const DWORD tail[] = {1, Dst(kRast, 0), Src(kInput, 0), 0xFFFF};  // the last block becomes mov oPos, v0 and the end
  std::copy(std::begin(tail), std::end(tail), commented.begin() + 1 + blocks * block);
  EXPECT_EQ(VsError(commented), 0);
  // 129 instruction slots (with the mov to oPos) are too many for vs.1.1; 128 are fine.
  EXPECT_EQ(MovsError(127, false), 0);
  EXPECT_EQ(MovsError(128, false), E(ShaderError::TooManyInstructions));
}

TEST(ShaderValidate, PixelStreamsRefused) {
  EXPECT_EQ(PsError(Ps({}, 0xFFFF0104u)), E(ShaderError::UnsupportedVersion));
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 2), Src(kTemp, 0)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0), Src(kConst, 8)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(PsError(Ps({0x42, Dst(kTex, 4)})), E(ShaderError::RegisterOutOfRange));
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0, 0x3), Src(kTemp, 0)})), E(ShaderError::BadWriteMask));
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0), Src(kTemp, 0, 0x1B)})), E(ShaderError::BadSwizzle));
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0, 0xF, 3u << 24), Src(kTemp, 0)})), E(ShaderError::BadResultModifier))
      << "_x8 is not in ps.1.1-1.3";
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0), Src(kTemp, 0, 0xE4, 7)})), E(ShaderError::BadSourceModifier));
  EXPECT_EQ(PsError(Ps({9, Dst(kTemp, 0), Src(kTemp, 0), Src(kTemp, 0)})), E(ShaderError::OpcodeNotInVersion))
      << "dp4 from ps.1.2";
  EXPECT_EQ(PsError(Ps({9, Dst(kTemp, 0), Src(kTemp, 0), Src(kTemp, 0)}, 0xFFFF0102u)), 0);
  EXPECT_EQ(PsError(Ps({6, Dst(kTemp, 0), Src(kTemp, 0)})), E(ShaderError::OpcodeNotInVersion)) << "rcp";
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0), Src(kTemp, 0), 0x42, Dst(kTex, 0)})), E(ShaderError::TexAfterArithmetic));
  EXPECT_EQ(PsError(Ps({0x42, Dst(kTex, 0), 0x42, Dst(kTex, 0)})), E(ShaderError::TexRegisterOrder));
  EXPECT_EQ(PsError(Ps({0x43, Dst(kTex, 0), Src(kTex, 1)})), E(ShaderError::TexRegisterOrder))
      << "texbem reads a texture defined before it";
  EXPECT_EQ(PsError(Ps({0x42, Dst(kTex, 0), 0x47, Dst(kTex, 1), Src(kTex, 0), 1, Dst(kTemp, 0), Src(kTex, 1)})),
            E(ShaderError::BadMatrixSequence)) << "texm3x2pad without texm3x2tex";
  EXPECT_EQ(PsError(Ps({0x42, Dst(kTex, 0), 0x48, Dst(kTex, 1), Src(kTex, 0)})), E(ShaderError::BadMatrixSequence));
  // Co-issue: only as an rgb and alpha pair after a plain instruction.
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0, 7), Src(kTemp, 0), 1 | 0x40000000u, Dst(kTemp, 0, 8), Src(kTemp, 1)})), 0);
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0, 7), Src(kTemp, 0), 1 | 0x40000000u, Dst(kTemp, 0, 7), Src(kTemp, 1)})),
            E(ShaderError::BadCoissue));
  EXPECT_EQ(PsError(Ps({1 | 0x40000000u, Dst(kTemp, 0, 8), Src(kTemp, 1)})), E(ShaderError::BadCoissue));
  EXPECT_EQ(PsError(Ps({80, Dst(kTemp, 0), Src(kTemp, 1, 0xFF), Src(kTemp, 0), Src(kTemp, 1)})),
            E(ShaderError::BadCndSource));
  // def names a constant and comes first.
  EXPECT_EQ(PsError(Ps({0x51, Dst(kTemp, 0), 0, 0, 0, 0})), E(ShaderError::BadDef));
  EXPECT_EQ(PsError(Ps({1, Dst(kTemp, 0), Src(kTemp, 0), 0x51, Dst(kConst, 0), 0, 0, 0, 0})), E(ShaderError::BadDef));
  // Eight arithmetic instructions fit, nine do not.
  EXPECT_EQ(MovsError(8, true), 0);
  EXPECT_EQ(MovsError(9, true), E(ShaderError::TooManyInstructions));
}

TEST(ShaderValidate, Declarations) {
  VertexDeclaration d;
  std::string e;
  const DWORD twoStreams[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                              0x10000000u | (D3DVSD_TOKEN_STREAMDATA << 29) | (2u << 16),  // skip 2 DWORDs
                              D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_STREAM(1),
                              D3DVSD_REG(7, D3DVSDT_SHORT2), D3DVSD_END()};
  ASSERT_TRUE(ParseDeclaration(twoStreams, d, e)) << e;
  ASSERT_EQ(d.elements.size(), 3u);
  EXPECT_EQ(d.elements[1].offset, 20u);
  EXPECT_EQ(d.elements[2].stream, 1u);
  EXPECT_EQ(d.elements[2].offset, 0u);
  const struct { std::vector<DWORD> tokens; int code; } refused[] = {  // code -1: any
      {{D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()},
       E(ShaderError::DuplicateDeclarationRegister)},
      {{D3DVSD_STREAM(0), D3DVSD_REG(0, 8), D3DVSD_END()}, -1},  // no type 8
      {{(D3DVSD_TOKEN_TESSELLATOR << 29), D3DVSD_END()}, -1},
      {{D3DVSD_CONST(95, 2), 0, 0, 0, 0, 0, 0, 0, 0, D3DVSD_END()}, -1},  // constants past c95
      // A constant register of 128 or more must not wrap onto register n & 0x7F.
      {{0x82000080u, 0, 0, 0, 0, D3DVSD_END()}, E(ShaderError::BadDeclarationToken)},
      {std::vector<DWORD>(kMaxDeclarationTokens, 0u), E(ShaderError::DeclarationTooLong)},  // NOPs without an end
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(ParseDeclaration(r.tokens.data(), d, e)) << r.tokens[0];
    EXPECT_TRUE(r.code < 0 || Code(e) == r.code) << e;
  }
  EXPECT_FALSE(ParseDeclaration(nullptr, d, e));
}

using ValidateVsFn = HRESULT (*)(const DWORD*, const DWORD*, const D3DCAPS8*, BOOL, char**);
using ValidatePsFn = HRESULT (*)(const DWORD*, const D3DCAPS8*, BOOL, char**);

TEST(ShaderValidate, ValidatorsExportedFromTheModule) {
  QvD3D8RegisterModule();
  HMODULE d3d8 = LoadLibraryA("d3d8.dll");
  ASSERT_NE(d3d8, nullptr);
  auto vsFn = reinterpret_cast<ValidateVsFn>(GetProcAddress(d3d8, "ValidateVertexShader"));
  auto psFn = reinterpret_cast<ValidatePsFn>(GetProcAddress(d3d8, "ValidatePixelShader"));
  ASSERT_NE(vsFn, nullptr);
  ASSERT_NE(psFn, nullptr);
  char* errors = reinterpret_cast<char*>(1);
  EXPECT_EQ(vsFn(reinterpret_cast<const DWORD*>(qv::test::kTerrainVertexShaderTokens), nullptr, nullptr, TRUE, &errors),
            D3D_OK);
  EXPECT_EQ(errors, nullptr);
  EXPECT_EQ(psFn(reinterpret_cast<const DWORD*>(qv::test::kTerrainPixelShaderTokens), nullptr, TRUE, &errors), D3D_OK);
  // A failure hands out its text on the process heap.
  const std::vector<DWORD> bad = Ps({1, Dst(kTemp, 5), Src(kTemp, 0)});
  EXPECT_EQ(psFn(bad.data(), nullptr, TRUE, &errors), D3DERR_INVALIDCALL);
  ASSERT_NE(errors, nullptr);
  EXPECT_NE(std::strstr(errors, "register number out of range"), nullptr) << errors;
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, errors));
  EXPECT_EQ(psFn(bad.data(), nullptr, FALSE, &errors), D3DERR_INVALIDCALL);
  EXPECT_EQ(errors, nullptr);
  EXPECT_EQ(psFn(nullptr, nullptr, TRUE, nullptr), D3DERR_INVALIDCALL);
  // Caps that offer less than the stream's version refuse it.
  D3DCAPS8 caps{};
  caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
  EXPECT_EQ(vsFn(Vs({}).data(), nullptr, &caps, FALSE, nullptr), D3DERR_INVALIDCALL);
  const DWORD badDecl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, 9), D3DVSD_END()};
  EXPECT_EQ(vsFn(Vs({}).data(), badDecl, nullptr, FALSE, nullptr), D3DERR_INVALIDCALL);
}

// Each matrix form reads its rows from the second source on. At the last
// first row that fits, the validator accepts and the translation reads that
// row's last register; one further is refused.
TEST(ShaderValidate, MatrixRowsAtTheLastRegisters) {
  const struct { DWORD op; std::uint32_t rows; } ops[] = {{20, 4}, {21, 3}, {22, 4}, {23, 3}, {24, 2}};
  const struct { std::uint32_t type, count; const char* name; } files[] = {
      {kConst, kMaxVertexConstants, "c[%u])"}, {kTemp, kMaxVertexTemps, "r%u)"}, {kInput, kMaxVertexInputs, "v%u)"}};
  for (const auto& op : ops) {
    for (const auto& file : files) {
      const std::uint32_t first = file.count - op.rows;
      SCOPED_TRACE(testing::Message() << "opcode " << op.op << " register type " << file.type);
      const std::vector<DWORD> t = Vs({op.op, Dst(kTemp, 0), Src(kTemp, 1), Src(file.type, first)});
      ShaderProgram p;
      std::string e;
      ASSERT_TRUE(ParseShader(t.data(), false, p, e)) << e;
      bool fog = false;
      const std::string glsl = TranslateVertexShader(p, fog);
      char last[16];
      std::snprintf(last, sizeof last, file.name, file.count - 1);
      EXPECT_NE(glsl.find(last), std::string::npos) << glsl;
      EXPECT_EQ(VsError(Vs({op.op, Dst(kTemp, 0), Src(kTemp, 1), Src(file.type, first + 1)})),
                E(ShaderError::RegisterOutOfRange));
    }
  }
}

TEST(ShaderValidate, EveryErrorHasItsOwnText) {
  std::vector<std::string> seen;
  for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(ShaderError::Count); ++i) {
    const std::string text = ShaderErrorText(static_cast<ShaderError>(i));
    EXPECT_FALSE(text.empty());
    for (const std::string& s : seen) EXPECT_NE(s, text);
    seen.push_back(text);
  }
}

// Only a position that is exactly dp4 (or m4x4) of one input by four
// consecutive constants may be used to reject draws.
TEST(ShaderTranslate, PlainPositionTransformFound) {
  const DWORD v0 = Src(kInput, 0), v1 = Src(kInput, 1);
  auto dp4 = [](std::uint32_t mask, DWORD a, DWORD b) {
    return std::vector<DWORD>{9, Dst(kRast, 0, mask), a, b};
  };
  auto four = [&](DWORD in, std::uint32_t c0, std::uint32_t c1, std::uint32_t c2, std::uint32_t c3) {
    std::vector<DWORD> t;
    const std::uint32_t regs[4] = {c0, c1, c2, c3};
    for (int i = 0; i < 4; ++i) {
      const auto d = dp4(1u << i, in, Src(kConst, regs[i]));
      t.insert(t.end(), d.begin(), d.end());
    }
    return t;
  };
  auto cat = [](std::vector<DWORD> a, const std::vector<DWORD>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const std::vector<DWORD> plain = four(v0, 4, 5, 6, 7), yzw(plain.begin() + 4, plain.end());
  struct Case {
    const char* what;
    std::vector<DWORD> body;
    int input, first;
  } cases[] = {
      {"dp4 rows", plain, 0, 4},
      {"input 1", four(v1, 8, 9, 10, 11), 1, 8},
      {"constant first", {9, Dst(kRast, 0, 1), Src(kConst, 4), v0, 9, Dst(kRast, 0, 2), Src(kConst, 5), v0,
                          9, Dst(kRast, 0, 4), Src(kConst, 6), v0, 9, Dst(kRast, 0, 8), Src(kConst, 7), v0},
       0, 4},
      {"m4x4", {20, Dst(kRast, 0), v1, Src(kConst, 12)}, 1, 12},
      {"rows out of order", four(v0, 5, 4, 6, 7), -1, -1},
      {"rows not consecutive", four(v0, 4, 5, 6, 8), -1, -1},
      {"w missing", std::vector<DWORD>(plain.begin(), plain.end() - 4), -1, -1},
      {"written again", cat(plain, {1, Dst(kRast, 0, 1), v0}), -1, -1},
      {"negated input", cat(dp4(1, Src(kInput, 0, 0xE4, 1), Src(kConst, 4)), yzw), -1, -1},
      {"swizzled input", cat(dp4(1, Src(kInput, 0, 0x00), Src(kConst, 4)), yzw), -1, -1},
      {"two inputs", cat(dp4(1, v1, Src(kConst, 4)), yzw), -1, -1},
      {"relative constant", cat({1, Dst(kTex, 0, 1), Src(kConst, 0), 9, Dst(kRast, 0, 1), v0, Src(kConst, 4) | 0x2000u},
                                yzw), -1, -1},
      {"mov", {1, Dst(kRast, 0), v0}, -1, -1},
  };
  for (const Case& c : cases) {
    std::vector<DWORD> t = {0xFFFE0101u};
    t.insert(t.end(), c.body.begin(), c.body.end());
    t.push_back(0xFFFF);
    ShaderProgram vs;
    std::string e;
    ASSERT_TRUE(ParseShader(t.data(), false, vs, e)) << c.what << ": " << e;
    const ClipTransform found = FindClipTransform(vs);
    EXPECT_EQ(found.input, c.input) << c.what;
    EXPECT_TRUE(c.input < 0 || found.firstConst == c.first) << c.what;
  }
  ShaderProgram terrain;
  std::string e;
  ASSERT_TRUE(ParseShader(reinterpret_cast<const DWORD*>(qv::test::kTerrainVertexShaderTokens), false,
                          terrain, e));
  EXPECT_EQ(FindClipTransform(terrain).input, 0);
  EXPECT_EQ(FindClipTransform(terrain).firstConst, 4);
  bool fog = false;
  EXPECT_EQ(TranslateVertexShader(terrain, fog).find("in vec4 v1;"), std::string::npos) << "only read inputs";
  EXPECT_TRUE(fog);
}

// The terrain's pixel shader keeps only the clamps that can change a value:
// no register write of its program can leave +-8, and constants come clamped.
// (Writes that can pass 8 keep theirs: the pixel tests' "register clamp".)
TEST(ShaderTranslate, PixelSourceDropsClampsThatCannotChangeAValue) {
  ShaderProgram ps;
  std::string e;
  ASSERT_TRUE(ParseShader(reinterpret_cast<const DWORD*>(qv::test::kTerrainPixelShaderTokens), true, ps, e));
  const std::string glsl = TranslatePixelShader(ps);
  EXPECT_EQ(glsl.find("-8.0, 8.0)"), std::string::npos) << glsl;
  EXPECT_EQ(glsl.find("clamp(pc["), std::string::npos) << glsl;
  EXPECT_NE(glsl.find("clamp(vec4(dot("), std::string::npos) << "dp3_sat keeps its clamp";
}

// Blending is left off only where the program's alpha is exactly 1 for every
// input: which sources, stages, modifiers and instructions keep that proof.
TEST(ShaderTranslate, PixelAlphaIsOneOnlyWhereItCannotBeAnythingElse) {
  const std::vector<DWORD> t0 = {66, Dst(kTex, 0)}, t01 = {66, Dst(kTex, 0), 66, Dst(kTex, 1)};
  auto ps = [](std::vector<DWORD> head, const std::vector<DWORD>& tail) { head.insert(head.end(), tail.begin(), tail.end()); return Ps(head); };
  auto def = [](float a) { return std::vector<DWORD>{81, Dst(kConst, 2), 0, 0, 0, FloatBits(a)}; };
  const struct { const char* what; std::vector<DWORD> tokens; std::uint32_t opaque; bool one; } cases[] = {
      // opaque: the stages whose samples have alpha 1
      {"sample of an opaque stage", ps(t0, {1, Dst(kTemp, 0), Src(kTex, 0)}), 1, true},
      {"sample of another stage", ps(t0, {1, Dst(kTemp, 0), Src(kTex, 0)}), 2, false},
      {"the terrain: alpha of stage 0", std::vector<DWORD>(std::begin(qv::test::kTerrainPixelShaderTokens), std::end(qv::test::kTerrainPixelShaderTokens)), 1, true},
      {"def alpha 2, clamped to 1", ps(def(2.0f), {1, Dst(kTemp, 0), Src(kConst, 2)}), 0, true},
      {"def alpha 0.5", ps(def(0.5f), {1, Dst(kTemp, 0), Src(kConst, 2)}), 0, false},
      {"a constant set by the caller", ps({}, {1, Dst(kTemp, 0), Src(kConst, 2)}), 0xF, false},
      {"texcoord", ps({64, Dst(kTex, 0)}, {1, Dst(kTemp, 0), Src(kTex, 0)}), 0, true},
      {"1 - alpha", ps(t0, {1, Dst(kTemp, 0), Src(kTex, 0, kXYZW, 6)}), 1, false},
      {"blue as alpha", ps(t0, {1, Dst(kTemp, 0), Src(kTex, 0, kZZZZ)}), 1, false},
      {"_x2", ps(t0, {1, Dst(kTemp, 0, 0xF, 1u << 24), Src(kTex, 0)}), 1, false},
      {"_sat", ps(t0, {1, Dst(kTemp, 0, 0xF, kSat), Src(kTex, 0)}), 1, true},
      {"mul of two", ps(t01, {5, Dst(kTemp, 0), Src(kTex, 0), Src(kTex, 1)}), 3, true},
      {"mul by a translucent one", ps(t01, {5, Dst(kTemp, 0), Src(kTex, 0), Src(kTex, 1)}), 1, false},
      {"lrp of two (rounding)", ps(t01, {18, Dst(kTemp, 0), Src(kTex, 1, kWWWW), Src(kTex, 0), Src(kTex, 1)}), 3, false},
      {"cnd between two", ps(t01, {1, Dst(kTemp, 0), Src(kConst, 0), 80, Dst(kTemp, 0), Src(kTemp, 0, kWWWW), Src(kTex, 0), Src(kTex, 1)}), 3, true},
      {"colour only written", ps(t0, {1, Dst(kTemp, 0, 7), Src(kTex, 0)}), 1, false},
      {"colour rewritten after", ps(t0, {1, Dst(kTemp, 0), Src(kTex, 0), 1, Dst(kTemp, 0, 7), Src(kConst, 0)}), 1, true},
      {"alpha co-issued", ps(t0, {1, Dst(kTemp, 0, 7), Src(kConst, 0), 1 | kCoissue, Dst(kTemp, 0, 8), Src(kTex, 0)}), 1, true},
  };
  for (const auto& c : cases) {
    ShaderProgram p;
    std::string e;
    ASSERT_TRUE(ParseShader(c.tokens.data(), true, p, e)) << c.what << ": " << e;
    EXPECT_EQ(PixelAlphaIsOne(p, c.opaque), c.one) << c.what;
  }
}

// The element a write-only buffer keeps for its boxes follows every write
// exactly: a FLOAT3 at byte 4 of 20-byte vertices, gathered in 7-byte pieces
// that cut elements apart, then rewritten by random byte ranges. After each
// write every box equals the box of the whole buffer's bytes. The last
// vertex held whole is kept; a range past it has no box.
TEST(DrawSkip, KeptElementFollowsEveryWriteExactly) {
  constexpr std::uint32_t kStride = 20, kOffset = 4, kVertices = 50;
  const std::size_t size = (kVertices - 1) * kStride + kOffset + 12;  // the last element ends the buffer
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(next() >> 24 & 0x3F);  // finite floats
  KeptElement kept(kStride, kOffset, D3DVSDT_FLOAT3, size);
  for (std::size_t at = 0; at < size; at += 7) kept.Update(&bytes[at], at, std::min<std::size_t>(7, size - at));
  for (int round = 0; round < 100; ++round) {
    for (std::uint32_t first : {0u, 3u, 30u})
      for (std::uint32_t count : {1u, 17u, kVertices - first}) {
        VertexBoxCache whole;
        const VertexBox* want = whole.Find(bytes.data(), size, first, count, kStride, kOffset, D3DVSDT_FLOAT3);
        const VertexBox* got = kept.Box(first, count);
        ASSERT_TRUE(want && got) << round << ": " << first << "+" << count;
        EXPECT_TRUE(std::equal(want->lo, want->lo + 4, got->lo) && std::equal(want->hi, want->hi + 4, got->hi)) << round << ": " << first << "+" << count;
      }
    const std::size_t begin = next() % size, n = 1 + next() % std::min<std::size_t>(50, size - begin);
    for (std::size_t i = begin; i < begin + n; ++i) bytes[i] = static_cast<std::uint8_t>(next() >> 24 & 0x3F);
    kept.Update(&bytes[begin], begin, n);
  }
  EXPECT_EQ(kept.Box(kVertices - 1, 2), nullptr);
  EXPECT_EQ(KeptElement(kStride, kOffset, D3DVSDT_FLOAT3, size - 1).Box(kVertices - 1, 1), nullptr);
}

// --- GL state cache and enum tables ---------------------------------------------------

TEST(GlStateCache, IssuesOnlyChangesAndForgetsDeletedObjects) {
  GlStateCache gl(false);
  gl.SetBlend(true);
  gl.SetBlend(true);
  EXPECT_EQ(gl.Calls(), 1u);
  gl.SetBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.SetBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(gl.Calls(), 2u);
  gl.BindTexture(2, 7);  // active unit, then bind
  EXPECT_EQ(gl.Calls(), 4u);
  gl.BindTexture(2, 7);
  gl.BindTexture(3, 7);  // another unit: switch and bind
  EXPECT_EQ(gl.Calls(), 6u);
  gl.BindTexture(3, 8);  // same unit: only the bind
  EXPECT_EQ(gl.Calls(), 7u);
  gl.BindTexture(99, 1);  // out of range: ignored
  EXPECT_EQ(gl.Calls(), 7u);
  // Culling: the face only matters while culling is on.
  gl.SetCull(false, GL_BACK);
  gl.SetCull(false, GL_FRONT);
  EXPECT_EQ(gl.Calls(), 8u);
  gl.SetCull(true, GL_FRONT);
  EXPECT_EQ(gl.Calls(), 10u);
  // Deleted objects and the vertex array's element binding are forgotten.
  gl.UseProgram(5);
  gl.ForgetProgram(5);
  const auto before = gl.Calls();
  gl.UseProgram(5);  // a new program may reuse the name
  EXPECT_EQ(gl.Calls(), before + 1);
  gl.BindVertexArray(1);
  gl.BindElementBuffer(9);
  const auto bound = gl.Calls();
  gl.BindVertexArray(2);  // the element binding belongs to the vertex array
  gl.BindElementBuffer(9);
  EXPECT_EQ(gl.Calls(), bound + 2);
  gl.ForgetBuffer(9);
  gl.BindElementBuffer(9);
  EXPECT_EQ(gl.Calls(), bound + 3);
  gl.Invalidate();
  gl.BindElementBuffer(9);
  EXPECT_EQ(gl.Calls(), bound + 4);
}

TEST(GlEnums, TablesMatchDirect3D) {
  // The pictures of the device tests prove the values they use (blending,
  // depth, culling, filters); the rest and the ends of the tables here.
  EXPECT_EQ(GlBlendFactor(D3DBLEND_ZERO), static_cast<GLenum>(GL_ZERO));
  EXPECT_EQ(GlBlendFactor(0), 0u);
  EXPECT_EQ(GlBlendFactor(12), 0u);
  EXPECT_EQ(GlCompareFunc(D3DCMP_ALWAYS), static_cast<GLenum>(GL_ALWAYS));
  EXPECT_EQ(GlCompareFunc(9), 0u);
  EXPECT_EQ(GlAddressMode(D3DTADDRESS_CLAMP), static_cast<GLenum>(GL_CLAMP_TO_EDGE));
  bool on = true;
  GLenum face = 0;
  EXPECT_FALSE(GlCull(0, on, face));
  EXPECT_EQ(GlMinFilter(D3DTEXF_POINT, D3DTEXF_POINT), static_cast<GLenum>(GL_NEAREST_MIPMAP_NEAREST));
  EXPECT_EQ(GlMinFilter(D3DTEXF_LINEAR, D3DTEXF_LINEAR), static_cast<GLenum>(GL_LINEAR_MIPMAP_LINEAR));
}

TEST(GlFormats, TableAndSizes) {
  for (D3DFORMAT f : {D3DFMT_P8, D3DFMT_A8P8, D3DFMT_UNKNOWN, D3DFMT_D16, D3DFMT_INDEX16})
    EXPECT_EQ(FindTextureFormat(f, true), nullptr) << f;
  EXPECT_EQ(FindTextureFormat(D3DFMT_DXT1, false), nullptr);
  const FormatInfo* dxt1 = FindTextureFormat(D3DFMT_DXT1, true);
  ASSERT_NE(dxt1, nullptr);
  EXPECT_EQ(FormatLevelSize(*dxt1, 1, 1), 8u);
  EXPECT_EQ(FormatLevelSize(*dxt1, 16, 8), 64u);
  EXPECT_EQ(FormatLevelSize(*FindTextureFormat(D3DFMT_DXT5, true), 5, 5), 64u);
  EXPECT_EQ(FormatPitch(*FindTextureFormat(D3DFMT_R5G6B5, false), 7), 14u);
  // X formats must read alpha as 1; A8 reads colour as 0.
  EXPECT_EQ(FindTextureFormat(D3DFMT_X8R8G8B8, false)->swizzle[3], GL_ONE);
  EXPECT_EQ(FindTextureFormat(D3DFMT_A8, false)->swizzle[0], GL_ZERO);
  EXPECT_EQ(RenderTargetFormat(D3DFMT_R5G6B5), static_cast<GLenum>(GL_RGB565));
  EXPECT_EQ(DepthStencilFormat(D3DFMT_D16), static_cast<GLenum>(GL_DEPTH_COMPONENT16));
  EXPECT_EQ(RenderTargetFormat(D3DFMT_P8), 0u);
}

TEST(Direct3D8, ObjectWithoutDeviceAnswersCapsAndRefusesBadCalls) {
  EXPECT_EQ(Direct3DCreate8(0), nullptr) << "wrong SDK version";
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DCAPS8 caps{};
  ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  // The shader versions and limits are checked in the start-up log's caps lines.
  EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);
  EXPECT_FALSE(caps.TextureCaps & D3DPTEXTURECAPS_POW2) << "any size is stored as it is";
  EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, nullptr), D3DERR_INVALIDCALL);
  D3DDISPLAYMODE mode{};
  EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(d3d->GetAdapterDisplayMode(0, nullptr), D3DERR_INVALIDCALL);
  // No window: no device, and the out-pointer is cleared.
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 64;
  pp.BackBufferFormat = D3DFMT_R5G6B5;
  IDirect3DDevice8* dev = reinterpret_cast<IDirect3DDevice8*>(1);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(dev, nullptr);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->AddRef(), 2u);
  EXPECT_EQ(d3d->Release(), 1u);
  EXPECT_EQ(d3d->Release(), 0u);
}

}  // namespace
}  // namespace qv::d3d8
// clang-format on
