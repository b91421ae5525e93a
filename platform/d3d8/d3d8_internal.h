// Objects behind the Direct3D 8 interfaces of this layer. Also the hook the
// frame benchmark uses to draw with the same translated shaders: the GL
// program of a vertex and pixel shader pair of a device made here.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstdlib>
#include <new>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_draw_skip.h"
#include "platform/d3d8/d3d8_formats.h"
#include "platform/d3d8/d3d8_shader.h"
#include "platform/d3d8/d3d8_state.h"

struct SDL_Window;

namespace qv::d3d8 {

class Device;

// Reference count shared by every object of this layer.
class RefCount {
 public:
  ULONG Add() { return ++m_count; }
  ULONG Sub() { return m_count > 0 ? --m_count : 0; }
  ULONG Get() const { return m_count; }

 private:
  ULONG m_count = 1;
};

// What the resources of a device share: a reference count (the resource
// deletes itself at zero), the owning device, no other interfaces and no
// priorities. The owner is referenced for as long as the resource lives.
template <class Derived, class Interface>
class DeviceResource : public Interface {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.Add(); }
  ULONG Release() override {
    const ULONG n = m_ref.Sub();
    if (n == 0) delete static_cast<Derived*>(this);
    return n;
  }
  HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}

 protected:
  explicit DeviceResource(Device* device) : m_device(device) {}
  ~DeviceResource() = default;

  RefCount m_ref;
  Device* m_device;
};

class Direct3D8 final : public IDirect3D8 {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return m_ref.Add(); }
  ULONG Release() override;
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* pMode) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* pCaps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND hFocusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* pParams, IDirect3DDevice8** ppDevice) override;

 private:
  RefCount m_ref;
};

// The caps this layer reports (the same for the object and its devices).
void FillCaps(D3DCAPS8& caps);
// Whether the current context offers S3TC compressed textures; before any
// context exists the answer is remembered from the last device (false
// before the first).
bool ContextHasS3tc();

// The system-memory copy of a buffer. Its bytes come zeroed from calloc, so
// the pages of a large buffer cost nothing until they are written.
class ByteStore {
 public:
  ByteStore() = default;
  ByteStore(const ByteStore&) = delete;
  ByteStore& operator=(const ByteStore&) = delete;
  ~ByteStore() { Release(); }

  // Replaces the contents with n zero bytes; throws std::bad_alloc when
  // there is no room.
  void assign(std::size_t n, BYTE zero);
  BYTE* data() { return m_bytes; }
  const BYTE* data() const { return m_bytes; }
  std::size_t size() const { return m_size; }

 private:
  void Release();

  BYTE* m_bytes = nullptr;
  std::size_t m_size = 0;
  std::size_t m_mapped = 0;  // bytes mapped from the kernel; 0 for calloc
};

// Vertex and index buffers share their storage logic.
struct BufferStore {
  ByteStore data;  // the system-memory copy (none for write-only vertex buffers)
  GLuint gl = 0;   // the buffer object (0 for system-memory pool)
  DWORD usage = 0;
  D3DPOOL pool = D3DPOOL_DEFAULT;
  bool locked = false;
  DWORD lockFlags = 0;
  UINT lockOffset = 0, lockSize = 0;
};

// A vertex buffer created write-only keeps its vertices in GL alone: a lock
// reads the locked range back into memory of its own, and Unlock writes it
// back. The caller may still read what it locked (painting changes vertices
// in place), so the range holds the real contents, not undefined bytes. What
// the layer reads itself, the positions for early rejection, it keeps apart.
// Other vertex buffers keep a system-memory copy that Lock hands out.
class VertexBuffer final : public DeviceResource<VertexBuffer, IDirect3DVertexBuffer8> {
 public:
  VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
  ~VertexBuffer();
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) override;
  HRESULT Unlock() override;
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

  bool Valid() const { return m_valid; }
  // The buffer object holding the vertices and where in it they start:
  // vertex buffers share large buffer objects, so that switching between
  // them can become a change of base vertex instead of new bindings. The
  // place is given at first use (Device::PlaceVertexStorage); 0 when there
  // was no room.
  GLuint Gl();
  std::size_t ArenaOffset() const { return m_arenaOffset; }
  UINT Size() const { return m_length; }
  // Called by the device when it gives the buffer its place.
  void SetStorage(GLuint buffer, std::size_t offset, int arena);
  // The bounds of one declared element over vertices [first, first + count).
  const VertexBox* Box(UINT first, UINT count, UINT stride, UINT offset, DWORD type);

 private:
  // The buffer's bytes [offset, offset + bytes): from the system copy, or
  // read back from GL.
  bool ReadContents(std::size_t offset, std::size_t bytes, BYTE* out);

  BufferStore m_store;
  UINT m_length;
  bool m_gpuOnly;                 // write-only: no system copy
  std::vector<BYTE> m_lockBytes;  // the locked range of a write-only buffer
  std::vector<std::unique_ptr<KeptElement>> m_kept;
  DWORD m_fvf;
  bool m_valid = false;
  bool m_placed = false;
  int m_arena = -1;
  std::size_t m_arenaOffset = 0;
};

