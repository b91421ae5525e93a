// The in-memory Direct3D 8 of the tests: a Direct3D object with configurable
// caps and a configurable set of accepted texture formats, and one device
// that keeps textures, surfaces, vertex and index buffers in system memory
// and records the calls the system makes on it, in order (state and texture
// settings, shader creation, selection and constants, stream and index
// bindings and indexed draws). Nothing is drawn. Counters let tests check
// that every object made was released again, and failures can be injected
// (creation results, locks after a count or per buffer, shader creation).
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace qv::test {

// Bytes of one row of pixels (of 4x4 blocks for DXT formats) and the number
// of such rows for a level of the given size; 0 for formats the fake cannot
// store.
UINT FakeFormatPitch(D3DFORMAT format, UINT width);
UINT FakeFormatRows(D3DFORMAT format, UINT height);

struct FakeD3DConfig {
  FakeD3DConfig();

  D3DCAPS8 caps;                       // starts mipmapped, 4096 x 4096, no other limit
  std::set<D3DFORMAT> textureFormats;  // accepted by CheckDeviceFormat for textures
  D3DFORMAT displayFormat = D3DFMT_R5G6B5;

  // Failure injection: a non-zero code is returned by the next calls.
  HRESULT createTextureResult = D3D_OK;
  HRESULT updateTextureResult = D3D_OK;
  int failLockAfter = -1;  // >= 0: that many locks succeed, then every one fails
  HRESULT createVertexBufferResult = D3D_OK;
  HRESULT createIndexBufferResult = D3D_OK;
  HRESULT createShaderResult = D3D_OK;  // returned by both Create*Shader

  // The usual colour formats of a desktop card (no palette, bump or DXT).
  static std::set<D3DFORMAT> CommonFormats();
};

// Counts shared by every fake object made from one FakeDirect3D8.
struct FakeCounters {
  int liveTextures = 0;
  int texturesCreated = 0;
  int updateTextureCalls = 0;
  int checkFormatCalls = 0;
  int locks = 0;
  int lockedNow = 0;
  std::vector<D3DPOOL> createdPools;
  int liveBuffers = 0;
  int vertexBuffersCreated = 0;
  int indexBuffersCreated = 0;
};

// A vertex or index buffer in system memory. One the device makes counts in
// its counters, follows its lock failures and is deleted at its last
// Release; one a test makes itself (FakeBuffer(bytes)) belongs to the test.
// Lock hands out the stored bytes for the range asked (size 0: the rest of
// the buffer) and remembers the last range and flags asked for.
template <class Interface, class Desc>
class FakeBuffer final : public Interface {
 public:
  static constexpr bool kVertex = std::is_same_v<Interface, IDirect3DVertexBuffer8>;

  explicit FakeBuffer(UINT bytes) : FakeBuffer(nullptr, nullptr, nullptr, DescOf(bytes)) {}
  FakeBuffer(IDirect3DDevice8* device, FakeCounters* counters, const FakeD3DConfig* config, const Desc& desc)
      : m_bytes(desc.Size, 0), m_device(device), m_counters(counters), m_config(config), m_desc(desc) {
    if (m_counters) ++m_counters->liveBuffers;
  }
  ~FakeBuffer() {
    if (m_counters) --m_counters->liveBuffers;
  }

  std::vector<BYTE> m_bytes;
  bool m_failLock = false;  // every lock fails while set
  int m_locks = 0;          // Lock calls, failed ones included
  int m_unlocks = 0;        // Unlock calls
  UINT m_lastLockOffset = 0;
  UINT m_lastLockSize = 0;
  DWORD m_lastLockFlags = 0;

  const Desc& Description() const { return m_desc; }

  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG r = m_refs > 0 ? --m_refs : 0;
    if (r == 0 && m_device) {
      IDirect3DDevice8* device = m_device;
      delete this;
      device->Release();
    }
    return r;
  }
  HRESULT GetDevice(IDirect3DDevice8** ppDevice) override {
    if (!ppDevice || !m_device) return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *ppDevice = m_device;
    return D3D_OK;
  }
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return m_desc.Type; }
  HRESULT Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) override {
    ++m_locks;
    m_lastLockOffset = offset;
    m_lastLockSize = size;
    m_lastLockFlags = flags;
    if (!ppData) return D3DERR_INVALIDCALL;
    *ppData = nullptr;
    const UINT total = static_cast<UINT>(m_bytes.size());
    if (m_failLock || m_locked || offset > total) return D3DERR_INVALIDCALL;
    if (size == 0) size = total - offset;
    if (size > total - offset) return D3DERR_INVALIDCALL;
    if (m_counters && m_config && m_config->failLockAfter >= 0 &&
        m_counters->locks >= m_config->failLockAfter)
      return D3DERR_INVALIDCALL;
    if (m_counters) ++m_counters->locks;
    m_locked = true;
    *ppData = m_bytes.data() + offset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    ++m_unlocks;
    if (!m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    return D3D_OK;
  }
  HRESULT GetDesc(Desc* pDesc) override {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = m_desc;
    return D3D_OK;
  }

 private:
  static Desc DescOf(UINT bytes) {
    Desc d{};
    d.Format = kVertex ? D3DFMT_VERTEXDATA : D3DFMT_INDEX16;
    d.Type = kVertex ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
    d.Pool = D3DPOOL_MANAGED;
    d.Size = bytes;
    return d;
  }

  ULONG m_refs = 1;
  IDirect3DDevice8* m_device;  // null for a buffer of the test's own
  FakeCounters* m_counters;
  const FakeD3DConfig* m_config;
  Desc m_desc;
  bool m_locked = false;
};

