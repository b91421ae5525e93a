// A Direct3D 8 device for the view tests that records the drawing calls the
// terrain makes, with index and vertex buffers in plain memory whose locks
// can be made to fail. Texture creation and the queries the texture loader
// needs are handed to an inner device when one is given.
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
  HRESULT GetDevice(IDirect3DDevice8** ppDevice) override { return D3DERR_INVALIDCALL; }
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

// One recorded draw with the state it was issued under.
struct RecordedDraw {
  D3DPRIMITIVETYPE type;
  UINT minIndex, numVertices, startIndex, primitiveCount;
  IDirect3DIndexBuffer8* indices;
  UINT baseVertex;
  IDirect3DVertexBuffer8* stream;
  std::vector<unsigned short> uploaded;  // index buffer contents at draw time (first 2 x 3 x prims)
};

struct RecordedStageState {
  DWORD stage;
  D3DTEXTURESTAGESTATETYPE type;
  DWORD value;
};

class RecordingDevice final : public IDirect3DDevice8 {
 public:
  explicit RecordingDevice(IDirect3DDevice8* inner = nullptr) : m_inner(inner) {}

  std::vector<RecordedDraw> m_draws;
  std::vector<RecordedStageState> m_stageStates;
  std::vector<std::string> m_calls;  // every drawing-related call by name, in order
  int m_streamSets = 0;
  IDirect3DIndexBuffer8* m_indices = nullptr;
  UINT m_baseVertex = 0;
  IDirect3DVertexBuffer8* m_stream = nullptr;

  void Clear() {
    m_draws.clear();
    m_stageStates.clear();
    m_calls.clear();
    m_streamSets = 0;
  }

  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }

  HRESULT GetDirect3D(IDirect3D8** pp) override {
    return m_inner ? m_inner->GetDirect3D(pp) : D3DERR_INVALIDCALL;
  }
  HRESULT GetDeviceCaps(D3DCAPS8* p) override {
    return m_inner ? m_inner->GetDeviceCaps(p) : D3DERR_INVALIDCALL;
  }
  HRESULT GetDisplayMode(D3DDISPLAYMODE* p) override {
    return m_inner ? m_inner->GetDisplayMode(p) : D3DERR_INVALIDCALL;
  }
  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** pp) override {
    return m_inner ? m_inner->CreateTexture(w, h, levels, usage, format, pool, pp)
                   : D3DERR_INVALIDCALL;
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
  std::vector<std::unique_ptr<MemoryVertexBuffer>> m_vertexBuffers;
  std::vector<std::unique_ptr<MemoryIndexBuffer>> m_indexBuffers;
  HRESULT UpdateTexture(IDirect3DBaseTexture8* s, IDirect3DBaseTexture8* d) override {
    return m_inner ? m_inner->UpdateTexture(s, d) : D3DERR_INVALIDCALL;
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
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override {
    m_calls.push_back("SetRenderState");
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3D_OK; }
  HRESULT SetTexture(DWORD, IDirect3DBaseTexture8*) override {
    m_calls.push_back("SetTexture");
    return D3D_OK;
  }
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture8**) override { return D3D_OK; }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    m_calls.push_back("SetTextureStageState");
    m_stageStates.push_back({stage, type, value});
    return D3D_OK;
  }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return D3D_OK; }

  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* vb, UINT stride) override {
    m_calls.push_back("SetStreamSource");
    if (stream != 0 || stride != 68) return D3DERR_INVALIDCALL;
    ++m_streamSets;
    m_stream = vb;
    return D3D_OK;
  }
  HRESULT SetIndices(IDirect3DIndexBuffer8* ib, UINT base) override {
    m_calls.push_back("SetIndices");
    m_indices = ib;
    m_baseVertex = base;
    return D3D_OK;
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return D3D_OK; }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                               UINT startIndex, UINT prims) override {
    m_calls.push_back("DrawIndexedPrimitive");
    RecordedDraw d{type, minIndex, numVertices, startIndex, prims, m_indices, m_baseVertex, m_stream, {}};
    if (auto* ib = dynamic_cast<MemoryIndexBuffer*>(m_indices)) {
      const size_t n = type == D3DPT_TRIANGLESTRIP ? prims + 2 : prims * 3;
      const size_t have = ib->m_bytes.size() / 2;
      d.uploaded.resize(n < have ? n : have);
      std::memcpy(d.uploaded.data(), ib->m_bytes.data(), d.uploaded.size() * 2);
    }
    m_draws.push_back(std::move(d));
    return D3D_OK;
  }

  HRESULT CreateVertexShader(const DWORD*, const DWORD*, DWORD* h, DWORD) override {
    if (h) *h = 1;
    return D3D_OK;
  }
  HRESULT SetVertexShader(DWORD) override {
    m_calls.push_back("SetVertexShader");
    return D3D_OK;
  }
  HRESULT GetVertexShader(DWORD*) override { return D3D_OK; }
  HRESULT DeleteVertexShader(DWORD) override { return D3D_OK; }
  HRESULT SetVertexShaderConstant(DWORD, const void*, DWORD) override { return D3D_OK; }
  HRESULT GetVertexShaderConstant(DWORD, void*, DWORD) override { return D3D_OK; }
  HRESULT CreatePixelShader(const DWORD*, DWORD* h) override {
    if (h) *h = 1;
    return D3D_OK;
  }
  HRESULT SetPixelShader(DWORD) override {
    m_calls.push_back("SetPixelShader");
    return D3D_OK;
  }
  HRESULT GetPixelShader(DWORD*) override { return D3D_OK; }
  HRESULT DeletePixelShader(DWORD) override { return D3D_OK; }
  HRESULT SetPixelShaderConstant(DWORD, const void*, DWORD) override { return D3D_OK; }
  HRESULT GetPixelShaderConstant(DWORD, void*, DWORD) override { return D3D_OK; }

 private:
  IDirect3DDevice8* m_inner;
};

}  // namespace qv::test
