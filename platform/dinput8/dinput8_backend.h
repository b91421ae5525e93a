// Where the DirectInput devices get their data: the live host (the display's
// key state, or SDL's where there is none; mouse events) or the scripted host
// (the input script). One backend is shared by every device alive at a time.
// Live reads latch presses: a key or button that went down and came up since
// the last read reads as down in that read, and up in the next. While a
// recording runs, every live read is handed to it as the device returns it.
#pragma once

#include <SDL.h>

#include <bitset>
#include <cstdint>
#include <memory>

#include "platform/dinput8/dinput8.h"
#include "platform/dinput8/dinput8_script.h"

namespace qv::dinput8 {

class InputBackend {
 public:
  // The backend in use, made (for the host's current mode) when none is alive.
  static std::shared_ptr<InputBackend> Acquire();
  ~InputBackend();
  InputBackend(const InputBackend&) = delete;
  InputBackend& operator=(const InputBackend&) = delete;

  // Whether the window is in the foreground: on the scripted host, as the
  // script's focus lines say (in, unless one says otherwise).
  bool Foreground();
  // Foreground(), but a window that was just shown is given a moment to
  // receive the focus first (see the definition).
  bool SettleForeground();
  // 256 bytes of key state, high bit = down (held now, or pressed since the
  // last call or DropKeyPresses).
  void ReadKeys(BYTE keys[256]);
  void DropKeyPresses();
  // Relative motion since the last call (or DropMotion) and 8 button bytes
  // (held now, or pressed since then).
  void ReadMouse(LONG& dx, LONG& dy, LONG& dz, BYTE buttons[8]);
  void DropMotion();
  // Exclusive mouse: the cursor is captured (relative mode) while any
  // exclusive mouse holds it.
  void Capture(bool on);

 private:
  InputBackend();
  void ApplyScript();

  bool m_Scripted = false;
  std::unique_ptr<ScriptPlayer> m_Player;
  int m_ListenerId = -1;
  std::int64_t m_Dx = 0, m_Dy = 0, m_Dz = 0;    // live motion since the last read
  std::bitset<SDL_NUM_SCANCODES> m_KeyPresses;  // live SDL key presses since the last read
  BYTE m_ButtonPresses = 0;  // live button presses since the last read, bit = rgbButtons index
  int m_Captures = 0;
};

// Consumes one unit of the test seam's call count; true (with the result to
// return) when this call is the one chosen to fail.
bool TakeInjectedFailure(HRESULT& hr);

}  // namespace qv::dinput8
