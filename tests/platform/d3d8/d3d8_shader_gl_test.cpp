// Translated shaders drawn headless: each vertex instruction, each pixel
// instruction and modifier, register clamping, co-issue, texture addressing,
// declaration types and refused streams.
// Token streams and forwarding methods here are laid out by hand: one
// instruction or one method a line.
// clang-format off
#include <map>

#include "platform/d3d8/d3d8_internal.h"
#include "platform/d3d8/d3d8_testing.h"
#include "tests/platform/d3d8/d3d8_test_util.h"

namespace qv::test {
namespace {

using Vec4 = std::array<float, 4>;
constexpr DWORD kRel = 0x2000;  // relative addressing c[a0.x + n]
constexpr DWORD kX2 = 1u << 24, kX4 = 2u << 24, kD2 = 0xFu << 24;
enum : DWORD { kNeg = 1, kBias = 2, kBx2 = 4, kComp = 6 };

// Swizzle from four component indices.
constexpr DWORD Swz(int a, int b, int c, int d) { return DWORD(a | b << 2 | c << 4 | d << 6); }

struct VsCase {
  const char* name;
  std::vector<DWORD> body;
  std::map<DWORD, Vec4> constants;
  std::uint32_t want;
};

class ShaderGl : public D3D8Device {
 protected:
  // Draws a full quad through one program and returns the centre pixel: a
  // vertex program (VertexProgram(c.body)) with the default pixel side, or a
  // pixel program behind a vertex program giving colour v0 = vertexColour and
  // texture coordinates 0..1 (sets 0 and 1 as (u, v), set 2 as (v, u)). The
  // program's constants are zero but for `constants`.
  std::uint32_t RunVs(const VsCase& c) { return Run(false, VertexProgram(c.body), c.constants, 0xFFFFFFFFu); }
  std::uint32_t RunPs(const std::vector<DWORD>& tokens, const std::map<DWORD, Vec4>& constants,
                      DWORD vertexColour = 0xFFFFFFFFu) {
    if (!m_vs) {
      m_vs = MakeVs(VertexProgram({0x00000001u, Dst(kAttr, 0), Src(kInput, 5),
                                   0x00000001u, Dst(kTexOut, 0), Src(kInput, 7),
                                   0x00000001u, Dst(kTexOut, 1), Src(kInput, 7),
                                   0x00000001u, Dst(kTexOut, 2), Src(kInput, 7, Swz(1, 0, 2, 3))}));
    }
    return Run(true, tokens, constants, vertexColour);
  }
  std::uint32_t Run(bool pixel, const std::vector<DWORD>& tokens, const std::map<DWORD, Vec4>& constants,
                    DWORD vertexColour) {
    DWORD h = 0;
    EXPECT_EQ(pixel ? m_dev->CreatePixelShader(tokens.data(), &h)
                    : m_dev->CreateVertexShader(kTestDecl, tokens.data(), &h, 0), D3D_OK);
    if (!h) return 0xDEADu;
    auto set = [&](DWORD r, const Vec4& v) {
      pixel ? m_dev->SetPixelShaderConstant(r, v.data(), 1) : m_dev->SetVertexShaderConstant(r, v.data(), 1);
    };
    for (DWORD r = 0; r < (pixel ? 8u : 16u); ++r) set(r, {0, 0, 0, 0});
    for (const auto& kv : constants) set(kv.first, kv.second);
    m_dev->SetVertexShader(pixel ? m_vs : h);
    m_dev->SetPixelShader(pixel ? h : 0);
    const std::uint32_t centre = DrawCentre(vertexColour);
    pixel ? m_dev->SetPixelShader(0) : m_dev->SetVertexShader(0);
    pixel ? m_dev->DeletePixelShader(h) : m_dev->DeleteVertexShader(h);
    return centre;
  }

