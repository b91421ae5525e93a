// ps.1.0-1.3 programs to GLSL 3.30 fragment shaders.
//
// Register ranges follow the caps: colour inputs are clamped to 0..1,
// constants to -1..1 (the device uploads them clamped), and every register
// write to +-kMaxPixelShaderValue. A write whose value provably lies in that
// range already (tracked per register from the sources' ranges) is not
// clamped: the clamp could not change it.
// The two halves of a co-issued pair are both computed before either writes.
// After the program the common tail applies alpha test, fog and the ordered
// dither of 16-bit targets, so those render states work the same for every
// pixel shader; only the stages the render states switch on are emitted.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

#include "platform/d3d8/d3d8_shader.h"

namespace qv::d3d8 {
namespace {

const char* kPsPrelude = R"(#version 330 core
in vec4 qv_D0;
in vec4 qv_D1;
in vec4 qv_T0;
in vec4 qv_T1;
in vec4 qv_T2;
in vec4 qv_T3;
in vec4 qv_T4;
in vec4 qv_T5;
in vec4 qv_T6;
in vec4 qv_T7;
in float qv_Fog;
uniform vec4 pc[8];
uniform sampler2D qv_s0;
uniform sampler2D qv_s1;
uniform sampler2D qv_s2;
uniform sampler2D qv_s3;
uniform mat2 qv_bumpMat[4];
uniform vec2 qv_bumpLum[4];
uniform vec3 qv_fogParams;   // start, end, density
uniform vec3 qv_fogColor;
uniform float qv_alphaRef;
uniform int qv_stage0Bound;  // used by the default pixel side only
uniform vec3 qv_ditherLevels;
const float qv_bayer[16] = float[16](0.0, 8.0, 2.0, 10.0, 12.0, 4.0, 14.0, 6.0,
                                     3.0, 11.0, 1.0, 9.0, 15.0, 7.0, 13.0, 5.0);
out vec4 qv_FragColor;
)";

// The common tail after the program's colour is known: alpha test, fog, the
// dither of a 16-bit target. Only the stages switched on are written out.
void EmitTail(std::ostringstream& o, const PixelTail& tail) {
  // clang-format off
  static const char* const kAlphaPass[] = {
      nullptr, "false", "qv_a < qv_alphaRef", "qv_a == qv_alphaRef", "qv_a <= qv_alphaRef",
      "qv_a > qv_alphaRef", "qv_a != qv_alphaRef", "qv_a >= qv_alphaRef"};
  static const char* const kFog[] = {
      nullptr,
      "(qv_fogParams.y - qv_Fog) / (qv_fogParams.y - qv_fogParams.x)",
      "exp(-qv_fogParams.z * qv_Fog)",
      "exp(-(qv_fogParams.z * qv_Fog) * (qv_fogParams.z * qv_Fog))",
      "qv_Fog"};
  // clang-format on
  if (tail.alphaFunc >= 1 && tail.alphaFunc <= 7) {
    o << "  float qv_a = floor(clamp(col.a, 0.0, 1.0) * 255.0 + 0.5);\n"
         "  if (!("
      << kAlphaPass[tail.alphaFunc] << ")) discard;\n";
  }
  if (tail.fogMode >= 1 && tail.fogMode <= 4) {
    o << "  float qv_f = clamp(" << kFog[tail.fogMode] << ", 0.0, 1.0);\n"
      << "  col.rgb = qv_f * col.rgb + (1.0 - qv_f) * qv_fogColor;\n";
  }
  if (tail.dither) {
    // The colour is quantised here (qv_ditherLevels: the largest value of
    // each channel), rounding down after adding a 4 x 4 Bayer threshold
    // between 0 and 1 step, so a gradient averages to its exact value, a
    // colour the target holds exactly stays exact, and the result does not
    // depend on how the GL implementation rounds to the target's width.
    o << "  ivec2 qv_p = ivec2(gl_FragCoord.xy) & 3;\n"
         "  float qv_t = (qv_bayer[qv_p.y * 4 + qv_p.x] + 0.5) / 16.0;\n"
         "  col.rgb = floor(clamp(col.rgb, 0.0, 1.0) * qv_ditherLevels + qv_t) / qv_ditherLevels;\n";
  }
  o << "  qv_FragColor = col;\n}\n";
}

// Bounds of the values a register (any of its components) can hold.
struct Range {
  float lo = 0.0f, hi = 0.0f;
};
constexpr float kUnbounded = std::numeric_limits<float>::infinity();

Range Union(Range a, Range b) { return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)}; }
Range Add(Range a, Range b) { return {a.lo + b.lo, a.hi + b.hi}; }
Range Mul(Range a, Range b) {
  const float p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  Range r{p[0], p[0]};
  for (float v : p) {
    // 0 x infinity: the bound is lost.
    if (std::isnan(v)) return {-kUnbounded, kUnbounded};
    r = Union(r, {v, v});
  }
  return r;
}
Range Scale(Range a, float k) { return Mul(a, {k, k}); }

