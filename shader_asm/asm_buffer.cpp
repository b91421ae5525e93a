// ID3DXBuffer: a heap block with a reference count.
#include <cstdlib>
#include <new>

#include "shader_asm/d3dx8_asm.h"

namespace {

constexpr GUID s_iidUnknown = {0x00000000u, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class AsmBuffer final : public ID3DXBuffer {
 public:
  AsmBuffer(void* data, DWORD size) : m_pData(data), m_size(size) {}

  HRESULT QueryInterface(REFIID riid, void** ppvObj) override {
    if (!ppvObj) return E_POINTER;
    if (riid == s_iidUnknown || riid == IID_ID3DXBuffer) {
      *ppvObj = static_cast<ID3DXBuffer*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObj = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }
  LPVOID GetBufferPointer() override { return m_pData; }
  DWORD GetBufferSize() override { return m_size; }

 private:
  ~AsmBuffer() { std::free(m_pData); }

  void* m_pData;
  DWORD m_size;
  ULONG m_refs = 1;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  // calloc(0) may return null; keep one byte so the pointer is always valid.
  void* data = std::calloc(size == 0 ? 1 : size, 1);
  if (!data) return E_OUTOFMEMORY;
  AsmBuffer* object = new (std::nothrow) AsmBuffer(data, size);
  if (!object) {
    std::free(data);
    return E_OUTOFMEMORY;
  }
  *buffer = object;
  return S_OK;
}
