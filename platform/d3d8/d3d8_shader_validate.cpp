// Decoding and validation of vs.1.x / ps.1.x token streams and of vertex
// declarations. The same decoded program feeds the GLSL translators, so a
// stream that passes here is one the translators can always handle.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>

#include "platform/d3d8/d3d8_shader.h"

namespace qv::d3d8 {
namespace {

struct ErrorEntry {
  ShaderError code;
  const char* text;
};
// One table for every message: the code's number prefixes the text.
const ErrorEntry s_errors[] = {
    {ShaderError::None, "no error"},
    {ShaderError::NullStream, "token stream is null"},
    {ShaderError::BadVersion, "first token is not a version token of this shader kind"},
    {ShaderError::UnsupportedVersion, "shader version is not supported by this device"},
    {ShaderError::MissingEnd, "token stream has no end token within the length limit"},
    {ShaderError::BadComment, "comment block runs past the end of the stream"},
    {ShaderError::UnknownOpcode, "unknown instruction opcode"},
    {ShaderError::OpcodeNotInVersion, "instruction is not available in this shader version"},
    {ShaderError::TruncatedInstruction, "instruction is missing parameter tokens"},
    {ShaderError::TooManyInstructions, "too many instructions"},
    {ShaderError::BadDestinationType, "invalid destination register type"},
    {ShaderError::BadSourceType, "invalid source register type"},
    {ShaderError::RegisterOutOfRange, "register number out of range"},
    {ShaderError::BadWriteMask, "invalid write mask"},
    {ShaderError::BadSwizzle, "invalid source swizzle"},
    {ShaderError::BadSourceModifier, "invalid source modifier"},
    {ShaderError::BadResultModifier, "invalid result shift or saturate"},
    {ShaderError::BadRelativeAddress, "relative addressing is only allowed on constant registers"},
    {ShaderError::TooManyConstantReads, "more than one constant register read by one instruction"},
    {ShaderError::TooManyInputReads, "more than one input register read by one instruction"},
    {ShaderError::NoPositionWritten, "vertex shader does not write oPos"},
    {ShaderError::TexAfterArithmetic, "texture instruction after an arithmetic instruction"},
    {ShaderError::TexRegisterOrder, "texture register used before it is defined or written twice"},
    {ShaderError::BadCoissue, "invalid co-issued instruction pair"},
    {ShaderError::BadCndSource, "cnd condition must be r0.a"},
    {ShaderError::BadMatrixSequence, "texm3x2/texm3x3 instructions out of sequence"},
    {ShaderError::BadDef, "def must name a constant register before any instruction"},
    {ShaderError::NullDeclaration, "vertex declaration is null"},
    {ShaderError::BadDeclarationToken, "invalid vertex declaration token"},
    {ShaderError::DeclarationTooLong, "vertex declaration has no end token within the length limit"},
    {ShaderError::DuplicateDeclarationRegister, "input register declared twice"},
};
static_assert(std::size(s_errors) == static_cast<std::size_t>(ShaderError::Count),
              "one message per shader error code");

std::string Message(ShaderError code, std::size_t token) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "Q%04u: %s (token %zu)", static_cast<unsigned>(code), ShaderErrorText(code),
                token);
  return buf;
}