// What each register may hold while the program runs.
struct Ranges {
  Range r[kMaxPixelTemps], t[kMaxPixelTextures];
  Range Of(std::uint32_t type, std::uint32_t num) const {
    if (type == kRegTemp && num < kMaxPixelTemps) return r[num];
    if (type == kRegAddrOrTexture && num < kMaxPixelTextures) return t[num];
    if (type == kRegInput) return {0.0f, 1.0f};
    if (type == kRegConst) return {-1.0f, 1.0f};
    return {-kUnbounded, kUnbounded};
  }
  Range* Slot(std::uint32_t type, std::uint32_t num) {
    if (type == kRegTemp && num < kMaxPixelTemps) return &r[num];
    if (type == kRegAddrOrTexture && num < kMaxPixelTextures) return &t[num];
    return nullptr;
  }
};

Range SrcRange(const Ranges& ranges, const SrcParam& s) {
  const Range x = ranges.Of(s.type, s.num);
  switch (s.mod) {
    case 1: return Scale(x, -1.0f);
    case 2: return Add(x, {-0.5f, -0.5f});
    case 3: return Add(Scale(x, -1.0f), {0.5f, 0.5f});
    case 4: return Add(Scale(x, 2.0f), {-1.0f, -1.0f});
    case 5: return Add(Scale(x, -2.0f), {1.0f, 1.0f});
    case 6: return Add(Scale(x, -1.0f), {1.0f, 1.0f});
    default: return x;
  }
}

// The range of an arithmetic instruction's value before its shift.
Range ArithRange(const Ranges& ranges, const Instruction& in) {
  const Range a = in.srcCount > 0 ? SrcRange(ranges, in.src[0]) : Range{};
  const Range b = in.srcCount > 1 ? SrcRange(ranges, in.src[1]) : Range{};
  const Range c = in.srcCount > 2 ? SrcRange(ranges, in.src[2]) : Range{};
  switch (in.opcode) {
    case kOpMov: return a;
    case kOpAdd: return Add(a, b);
    case kOpSub: return Add(a, Scale(b, -1.0f));
    case kOpMul: return Mul(a, b);
    case kOpMad: return Add(Mul(a, b), c);
    case kOpLrp: return Add(c, Mul(a, Add(b, Scale(c, -1.0f))));  // c + a (b - c)
    case kOpDp3: return Scale(Mul(a, b), 3.0f);
    case kOpDp4: return Scale(Mul(a, b), 4.0f);
    case kOpCnd: return Union(b, c);
    default: return {0.0f, 0.0f};
  }
}

// What a texture instruction leaves in its register: samples of the
// device's formats lie in -1..1 (signed formats included), texcoord in 0..1.
Range TexRange(std::uint32_t opcode) {
  switch (opcode) {
    case kOpTexCoord: return {0.0f, 1.0f};
    case kOpTex:
    case kOpTexBem:
    case kOpTexReg2AR:
    case kOpTexReg2GB:
    case kOpTexReg2RGB:
    case kOpTexM3x2Tex:
    case kOpTexM3x3Tex:
    case kOpTexM3x3Diff:
    case kOpTexM3x3Spec:
    case kOpTexM3x3VSpec: return {-1.0f, 1.0f};
    default: return {-kUnbounded, kUnbounded};
  }
}

