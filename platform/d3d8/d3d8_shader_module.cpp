// The "d3d8.dll" module: the shader validators the assembler finds with
// GetProcAddress, and Direct3DCreate8 once the device layer has named it.
// Nothing here needs GL, so the assembler tool validates without a device.
#include <cstring>
#include <string>

#include "platform/d3d8/d3d8_shader.h"

namespace qv::d3d8 {
namespace {

// Copies a message into process-heap memory for a validator's caller, who
// frees it with HeapFree.
char* HeapString(const std::string& text) {
  char* p = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, text.size() + 1));
  if (p) std::memcpy(p, text.c_str(), text.size() + 1);
  return p;
}

HRESULT FinishValidation(bool ok, const std::string& error, BOOL returnErrors, char** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (!ok && returnErrors && ppErrors) *ppErrors = HeapString(error + "\n");
  return ok ? D3D_OK : D3DERR_INVALIDCALL;
}

// Refuses a program whose version is above the one the caps report.
bool WithinCaps(bool ok, DWORD capsVersion, const ShaderProgram& program, std::string& error) {
  if (ok && (capsVersion & 0xFFFF) < ((program.major << 8) | program.minor)) {
    error = "shader version is above the version the caps report";
    return false;
  }
  return ok;
}

FARPROC s_create = nullptr;

}  // namespace

void RegisterModule(FARPROC create) {
  if (create) s_create = create;
  const Win32Export exports[] = {
      {"ValidateVertexShader", reinterpret_cast<FARPROC>(&ValidateVertexShader)},
      {"ValidatePixelShader", reinterpret_cast<FARPROC>(&ValidatePixelShader)},
      {"Direct3DCreate8", s_create},
  };
  Win32RegisterModule("d3d8.dll", exports, s_create ? 3 : 2);
}

}  // namespace qv::d3d8

using namespace qv::d3d8;

HRESULT ValidateVertexShader(const DWORD* pFunction, const DWORD* pDeclaration, const D3DCAPS8* pCaps,
                             BOOL bReturnErrors, char** ppErrors) {
  ShaderProgram program;
  std::string error;
  bool ok = ParseShader(pFunction, false, program, error);
  if (pCaps) ok = WithinCaps(ok, pCaps->VertexShaderVersion, program, error);
  if (ok && pDeclaration) {
    VertexDeclaration decl;
    ok = ParseDeclaration(pDeclaration, decl, error);
  }
  return FinishValidation(ok, error, bReturnErrors, ppErrors);
}

HRESULT ValidatePixelShader(const DWORD* pFunction, const D3DCAPS8* pCaps, BOOL bReturnErrors,
                            char** ppErrors) {
  ShaderProgram program;
  std::string error;
  bool ok = ParseShader(pFunction, true, program, error);
  if (pCaps) ok = WithinCaps(ok, pCaps->PixelShaderVersion, program, error);
  return FinishValidation(ok, error, bReturnErrors, ppErrors);
}

void QvD3D8RegisterModule() { RegisterModule(nullptr); }
