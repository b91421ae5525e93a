#include "platform/dinput8/dinput8_backend.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/dinput8/dinput8_keymap.h"
#include "platform/dinput8/dinput8_record.h"
#include "platform/dinput8/dinput8_testing.h"
#include "platform/host/host.h"

namespace qv::dinput8 {
namespace {

std::weak_ptr<InputBackend> s_current;
std::unique_ptr<std::vector<ScriptEvent>> s_loadedScript;  // see UseLoadedScript
int s_foregroundOverride = -1;
int s_failCountdown = 0;
HRESULT s_failResult = DI_OK;

LONG Saturate(std::int64_t v) { return static_cast<LONG>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

// One wheel notch is 120 units of lZ, as on Windows.
constexpr int kWheelDelta = 120;

// rgbButtons order: left, right, middle, then the two extra buttons.
constexpr int kButtons = 5;
constexpr Uint8 kSdlButtons[kButtons] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1,
                                         SDL_BUTTON_X2};

}  // namespace

bool TakeInjectedFailure(HRESULT& hr) {
  if (s_failCountdown <= 0) return false;
  if (--s_failCountdown > 0) return false;
  hr = s_failResult;
  return true;
}

namespace testing {
void FailNthCall(int n, HRESULT hr) {
  s_failCountdown = n > 0 ? n : 0;
  s_failResult = hr;
}
void SetForegroundOverride(int foreground) { s_foregroundOverride = foreground; }
}  // namespace testing

void UseLoadedScript(std::vector<ScriptEvent> events) {
  s_loadedScript = std::make_unique<std::vector<ScriptEvent>>(std::move(events));
}

std::shared_ptr<InputBackend> InputBackend::Acquire() {
  std::shared_ptr<InputBackend> backend = s_current.lock();
  if (!backend) {
    backend.reset(new InputBackend());
    s_current = backend;
  }
  return backend;
}

InputBackend::InputBackend() {
  const qv::host::Config& config = qv::host::GetConfig();
  m_Scripted = config.scripted;
  if (m_Scripted) {
    std::vector<ScriptEvent> events;
    if (s_loadedScript)
      events = std::move(*std::exchange(s_loadedScript, nullptr));
    else if (!config.input_script.empty())
      events = LoadInputScript(config.input_script);
    m_Player = std::make_unique<ScriptPlayer>(std::move(events));
    return;
  }
  // Live: the host hands us every SDL event when it pumps; keep the relative
  // motion, wheel turns and presses between reads. Held keys and buttons are
  // read from the current state at read time.
  m_ListenerId = qv::host::AddEventListener([this](const SDL_Event& e) {
    if (e.type == SDL_MOUSEMOTION) {
      m_Dx += e.motion.xrel;
      m_Dy += e.motion.yrel;
    } else if (e.type == SDL_MOUSEWHEEL) {
      std::int64_t notches = e.wheel.y;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
      m_Dz += notches * kWheelDelta;
    } else if (e.type == SDL_MOUSEBUTTONDOWN) {
      for (int i = 0; i < kButtons; ++i)
        if (e.button.button == kSdlButtons[i]) m_ButtonPresses |= static_cast<BYTE>(1u << i);
    } else if (e.type == SDL_KEYDOWN && e.key.keysym.scancode < SDL_NUM_SCANCODES) {
      m_KeyPresses.set(e.key.keysym.scancode);
    }
  });
}

InputBackend::~InputBackend() {
  if (m_ListenerId >= 0) qv::host::RemoveEventListener(m_ListenerId);
  if (m_Captures > 0 && !m_Scripted) SDL_SetRelativeMouseMode(SDL_FALSE);
}

bool InputBackend::Foreground() {
  if (m_Scripted) {
    if (s_foregroundOverride >= 0) return s_foregroundOverride != 0;
    ApplyScript();
    return m_Player->Focus();
  }
  const bool foreground = s_foregroundOverride >= 0 ? s_foregroundOverride != 0 : qv::host::WindowHasFocus();
  RecordFocus(foreground);
  return foreground;
}

// Windows makes a newly shown window the foreground window at once, so the
// program acquires its exclusive mouse right after creating the window. An
// X server hands over the focus a little later, as an event; without this
// wait the first acquisition would be refused and the program would quit.
bool InputBackend::SettleForeground() {
  constexpr Uint32 kSettleMs = 750;
  if (Foreground()) return true;
  if (s_foregroundOverride >= 0 || m_Scripted || !qv::host::Window()) return false;
  const Uint32 start = SDL_GetTicks();
  while (SDL_GetTicks() - start < kSettleMs) {
    SDL_Delay(5);
    qv::host::PumpEvents();
    if (Foreground()) return true;
  }
  return false;
}

void InputBackend::ApplyScript() {
  if (m_Player) m_Player->ApplyUpTo(qv::host::FrameIndex());
}

void InputBackend::ReadKeys(BYTE keys[256]) {
  std::memset(keys, 0, 256);
  if (m_Scripted) {
    ApplyScript();
    std::memcpy(keys, m_Player->Keys(), 256);
    return;
  }
  // The keyboard is read in the background: the display's own key state
  // holds whichever window has the focus, where SDL's follows SDL's focused
  // window (and forgets held keys when it loses the focus).
  std::uint8_t held[32], pressed[32];
  if (qv::host::GlobalKeyState(held, pressed)) {
    m_KeyPresses.reset();
    for (int code = 0; code < 256; ++code) {
      if (!((held[code / 8] | pressed[code / 8]) & (1u << (code % 8)))) continue;
      const BYTE dik = DikFromLinuxKey(code);
      if (dik != 0) keys[dik] = 0x80;
    }
    RecordKeys(keys);
    return;
  }
  int count = 0;
  const Uint8* state = SDL_GetKeyboardState(&count);
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    if (!m_KeyPresses.test(sc) && !(state && sc < count && state[sc])) continue;
    const BYTE dik = DikFromScancode(sc);
    if (dik != 0) keys[dik] = 0x80;
  }
  m_KeyPresses.reset();
  RecordKeys(keys);
}

