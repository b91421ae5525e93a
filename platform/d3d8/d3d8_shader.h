// Shader token streams of this layer: the decoded form shared by the
// validators and the GLSL translators, the coded validation messages, the
// vertex declaration, and the translation entry points.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace qv::d3d8 {

// Limits of what this layer offers; the caps report the same numbers.
constexpr std::uint32_t kMaxVertexConstants = 96;
constexpr std::uint32_t kMaxVertexInputs = 16;
constexpr std::uint32_t kMaxVertexTemps = 12;
constexpr std::uint32_t kMaxVertexInstructions = 128;
constexpr std::uint32_t kMaxPixelConstants = 8;
constexpr std::uint32_t kMaxPixelTemps = 2;
constexpr std::uint32_t kMaxPixelTextures = 4;
constexpr std::uint32_t kMaxPixelTexInstructions = 4;
constexpr std::uint32_t kMaxPixelArithInstructions = 8;
constexpr std::uint32_t kMaxStreams = 8;
// Pixel shader registers hold values in +-8: enough headroom for _x4 of a
// colour product while staying a range that ps.1.x hardware offered.
constexpr float kMaxPixelShaderValue = 8.0f;
// A stream that has not ended after this many words, comments not counted,
// is refused.
constexpr std::size_t kMaxShaderTokens = 16384;
// Comment words are counted apart: a stream assembled with debug information
// carries its whole source text. This is the assembler's largest stream.
constexpr std::size_t kMaxShaderCommentTokens = std::size_t(1) << 24;
constexpr std::size_t kMaxDeclarationTokens = 1024;

// Every validation and translation failure has a code and one text.
enum class ShaderError : std::uint32_t {
  None,
  NullStream,
  BadVersion,
  UnsupportedVersion,
  MissingEnd,
  BadComment,
  UnknownOpcode,
  OpcodeNotInVersion,
  TruncatedInstruction,
  TooManyInstructions,
  BadDestinationType,
  BadSourceType,
  RegisterOutOfRange,
  BadWriteMask,
  BadSwizzle,
  BadSourceModifier,
  BadResultModifier,
  BadRelativeAddress,
  TooManyConstantReads,
  TooManyInputReads,
  NoPositionWritten,
  TexAfterArithmetic,
  TexRegisterOrder,
  BadCoissue,
  BadCndSource,
  BadMatrixSequence,
  BadDef,
  NullDeclaration,
  BadDeclarationToken,
  DeclarationTooLong,
  DuplicateDeclarationRegister,
  Count
};
const char* ShaderErrorText(ShaderError code);

struct SrcParam {
  std::uint32_t type = 0;
  std::uint32_t num = 0;
  std::uint32_t swizzle = 0xE4;  // two bits per component, x lowest
  std::uint32_t mod = 0;         // 0 none .. 6 complement
  bool relative = false;         // c[a0.x + num]
};

struct DstParam {
  std::uint32_t type = 0;
  std::uint32_t num = 0;
  std::uint32_t mask = 0xF;  // x=1, y=2, z=4, w=8
  bool saturate = false;
  std::uint32_t shift = 0;  // 4-bit field: 1 x2, 2 x4, 3 x8, 0xF d2, 0xE d4, 0xD d8
};

struct Instruction {
  std::uint32_t opcode = 0;
  bool coissue = false;
  bool hasDst = false;
  DstParam dst;
  int srcCount = 0;
  std::array<SrcParam, 3> src;
  std::array<float, 4> def{};  // pixel shader def values
};

struct ShaderProgram {
  bool pixel = false;
  std::uint32_t major = 0, minor = 0;
  std::vector<Instruction> code;  // in stream order, defs included
};

// Register types of the token format.
enum RegType : std::uint32_t {
  kRegTemp = 0,
  kRegInput = 1,
  kRegConst = 2,
  kRegAddrOrTexture = 3,
  kRegRastOut = 4,
  kRegAttrOut = 5,
  kRegTexCrdOut = 6,
};