std::string Reg(std::uint32_t type, std::uint32_t num) {
  char buf[16];
  const char* prefix = type == kRegTemp ? "r" : type == kRegInput ? "v" : type == kRegConst ? "c" : "t";
  std::snprintf(buf, sizeof buf, "%s%u", prefix, num);
  return buf;
}

std::string Src(const SrcParam& s) {
  std::string e = Reg(s.type, s.num) + GlslSwizzle(s.swizzle);
  switch (s.mod) {
    case 1: return "(-" + e + ")";
    case 2: return "(" + e + " - 0.5)";
    case 3: return "(0.5 - " + e + ")";
    case 4: return "(2.0 * " + e + " - 1.0)";
    case 5: return "(1.0 - 2.0 * " + e + ")";
    case 6: return "(1.0 - " + e + ")";
    default: return e;
  }
}

// A float as a GLSL literal. GLSL has no infinity literal: an infinity
// becomes the largest float of its sign, so a clamp still gives +-1; NaN is 0.
std::string Fmt(float f) {
  if (std::isnan(f)) return "0.0";
  if (std::isinf(f)) f = std::copysign(std::numeric_limits<float>::max(), f);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
  std::string s = buf;
  if (s.find_first_of(".eE") == std::string::npos) s += ".0";
  return s;
}

std::string ArithExpr(const Instruction& in) {
  const std::string s0 = in.srcCount > 0 ? Src(in.src[0]) : "";
  const std::string s1 = in.srcCount > 1 ? Src(in.src[1]) : "";
  const std::string s2 = in.srcCount > 2 ? Src(in.src[2]) : "";
  switch (in.opcode) {
    case kOpMov: return s0;
    case kOpAdd: return s0 + " + " + s1;
    case kOpSub: return s0 + " - " + s1;
    case kOpMul: return s0 + " * " + s1;
    case kOpMad: return s0 + " * " + s1 + " + " + s2;
    case kOpLrp: return "mix(" + s2 + ", " + s1 + ", " + s0 + ")";
    case kOpDp3: return "vec4(dot((" + s0 + ").xyz, (" + s1 + ").xyz))";
    case kOpDp4: return "vec4(dot(" + s0 + ", " + s1 + "))";
    case kOpCnd: return "mix(" + s2 + ", " + s1 + ", vec4(greaterThan(" + s0 + ", vec4(0.5))))";
    default: return "vec4(0.0)";
  }
}

// The shifted and clamped value; *range comes in as the value's range and
// leaves as the written one.
std::string ShiftAndClamp(const DstParam& d, const std::string& value, Range* range) {
  std::string e = value;
  float k = 1.0f;
  // clang-format off
  switch (d.shift) {
    case 1: e = "(" + e + ") * 2.0"; k = 2.0f; break;
    case 2: e = "(" + e + ") * 4.0"; k = 4.0f; break;
    case 3: e = "(" + e + ") * 8.0"; k = 8.0f; break;
    case 0xF: e = "(" + e + ") * 0.5"; k = 0.5f; break;
    case 0xE: e = "(" + e + ") * 0.25"; k = 0.25f; break;
    case 0xD: e = "(" + e + ") * 0.125"; k = 0.125f; break;
    default: break;
  }
  // clang-format on
  const Range r = Scale(*range, k);
  if (d.saturate) {
    *range = {0.0f, 1.0f};
    return "clamp(" + e + ", 0.0, 1.0)";
  }
  const float m = kMaxPixelShaderValue;
  *range = {std::max(r.lo, -m), std::min(r.hi, m)};
  if (r.lo >= -m && r.hi <= m) return e;
  return "clamp(" + e + ", -" + Fmt(m) + ", " + Fmt(m) + ")";
}

