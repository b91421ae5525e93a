// Helpers for the assembler tests: one call with every output collected, and
// a buffer whose text ends right before an inaccessible page.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "shader_asm/d3dx8_asm.h"

struct AsmResult {
  HRESULT hr = E_FAIL;
  std::vector<DWORD> words;      // the token stream, when one was given
  std::vector<DWORD> constants;  // the declaration fragments, when given
  std::string errors;            // the error text, without the final zero
  bool gotShader = false;
  bool gotConstants = false;
  bool gotErrors = false;
};

inline std::vector<DWORD> BufferWords(ID3DXBuffer* buffer) {
  const auto* p = static_cast<const DWORD*>(buffer->GetBufferPointer());
  return std::vector<DWORD>(p, p + buffer->GetBufferSize() / sizeof(DWORD));
}

inline AsmResult AssembleBytes(const void* text, UINT len, DWORD flags = 0) {
  AsmResult r;
  ID3DXBuffer* const junk = reinterpret_cast<ID3DXBuffer*>(1);  // must be cleared
  ID3DXBuffer *constants = junk, *shader = junk, *errors = junk;
  r.hr = D3DXAssembleShader(text, len, flags, &constants, &shader, &errors);
  if (shader) {
    r.gotShader = true;
    r.words = BufferWords(shader);
    shader->Release();
  }
  if (constants) {
    r.gotConstants = true;
    r.constants = BufferWords(constants);
    constants->Release();
  }
  if (errors) {
    r.gotErrors = true;
    const char* p = static_cast<const char*>(errors->GetBufferPointer());
    const DWORD size = errors->GetBufferSize();
    // The text ends with exactly one zero byte, at the end of the buffer.
    if (size > 0 && p[size - 1] == '\0')
      r.errors.assign(p, size - 1);
    else
      r.errors = "<error buffer not terminated>";
    errors->Release();
  }
  return r;
}

inline AsmResult Assemble(const std::string& text, DWORD flags = 0) {
  return AssembleBytes(text.data(), static_cast<UINT>(text.size()), flags);
}

// The instruction words after the version token and the 10-word banner, up to
// (not including) the end token.
inline std::vector<DWORD> Body(const AsmResult& r) {
  if (r.words.size() < 12) return {};
  return std::vector<DWORD>(r.words.begin() + 11, r.words.end() - 1);
}

// Text placed so that its last byte is the last readable byte before a
// PROT_NONE page: any read past `size` faults.
class GuardedText {
 public:
  explicit GuardedText(const std::string& text) : m_size(text.size()) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t dataPages = (text.size() + page - 1) / page + 1;
    m_mapSize = (dataPages + 1) * page;
    void* p = mmap(nullptr, m_mapSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    m_base = static_cast<char*>(p);
    mprotect(m_base + dataPages * page, page, PROT_NONE);
    m_text = m_base + dataPages * page - text.size();
    std::memcpy(m_text, text.data(), text.size());
  }
  ~GuardedText() {
    if (m_base) munmap(m_base, m_mapSize);
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  const char* data() const { return m_text; }
  UINT size() const { return static_cast<UINT>(m_size); }

 private:
  char* m_base = nullptr;
  char* m_text = nullptr;
  std::size_t m_size;
  std::size_t m_mapSize = 0;
};
