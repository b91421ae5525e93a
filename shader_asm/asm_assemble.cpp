// D3DXAssembleShader: parse, lay out the token stream, hand out the buffers,
// and have the Direct3D 8 runtime validate the result.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "asm_grammar.hpp"
#include "platform/win32/win32.h"
#include "shader_asm/asm_context.h"
#include "shader_asm/d3dx8_asm.h"

namespace {

constexpr char kBanner[] = "D3DX8 Shader Assembler Version 0.91";
static_assert(sizeof(kBanner) == 36, "the banner fills nine comment words");
constexpr DWORD kBannerComment = 0x0009FFFEu;
constexpr DWORD kEndToken = 0x0000FFFFu;

// The stream handed out: version, banner comment, pixel shader definitions,
// instructions, end token.
std::vector<DWORD> LayOut(const qvasm::Context& ctx) {
  std::vector<DWORD> out;
  const bool pixel = ctx.kind == qvasm::ShaderKind::Pixel;
  out.reserve(2 + 9 + (pixel ? ctx.consts.size() : 0) + ctx.code.size() + 1);
  out.push_back(ctx.version);
  out.push_back(kBannerComment);
  DWORD banner[9];
  std::memcpy(banner, kBanner, sizeof banner);
  out.insert(out.end(), banner, banner + 9);
  if (pixel) out.insert(out.end(), ctx.consts.begin(), ctx.consts.end());
  out.insert(out.end(), ctx.code.begin(), ctx.code.end());
  out.push_back(kEndToken);
  return out;
}

HRESULT MakeBuffer(const void* data, std::size_t size, ID3DXBuffer** buffer) {
  if (size > 0xFFFFFFFFu) return E_OUTOFMEMORY;
  HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(size), buffer);
  if (FAILED(hr)) return hr;
  if (size) std::memcpy((*buffer)->GetBufferPointer(), data, size);
  return S_OK;
}

// Calls the runtime's validator for the shader kind, when "d3d8.dll" is
// there and exports it. Its error text is appended to `messages`.
HRESULT Validate(bool vertex, const std::vector<DWORD>& tokens, bool wantErrors, std::string& messages) {
  HMODULE module = GetModuleHandleA("d3d8.dll");
  if (!module) module = LoadLibraryA("d3d8.dll");
  if (!module) return S_OK;
  FARPROC proc = GetProcAddress(module, vertex ? "ValidateVertexShader" : "ValidatePixelShader");
  if (!proc) return S_OK;
  char* text = nullptr;
  HRESULT hr;
  if (vertex) {
    hr = reinterpret_cast<QvValidateShaderFn>(proc)(tokens.data(), nullptr, nullptr,
                                                    wantErrors ? TRUE : FALSE, &text);
  } else {
    hr = reinterpret_cast<QvValidatePixelShaderFn>(proc)(tokens.data(), nullptr, wantErrors ? TRUE : FALSE,
                                                         &text);
  }
  if (text) {
    try {
      messages += text;
    } catch (...) {
      HeapFree(GetProcessHeap(), 0, text);
      throw;
    }
    HeapFree(GetProcessHeap(), 0, text);
  }
  return hr;
}

HRESULT Assemble(const char* src, UINT len, DWORD flags, ID3DXBuffer** constants, ID3DXBuffer** shader,
                 ID3DXBuffer** errors) {
  qvasm::Context ctx(src, len, (flags & D3DXASM_DEBUG) != 0);
  qvasmparse(ctx);

  std::string messages;
  for (const std::string& line : ctx.errorLines) {
    messages += line;
    messages += '\n';
  }

  HRESULT result = S_OK;
  if (ctx.error) {
    result = D3DXERR_INVALIDDATA;
  } else {
    const bool vertex = ctx.kind == qvasm::ShaderKind::Vertex;
    if (constants && vertex && !ctx.consts.empty()) {
      HRESULT hr = MakeBuffer(ctx.consts.data(), ctx.consts.size() * sizeof(DWORD), constants);
      if (FAILED(hr)) throw std::bad_alloc();
    }
    // The stream is built even when the caller does not want it, so that
    // validation always sees it.
    const std::vector<DWORD> tokens = LayOut(ctx);
    if (shader) {
      HRESULT hr = MakeBuffer(tokens.data(), tokens.size() * sizeof(DWORD), shader);
      if (FAILED(hr)) throw std::bad_alloc();
    }
    if (!(flags & D3DXASM_SKIPVALIDATION)) {
      HRESULT hr = Validate(vertex, tokens, errors != nullptr, messages);
      if (FAILED(hr)) result = hr;
    }
  }

  if (errors && !messages.empty()) {
    HRESULT hr = MakeBuffer(messages.c_str(), messages.size() + 1, errors);
    if (FAILED(hr)) throw std::bad_alloc();
  }
  return result;
}

void ReleaseOut(ID3DXBuffer** buffer) {
  if (buffer && *buffer) {
    (*buffer)->Release();
    *buffer = nullptr;
  }
}

}  // namespace

HRESULT D3DXAssembleShader(LPCVOID src, UINT len, DWORD flags, ID3DXBuffer** constants, ID3DXBuffer** shader,
                           ID3DXBuffer** errors) {
  if (constants) *constants = nullptr;
  if (shader) *shader = nullptr;
  if (errors) *errors = nullptr;
  if (!src || len == 0) return D3DERR_INVALIDCALL;
  HRESULT hr = E_FAIL;
  try {
    return Assemble(static_cast<const char*>(src), len, flags, constants, shader, errors);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_FAIL;
  }
  ReleaseOut(constants);
  ReleaseOut(shader);
  ReleaseOut(errors);
  return hr;
}
