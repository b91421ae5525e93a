// Vertex and index buffers. Index buffers, and vertex buffers not created
// write-only, keep a system-memory copy: Lock hands out that memory, Unlock
// uploads the locked range. A write-only vertex buffer has its data in GL
// only; its locks go through memory of their own. An index buffer locked with
// D3DLOCK_DISCARD is not uploaded into its own buffer object at all: its data
// goes to the device's index stream, so the GPU never has to finish with the
// old contents first and consecutive draws can still be gathered.
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/d3d8/d3d8_internal.h"

namespace qv::d3d8 {

void ByteStore::assign(std::size_t n, BYTE /*zero*/) {
  // Large stores are mapped straight from the kernel, whose pages come
  // zeroed, and asked for huge pages: the first write then takes a few
  // faults instead of one per 4 KiB page. Small ones come from calloc.
  constexpr std::size_t kHugePage = 2u << 20;
  Release();
  if (n >= kHugePage) {
    const std::size_t rounded = (n + kHugePage - 1) / kHugePage * kHugePage;
    void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    ::madvise(p, rounded, MADV_HUGEPAGE);
    m_bytes = static_cast<BYTE*>(p);
    m_mapped = rounded;
  } else {
    m_bytes = static_cast<BYTE*>(std::calloc(n ? n : 1, 1));
    if (!m_bytes) throw std::bad_alloc();
  }
  m_size = n;
}

void ByteStore::Release() {
  if (m_mapped)
    ::munmap(m_bytes, m_mapped);
  else
    std::free(m_bytes);
  m_bytes = nullptr;
  m_size = 0;
  m_mapped = 0;
}

namespace {

constexpr UINT kMaxBufferBytes = 256u << 20;

constexpr std::size_t kMaxKeptElements = 4;
// Bytes read back at a time when an element is first kept.
constexpr std::size_t kReadChunkBytes = 1u << 20;

// Ends the lock; false (with *result set) when nothing is left to upload:
// the buffer was not locked, or the lock was read-only.
bool EndLock(BufferStore& s, HRESULT* result) {
  *result = s.locked ? D3D_OK : D3DERR_INVALIDCALL;
  const bool written = s.locked && !(s.lockFlags & D3DLOCK_READONLY);
  s.locked = false;
  return written;
}

// Checks a lock of [offset, offset + size) of `total` bytes (size 0: the rest
// of the buffer) and records it as the buffer's lock.
HRESULT BeginLock(BufferStore& s, UINT total, UINT offset, UINT size, BYTE** ppData, DWORD flags) {
  if (!ppData) return D3DERR_INVALIDCALL;
  *ppData = nullptr;
  if (s.locked) return D3DERR_INVALIDCALL;
  if (offset > total) return D3DERR_INVALIDCALL;
  if (size == 0) size = total - offset;
  if (size > total - offset) return D3DERR_INVALIDCALL;
  s.locked = true;
  s.lockFlags = flags;
  s.lockOffset = offset;
  s.lockSize = size;
  return D3D_OK;
}

HRESULT LockStore(BufferStore& s, UINT offset, UINT size, BYTE** ppData, DWORD flags) {
  const HRESULT hr = BeginLock(s, static_cast<UINT>(s.data.size()), offset, size, ppData, flags);
  if (hr == D3D_OK) *ppData = s.data.data() + s.lockOffset;
  return hr;
}

}  // namespace

// --- vertex buffers ------------------------------------------------------------------

VertexBuffer::VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : DeviceResource(device), m_length(length), m_gpuOnly((usage & D3DUSAGE_WRITEONLY) != 0), m_fvf(fvf) {
  m_device->AddRef();
  m_store.usage = usage;
  m_store.pool = pool;
  if (!m_gpuOnly) {
    try {
      m_store.data.assign(length, 0);
    } catch (...) {
      return;
    }
  }
  // The GL storage is placed at first use, together with the buffers made
  // before it that are still waiting.
  m_device->RequestVertexStorage(this);
  m_valid = true;
}

VertexBuffer::~VertexBuffer() {
  m_device->MakeCurrent();
  m_device->ForgetBuffer(this, nullptr);
  m_device->FreeVertexStorage(this, m_placed ? m_arena : -1);
  m_device->Release();
}

void VertexBuffer::SetStorage(GLuint buffer, std::size_t offset, int arena) {
  m_store.gl = buffer;
  m_arenaOffset = offset;
  m_arena = arena;
  m_placed = true;
}

GLuint VertexBuffer::Gl() {
  if (!m_placed) m_device->PlaceVertexStorage();
  return m_store.gl;
}

bool VertexBuffer::ReadContents(std::size_t offset, std::size_t bytes, BYTE* out) {
  if (!m_gpuOnly) {
    std::memcpy(out, m_store.data.data() + offset, bytes);
    return true;
  }
  const GLuint gl = Gl();
  return gl && m_device->ReadBuffer(gl, m_arenaOffset + offset, bytes, out);
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) {
  if (!m_gpuOnly) return LockStore(m_store, offset, size, ppData, flags);
  HRESULT hr = BeginLock(m_store, m_length, offset, size, ppData, flags);
  if (hr != D3D_OK) return hr;
  // Every lock reads its range back, a discarding one too: the caller sees
  // the bytes it would have seen in a system-memory copy.
  try {
    m_lockBytes.resize(m_store.lockSize);
  } catch (...) {
    hr = E_OUTOFMEMORY;
  }
  if (hr == D3D_OK && !ReadContents(m_store.lockOffset, m_store.lockSize, m_lockBytes.data()))
    hr = D3DERR_INVALIDCALL;
  if (hr != D3D_OK) {
    m_store.locked = false;
    std::vector<BYTE>().swap(m_lockBytes);
    return hr;
  }
  *ppData = m_lockBytes.data();
  return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
  HRESULT result;
  const bool written = EndLock(m_store, &result);
  std::vector<BYTE> lockBytes;
  lockBytes.swap(m_lockBytes);  // freed on the way out
  if (!written) return result;
  const BYTE* bytes = m_gpuOnly ? lockBytes.data() : m_store.data.data() + m_store.lockOffset;
  for (auto& k : m_kept) k->Update(bytes, m_store.lockOffset, m_store.lockSize);
  const GLuint gl = Gl();
  m_device->MakeCurrent();
  // With NOOVERWRITE the caller promises not to touch what pending draws
  // read, so they need not be issued first.
  if (!(m_store.lockFlags & D3DLOCK_NOOVERWRITE)) m_device->FlushDraws();
  m_device->UploadBuffer(gl, m_arenaOffset + m_store.lockOffset, m_store.lockSize, bytes);
  return D3D_OK;
}

const VertexBox* VertexBuffer::Box(UINT first, UINT count, UINT stride, UINT offset, DWORD type) {
  if (!KeptElement::Keepable(type)) return nullptr;
  for (auto& k : m_kept)
    if (k->Is(stride, offset, type)) return k->Box(first, count);
  if (m_kept.size() >= kMaxKeptElements) return nullptr;
  // A new element is gathered from the whole buffer once; later locks keep
  // it up to date.
  std::unique_ptr<KeptElement> k;
  std::vector<BYTE> chunk;
  try {
    k = std::make_unique<KeptElement>(stride, offset, type, m_length);
    chunk.resize(std::min<std::size_t>(m_length, kReadChunkBytes));
  } catch (...) {
    return nullptr;
  }
  for (std::size_t at = 0; at < m_length; at += chunk.size()) {
    const std::size_t n = std::min(chunk.size(), m_length - at);
    if (!ReadContents(at, n, chunk.data())) return nullptr;
    k->Update(chunk.data(), at, n);
  }
  m_kept.push_back(std::move(k));
  return m_kept.back()->Box(first, count);
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
  if (!pDesc) return D3DERR_INVALIDCALL;
  pDesc->Format = D3DFMT_VERTEXDATA;
  pDesc->Type = D3DRTYPE_VERTEXBUFFER;
  pDesc->Usage = m_store.usage;
  pDesc->Pool = m_store.pool;
  pDesc->Size = Size();
  pDesc->FVF = m_fvf;
  return D3D_OK;
}

// --- index buffers -------------------------------------------------------------------

IndexBuffer::IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : DeviceResource(device), m_format(format) {
  m_device->AddRef();
  m_store.usage = usage;
  m_store.pool = pool;
  try {
    m_store.data.assign(length, 0);
  } catch (...) {
    return;
  }
  m_device->MakeCurrent();
  glGenBuffers(1, &m_store.gl);
  glBindBuffer(GL_COPY_WRITE_BUFFER, m_store.gl);
  glBufferData(GL_COPY_WRITE_BUFFER, length, m_store.data.data(),
               (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  m_valid = glGetError() == GL_NO_ERROR;
}

IndexBuffer::~IndexBuffer() {
  m_device->MakeCurrent();
  m_device->ForgetBuffer(nullptr, this);
  if (m_store.gl && m_device->ContextUsable()) {
    m_device->Gl().ForgetBuffer(m_store.gl);
    glDeleteBuffers(1, &m_store.gl);
  }
  m_device->Release();
}

HRESULT IndexBuffer::Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) {
  return LockStore(m_store, offset, size, ppData, flags);
}

HRESULT IndexBuffer::Unlock() {
  HRESULT result;
  if (!EndLock(m_store, &result)) return result;
  if (m_store.lockFlags & D3DLOCK_DISCARD) {
    // Everything up to the end of the written range is streamed; draws after
    // this one read it from there.
    m_streamBytes = static_cast<std::size_t>(m_store.lockOffset) + m_store.lockSize;
    if (m_device->StreamIndices(m_store.data.data(), m_streamBytes, m_streamBuffer, m_streamOffset,
                                m_streamGeneration)) {
      m_streamed = true;
      return D3D_OK;
    }
  }
  m_device->MakeCurrent();
  if (!(m_store.lockFlags & D3DLOCK_NOOVERWRITE)) m_device->FlushDraws();
  if (m_streamed) {
    // The buffer object missed the streamed writes: bring all of it up to date.
    m_device->UploadBuffer(m_store.gl, 0, m_store.data.size(), m_store.data.data());
    m_streamed = false;
  } else {
    m_device->UploadBuffer(m_store.gl, m_store.lockOffset, m_store.lockSize,
                           m_store.data.data() + m_store.lockOffset);
  }
  return D3D_OK;
}

bool IndexBuffer::ResolveDraw(GLuint& buffer, std::size_t& offset) {
  if (m_store.locked) return false;
  if (!m_streamed) {
    buffer = m_store.gl;
    offset = 0;
    return buffer != 0;
  }
  if (m_streamGeneration != m_device->RingGeneration()) {
    if (!m_device->StreamIndices(m_store.data.data(), m_streamBytes, m_streamBuffer, m_streamOffset,
                                 m_streamGeneration))
      return false;
  }
  buffer = m_streamBuffer;
  offset = m_streamOffset;
  return true;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
  if (!pDesc) return D3DERR_INVALIDCALL;
  pDesc->Format = m_format;
  pDesc->Type = D3DRTYPE_INDEXBUFFER;
  pDesc->Usage = m_store.usage;
  pDesc->Pool = m_store.pool;
  pDesc->Size = Size();
  return D3D_OK;
}

// --- creation on the device ------------------------------------------------------------

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer8** ppVB) {
  if (!ppVB) return D3DERR_INVALIDCALL;
  *ppVB = nullptr;
  if (length == 0 || length > kMaxBufferBytes || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  auto* vb = new (std::nothrow) VertexBuffer(this, length, usage, fvf, pool);
  if (!vb) return E_OUTOFMEMORY;
  if (!vb->Valid()) {
    vb->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *ppVB = vb;
  return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer8** ppIB) {
  if (!ppIB) return D3DERR_INVALIDCALL;
  *ppIB = nullptr;
  if (length == 0 || length > kMaxBufferBytes || pool > D3DPOOL_SYSTEMMEM ||
      (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  auto* ib = new (std::nothrow) IndexBuffer(this, length, usage, format, pool);
  if (!ib) return E_OUTOFMEMORY;
  if (!ib->Valid()) {
    ib->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *ppIB = ib;
  return D3D_OK;
}

}  // namespace qv::d3d8