// Texture addressing: each writes the whole texture register.
void EmitTex(std::ostringstream& o, const Instruction& in, const ShaderProgram& ps, std::size_t idx) {
  const std::uint32_t n = in.dst.num;
  const std::string tn = "t" + std::to_string(n);
  const std::string tc = "qv_T" + std::to_string(n);
  const std::string sn = "qv_s" + std::to_string(n);
  const std::string src = in.srcCount > 0 ? "t" + std::to_string(in.src[0].num) : "";
  switch (in.opcode) {
    case kOpTex: o << "  " << tn << " = texture(" << sn << ", " << tc << ".xy);\n"; break;
    case kOpTexCoord: o << "  " << tn << " = vec4(clamp(" << tc << ".xyz, 0.0, 1.0), 1.0);\n"; break;
    case kOpTexKill: o << "  if (any(lessThan(" << tc << ".xyz, vec3(0.0)))) discard;\n"; break;
    case kOpTexBem:
    case kOpTexBemL:
      o << "  " << tn << " = texture(" << sn << ", " << tc << ".xy + qv_bumpMat[" << n << "] * " << src
        << ".xy);\n";
      if (in.opcode == kOpTexBemL)
        o << "  " << tn << ".rgb *= " << src << ".b * qv_bumpLum[" << n << "].x + qv_bumpLum[" << n
          << "].y;\n";
      break;
    case kOpTexReg2AR: o << "  " << tn << " = texture(" << sn << ", " << src << ".ar);\n"; break;
    case kOpTexReg2GB: o << "  " << tn << " = texture(" << sn << ", " << src << ".gb);\n"; break;
    case kOpTexReg2RGB: o << "  " << tn << " = texture(" << sn << ", " << src << ".rg);\n"; break;
    case kOpTexDp3: o << "  " << tn << " = vec4(dot(" << tc << ".xyz, " << src << ".xyz));\n"; break;
    case kOpTexM3x2Pad:
    case kOpTexM3x3Pad: o << "  float qv_m" << n << " = dot(" << tc << ".xyz, " << src << ".xyz);\n"; break;
    case kOpTexM3x2Tex:
      o << "  " << tn << " = texture(" << sn << ", vec2(qv_m" << n - 1 << ", dot(" << tc << ".xyz, " << src
        << ".xyz)));\n";
      break;
    case kOpTexM3x2Depth:
      o << "  { float z = qv_m" << n - 1 << "; float w = dot(" << tc << ".xyz, " << src
        << ".xyz); float d = w == 0.0 ? 1.0 : clamp(z / w, 0.0, 1.0); qv_depth = d; " << tn
        << " = vec4(d); }\n";
      break;
    case kOpTexM3x3Tex:
    case kOpTexM3x3Diff:
    case kOpTexM3x3Spec:
    case kOpTexM3x3VSpec: {
      // Only 2-D textures are offered, so the 3-D lookup vector's x and y
      // address the texture of this stage.
      o << "  { vec3 nrm = vec3(qv_m" << n - 2 << ", qv_m" << n - 1 << ", dot(" << tc << ".xyz, " << src
        << ".xyz));\n";
      if (in.opcode == kOpTexM3x3Spec || in.opcode == kOpTexM3x3VSpec) {
        if (in.opcode == kOpTexM3x3Spec)
          o << "    vec3 eye = clamp(pc[" << in.src[1].num << "].xyz, -1.0, 1.0);\n";
        else
          o << "    vec3 eye = vec3(qv_T" << n - 2 << ".w, qv_T" << n - 1 << ".w, " << tc << ".w);\n";
        o << "    float nn = dot(nrm, nrm);\n"
             "    nrm = nn == 0.0 ? -eye : 2.0 * nrm * dot(nrm, eye) / nn - eye;\n";
      }
      o << "    " << tn << " = texture(" << sn << ", nrm.xy); }\n";
      break;
    }
    default: break;
  }
  (void)ps;
  (void)idx;
}

}  // namespace

