// Internal state of one assembly: the lexer's cursor, the streams being
// built, the error lines, and the semantic values the parser passes around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_types.h"

namespace qvasm {

// Identifiers, file names and each part of an error line keep at most this
// many characters.
constexpr std::size_t kMaxName = 255;
// Largest token stream (instructions or constants) in 32-bit words; past it
// the stream "cannot grow" and the assembly fails.
constexpr std::size_t kMaxStreamWords = std::size_t(1) << 24;
// The limit in force; tests lower it to reach the "cannot grow" path.
extern std::size_t g_asmMaxStreamWords;
// Error lines kept for the caller; further errors still fail the call.
constexpr std::size_t kMaxErrorLines = 1000;
// Largest register number a token can carry (bits 0-11).
constexpr std::uint32_t kMaxRegisterNumber = 0xFFF;
// The message of a token stream that cannot grow.
constexpr int kStreamFullCode = 849;

enum class ShaderKind : std::uint8_t { None, Vertex, Pixel };

// Register types as the token format numbers them.
enum RegType : std::uint8_t {
  kRegTemp = 0,
  kRegInput = 1,
  kRegConst = 2,
  kRegAddrOrTexture = 3,
  kRegRastOut = 4,
  kRegAttrOut = 5,
  kRegTexCrdOut = 6,
};

// Source modifiers (bits 24-27 of a source token).
enum SrcMod : std::uint8_t {
  kModNone = 0,
  kModNegate = 1,
  kModBias = 2,
  kModBiasNegate = 3,
  kModSign = 4,
  kModSignNegate = 5,
  kModComplement = 6,
};

// Where a token was read: line number and index into Context::files.
struct SourcePos {
  int line;
  std::uint32_t file;
};

// A run of characters of the source text (identifiers are cut to kMaxName;
// `truncated` says the text was longer).
struct Span {
  std::uint32_t offset;
  std::uint32_t length;
  bool truncated;
};

// How a register operand decoded. Errors are reported by whoever uses the
// register (destination, source, index term or definition), so that an index
// term gets one message, not two.
enum class RegStatus : std::uint8_t {
  Ok,
  BadName,      // "invalid register '%s'"
  BadIndexed,   // "invalid register '%s[%d]'"
  BadRelative,  // "invalid register '%s[a0.x + %d]'"
  Reported,     // its index had an error that was already reported
};

// The semantic value of every token and grammar symbol. Kept trivially
// copyable and small: the parser's value stack holds 500 of them.
struct AsmValue {
  SourcePos pos;  // tokens: where read; keywords: the statement's position
  Span text;      // identifier or number text

  std::uint32_t integer;  // INTEGER tokens (saturated)
  float real;             // FLOAT tokens and definition values

  // Instruction keywords.
  std::uint32_t opcode;
  std::uint32_t dstBits;  // result shift and saturate bits for the destination
  bool coissue;

  // Registers.
  RegStatus status;
  std::uint8_t type;
  std::uint8_t modifier;  // kModNone, kModBias or kModSign from a suffix
  bool relative;          // c[a0.x + n]
  bool indexed;           // written with [ ]
  std::uint32_t number;
  Span name;             // the register's identifier
  bool hasSelector;      // followed by "." identifier
  Span selector;

  // Index expressions.
  std::uint32_t indexSum;
  std::uint8_t a0Count;
  bool indexBad;  // an error was reported inside the index

  // Checked operands.
  bool ok;
  DWORD token;
};

struct Context {
  Context(const char* source, std::uint32_t length, bool debugInfo);

  // Source text and lexer state.
  const char* src;
  std::uint32_t len;
  std::uint32_t pos = 0;
  int line = 1;
  std::uint32_t file = 0;           // index into files
  std::vector<std::string> files;  // files[0] is the empty name
  bool atLineStart = true;
  bool eotSent = false;

  // Set by the version statement.
  ShaderKind kind = ShaderKind::None;
  DWORD version = 0;
  bool versionRead = false;

  bool debug;

  // Errors.
  bool error = false;
  std::vector<std::string> errorLines;
  std::size_t errorCount = 0;
  bool streamFullReported = false;
  // Errors the lexer found while reading ahead. The parser may still have to
  // report errors of the statement before, so these wait for the next
  // statement (or the end) to keep the error lines in text order.
  std::vector<std::pair<SourcePos, std::string>> pendingLexErrors;

  // Output: instruction tokens, and constant definitions (pixel shader def
  // instructions, or vertex declaration fragments).
  std::vector<DWORD> code;
  std::vector<DWORD> consts;

  // Position of the statement whose actions run now, and of the token read last.
  SourcePos stmt{1, 0};
  SourcePos lastToken{1, 0};

  // Debug comment bookkeeping.
  bool debugLineValid = false;
  int debugLine = 0;
  std::string debugFile;
};

// Lexer (asm_lexer.cpp).
int Lex(AsmValue* value, Context& ctx);
std::string SpanText(const Context& ctx, const Span& span);

// Errors (asm_operands.cpp).
void Report(Context& ctx, const SourcePos& at, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
bool Push(Context& ctx, std::vector<DWORD>& stream, DWORD word);
void FlushLexErrors(Context& ctx);

// Reduction actions (asm_operands.cpp).
void SetVersion(Context& ctx, ShaderKind kind, const SourcePos& at, std::uint32_t major,
                std::uint32_t minor);
AsmValue Keyword(Context& ctx, const AsmValue& keyword, bool coissue);
void Definition(Context& ctx, const AsmValue& keyword);
AsmValue PlainRegister(Context& ctx, const AsmValue& ident);
AsmValue IndexedRegister(Context& ctx, const AsmValue& ident, const AsmValue& index);
AsmValue WithSelector(const AsmValue& reg, const AsmValue* selector);
AsmValue IndexRegisterTerm(Context& ctx, const AsmValue& reg);
AsmValue IndexIntegerTerm(const AsmValue& integer);
AsmValue CombineIndex(Context& ctx, const AsmValue& term, const AsmValue& rest);
AsmValue Destination(Context& ctx, const AsmValue& reg, const AsmValue* mask);
enum class SourceForm { Plain, Negate, Complement };
AsmValue Source(Context& ctx, const AsmValue& reg, SourceForm form);
void Define(Context& ctx, const AsmValue& reg, const float values[4]);
void Instruction(Context& ctx, const AsmValue& keyword, const AsmValue* operands, int count);

}  // namespace qvasm