  DWORD m_vs = 0;
};

TEST_F(ShaderGl, VertexInstructions) {
  const std::map<DWORD, Vec4> cmp = {{1, {0.25f, 0.75f, 0.5f, 0}}, {2, {0.5f, 0.5f, 0.5f, 0.5f}}};
  // Matrix forms: r0 = op(r1 = c0, c4..), shown as r0 through `swz`; the rows
  // of m3 carry a w that adds 1 where it is wrongly used.
  auto mat = [](DWORD op, DWORD mask, DWORD swz = kXYZW) {
    return std::vector<DWORD>{1, Dst(kTemp, 1), Src(kConst, 0), op, Dst(kTemp, 0, mask), Src(kTemp, 1), Src(kConst, 4),
                              1, Dst(kAttr, 0), Src(kTemp, 0, swz)};
  };
  const std::map<DWORD, Vec4> m4 = {{0, {1, 2, 0, 1}}, {4, {0.1f, 0, 0, 0.1f}}, {5, {0, 0.1f, 0, 0.05f}}, {6, {0.25f, 0.25f, 0, 0}}};
  const std::map<DWORD, Vec4> m3 = {{0, {1, 2, 0, 1}}, {4, {0.2f, 0, 0, 1}}, {5, {0, 0.125f, 0, 1}}, {6, {0.25f, 0.25f, 0, 9}},
                                    {7, {0.5f, 0, 0, 7}}, {8, {1, 1, 1, 1}}};
  const std::vector<VsCase> cases = {
      // rcp of 0 gives the largest float (clamped to 1 in the colour).
      {"rcp", {6, Dst(kTemp, 0, 1), Src(kConst, 1, kXXXX), 6, Dst(kTemp, 0, 6), Src(kConst, 1, kWWWW),
               1, Dst(kAttr, 0), Src(kTemp, 0)}, {{1, {0, 0, 0, 4}}}, 0xFF4040},
      // rsq works on |x|; rsq of 0 is the largest float.
      {"rsq", {7, Dst(kTemp, 0, 1), Src(kConst, 1, kXXXX), 7, Dst(kTemp, 0, 2), Src(kConst, 1, kYYYY),
               1, Dst(kAttr, 0), Src(kTemp, 0)}, {{1, {-16, 0, 0, 0}}}, 0x40FF00},
      // expp of -1.75: 2^floor = 0.25, fraction 0.25, 2^-1.75 = 0.297.
      {"expp", {78, Dst(kTemp, 0), Src(kConst, 1, kWWWW), 1, Dst(kAttr, 0), Src(kTemp, 0)},
       {{1, {0, 0, 0, -1.75f}}}, 0x40404C},
      // logp of -6: exponent 2, mantissa 1.5, log2 2.585; scaled by 0.25.
      {"logp", {79, Dst(kTemp, 0), Src(kConst, 1, kWWWW), 5, Dst(kAttr, 0), Src(kTemp, 0), Src(kConst, 2)},
       {{1, {0, 0, 0, -6}}, {2, {0.25f, 0.25f, 0.25f, 0.25f}}}, 0x8060A5},
      {"lit", {16, Dst(kAttr, 0), Src(kConst, 1)}, {{1, {0.5f, 0.25f, 0, 2}}}, 0xFF8010},
      {"lit unlit side", {16, Dst(kAttr, 0), Src(kConst, 1)}, {{1, {-0.5f, 0.25f, 0, 2}}}, 0xFF0000},
      // dst: (1, a.y*b.y, a.z, b.w), shown as y, z, w.
      {"dst", {1, Dst(kTemp, 1), Src(kConst, 2), 17, Dst(kTemp, 0), Src(kConst, 1), Src(kTemp, 1),
               1, Dst(kAttr, 0), Src(kTemp, 0, Swz(1, 2, 3, 3))},
       {{1, {0, 0.5f, 0.25f, 0}}, {2, {0, 0.5f, 0, 0.75f}}}, 0x4040BF},
      {"frc", {19, Dst(kAttr, 0), Src(kConst, 1)}, {{1, {1.25f, -0.25f, 3.5f, 0}}}, 0x40BF80},
      {"m4x4", mat(20, 0xF), m4, 0x3340BF},
      {"m4x3", mat(21, 7), m4, 0x3340BF},
      {"m3x3", mat(23, 7), m3, 0x3340BF},
      {"m3x4", mat(22, 0xF, Swz(1, 2, 3, 3)), m3, 0x40BF80},
      // m3x2 writes x and y only; z keeps the 1 moved in before.
      {"m3x2", {1, Dst(kTemp, 0), Src(kConst, 8), 1, Dst(kTemp, 1), Src(kConst, 0),
                24, Dst(kTemp, 0, 3), Src(kTemp, 1), Src(kConst, 4), 1, Dst(kAttr, 0), Src(kTemp, 0)}, m3, 0x3340FF},
      // mov to a0.x rounds down: 2.5 -> 2, -0.5 -> -1.
      {"relative", {1, Dst(kAddr, 0, 1), Src(kConst, 0, kXXXX), 1, Dst(kAttr, 0), Src(kConst, 3) | kRel},
       {{0, {2.5f, 0, 0, 0}}, {5, {0.25f, 0.5f, 0.75f, 1}}, {6, {1, 1, 1, 1}}}, 0x4080BF},
      {"relative negative", {1, Dst(kAddr, 0, 1), Src(kConst, 0, kXXXX), 1, Dst(kAttr, 0), Src(kConst, 6) | kRel},
       {{0, {-0.5f, 0, 0, 0}}, {5, {0.25f, 0.5f, 0.75f, 1}}, {6, {1, 1, 1, 1}}}, 0x4080BF},
      {"relative out of range", {1, Dst(kAddr, 0, 1), Src(kConst, 0, kXXXX), 1, Dst(kAttr, 0), Src(kConst, 0) | kRel},
       {{0, {200.0f, 0, 0, 0}}}, 0x000000},
      // c1 = (0.25, 0.75, 0.5, 0) against r1 = 0.5.
      {"min", {1, Dst(kTemp, 1), Src(kConst, 2), 10, Dst(kAttr, 0), Src(kConst, 1), Src(kTemp, 1)}, cmp, 0x408080},
      {"max", {1, Dst(kTemp, 1), Src(kConst, 2), 11, Dst(kAttr, 0), Src(kConst, 1), Src(kTemp, 1)}, cmp, 0x80BF80},
      {"slt", {1, Dst(kTemp, 1), Src(kConst, 2), 12, Dst(kAttr, 0), Src(kConst, 1), Src(kTemp, 1)}, cmp, 0xFF0000},
      {"sge", {1, Dst(kTemp, 1), Src(kConst, 2), 13, Dst(kAttr, 0), Src(kConst, 1), Src(kTemp, 1)}, cmp, 0x00FFFF},
      {"exp", {14, Dst(kAttr, 0), Src(kConst, 1, kWWWW)}, {{1, {0, 0, 0, -2}}}, 0x404040},
      {"log", {15, Dst(kTemp, 0, 3), Src(kConst, 1, kWWWW), 15, Dst(kTemp, 0, 4), Src(kConst, 1, kXXXX),
               1, Dst(kAttr, 0), Src(kTemp, 0)}, {{1, {0, 0, 0, -1.41421356f}}}, 0x808000},
      {"sub and mad", {1, Dst(kTemp, 1), Src(kConst, 2), 3, Dst(kTemp, 0, 1), Src(kConst, 1), Src(kTemp, 1),
                       4, Dst(kTemp, 0, 2), Src(kConst, 1), Src(kTemp, 1), Src(kTemp, 1),
                       1, Dst(kAttr, 0), Src(kTemp, 0)},
       {{1, {0.75f, 0.5f, 0, 0}}, {2, {0.25f, 0.25f, 0, 0}}}, 0x806000},
      {"dp3 and dp4", {1, Dst(kTemp, 1), Src(kConst, 2), 8, Dst(kTemp, 0, 1), Src(kConst, 1), Src(kTemp, 1),
                       9, Dst(kTemp, 0, 2), Src(kConst, 1), Src(kTemp, 1), 1, Dst(kAttr, 0), Src(kTemp, 0)},
       {{1, {0.25f, 0.25f, 0, 1}}, {2, {1, 1, 1, 0.25f}}}, 0x80C000},
      // Colour outputs are clamped to 0..1; a negated source.
      {"colour clamp", {1, Dst(kAttr, 0), Src(kConst, 1)}, {{1, {2, -1, 0.5f, 1}}}, 0xFF0080},
      {"negate", {1, Dst(kAttr, 0), Src(kConst, 1, kXYZW, kNeg)}, {{1, {-0.5f, 1, -0.25f, 0}}}, 0x800040},
      // v3 is not declared: it reads (0, 0, 0, 1); a FLOAT3 position has w = 1.
      {"undeclared input", {1, Dst(kTemp, 0, 1), Src(kInput, 3, kWWWW), 1, Dst(kTemp, 0, 2), Src(kInput, 3, kXXXX),
                            1, Dst(kTemp, 0, 4), Src(kInput, 0, kWWWW), 1, Dst(kAttr, 0), Src(kTemp, 0)},
       {}, 0xFF00FF},
  };
  for (const VsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(ColorNear(RunVs(c), c.want)) << c.name;
  }
}

TEST_F(ShaderGl, PixelInstructionsAndModifiers) {
  struct PsCase {
    const char* name;
    std::vector<DWORD> body;
    std::map<DWORD, Vec4> constants;
    DWORD colour;
    std::uint32_t want;
  };
  const Vec4 q = {0.25f, 0.25f, 0.25f, 0.25f}, h = {0.5f, 0.5f, 0.5f, 0.5f};
  const Vec4 tq = {0.75f, 0.75f, 0.75f, 0.75f}, one = {1, 1, 1, 1};
  const std::vector<PsCase> cases = {
      {"mov v0", {1, Dst(kTemp, 0), Src(kInput, 0)}, {}, 0xFF336699u, 0x336699},
      // Constants are clamped to -1..1 when read: 2 * 0.25 would be 0x80.
      {"constant clamp", {5, Dst(kTemp, 0), Src(kConst, 0), Src(kConst, 1)}, {{0, {2, 2, 2, 1}}, {1, q}},
       0xFFFFFFFFu, 0x404040},
      // Registers hold at most +-8: 64 is kept as 8, 8 / 16 = 0.5.
      {"register clamp", {5 , Dst(kTemp, 1, 0xF, kX4), Src(kConst, 0), Src(kConst, 0),
                          5, Dst(kTemp, 1, 0xF, kX4), Src(kTemp, 1), Src(kTemp, 1),
                          5, Dst(kTemp, 0), Src(kTemp, 1), Src(kConst, 1)},
       {{0, one}, {1, {0.0625f, 0.0625f, 0.0625f, 0.0625f}}}, 0xFFFFFFFFu, 0x808080},
      // lrp: 0.25 * c1 + 0.75 * v0.
      {"lrp", {18, Dst(kTemp, 0), Src(kConst, 0), Src(kConst, 1), Src(kInput, 0)}, {{0, q}, {1, {1, 0, 0, 1}}},
       0xFF00FF80u, 0x40BF60},
      {"dp3_sat with _bx2", {8, Dst(kTemp, 0, 0xF, kSat), Src(kInput, 0, kXYZW, kBx2), Src(kConst, 0, kXYZW, kBx2)},
       {{0, {0.75f, 0.5f, 0.5f, 1}}}, 0xFFFF8080u, 0x808080},
      // The saturated negative product is 0, so the sum is 0.5 (not 0).
      {"dp3_sat clamps below", {8, Dst(kTemp, 1, 0xF, kSat), Src(kInput, 0, kXYZW, kBx2), Src(kConst, 0, kXYZW, kBx2),
                                2, Dst(kTemp, 0), Src(kTemp, 1), Src(kConst, 1)},
       {{0, {0.75f, 0.5f, 0.5f, 1}}, {1, h}}, 0xFF008080u, 0x808080},
      // The pair reads r1 before either half writes it: r1.a gets the old b.
      {"co-issue", {1, Dst(kTemp, 1), Src(kConst, 0), 1, Dst(kTemp, 1, 7), Src(kTemp, 1, kWWWW),
                    1 | kCoissue, Dst(kTemp, 1, 8), Src(kTemp, 1, kZZZZ), 1, Dst(kTemp, 0), Src(kTemp, 1, kWWWW)},
       {{0, {0.25f, 0.25f, 0.25f, 0.75f}}}, 0xFFFFFFFFu, 0x404040},
      {"cnd above half", {1, Dst(kTemp, 0), Src(kConst, 0), 80, Dst(kTemp, 0), Src(kTemp, 0, kWWWW), Src(kConst, 1), Src(kConst, 2)},
       {{0, tq}, {1, {1, 0, 0, 1}}, {2, {0, 0, 1, 1}}}, 0xFFFFFFFFu, 0xFF0000},
      {"cnd at half", {1, Dst(kTemp, 0), Src(kConst, 0), 80, Dst(kTemp, 0), Src(kTemp, 0, kWWWW), Src(kConst, 1), Src(kConst, 2)},
       {{0, h}, {1, {1, 0, 0, 1}}, {2, {0, 0, 1, 1}}}, 0xFFFFFFFFu, 0x0000FF},
      {"_bias", {1, Dst(kTemp, 0), Src(kConst, 0, kXYZW, kBias)}, {{0, tq}}, 0xFFFFFFFFu, 0x404040},
      {"complement", {1, Dst(kTemp, 0), Src(kConst, 0, kXYZW, kComp)}, {{0, tq}}, 0xFFFFFFFFu, 0x404040},
      {"negate", {1, Dst(kTemp, 0), Src(kConst, 0, kXYZW, kNeg)}, {{0, {-0.5f, -0.5f, -0.5f, 1}}}, 0xFFFFFFFFu, 0x808080},
      {"_x2", {1, Dst(kTemp, 0, 0xF, kX2), Src(kConst, 0)}, {{0, q}}, 0xFFFFFFFFu, 0x808080},
      {"_x4", {1, Dst(kTemp, 0, 0xF, kX4), Src(kConst, 0)}, {{0, {0.125f, 0.125f, 0.125f, 1}}}, 0xFFFFFFFFu, 0x808080},
      {"_d2", {1, Dst(kTemp, 0, 0xF, kD2), Src(kConst, 0)}, {{0, one}}, 0xFFFFFFFFu, 0x808080},
      {"sub", {3, Dst(kTemp, 0), Src(kConst, 0), Src(kConst, 1)}, {{0, tq}, {1, q}}, 0xFFFFFFFFu, 0x808080},
      {"mad", {4, Dst(kTemp, 0), Src(kConst, 0), Src(kConst, 1), Src(kInput, 0)}, {{0, h}, {1, h}},
       0xFF404040u, 0x808080},
      {"write mask", {1, Dst(kTemp, 0), Src(kConst, 0), 1, Dst(kTemp, 0, 8), Src(kConst, 1)}, {{0, q}, {1, one}},
       0xFFFFFFFFu, 0x404040},
      // def wins over the constant set through the device.
      {"def", {0x51, Dst(kConst, 3), FloatBits(0.25f), FloatBits(0.5f), FloatBits(0.75f), FloatBits(1.0f),
               1, Dst(kTemp, 0), Src(kConst, 3)}, {{3, one}}, 0xFFFFFFFFu, 0x4080BF},
      // A def of an infinity clamps like any out-of-range constant: +inf to 1, -inf to -1
      // (c3 * 0.5 + 0.5).
      {"def infinities", {0x51, Dst(kConst, 3), 0x7F800000u, 0xFF800000u, FloatBits(0.0f), FloatBits(1.0f),
                          4, Dst(kTemp, 0), Src(kConst, 3), Src(kConst, 4), Src(kConst, 4)},
       {{4, h}}, 0xFFFFFFFFu, 0xFF0080},
  };
  for (const PsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(ColorNear(RunPs(PixelProgram(c.body), c.constants, c.colour), c.want)) << c.name;
  }
  // dp4 exists from ps.1.2.
  const std::vector<DWORD> dp4 = {0xFFFF0102u, 9, Dst(kTemp, 0), Src(kConst, 0), Src(kConst, 1), 0x0000FFFFu};
  EXPECT_TRUE(ColorNear(RunPs(dp4, {{0, q}, {1, {1, 0, 0, 1}}}), 0x808080));
}

TEST_F(ShaderGl, TextureAddressingInstructions) {
  // 2x2 colour texture: red, green / blue, white.
  IDirect3DTexture8* colours = MakeTexture(2, 2, D3DFMT_A8R8G8B8,
                                           {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
  ASSERT_NE(colours, nullptr);
  // tex: the first texture row is the top of the quad.
  ASSERT_EQ(m_dev->SetTexture(0, colours), D3D_OK);
  RunPs(PixelProgram({0x42, Dst(kTex, 0), 1, Dst(kTemp, 0), Src(kTex, 0)}), {});
  const int r = m_width - 2, b = m_height - 2;
  ExpectPixels({{1, 1, 0xFF0000u}, {r, b, 0xFFFFFFu}});
  // texcoord: the coordinates themselves, 0 at the top left.
  RunPs(PixelProgram({0x40, Dst(kTex, 0), 1, Dst(kTemp, 0), Src(kTex, 0)}), {});
  EXPECT_LT(Pixel(0, 0) >> 16, 8u);
  EXPECT_GT(Pixel(m_width - 1, m_height - 1) >> 16, 0xF0u);
  EXPECT_GT((Pixel(m_width - 1, m_height - 1) >> 8) & 0xFF, 0xF0u);
  // texreg2ar: t1 is read at (t0.a, t0.r) = (0.75, 0.25): top right, green.
  IDirect3DTexture8* lookup = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xC0400000u});
  ASSERT_EQ(m_dev->SetTexture(0, lookup), D3D_OK);
  ASSERT_EQ(m_dev->SetTexture(1, colours), D3D_OK);
  EXPECT_EQ(RunPs(PixelProgram({0x42, Dst(kTex, 0), 69, Dst(kTex, 1), Src(kTex, 0), 1, Dst(kTemp, 0), Src(kTex, 1)}), {}),
            0x00FF00u);
  // texbem: a constant offset of +0.5 in u through the bump matrix moves the
  // left column's lookups to the right column.
  IDirect3DTexture8* bump = MakeTexture(1, 1, D3DFMT_V8U8, {0x00000040u});
  ASSERT_NE(bump, nullptr);
  ASSERT_EQ(m_dev->SetTexture(0, bump), D3D_OK);
  for (float m00 : {1.0f, 0.0f}) {
    m_dev->SetTextureStageState(1, D3DTSS_BUMPENVMAT00, FloatBits(m00));
    RunPs(PixelProgram({0x42, Dst(kTex, 0), 67, Dst(kTex, 1), Src(kTex, 0), 1, Dst(kTemp, 0), Src(kTex, 1)}), {});
    EXPECT_EQ(Pixel(m_width / 4, 1), m00 ? 0x00FF00u : 0xFF0000u) << "matrix entry " << m00;
  }
  // texm3x2pad/texm3x2tex: u = dot(T1, t0), v = dot(T2, t0) with t0 = (1, 0, 0);
  // T2 carries (v, u), so the lookup lands where plain coordinates would.
  IDirect3DTexture8* red = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFFFF0000u});
  ASSERT_EQ(m_dev->SetTexture(0, red), D3D_OK);
  ASSERT_EQ(m_dev->SetTexture(2, colours), D3D_OK);
  RunPs(PixelProgram({0x42, Dst(kTex, 0), 71, Dst(kTex, 1), Src(kTex, 0), 72, Dst(kTex, 2), Src(kTex, 0),
                      1, Dst(kTemp, 0), Src(kTex, 2)}), {});
  ExpectPixels({{1, 1, 0xFF0000u}, {r, 1, 0x00FF00u}, {r, b, 0xFFFFFFu}});
}

