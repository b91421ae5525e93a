// libFuzzer harness for D3DXAssembleShader: any bytes, with and without the
// debug flag; checks the shape of whatever comes back. Every stream the
// assembler accepts then goes through what the graphics layer does with it:
// the validators, the GLSL translators and, with the definitions of a vertex
// shader, the declaration parser.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/d3d8/d3d8_shader.h"
#include "platform/win32/win32.h"
#include "shader_asm/d3dx8_asm.h"

namespace {

// The graphics layer's steps on an assembled stream and its definitions.
void RunGraphicsLayer(const DWORD* words, ID3DXBuffer* constants) {
  const bool pixel = (words[0] & 0xFFFF0000u) == 0xFFFF0000u;
  qv::d3d8::ShaderProgram program;
  std::string error;
  if (qv::d3d8::ParseShader(words, pixel, program, error)) {
    bool fog = false;
    const std::string glsl =
        pixel ? qv::d3d8::TranslatePixelShader(program) : qv::d3d8::TranslateVertexShader(program, fog);
    Check(glsl.find("void main()") != std::string::npos);
  } else {
    Check(error.size() > 5 && error[0] == 'Q');
  }
  if (pixel) {
    char* text = nullptr;
    const HRESULT hr = ValidatePixelShader(words, nullptr, TRUE, &text);
    Check(SUCCEEDED(hr) == error.empty() && (text != nullptr) == FAILED(hr));
    if (text) HeapFree(GetProcessHeap(), 0, text);
    return;
  }
  // A declaration of one stream followed by the definitions' fragments, as a
  // caller would pass them to CreateVertexShader.
  std::vector<DWORD> declaration = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3)};
  if (constants) {
    const auto* p = static_cast<const DWORD*>(constants->GetBufferPointer());
    declaration.insert(declaration.end(), p, p + constants->GetBufferSize() / sizeof(DWORD));
  }
  declaration.push_back(D3DVSD_END());
  qv::d3d8::VertexDeclaration parsed;
  std::string declError;
  const bool declOk = qv::d3d8::ParseDeclaration(declaration.data(), parsed, declError);
  char* text = nullptr;
  const HRESULT hr = ValidateVertexShader(words, declaration.data(), nullptr, TRUE, &text);
  Check(SUCCEEDED(hr) == (error.empty() && declOk) && (text != nullptr) == FAILED(hr));
  if (text) HeapFree(GetProcessHeap(), 0, text);
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
  const HRESULT hr =
      D3DXAssembleShader(text.get(), static_cast<UINT>(size), flags, &constants, &shader, &errors);
  Check(hr == S_OK || hr == D3DXERR_INVALIDDATA);
  if (hr == S_OK) {
    Check(shader != nullptr);
    const DWORD bytes = shader->GetBufferSize();
    Check(bytes % 4 == 0 && bytes >= 48);
    const auto* words = static_cast<const DWORD*>(shader->GetBufferPointer());
    Check((words[0] & 0xFFFE0000u) == 0xFFFE0000u);
    Check(words[bytes / 4 - 1] == 0x0000FFFFu);
    if (constants) Check(constants->GetBufferSize() % 20 == 0);
    RunGraphicsLayer(words, constants);
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
