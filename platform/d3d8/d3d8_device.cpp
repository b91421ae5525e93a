// The device: context and back buffer, clear, scenes, present and read-back,
// and the draw calls with their batching.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include "platform/d3d8/d3d8_internal.h"
#include "platform/host/host.h"

namespace qv::d3d8 {
namespace {

std::set<Device*>& LiveDevices() {
  static std::set<Device*> s;
  return s;
}
Device* s_current = nullptr;

constexpr std::size_t kInitialRingBytes = 1u << 20;
// Shared vertex storage: the smallest and the largest new buffer object, and
// the zeros written into a new one at a time.
constexpr std::size_t kMinArenaBytes = 1u << 20;
constexpr std::size_t kMaxArenaBytes = 256u << 20;
constexpr std::size_t kZeroChunkBytes = 1u << 20;
constexpr std::size_t kMaxBatchDraws = 8192;

// The GL mode of a primitive type; false for an unknown type (GL_POINTS is
// 0, so 0 cannot mean "unknown").
bool GlPrimitive(D3DPRIMITIVETYPE type, GLenum& mode) {
  switch (type) {
    case D3DPT_POINTLIST: mode = GL_POINTS; return true;
    case D3DPT_LINELIST: mode = GL_LINES; return true;
    case D3DPT_LINESTRIP: mode = GL_LINE_STRIP; return true;
    case D3DPT_TRIANGLELIST: mode = GL_TRIANGLES; return true;
    case D3DPT_TRIANGLESTRIP: mode = GL_TRIANGLE_STRIP; return true;
    case D3DPT_TRIANGLEFAN: mode = GL_TRIANGLE_FAN; return true;
    default: return false;
  }
}

// Vertices a primitive count takes; 0 for an unknown type.
std::uint64_t VertexCount(D3DPRIMITIVETYPE type, std::uint64_t prims) {
  switch (type) {
    case D3DPT_POINTLIST: return prims;
    case D3DPT_LINELIST: return prims * 2;
    case D3DPT_LINESTRIP: return prims + 1;
    case D3DPT_TRIANGLELIST: return prims * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return prims + 2;
    default: return 0;
  }
}

bool IsTriangles(D3DPRIMITIVETYPE type) {
  return type == D3DPT_TRIANGLELIST || type == D3DPT_TRIANGLESTRIP || type == D3DPT_TRIANGLEFAN;
}

}  // namespace

Device* AsDevice(IDirect3DDevice8* device) {
  auto* d = static_cast<Device*>(nullptr);
  for (Device* live : LiveDevices())
    if (static_cast<IDirect3DDevice8*>(live) == device) d = live;
  return d;
}

Device::Device(Direct3D8* d3d, const D3DPRESENT_PARAMETERS& params) : m_d3d(d3d), m_params(params) {
  m_d3d->AddRef();
  const char* noSkip = std::getenv("QUORVEL_NO_DRAW_SKIP");
  m_drawSkip = !(noSkip && std::strcmp(noSkip, "1") == 0);
  LiveDevices().insert(this);
}

Device::~Device() {
  // GL objects die with the context; they are deleted one by one only while
  // the context can still be made current on its window.
  if (ContextUsable()) {
    MakeCurrent();
    m_batch = DrawBatch{};
    for (auto& p : m_programs) glDeleteProgram(p.second.program);
    for (auto& v : m_vertexShaders) glDeleteShader(v.second->shader);
    for (auto& p : m_pixelShaders) p.second->DeleteShaders();
    m_defaultPs.DeleteShaders();
    glDeleteFramebuffers(2, m_fbo);
    glDeleteFramebuffers(1, &m_readFbo);
    glDeleteRenderbuffers(2, m_color);
    if (m_depth) glDeleteRenderbuffers(1, &m_depth);
    glDeleteVertexArrays(1, &m_vao);
    glDeleteTextures(1, &m_defaultTexture);
    glDeleteSamplers(QV_MAX_TEXTURE_STAGES, m_samplers);
    ReleaseOverlay();
    if (m_ring) glDeleteBuffers(1, &m_ring);
    for (const Arena& a : m_arenas) glDeleteBuffers(1, &a.buffer);
    SDL_GL_MakeCurrent(m_onFallback ? m_fallback : m_window, nullptr);
  }
  if (m_context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_context));
  if (m_fallback) SDL_DestroyWindow(m_fallback);
  if (s_current == this) s_current = nullptr;
  LiveDevices().erase(this);
  m_d3d->Release();
}

