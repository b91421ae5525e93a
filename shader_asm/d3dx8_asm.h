// The shader assembler of the Direct3D extension library: turns vs.1.x and
// ps.1.x program texts into Direct3D 8 shader token streams.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/win32/win32_types.h"
#include "texture_io/d3dx8_errors.h"

// {932E6A7E-C68E-45DD-A7BF-53D19C86DB1F}
inline constexpr GUID IID_ID3DXBuffer = {
    0x932E6A7Eu, 0xC68E, 0x45DD, {0xA7, 0xBF, 0x53, 0xD1, 0x9C, 0x86, 0xDB, 0x1F}};

// A reference-counted block of bytes handed out by the extension library.
struct ID3DXBuffer : public IUnknown {
  virtual LPVOID GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;

 protected:
  ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;

// Creates a zero-filled buffer of `size` bytes with a reference count of 1.
// E_OUTOFMEMORY when it cannot be allocated, D3DERR_INVALIDCALL when
// `buffer` is null.
HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer);

// Flags of D3DXAssembleShader.
constexpr DWORD D3DXASM_DEBUG = 1;           // put TEXT/FILE/LINE comment blocks into the stream
constexpr DWORD D3DXASM_SKIPVALIDATION = 2;  // do not call the runtime's shader validators

// Assembles `len` bytes of shader text at `src` (no terminating zero needed).
// On success `shader` receives the token stream and, for vertex shaders with
// `def` statements, `constants` the vertex declaration fragments; `errors`
// receives the message lines whenever there were any. Every given out-pointer
// is set to null first.
HRESULT D3DXAssembleShader(LPCVOID src, UINT len, DWORD flags, ID3DXBuffer** constants, ID3DXBuffer** shader,
                           ID3DXBuffer** errors);

// The shader validators that the assembler looks up in the built-in module
// "d3d8.dll" (GetProcAddress "ValidateVertexShader" / "ValidatePixelShader").
// The assembler passes null for the declaration and the caps. When
// `bReturnErrors` is true a validator may store an error text in *ppErrors,
// allocated with HeapAlloc(GetProcessHeap(), ...); the assembler appends it to
// its error lines and frees it with HeapFree.
using QvValidateShaderFn = HRESULT (*)(const DWORD* pFunction, const DWORD* pDeclaration,
                                       const D3DCAPS8* pCaps, BOOL bReturnErrors, char** ppErrors);
using QvValidatePixelShaderFn = HRESULT (*)(const DWORD* pFunction, const D3DCAPS8* pCaps, BOOL bReturnErrors,
                                            char** ppErrors);
