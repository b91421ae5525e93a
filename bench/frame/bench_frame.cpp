// Frame benchmark on the headless host: the system draws the default data
// over a fixed camera path; beside each frame, the limit draws the same
// frame's triangles with the same translated shaders and constants from one
// vertex buffer and one index buffer in a single draw call. Both are timed
// to completion (glFinish) and the ratio of the medians is printed.
//
//   bench_frame [--frames N] [--dir DATA]   (default: 30 frames, data made anew)
#include <epoxy/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_globals.h"
#include "device/d3d_wrapper.h"
#include "lighting/terrain_shaders.h"
#include "log/log_file.h"
#include "tools/quorvel-makedata/makedata.h"
#include "platform/win32/win32_host.h"
#include "terrain/terrain.h"
#include "view/camera.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One recorded indexed draw of the system.
struct Draw {
  IDirect3DVertexBuffer8* vb;
  UINT base;
  D3DPRIMITIVETYPE type;
  std::vector<std::uint32_t> indices;  // as drawn, before the base vertex
};

// Forwards every call to the real device, timing the time spent inside it
// and, while capturing, recording each indexed draw with its index data.
class ProxyDevice final : public IDirect3DDevice8 {
 public:
  explicit ProxyDevice(IDirect3DDevice8* real) : m_real(real) {}