std::string TranslatePixelShader(const ShaderProgram& ps, const PixelTail& tail) {
  std::ostringstream o;
  o << kPsPrelude;
  bool usesDepth = false;
  for (const Instruction& in : ps.code)
    if (in.opcode == kOpTexM3x2Depth) usesDepth = true;
  o << "void main() {\n"
       "  vec4 v0 = clamp(qv_D0, 0.0, 1.0);\n"
       "  vec4 v1 = clamp(qv_D1, 0.0, 1.0);\n";
  for (std::uint32_t i = 0; i < kMaxPixelConstants; ++i) {
    const Instruction* def = nullptr;
    for (const Instruction& in : ps.code)
      if (in.opcode == kOpDef && in.dst.num == i) def = &in;
    if (def)
      o << "  vec4 c" << i << " = clamp(vec4(" << Fmt(def->def[0]) << ", " << Fmt(def->def[1]) << ", "
        << Fmt(def->def[2]) << ", " << Fmt(def->def[3]) << "), -1.0, 1.0);\n";
    else
      o << "  vec4 c" << i << " = pc[" << i << "];\n";
  }
  for (std::uint32_t i = 0; i < kMaxPixelTemps; ++i) o << "  vec4 r" << i << " = vec4(0.0);\n";
  for (std::uint32_t i = 0; i < kMaxPixelTextures; ++i) o << "  vec4 t" << i << " = vec4(0.0);\n";
  if (usesDepth) o << "  float qv_depth = gl_FragCoord.z;\n";
  const auto& code = ps.code;
  Ranges ranges;
  // Both halves of a pair read the ranges from before either writes.
  auto write = [&](Ranges& next, const DstParam& d, Range value) {
    if (Range* slot = next.Slot(d.type, d.num)) *slot = (d.mask & 0xF) == 0xF ? value : Union(*slot, value);
  };
  for (std::size_t i = 0; i < code.size(); ++i) {
    const Instruction& in = code[i];
    if (in.opcode == kOpDef || in.opcode == kOpNop) continue;
    if (in.opcode >= kOpTexCoord && in.opcode != kOpExpP && in.opcode != kOpLogP && in.opcode != kOpCnd) {
      EmitTex(o, in, ps, i);
      if (Range* slot = ranges.Slot(kRegAddrOrTexture, in.dst.num)) *slot = TexRange(in.opcode);
      continue;
    }
    // A pair: this instruction and a co-issued one right after it.
    const bool pair = i + 1 < code.size() && code[i + 1].coissue;
    const Instruction* second = pair ? &code[i + 1] : nullptr;
    Ranges next = ranges;
    Range ra = ArithRange(ranges, in);
    o << "  { vec4 qa = " << ShiftAndClamp(in.dst, ArithExpr(in), &ra) << ";\n";
    write(next, in.dst, ra);
    if (second) {
      Range rb = ArithRange(ranges, *second);
      o << "    vec4 qb = " << ShiftAndClamp(second->dst, ArithExpr(*second), &rb) << ";\n";
      write(next, second->dst, rb);
    }
    ranges = next;
    const std::string ma = GlslMask(in.dst.mask);
    o << "    " << Reg(in.dst.type, in.dst.num) << ma << " = qa" << ma << ";\n";
    if (second) {
      const std::string mb = GlslMask(second->dst.mask);
      o << "    " << Reg(second->dst.type, second->dst.num) << mb << " = qb" << mb << ";\n";
      ++i;
    }
    o << "  }\n";
  }
  if (usesDepth) o << "  gl_FragDepth = qv_depth;\n";
  o << "  vec4 col = r0;\n";
  // ps.1.0 texture-only programs leave their colour in r0 as well.
  EmitTail(o, tail);
  return o.str();
}