bool Device::Init(SDL_Window* window) {
  m_window = window;
  m_windowId = SDL_GetWindowID(window);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GLContext ctx = SDL_GL_CreateContext(window);
  if (!ctx) {
    std::fprintf(stderr, "d3d8: no OpenGL 3.3 core context: %s\n", SDL_GetError());
    return false;
  }
  m_context = ctx;
  if (SDL_GL_MakeCurrent(window, ctx) != 0) return false;
  s_current = this;
  // A hidden window of our own keeps the context usable should the host
  // destroy its window while the device still exists.
  m_fallback = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (m_fallback) SDL_GL_MakeCurrent(window, ctx);
  if (epoxy_gl_version() < 33) {
    std::fprintf(stderr, "d3d8: OpenGL %d.%d is below 3.3\n", epoxy_gl_version() / 10,
                 epoxy_gl_version() % 10);
    return false;
  }
  SDL_GL_SetSwapInterval(0);

  const GLsizei w = static_cast<GLsizei>(m_params.BackBufferWidth);
  const GLsizei h = static_cast<GLsizei>(m_params.BackBufferHeight);
  glGenRenderbuffers(2, m_color);
  glGenFramebuffers(2, m_fbo);
  glGenFramebuffers(1, &m_readFbo);
  if (m_params.EnableAutoDepthStencil) {
    glGenRenderbuffers(1, &m_depth);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, DepthStencilFormat(m_params.AutoDepthStencilFormat), w, h);
  }
  const bool stencil = m_params.AutoDepthStencilFormat == D3DFMT_D24S8;
  for (int i = 0; i < 2; ++i) {
    glBindRenderbuffer(GL_RENDERBUFFER, m_color[i]);
    glRenderbufferStorage(GL_RENDERBUFFER, RenderTargetFormat(m_params.BackBufferFormat), w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo[i]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_color[i]);
    if (m_depth)
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                GL_RENDERBUFFER, m_depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      std::fprintf(stderr, "d3d8: back buffer format not renderable\n");
      return false;
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glGenVertexArrays(1, &m_vao);
  glGenSamplers(QV_MAX_TEXTURE_STAGES, m_samplers);
  glGenTextures(1, &m_defaultTexture);
  glBindTexture(GL_TEXTURE_2D, m_defaultTexture);
  const std::uint8_t black[4] = {0, 0, 0, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, black);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glGenBuffers(1, &m_ring);
  glBindBuffer(GL_COPY_WRITE_BUFFER, m_ring);
  glBufferData(GL_COPY_WRITE_BUFFER, kInitialRingBytes, nullptr, GL_STREAM_DRAW);
  m_ringSize = kInitialRingBytes;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glDisable(GL_DITHER);
  for (GLuint i = 0; i < kMaxVertexInputs; ++i) glVertexAttrib4f(i, 0.0f, 0.0f, 0.0f, 1.0f);

  m_defaultPs.isDefault = true;
  if (!FragmentShader(m_defaultPs, PixelTail{})) {
    std::fprintf(stderr, "d3d8: default pixel shader does not compile\n");
    return false;
  }
  m_gl.Invalidate();
  m_gl.BindVertexArray(m_vao);
  SetDefaults();
  for (DWORD s = 0; s < QV_MAX_TEXTURE_STAGES; ++s) UpdateSampler(s);
  m_gl.BindDrawFramebuffer(m_fbo[m_current]);
  return glGetError() == GL_NO_ERROR;
}

