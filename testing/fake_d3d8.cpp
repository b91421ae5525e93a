#include "testing/fake_d3d8.h"

#include <cstring>
#include <map>
#include <memory>

namespace qv::test {

namespace {

bool IsDxt(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

UINT BitsPerPixel(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_W11V11U10: return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8P8:
    case D3DFMT_A8L8:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_UYVY:
    case D3DFMT_YUY2: return 16;
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_A4L4: return 8;
    default: return 0;
  }
}

}  // namespace

UINT FakeFormatPitch(D3DFORMAT format, UINT width) {
  if (IsDxt(format)) return ((width + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
  if (format == D3DFMT_UYVY || format == D3DFMT_YUY2) return ((width + 1) / 2) * 4;
  return width * BitsPerPixel(format) / 8;
}

UINT FakeFormatRows(D3DFORMAT format, UINT height) { return IsDxt(format) ? (height + 3) / 4 : height; }

FakeD3DConfig::FakeD3DConfig() : textureFormats(CommonFormats()) {
  std::memset(&caps, 0, sizeof caps);
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_ALPHA;
  caps.MaxTextureWidth = 4096;
  caps.MaxTextureHeight = 4096;
  caps.MaxTextureAspectRatio = 0;
}

std::set<D3DFORMAT> FakeD3DConfig::CommonFormats() {
  return {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
          D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_L8,     D3DFMT_A8L8};
}

class FakeTexture;

class FakeSurface final : public IDirect3DSurface8 {
 public:
  FakeSurface(FakeTexture* owner, UINT level) : m_owner(owner), m_level(level) {}
  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
  HRESULT GetContainer(REFIID, void** ppContainer) override;
  HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
  HRESULT LockRect(D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) override;
  HRESULT UnlockRect() override;

 private:
  FakeTexture* m_owner;
  UINT m_level;
};

class FakeTexture final : public IDirect3DTexture8 {
 public:
  struct Level {
    UINT width, height, pitch, rows;
    std::vector<std::uint8_t> bytes;
    bool locked = false;
  };

  FakeTexture(FakeDevice* device, FakeCounters* counters, FakeD3DConfig* config, D3DFORMAT format,
              D3DPOOL pool, DWORD usage)
      : m_device(device),
        m_counters(counters),
        m_config(config),
        m_format(format),
        m_pool(pool),
        m_usage(usage) {
    ++m_counters->liveTextures;
    ++m_counters->texturesCreated;
    m_counters->createdPools.push_back(pool);
  }

  void AddLevel(UINT w, UINT h) {
    Level l;
    l.width = w;
    l.height = h;
    l.pitch = FakeFormatPitch(m_format, w);
    l.rows = FakeFormatRows(m_format, h);
    // Fill with a pattern so that a level nobody wrote stands out.
    l.bytes.assign(static_cast<size_t>(l.pitch) * l.rows, 0xCD);
    m_levels.push_back(std::move(l));
    m_surfaces.push_back(std::make_unique<FakeSurface>(this, static_cast<UINT>(m_levels.size() - 1)));
  }

  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD SetLOD(DWORD) override { return 0; }
  DWORD GetLOD() override { return 0; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(m_levels.size()); }

  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* pDesc) override {
    if (level >= m_levels.size() || !pDesc) return D3DERR_INVALIDCALL;
    const Level& l = m_levels[level];
    pDesc->Format = m_format;
    pDesc->Type = D3DRTYPE_SURFACE;
    pDesc->Usage = m_usage;
    pDesc->Pool = m_pool;
    pDesc->Size = static_cast<UINT>(l.bytes.size());
    pDesc->MultiSampleType = D3DMULTISAMPLE_NONE;
    pDesc->Width = l.width;
    pDesc->Height = l.height;
    return D3D_OK;
  }

  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** ppSurface) override {
    if (!ppSurface) return D3DERR_INVALIDCALL;
    *ppSurface = nullptr;
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    AddRef();
    *ppSurface = m_surfaces[level].get();
    return D3D_OK;
  }

  HRESULT LockRect(UINT level, D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD) override {
    if (level >= m_levels.size() || !pLocked) return D3DERR_INVALIDCALL;
    Level& l = m_levels[level];
    if (l.locked) return D3DERR_INVALIDCALL;
    if (m_config->failLockAfter >= 0 && m_counters->locks >= m_config->failLockAfter)
      return D3DERR_INVALIDCALL;
    size_t offset = 0;
    if (pRect) {
      if (pRect->left < 0 || pRect->top < 0 || pRect->left >= pRect->right || pRect->top >= pRect->bottom ||
          static_cast<UINT>(pRect->right) > l.width || static_cast<UINT>(pRect->bottom) > l.height)
        return D3DERR_INVALIDCALL;
      offset = static_cast<size_t>(FakeFormatRows(m_format, static_cast<UINT>(pRect->top))) * l.pitch +
               FakeFormatPitch(m_format, static_cast<UINT>(pRect->left));
    }
    ++m_counters->locks;
    ++m_counters->lockedNow;
    l.locked = true;
    pLocked->Pitch = static_cast<INT>(l.pitch);
    pLocked->pBits = l.bytes.data() + offset;
    return D3D_OK;
  }

  HRESULT UnlockRect(UINT level) override {
    if (level >= m_levels.size() || !m_levels[level].locked) return D3DERR_INVALIDCALL;
    m_levels[level].locked = false;
    --m_counters->lockedNow;
    return D3D_OK;
  }

  HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

  D3DFORMAT Format() const { return m_format; }
  D3DPOOL Pool() const { return m_pool; }
  std::vector<Level>& Levels() { return m_levels; }

 private:
  ~FakeTexture() { --m_counters->liveTextures; }

  ULONG m_refs = 1;
  FakeDevice* m_device;
  FakeCounters* m_counters;
  FakeD3DConfig* m_config;
  D3DFORMAT m_format;
  D3DPOOL m_pool;
  DWORD m_usage;
  std::vector<Level> m_levels;
  std::vector<std::unique_ptr<FakeSurface>> m_surfaces;
};

// --- the device ---------------------------------------------------------------------
FakeDevice::FakeDevice(const FakeD3DConfig& config)
    : m_deleteAtLastRelease(false), m_d3d(new FakeDirect3D8(config)) {}

FakeDevice::FakeDevice(FakeDirect3D8* d3d, bool deleteAtLastRelease)
    : m_deleteAtLastRelease(deleteAtLastRelease), m_d3d(d3d) {
  m_d3d->AddRef();
}

FakeDevice::~FakeDevice() { m_d3d->Release(); }

FakeD3DConfig& FakeDevice::Config() { return m_d3d->Config(); }
FakeCounters& FakeDevice::Counters() { return m_d3d->Counters(); }

HRESULT FakeDevice::QueryInterface(REFIID, void** ppv) {
  if (ppv) *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG FakeDevice::Release() {
  const ULONG r = m_refs > 0 ? --m_refs : 0;
  if (r == 0 && m_deleteAtLastRelease) delete this;
  return r;
}

std::vector<std::string> FakeDevice::Ops() const {
  std::vector<std::string> ops;
  for (const RecordedCall& c : calls) ops.push_back(c.op);
  return ops;
}

int FakeDevice::Count(const std::string& op) const {
  int n = 0;
  for (const RecordedCall& c : calls) n += c.op == op;
  return n;
}

std::vector<RecordedDraw> FakeDevice::Draws() const {
  std::vector<RecordedDraw> draws;
  for (const RecordedCall& c : calls)
    if (c.op == "DrawIndexedPrimitive") draws.push_back(c.draw);
  return draws;
}

std::vector<RecordedStageState> FakeDevice::StageStates() const {
  std::vector<RecordedStageState> states;
  for (const RecordedCall& c : calls)
    if (c.op == "SetTextureStageState")
      states.push_back({c.value, static_cast<D3DTEXTURESTAGESTATETYPE>(c.type), c.arg});
  return states;
}

bool FakeDevice::Transform(D3DTRANSFORMSTATETYPE state, D3DMATRIX& matrix) const {
  auto it = m_transforms.find(state);
  if (it == m_transforms.end()) return false;
  matrix = it->second;
  return true;
}

HRESULT FakeDevice::GetDirect3D(IDirect3D8** ppD3D) {
  if (!ppD3D) return D3DERR_INVALIDCALL;
  m_d3d->AddRef();
  *ppD3D = m_d3d;
  return D3D_OK;
}

HRESULT FakeDevice::GetDeviceCaps(D3DCAPS8* pCaps) {
  return m_d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, pCaps);
}

HRESULT FakeDevice::GetDisplayMode(D3DDISPLAYMODE* pMode) {
  return m_d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, pMode);
}

