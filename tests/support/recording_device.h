// A Direct3D 8 device that records the calls the system makes on it in one
// log, in order: state and texture settings, shader creation, selection and
// constants, stream and index bindings and indexed draws. Vertex and index
// buffers live in plain memory whose locks can be made to fail. Texture
// creation and the queries the texture loader needs go to an inner device
// (the in-memory fake) when one is given, and are refused otherwise; the
// remaining setters succeed without effect.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace qv::test {

// Buffer memory shared by the two buffer kinds.
template <class Interface, class Desc>
class MemoryBuffer final : public Interface {
 public:
  explicit MemoryBuffer(UINT bytes) : m_bytes(bytes, 0) {}

  std::vector<BYTE> m_bytes;
  bool m_failLock = false;
  int m_locks = 0;
  int m_unlocks = 0;
  UINT m_lastLockOffset = 0;
  UINT m_lastLockSize = 0;
  DWORD m_lastLockFlags = 0;

  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetDevice(IDirect3DDevice8**) override { return D3DERR_INVALIDCALL; }
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) override {
    ++m_locks;
    m_lastLockOffset = offset;
    m_lastLockSize = size;
    m_lastLockFlags = flags;
    if (m_failLock || !ppData || offset > m_bytes.size() || size > m_bytes.size() - offset) {
      return D3DERR_INVALIDCALL;
    }
    *ppData = m_bytes.data() + offset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    ++m_unlocks;
    return D3D_OK;
  }
  HRESULT GetDesc(Desc* pDesc) override {
    if (!pDesc) return D3DERR_INVALIDCALL;
    std::memset(pDesc, 0, sizeof *pDesc);
    pDesc->Size = static_cast<UINT>(m_bytes.size());
    return D3D_OK;
  }
};

using MemoryIndexBuffer = MemoryBuffer<IDirect3DIndexBuffer8, D3DINDEXBUFFER_DESC>;
using MemoryVertexBuffer = MemoryBuffer<IDirect3DVertexBuffer8, D3DVERTEXBUFFER_DESC>;

// An indexed draw with the bindings it was issued under.
struct RecordedDraw {
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
  UINT minIndex = 0, numVertices = 0, startIndex = 0, primitiveCount = 0;
  IDirect3DIndexBuffer8* indices = nullptr;
  UINT baseVertex = 0;
  IDirect3DVertexBuffer8* stream = nullptr;
  std::vector<unsigned short> uploaded;  // the index buffer's first indices at draw time
};

struct RecordedStageState {
  DWORD stage;
  D3DTEXTURESTAGESTATETYPE type;
  DWORD value;
};

struct RecordedCall {
  std::string op;                 // the operation's name
  DWORD value = 0;                // register, stage, state, handle, stream or base vertex
  DWORD type = 0;                 // texture stage state type
  DWORD arg = 0;                  // state value or stride
  std::vector<float> data;        // constant data (4 floats per register)
  const void* pointer = nullptr;  // texture, buffer, declaration or token stream
  RecordedDraw draw;              // DrawIndexedPrimitive only
};

class RecordingDevice final : public IDirect3DDevice8 {
 public:
  explicit RecordingDevice(IDirect3DDevice8* inner = nullptr) : m_inner(inner) {}

  std::vector<RecordedCall> calls;
  HRESULT createResult = D3D_OK;    // returned by both Create*Shader
  DWORD nextHandle = 0x100;         // handle a successful shader creation hands out
  std::vector<DWORD> lastFunction;  // first tokens of the last token stream

  void Clear() { calls.clear(); }