HRESULT Device::QueryInterface(REFIID, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG Device::Release() {
  const ULONG n = m_ref.Sub();
  if (n == 0) delete this;
  return n;
}

bool Device::WindowAlive() const { return m_windowId != 0 && SDL_GetWindowFromID(m_windowId) == m_window; }

void Device::MakeCurrent() {
  if (!m_context) return;
  const bool alive = WindowAlive();
  if (s_current == this && (alive || m_onFallback)) return;
  SDL_Window* target = alive ? m_window : m_fallback;
  if (!target) return;
  SDL_GL_MakeCurrent(target, static_cast<SDL_GLContext>(m_context));
  s_current = this;
  m_onFallback = !alive;
}

HRESULT Device::GetDirect3D(IDirect3D8** ppD3D) {
  if (!ppD3D) return D3DERR_INVALIDCALL;
  m_d3d->AddRef();
  *ppD3D = m_d3d;
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* pCaps) {
  if (!pCaps) return D3DERR_INVALIDCALL;
  FillCaps(*pCaps);
  return D3D_OK;
}

HRESULT Device::GetDisplayMode(D3DDISPLAYMODE* pMode) {
  if (!pMode) return D3DERR_INVALIDCALL;
  pMode->Width = m_params.BackBufferWidth;
  pMode->Height = m_params.BackBufferHeight;
  pMode->RefreshRate = 60;
  pMode->Format = m_params.BackBufferFormat;
  return D3D_OK;
}

// --- clear, scene, present -------------------------------------------------------

HRESULT Device::Clear(DWORD count, const D3DRECT* pRects, DWORD flags, D3DCOLOR color, float z,
                      DWORD stencil) {
  if (!(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_ZBUFFER) && !m_depth) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && m_params.AutoDepthStencilFormat != D3DFMT_D24S8)
    return D3DERR_INVALIDCALL;
  if (count > 0 && !pRects) return D3DERR_INVALIDCALL;
  MakeCurrent();
  FlushDraws();
  m_gl.BindDrawFramebuffer(m_fbo[m_current]);
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    mask |= GL_COLOR_BUFFER_BIT;
    m_gl.SetColorMask(0xF);
    glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                 ((color >> 24) & 0xFF) / 255.0f);
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    mask |= GL_DEPTH_BUFFER_BIT;
    m_gl.SetDepthMask(true);
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
  }
  if (flags & D3DCLEAR_STENCIL) {
    mask |= GL_STENCIL_BUFFER_BIT;
    glClearStencil(static_cast<GLint>(stencil));
  }
  // Only the viewport is cleared, intersected with each rectangle.
  const LONG vx0 = static_cast<LONG>(m_viewport.X), vy0 = static_cast<LONG>(m_viewport.Y);
  const LONG vx1 = vx0 + static_cast<LONG>(m_viewport.Width);
  const LONG vy1 = vy0 + static_cast<LONG>(m_viewport.Height);
  auto clearBox = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
    x0 = std::max(x0, vx0);
    y0 = std::max(y0, vy0);
    x1 = std::min(x1, vx1);
    y1 = std::min(y1, vy1);
    if (x1 <= x0 || y1 <= y0) return;
    m_gl.SetScissor(true, x0, y0, x1 - x0, y1 - y0);
    glClear(mask);
  };
  if (count == 0) {
    clearBox(vx0, vy0, vx1, vy1);
  } else {
    for (DWORD i = 0; i < count; ++i) clearBox(pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
  }
  m_gl.SetScissor(false, 0, 0, 0, 0);
  MarkDirty(kDirtyRaster);
  return D3D_OK;
}

HRESULT Device::BeginScene() {
  if (m_inScene) return D3DERR_INVALIDCALL;
  m_inScene = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!m_inScene) return D3DERR_INVALIDCALL;
  m_inScene = false;
  MakeCurrent();
  FlushDraws();
  return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const void*) {
  MakeCurrent();
  FlushDraws();
  // Into the back buffer itself, so that the window, shots and video see it.
  DrawOverlay();
  int ww = 0, wh = 0;
  // A window destroyed by the host gets no picture; the frame still counts.
  // The size is the window's real one: a full-screen request that no window
  // manager carried out leaves the window smaller than SDL reports.
  if (WindowAlive()) qv::host::WindowPixelSize(m_window, ww, wh);
  const int bw = static_cast<int>(m_params.BackBufferWidth);
  const int bh = static_cast<int>(m_params.BackBufferHeight);
  if (ww > 0 && wh > 0) {
    // Scale to the window keeping the aspect ratio; the rest stays black.
    int dw = ww, dh = static_cast<int>(static_cast<long long>(ww) * bh / bw);
    if (dh > wh) {
      dh = wh;
      dw = static_cast<int>(static_cast<long long>(wh) * bw / bh);
    }
    const int dx = (ww - dw) / 2, dy = (wh - dh) / 2;
    m_gl.BindDrawFramebuffer(0);
    m_gl.SetScissor(false, 0, 0, 0, 0);
    m_gl.SetColorMask(0xF);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo[m_current]);
    // The back buffer's first row is the top of the picture; the window's
    // first row is its bottom, hence the flipped destination.
    glBlitFramebuffer(0, 0, bw, bh, dx, dy + dh, dx + dw, dy, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    SDL_GL_SwapWindow(m_window);
    MarkDirty(kDirtyRaster);
  }
  m_presentedOnce = true;
  m_current ^= 1;
  m_gl.BindDrawFramebuffer(m_fbo[m_current]);
  qv::host::OnPresent([this](std::vector<std::uint8_t>& rgb, int& width, int& height) {
    return ReadFrame(rgb, width, height, true);
  });
  return D3D_OK;
}