HRESULT FakeDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture8** ppTexture) {
  if (!ppTexture) return D3DERR_INVALIDCALL;
  *ppTexture = nullptr;
  FakeD3DConfig& cfg = Config();
  if (FAILED(cfg.createTextureResult)) return cfg.createTextureResult;
  if (width == 0 || height == 0 || FakeFormatPitch(format, 1) == 0) return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_SYSTEMMEM && !cfg.textureFormats.count(format)) return D3DERR_INVALIDCALL;
  if (width > cfg.caps.MaxTextureWidth || height > cfg.caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
  UINT full = 1;
  for (UINT w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) ++full;
  if (levels == 0 || levels > full) levels = full;
  auto* t = new FakeTexture(this, &Counters(), &cfg, format, pool, usage);
  AddRef();
  UINT w = width, h = height;
  for (UINT i = 0; i < levels; ++i) {
    t->AddLevel(w, h);
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  *ppTexture = t;
  return D3D_OK;
}

HRESULT FakeDevice::UpdateTexture(IDirect3DBaseTexture8* pSource, IDirect3DBaseTexture8* pDest) {
  ++Counters().updateTextureCalls;
  if (FAILED(Config().updateTextureResult)) return Config().updateTextureResult;
  auto* src = dynamic_cast<FakeTexture*>(pSource);
  auto* dst = dynamic_cast<FakeTexture*>(pDest);
  if (!src || !dst || src->Pool() != D3DPOOL_SYSTEMMEM || dst->Pool() != D3DPOOL_DEFAULT ||
      src->Format() != dst->Format() || src->Levels().size() < dst->Levels().size())
    return D3DERR_INVALIDCALL;
  for (size_t i = 0; i < dst->Levels().size(); ++i) {
    if (src->Levels()[i].width != dst->Levels()[i].width ||
        src->Levels()[i].height != dst->Levels()[i].height)
      return D3DERR_INVALIDCALL;
  }
  for (size_t i = 0; i < dst->Levels().size(); ++i) dst->Levels()[i].bytes = src->Levels()[i].bytes;
  return D3D_OK;
}

HRESULT FakeDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer8** pp) {
  if (!pp) return D3DERR_INVALIDCALL;
  *pp = nullptr;
  if (FAILED(Config().createVertexBufferResult)) return Config().createVertexBufferResult;
  if (length == 0 || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  D3DVERTEXBUFFER_DESC desc{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
  *pp = new FakeVertexBuffer(this, &Counters(), &Config(), desc);
  AddRef();
  ++Counters().vertexBuffersCreated;
  return D3D_OK;
}

HRESULT FakeDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer8** pp) {
  if (!pp) return D3DERR_INVALIDCALL;
  *pp = nullptr;
  if (FAILED(Config().createIndexBufferResult)) return Config().createIndexBufferResult;
  if (length == 0 || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  D3DINDEXBUFFER_DESC desc{format, D3DRTYPE_INDEXBUFFER, usage, pool, length};
  *pp = new FakeIndexBuffer(this, &Counters(), &Config(), desc);
  AddRef();
  ++Counters().indexBuffersCreated;
  return D3D_OK;
}

HRESULT FakeDevice::SetViewport(const D3DVIEWPORT8* pViewport) {
  if (!pViewport) return D3DERR_INVALIDCALL;
  m_viewport = *pViewport;
  return D3D_OK;
}

HRESULT FakeDevice::GetViewport(D3DVIEWPORT8* pViewport) {
  if (!pViewport) return D3DERR_INVALIDCALL;
  *pViewport = m_viewport;
  return D3D_OK;
}

HRESULT FakeDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* pMatrix) {
  if (!pMatrix) return D3DERR_INVALIDCALL;
  m_transforms[state] = *pMatrix;
  return D3D_OK;
}

HRESULT FakeDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* pMatrix) {
  return pMatrix && Transform(state, *pMatrix) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  Record("SetRenderState", state).arg = value;
  return D3D_OK;
}