enum Kind : std::uint8_t { kVs = 1, kPs = 2, kBoth = 3 };
struct OpInfo {
  std::uint32_t op;
  std::uint8_t kinds;
  std::uint8_t psMinMinor;  // first ps.1.x minor version that has it
  std::uint8_t srcCount;
  bool tex;           // a ps texture-addressing instruction
  std::uint8_t rows;  // matrix forms: registers read from the second source on
};
const OpInfo s_ops[] = {
    {kOpNop, kBoth, 0, 0, false, 0},       {kOpMov, kBoth, 0, 1, false, 0},
    {kOpAdd, kBoth, 0, 2, false, 0},       {kOpSub, kBoth, 0, 2, false, 0},
    {kOpMad, kBoth, 0, 3, false, 0},       {kOpMul, kBoth, 0, 2, false, 0},
    {kOpRcp, kVs, 0, 1, false, 0},         {kOpRsq, kVs, 0, 1, false, 0},
    {kOpDp3, kBoth, 0, 2, false, 0},       {kOpDp4, kBoth, 2, 2, false, 0},
    {kOpMin, kVs, 0, 2, false, 0},         {kOpMax, kVs, 0, 2, false, 0},
    {kOpSlt, kVs, 0, 2, false, 0},         {kOpSge, kVs, 0, 2, false, 0},
    {kOpExp, kVs, 0, 1, false, 0},         {kOpLog, kVs, 0, 1, false, 0},
    {kOpLit, kVs, 0, 1, false, 0},         {kOpDst, kVs, 0, 2, false, 0},
    {kOpLrp, kPs, 0, 3, false, 0},         {kOpFrc, kVs, 0, 1, false, 0},
    {kOpM4x4, kVs, 0, 2, false, 4},        {kOpM4x3, kVs, 0, 2, false, 3},
    {kOpM3x4, kVs, 0, 2, false, 4},        {kOpM3x3, kVs, 0, 2, false, 3},
    {kOpM3x2, kVs, 0, 2, false, 2},        {kOpTexCoord, kPs, 0, 0, true, 0},
    {kOpTexKill, kPs, 0, 0, true, 0},      {kOpTex, kPs, 0, 0, true, 0},
    {kOpTexBem, kPs, 0, 1, true, 0},       {kOpTexBemL, kPs, 0, 1, true, 0},
    {kOpTexReg2AR, kPs, 0, 1, true, 0},    {kOpTexReg2GB, kPs, 0, 1, true, 0},
    {kOpTexM3x2Pad, kPs, 0, 1, true, 0},   {kOpTexM3x2Tex, kPs, 0, 1, true, 0},
    {kOpTexM3x3Pad, kPs, 0, 1, true, 0},   {kOpTexM3x3Tex, kPs, 0, 1, true, 0},
    {kOpTexM3x3Diff, kPs, 0, 1, true, 0},  {kOpTexM3x3Spec, kPs, 0, 2, true, 0},
    {kOpTexM3x3VSpec, kPs, 0, 1, true, 0}, {kOpExpP, kVs, 0, 1, false, 0},
    {kOpLogP, kVs, 0, 1, false, 0},        {kOpCnd, kPs, 0, 3, false, 0},
    {kOpTexM3x2Depth, kPs, 3, 1, true, 0}, {kOpTexDp3, kPs, 2, 1, true, 0},
    {kOpTexReg2RGB, kPs, 2, 1, true, 0},
};

const OpInfo* FindOp(std::uint32_t op) {
  for (const OpInfo& info : s_ops)
    if (info.op == op) return &info;
  return nullptr;
}

DstParam DecodeDst(DWORD t) {
  DstParam d;
  d.type = (t >> 28) & 7;
  d.num = t & 0xFFF;
  d.mask = (t >> 16) & 0xF;
  d.saturate = (t >> 20) & 1;
  d.shift = (t >> 24) & 0xF;
  return d;
}

SrcParam DecodeSrc(DWORD t) {
  SrcParam s;
  s.type = (t >> 28) & 7;
  s.num = t & 0xFFF;
  s.relative = (t >> 13) & 1;
  s.swizzle = (t >> 16) & 0xFF;
  s.mod = (t >> 24) & 0xF;
  return s;
}

// Bits of a parameter token that carry nothing in these versions.
bool ReservedBitsClear(DWORD t, bool dst) {
  if (!(t & 0x80000000u)) return false;
  if (dst) return (t & 0x00E0F000u) == 0;
  return (t & 0x0000D000u) == 0;
}

class Checker {
 public:
  Checker(bool pixel, std::uint32_t minor) : m_pixel(pixel), m_minor(minor) {}

