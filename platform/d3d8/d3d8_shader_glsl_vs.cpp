// vs.1.0/1.1 programs to GLSL 3.30 vertex shaders.
//
// Every register is a vec4 variable; constants are one uniform array "c" in
// the shader's row-vector layout, so dp4 against four rows multiplies as the
// program expects. The position output is turned from Direct3D clip space
// (z from 0 to w, y up on screen) into GL's (z from -w to w), with y flipped so
// the render target's first row is the top of the picture, and shifted by
// half a pixel because Direct3D samples pixels at integer coordinates.
#include <cstdio>
#include <sstream>

#include "platform/d3d8/d3d8_shader.h"

namespace qv::d3d8 {

std::string GlslSwizzle(std::uint32_t swizzle) {
  if (swizzle == 0xE4) return "";
  static const char kComp[] = "xyzw";
  std::string s = ".";
  for (int i = 0; i < 4; ++i) s += kComp[(swizzle >> (2 * i)) & 3];
  return s;
}

std::string GlslMask(std::uint32_t mask) {
  if (mask == 0xF) return "";
  static const char kComp[] = "xyzw";
  std::string s = ".";
  for (int i = 0; i < 4; ++i)
    if (mask & (1u << i)) s += kComp[i];
  return s;
}

namespace {

std::string RegName(std::uint32_t type, std::uint32_t num, bool relative) {
  char buf[64];
  switch (type) {
    case kRegTemp: std::snprintf(buf, sizeof buf, "r%u", num); break;
    case kRegInput: std::snprintf(buf, sizeof buf, "v%u", num); break;
    case kRegConst:
      if (relative)
        std::snprintf(buf, sizeof buf, "qv_c(a0 + %u)", num);
      else if (num < kMaxVertexConstants)
        std::snprintf(buf, sizeof buf, "c[%u]", num);
      else
        std::snprintf(buf, sizeof buf, "vec4(0.0)");
      break;
    case kRegRastOut:
      std::snprintf(buf, sizeof buf, "%s", num == 0 ? "o_Pos" : num == 1 ? "o_Fog" : "o_Pts");
      break;
    case kRegAttrOut: std::snprintf(buf, sizeof buf, "o_D%u", num); break;
    case kRegTexCrdOut: std::snprintf(buf, sizeof buf, "o_T%u", num); break;
    default: std::snprintf(buf, sizeof buf, "vec4(0.0)"); break;
  }
  return buf;
}

std::string Src(const SrcParam& s, std::uint32_t rowOffset = 0) {
  std::string e = RegName(s.type, s.num + rowOffset, s.relative) + GlslSwizzle(s.swizzle);
  if (s.mod == 1) e = "(-" + e + ")";
  return e;
}

// Matrix forms: one dot product per row; rows are the registers after src1.
std::string MatrixExpr(const Instruction& in, int rows, bool four) {
  std::string e = "vec4(";
  for (int r = 0; r < 4; ++r) {
    if (r) e += ", ";
    if (r < rows) {
      if (four)
        e += "dot(" + Src(in.src[0]) + ", " + Src(in.src[1], r) + ")";
      else
        e += "dot((" + Src(in.src[0]) + ").xyz, (" + Src(in.src[1], r) + ").xyz)";
    } else {
      e += "0.0";
    }
  }
  return e + ")";
}

const char* kVsPrelude = R"(#version 330 core
uniform vec4 c[96];
uniform vec2 qv_pixelAdjust;
out vec4 qv_D0;
out vec4 qv_D1;
out vec4 qv_T0;
out vec4 qv_T1;
out vec4 qv_T2;
out vec4 qv_T3;
out vec4 qv_T4;
out vec4 qv_T5;
out vec4 qv_T6;
out vec4 qv_T7;
out float qv_Fog;
const float QV_FLT_MAX = 3.402823466e38;
int a0 = 0;
vec4 qv_c(int i) { return (i >= 0 && i < 96) ? c[i] : vec4(0.0); }
float qv_rcp(float x) { return x == 0.0 ? QV_FLT_MAX : 1.0 / x; }
float qv_rsq(float x) { float a = abs(x); return a == 0.0 ? QV_FLT_MAX : inversesqrt(a); }
float qv_log(float x) { float a = abs(x); return a == 0.0 ? -QV_FLT_MAX : log2(a); }
vec4 qv_expp(float w) { float f = floor(w); return vec4(exp2(f), w - f, exp2(w), 1.0); }
vec4 qv_logp(float w) {
  float a = abs(w);
  if (a == 0.0) return vec4(-QV_FLT_MAX, 1.0, -QV_FLT_MAX, 1.0);
  float e = floor(log2(a));
  return vec4(e, a / exp2(e), log2(a), 1.0);
}
vec4 qv_lit(vec4 s) {
  vec4 d = vec4(1.0, 0.0, 0.0, 1.0);
  float p = clamp(s.w, -128.0, 128.0);
  if (s.x > 0.0) {
    d.y = s.x;
    if (s.y > 0.0) d.z = pow(s.y, p);
  }
  return d;
}
)";

}  // namespace