bool PixelAlphaIsOne(const ShaderProgram& ps, std::uint32_t opaqueStages) {
  // Per register: whether its alpha is exactly 1. Registers start at 0.
  bool r[kMaxPixelTemps] = {}, t[kMaxPixelTextures] = {}, c[kMaxPixelConstants] = {};
  auto slot = [&](std::uint32_t type, std::uint32_t num) -> bool* {
    if (type == kRegTemp && num < kMaxPixelTemps) return &r[num];
    if (type == kRegAddrOrTexture && num < kMaxPixelTextures) return &t[num];
    return nullptr;
  };
  // A source's alpha is the component its swizzle puts last; only an
  // unmodified alpha of 1 counts.
  auto one = [&](const SrcParam& s) {
    if (s.mod != 0 || s.relative || (s.swizzle >> 6) != 3) return false;
    if (s.type == kRegConst) return s.num < kMaxPixelConstants && c[s.num];
    const bool* v = slot(s.type, s.num);
    return v && *v;
  };
  for (const Instruction& in : ps.code)
    if (in.opcode == kOpDef && in.dst.num < kMaxPixelConstants) c[in.dst.num] = in.def[3] >= 1.0f;
  const auto& code = ps.code;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const Instruction& in = code[i];
    if (in.opcode == kOpDef || in.opcode == kOpNop) continue;
    if (in.opcode >= kOpTexCoord && in.opcode != kOpExpP && in.opcode != kOpLogP && in.opcode != kOpCnd) {
      bool* dst = slot(kRegAddrOrTexture, in.dst.num);
      if (!dst) return false;
      switch (in.opcode) {
        case kOpTexKill: break;  // writes nothing
        case kOpTexCoord: *dst = true; break;
        case kOpTex:
        case kOpTexBem:
        case kOpTexBemL:  // scales the colour only
        case kOpTexReg2AR:
        case kOpTexReg2GB:
        case kOpTexReg2RGB:
        case kOpTexM3x2Tex:
        case kOpTexM3x3Tex:
        case kOpTexM3x3Diff:
        case kOpTexM3x3Spec:
        case kOpTexM3x3VSpec: *dst = (opaqueStages >> in.dst.num & 1) != 0; break;
        default: *dst = false; break;  // a dot product, a depth, or not written
      }
      continue;
    }
    // Both halves of a co-issued pair read the registers from before either writes.
    const bool pair = i + 1 < code.size() && code[i + 1].coissue;
    bool nr[kMaxPixelTemps], nt[kMaxPixelTextures];
    std::copy(r, r + kMaxPixelTemps, nr);
    std::copy(t, t + kMaxPixelTextures, nt);
    for (const Instruction* op : {&in, pair ? &code[i + 1] : nullptr}) {
      if (!op || !(op->dst.mask & 8)) continue;
      bool value = false;
      if (op->dst.shift == 0) {
        switch (op->opcode) {
          case kOpMov: value = one(op->src[0]); break;
          case kOpMul: value = one(op->src[0]) && one(op->src[1]); break;
          case kOpCnd: value = one(op->src[1]) && one(op->src[2]); break;  // picks one of the two
          default: break;
        }
      }
      if (op->dst.type == kRegTemp && op->dst.num < kMaxPixelTemps)
        nr[op->dst.num] = value;
      else if (op->dst.type == kRegAddrOrTexture && op->dst.num < kMaxPixelTextures)
        nt[op->dst.num] = value;
    }
    std::copy(nr, nr + kMaxPixelTemps, r);
    std::copy(nt, nt + kMaxPixelTextures, t);
    if (pair) ++i;
  }
  return r[0];  // the colour the program leaves
}

std::string DefaultPixelShaderSource(const PixelTail& tail) {
  std::ostringstream o;
  o << kPsPrelude;
  o << "void main() {\n"
       "  vec4 col = clamp(qv_D0, 0.0, 1.0);\n"
       "  if (qv_stage0Bound != 0) {\n"
       "    vec4 t = texture(qv_s0, qv_T0.xy);\n"
       "    col = vec4(col.rgb * t.rgb, t.a);\n"
       "  }\n";
  EmitTail(o, tail);
  return o.str();
}

}  // namespace qv::d3d8