TEST_F(ShaderGl, TexkillDiscardsNegativeCoordinates) {
  // oT0 = v7 - (0.5, 0, 0): the left half has u < 0.
  const DWORD vs = MakeVs(VertexProgram({0x00000001u, Dst(kAttr, 0), Src(kInput, 5),
                                         0x00000002u, Dst(kTexOut, 0), Src(kInput, 7), Src(kConst, 0, kXYZW, kNeg)}));
  const DWORD ps = MakePs(PixelProgram({0x41, Dst(kTex, 0), 1, Dst(kTemp, 0), Src(kInput, 0)}));
  const float c0[4] = {0.5f, 0, 0, 0};
  m_dev->SetVertexShaderConstant(0, c0, 1);
  m_dev->SetVertexShader(vs);
  m_dev->SetPixelShader(ps);
  DrawCentre(0xFF00FF00u);
  ExpectPixels({{2, 2, 0u}, {int(m_width) - 3, 2, 0x00FF00u}});
}

// UBYTE4 reads 0..255 unscaled; SHORT2 reads signed integers with z = 0 and
// w = 1 filled in.
TEST_F(ShaderGl, DeclarationTypes) {
  struct Vertex {
    float pos[3];
    BYTE ub[4];
    short s[2];
  };
  const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(1, D3DVSDT_UBYTE4),
                        D3DVSD_REG(2, D3DVSDT_SHORT2), D3DVSD_END()};
  const DWORD vs = MakeVs(VertexProgram({5, Dst(kTemp, 0, 1), Src(kInput, 1), Src(kConst, 0),
                                         5, Dst(kTemp, 0, 2), Src(kInput, 2), Src(kConst, 1),
                                         1, Dst(kTemp, 0, 4), Src(kInput, 2, kWWWW),
                                         1, Dst(kTemp, 0, 8), Src(kInput, 2, kZZZZ),
                                         1, Dst(kAttr, 0), Src(kTemp, 0)}),
                          decl);
  const float c0[4] = {1.0f / 255, 0, 0, 0}, c1[4] = {0, 0.25f, 0, 0};
  m_dev->SetVertexShaderConstant(0, c0, 1);
  m_dev->SetVertexShaderConstant(1, c1, 1);
  std::vector<Vertex> v;
  for (const TestVertex& q : Quad()) v.push_back(Vertex{{q.x, q.y, q.z}, {255, 128, 0, 7}, {-2, 3}});
  m_dev->SetVertexShader(vs);
  m_dev->SetStreamSource(0, MakeVb(v), sizeof(Vertex));
  m_dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  ClearTo();
  ASSERT_EQ(m_dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  PresentAndRead();
  EXPECT_TRUE(ColorNear(Centre(), 0xFFBFFF));
}