  ShaderError CheckDst(const Instruction& in) const {
    const DstParam& d = in.dst;
    if (!m_pixel) {
      if (d.saturate || d.shift) return ShaderError::BadResultModifier;
      switch (d.type) {
        case kRegTemp: return d.num < kMaxVertexTemps ? ShaderError::None : ShaderError::RegisterOutOfRange;
        case kRegAddrOrTexture:
          if (d.num != 0) return ShaderError::RegisterOutOfRange;
          if (in.opcode != kOpMov) return ShaderError::BadDestinationType;
          return d.mask == 1 ? ShaderError::None : ShaderError::BadWriteMask;
        case kRegRastOut:
          if (d.num > 2) return ShaderError::RegisterOutOfRange;
          if (d.num == 0 && d.mask == 0) return ShaderError::BadWriteMask;
          return ShaderError::None;
        case kRegAttrOut: return d.num < 2 ? ShaderError::None : ShaderError::RegisterOutOfRange;
        case kRegTexCrdOut: return d.num < 8 ? ShaderError::None : ShaderError::RegisterOutOfRange;
        default: return ShaderError::BadDestinationType;
      }
    }
    if (d.shift != 0 && d.shift != 1 && d.shift != 2 && d.shift != 0xF) return ShaderError::BadResultModifier;
    if (d.type == kRegTemp) {
      if (d.num >= kMaxPixelTemps) return ShaderError::RegisterOutOfRange;
    } else if (d.type == kRegAddrOrTexture) {
      if (d.num >= kMaxPixelTextures) return ShaderError::RegisterOutOfRange;
    } else {
      return ShaderError::BadDestinationType;
    }
    if (d.mask != 0xF && d.mask != 0x7 && d.mask != 0x8) return ShaderError::BadWriteMask;
    return ShaderError::None;
  }

  ShaderError CheckSrc(const SrcParam& s) const {
    if (!m_pixel) {
      if (s.mod > 1) return ShaderError::BadSourceModifier;
      if (s.relative && s.type != kRegConst) return ShaderError::BadRelativeAddress;
      switch (s.type) {
        case kRegTemp: return s.num < kMaxVertexTemps ? ShaderError::None : ShaderError::RegisterOutOfRange;
        case kRegInput: return s.num < kMaxVertexInputs ? ShaderError::None : ShaderError::RegisterOutOfRange;
        case kRegConst:
          // A relative read is checked at run time (out of range reads 0).
          return s.relative || s.num < kMaxVertexConstants ? ShaderError::None
                                                           : ShaderError::RegisterOutOfRange;
        default: return ShaderError::BadSourceType;
      }
    }
    if (s.relative) return ShaderError::BadRelativeAddress;
    if (s.mod > 6) return ShaderError::BadSourceModifier;
    const bool replicate = s.swizzle == 0xFF || (s.swizzle == 0xAA && m_minor >= 1);
    if (s.swizzle != 0xE4 && !replicate) return ShaderError::BadSwizzle;
    switch (s.type) {
      case kRegTemp: return s.num < kMaxPixelTemps ? ShaderError::None : ShaderError::RegisterOutOfRange;
      case kRegInput: return s.num < 2 ? ShaderError::None : ShaderError::RegisterOutOfRange;
      case kRegConst: return s.num < kMaxPixelConstants ? ShaderError::None : ShaderError::RegisterOutOfRange;
      case kRegAddrOrTexture:
        return s.num < kMaxPixelTextures ? ShaderError::None : ShaderError::RegisterOutOfRange;
      default: return ShaderError::BadSourceType;
    }
  }

 private:
  bool m_pixel;
  std::uint32_t m_minor;
};