class IndexBuffer final : public DeviceResource<IndexBuffer, IDirect3DIndexBuffer8> {
 public:
  IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~IndexBuffer();
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) override;
  HRESULT Unlock() override;
  HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

  bool Valid() const { return m_valid; }
  UINT Size() const { return static_cast<UINT>(m_store.data.size()); }
  UINT IndexSize() const { return m_format == D3DFMT_INDEX32 ? 4 : 2; }
  bool Locked() const { return m_store.locked; }
  // Where draws read the indices: the buffer's own object, or after a
  // discarding lock the device's stream buffer at an offset (streamed again
  // when the stream buffer has wrapped since).
  bool ResolveDraw(GLuint& buffer, std::size_t& offset);

 private:
  BufferStore m_store;
  D3DFORMAT m_format;
  bool m_valid = false;
  bool m_streamed = false;
  GLuint m_streamBuffer = 0;
  std::size_t m_streamOffset = 0;
  std::size_t m_streamBytes = 0;
  std::uint64_t m_streamGeneration = 0;
};

class Texture;

class Surface final : public IDirect3DSurface8 {
 public:
  Surface(Texture* owner, UINT level) : m_owner(owner), m_level(level) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  // A level's surface shares its texture's reference count.
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
  HRESULT GetContainer(REFIID riid, void** ppContainer) override;
  HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
  HRESULT LockRect(D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) override;
  HRESULT UnlockRect() override;

 private:
  Texture* m_owner;
  UINT m_level;
};

