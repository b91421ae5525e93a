// The assembler's lexer: one token per call, never reading past the given
// length (the text need not end in a zero).
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "asm_grammar.hpp"
#include "shader_asm/asm_context.h"

namespace qvasm {

namespace {

enum InstrKinds : std::uint8_t { kVs = 1, kPs = 2, kBoth = 3 };

struct InstrInfo {
  const char* name;
  std::uint8_t kinds;
  std::uint8_t operands;  // destination included
  std::uint16_t opcode;
};

const InstrInfo s_instructions[] = {
    {"nop", kBoth, 0, 0},         {"mov", kBoth, 2, 1},        {"add", kBoth, 3, 2},
    {"sub", kBoth, 3, 3},         {"mad", kBoth, 4, 4},        {"mul", kBoth, 3, 5},
    {"dp3", kBoth, 3, 8},         {"dp4", kBoth, 3, 9},        {"rcp", kVs, 2, 6},
    {"rsq", kVs, 2, 7},           {"min", kVs, 3, 10},         {"max", kVs, 3, 11},
    {"slt", kVs, 3, 12},          {"sge", kVs, 3, 13},         {"exp", kVs, 2, 14},
    {"log", kVs, 2, 15},          {"lit", kVs, 2, 16},         {"dst", kVs, 3, 17},
    {"frc", kVs, 2, 19},          {"m4x4", kVs, 3, 20},        {"m4x3", kVs, 3, 21},
    {"m3x4", kVs, 3, 22},         {"m3x3", kVs, 3, 23},        {"m3x2", kVs, 3, 24},
    {"expp", kVs, 2, 78},         {"logp", kVs, 2, 79},        {"lrp", kPs, 4, 18},
    {"cnd", kPs, 4, 80},          {"texcoord", kPs, 1, 64},    {"texkill", kPs, 1, 65},
    {"tex", kPs, 1, 66},          {"texbem", kPs, 2, 67},      {"texbeml", kPs, 2, 68},
    {"texreg2ar", kPs, 2, 69},    {"texreg2gb", kPs, 2, 70},   {"texm3x2pad", kPs, 2, 71},
    {"texm3x2tex", kPs, 2, 72},   {"texm3x3pad", kPs, 2, 73},  {"texm3x3tex", kPs, 2, 74},
    {"texm3x3diff", kPs, 2, 75},  {"texm3x3spec", kPs, 3, 76}, {"texm3x3vspec", kPs, 2, 77},
    {"texm3x2depth", kPs, 2, 96}, {"texbrdf", kPs, 3, 97},     {"texdp3", kPs, 2, 98},
    {"texreg2rgb", kPs, 2, 99},
};

constexpr std::size_t kMaxInstrBase = 15;
constexpr DWORD kSaturateBit = 0x00100000u;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
// A zero byte is no white space: inside the text it is a character no rule
// accepts (a terminator the caller counted in the length is cut off before).
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool Equals(const char* s, std::size_t n, const char* word) {
  return std::strlen(word) == n && std::memcmp(s, word, n) == 0;
}

// Result shift of an instruction suffix, in the destination token's bits 24-27.
bool ShiftBits(const char* s, std::size_t n, DWORD* bits) {
  static const struct {
    const char* name;
    DWORD code;
  } shifts[] = {{"x2", 0x1}, {"x4", 0x2}, {"x8", 0x3}, {"d2", 0xF}, {"d4", 0xE}, {"d8", 0xD}};
  for (const auto& s2 : shifts) {
    if (Equals(s, n, s2.name)) {
      *bits = s2.code << 24;
      return true;
    }
  }
  return false;
}

// Looks an identifier up as an instruction keyword of the current shader
// kind. The name is cut at its first two '_' into a base name and up to two
// suffixes: a result shift and/or "sat", allowed on pixel shaders only.
const InstrInfo* FindInstruction(ShaderKind kind, const char* s, std::size_t n, DWORD* dstBits) {
  if (kind == ShaderKind::None) return nullptr;
  const char* end = s + n;
  const char* u1 = static_cast<const char*>(std::memchr(s, '_', n));
  const char* baseEnd = u1 ? u1 : end;
  std::size_t baseLen = static_cast<std::size_t>(baseEnd - s);
  if (baseLen > kMaxInstrBase) return nullptr;

  const InstrInfo* found = nullptr;
  const std::uint8_t want = kind == ShaderKind::Vertex ? kVs : kPs;
  for (const InstrInfo& info : s_instructions) {
    if ((info.kinds & want) && Equals(s, baseLen, info.name)) {
      found = &info;
      break;
    }
  }
  if (!found) return nullptr;

  *dstBits = 0;
  if (!u1) return found;
  if (kind != ShaderKind::Pixel) return nullptr;

  const char* s1 = u1 + 1;
  const char* u2 = static_cast<const char*>(std::memchr(s1, '_', static_cast<std::size_t>(end - s1)));
  if (!u2) {
    std::size_t n1 = static_cast<std::size_t>(end - s1);
    if (Equals(s1, n1, "sat")) {
      *dstBits = kSaturateBit;
      return found;
    }
    return ShiftBits(s1, n1, dstBits) ? found : nullptr;
  }
  const char* s2 = u2 + 1;
  if (!ShiftBits(s1, static_cast<std::size_t>(u2 - s1), dstBits)) return nullptr;
  if (!Equals(s2, static_cast<std::size_t>(end - s2), "sat")) return nullptr;
  *dstBits |= kSaturateBit;
  return found;
}

void NextLine(Context& ctx) {
  if (ctx.line < INT_MAX) ++ctx.line;
  ctx.atLineStart = true;
}

void SkipToLineEnd(Context& ctx) {
  while (ctx.pos < ctx.len && ctx.src[ctx.pos] != '\n') ++ctx.pos;
}

void SkipSpaces(Context& ctx) {
  while (ctx.pos < ctx.len && (ctx.src[ctx.pos] == ' ' || ctx.src[ctx.pos] == '\t')) ++ctx.pos;
}

// "#line N" and "#line N "file"": the next line gets number N and, when a
// name is given, the error lines carry it. Any other '#' line (or a '#' that
// does not start its line) is refused and skipped.
void Directive(Context& ctx) {
  bool handled = false;
  const std::uint32_t rest = ctx.len - ctx.pos;
  if (ctx.atLineStart && rest > 5 && std::memcmp(ctx.src + ctx.pos, "#line", 5) == 0 &&
      (ctx.src[ctx.pos + 5] == ' ' || ctx.src[ctx.pos + 5] == '\t')) {
    ctx.pos += 5;
    SkipSpaces(ctx);
    if (ctx.pos < ctx.len && IsDigit(ctx.src[ctx.pos])) {
      long long number = 0;
      while (ctx.pos < ctx.len && IsDigit(ctx.src[ctx.pos])) {
        number = number * 10 + (ctx.src[ctx.pos] - '0');
        if (number > INT_MAX) number = INT_MAX;
        ++ctx.pos;
      }
      SkipSpaces(ctx);
      if (ctx.pos < ctx.len && ctx.src[ctx.pos] == '"') {
        ++ctx.pos;
        std::string name;
        while (ctx.pos < ctx.len && ctx.src[ctx.pos] != '"' && ctx.src[ctx.pos] != '\n') {
          char c = ctx.src[ctx.pos++];
          if (c == '\\' && ctx.pos < ctx.len && ctx.src[ctx.pos] == '\\') ++ctx.pos;
          if (name.size() < kMaxName) name.push_back(c);
        }
        ctx.file = std::move(name);
      }
      // The newline that ends this line moves on to line `number`.
      ctx.line = static_cast<int>(number) - 1;
      handled = true;
    }
  }
  if (!handled) Report(ctx, "preprocessor directives are not supported.");
  SkipToLineEnd(ctx);
}

int LexIdentifier(AsmValue* value, Context& ctx) {
  const std::uint32_t start = ctx.pos;
  while (ctx.pos < ctx.len && IsIdentChar(ctx.src[ctx.pos])) ++ctx.pos;
  const std::uint32_t length = ctx.pos - start;
  value->text.offset = start;
  value->text.truncated = length > kMaxName;
  value->text.length = value->text.truncated ? static_cast<std::uint32_t>(kMaxName) : length;

  const char* s = ctx.src + start;
  if (Equals(s, length, "vs")) return QVASM_VS;
  if (Equals(s, length, "ps")) return QVASM_PS;
  if (Equals(s, length, "def")) return QVASM_DEF;
  if (!value->text.truncated) {
    DWORD dstBits = 0;
    if (const InstrInfo* info = FindInstruction(ctx.kind, s, length, &dstBits)) {
      // Error lines from here on carry this keyword's line. Debug information
      // names the file in force for each instruction.
      ctx.keywordLine = ctx.line;
      value->pos.file = ctx.keywordCount++ & 1;
      if (ctx.debug) ctx.keywordFiles[value->pos.file] = ctx.file;
      value->opcode = info->opcode;
      value->dstBits = dstBits;
      value->coissue = false;
      switch (info->operands) {
        case 0: return QVASM_OP0;
        case 1: return QVASM_OP1;
        case 2: return QVASM_OP2;
        case 3: return QVASM_OP3;
        default: return QVASM_OP4;
      }
    }
  }
  return QVASM_IDENT;
}

// Digits make an integer. Once the version statement has been read, a
// fraction, an exponent or an 'f' suffix make a floating-point number; before
// it "1.0" must stay integer, '.', integer (how "vs.1.0" is read).
int LexNumber(AsmValue* value, Context& ctx) {
  const std::uint32_t start = ctx.pos;
  std::uint64_t integer = 0;
  while (ctx.pos < ctx.len && IsDigit(ctx.src[ctx.pos])) {
    integer = integer * 10 + static_cast<std::uint64_t>(ctx.src[ctx.pos] - '0');
    if (integer > UINT32_MAX) integer = UINT32_MAX;
    ++ctx.pos;
  }
  bool real = false;
  if (ctx.versionRead) {
    if (ctx.pos < ctx.len && ctx.src[ctx.pos] == '.') {
      real = true;
      ++ctx.pos;
      while (ctx.pos < ctx.len && IsDigit(ctx.src[ctx.pos])) ++ctx.pos;
    }
    if (ctx.pos < ctx.len && ctx.src[ctx.pos] == 'e') {
      real = true;
      ++ctx.pos;
      if (ctx.pos < ctx.len && (ctx.src[ctx.pos] == '+' || ctx.src[ctx.pos] == '-')) ++ctx.pos;
      while (ctx.pos < ctx.len && IsDigit(ctx.src[ctx.pos])) ++ctx.pos;
    }
  }
  std::uint32_t numberEnd = ctx.pos;
  if (ctx.versionRead && ctx.pos < ctx.len && ctx.src[ctx.pos] == 'f') {
    real = true;
    ++ctx.pos;
  }
  const std::uint32_t length = ctx.pos - start;
  value->text.offset = start;
  value->text.truncated = length > kMaxName;
  value->text.length = value->text.truncated ? static_cast<std::uint32_t>(kMaxName) : length;
  value->integer = static_cast<std::uint32_t>(integer);
  // The value as a float (definitions take integers too). strtod wants a
  // terminated copy; a number is never cut short, so large integers convert
  // exactly as far as a float can hold them.
  std::string digits(ctx.src + start, numberEnd - start);
  double d = std::strtod(digits.c_str(), nullptr);
  if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) d = d < 0 ? -HUGE_VAL : HUGE_VAL;
  value->real = static_cast<float>(d);
  return real ? QVASM_FLOAT : QVASM_INTEGER;
}

}  // namespace