bool Device::ReadFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, bool presented) {
  if (presented && !m_presentedOnce) return false;
  MakeCurrent();
  FlushDraws();
  const int index = presented ? (m_current ^ 1) : m_current;
  width = static_cast<int>(m_params.BackBufferWidth);
  height = static_cast<int>(m_params.BackBufferHeight);
  rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo[index]);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return glGetError() == GL_NO_ERROR;
}

// --- draws -------------------------------------------------------------------------

void Device::FlushDraws() {
  if (m_batch.Empty()) return;
  if (!ContextUsable()) {
    m_batch.counts.clear();  // no context to draw with any more
    m_batch.offsets.clear();
    m_batch.baseVertices.clear();
    return;
  }
  m_gl.BindElementBuffer(m_batch.indexBuffer);
  if (m_batch.counts.size() == 1) {
    glDrawElementsBaseVertex(m_batch.mode, m_batch.counts[0], m_batch.indexType,
                             const_cast<void*>(m_batch.offsets[0]), m_batch.baseVertices[0]);
  } else {
    glMultiDrawElementsBaseVertex(m_batch.mode, m_batch.counts.data(), m_batch.indexType,
                                  const_cast<void* const*>(m_batch.offsets.data()),
                                  static_cast<GLsizei>(m_batch.counts.size()), m_batch.baseVertices.data());
  }
  m_batch.counts.clear();
  m_batch.offsets.clear();
  m_batch.baseVertices.clear();
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                     UINT primitiveCount) {
  GLenum mode = 0;
  if (!GlPrimitive(type, mode) || !m_indices) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0) return D3D_OK;
  if (primitiveCount > 0xFFFFF) return D3DERR_INVALIDCALL;
  const std::uint64_t count = VertexCount(type, primitiveCount);
  const std::uint64_t indexSize = m_indices->IndexSize();
  if ((static_cast<std::uint64_t>(startIndex) + count) * indexSize > m_indices->Size())
    return D3DERR_INVALIDCALL;
  // The vertex range the caller names must lie in stream 0.
  const Stream& s0 = m_streams[0];
  if (s0.vb && s0.stride &&
      (static_cast<std::uint64_t>(m_baseVertex) + minIndex + numVertices) * s0.stride > s0.vb->Size())
    return D3DERR_INVALIDCALL;
  if (m_indices->Locked()) return D3DERR_INVALIDCALL;
  if (OutsideClip(type, std::uint64_t{m_baseVertex} + minIndex, numVertices)) {
    qv::host::CountDraw(primitiveCount);
    qv::host::CountSkippedDraw();
    return D3D_OK;
  }
  MakeCurrent();
  if (!PrepareDraw()) return D3DERR_INVALIDCALL;
  GLuint buffer = 0;
  std::size_t offset = 0;
  if (!m_indices->ResolveDraw(buffer, offset)) return D3DERR_INVALIDCALL;
  const GLenum indexType = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
  if (!m_batch.Empty() && (m_batch.mode != mode || m_batch.indexType != indexType ||
                           m_batch.indexBuffer != buffer || m_batch.counts.size() >= kMaxBatchDraws))
    FlushDraws();
  m_batch.mode = mode;
  m_batch.indexType = indexType;
  m_batch.indexBuffer = buffer;
  m_batch.counts.push_back(static_cast<GLsizei>(count));
  m_batch.offsets.push_back(reinterpret_cast<const void*>(offset + startIndex * indexSize));
  m_batch.baseVertices.push_back(static_cast<GLint>(m_baseVertex) + m_baseShift);
  qv::host::CountDraw(IsTriangles(type) ? primitiveCount : 0);
  return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  GLenum mode = 0;
  if (!GlPrimitive(type, mode)) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0) return D3D_OK;
  if (primitiveCount > 0xFFFFF) return D3DERR_INVALIDCALL;
  const std::uint64_t count = VertexCount(type, primitiveCount);
  const Stream& s0 = m_streams[0];
  if (!s0.vb || (static_cast<std::uint64_t>(startVertex) + count) * s0.stride > s0.vb->Size())
    return D3DERR_INVALIDCALL;
  if (OutsideClip(type, startVertex, static_cast<UINT>(count))) {
    qv::host::CountDraw(primitiveCount);
    qv::host::CountSkippedDraw();
    return D3D_OK;
  }
  MakeCurrent();
  FlushDraws();
  if (!PrepareDraw()) return D3DERR_INVALIDCALL;
  glDrawArrays(mode, static_cast<GLint>(startVertex) + m_baseShift, static_cast<GLsizei>(count));
  qv::host::CountDraw(IsTriangles(type) ? primitiveCount : 0);
  return D3D_OK;
}

