// An in-memory Direct3D 8 for tests that need no GL context: a Direct3D
// object with configurable caps and a configurable set of accepted texture
// formats, and a device whose textures and surfaces live in system memory.
// Operations a test has no use for are stubs (D3D_OK for setters,
// D3DERR_INVALIDCALL for creators). Counters let tests check that every
// object made was released again, and failures can be injected.
#pragma once

#include <cstdint>
#include <set>
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

  D3DCAPS8 caps;                          // starts mipmapped, 4096 x 4096, no other limit
  std::set<D3DFORMAT> textureFormats;     // accepted by CheckDeviceFormat for textures
  D3DFORMAT displayFormat = D3DFMT_R5G6B5;

  // Failure injection: a non-zero code is returned by the next calls.
  HRESULT createTextureResult = D3D_OK;
  HRESULT updateTextureResult = D3D_OK;
  int failLockAfter = -1;                 // >= 0: that many locks succeed, then every one fails
  HRESULT createVertexBufferResult = D3D_OK;
  HRESULT createIndexBufferResult = D3D_OK;

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

class FakeTexture;

// The fake Direct3D object. Create it with new; it deletes itself at its
// last Release. CreateDevice makes a FakeDevice sharing its config.
class FakeDirect3D8 final : public IDirect3D8 {
 public:
  explicit FakeDirect3D8(const FakeD3DConfig& config = FakeD3DConfig());

  FakeD3DConfig& Config() { return m_config; }
  FakeCounters& Counters() { return m_counters; }
  // A device without a window, as CreateDevice makes it.
  IDirect3DDevice8* MakeDevice();

  HRESULT QueryInterface(REFIID, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* pMode) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                            DWORD usage, D3DRESOURCETYPE resourceType,
                            D3DFORMAT checkFormat) override;
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
// False for anything that is not a FakeTexture or a level it lacks.
bool FakeTextureLevel(IDirect3DTexture8* texture, UINT level, std::vector<std::uint8_t>& bytes,
                      D3DSURFACE_DESC& desc);

// The bytes of a fake vertex or index buffer and its description; false for
// anything that is not a fake buffer.
bool FakeVertexBufferBytes(IDirect3DVertexBuffer8* buffer, std::vector<std::uint8_t>& bytes,
                           D3DVERTEXBUFFER_DESC& desc);
bool FakeIndexBufferBytes(IDirect3DIndexBuffer8* buffer, std::vector<std::uint8_t>& bytes,
                          D3DINDEXBUFFER_DESC& desc);
// The last matrix given to SetTransform for a state; false if none was.
bool FakeDeviceTransform(IDirect3DDevice8* device, D3DTRANSFORMSTATETYPE state, D3DMATRIX& matrix);

}  // namespace qv::test
