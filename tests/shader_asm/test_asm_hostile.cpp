// Hostile and unusual input: no terminating zero anywhere, empty and null
// texts, a megabyte of text, overlong names and numbers; the output buffers;
// and validation through a registered "d3d8.dll".
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "asm_test_util.h"
#include "lighting/terrain_shaders.h"
#include "platform/win32/win32.h"
#include "shader_asm/asm_context.h"

namespace {

TEST(AsmHostile, NullOrEmptySource) {
  ID3DXBuffer* const junk = reinterpret_cast<ID3DXBuffer*>(1);
  ID3DXBuffer *constants = junk, *shader = junk, *errors = junk;
  EXPECT_EQ(D3DXAssembleShader(nullptr, 10, 0, &constants, &shader, &errors), D3DERR_INVALIDCALL);
  EXPECT_EQ(constants, nullptr);
  EXPECT_EQ(shader, nullptr);
  EXPECT_EQ(errors, nullptr);
  shader = junk;
  EXPECT_EQ(D3DXAssembleShader("vs.1.1", 0, 0, nullptr, &shader, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(shader, nullptr);
  // Nothing at all asked for is fine too.
  EXPECT_EQ(D3DXAssembleShader("vs.1.1", 6, 0, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(D3DXAssembleShader("vs.1.1 mov", 10, 0, nullptr, nullptr, nullptr), D3DXERR_INVALIDDATA);
}

// Every prefix of a text, each ending right before an unreadable page: the
// lexer must never look past the length it was given.
TEST(AsmHostile, EveryPrefixEndsAtTheGivenLength) {
  const std::string texts[] = {
      g_TerrainVertexShaderText,
      g_TerrainPixelShaderText,
      "#line 12 \"a\\\\b.psh\"\nps.1.3\ndef c0, 1.5e-3f, -2., +7, 1e\n+mul_x2_sat r0.a, 1-t0.a, "
      "c[1+2]; x\n#error\n//",
      "vs.1.1\nmov r0, -c[a0.x + 12].yz # z\n#line 9\ndef",
  };
  for (const std::string& text : texts) {
    for (std::size_t n = 1; n <= text.size(); ++n) {
      const GuardedText guarded(text.substr(0, n));
      ASSERT_NE(guarded.data(), nullptr);
      const AsmResult r = AssembleBytes(guarded.data(), guarded.size(), D3DXASM_DEBUG);
      EXPECT_TRUE(r.hr == S_OK || r.hr == D3DXERR_INVALIDDATA) << n;
      EXPECT_EQ(r.gotShader, r.hr == S_OK) << n;
    }
  }
}

TEST(AsmHostile, MegabyteOfInstructionsAndOfErrors) {
  std::string text = "vs.1.1\n";
  std::size_t count = 0;
  while (text.size() < (1u << 20)) {
    text += "mov r0, v0\n";
    ++count;
  }
  const AsmResult r = Assemble(text);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.words.size(), 12 + 3 * count);
  EXPECT_EQ(r.words[11 + 3 * (count - 1)], 1u);

  // The debug text of a megabyte does not fit one comment block: it is
  // spread over several, which together hold the text and its zero.
  const AsmResult d = Assemble(text, D3DXASM_DEBUG);
  ASSERT_EQ(d.hr, S_OK);
  std::string recovered;
  std::size_t i = 11;
  while (i < d.words.size() && (d.words[i] & 0xFFFF) == 0xFFFE && d.words[i + 1] == 0x54584554) {
    const DWORD words = d.words[i] >> 16;
    ASSERT_LE(words, 0x7FFFu);
    recovered.append(reinterpret_cast<const char*>(&d.words[i + 2]), (words - 1) * 4);
    i += 1 + words;
  }
  ASSERT_GT(recovered.size(), text.size());
  EXPECT_EQ(recovered.compare(0, text.size() + 1, text.c_str(), text.size() + 1), 0);

  // A megabyte of errors gives a bounded error text.
  for (text = "vs.1.1\n"; text.size() < (1u << 20);) text += "mov r99, v0\n";
  const AsmResult e = Assemble(text);
  EXPECT_EQ(e.hr, D3DXERR_INVALIDDATA);
  EXPECT_FALSE(e.gotShader);
  const auto lines = std::count(e.errors.begin(), e.errors.end(), '\n');
  EXPECT_GT(lines, 100);
  EXPECT_LE(lines, 1000);

  std::string garbage(1u << 20, '#');
  EXPECT_EQ(Assemble(garbage).hr, D3DXERR_INVALIDDATA);
}

TEST(AsmHostile, ZeroBytes) {
  // One zero that ends the text is the caller's terminator; any other zero
  // is a character that no rule accepts.
  EXPECT_EQ(Assemble(std::string("vs.1.1\nmov r0, v0\0", 18)).hr, S_OK);
  EXPECT_EQ(Assemble(std::string("vs.1.1\0\nmov r0, v0", 18)).errors,
            "(1) : (Assembly Error) syntax error\n");
  EXPECT_EQ(Assemble(std::string("vs.1.1\nmov r0, v0\0\0", 19)).errors,
            "(2) : (Assembly Error) syntax error\n");
}

// Refused directives are counted, not kept: the peak memory of a text of
// nothing but "#" lines stays within a few times the text's size. Measured
// in a child process, whose peak starts from its size at the fork.
TEST(AsmHostile, DirectiveLinesDoNotGrowMemory) {
  std::string text;
  while (text.size() < 3200000) text += "#\n";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const HRESULT hr =
        D3DXAssembleShader(text.data(), static_cast<UINT>(text.size()), 0, nullptr, nullptr, nullptr);
    getrusage(RUSAGE_SELF, &after);
    const long grownKb = after.ru_maxrss - before.ru_maxrss;
    _exit(hr == D3DXERR_INVALIDDATA && grownKb < long(text.size() * 3 / 1024) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(AsmHostile, StreamThatCannotGrow) {
  const std::size_t saved = qvasm::g_asmMaxStreamWords;
  qvasm::g_asmMaxStreamWords = 10;
  const AsmResult r = Assemble("vs.1.1\nmov r0, v0\nmov r1, v1\nmov r2, v2\n\nmov r3, v3\nmov r4, v4");
  const AsmResult p = Assemble("ps.1.1\ndef c0, 1, 2, 3, 4\ndef c1, 1, 2, 3, 4\nmov r0, v0");
  qvasm::g_asmMaxStreamWords = saved;
  EXPECT_EQ(r.hr, D3DXERR_INVALIDDATA);
  EXPECT_FALSE(r.gotShader);
  // The fourth instruction is emitted once the fifth keyword has been read.
  EXPECT_EQ(r.errors, "(7) : (Assembly Error) Internal assembler error! 849\n");
  EXPECT_EQ(p.errors, "(1) : (Assembly Error) Internal assembler error! 849\n");
}

TEST(AsmHostile, OverlongNamesAndNumbers) {
  // Identifiers keep 255 characters, and a cut one is never a valid name.
  const std::string longReg = "r" + std::string(299, '0');
  // The message, too, is cut to 255 characters.
  const std::string message = "invalid register '" + longReg.substr(0, 255) + "'";
  EXPECT_EQ(Assemble("vs.1.1\nmov r0, " + longReg).errors,
            "(2) : (Assembly Error) " + message.substr(0, 255) + "\n");
  EXPECT_EQ(Assemble("vs.1.1\nmov r0, v0." + std::string(100000, 'x')).hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Assemble("vs.1.1\nmov" + std::string(100000, '_') + " r0, v0").hr, D3DXERR_INVALIDDATA);
  // Long numbers saturate instead of wrapping into range.
  EXPECT_EQ(Assemble("vs.1.1\nmov r0, c[" + std::string(40, '9') + "]").errors,
            "(2) : (Assembly Error) invalid register 'c[2147483647]'\n");
  EXPECT_EQ(Assemble("vs.4294967297.0").errors, "(1) : (Assembly Error) invalid version\n");
  // A definition value past the float range becomes infinity.
  const AsmResult r = Assemble("vs.1.1\ndef c0, 1e99, -1e99, 1" + std::string(300, '0') + ", 0\nnop");
  ASSERT_EQ(r.hr, S_OK) << r.errors;
  ASSERT_EQ(r.constants.size(), 5u);
  float values[4];
  std::memcpy(values, &r.constants[1], sizeof values);
  EXPECT_TRUE(std::isinf(values[0]) && values[0] > 0);
  EXPECT_TRUE(std::isinf(values[1]) && values[1] < 0);
  EXPECT_TRUE(std::isinf(values[2]));
}

TEST(AsmHostile, BuffersAreReferenceCounted) {
  ID3DXBuffer* buffer = nullptr;
  ASSERT_EQ(D3DXCreateBuffer(0, &buffer), S_OK);
  EXPECT_NE(buffer->GetBufferPointer(), nullptr);
  EXPECT_EQ(buffer->GetBufferSize(), 0u);
  void* same = nullptr;
  ASSERT_EQ(buffer->QueryInterface(IID_ID3DXBuffer, &same), S_OK);
  EXPECT_EQ(same, buffer);
  EXPECT_EQ(buffer->AddRef(), 3u);
  EXPECT_EQ(buffer->Release(), 2u);
  EXPECT_EQ(buffer->Release(), 1u);
  const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(buffer->QueryInterface(other, &same), E_NOINTERFACE);
  EXPECT_EQ(same, nullptr);
  EXPECT_EQ(buffer->Release(), 0u);
  EXPECT_EQ(D3DXCreateBuffer(16, nullptr), D3DERR_INVALIDCALL);
}

// A stand-in for the runtime's validators: counts its calls, keeps the
// stream it saw and answers `result`, with `text` when errors are asked for.
struct FakeValidator {
  int calls = 0;
  HRESULT result = S_OK;
  const char* text = nullptr;
  BOOL returnErrors = -1;
  std::vector<DWORD> seen;
};
FakeValidator g_fake;

HRESULT Record(const DWORD* tokens, BOOL returnErrors, char** errors) {
  ++g_fake.calls;
  g_fake.returnErrors = returnErrors;
  g_fake.seen.clear();
  for (const DWORD* t = tokens; g_fake.seen.empty() || g_fake.seen.back() != 0x0000FFFF; ++t)
    g_fake.seen.push_back(*t);
  if (g_fake.text && errors) {
    const std::size_t n = std::strlen(g_fake.text) + 1;
    *errors = static_cast<char*>(std::memcpy(HeapAlloc(GetProcessHeap(), 0, n), g_fake.text, n));
  }
  return g_fake.result;
}

HRESULT FakeValidateVertexShader(const DWORD* function, const DWORD* declaration, const D3DCAPS8* caps,
                                 BOOL returnErrors, char** errors) {
  EXPECT_TRUE(declaration == nullptr && caps == nullptr);
  return Record(function, returnErrors, errors);
}

HRESULT FakeValidatePixelShader(const DWORD* function, const D3DCAPS8* caps, BOOL returnErrors,
                                char** errors) {
  EXPECT_EQ(caps, nullptr);
  return Record(function, returnErrors, errors);
}

class AsmValidation : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = FakeValidator{};
    const Win32Export exports[] = {
        {"ValidateVertexShader", reinterpret_cast<FARPROC>(QvValidateShaderFn(&FakeValidateVertexShader))},
        {"ValidatePixelShader", reinterpret_cast<FARPROC>(QvValidatePixelShaderFn(&FakeValidatePixelShader))},
    };
    Win32RegisterModule("d3d8.dll", exports, 2);
  }
  void TearDown() override { Win32RegisterModule("d3d8.dll", nullptr, 0); }
};

TEST_F(AsmValidation, PassingValidatorSeesTheStream) {
  g_fake.result = S_FALSE;  // a positive status still counts as success
  const AsmResult r = AssembleBytes(g_TerrainPixelShaderText, 293);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(g_fake.calls, 1);
  EXPECT_EQ(g_fake.returnErrors, TRUE);
  EXPECT_EQ(g_fake.seen, r.words);
  EXPECT_FALSE(r.gotErrors);
}

TEST_F(AsmValidation, FailingValidatorFailsTheCallAndItsTextIsAppended) {
  g_fake.result = E_FAIL;
  g_fake.text = "(validator) shader uses too many registers\n";
  const AsmResult r = Assemble("vs.1.1\nmov oPos, v0");
  EXPECT_EQ(r.hr, E_FAIL);
  EXPECT_EQ(g_fake.calls, 1);
  // The stream was handed out before validation.
  EXPECT_TRUE(r.gotShader);
  EXPECT_EQ(r.errors, g_fake.text);

  // The text is freed: the heap in use does not grow by its size. (Under
  // AddressSanitizer mallinfo2 reports nothing, and LeakSanitizer checks it.)
  const std::string big(1 << 16, 'v');
  g_fake.text = big.c_str();
  const std::size_t before = mallinfo2().uordblks;
  EXPECT_EQ(Assemble("vs.1.1\nmov oPos, v0").errors.size(), big.size());
  EXPECT_LT(mallinfo2().uordblks, before + big.size() / 2);
  g_fake.text = nullptr;

  // Without an errors buffer no text is asked for, and the call still fails.
  ID3DXBuffer* shader = nullptr;
  EXPECT_EQ(D3DXAssembleShader("vs.1.1", 6, 0, nullptr, &shader, nullptr), E_FAIL);
  EXPECT_EQ(g_fake.returnErrors, FALSE);
  ASSERT_NE(shader, nullptr);
  shader->Release();
}

TEST_F(AsmValidation, SkippedOnRequestAfterAssemblyErrorsAndWithoutTheExport) {
  g_fake.result = E_FAIL;
  EXPECT_EQ(Assemble("vs.1.1\nmov oPos, v0", D3DXASM_SKIPVALIDATION).hr, S_OK);
  EXPECT_EQ(Assemble("vs.1.1\nmov oPos, v99").hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(g_fake.calls, 0);
  // The stream is validated even when the caller did not ask for it.
  EXPECT_EQ(D3DXAssembleShader("ps.1.1", 6, 0, nullptr, nullptr, nullptr), E_FAIL);
  EXPECT_EQ(g_fake.calls, 1);
  Win32RegisterModule("d3d8.dll", nullptr, 0);
  EXPECT_EQ(Assemble("ps.1.1\ntex t0").hr, S_OK);
  EXPECT_EQ(g_fake.calls, 1);
}

}  // namespace