// Per-program rules of ps.1.x: texture instructions first, each texture
// register defined once, matrix instructions in their fixed sequences,
// co-issue only as an rgb/alpha pair, cnd only on r0.a, instruction counts.
ShaderError CheckPixelProgram(const ShaderProgram& p, std::size_t& where) {
  bool arithSeen = false, defsDone = false;
  unsigned texCount = 0, arithCount = 0;
  bool texDefined[kMaxPixelTextures] = {};
  int pendingPad = 0;  // texm3x2pad/texm3x3pad still to follow
  std::uint32_t padOp = 0, padNext = 0;
  for (std::size_t i = 0; i < p.code.size(); ++i) {
    where = i;
    const Instruction& in = p.code[i];
    const OpInfo* info = FindOp(in.opcode);
    if (in.opcode == kOpDef) {
      if (defsDone) return ShaderError::BadDef;
      continue;
    }
    defsDone = true;
    if (pendingPad) {
      const bool ok = (in.opcode == padOp || (pendingPad == 1 && in.opcode == padNext) ||
                       (pendingPad == 1 && padOp == kOpTexM3x3Pad &&
                        (in.opcode == kOpTexM3x3Tex || in.opcode == kOpTexM3x3Spec ||
                         in.opcode == kOpTexM3x3VSpec || in.opcode == kOpTexM3x3Diff)) ||
                       (pendingPad == 1 && padOp == kOpTexM3x2Pad &&
                        (in.opcode == kOpTexM3x2Tex || in.opcode == kOpTexM3x2Depth)));
      if (!ok) return ShaderError::BadMatrixSequence;
    }
    if (info && info->tex) {
      if (arithSeen) return ShaderError::TexAfterArithmetic;
      if (++texCount > kMaxPixelTexInstructions) return ShaderError::TooManyInstructions;
      const std::uint32_t n = in.dst.num;
      if (in.dst.type != kRegAddrOrTexture) return ShaderError::BadDestinationType;
      if (in.dst.mask != 0xF || in.dst.saturate || in.dst.shift) return ShaderError::BadResultModifier;
      if (texDefined[n]) return ShaderError::TexRegisterOrder;
      for (int s = 0; s < in.srcCount; ++s) {
        const SrcParam& src = in.src[s];
        if (in.opcode == kOpTexM3x3Spec && s == 1) {
          if (src.type != kRegConst) return ShaderError::BadSourceType;
          continue;
        }
        if (src.type != kRegAddrOrTexture || src.num >= n || !texDefined[src.num])
          return ShaderError::TexRegisterOrder;
        if (src.mod != 0 || src.swizzle != 0xE4) return ShaderError::BadSourceModifier;
      }
      if (in.opcode != kOpTexKill) texDefined[n] = true;
      // Matrix sequences use consecutive registers.
      if (in.opcode == kOpTexM3x2Pad || in.opcode == kOpTexM3x3Pad) {
        if (!pendingPad) {
          padOp = in.opcode;
          pendingPad = in.opcode == kOpTexM3x2Pad ? 1 : 2;
          padNext = in.opcode == kOpTexM3x2Pad ? kOpTexM3x2Tex : kOpTexM3x3Tex;
        } else {
          --pendingPad;
          if (p.code[i - 1].dst.num + 1 != n) return ShaderError::BadMatrixSequence;
        }
      } else if (pendingPad) {
        if (p.code[i - 1].dst.num + 1 != n || in.src[0].num != p.code[i - 1].src[0].num)
          return ShaderError::BadMatrixSequence;
        pendingPad = 0;
      } else if (in.opcode == kOpTexM3x2Tex || in.opcode == kOpTexM3x2Depth || in.opcode == kOpTexM3x3Tex ||
                 in.opcode == kOpTexM3x3Spec || in.opcode == kOpTexM3x3VSpec || in.opcode == kOpTexM3x3Diff) {
        return ShaderError::BadMatrixSequence;
      }
      continue;
    }
    if (pendingPad) return ShaderError::BadMatrixSequence;
    if (in.opcode == kOpNop) continue;
    arithSeen = true;
    if (in.coissue) {
      const Instruction* prev = i > 0 ? &p.code[i - 1] : nullptr;
      const OpInfo* pinfo = prev ? FindOp(prev->opcode) : nullptr;
      if (!prev || prev->coissue || !pinfo || pinfo->tex || prev->opcode == kOpDef || prev->opcode == kOpNop)
        return ShaderError::BadCoissue;
      const bool split =
          (prev->dst.mask == 0x7 && in.dst.mask == 0x8) || (prev->dst.mask == 0x8 && in.dst.mask == 0x7);
      if (!split) return ShaderError::BadCoissue;
    } else if (++arithCount > kMaxPixelArithInstructions) {
      return ShaderError::TooManyInstructions;
    }
    if (in.opcode == kOpCnd) {
      const SrcParam& c = in.src[0];
      if (c.type != kRegTemp || c.num != 0 || c.swizzle != 0xFF) return ShaderError::BadCndSource;
    }
    if (in.dst.type == kRegAddrOrTexture) texDefined[in.dst.num] = true;
  }
  if (pendingPad) return ShaderError::BadMatrixSequence;
  return ShaderError::None;
}