  // Views of the log.
  std::vector<std::string> Ops() const {
    std::vector<std::string> ops;
    for (const RecordedCall& c : calls) ops.push_back(c.op);
    return ops;
  }
  int Count(const std::string& op) const {
    int n = 0;
    for (const RecordedCall& c : calls) n += c.op == op;
    return n;
  }
  std::vector<RecordedDraw> Draws() const {
    std::vector<RecordedDraw> draws;
    for (const RecordedCall& c : calls)
      if (c.op == "DrawIndexedPrimitive") draws.push_back(c.draw);
    return draws;
  }
  std::vector<RecordedStageState> StageStates() const {
    std::vector<RecordedStageState> states;
    for (const RecordedCall& c : calls)
      if (c.op == "SetTextureStageState")
        states.push_back({c.value, static_cast<D3DTEXTURESTAGESTATETYPE>(c.type), c.arg});
    return states;
  }

  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }

  HRESULT GetDirect3D(IDirect3D8** pp) override { return m_inner ? m_inner->GetDirect3D(pp) : D3DERR_INVALIDCALL; }
  HRESULT GetDeviceCaps(D3DCAPS8* p) override { return m_inner ? m_inner->GetDeviceCaps(p) : D3DERR_INVALIDCALL; }
  HRESULT GetDisplayMode(D3DDISPLAYMODE* p) override {
    return m_inner ? m_inner->GetDisplayMode(p) : D3DERR_INVALIDCALL;
  }
  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** pp) override {
    return m_inner ? m_inner->CreateTexture(w, h, levels, usage, format, pool, pp) : D3DERR_INVALIDCALL;
  }
  HRESULT UpdateTexture(IDirect3DBaseTexture8* s, IDirect3DBaseTexture8* d) override {
    return m_inner ? m_inner->UpdateTexture(s, d) : D3DERR_INVALIDCALL;
  }
  // Buffers live as long as the device.
  HRESULT CreateVertexBuffer(UINT length, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8** pp) override {
    if (!pp || length == 0) return D3DERR_INVALIDCALL;
    m_vertexBuffers.push_back(std::make_unique<MemoryVertexBuffer>(length));
    *pp = m_vertexBuffers.back().get();
    return D3D_OK;
  }
  HRESULT CreateIndexBuffer(UINT length, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer8** pp) override {
    if (!pp || length == 0) return D3DERR_INVALIDCALL;
    m_indexBuffers.push_back(std::make_unique<MemoryIndexBuffer>(length));
    *pp = m_indexBuffers.back().get();
    return D3D_OK;
  }

  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
  HRESULT BeginScene() override { return D3D_OK; }
  HRESULT EndScene() override { return D3D_OK; }
  HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return D3D_OK; }
  HRESULT SetViewport(const D3DVIEWPORT8*) override { return D3D_OK; }
  HRESULT GetViewport(D3DVIEWPORT8*) override { return D3D_OK; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return D3D_OK; }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return D3D_OK; }
  HRESULT SetMaterial(const D3DMATERIAL8*) override { return D3D_OK; }
  HRESULT GetMaterial(D3DMATERIAL8*) override { return D3D_OK; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    Record("SetRenderState", state).arg = value;
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3D_OK; }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* t) override {
    Record("SetTexture", stage, t);
    return D3D_OK;
  }
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture8**) override { return D3D_OK; }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    RecordedCall& c = Record("SetTextureStageState", stage);
    c.type = type;
    c.arg = value;
    return D3D_OK;
  }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return D3D_OK; }

  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* vb, UINT stride) override {
    Record("SetStreamSource", stream, vb).arg = stride;
    if (stream != 0) return D3DERR_INVALIDCALL;
    m_stream = vb;
    return D3D_OK;
  }
  HRESULT SetIndices(IDirect3DIndexBuffer8* ib, UINT base) override {
    Record("SetIndices", base, ib);
    m_indices = ib;
    m_baseVertex = base;
    return D3D_OK;
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return D3D_OK; }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                               UINT prims) override {
    RecordedDraw& d = Record("DrawIndexedPrimitive", type).draw;
    d = {type, minIndex, numVertices, startIndex, prims, m_indices, m_baseVertex, m_stream, {}};
    if (auto* ib = dynamic_cast<MemoryIndexBuffer*>(m_indices)) {
      const size_t n = type == D3DPT_TRIANGLESTRIP ? prims + 2 : prims * 3;
      const size_t have = ib->m_bytes.size() / 2;
      d.uploaded.resize(n < have ? n : have);
      std::memcpy(d.uploaded.data(), ib->m_bytes.data(), d.uploaded.size() * 2);
    }
    return D3D_OK;
  }

  HRESULT CreateVertexShader(const DWORD* decl, const DWORD* function, DWORD* pHandle, DWORD usage) override {
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
  HRESULT SetVertexShader(DWORD h) override { return Record("SetVertexShader", h), D3D_OK; }
  HRESULT DeleteVertexShader(DWORD h) override { return Record("DeleteVertexShader", h), D3D_OK; }
  HRESULT SetPixelShader(DWORD h) override { return Record("SetPixelShader", h), D3D_OK; }
  HRESULT DeletePixelShader(DWORD h) override { return Record("DeletePixelShader", h), D3D_OK; }
  HRESULT SetVertexShaderConstant(DWORD reg, const void* p, DWORD count) override {
    return RecordConstant("SetVertexShaderConstant", reg, p, count);
  }
  HRESULT SetPixelShaderConstant(DWORD reg, const void* p, DWORD count) override {
    return RecordConstant("SetPixelShaderConstant", reg, p, count);
  }
  HRESULT GetVertexShader(DWORD*) override { return D3D_OK; }
  HRESULT GetVertexShaderConstant(DWORD, void*, DWORD) override { return D3D_OK; }
  HRESULT GetPixelShader(DWORD*) override { return D3D_OK; }
  HRESULT GetPixelShaderConstant(DWORD, void*, DWORD) override { return D3D_OK; }

  std::vector<std::unique_ptr<MemoryVertexBuffer>> m_vertexBuffers;
  std::vector<std::unique_ptr<MemoryIndexBuffer>> m_indexBuffers;

 private:
  RecordedCall& Record(const char* op, DWORD value, const void* pointer = nullptr) {
    calls.emplace_back();
    calls.back().op = op;
    calls.back().value = value;
    calls.back().pointer = pointer;
    return calls.back();
  }
  HRESULT RecordConstant(const char* op, DWORD reg, const void* p, DWORD count) {
    RecordedCall& c = Record(op, reg, p);
    c.data.resize(4 * count);
    std::memcpy(c.data.data(), p, 16 * count);
    return D3D_OK;
  }

  IDirect3DDevice8* m_inner;
  IDirect3DIndexBuffer8* m_indices = nullptr;
  UINT m_baseVertex = 0;
  IDirect3DVertexBuffer8* m_stream = nullptr;
};

}  // namespace qv::test
