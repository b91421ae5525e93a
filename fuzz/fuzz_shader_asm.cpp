// libFuzzer harness for D3DXAssembleShader: any bytes, with and without the
// debug flag; checks the shape of whatever comes back.
#include <cstdint>
#include <cstring>
#include <memory>

#include "shader_asm/d3dx8_asm.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  // An exactly-sized copy with no terminating zero: reading past the end is
  // an AddressSanitizer finding.
  std::unique_ptr<char[]> text(new char[size]);
  std::memcpy(text.get(), data, size);
  const DWORD flags = D3DXASM_SKIPVALIDATION | ((size & 1) ? D3DXASM_DEBUG : 0);

  ID3DXBuffer* constants = nullptr;
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* errors = nullptr;
  const HRESULT hr = D3DXAssembleShader(text.get(), static_cast<UINT>(size), flags, &constants,
                                        &shader, &errors);
  Check(hr == S_OK || hr == D3DXERR_INVALIDDATA);
  if (hr == S_OK) {
    Check(shader != nullptr);
    const DWORD bytes = shader->GetBufferSize();
    Check(bytes % 4 == 0 && bytes >= 48);
    const auto* words = static_cast<const DWORD*>(shader->GetBufferPointer());
    Check((words[0] & 0xFFFE0000u) == 0xFFFE0000u);
    Check(words[bytes / 4 - 1] == 0x0000FFFFu);
    if (constants) Check(constants->GetBufferSize() % 20 == 0);
  } else {
    Check(shader == nullptr && constants == nullptr && errors != nullptr);
  }
  if (errors) {
    const DWORD bytes = errors->GetBufferSize();
    const char* p = static_cast<const char*>(errors->GetBufferPointer());
    Check(bytes >= 2 && p[bytes - 1] == '\0' && p[bytes - 2] == '\n');
    Check(std::strlen(p) == bytes - 1);
    errors->Release();
  }
  if (shader) shader->Release();
  if (constants) constants->Release();
  return 0;
}