HRESULT FakeDevice::SetTexture(DWORD stage, IDirect3DBaseTexture8* pTexture) {
  Record("SetTexture", stage, pTexture);
  return D3D_OK;
}

HRESULT FakeDevice::GetTexture(DWORD, IDirect3DBaseTexture8** pp) {
  if (pp) *pp = nullptr;
  return D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  RecordedCall& c = Record("SetTextureStageState", stage);
  c.type = type;
  c.arg = value;
  return D3D_OK;
}

HRESULT FakeDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* pVB, UINT stride) {
  Record("SetStreamSource", stream, pVB).arg = stride;
  if (stream != 0) return D3DERR_INVALIDCALL;
  m_stream = pVB;
  return D3D_OK;
}

HRESULT FakeDevice::SetIndices(IDirect3DIndexBuffer8* pIB, UINT baseVertexIndex) {
  Record("SetIndices", baseVertexIndex, pIB);
  m_indices = pIB;
  m_baseVertex = baseVertexIndex;
  return D3D_OK;
}

HRESULT FakeDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                         UINT startIndex, UINT primitiveCount) {
  RecordedDraw& d = Record("DrawIndexedPrimitive", type).draw;
  d = {type, minIndex, numVertices, startIndex, primitiveCount, m_indices, m_baseVertex, m_stream, {}};
  if (auto* ib = dynamic_cast<FakeIndexBuffer*>(m_indices)) {
    const size_t n = type == D3DPT_TRIANGLESTRIP ? primitiveCount + 2 : primitiveCount * 3;
    const size_t have = ib->m_bytes.size() / 2;
    d.uploaded.resize(n < have ? n : have);
    std::memcpy(d.uploaded.data(), ib->m_bytes.data(), d.uploaded.size() * 2);
  }
  return D3D_OK;
}