void InputBackend::DropKeyPresses() {
  m_KeyPresses.reset();
  std::uint8_t held[32], pressed[32];
  if (!m_Scripted) qv::host::GlobalKeyState(held, pressed);
}

void InputBackend::ReadMouse(LONG& dx, LONG& dy, LONG& dz, BYTE buttons[8]) {
  std::memset(buttons, 0, 8);
  if (m_Scripted) {
    ApplyScript();
    std::int32_t x = 0, y = 0, z = 0;
    m_Player->TakeMotion(x, y, z);
    dx = x;
    dy = y;
    dz = z;
    std::memcpy(buttons, m_Player->Buttons(), 8);
    return;
  }
  dx = Saturate(m_Dx);
  dy = Saturate(m_Dy);
  dz = Saturate(m_Dz);
  m_Dx = m_Dy = m_Dz = 0;
  const Uint32 mask = SDL_GetMouseState(nullptr, nullptr);
  for (int i = 0; i < kButtons; ++i)
    if ((mask & SDL_BUTTON(kSdlButtons[i])) || (m_ButtonPresses & (1u << i))) buttons[i] = 0x80;
  m_ButtonPresses = 0;
  RecordMouse(dx, dy, dz, buttons);
}

void InputBackend::DropMotion() {
  if (m_Player) m_Player->DropMotion();
  m_Dx = m_Dy = m_Dz = 0;
  m_ButtonPresses = 0;
}

void InputBackend::Capture(bool on) {
  int before = m_Captures;
  m_Captures = std::max(0, m_Captures + (on ? 1 : -1));
  if (m_Scripted || (before > 0) == (m_Captures > 0)) return;
  if (qv::host::Window() == nullptr) return;
  // Failing to capture (no pointer grab possible) still leaves relative
  // motion from the motion events, so the result is not acted on.
  SDL_SetRelativeMouseMode(m_Captures > 0 ? SDL_TRUE : SDL_FALSE);
}

}  // namespace qv::dinput8