// The benchmark's hook: the linked program of a pair of this device's shaders.
TEST_F(ShaderGl, ProgramHookGivesTheLinkedPair) {
  const DWORD vs = MakeVs(VertexProgram({1, Dst(kAttr, 0), Src(kInput, 5)}));
  const DWORD ps = MakePs(PixelProgram({1, Dst(kTemp, 0), Src(kInput, 0)}));
  const GLuint program = QvD3D8ProgramFor(m_dev, vs, ps);
  EXPECT_NE(program, 0u);
  EXPECT_TRUE(glIsProgram(program));
  EXPECT_EQ(QvD3D8ProgramFor(m_dev, vs, ps), program) << "linked once";
  EXPECT_NE(QvD3D8ProgramFor(m_dev, vs, 0), 0u) << "the default pixel side";
  EXPECT_EQ(QvD3D8ProgramFor(m_dev, vs, 0x999u), 0u);
  EXPECT_EQ(QvD3D8ProgramFor(m_dev, 0x998u, ps), 0u);
  EXPECT_EQ(QvD3D8ProgramFor(nullptr, vs, ps), 0u);
  // Deleting a shader drops the programs made with it.
  ASSERT_EQ(m_dev->DeletePixelShader(ps), D3D_OK);
  EXPECT_FALSE(glIsProgram(program));
}