using FakeVertexBuffer = FakeBuffer<IDirect3DVertexBuffer8, D3DVERTEXBUFFER_DESC>;
using FakeIndexBuffer = FakeBuffer<IDirect3DIndexBuffer8, D3DINDEXBUFFER_DESC>;

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

class FakeDirect3D8;

// The device. A test may keep one where it likes (FakeDevice device;): it
// then has a Direct3D object of its own with the given config, and releases
// never delete it. One made by FakeDirect3D8 (CreateDevice, MakeDevice)
// shares that object's config and counters and is deleted at its last
// Release.
class FakeDevice final : public IDirect3DDevice8 {
 public:
  explicit FakeDevice(const FakeD3DConfig& config = FakeD3DConfig());
  FakeDevice(FakeDirect3D8* d3d, bool deleteAtLastRelease);
  ~FakeDevice();
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  FakeD3DConfig& Config();
  FakeCounters& Counters();

  // The log of recorded calls and its views.
  std::vector<RecordedCall> calls;
  DWORD nextHandle = 0x100;         // handle a successful shader creation hands out
  std::vector<DWORD> lastFunction;  // first tokens of the last token stream
  void Clear() { calls.clear(); }
  std::vector<std::string> Ops() const;
  int Count(const std::string& op) const;
  std::vector<RecordedDraw> Draws() const;
  std::vector<RecordedStageState> StageStates() const;
  // The last matrix given to SetTransform for a state; false if none was.
  bool Transform(D3DTRANSFORMSTATETYPE state, D3DMATRIX& matrix) const;