bool Device::OutsideClip(D3DPRIMITIVETYPE type, std::uint64_t first, UINT count) {
  // Points and lines are left alone: GL may draw them wider than a pixel.
  if (!m_drawSkip || !IsTriangles(type) || first > 0xFFFFFFFFu || !(m_vsHandle & 1)) return false;
  const VertexShaderObject* vs = FindVs(m_vsHandle);
  if (!vs || vs->clip.input < 0 || m_viewport.Width == 0 || m_viewport.Height == 0) return false;
  for (const VertexElement& e : vs->declaration.elements) {
    if (e.reg != static_cast<std::uint32_t>(vs->clip.input)) continue;
    const Stream& s = m_streams[e.stream];
    if (!s.vb || !s.stride) return false;
    const VertexBox* box = s.vb->Box(static_cast<UINT>(first), count, s.stride, e.offset, e.type);
    return box &&
           BoxOutsideClip(*box, &m_vsConst[vs->clip.firstConst], 1.0f / static_cast<float>(m_viewport.Width),
                          1.0f / static_cast<float>(m_viewport.Height));
  }
  return false;
}

bool Device::PrepareDraw() {
  if (!m_dirty) return true;
  if (m_dirty == kDirtyVertexInput) {
    InputBinding binding;
    GLint shift = 0;
    if (!ComputeInput(binding, shift)) return false;
    if (binding == m_appliedInput) {
      m_baseShift = shift;
      m_dirty = 0;
      return true;
    }
  }
  FlushDraws();
  return ApplyDrawState();
}

void Device::RequestVertexStorage(VertexBuffer* vb) { m_waitingVbs.push_back(vb); }

void Device::PlaceVertexStorage() {
  if (m_waitingVbs.empty()) return;
  MakeCurrent();
  std::vector<VertexBuffer*> waiting;
  waiting.swap(m_waitingVbs);
  auto round = [](std::size_t bytes) { return (bytes + 3) & ~static_cast<std::size_t>(3); };
  std::size_t reserved = 0;
  for (const Arena& a : m_arenas) reserved += a.size;
  for (std::size_t next = 0; next < waiting.size();) {
    // The waiting buffers stay together, in order, as many as one buffer
    // object takes: in free room at the end of one, or else in new storage.
    std::size_t end = next, need = 0;
    while (end < waiting.size() && (end == next || need + round(waiting[end]->Size()) <= kMaxArenaBytes))
      need += round(waiting[end++]->Size());
    std::size_t index = 0;
    while (index < m_arenas.size() && m_arenas[index].size - m_arenas[index].used < need) ++index;
    if (index < m_arenas.size()) {
      if (m_arenas[index].reused) ZeroBuffer(m_arenas[index].buffer, m_arenas[index].used, need);
    } else {
      // Buffers made one at a time between uses would each get a buffer
      // object of their own: new storage is at least a quarter of what is
      // already held (and a small minimum), so the objects grow in number
      // slowly, and little more than a quarter of the storage goes unused.
      Arena a;
      a.size = std::max(need, std::min(std::max(reserved / 4, kMinArenaBytes), kMaxArenaBytes));
      glGenBuffers(1, &a.buffer);
      glBindBuffer(GL_COPY_WRITE_BUFFER, a.buffer);
      glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(a.size), nullptr, GL_STATIC_DRAW);
      ZeroBuffer(a.buffer, 0, a.size);
      if (glGetError() != GL_NO_ERROR) {
        // No room: these buffers stay without storage, and their locks and
        // draws are refused.
        glDeleteBuffers(1, &a.buffer);
        next = end;
        continue;
      }
      m_arenas.push_back(a);
      reserved += a.size;
    }
    Arena& a = m_arenas[index];
    for (; next < end; ++next) {
      waiting[next]->SetStorage(a.buffer, a.used, static_cast<int>(index));
      a.used += round(waiting[next]->Size());
      ++a.live;
    }
  }
}