TEST_F(ShaderGl, MalformedStreamsAreRefused) {
  DWORD h = 0;
  // The validator's refusals are tested on their own; here one of each kind
  // shows the device asks it: a bad stream, declaration or pointer.
  const std::vector<DWORD> vs = VertexProgram({}), badVs = VertexProgram({1, Dst(kTemp, 12), Src(kTemp, 1)});
  const DWORD badDecl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, 9), D3DVSD_END()};
  const HRESULT refused[] = {
      m_dev->CreateVertexShader(kTestDecl, badVs.data(), &h, 0), m_dev->CreateVertexShader(kTestDecl, nullptr, &h, 0),
      m_dev->CreateVertexShader(nullptr, vs.data(), &h, 0), m_dev->CreateVertexShader(kTestDecl, vs.data(), nullptr, 0),
      m_dev->CreateVertexShader(badDecl, vs.data(), &h, 0), m_dev->CreatePixelShader(nullptr, &h),
      m_dev->CreatePixelShader(PixelProgram({1, Dst(kTemp, 2), Src(kTemp, 0)}).data(), &h)};
  for (std::size_t i = 0; i < std::size(refused); ++i) EXPECT_EQ(refused[i], D3DERR_INVALIDCALL) << "call " << i;
  // The device still works afterwards.
  EXPECT_EQ(m_dev->CreateVertexShader(kTestDecl, vs.data(), &h, 0), D3D_OK);
  EXPECT_EQ(h & 1u, 1u);
}

}  // namespace
}  // namespace qv::test
// clang-format on