class Texture final : public DeviceResource<Texture, IDirect3DTexture8> {
 public:
  Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format,
          D3DPOOL pool);
  ~Texture();
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD SetLOD(DWORD lod) override;
  DWORD GetLOD() override { return m_lod; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(m_levels.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* pDesc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** ppSurface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

  bool Valid() const { return m_valid; }
  GLuint Gl() const { return m_gl; }
  D3DPOOL Pool() const { return m_pool; }
  const FormatInfo* Format() const { return m_format; }
  // Copies the levels of a system-memory texture into this one.
  HRESULT UpdateFrom(const Texture& src);

 private:
  struct Level {
    UINT width = 0, height = 0;
    std::vector<BYTE> data;
    bool locked = false;
    DWORD lockFlags = 0;
  };
  void Upload(UINT level);

  friend class Surface;
  const FormatInfo* m_format;
  D3DPOOL m_pool;
  DWORD m_usage;
  DWORD m_lod = 0;
  std::vector<Level> m_levels;
  std::vector<std::unique_ptr<Surface>> m_surfaces;
  GLuint m_gl = 0;
  bool m_valid = false;
};

struct VertexShaderObject {
  ShaderProgram program;
  VertexDeclaration declaration;
  std::string glsl;
  GLuint shader = 0;
  bool writesFog = false;
  ClipTransform clip;  // how the position is placed, for early rejection
};

struct PixelShaderObject {
  ShaderProgram program;
  bool isDefault = false;  // the pixel side used when no pixel shader is set
  // The compiled fragment shader for each tail the render states have asked
  // for (PixelTail::Key), made on first use.
  std::map<std::uint32_t, GLuint> shaders;
  void DeleteShaders() {
    for (auto& s : shaders) glDeleteShader(s.second);
    shaders.clear();
  }
};

// A linked vertex + pixel shader pair and its uniform locations.
struct LinkedProgram {
  GLuint program = 0;
  GLint locC = -1, locPc = -1, locPixelAdjust = -1, locBumpMat = -1, locBumpLum = -1;
  GLint locFogParams = -1, locFogColor = -1, locAlphaRef = -1;
  GLint locStage0Bound = -1, locDitherLevels = -1;
  std::uint64_t vsConstVersion = 0, psConstVersion = 0, fixedVersion = 0;
};

// One pending multi-draw: consecutive indexed draws that share all state
// except their index range and base vertex.
struct DrawBatch {
  GLenum mode = 0;
  GLenum indexType = 0;
  GLuint indexBuffer = 0;
  std::vector<GLsizei> counts;
  std::vector<const void*> offsets;
  std::vector<GLint> baseVertices;
  bool Empty() const { return counts.empty(); }
};

class Device final : public IDirect3DDevice8 {
 public:
  Device(Direct3D8* d3d, const D3DPRESENT_PARAMETERS& params);
  ~Device();
  // Creates the context, the back buffer and the GL objects; false on failure.
  bool Init(SDL_Window* window);

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return m_ref.Add(); }
  ULONG Release() override;

  // Every method of the interface, defined in d3d8_device*.cpp.
#define QV_D3D8_OVERRIDE_METHOD(ret, name, params, args) ret name params override;
  QV_D3D8_DEVICE_METHODS(QV_D3D8_OVERRIDE_METHOD)
#undef QV_D3D8_OVERRIDE_METHOD

  // --- used by the resources and the helpers of this layer ---
  void MakeCurrent();
  // Whether the window the device was made on still exists, and whether the
  // context can still be made current (on that window or, once the host has
  // destroyed it, on the device's own hidden one).
  bool WindowAlive() const;
  bool ContextUsable() const { return m_context && (WindowAlive() || m_fallback); }
  GlStateCache& Gl() { return m_gl; }
  // Issues the pending draws (before any change that would alter them).
  void FlushDraws();
  // Copies index data into the stream buffer; returns its offset there.
  bool StreamIndices(const void* data, std::size_t bytes, GLuint& buffer, std::size_t& offset,
                     std::uint64_t& generation);
  std::uint64_t RingGeneration() const { return m_ringGeneration; }
  // Uploads bytes into a buffer object without disturbing the bindings.
  void UploadBuffer(GLuint buffer, std::size_t offset, std::size_t bytes, const void* data);
  bool ReadFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, bool presented);
  // Vertex storage inside the shared buffer objects. A new vertex buffer
  // waits for its place until one of the waiting buffers is first used;
  // then all of them are placed together, in order, in as little new storage
  // as they need: a pool of buffers made one after the other shares one
  // buffer object of its exact size.
  void RequestVertexStorage(VertexBuffer* vb);
  void PlaceVertexStorage();
  void FreeVertexStorage(VertexBuffer* vb, int arena);
  std::size_t VertexStorageBytes() const {
    std::size_t n = 0;
    for (const Arena& a : m_arenas) n += a.size;
    return n;
  }
  // Reads bytes of a buffer object; false when GL could not.
  bool ReadBuffer(GLuint buffer, std::size_t offset, std::size_t bytes, void* out);
  // Writes n zero bytes into a buffer object.
  void ZeroBuffer(GLuint buffer, std::size_t offset, std::size_t n);
  // The linked program of two shader handles (0 pixel handle: the default
  // pixel side); 0 when either handle is not a shader of this device.
  GLuint ProgramFor(DWORD vsHandle, DWORD psHandle);
  // Textures may be released while bound: the device forgets them.
  void ForgetTexture(Texture* texture);
  void ForgetBuffer(IDirect3DVertexBuffer8* vb, IDirect3DIndexBuffer8* ib);
  // Early rejection on or off (on unless QUORVEL_NO_DRAW_SKIP=1 at creation).
  void SetDrawSkip(bool on) { m_drawSkip = on; }

 private:
  // clang-format off
  enum Dirty : std::uint32_t {
    kDirtyRaster = 1, kDirtyProgram = 2, kDirtyVertexInput = 4, kDirtyTextures = 8,
    kDirtyViewport = 16, kDirtyAll = 0xFFFFFFFFu,
  };
  // clang-format on
  void SetDefaults();
  void MarkDirty(std::uint32_t bits);
  bool ApplyDrawState();
  void ApplyRaster();
  // Whether the blend the render states ask for would leave the source as it
  // is in every pixel, because the pixel side's alpha is provably 1.
  bool BlendCopiesSource();
  bool ApplyVertexInput();
  // The attribute bindings the current streams and declaration need, and the
  // base vertex shift that goes with them.
  struct InputBinding {
    std::array<GLuint, kMaxStreams> buffer{};
    std::array<UINT, kMaxStreams> stride{};
    std::array<std::size_t, kMaxStreams> pointerOffset{};
    DWORD vs = 0;
    bool operator==(const InputBinding& o) const {
      return buffer == o.buffer && stride == o.stride && pointerOffset == o.pointerOffset && vs == o.vs;
    }
  };
  bool ComputeInput(InputBinding& binding, GLint& shift);
  // Brings the draw state up to date; a change of vertex buffer inside the
  // same shared buffer object only changes the base vertex and keeps the
  // gathered draws.
  bool PrepareDraw();
  void ApplyTextures();
  // The program of a shader pair with the tail the current render states
  // ask for; linked (and its fragment shader compiled) on first use.
  LinkedProgram* Link(DWORD vsHandle, DWORD psHandle);
  PixelTail CurrentTail(const VertexShaderObject& vs) const;
  GLuint FragmentShader(PixelShaderObject& ps, const PixelTail& tail);
  void DropPrograms(DWORD vsHandle, DWORD psHandle);
  VertexShaderObject* FindVs(DWORD handle);
  PixelShaderObject* FindPs(DWORD handle);
  void UpdateSampler(DWORD stage);
  bool EnsureRing(std::size_t bytes);
  // Whether a triangle draw over vertices [first, first + count) lies wholly
  // outside the clip volume, so that GL can be spared it.
  bool OutsideClip(D3DPRIMITIVETYPE type, std::uint64_t first, UINT count);
  // The host's readout, drawn into the back buffer being presented
  // (d3d8_overlay.cpp); nothing at all when the host has none.
  void DrawOverlay();
  void ReleaseOverlay();

  RefCount m_ref;
  Direct3D8* m_d3d;
  D3DPRESENT_PARAMETERS m_params;
  SDL_Window* m_window = nullptr;
  std::uint32_t m_windowId = 0;
  SDL_Window* m_fallback = nullptr;
  bool m_onFallback = false;
  void* m_context = nullptr;
  GlStateCache m_gl{true};
  bool m_inScene = false;

  // Back buffer: two colour buffers alternate at Present so the one just
  // presented stays readable while the next frame is drawn.
  GLuint m_fbo[2] = {0, 0};
  GLuint m_color[2] = {0, 0};
  GLuint m_depth = 0;
  int m_current = 0;
  bool m_presentedOnce = false;
  GLuint m_readFbo = 0;
  GLuint m_vao = 0;
  GLuint m_defaultTexture = 0;
  GLuint m_samplers[QV_MAX_TEXTURE_STAGES] = {};

  DWORD m_renderStates[QV_D3DRS_COUNT] = {};
  DWORD m_stageStates[QV_MAX_TEXTURE_STAGES][QV_D3DTSS_COUNT] = {};
  D3DVIEWPORT8 m_viewport{};
  D3DMATERIAL8 m_material{};
  D3DMATRIX m_transforms[3]{};  // world, view, projection
  Texture* m_textures[QV_MAX_TEXTURE_STAGES] = {};

  struct Stream {
    VertexBuffer* vb = nullptr;
    UINT stride = 0;
  };
  Stream m_streams[kMaxStreams];
  IndexBuffer* m_indices = nullptr;
  UINT m_baseVertex = 0;

  DWORD m_vsHandle = 0;  // a shader handle (odd) or a vertex format code
  DWORD m_psHandle = 0;
  std::map<DWORD, std::unique_ptr<VertexShaderObject>> m_vertexShaders;
  std::map<DWORD, std::unique_ptr<PixelShaderObject>> m_pixelShaders;
  DWORD m_nextShaderId = 1;
  PixelShaderObject m_defaultPs;
  // Keyed by vertex shader, pixel shader (0: the default) and tail.
  std::map<std::tuple<DWORD, DWORD, std::uint32_t>, LinkedProgram> m_programs;
  LinkedProgram* m_program = nullptr;

  float m_vsConst[kMaxVertexConstants][4] = {};
  float m_psConst[kMaxPixelConstants][4] = {};
  std::uint64_t m_vsConstVersion = 1, m_psConstVersion = 1, m_fixedVersion = 1;
  std::uint32_t m_dirty = kDirtyAll;
  std::uint32_t m_attribsEnabled = 0;
  InputBinding m_appliedInput;
  GLint m_baseShift = 0;
  struct Arena {
    GLuint buffer = 0;
    std::size_t size = 0, used = 0;
    int live = 0;
    bool reused = false;  // freed once: its bytes are no longer zeros
  };
  std::vector<Arena> m_arenas;
  std::vector<VertexBuffer*> m_waitingVbs;  // in creation order

  // Index stream for discarding locks.
  GLuint m_ring = 0;
  std::size_t m_ringSize = 0, m_ringOffset = 0;
  std::uint64_t m_ringGeneration = 0;

  DrawBatch m_batch;
  // The readout's pixels: a texture of the back buffer's size and a
  // framebuffer to blit from, made on first use.
  GLuint m_overlayTexture = 0, m_overlayFbo = 0;
  bool m_warnedFixedFunction = false;
  bool m_drawSkip = true;
};

template <class Derived, class Interface>
HRESULT DeviceResource<Derived, Interface>::GetDevice(IDirect3DDevice8** ppDevice) {
  if (!ppDevice) return D3DERR_INVALIDCALL;
  m_device->AddRef();
  *ppDevice = m_device;
  return D3D_OK;
}

Device* AsDevice(IDirect3DDevice8* device);

}  // namespace qv::d3d8