void Device::FreeVertexStorage(VertexBuffer* vb, int arena) {
  m_waitingVbs.erase(std::remove(m_waitingVbs.begin(), m_waitingVbs.end(), vb), m_waitingVbs.end());
  if (arena < 0 || static_cast<std::size_t>(arena) >= m_arenas.size()) return;
  Arena& a = m_arenas[static_cast<std::size_t>(arena)];
  // Space is handed out in order and taken back only when the whole buffer
  // object is free again.
  if (a.live > 0 && --a.live == 0) {
    a.used = 0;
    a.reused = true;
  }
}

void Device::ZeroBuffer(GLuint buffer, std::size_t offset, std::size_t n) {
  // A buffer's storage reads as zeros until written, as a new system-memory
  // copy would.
  const std::vector<BYTE> zeros(std::min(n, kZeroChunkBytes), 0);
  glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
  for (std::size_t at = 0; at < n; at += zeros.size())
    glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(offset + at),
                    static_cast<GLsizeiptr>(std::min(zeros.size(), n - at)), zeros.data());
}

bool Device::ReadBuffer(GLuint buffer, std::size_t offset, std::size_t bytes, void* out) {
  if (!buffer || !ContextUsable()) return false;
  if (bytes == 0) return true;
  MakeCurrent();
  glBindBuffer(GL_COPY_READ_BUFFER, buffer);
  glGetBufferSubData(GL_COPY_READ_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes), out);
  return glGetError() == GL_NO_ERROR;
}

bool Device::EnsureRing(std::size_t bytes) {
  if (m_ringOffset + bytes <= m_ringSize) return true;
  // Wrapping: pending draws still read the old contents, so issue them first;
  // then new storage replaces the old without waiting for the GPU.
  FlushDraws();
  while (m_ringSize < bytes) m_ringSize *= 2;
  glBindBuffer(GL_COPY_WRITE_BUFFER, m_ring);
  glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(m_ringSize), nullptr, GL_STREAM_DRAW);
  m_ringOffset = 0;
  ++m_ringGeneration;
  return true;
}

bool Device::StreamIndices(const void* data, std::size_t bytes, GLuint& buffer, std::size_t& offset,
                           std::uint64_t& generation) {
  MakeCurrent();
  if (bytes == 0) bytes = 4;
  if (!EnsureRing(bytes)) return false;
  glBindBuffer(GL_COPY_WRITE_BUFFER, m_ring);
  void* p = glMapBufferRange(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(m_ringOffset),
                             static_cast<GLsizeiptr>(bytes),
                             GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
  if (!p) return false;
  std::memcpy(p, data, bytes);
  glUnmapBuffer(GL_COPY_WRITE_BUFFER);
  buffer = m_ring;
  offset = m_ringOffset;
  generation = m_ringGeneration;
  m_ringOffset += (bytes + 3) & ~static_cast<std::size_t>(3);
  return true;
}

void Device::UploadBuffer(GLuint buffer, std::size_t offset, std::size_t bytes, const void* data) {
  if (!buffer || !bytes) return;
  MakeCurrent();
  glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
  glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes), data);
}

}  // namespace qv::d3d8