  struct Timer {
    explicit Timer(ProxyDevice* p) : proxy(p), start(Clock::now()) {}
    ~Timer() { proxy->m_inside += Clock::now() - start; }
    ProxyDevice* proxy;
    Clock::time_point start;
  };

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_real->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetDirect3D(IDirect3D8** ppD3D) override { Timer t(this); return m_real->GetDirect3D(ppD3D); }
  HRESULT GetDeviceCaps(D3DCAPS8* pCaps) override { Timer t(this); return m_real->GetDeviceCaps(pCaps); }
  HRESULT GetDisplayMode(D3DDISPLAYMODE* pMode) override { Timer t(this); return m_real->GetDisplayMode(pMode); }
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** ppTexture) override { Timer t(this); return m_real->CreateTexture(width, height, levels, usage, format, pool, ppTexture); }
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** ppVB) override { Timer t(this); return m_real->CreateVertexBuffer(length, usage, fvf, pool, ppVB); }
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer8** ppIB) override { Timer t(this); return m_real->CreateIndexBuffer(length, usage, format, pool, ppIB); }
  HRESULT UpdateTexture(IDirect3DBaseTexture8* pSource, IDirect3DBaseTexture8* pDest) override { Timer t(this); return m_real->UpdateTexture(pSource, pDest); }
  HRESULT Clear(DWORD count, const D3DRECT* pRects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override { Timer t(this); return m_real->Clear(count, pRects, flags, color, z, stencil); }
  HRESULT BeginScene() override { Timer t(this); return m_real->BeginScene(); }
  HRESULT EndScene() override { Timer t(this); return m_real->EndScene(); }
  HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride, const void* pDirtyRegion) override { Timer t(this); return m_real->Present(pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion); }
  HRESULT SetViewport(const D3DVIEWPORT8* pViewport) override { Timer t(this); return m_real->SetViewport(pViewport); }
  HRESULT GetViewport(D3DVIEWPORT8* pViewport) override { Timer t(this); return m_real->GetViewport(pViewport); }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* pMatrix) override { Timer t(this); return m_real->SetTransform(state, pMatrix); }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* pMatrix) override { Timer t(this); return m_real->GetTransform(state, pMatrix); }
  HRESULT SetMaterial(const D3DMATERIAL8* pMaterial) override { Timer t(this); return m_real->SetMaterial(pMaterial); }
  HRESULT GetMaterial(D3DMATERIAL8* pMaterial) override { Timer t(this); return m_real->GetMaterial(pMaterial); }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override { Timer t(this); return m_real->SetRenderState(state, value); }
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* pValue) override { Timer t(this); return m_real->GetRenderState(state, pValue); }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* pTexture) override { Timer t(this); return m_real->SetTexture(stage, pTexture); }
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** ppTexture) override { Timer t(this); return m_real->GetTexture(stage, ppTexture); }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override { Timer t(this); return m_real->SetTextureStageState(stage, type, value); }
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* pValue) override { Timer t(this); return m_real->GetTextureStageState(stage, type, pValue); }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override { Timer t(this); return m_real->DrawPrimitive(type, startVertex, primitiveCount); }
  HRESULT CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle, DWORD usage) override { Timer t(this); return m_real->CreateVertexShader(pDeclaration, pFunction, pHandle, usage); }
  HRESULT SetVertexShader(DWORD handle) override { Timer t(this); return m_real->SetVertexShader(handle); }
  HRESULT GetVertexShader(DWORD* pHandle) override { Timer t(this); return m_real->GetVertexShader(pHandle); }
  HRESULT DeleteVertexShader(DWORD handle) override { Timer t(this); return m_real->DeleteVertexShader(handle); }
  HRESULT SetVertexShaderConstant(DWORD reg, const void* pData, DWORD count) override { Timer t(this); return m_real->SetVertexShaderConstant(reg, pData, count); }
  HRESULT GetVertexShaderConstant(DWORD reg, void* pData, DWORD count) override { Timer t(this); return m_real->GetVertexShaderConstant(reg, pData, count); }
  HRESULT CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) override { Timer t(this); return m_real->CreatePixelShader(pFunction, pHandle); }
  HRESULT SetPixelShader(DWORD handle) override { Timer t(this); return m_real->SetPixelShader(handle); }
  HRESULT GetPixelShader(DWORD* pHandle) override { Timer t(this); return m_real->GetPixelShader(pHandle); }
  HRESULT DeletePixelShader(DWORD handle) override { Timer t(this); return m_real->DeletePixelShader(handle); }
  HRESULT SetPixelShaderConstant(DWORD reg, const void* pData, DWORD count) override { Timer t(this); return m_real->SetPixelShaderConstant(reg, pData, count); }
  HRESULT GetPixelShaderConstant(DWORD reg, void* pData, DWORD count) override { Timer t(this); return m_real->GetPixelShaderConstant(reg, pData, count); }
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* pVB, UINT stride) override {
    Timer t(this);
    if (stream == 0) m_vb = pVB;
    return m_real->SetStreamSource(stream, pVB, stride);
  }
  HRESULT SetIndices(IDirect3DIndexBuffer8* pIB, UINT baseVertexIndex) override {
    Timer t(this);
    m_ib = pIB;
    m_base = baseVertexIndex;
    return m_real->SetIndices(pIB, baseVertexIndex);
  }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                               UINT startIndex, UINT primitiveCount) override {
    if (capture && m_ib) Record(type, startIndex, primitiveCount);
    Timer t(this);
    return m_real->DrawIndexedPrimitive(type, minIndex, numVertices, startIndex, primitiveCount);
  }

  void Record(D3DPRIMITIVETYPE type, UINT startIndex, UINT primitiveCount) {
    const UINT count = type == D3DPT_TRIANGLESTRIP ? primitiveCount + 2 : primitiveCount * 3;
    D3DINDEXBUFFER_DESC desc{};
    m_ib->GetDesc(&desc);
    BYTE* p = nullptr;
    // This layer's buffers keep a system-memory copy that a read-only lock hands out.
    if (FAILED(m_ib->Lock(0, 0, &p, D3DLOCK_READONLY)) || !p) return;
    Draw d{m_vb, m_base, type, {}};
    const bool wide = desc.Format == D3DFMT_INDEX32;
    const UINT size = wide ? 4 : 2;
    for (UINT i = 0; i < count && (startIndex + i + 1) * size <= desc.Size; ++i) {
      std::uint32_t v;
      if (wide) {
        std::memcpy(&v, p + (startIndex + i) * 4, 4);
      } else {
        std::uint16_t s;
        std::memcpy(&s, p + (startIndex + i) * 2, 2);
        v = s;
      }
      d.indices.push_back(v);
    }
    m_ib->Unlock();
    draws.push_back(std::move(d));
  }

  bool capture = false;
  std::vector<Draw> draws;
  Clock::duration m_inside{};

 private:
  IDirect3DDevice8* m_real;
  IDirect3DVertexBuffer8* m_vb = nullptr;
  IDirect3DIndexBuffer8* m_ib = nullptr;
  UINT m_base = 0;
};

struct Figures {
  std::vector<double> wall, outside;
  std::vector<double> draws, triangles;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t rank = static_cast<std::size_t>(p * static_cast<double>(v.size()) + 0.999999);
  return v[std::min(v.size() - 1, rank > 0 ? rank - 1 : 0)];
}

double Mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0 : s / static_cast<double>(v.size());
}

// Camera of path frame i: a straight flight across the map, high up, looking
// ahead and down, so that near patches are fine and far ones coarse.
void PlaceCamera(int i, int frames) {
  const float t = frames > 1 ? static_cast<float>(i) / static_cast<float>(frames - 1) : 0.0f;
  g_Camera.SetPosition(600.0f + 5000.0f * t, 1800.0f, 500.0f + 3000.0f * t);
  g_Camera.SetLook(0.55f, -0.25f, 0.8f);
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 30;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: bench_frame [--frames N] [--dir DATA]\n");
      return 2;
    }
  }
  if (dir.empty()) {
    char tmpl[] = "/tmp/qvbenchXXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    dir = tmpl;
    std::string error;
    if (!makedata::WriteDataSet(dir, 1, &error)) {
      std::fprintf(stderr, "bench_frame: %s\n", error.c_str());
      return 1;
    }
  }
  if (chdir(dir.c_str()) != 0) return 1;

  qv::host::Config config;
  config.scripted = true;
  config.visible_window = false;
  qv::host::Configure(config);
  g_pLog = new LogFile();
  g_hInstance = GetModuleHandleA(nullptr);
  RegisterWindowClass(g_hInstance);
  g_hWnd = MakeWindow(g_hInstance);
  if (!GameInitialize() || !g_pd3dDevice || !g_pTerrain || !g_pTerrain->m_pPatches) {
    std::fprintf(stderr, "bench_frame: start-up failed, see %s/%s\n", dir.c_str(), g_pLog->FileName());
    return 1;
  }
  IDirect3DDevice8* real = g_pd3dDevice;
  ProxyDevice proxy(real);
  g_pd3dDevice = &proxy;

  // The limit's one vertex buffer: every pooled buffer's vertices, in a row.
  std::map<IDirect3DVertexBuffer8*, std::uint32_t> vbOffset;
  std::vector<BYTE> vertices;
  for (int i = 0; i < g_pTerrain->m_VBCount; ++i) {
    IDirect3DVertexBuffer8* vb = g_pTerrain->m_pVBs[i].pVB;
    D3DVERTEXBUFFER_DESC desc{};
    BYTE* p = nullptr;
    if (!vb || FAILED(vb->GetDesc(&desc)) || FAILED(vb->Lock(0, 0, &p, D3DLOCK_READONLY))) continue;
    vbOffset[vb] = static_cast<std::uint32_t>(vertices.size() / sizeof(TerrainVertex));
    vertices.insert(vertices.end(), p, p + desc.Size);
    vb->Unlock();
  }
  const UINT vertexCount = static_cast<UINT>(vertices.size() / sizeof(TerrainVertex));
  IDirect3DVertexBuffer8* bigVB = nullptr;
  BYTE* p = nullptr;
  if (FAILED(real->CreateVertexBuffer(static_cast<UINT>(vertices.size()), D3DUSAGE_WRITEONLY, 0,
                                      D3DPOOL_DEFAULT, &bigVB)) ||
      FAILED(bigVB->Lock(0, 0, &p, 0))) {
    std::fprintf(stderr, "bench_frame: no room for the limit's vertex buffer\n");
    return 1;
  }
  std::memcpy(p, vertices.data(), vertices.size());
  bigVB->Unlock();
  IDirect3DIndexBuffer8* bigIB = nullptr;
  UINT bigIBBytes = 0;

  D3DCAPS8 caps{};
  real->GetDeviceCaps(&caps);
  const UINT maxPrimitives = std::max<UINT>(1, caps.MaxPrimitiveCount);

  Figures system, limit;
  std::uint64_t limitTriangles = 0;
  for (int i = 0; i < frames; ++i) {
    // The system's frame, its draws recorded.
    PlaceCamera(i, frames);
    proxy.draws.clear();
    proxy.capture = true;
    proxy.m_inside = {};
    const qv::host::Stats before = qv::host::GetStats();
    auto start = Clock::now();
    PreFrame();
    InFrame();
    PostFrame();
    const auto beforeFinish = Clock::now();
    glFinish();
    auto end = Clock::now();
    proxy.capture = false;
    const qv::host::Stats& after = qv::host::GetStats();
    system.wall.push_back(Ms(end - start));
    system.outside.push_back(Ms(beforeFinish - start) - Ms(proxy.m_inside));
    system.draws.push_back(static_cast<double>(after.draws - before.draws));
    system.triangles.push_back(static_cast<double>(after.triangles - before.triangles));

    // The same triangles as one list of 32-bit indices into the one buffer.
    std::vector<std::uint32_t> indices;
    for (const Draw& d : proxy.draws) {
      const std::uint32_t offset = vbOffset.count(d.vb) ? vbOffset[d.vb] : 0;
      auto at = [&](std::size_t k) { return offset + d.base + d.indices[k]; };
      if (d.type == D3DPT_TRIANGLELIST) {
        for (std::size_t k = 0; k + 2 < d.indices.size(); k += 3)
          indices.insert(indices.end(), {at(k), at(k + 1), at(k + 2)});
      } else if (d.type == D3DPT_TRIANGLESTRIP) {
        for (std::size_t k = 0; k + 2 < d.indices.size(); ++k) {
          const std::uint32_t a = at(k), b = at(k + 1), c = at(k + 2);
          if (a != b && b != c && a != c) indices.insert(indices.end(), {a, b, c});
        }
      }
    }
    const UINT bytes = static_cast<UINT>(indices.size() * 4);
    if (bytes > bigIBBytes) {
      if (bigIB) bigIB->Release();
      bigIB = nullptr;
      bigIBBytes = bytes;
      if (FAILED(real->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_DEFAULT,
                                         &bigIB)))
        return 1;
    }
    if (bytes && SUCCEEDED(bigIB->Lock(0, bytes, &p, 0))) {
      std::memcpy(p, indices.data(), bytes);
      bigIB->Unlock();
    }
    glFinish();

    // The limit: the frame's state from the same shader set-up, one draw.
    PlaceCamera(i, frames);
    g_Camera.Update();
    const qv::host::Stats limitBefore = qv::host::GetStats();
    start = Clock::now();
    real->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF8264FF, 1.0f, 0);
    real->BeginScene();
    g_pd3dDevice = real;
    ApplyPS(g_pTerrain->m_pTextures[0], g_pTerrain->m_pTextures[1], g_pTerrain->m_pTextures[2],
            g_pTerrain->m_pTextures[3]);
    ApplyVS();
    g_pd3dDevice = &proxy;
    real->SetStreamSource(0, bigVB, sizeof(TerrainVertex));
    real->SetIndices(bigIB, 0);
    // One draw, unless the triangles pass the device's primitive limit.
    for (UINT first = 0, total = static_cast<UINT>(indices.size() / 3); first < total;) {
      const UINT n = std::min(total - first, maxPrimitives);
      real->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, first * 3, n);
      first += n;
    }
    real->EndScene();
    real->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
    end = Clock::now();
    limit.wall.push_back(Ms(end - start));
    limit.draws.push_back(static_cast<double>(qv::host::GetStats().draws - limitBefore.draws));
    limitTriangles += indices.size() / 3;
  }

  const double sysMedian = Percentile(system.wall, 0.5);
  const double limMedian = Percentile(limit.wall, 0.5);
  std::printf("frames: %d (data %s)\n", frames, dir.c_str());
  std::printf("system_frame_ms_median: %.2f\n", sysMedian);
  std::printf("system_frame_ms_p95: %.2f\n", Percentile(system.wall, 0.95));
  std::printf("system_draws_per_frame: %.1f\n", Mean(system.draws));
  std::printf("system_triangles_per_frame: %.1f\n", Mean(system.triangles));
  std::printf("system_cpu_ms_outside_gl_per_frame_median: %.2f\n", Percentile(system.outside, 0.5));
  std::printf("limit_frame_ms_median: %.2f\n", limMedian);
  std::printf("limit_frame_ms_p95: %.2f\n", Percentile(limit.wall, 0.95));
  std::printf("limit_draws_per_frame: %.1f\n", Mean(limit.draws));
  std::printf("limit_triangles_per_frame: %.1f (degenerate strip triangles dropped)\n",
              static_cast<double>(limitTriangles) / frames);
  std::printf("ratio_system_to_limit: %.3f\n", limMedian > 0 ? sysMedian / limMedian : 0.0);
  g_pd3dDevice = real;
  return 0;
}