HRESULT FakeDevice::CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle,
                                       DWORD usage) {
  return RecordShader("CreateVertexShader", usage, pDeclaration, pFunction, pHandle);
}

HRESULT FakeDevice::CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) {
  return RecordShader("CreatePixelShader", 0, pFunction, pFunction, pHandle);
}

HRESULT FakeDevice::SetVertexShader(DWORD handle) { return Record("SetVertexShader", handle), D3D_OK; }
HRESULT FakeDevice::DeleteVertexShader(DWORD handle) { return Record("DeleteVertexShader", handle), D3D_OK; }
HRESULT FakeDevice::SetPixelShader(DWORD handle) { return Record("SetPixelShader", handle), D3D_OK; }
HRESULT FakeDevice::DeletePixelShader(DWORD handle) { return Record("DeletePixelShader", handle), D3D_OK; }

HRESULT FakeDevice::SetVertexShaderConstant(DWORD reg, const void* pData, DWORD count) {
  return RecordConstant("SetVertexShaderConstant", reg, pData, count);
}

HRESULT FakeDevice::SetPixelShaderConstant(DWORD reg, const void* pData, DWORD count) {
  return RecordConstant("SetPixelShaderConstant", reg, pData, count);
}

RecordedCall& FakeDevice::Record(const char* op, DWORD value, const void* pointer) {
  calls.emplace_back();
  calls.back().op = op;
  calls.back().value = value;
  calls.back().pointer = pointer;
  return calls.back();
}

// Both shader kinds: keeps the version and first word of the stream, then
// hands out the next handle unless creation is made to fail.
HRESULT FakeDevice::RecordShader(const char* op, DWORD value, const void* pointer, const DWORD* function,
                                 DWORD* pHandle) {
  Record(op, value, pointer);
  lastFunction.clear();
  if (function) lastFunction.assign(function, function + 2);
  if (!function || !pHandle) return D3DERR_INVALIDCALL;
  if (FAILED(Config().createShaderResult)) return Config().createShaderResult;
  *pHandle = nextHandle;
  return D3D_OK;
}

HRESULT FakeDevice::RecordConstant(const char* op, DWORD reg, const void* p, DWORD count) {
  RecordedCall& c = Record(op, reg, p);
  if (!p) return D3DERR_INVALIDCALL;
  c.data.resize(4 * count);
  std::memcpy(c.data.data(), p, 16 * count);
  return D3D_OK;
}

// --- surfaces: their references are the texture's ------------------------------
ULONG FakeSurface::AddRef() { return m_owner->AddRef(); }
ULONG FakeSurface::Release() { return m_owner->Release(); }
HRESULT FakeSurface::GetDevice(IDirect3DDevice8** ppDevice) { return m_owner->GetDevice(ppDevice); }
HRESULT FakeSurface::GetContainer(REFIID, void** ppContainer) {
  if (!ppContainer) return D3DERR_INVALIDCALL;
  m_owner->AddRef();
  *ppContainer = static_cast<IDirect3DTexture8*>(m_owner);
  return D3D_OK;
}
HRESULT FakeSurface::GetDesc(D3DSURFACE_DESC* pDesc) { return m_owner->GetLevelDesc(m_level, pDesc); }
HRESULT FakeSurface::LockRect(D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) {
  return m_owner->LockRect(m_level, pLocked, pRect, flags);
}
HRESULT FakeSurface::UnlockRect() { return m_owner->UnlockRect(m_level); }

