// A device that forwards every call to another device, generated from the
// interface's method list (QV_D3D8_DEVICE_METHODS), so it never lags behind
// the interface. Enter and Leave run around each forwarded call: the frame
// benchmark times the device's own work with them. A subclass that needs more
// from a method overrides it and calls ForwardingDevice's version inside.
// The wrapper does not own the wrapped device: AddRef and Release stop here.
#pragma once

#include "platform/d3d8/d3d8.h"

namespace qv::test {

class ForwardingDevice : public IDirect3DDevice8 {
 public:
  explicit ForwardingDevice(IDirect3DDevice8* inner) : m_inner(inner) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_inner->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }

#define QV_FORWARD_METHOD(ret, name, params, args) \
  ret name params override {                       \
    Enter(#name);                                  \
    const ret result = m_inner->name args;         \
    Leave(#name);                                  \
    return result;                                 \
  }
  QV_D3D8_DEVICE_METHODS(QV_FORWARD_METHOD)
#undef QV_FORWARD_METHOD

 protected:
  // Called just before and just after the wrapped device runs a method.
  virtual void Enter(const char* method) {}
  virtual void Leave(const char* method) {}

 private:
  IDirect3DDevice8* m_inner;
};

}  // namespace qv::test
