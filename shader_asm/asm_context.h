// Internal state of one assembly: the lexer's cursor, the streams being
// built, the error lines, and the semantic values the parser passes around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

// Where a token was read: its line, and for instruction keywords which of
// Context::keywordFiles holds the file name in force.
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
  SourcePos pos;  // where the token was read
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
  Span name;         // the register's identifier
  bool hasSelector;  // followed by "." identifier
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
  std::string file;  // the current file name, set by "#line"
  bool atLineStart = true;
  bool eotSent = false;

  // Set by the version statement.
  ShaderKind kind = ShaderKind::None;
  DWORD version = 0;
  bool versionRead = false;

  bool debug;

  // Errors. Every error line carries the line on which the lexer stood when
  // it took the most recent instruction keyword (1 before the first one),
  // with the current file name. Lines past kMaxErrorLines are only counted,
  // so no text grows the error list past that.
  bool error = false;
  std::vector<std::string> errorLines;
  std::size_t errorCount = 0;
  bool streamFullReported = false;
  int keywordLine = 1;
  // The file names in force when the last two keywords were taken: with one
  // token of look-ahead, an instruction is reduced at the latest while the
  // keyword after it is read, so two slots always suffice.
  std::string keywordFiles[2];
  std::uint32_t keywordCount = 0;

  // Output: instruction tokens, and constant definitions (pixel shader def
  // instructions, or vertex declaration fragments).
  std::vector<DWORD> code;
  std::vector<DWORD> consts;

  // Debug comment bookkeeping.
  bool debugLineValid = false;
  int debugLine = 0;
  std::string debugFile;
};

// Lexer (asm_lexer.cpp).
int Lex(AsmValue* value, Context& ctx);
std::string SpanText(const Context& ctx, const Span& span);

// Errors (asm_operands.cpp).
void Report(Context& ctx, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
bool Push(Context& ctx, std::vector<DWORD>& stream, DWORD word);

// Reduction actions (asm_operands.cpp).
void SetVersion(Context& ctx, ShaderKind kind, std::uint32_t major, std::uint32_t minor);
AsmValue Keyword(const AsmValue& keyword, bool coissue);
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
