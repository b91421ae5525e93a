// The parser's reduction actions: decoding registers, masks and swizzles,
// checking operands, and emitting tokens.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "shader_asm/asm_context.h"

namespace qvasm {

namespace {

constexpr DWORD kParamBit = 0x80000000u;
constexpr DWORD kCoissueBit = 0x40000000u;
constexpr DWORD kRelativeBit = 0x00002000u;
constexpr DWORD kIdentitySwizzle = 0xE4;
constexpr DWORD kAlphaSwizzle = 0xFF;
constexpr DWORD kOpAdd = 2;
constexpr DWORD kOpSub = 3;
constexpr DWORD kOpDef = 81;
constexpr DWORD kDeclConstOne = 0x82000000u;  // one constant register in a declaration

DWORD CommentToken(DWORD words) { return 0x0000FFFEu | (words << 16); }

constexpr DWORD FourCC(char a, char b, char c, char d) {
  return DWORD(std::uint8_t(a)) | DWORD(std::uint8_t(b)) << 8 | DWORD(std::uint8_t(c)) << 16 |
         DWORD(std::uint8_t(d)) << 24;
}

struct RegName {
  const char* name;
  std::uint8_t type;
  std::uint32_t limit;  // numbers below this are valid
  int fixedNumber;      // >= 0: the name takes no digits and means this number
  bool indexable;       // may be written name[index]
};

const RegName s_vertexRegs[] = {
    {"v", kRegInput, 16, -1, false},
    {"r", kRegTemp, 12, -1, false},
    // Constant numbers that do not fit a token's 12 bits are refused, not cut.
    {"c", kRegConst, kMaxRegisterNumber + 1, -1, true},
    {"a", kRegAddrOrTexture, 1, -1, false},
    {"oPos", kRegRastOut, 0, 0, false},
    {"oFog", kRegRastOut, 0, 1, false},
    {"oPts", kRegRastOut, 0, 2, false},
    {"oD", kRegAttrOut, 2, -1, false},
    {"oT", kRegTexCrdOut, 8, -1, false},
};

const RegName s_pixelRegs[] = {
    {"v", kRegInput, 8, -1, false},
    {"r", kRegTemp, 8, -1, false},
    {"c", kRegConst, 16, -1, true},
    {"t", kRegAddrOrTexture, 8, -1, false},
};

const RegName* FindRegName(ShaderKind kind, const char* s, std::size_t n) {
  const RegName* begin = kind == ShaderKind::Pixel ? s_pixelRegs : s_vertexRegs;
  const std::size_t count = kind == ShaderKind::Pixel ? std::size(s_pixelRegs) : std::size(s_vertexRegs);
  for (std::size_t i = 0; i < count; ++i) {
    if (std::strlen(begin[i].name) == n && std::memcmp(begin[i].name, s, n) == 0) return &begin[i];
  }
  return nullptr;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Component of a mask or swizzle letter: x/r 0, y/g 1, z/b 2, w/a 3.
int Component(char c) {
  switch (c) {
    case 'x':
    case 'r': return 0;
    case 'y':
    case 'g': return 1;
    case 'z':
    case 'b': return 2;
    case 'w':
    case 'a': return 3;
    default: return -1;
  }
}

// Write mask: one to four components in strictly increasing order.
bool ParseMask(const Context& ctx, const Span& span, DWORD* mask) {
  if (span.truncated || span.length < 1 || span.length > 4) return false;
  int previous = -1;
  DWORD bits = 0;
  for (std::uint32_t i = 0; i < span.length; ++i) {
    int c = Component(ctx.src[span.offset + i]);
    if (c <= previous) return false;
    bits |= 1u << c;
    previous = c;
  }
  *mask = bits;
  return true;
}

// Swizzle: one to four components in any order; a short one repeats its last.
bool ParseSwizzle(const Context& ctx, const Span& span, DWORD* swizzle) {
  if (span.truncated || span.length < 1 || span.length > 4) return false;
  DWORD bits = 0;
  int c = 0;
  for (std::uint32_t i = 0; i < 4; ++i) {
    if (i < span.length) {
      c = Component(ctx.src[span.offset + i]);
      if (c < 0) return false;
    }
    bits |= DWORD(c) << (2 * i);
  }
  *swizzle = bits;
  return true;
}

// Reports a register that did not decode; false when it is unusable.
bool CheckRegister(Context& ctx, const AsmValue& reg) {
  const std::string name = SpanText(ctx, reg.name);
  switch (reg.status) {
    case RegStatus::Ok: return true;
    case RegStatus::BadName: Report(ctx, "invalid register '%s'", name.c_str()); return false;
    case RegStatus::BadIndexed:
      Report(ctx, "invalid register '%s[%d]'", name.c_str(), int(reg.indexSum));
      return false;
    case RegStatus::BadRelative:
      Report(ctx, "invalid register '%s[a0.x + %d]'", name.c_str(), int(reg.indexSum));
      return false;
    case RegStatus::Reported: return false;
  }
  return false;
}

void EmitComment(Context& ctx, DWORD tag, const char* data, std::size_t size) {
  // A comment holds at most 0x7FFF words: the tag and the text with a
  // terminating zero. Longer texts are spread over several blocks.
  constexpr std::size_t kMaxBytes = (0x7FFF - 1) * 4;
  std::size_t done = 0;
  do {
    std::size_t chunk = size - done;
    bool last = chunk < kMaxBytes;  // room left for the terminating zero
    if (!last) chunk = kMaxBytes;
    const std::size_t bytes = chunk + (last ? 1 : 0);
    const DWORD words = DWORD((bytes + 3) / 4);
    if (!Push(ctx, ctx.code, CommentToken(words + 1)) || !Push(ctx, ctx.code, tag)) return;
    for (DWORD w = 0; w < words; ++w) {
      DWORD word = 0;
      for (int b = 0; b < 4; ++b) {
        std::size_t i = std::size_t(w) * 4 + std::size_t(b);
        if (i < chunk) word |= DWORD(std::uint8_t(data[done + i])) << (8 * b);
      }
      if (!Push(ctx, ctx.code, word)) return;
    }
    done += chunk;
    if (last) break;
  } while (true);
}

}  // namespace

std::size_t g_asmMaxStreamWords = kMaxStreamWords;

// One zero byte that ends the text is the caller's terminator, not text.
Context::Context(const char* source, std::uint32_t length, bool debugInfo)
    : src(source), len(length > 0 && source[length - 1] == '\0' ? length - 1 : length), debug(debugInfo) {}

void Report(Context& ctx, const char* format, ...) {
  ctx.error = true;
  ++ctx.errorCount;
  if (ctx.errorLines.size() >= kMaxErrorLines) return;
  char message[kMaxName + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  char line[3 * kMaxName + 64];
  std::snprintf(line, sizeof line, "%.255s(%d) : (Assembly Error) %s", ctx.file.c_str(), ctx.keywordLine,
                message);
  ctx.errorLines.emplace_back(line);
}

bool Push(Context& ctx, std::vector<DWORD>& stream, DWORD word) {
  bool grown = false;
  if (stream.size() < g_asmMaxStreamWords) {
    try {
      stream.push_back(word);
      grown = true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (!grown && !ctx.streamFullReported) {
    ctx.streamFullReported = true;
    Report(ctx, "Internal assembler error! %d", kStreamFullCode);
  }
  if (!grown) ctx.error = true;
  return grown;
}

void SetVersion(Context& ctx, ShaderKind kind, std::uint32_t major, std::uint32_t minor) {
  ctx.kind = kind;
  ctx.versionRead = true;
  if (major > 255 || minor > 255) {
    Report(ctx, "invalid version");
    major &= 0xFF;
    minor &= 0xFF;
  }
  ctx.version = (kind == ShaderKind::Vertex ? 0xFFFE0000u : 0xFFFF0000u) | major << 8 | minor;
  // Debug information starts the instruction stream with the whole text,
  // unless a "#line" has named the file it came from.
  if (ctx.debug && ctx.file.empty()) EmitComment(ctx, FourCC('T', 'E', 'X', 'T'), ctx.src, ctx.len);
}

AsmValue Keyword(const AsmValue& keyword, bool coissue) {
  AsmValue v = keyword;
  v.coissue = coissue;
  return v;
}

// A register written as one identifier: letters, a number (none for oPos,
// oFog and oPts) and, in pixel shaders, an optional "_bias", "_bx2" or "_sgn".
AsmValue PlainRegister(Context& ctx, const AsmValue& ident) {
  AsmValue v = ident;
  v.name = ident.text;
  v.status = RegStatus::BadName;
  v.indexed = false;
  v.relative = false;
  v.hasSelector = false;
  if (ident.text.truncated) return v;

  const char* s = ctx.src + ident.text.offset;
  const std::size_t n = ident.text.length;
  std::size_t i = 0;
  while (i < n && IsLetter(s[i])) ++i;
  const RegName* reg = FindRegName(ctx.kind, s, i);
  if (!reg) return v;
  const std::size_t digitsStart = i;
  std::uint64_t number = 0;
  while (i < n && IsDigit(s[i])) {
    number = number * 10 + std::uint64_t(s[i] - '0');
    if (number > 0xFFFFFFFFu) number = 0xFFFFFFFFu;
    ++i;
  }
  const bool hasDigits = i > digitsStart;
  std::uint8_t modifier = kModNone;
  const char* rest = s + i;
  const std::size_t restLen = n - i;
  if (restLen != 0) {
    if (ctx.kind != ShaderKind::Pixel) return v;
    if (restLen == 5 && std::memcmp(rest, "_bias", 5) == 0)
      modifier = kModBias;
    else if (restLen == 4 && std::memcmp(rest, "_bx2", 4) == 0)
      modifier = kModSign;
    else if (restLen == 4 && std::memcmp(rest, "_sgn", 4) == 0)
      modifier = kModSign;
    else
      return v;
  }
  if (reg->fixedNumber >= 0) {
    if (hasDigits) return v;
    number = std::uint32_t(reg->fixedNumber);
  } else if (!hasDigits || number >= reg->limit) {
    return v;
  }
  v.status = RegStatus::Ok;
  v.type = reg->type;
  v.number = std::uint32_t(number);
  v.modifier = modifier;
  return v;
}

// name[index]: only constant registers may be indexed, in vertex shaders also
// relative to a0.x, in pixel shaders by integers only.
AsmValue IndexedRegister(Context& ctx, const AsmValue& ident, const AsmValue& index) {
  AsmValue v = ident;
  v.name = ident.text;
  v.indexed = true;
  v.hasSelector = false;
  v.relative = index.a0Count > 0;
  v.indexSum = index.indexSum;
  v.modifier = kModNone;
  if (index.indexBad) {
    v.status = RegStatus::Reported;
    return v;
  }
  v.status = v.relative ? RegStatus::BadRelative : RegStatus::BadIndexed;
  if (ident.text.truncated) return v;
  const char* s = ctx.src + ident.text.offset;
  const std::size_t n = ident.text.length;
  for (std::size_t i = 0; i < n; ++i) {
    if (!IsLetter(s[i])) return v;
  }
  const RegName* reg = FindRegName(ctx.kind, s, n);
  if (!reg || !reg->indexable || index.indexSum >= reg->limit) return v;
  v.status = RegStatus::Ok;
  v.type = reg->type;
  v.number = index.indexSum;
  return v;
}

AsmValue WithSelector(const AsmValue& reg, const AsmValue* selector) {
  AsmValue v = reg;
  v.hasSelector = selector != nullptr;
  if (selector) v.selector = selector->text;
  return v;
}

// A register term of an index must be exactly a0.x, and only in vertex shaders.
AsmValue IndexRegisterTerm(Context& ctx, const AsmValue& reg) {
  AsmValue v = reg;
  v.indexSum = 0;
  v.a0Count = 0;
  v.indexBad = false;
  const bool isA0x = ctx.kind == ShaderKind::Vertex && !reg.indexed && !reg.name.truncated &&
                     SpanText(ctx, reg.name) == "a0" && reg.hasSelector && !reg.selector.truncated &&
                     SpanText(ctx, reg.selector) == "x";
  if (isA0x) {
    v.a0Count = 1;
  } else {
    if (reg.status != RegStatus::Reported) Report(ctx, "illegal register in index expression");
    v.indexBad = true;
  }
  return v;
}

AsmValue IndexIntegerTerm(const AsmValue& integer) {
  AsmValue v = integer;
  v.indexSum = integer.integer > 0x7FFFFFFFu ? 0x7FFFFFFFu : integer.integer;
  v.a0Count = 0;
  v.indexBad = false;
  return v;
}

AsmValue CombineIndex(Context& ctx, const AsmValue& term, const AsmValue& rest) {
  AsmValue v = rest;
  std::uint64_t sum = std::uint64_t(term.indexSum) + rest.indexSum;
  // Kept below INT_MAX so a message can print it; anything this large is out
  // of range for every register anyway.
  v.indexSum = sum > 0x7FFFFFFFu ? 0x7FFFFFFFu : std::uint32_t(sum);
  // An a0Count of 2 means "a0.x twice, already reported": one message per index.
  v.indexBad = term.indexBad || rest.indexBad;
  if (rest.a0Count >= 2) {
    v.a0Count = 2;
  } else if (term.a0Count + rest.a0Count > 1) {
    Report(ctx, "a0.x can only appear once in an index expression");
    v.a0Count = 2;
    v.indexBad = true;
  } else {
    v.a0Count = std::uint8_t(term.a0Count + rest.a0Count);
  }
  return v;
}

AsmValue Destination(Context& ctx, const AsmValue& reg, const AsmValue* maskValue) {
  AsmValue v = reg;
  v.ok = true;
  DWORD mask = 0xF;
  bool maskOk = true;
  if (maskValue && !ParseMask(ctx, maskValue->text, &mask)) {
    const std::string text = SpanText(ctx, maskValue->text);
    Report(ctx, "invalid mask '%s'", text.c_str());
    maskOk = false;
    v.ok = false;
  }
  if (!CheckRegister(ctx, reg)) {
    v.ok = false;
  } else if (reg.modifier != kModNone) {
    Report(ctx, "source modifiers are not allowed on destination registers");
    v.ok = false;
  } else {
    bool typeOk;
    if (ctx.kind == ShaderKind::Pixel)
      typeOk = reg.type == kRegTemp || reg.type == kRegAddrOrTexture;
    else
      typeOk = reg.type == kRegTemp || reg.type == kRegAddrOrTexture || reg.type == kRegRastOut ||
               reg.type == kRegAttrOut || reg.type == kRegTexCrdOut;
    if (!typeOk) {
      Report(ctx, "invalid destination register");
      v.ok = false;
    } else if (ctx.kind == ShaderKind::Pixel && maskOk && mask != 0x7 && mask != 0x8 && mask != 0xF) {
      Report(ctx, "invalid write mask");
      v.ok = false;
    }
  }
  v.token = kParamBit | DWORD(reg.type & 7) << 28 | (reg.number & kMaxRegisterNumber) | mask << 16;
  return v;
}

AsmValue Source(Context& ctx, const AsmValue& reg, SourceForm form) {
  AsmValue v = reg;
  v.ok = true;
  DWORD swizzle = kIdentitySwizzle;
  bool swizzleOk = true;
  if (reg.hasSelector && !ParseSwizzle(ctx, reg.selector, &swizzle)) {
    const std::string text = SpanText(ctx, reg.selector);
    Report(ctx, "invalid swizzle '%s'", text.c_str());
    swizzleOk = false;
    v.ok = false;
  }
  if (!CheckRegister(ctx, reg)) {
    v.ok = false;
  } else if (reg.type > kRegAddrOrTexture) {
    Report(ctx, "invalid source register");
    v.ok = false;
  } else if (ctx.kind == ShaderKind::Pixel && swizzleOk && swizzle != kIdentitySwizzle &&
             swizzle != kAlphaSwizzle) {
    Report(ctx, "invalid swizzle");
    v.ok = false;
  }
  DWORD modifier = reg.modifier;
  if (form == SourceForm::Negate) {
    modifier += 1;  // none -> negate, bias -> bias and negate, sign -> sign and negate
  } else if (form == SourceForm::Complement) {
    if (ctx.kind == ShaderKind::Vertex) {
      Report(ctx, "complement not supported in vertex shaders");
      v.ok = false;
    } else if (modifier != kModNone) {
      Report(ctx, "complement cannot be used with other modifiers");
      v.ok = false;
    }
    modifier = kModComplement;
  }
  v.token = kParamBit | DWORD(reg.type & 7) << 28 | (reg.number & kMaxRegisterNumber) |
            (reg.relative ? kRelativeBit : 0) | swizzle << 16 | modifier << 24;
  return v;
}

void Define(Context& ctx, const AsmValue& reg, const float values[4]) {
  if (!CheckRegister(ctx, reg)) return;
  if (reg.type != kRegConst || reg.relative || reg.modifier != kModNone) {
    Report(ctx, "invalid constant");
    return;
  }
  if (ctx.error) return;  // no stream is handed out after an error
  if (ctx.kind == ShaderKind::Pixel) {
    if (!Push(ctx, ctx.consts, kOpDef) ||
        !Push(ctx, ctx.consts, kParamBit | DWORD(kRegConst) << 28 | 0xFu << 16 | reg.number))
      return;
  } else {
    if (!Push(ctx, ctx.consts, kDeclConstOne | reg.number)) return;
  }
  for (int i = 0; i < 4; ++i) {
    DWORD bits;
    std::memcpy(&bits, &values[i], sizeof bits);
    if (!Push(ctx, ctx.consts, bits)) return;
  }
}

void Instruction(Context& ctx, const AsmValue& keyword, const AsmValue* operands, int count) {
  for (int i = 0; i < count; ++i) {
    if (!operands[i].ok) return;
  }
  if (ctx.error) return;  // no stream is handed out after an error

  if (ctx.debug) {
    const std::string& file = ctx.keywordFiles[keyword.pos.file & 1];
    if (file != ctx.debugFile) {
      ctx.debugFile = file;
      EmitComment(ctx, FourCC('F', 'I', 'L', 'E'), file.data(), file.size());
    }
    if (!ctx.debugLineValid || ctx.debugLine != keyword.pos.line) {
      ctx.debugLineValid = true;
      ctx.debugLine = keyword.pos.line;
      if (!Push(ctx, ctx.code, CommentToken(2)) || !Push(ctx, ctx.code, FourCC('L', 'I', 'N', 'E')) ||
          !Push(ctx, ctx.code, DWORD(keyword.pos.line)))
        return;
    }
  }

  DWORD opcode = keyword.opcode;
  DWORD tokens[4] = {};
  for (int i = 0; i < count && i < 4; ++i) tokens[i] = operands[i].token;
  if (count > 0) tokens[0] |= keyword.dstBits;
  // Vertex shaders have no subtract: a - b is emitted as a + (-b).
  if (ctx.kind == ShaderKind::Vertex && opcode == kOpSub && count == 3) {
    opcode = kOpAdd;
    tokens[2] ^= DWORD(kModNegate) << 24;
  }
  if (!Push(ctx, ctx.code, opcode | (keyword.coissue ? kCoissueBit : 0))) return;
  for (int i = 0; i < count && i < 4; ++i) {
    if (!Push(ctx, ctx.code, tokens[i])) return;
  }
}

}  // namespace qvasm