ShaderError CheckVertexProgram(const ShaderProgram& p, std::size_t& where) {
  bool wrotePos = false;
  std::size_t slots = 0;
  for (std::size_t i = 0; i < p.code.size(); ++i) {
    where = i;
    const Instruction& in = p.code[i];
    // A matrix form takes one slot per row.
    const std::uint32_t rows = MatrixRows(in.opcode);
    slots += rows ? rows : 1;
    if (slots > kMaxVertexInstructions) return ShaderError::TooManyInstructions;
    if (in.hasDst && in.dst.type == kRegRastOut && in.dst.num == 0) wrotePos = true;
    // One constant and one input register per instruction (the same register
    // may be read more than once).
    int constSeen = -1, inputSeen = -1;
    for (int s = 0; s < in.srcCount; ++s) {
      const SrcParam& src = in.src[s];
      const int id = static_cast<int>(src.num) | (src.relative ? 0x10000 : 0);
      if (src.type == kRegConst) {
        if (constSeen >= 0 && constSeen != id) return ShaderError::TooManyConstantReads;
        constSeen = id;
      } else if (src.type == kRegInput) {
        if (inputSeen >= 0 && inputSeen != id) return ShaderError::TooManyInputReads;
        inputSeen = id;
      }
    }
    // Matrix forms read the rows after the named register; a relative
    // constant is checked at run time.
    if (rows && !in.src[1].relative) {
      const SrcParam& m = in.src[1];
      const std::uint32_t limit = m.type == kRegConst  ? kMaxVertexConstants
                                  : m.type == kRegTemp ? kMaxVertexTemps
                                                       : kMaxVertexInputs;
      if (m.num + rows > limit) return ShaderError::RegisterOutOfRange;
    }
  }
  if (!wrotePos) return ShaderError::NoPositionWritten;
  return ShaderError::None;
}

}  // namespace

std::uint32_t MatrixRows(std::uint32_t opcode) {
  const OpInfo* info = FindOp(opcode);
  return info ? info->rows : 0;
}

const char* ShaderErrorText(ShaderError code) {
  const auto i = static_cast<std::size_t>(code);
  return i < std::size(s_errors) ? s_errors[i].text : "unknown error";
}