std::string TranslateVertexShader(const ShaderProgram& vs, bool& writesFog) {
  std::ostringstream o;
  o << kVsPrelude;
  bool inputUsed[kMaxVertexInputs] = {};
  writesFog = false;
  for (const Instruction& in : vs.code) {
    for (int s = 0; s < in.srcCount; ++s) {
      const SrcParam& p = in.src[s];
      if (p.type != kRegInput) continue;
      const std::uint32_t matrixRows = s == 1 ? MatrixRows(in.opcode) : 0;
      const std::uint32_t rows = matrixRows ? matrixRows : 1;
      for (std::uint32_t r = 0; r < rows; ++r)
        if (p.num + r < kMaxVertexInputs) inputUsed[p.num + r] = true;
    }
    if (in.hasDst && in.dst.type == kRegRastOut && in.dst.num == 1) writesFog = true;
  }
  for (std::uint32_t i = 0; i < kMaxVertexInputs; ++i)
    if (inputUsed[i]) o << "layout(location = " << i << ") in vec4 v" << i << ";\n";
  o << "void main() {\n";
  for (std::uint32_t i = 0; i < kMaxVertexTemps; ++i) o << "  vec4 r" << i << " = vec4(0.0);\n";
  o << "  vec4 o_Pos = vec4(0.0), o_Fog = vec4(0.0), o_Pts = vec4(0.0);\n"
       "  vec4 o_D0 = vec4(0.0), o_D1 = vec4(0.0);\n";
  for (int i = 0; i < 8; ++i) o << "  vec4 o_T" << i << " = vec4(0.0);\n";
  for (const Instruction& in : vs.code) {
    if (in.opcode == kOpNop) continue;
    const std::string s0 = in.srcCount > 0 ? Src(in.src[0]) : "";
    const std::string s1 = in.srcCount > 1 ? Src(in.src[1]) : "";
    const std::string s2 = in.srcCount > 2 ? Src(in.src[2]) : "";
    std::string e;
    std::uint32_t maskLimit = 0xF;
    // Scalar instructions take the w component of the swizzled source, which is
    // the replicated component when the program names one.
    // clang-format off
    switch (in.opcode) {
      case kOpMov: e = s0; break;
      case kOpAdd: e = s0 + " + " + s1; break;
      case kOpSub: e = s0 + " - " + s1; break;
      case kOpMul: e = s0 + " * " + s1; break;
      case kOpMad: e = s0 + " * " + s1 + " + " + s2; break;
      case kOpDp3: e = "vec4(dot((" + s0 + ").xyz, (" + s1 + ").xyz))"; break;
      case kOpDp4: e = "vec4(dot(" + s0 + ", " + s1 + "))"; break;
      case kOpRcp: e = "vec4(qv_rcp((" + s0 + ").w))"; break;
      case kOpRsq: e = "vec4(qv_rsq((" + s0 + ").w))"; break;
      case kOpMin: e = "min(" + s0 + ", " + s1 + ")"; break;
      case kOpMax: e = "max(" + s0 + ", " + s1 + ")"; break;
      case kOpSlt: e = "vec4(lessThan(" + s0 + ", " + s1 + "))"; break;
      case kOpSge: e = "vec4(greaterThanEqual(" + s0 + ", " + s1 + "))"; break;
      case kOpExp: e = "vec4(exp2((" + s0 + ").w))"; break;
      case kOpLog: e = "vec4(qv_log((" + s0 + ").w))"; break;
      case kOpExpP: e = "qv_expp((" + s0 + ").w)"; break;
      case kOpLogP: e = "qv_logp((" + s0 + ").w)"; break;
      case kOpLit: e = "qv_lit(" + s0 + ")"; break;
      case kOpDst:
        e = "vec4(1.0, (" + s0 + ").y * (" + s1 + ").y, (" + s0 + ").z, (" + s1 + ").w)";
        break;
      case kOpFrc: e = "fract(" + s0 + ")"; break;
      // One row per written component: m4x3 and m3x3 write xyz, m3x2 xy.
      case kOpM4x4: case kOpM4x3: case kOpM3x4: case kOpM3x3: case kOpM3x2: {
        const std::uint32_t rows = MatrixRows(in.opcode);
        e = MatrixExpr(in, static_cast<int>(rows), in.opcode == kOpM4x4 || in.opcode == kOpM4x3);
        maskLimit = (1u << rows) - 1;
        break;
      }
      default: e = "vec4(0.0)"; break;
    }
    // clang-format on
    if (in.dst.type == kRegAddrOrTexture) {
      // mov to a0.x rounds down to the integer below.
      o << "  a0 = int(floor((" << e << ").x));\n";
      continue;
    }
    const std::uint32_t mask = in.dst.mask & maskLimit;
    if (!mask) continue;
    const std::string m = GlslMask(mask);
    o << "  { vec4 q = " << e << "; " << RegName(in.dst.type, in.dst.num, false) << m << " = q" << m
      << "; }\n";
  }
  o << "  gl_Position = vec4(o_Pos.x, -o_Pos.y, o_Pos.z * 2.0 - o_Pos.w, o_Pos.w);\n"
       "  gl_Position.xy += qv_pixelAdjust * o_Pos.w;\n"
       "  qv_D0 = clamp(o_D0, 0.0, 1.0);\n"
       "  qv_D1 = clamp(o_D1, 0.0, 1.0);\n";
  for (int i = 0; i < 8; ++i) o << "  qv_T" << i << " = o_T" << i << ";\n";
  o << "  qv_Fog = o_Fog.x;\n}\n";
  return o.str();
}

}  // namespace qv::d3d8