std::string SpanText(const Context& ctx, const Span& span) {
  return std::string(ctx.src + span.offset, span.length);
}

int Lex(AsmValue* value, Context& ctx) {
  *value = AsmValue{};
  for (;;) {
    if (ctx.pos >= ctx.len) {
      value->pos = SourcePos{ctx.line, 0};
      if (!ctx.eotSent) {
        ctx.eotSent = true;
        return QVASM_EOT;
      }
      return QVASM_YYEOF;
    }
    const char c = ctx.src[ctx.pos];
    if (c == '\n') {
      ++ctx.pos;
      NextLine(ctx);
      continue;
    }
    if (IsBlank(c)) {
      ++ctx.pos;
      continue;
    }
    if (c == ';' || (c == '/' && ctx.pos + 1 < ctx.len && ctx.src[ctx.pos + 1] == '/')) {
      SkipToLineEnd(ctx);
      continue;
    }
    if (c == '#') {
      Directive(ctx);
      continue;
    }

    ctx.atLineStart = false;
    value->pos = SourcePos{ctx.line, 0};
    if (IsLetter(c)) return LexIdentifier(value, ctx);
    if (IsDigit(c)) return LexNumber(value, ctx);
    ++ctx.pos;
    value->text = Span{ctx.pos - 1, 1, false};
    switch (c) {
      case '.':
      case ',':
      case '-':
      case '+':
      case '[':
      case ']': return static_cast<unsigned char>(c);
      default:
        // Any other character is a token of its own that no rule accepts.
        return QVASM_BADCHAR;
    }
  }
}

}  // namespace qvasm