bool ParseShader(const DWORD* tokens, bool pixel, ShaderProgram& out, std::string& error) {
  out = ShaderProgram{};
  out.pixel = pixel;
  if (!tokens) {
    error = Message(ShaderError::NullStream, 0);
    return false;
  }
  const DWORD version = tokens[0];
  const DWORD expect = pixel ? 0xFFFF0000u : 0xFFFE0000u;
  if ((version & 0xFFFF0000u) != expect) {
    error = Message(ShaderError::BadVersion, 0);
    return false;
  }
  out.major = (version >> 8) & 0xFF;
  out.minor = version & 0xFF;
  const bool supported = out.major == 1 && (pixel ? out.minor <= 3 : out.minor <= 1);
  if (!supported) {
    error = Message(ShaderError::UnsupportedVersion, 0);
    return false;
  }
  Checker checker(pixel, out.minor);
  // Instruction tokens are only read while fewer than kMaxShaderTokens of
  // them have been; comments are skipped unread and have a budget of their
  // own. A stream without its end token within the limits is refused before
  // anything past them is read.
  std::size_t i = 1;
  std::size_t commentWords = 0;
  // True when `words` more instruction tokens stay within the limit.
  auto fits = [&](std::size_t words) { return i - commentWords + words < kMaxShaderTokens; };
  auto fail = [&](ShaderError e, std::size_t at) {
    error = Message(e, at);
    out.code.clear();
    return false;
  };
  for (;;) {
    if (!fits(0)) return fail(ShaderError::MissingEnd, i);
    const DWORD t = tokens[i];
    if (t == 0x0000FFFFu) break;
    const std::size_t at = i;
    if ((t & 0xFFFFu) == 0xFFFEu) {  // comment: length in bits 16-30
      const std::size_t len = (t >> 16) & 0x7FFF;
      if (commentWords + 1 + len > kMaxShaderCommentTokens) return fail(ShaderError::BadComment, at);
      commentWords += 1 + len;
      i += 1 + len;
      continue;
    }
    const std::uint32_t op = t & 0xFFFF;
    if (op == kOpDef) {
      if (!pixel) return fail(ShaderError::OpcodeNotInVersion, at);
      if (!fits(6)) return fail(ShaderError::MissingEnd, at);
      Instruction in;
      in.opcode = kOpDef;
      in.hasDst = true;
      if (!ReservedBitsClear(tokens[i + 1], true)) return fail(ShaderError::TruncatedInstruction, at);
      in.dst = DecodeDst(tokens[i + 1]);
      if (in.dst.type != kRegConst || in.dst.num >= kMaxPixelConstants) return fail(ShaderError::BadDef, at);
      for (int k = 0; k < 4; ++k) std::memcpy(&in.def[k], &tokens[i + 2 + k], 4);
      out.code.push_back(in);
      i += 6;
      continue;
    }
    const OpInfo* info = FindOp(op);
    if (!info || (t & 0xBFFF0000u) != 0) return fail(ShaderError::UnknownOpcode, at);
    if (!(info->kinds & (pixel ? kPs : kVs))) return fail(ShaderError::OpcodeNotInVersion, at);
    if (pixel && out.minor < info->psMinMinor) return fail(ShaderError::OpcodeNotInVersion, at);
    Instruction in;
    in.opcode = op;
    in.coissue = (t & 0x40000000u) != 0;
    if (in.coissue && !pixel) return fail(ShaderError::BadCoissue, at);
    in.hasDst = op != kOpNop;
    in.srcCount = info->srcCount;
    const std::size_t words = (in.hasDst ? 1 : 0) + in.srcCount;
    if (!fits(words)) return fail(ShaderError::MissingEnd, at);
    std::size_t k = i + 1;
    if (in.hasDst) {
      if (!ReservedBitsClear(tokens[k], true)) return fail(ShaderError::TruncatedInstruction, at);
      in.dst = DecodeDst(tokens[k++]);
      if (in.dst.mask == 0) return fail(ShaderError::BadWriteMask, at);
      const bool texOp = info->tex;
      if (!texOp) {
        const ShaderError e = checker.CheckDst(in);
        if (e != ShaderError::None) return fail(e, at);
      } else if (in.dst.num >= kMaxPixelTextures) {
        return fail(ShaderError::RegisterOutOfRange, at);
      }
    }
    for (int s = 0; s < in.srcCount; ++s) {
      if (!ReservedBitsClear(tokens[k], false)) return fail(ShaderError::TruncatedInstruction, at);
      in.src[s] = DecodeSrc(tokens[k++]);
      if (info->tex && !(in.opcode == kOpTexM3x3Spec && s == 1)) {
        if (in.src[s].num >= kMaxPixelTextures) return fail(ShaderError::RegisterOutOfRange, at);
        continue;
      }
      const ShaderError e = checker.CheckSrc(in.src[s]);
      if (e != ShaderError::None) return fail(e, at);
    }
    out.code.push_back(in);
    i = k;
  }
  std::size_t where = 0;
  const ShaderError e = pixel ? CheckPixelProgram(out, where) : CheckVertexProgram(out, where);
  if (e != ShaderError::None) {
    // Report the instruction index when the error is about the program's shape.
    char buf[256];
    std::snprintf(buf, sizeof buf, "Q%04u: %s (instruction %zu)", static_cast<unsigned>(e),
                  ShaderErrorText(e), where);
    error = buf;
    out.code.clear();
    return false;
  }
  return true;
}

