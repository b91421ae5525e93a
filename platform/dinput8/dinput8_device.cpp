// DirectInput8Create, the DirectInput object and the two system devices.
#include <cstring>
#include <memory>

#include "platform/dinput8/dinput8.h"
#include "platform/dinput8/dinput8_backend.h"

// Identifiers as the public documentation gives them.
const GUID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {
constexpr DWORD kDidfRelAxis = 0x02;
constexpr DWORD kObjectFormatSize = 16;  // one object description record
}  // namespace

// The devices recognise these records by address; their object tables are
// not needed since each describes one fixed layout.
const DIDATAFORMAT c_dfDIKeyboard = {
    sizeof(DIDATAFORMAT), kObjectFormatSize, kDidfRelAxis, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {
    sizeof(DIDATAFORMAT), kObjectFormatSize, kDidfRelAxis, sizeof(DIMOUSESTATE), 7, nullptr};
const DIDATAFORMAT c_dfDIMouse2 = {
    sizeof(DIDATAFORMAT), kObjectFormatSize, kDidfRelAxis, sizeof(DIMOUSESTATE2), 11, nullptr};

namespace qv::dinput8 {
namespace {

enum class DeviceKind { Keyboard, Mouse };

class InputDevice final : public IDirectInputDevice8A {
 public:
  InputDevice(DeviceKind kind, std::shared_ptr<InputBackend> backend)
      : m_Kind(kind), m_Backend(std::move(backend)) {}

  HRESULT QueryInterface(REFIID, void** ppvObj) override {
    if (ppvObj) *ppvObj = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_Refs; }
  ULONG Release() override {
    ULONG left = --m_Refs;
    if (left == 0) {
      if (m_Acquired) Lose();
      delete this;
    }
    return left;
  }

  HRESULT SetDataFormat(const DIDATAFORMAT* format) override {
    HRESULT hr;
    if (TakeInjectedFailure(hr)) return hr;
    if (!format) return DIERR_INVALIDPARAM;
    if (m_Acquired) return DIERR_ACQUIRED;
    bool known = m_Kind == DeviceKind::Keyboard ? format == &c_dfDIKeyboard
                                                : (format == &c_dfDIMouse || format == &c_dfDIMouse2);
    if (!known) return DIERR_INVALIDPARAM;
    m_Format = format;
    return DI_OK;
  }

  HRESULT SetCooperativeLevel(HWND hWnd, DWORD flags) override {
    HRESULT hr;
    if (TakeInjectedFailure(hr)) return hr;
    constexpr DWORD kKnown =
        DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NOWINKEY;
    bool exclusive = (flags & DISCL_EXCLUSIVE) != 0;
    bool foreground = (flags & DISCL_FOREGROUND) != 0;
    if ((flags & ~kKnown) != 0 || exclusive == ((flags & DISCL_NONEXCLUSIVE) != 0) ||
        foreground == ((flags & DISCL_BACKGROUND) != 0))
      return DIERR_INVALIDPARAM;
    // Nobody may own the system keyboard or mouse while in the background.
    if (exclusive && !foreground) return DIERR_UNSUPPORTED;
    if (m_Acquired) return DIERR_ACQUIRED;
    m_Exclusive = exclusive;
    m_Foreground = foreground;
    m_Window = hWnd;
    m_WindowWasOpen = IsWindow(hWnd) != FALSE;
    return DI_OK;
  }

  HRESULT Acquire() override {
    HRESULT hr;
    if (TakeInjectedFailure(hr)) return hr;
    if (!m_Format) return DIERR_INVALIDPARAM;
    if (m_Acquired) return DI_NOEFFECT;
    // Only a device's first acquisition waits for a new window's focus; a
    // re-acquisition while another window is in front is refused at once.
    if (m_Foreground && !(m_EverAcquired ? m_Backend->Foreground() : m_Backend->SettleForeground()))
      return DIERR_OTHERAPPHASPRIO;
    m_Acquired = true;
    m_EverAcquired = true;
    // Relative motion and presses count from the moment of acquisition.
    if (m_Kind == DeviceKind::Keyboard) m_Backend->DropKeyPresses();
    if (m_Kind == DeviceKind::Mouse) {
      m_Backend->DropMotion();
      if (m_Exclusive) m_Backend->Capture(true);
    }
    return DI_OK;
  }

  HRESULT Unacquire() override {
    HRESULT hr;
    if (TakeInjectedFailure(hr)) return hr;
    if (!m_Acquired) return DI_NOEFFECT;
    Lose();
    return DI_OK;
  }

  HRESULT GetDeviceState(DWORD size, void* data) override {
    HRESULT hr;
    if (TakeInjectedFailure(hr)) return hr;
    if (!data || !m_Format || size != m_Format->dwDataSize) return DIERR_INVALIDPARAM;
    if (!m_Acquired) return DIERR_NOTACQUIRED;
    // Once the device's window is closed nobody can give it input, and a
    // close is no loss of input: until the program ends, reads succeed with
    // nothing held and no motion.
    if (m_WindowWasOpen && !IsWindow(m_Window)) {
      std::memset(data, 0, size);
      return DI_OK;
    }
    // A foreground device is taken away when its window leaves the
    // foreground; this read reports it, later reads say "not acquired".
    if (m_Foreground && !m_Backend->Foreground()) {
      Lose();
      return DIERR_INPUTLOST;
    }
    if (m_Kind == DeviceKind::Keyboard) {
      m_Backend->ReadKeys(static_cast<BYTE*>(data));
      return DI_OK;
    }
    DIMOUSESTATE2 state{};
    m_Backend->ReadMouse(state.lX, state.lY, state.lZ, state.rgbButtons);
    if (size == sizeof(DIMOUSESTATE2)) {
      std::memcpy(data, &state, sizeof state);
    } else {
      DIMOUSESTATE small{state.lX, state.lY, state.lZ, {}};
      std::memcpy(small.rgbButtons, state.rgbButtons, sizeof small.rgbButtons);
      std::memcpy(data, &small, sizeof small);
    }
    return DI_OK;
  }

 private:
  ~InputDevice() = default;

  void Lose() {
    m_Acquired = false;
    if (m_Kind == DeviceKind::Mouse && m_Exclusive) m_Backend->Capture(false);
  }

  DeviceKind m_Kind;
  std::shared_ptr<InputBackend> m_Backend;
  ULONG m_Refs = 1;
  const DIDATAFORMAT* m_Format = nullptr;
  bool m_Exclusive = false;  // a new device is non-exclusive and background
  bool m_Foreground = false;
  HWND m_Window = nullptr;       // the window of the cooperative level
  bool m_WindowWasOpen = false;  // ... and whether it was a window then
  bool m_Acquired = false;
  bool m_EverAcquired = false;
};

class DirectInput8 final : public IDirectInput8A {
 public:
  DirectInput8() : m_Backend(InputBackend::Acquire()) {}

  HRESULT QueryInterface(REFIID riid, void** ppvObj) override {
    if (!ppvObj) return E_POINTER;
    if (riid == IID_IDirectInput8A) {
      AddRef();
      *ppvObj = static_cast<IDirectInput8A*>(this);
      return S_OK;
    }
    *ppvObj = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_Refs; }
  ULONG Release() override {
    ULONG left = --m_Refs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT CreateDevice(REFGUID guid, IDirectInputDevice8A** ppDevice, IUnknown* outer) override {
    if (ppDevice) *ppDevice = nullptr;
    HRESULT hr;
    if (TakeInjectedFailure(hr)) return hr;
    if (!ppDevice) return DIERR_INVALIDPARAM;
    if (outer) return DIERR_NOAGGREGATION;
    if (guid == GUID_SysKeyboard) {
      *ppDevice = new InputDevice(DeviceKind::Keyboard, m_Backend);
    } else if (guid == GUID_SysMouse) {
      *ppDevice = new InputDevice(DeviceKind::Mouse, m_Backend);
    } else {
      return DIERR_DEVICENOTREG;
    }
    return DI_OK;
  }

 private:
  ~DirectInput8() = default;

  std::shared_ptr<InputBackend> m_Backend;
  ULONG m_Refs = 1;
};

}  // namespace
}  // namespace qv::dinput8

HRESULT DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, void** ppOut, IUnknown* outer) {
  if (ppOut) *ppOut = nullptr;
  HRESULT hr;
  if (qv::dinput8::TakeInjectedFailure(hr)) return hr;
  if (!ppOut) return DIERR_INVALIDPARAM;
  if (outer) return DIERR_NOAGGREGATION;
  if (version < DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
  if (version > DIRECTINPUT_VERSION) return DIERR_BETADIRECTINPUTVERSION;
  if (riid != IID_IDirectInput8A) return DIERR_NOINTERFACE;
  *ppOut = static_cast<IDirectInput8A*>(new qv::dinput8::DirectInput8());
  return DI_OK;
}
