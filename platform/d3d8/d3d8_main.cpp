// Direct3DCreate8, the Direct3D object, the caps, the format check and the
// registration of Direct3DCreate8 in the "d3d8.dll" module.
#include <SDL.h>

#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <type_traits>

#include "platform/d3d8/d3d8_internal.h"
#include "platform/d3d8/d3d8_testing.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"

namespace qv::d3d8 {
namespace {

bool s_lastS3tc = false;

}  // namespace

bool ContextHasS3tc() {
  if (SDL_GL_GetCurrentContext()) s_lastS3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
  return s_lastS3tc;
}

void FillCaps(D3DCAPS8& caps) {
  std::memset(&caps, 0, sizeof caps);
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.AdapterOrdinal = 0;
  caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
  // Any width and height, mip-mapped; the layer stores every size as it is.
  caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
  caps.TextureFilterCaps = 0x0303'0300u;  // min/mag point+linear, mip point+linear
  caps.TextureAddressCaps = 0x1F;         // wrap, mirror, clamp, border, mirror once
  caps.MaxTextureWidth = 8192;
  caps.MaxTextureHeight = 8192;
  caps.MaxTextureRepeat = 8192;
  caps.MaxTextureAspectRatio = 8192;
  caps.MaxAnisotropy = 1;
  caps.MaxVertexW = 1e10f;
  caps.MaxTextureBlendStages = 8;
  caps.MaxSimultaneousTextures = kMaxPixelTextures;
  caps.MaxPointSize = 1.0f;
  caps.MaxPrimitiveCount = 0xFFFFF;
  caps.MaxVertexIndex = 0xFFFFFF;
  caps.MaxStreams = kMaxStreams;
  caps.MaxStreamStride = 255;
  caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
  caps.MaxVertexShaderConst = kMaxVertexConstants;
  caps.PixelShaderVersion = D3DPS_VERSION(1, 3);
  caps.MaxPixelShaderValue = kMaxPixelShaderValue;
}

HRESULT Direct3D8::QueryInterface(REFIID, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG Direct3D8::Release() {
  const ULONG n = m_ref.Sub();
  if (n == 0) delete this;
  return n;
}

HRESULT Direct3D8::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* pMode) {
  if (adapter != 0 || !pMode) return D3DERR_INVALIDCALL;
  pMode->Width = 1024;
  pMode->Height = 768;
  pMode->RefreshRate = 60;
  pMode->Format = D3DFMT_X8R8G8B8;
  SDL_DisplayMode mode;
  if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
    pMode->Width = static_cast<UINT>(mode.w);
    pMode->Height = static_cast<UINT>(mode.h);
    pMode->RefreshRate = mode.refresh_rate > 0 ? static_cast<UINT>(mode.refresh_rate) : 60;
  }
  return D3D_OK;
}

HRESULT Direct3D8::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT, DWORD usage,
                                     D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
  if (adapter != 0 || deviceType != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
  switch (resourceType) {
    case D3DRTYPE_TEXTURE:
    case D3DRTYPE_SURFACE:
      if (usage & D3DUSAGE_DEPTHSTENCIL)
        return resourceType == D3DRTYPE_SURFACE && DepthStencilFormat(checkFormat) ? D3D_OK
                                                                                   : D3DERR_NOTAVAILABLE;
      if (usage & D3DUSAGE_RENDERTARGET)
        return resourceType == D3DRTYPE_SURFACE && RenderTargetFormat(checkFormat) ? D3D_OK
                                                                                   : D3DERR_NOTAVAILABLE;
      return FindTextureFormat(checkFormat, ContextHasS3tc()) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_VERTEXBUFFER: return checkFormat == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_INDEXBUFFER:
      return checkFormat == D3DFMT_INDEX16 || checkFormat == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;
    default: return D3DERR_NOTAVAILABLE;
  }
}

HRESULT Direct3D8::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* pCaps) {
  if (adapter != 0 || !pCaps) return D3DERR_INVALIDCALL;
  if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
  FillCaps(*pCaps);
  return D3D_OK;
}

HRESULT Direct3D8::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND hFocusWindow, DWORD behaviorFlags,
                                D3DPRESENT_PARAMETERS* pParams, IDirect3DDevice8** ppDevice) {
  if (!ppDevice) return D3DERR_INVALIDCALL;
  *ppDevice = nullptr;
  if (adapter != 0 || !pParams) return D3DERR_INVALIDCALL;
  if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
  HWND hwnd = pParams->hDeviceWindow ? pParams->hDeviceWindow : hFocusWindow;
  if (!hwnd || !IsWindow(hwnd)) return D3DERR_INVALIDCALL;
  if (pParams->BackBufferWidth == 0 || pParams->BackBufferHeight == 0 || pParams->BackBufferWidth > 8192 ||
      pParams->BackBufferHeight > 8192)
    return D3DERR_INVALIDCALL;
  if (!RenderTargetFormat(pParams->BackBufferFormat)) return D3DERR_INVALIDCALL;
  if (pParams->EnableAutoDepthStencil && !DepthStencilFormat(pParams->AutoDepthStencilFormat))
    return D3DERR_INVALIDCALL;
  const DWORD vp = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
  if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
      vp != D3DCREATE_MIXED_VERTEXPROCESSING)
    return D3DERR_INVALIDCALL;
  SDL_Window* window = qv::host::Window();
  if (!window) return D3DERR_NOTAVAILABLE;
  Device* device = new (std::nothrow) Device(this, *pParams);
  if (!device) return E_OUTOFMEMORY;
  if (!device->Init(window)) {
    device->Release();
    return D3DERR_NOTAVAILABLE;
  }
  s_lastS3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
  // Full screen is a desktop-sized window on the live host, never a mode
  // change; the scripted host keeps its window as it is, and so does a live
  // host told to give the viewer a normal window of a chosen size.
  const qv::host::Config& host = qv::host::GetConfig();
  if (!pParams->Windowed && !host.scripted && host.window_width <= 0)
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  *ppDevice = device;
  return D3D_OK;
}

}  // namespace qv::d3d8

using namespace qv::d3d8;

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
  RegisterModule(reinterpret_cast<FARPROC>(&Direct3DCreate8));
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  return new (std::nothrow) Direct3D8();
}

bool QvReadLastFrame(IDirect3DDevice8* device, std::vector<std::uint8_t>& rgb, int& width, int& height) {
  Device* d = AsDevice(device);
  return d && d->ReadFrame(rgb, width, height, true);
}

void QvD3D8SetDrawSkip(IDirect3DDevice8* device, bool on) {
  if (Device* d = AsDevice(device)) d->SetDrawSkip(on);
}

std::size_t QvD3D8VertexStorageBytes(IDirect3DDevice8* device) {
  Device* d = AsDevice(device);
  return d ? d->VertexStorageBytes() : 0;
}

static_assert(std::is_same_v<GLuint, unsigned int>, "QvD3D8ProgramFor hands out GL names");

unsigned int QvD3D8ProgramFor(IDirect3DDevice8* device, DWORD vertexShader, DWORD pixelShader) {
  Device* d = AsDevice(device);
  return d ? d->ProgramFor(vertexShader, pixelShader) : 0;
}