// Opcodes of vs.1.x and ps.1.x.
// clang-format off
enum Opcode : std::uint32_t {
  kOpNop = 0, kOpMov = 1, kOpAdd = 2, kOpSub = 3, kOpMad = 4, kOpMul = 5, kOpRcp = 6, kOpRsq = 7,
  kOpDp3 = 8, kOpDp4 = 9, kOpMin = 10, kOpMax = 11, kOpSlt = 12, kOpSge = 13, kOpExp = 14,
  kOpLog = 15, kOpLit = 16, kOpDst = 17, kOpLrp = 18, kOpFrc = 19, kOpM4x4 = 20, kOpM4x3 = 21,
  kOpM3x4 = 22, kOpM3x3 = 23, kOpM3x2 = 24, kOpTexCoord = 64, kOpTexKill = 65, kOpTex = 66,
  kOpTexBem = 67, kOpTexBemL = 68, kOpTexReg2AR = 69, kOpTexReg2GB = 70, kOpTexM3x2Pad = 71,
  kOpTexM3x2Tex = 72, kOpTexM3x3Pad = 73, kOpTexM3x3Tex = 74, kOpTexM3x3Diff = 75,
  kOpTexM3x3Spec = 76, kOpTexM3x3VSpec = 77, kOpExpP = 78, kOpLogP = 79, kOpCnd = 80, kOpDef = 81,
  kOpTexM3x2Depth = 96, kOpTexDp3 = 98, kOpTexReg2RGB = 99,
};
// clang-format on

// Decodes and checks a vs.1.0/1.1 (pixel = false) or ps.1.0-1.3 stream. On
// failure returns false with a one-line message that starts with the code.
bool ParseShader(const DWORD* tokens, bool pixel, ShaderProgram& out, std::string& error);
// Rows a vertex matrix instruction (m4x4 ... m3x2) reads from its second
// source on; 0 for every other opcode. The validator and the translator both
// count from this.
std::uint32_t MatrixRows(std::uint32_t opcode);

struct VertexElement {
  std::uint32_t stream = 0;
  std::uint32_t reg = 0;
  std::uint32_t type = 0;  // D3DVSDT_*
  std::uint32_t offset = 0;
};
struct DeclConstant {
  std::uint32_t reg = 0;
  std::array<float, 4> value{};
};
struct VertexDeclaration {
  std::vector<VertexElement> elements;
  std::vector<DeclConstant> constants;
};
bool ParseDeclaration(const DWORD* tokens, VertexDeclaration& out, std::string& error);
// Bytes one declared element takes in its stream (0 for an unknown type).
std::uint32_t DeclTypeSize(std::uint32_t type);

// ".yzxw"-style suffixes for a swizzle or a write mask ("" for the identity
// swizzle or a full mask).
std::string GlslSwizzle(std::uint32_t swizzle);
std::string GlslMask(std::uint32_t mask);

// GLSL 3.30 sources for a decoded program. The vertex side writes the
// varyings qv_D0, qv_D1, qv_T0..qv_T7 and qv_Fog that the pixel side reads.
std::string TranslateVertexShader(const ShaderProgram& vs, bool& writesFog);

// What the fixed stages after a pixel program do: alpha test, fog and the
// ordered dither of 16-bit targets. Each combination the render states ask
// for is compiled into a program of its own, so a pixel runs only the work
// that is switched on, without branching on uniforms.
struct PixelTail {
  std::uint8_t alphaFunc = 8;  // D3DCMP_* (8 = always: no alpha test)
  std::uint8_t fogMode = 0;    // 0 off, 1 linear, 2 exp, 3 exp2, 4 the fog value itself
  bool dither = false;         // quantise to qv_ditherLevels with a 4 x 4 ordered dither
  std::uint32_t Key() const { return alphaFunc | fogMode << 4 | (dither ? 1u : 0u) << 8; }
};

std::string TranslatePixelShader(const ShaderProgram& ps, const PixelTail& tail = {});
// Whether the translated program's alpha is exactly 1 in every pixel, given
// the texture stages whose samples have alpha exactly 1 (bit n: stage n).
// Only what holds for every value of the other inputs counts: a def constant
// of alpha 1 (or more, as it is clamped), texcoord, such a stage's sample,
// and mov, mul and cnd of such alphas without modifiers or shifts.
bool PixelAlphaIsOne(const ShaderProgram& ps, std::uint32_t opaqueStages);
// The pixel side used when no pixel shader is set: the diffuse colour,
// modulated by the texture of stage 0 when one is bound.
std::string DefaultPixelShaderSource(const PixelTail& tail = {});

// Registers "d3d8.dll" with the shader validators and, once a non-null
// `create` has been given (Direct3DCreate8 gives itself), Direct3DCreate8.
void RegisterModule(FARPROC create);

}  // namespace qv::d3d8