  HRESULT QueryInterface(REFIID, void** ppv) override;
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override;
  HRESULT GetDirect3D(IDirect3D8** ppD3D) override;
  HRESULT GetDeviceCaps(D3DCAPS8* pCaps) override;
  HRESULT GetDisplayMode(D3DDISPLAYMODE* pMode) override;

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** ppTexture) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer8** ppVB) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer8** ppIB) override;
  HRESULT UpdateTexture(IDirect3DBaseTexture8* pSource, IDirect3DBaseTexture8* pDest) override;

  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
  HRESULT BeginScene() override { return D3D_OK; }
  HRESULT EndScene() override { return D3D_OK; }
  HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return D3D_OK; }
  HRESULT SetViewport(const D3DVIEWPORT8* pViewport) override;
  HRESULT GetViewport(D3DVIEWPORT8* pViewport) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* pMatrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* pMatrix) override;
  HRESULT SetMaterial(const D3DMATERIAL8*) override { return D3D_OK; }
  HRESULT GetMaterial(D3DMATERIAL8*) override { return D3DERR_INVALIDCALL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3DERR_INVALIDCALL; }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* pTexture) override;
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture8** pp) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override {
    return D3DERR_INVALIDCALL;
  }

  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* pVB, UINT stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer8* pIB, UINT baseVertexIndex) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return D3D_OK; }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                               UINT primitiveCount) override;

  HRESULT CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle,
                             DWORD usage) override;
  HRESULT SetVertexShader(DWORD handle) override;
  HRESULT GetVertexShader(DWORD*) override { return D3DERR_INVALIDCALL; }
  HRESULT DeleteVertexShader(DWORD handle) override;
  HRESULT SetVertexShaderConstant(DWORD reg, const void* pData, DWORD count) override;
  HRESULT GetVertexShaderConstant(DWORD, void*, DWORD) override { return D3DERR_INVALIDCALL; }
  HRESULT CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) override;
  HRESULT SetPixelShader(DWORD handle) override;
  HRESULT GetPixelShader(DWORD*) override { return D3DERR_INVALIDCALL; }
  HRESULT DeletePixelShader(DWORD handle) override;
  HRESULT SetPixelShaderConstant(DWORD reg, const void* pData, DWORD count) override;
  HRESULT GetPixelShaderConstant(DWORD, void*, DWORD) override { return D3DERR_INVALIDCALL; }

 private:
  RecordedCall& Record(const char* op, DWORD value, const void* pointer = nullptr);
  HRESULT RecordShader(const char* op, DWORD value, const void* pointer, const DWORD* function,
                       DWORD* pHandle);
  HRESULT RecordConstant(const char* op, DWORD reg, const void* p, DWORD count);

  ULONG m_refs = 1;
  bool m_deleteAtLastRelease;
  FakeDirect3D8* m_d3d;
  std::map<D3DTRANSFORMSTATETYPE, D3DMATRIX> m_transforms;
  D3DVIEWPORT8 m_viewport{0, 0, 1024, 768, 0.0f, 1.0f};
  IDirect3DIndexBuffer8* m_indices = nullptr;
  UINT m_baseVertex = 0;
  IDirect3DVertexBuffer8* m_stream = nullptr;
};

// The fake Direct3D object. Create it with new; it deletes itself at its
// last Release. CreateDevice makes a FakeDevice sharing its config.
class FakeDirect3D8 final : public IDirect3D8 {
 public:
  explicit FakeDirect3D8(const FakeD3DConfig& config = FakeD3DConfig());

  FakeD3DConfig& Config() { return m_config; }
  FakeCounters& Counters() { return m_counters; }
  // A device without a window, as CreateDevice makes it.
  FakeDevice* MakeDevice();

  HRESULT QueryInterface(REFIID, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* pMode) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* pCaps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND hFocusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* pParams, IDirect3DDevice8** ppDevice) override;

 private:
  ~FakeDirect3D8() = default;
  ULONG m_refs = 1;
  FakeD3DConfig m_config;
  FakeCounters m_counters;
};

// Reads a level of a fake texture as bytes (rows packed by FakeFormatPitch).
// False for anything that is not a fake texture or a level it lacks.
bool FakeTextureLevel(IDirect3DTexture8* texture, UINT level, std::vector<std::uint8_t>& bytes,
                      D3DSURFACE_DESC& desc);

// The bytes of a fake vertex or index buffer and its description; false for
// anything that is not a fake buffer.
bool FakeVertexBufferBytes(IDirect3DVertexBuffer8* buffer, std::vector<std::uint8_t>& bytes,
                           D3DVERTEXBUFFER_DESC& desc);
bool FakeIndexBufferBytes(IDirect3DIndexBuffer8* buffer, std::vector<std::uint8_t>& bytes,
                          D3DINDEXBUFFER_DESC& desc);

}  // namespace qv::test