std::uint32_t DeclTypeSize(std::uint32_t type) {
  switch (type) {
    case D3DVSDT_FLOAT1: return 4;
    case D3DVSDT_FLOAT2: return 8;
    case D3DVSDT_FLOAT3: return 12;
    case D3DVSDT_FLOAT4: return 16;
    case D3DVSDT_D3DCOLOR: return 4;
    case D3DVSDT_UBYTE4: return 4;
    case D3DVSDT_SHORT2: return 4;
    case D3DVSDT_SHORT4: return 8;
    default: return 0;
  }
}

bool ParseDeclaration(const DWORD* tokens, VertexDeclaration& out, std::string& error) {
  out = VertexDeclaration{};
  if (!tokens) {
    error = Message(ShaderError::NullDeclaration, 0);
    return false;
  }
  std::uint32_t stream = 0;
  std::uint32_t offset = 0;
  std::set<std::uint32_t> regs;
  std::size_t i = 0;
  auto fail = [&](ShaderError e) {
    error = Message(e, i);
    out = VertexDeclaration{};
    return false;
  };
  for (;;) {
    if (i >= kMaxDeclarationTokens) return fail(ShaderError::DeclarationTooLong);
    const DWORD t = tokens[i];
    if (t == D3DVSD_END()) break;
    switch (t >> D3DVSD_TOKENTYPESHIFT) {
      case D3DVSD_TOKEN_NOP:
        if (t != 0) return fail(ShaderError::BadDeclarationToken);
        ++i;
        break;
      case D3DVSD_TOKEN_STREAM:
        if (t & 0x1FFFFFF0u) return fail(ShaderError::BadDeclarationToken);  // tessellator streams
        stream = t & 0xF;
        if (stream >= kMaxStreams) return fail(ShaderError::BadDeclarationToken);
        offset = 0;
        ++i;
        break;
      case D3DVSD_TOKEN_STREAMDATA:
        if (t & 0x10000000u) {  // skip: a count of DWORDs in bits 16-19
          offset += ((t >> 16) & 0xF) * 4;
        } else {
          const std::uint32_t reg = t & 0x1F;
          const std::uint32_t type = (t >> 16) & 0xF;
          if ((t & 0x0FF0FFE0u) || reg >= kMaxVertexInputs || DeclTypeSize(type) == 0)
            return fail(ShaderError::BadDeclarationToken);
          if (!regs.insert(reg).second) return fail(ShaderError::DuplicateDeclarationRegister);
          out.elements.push_back({stream, reg, type, offset});
          offset += DeclTypeSize(type);
        }
        ++i;
        break;
      case D3DVSD_TOKEN_CONSTMEM: {
        const std::uint32_t count = (t >> 25) & 0xF;
        const std::uint32_t first = t & 0x7F;
        // Bits 7-24 are not part of the address: a register of 128 or more
        // must not wrap onto a low one.
        if ((t & 0x01FFFF80u) || first + count > kMaxVertexConstants ||
            i + 1 + 4 * count >= kMaxDeclarationTokens)
          return fail(ShaderError::BadDeclarationToken);
        for (std::uint32_t r = 0; r < count; ++r) {
          DeclConstant c;
          c.reg = first + r;
          std::memcpy(c.value.data(), &tokens[i + 1 + 4 * r], 16);
          out.constants.push_back(c);
        }
        i += 1 + 4 * count;
        break;
      }
      case D3DVSD_TOKEN_EXT: {
        const std::uint32_t count = (t >> 24) & 0x1F;
        i += 1 + count;
        break;
      }
      default: return fail(ShaderError::BadDeclarationToken);
    }
  }
  return true;
}

}  // namespace qv::d3d8