ULONG FakeTexture::Release() {
  ULONG r = --m_refs;
  if (r == 0) {
    FakeDevice* device = m_device;
    delete this;
    device->Release();
  }
  return r;
}

HRESULT FakeTexture::GetDevice(IDirect3DDevice8** ppDevice) {
  if (!ppDevice) return D3DERR_INVALIDCALL;
  m_device->AddRef();
  *ppDevice = m_device;
  return D3D_OK;
}

// --- the Direct3D object -----------------------------------------------------------
FakeDirect3D8::FakeDirect3D8(const FakeD3DConfig& config) : m_config(config) {}

HRESULT FakeDirect3D8::QueryInterface(REFIID, void** ppv) {
  if (ppv) *ppv = nullptr;
  return E_NOINTERFACE;
}
ULONG FakeDirect3D8::AddRef() { return ++m_refs; }
ULONG FakeDirect3D8::Release() {
  ULONG r = --m_refs;
  if (r == 0) delete this;
  return r;
}

HRESULT FakeDirect3D8::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* pMode) {
  if (adapter != D3DADAPTER_DEFAULT || !pMode) return D3DERR_INVALIDCALL;
  pMode->Width = 1024;
  pMode->Height = 768;
  pMode->RefreshRate = 0;
  pMode->Format = m_config.displayFormat;
  return D3D_OK;
}

HRESULT FakeDirect3D8::CheckDeviceFormat(UINT adapter, D3DDEVTYPE, D3DFORMAT adapterFormat, DWORD usage,
                                         D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
  ++m_counters.checkFormatCalls;
  if (adapter != D3DADAPTER_DEFAULT || adapterFormat != m_config.displayFormat) return D3DERR_INVALIDCALL;
  if (resourceType != D3DRTYPE_TEXTURE || (usage & D3DUSAGE_DEPTHSTENCIL)) return D3DERR_NOTAVAILABLE;
  return m_config.textureFormats.count(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT FakeDirect3D8::GetDeviceCaps(UINT adapter, D3DDEVTYPE, D3DCAPS8* pCaps) {
  if (adapter != D3DADAPTER_DEFAULT || !pCaps) return D3DERR_INVALIDCALL;
  *pCaps = m_config.caps;
  return D3D_OK;
}

HRESULT FakeDirect3D8::CreateDevice(UINT adapter, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*,
                                    IDirect3DDevice8** ppDevice) {
  if (!ppDevice) return D3DERR_INVALIDCALL;
  *ppDevice = nullptr;
  if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  *ppDevice = new FakeDevice(this, true);
  return D3D_OK;
}

FakeDevice* FakeDirect3D8::MakeDevice() { return new FakeDevice(this, true); }

bool FakeTextureLevel(IDirect3DTexture8* texture, UINT level, std::vector<std::uint8_t>& bytes,
                      D3DSURFACE_DESC& desc) {
  auto* t = dynamic_cast<FakeTexture*>(texture);
  if (!t || level >= t->Levels().size()) return false;
  bytes = t->Levels()[level].bytes;
  return SUCCEEDED(t->GetLevelDesc(level, &desc));
}

bool FakeVertexBufferBytes(IDirect3DVertexBuffer8* buffer, std::vector<std::uint8_t>& bytes,
                           D3DVERTEXBUFFER_DESC& desc) {
  auto* b = dynamic_cast<FakeVertexBuffer*>(buffer);
  if (!b) return false;
  bytes = b->m_bytes;
  desc = b->Description();
  return true;
}

bool FakeIndexBufferBytes(IDirect3DIndexBuffer8* buffer, std::vector<std::uint8_t>& bytes,
                          D3DINDEXBUFFER_DESC& desc) {
  auto* b = dynamic_cast<FakeIndexBuffer*>(buffer);
  if (!b) return false;
  bytes = b->m_bytes;
  desc = b->Description();
  return true;
}

}  // namespace qv::test
