// Token streams of the terrain's two shaders as the assembler produces them,
// written out by hand from the token encoding. Shared by the tests of the
// assembler, the device layer and the lighting code. Laid out by hand: one
// instruction a line.
// clang-format off
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::test {

// The assembler's banner comment: 9 words holding
// "D3DX8 Shader Assembler Version 0.91" and its terminating zero.
#define QV_TEST_ASM_BANNER                                                              \
  0x0009FFFEu, 0x58443344u, 0x68532038u, 0x72656461u, 0x73734120u, 0x6C626D65u, \
      0x56207265u, 0x69737265u, 0x30206E6Fu, 0x0031392Eu

// vs.1.0 terrain vertex shader: 99 words.
inline constexpr std::uint32_t kTerrainVertexShaderTokens[] = {
    0xFFFE0100u, QV_TEST_ASM_BANNER,
    // dp4 oPos.x/y/z/w, v0, c4..c7
    0x00000009u, 0xC0010000u, 0x90E40000u, 0xA0E40004u,
    0x00000009u, 0xC0020000u, 0x90E40000u, 0xA0E40005u,
    0x00000009u, 0xC0040000u, 0x90E40000u, 0xA0E40006u,
    0x00000009u, 0xC0080000u, 0x90E40000u, 0xA0E40007u,
    // mov r3, v11 / mov r5, v3
    0x00000001u, 0x800F0003u, 0x90E4000Bu,
    0x00000001u, 0x800F0005u, 0x90E40003u,
    // mul r0, r3.zxyw, r5.yzxw / mad r4, r3.yzxw, r5.zxyw, -r0
    0x00000005u, 0x800F0000u, 0x80D20003u, 0x80C90005u,
    0x00000004u, 0x800F0004u, 0x80C90003u, 0x80D20005u, 0x81E40000u,
    // dp3 r6.x/y/z, r3/r4/r5, -c12
    0x00000008u, 0x80010006u, 0x80E40003u, 0xA1E4000Cu,
    0x00000008u, 0x80020006u, 0x80E40004u, 0xA1E4000Cu,
    0x00000008u, 0x80040006u, 0x80E40005u, 0xA1E4000Cu,
    // mad oD0.xyz, r6.xyz, c20, c20 / mov oD0.w, c12.z
    0x00000004u, 0xD0070000u, 0x80A40006u, 0xA0E40014u, 0xA0E40014u,
    0x00000001u, 0xD0080000u, 0xA0AA000Cu,
    // mov r1, v0 / mov r1.y, c0.x / add r1, r1, -c10 / dp3 r1, r1, r1
    0x00000001u, 0x800F0001u, 0x90E40000u,
    0x00000001u, 0x80020001u, 0xA0000000u,
    0x00000002u, 0x800F0001u, 0x80E40001u, 0xA1E4000Au,
    0x00000008u, 0x800F0001u, 0x80E40001u, 0x80E40001u,
    // rsq r1.w, r1.w / rcp r1.w, r1.w / mul oFog, r1.w, c0.z
    0x00000007u, 0x80080001u, 0x80FF0001u,
    0x00000006u, 0x80080001u, 0x80FF0001u,
    0x00000005u, 0xC00F0001u, 0x80FF0001u, 0xA0AA0000u,
    // mov oT0..oT3.xy, v7..v10
    0x00000001u, 0xE0030000u, 0x90E40007u,
    0x00000001u, 0xE0030001u, 0x90E40008u,
    0x00000001u, 0xE0030002u, 0x90E40009u,
    0x00000001u, 0xE0030003u, 0x90E4000Au,
    0x0000FFFFu,
};
static_assert(sizeof(kTerrainVertexShaderTokens) / 4 == 99, "99 words");

// ps.1.1 terrain pixel shader: 44 words.
inline constexpr std::uint32_t kTerrainPixelShaderTokens[] = {
    0xFFFF0101u, QV_TEST_ASM_BANNER,
    0x00000042u, 0xB00F0000u,  // tex t0
    0x00000042u, 0xB00F0001u,  // tex t1
    0x00000042u, 0xB00F0002u,  // tex t2
    0x00000042u, 0xB00F0003u,  // tex t3
    0x00000012u, 0x800F0000u, 0xB0FF0001u, 0xB0E40001u, 0xB0E40000u,  // lrp r0, t1.a, t1, t0
    0x00000008u, 0x801F0001u, 0xB4E40003u, 0x94E40000u,  // dp3_sat r1, t3_bx2, v0_bx2
    0x00000005u, 0x80070001u, 0xA0E40002u, 0x80E40001u,  // mul r1.rgb, c2, r1
    0x00000002u, 0x80070001u, 0xA0E40000u, 0x80E40001u,  // add r1.rgb, c0, r1
    0x00000005u, 0x80070000u, 0x80E40000u, 0x80E40001u,  // mul r0.rgb, r0, r1
    0x00000001u, 0x80080000u, 0xB0FF0000u,  // mov r0.a, t0.a
    0x0000FFFFu,
};
static_assert(sizeof(kTerrainPixelShaderTokens) / 4 == 44, "44 words");

#undef QV_TEST_ASM_BANNER

}  // namespace qv::test
// clang-format on
