// A device that records the shader, constant and texture calls made on it,
// in order, and answers every other operation with D3DERR_INVALIDCALL.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace qv::test {

struct RecordedCall {
  std::string op;            // the operation's name
  DWORD value = 0;           // register, stage or handle
  std::vector<float> data;   // constant data (4 floats per register)
  const void* pointer = nullptr;  // texture, or declaration / token stream
};

class RecordingDevice final : public IDirect3DDevice8 {
 public:
  std::vector<RecordedCall> calls;
  HRESULT createResult = D3D_OK;   // returned by both Create*Shader
  DWORD nextHandle = 0x100;        // handle a successful creation hands out
  std::vector<DWORD> lastFunction;  // first tokens of the last token stream

  HRESULT CreateVertexShader(const DWORD* decl, const DWORD* function, DWORD* pHandle,
                             DWORD usage) override {
    lastFunction.assign(function, function + 2);
    Record("CreateVertexShader", usage, decl);
    if (createResult < 0) return createResult;
    *pHandle = nextHandle;
    return D3D_OK;
  }
  HRESULT CreatePixelShader(const DWORD* function, DWORD* pHandle) override {
    lastFunction.assign(function, function + 2);
    Record("CreatePixelShader", 0, function);
    if (createResult < 0) return createResult;
    *pHandle = nextHandle;
    return D3D_OK;
  }
  HRESULT SetVertexShader(DWORD h) override { return Record("SetVertexShader", h); }
  HRESULT DeleteVertexShader(DWORD h) override { return Record("DeleteVertexShader", h); }
  HRESULT SetPixelShader(DWORD h) override { return Record("SetPixelShader", h); }
  HRESULT DeletePixelShader(DWORD h) override { return Record("DeletePixelShader", h); }
  HRESULT SetVertexShaderConstant(DWORD reg, const void* p, DWORD count) override {
    return RecordConstant("SetVertexShaderConstant", reg, p, count);
  }
  HRESULT SetPixelShaderConstant(DWORD reg, const void* p, DWORD count) override {
    return RecordConstant("SetPixelShaderConstant", reg, p, count);
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* t) override {
    return Record("SetTexture", stage, t);
  }

#define QV_REFUSE(sig) \
  HRESULT sig override { return D3DERR_INVALIDCALL; }
  HRESULT QueryInterface(REFIID, void**) override { return D3DERR_INVALIDCALL; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  QV_REFUSE(GetDirect3D(IDirect3D8**))
  QV_REFUSE(GetDeviceCaps(D3DCAPS8*))
  QV_REFUSE(GetDisplayMode(D3DDISPLAYMODE*))
  QV_REFUSE(CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**))
  QV_REFUSE(CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8**))
  QV_REFUSE(CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer8**))
  QV_REFUSE(UpdateTexture(IDirect3DBaseTexture8*, IDirect3DBaseTexture8*))
  QV_REFUSE(Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD))
  QV_REFUSE(BeginScene())
  QV_REFUSE(EndScene())
  QV_REFUSE(Present(const RECT*, const RECT*, HWND, const void*))
  QV_REFUSE(SetViewport(const D3DVIEWPORT8*))
  QV_REFUSE(GetViewport(D3DVIEWPORT8*))
  QV_REFUSE(SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*))
  QV_REFUSE(GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*))
  QV_REFUSE(SetMaterial(const D3DMATERIAL8*))
  QV_REFUSE(GetMaterial(D3DMATERIAL8*))
  QV_REFUSE(SetRenderState(D3DRENDERSTATETYPE, DWORD))
  QV_REFUSE(GetRenderState(D3DRENDERSTATETYPE, DWORD*))
  QV_REFUSE(GetTexture(DWORD, IDirect3DBaseTexture8**))
  QV_REFUSE(SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD))
  QV_REFUSE(GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*))
  QV_REFUSE(SetStreamSource(UINT, IDirect3DVertexBuffer8*, UINT))
  QV_REFUSE(SetIndices(IDirect3DIndexBuffer8*, UINT))
  QV_REFUSE(DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT))
  QV_REFUSE(DrawIndexedPrimitive(D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT))
  QV_REFUSE(GetVertexShader(DWORD*))
  QV_REFUSE(GetVertexShaderConstant(DWORD, void*, DWORD))
  QV_REFUSE(GetPixelShader(DWORD*))
  QV_REFUSE(GetPixelShaderConstant(DWORD, void*, DWORD))
#undef QV_REFUSE

 private:
  HRESULT Record(const char* op, DWORD value, const void* pointer = nullptr) {
    RecordedCall call;
    call.op = op;
    call.value = value;
    call.pointer = pointer;
    calls.push_back(call);
    return D3D_OK;
  }
  HRESULT RecordConstant(const char* op, DWORD reg, const void* p, DWORD count) {
    Record(op, reg, p);
    calls.back().data.resize(4 * count);
    std::memcpy(calls.back().data.data(), p, 16 * count);
    return D3D_OK;
  }
};

}  // namespace qv::test
