#include "input/di_wrapper.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "log/log_file.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char* kTag = "DIWrapper::DIWrapper";
constexpr DWORD kMouseStateSize = sizeof(DIMOUSESTATE2);  // 20
// Bound on back-to-back re-acquisitions that report lost input, so a device
// that keeps saying so cannot hang the frame.
constexpr int kMaxReacquire = 16;
constexpr std::size_t kTextCapacity = sizeof(DIWrapper::m_Text);
// Typed-text states: the key codes of the keys that end collecting.
constexpr unsigned char kTextCancelled = DIK_ESCAPE;  // 1
constexpr unsigned char kTextFinished = DIK_RETURN;   // 28

// Every construction and read failure is logged the same way: the step's
// message, then the failing result as a number.
void ReportFailure(const char* message, HRESULT hr) {
  if (!g_pLog) return;
  g_pLog->Report(LOG_ERROR, message, kTag);
  g_pLog->Report(LOG_INFO, static_cast<std::int32_t>(hr), "<ERROR CODE>");
}

// A construction step that failed also asks the program to quit.
bool ConstructionStep(HRESULT hr, const char* message) {
  if (hr == DI_OK) return true;
  ReportFailure(message, hr);
  PostQuitMessage(0);
  return false;
}

// trunc(position + motion * factor). The product is a float, as the factor
// is, so whole notches scale to whole steps (120 x 0.2 is 24, not a hair
// above it) and the wheel comes back to where it was; the sum is made in
// double precision and kept within the 32-bit range before truncating
// (an out-of-range conversion would be undefined). A NaN leaves the
// position where it was.
int MoveAxis(int position, LONG motion, float factor) {
  const float scaled = static_cast<float>(motion) * factor;
  const double v = static_cast<double>(position) + static_cast<double>(scaled);
  if (std::isnan(v)) return position;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);  // truncates toward zero
}

}  // namespace

DIWrapper::DIWrapper(HWND* phWnd, HINSTANCE* phInstance)
    : m_pDI(nullptr), m_pKeyboard(nullptr), m_pMouse(nullptr), m_Keys{}, m_MouseState{} {
  m_MaxX = 1024;
  m_MaxY = 768;
  m_Sensitivity = 1.0f;
  m_MinZ = 0;
  m_MaxZ = 100;
  m_WheelSensitivity = 0.2f;
  ResetText(1);
  m_X = m_Y = m_Z = 0;

  HWND hWnd = phWnd ? *phWnd : nullptr;
  HINSTANCE hInstance = phInstance ? *phInstance : nullptr;

  // Steps that need an object whose creation failed are skipped.
  void* di = nullptr;
  HRESULT hr = DirectInput8Create(hInstance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &di, nullptr);
  m_pDI = static_cast<IDirectInput8A*>(di);
  ConstructionStep(hr, "dwErrorCode = to Create Direct Input Device");
  if (!m_pDI) return;

  hr = m_pDI->CreateDevice(GUID_SysKeyboard, &m_pKeyboard, nullptr);
  ConstructionStep(hr, "dwErrorCode = to Create Keyboard Device");
  if (m_pKeyboard) {
    ConstructionStep(m_pKeyboard->SetDataFormat(&c_dfDIKeyboard),
                     "dwErrorCode = to set Data Format for Keyboard");
    ConstructionStep(m_pKeyboard->SetCooperativeLevel(hWnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
                     "dwErrorCode = to set Coorperative Level for Keyboard");
    ConstructionStep(m_pKeyboard->Acquire(), "dwErrorCode = to Acquire the Keyboard");
  }

  hr = m_pDI->CreateDevice(GUID_SysMouse, &m_pMouse, nullptr);
  ConstructionStep(hr, "Failed Create Mouse Device");
  if (m_pMouse) {
    ConstructionStep(m_pMouse->SetCooperativeLevel(hWnd, DISCL_EXCLUSIVE | DISCL_FOREGROUND),
                     "Failed to set Coorperative Level for Mouse");
    ConstructionStep(m_pMouse->SetDataFormat(&c_dfDIMouse2), "Failed to set Data Format for Mouse");
    ConstructionStep(m_pMouse->Acquire(), "Failed to Acquire Mouse");
  }
}

DIWrapper::~DIWrapper() {
  if (m_pMouse) {
    m_pMouse->Unacquire();
    m_pMouse->Release();
    m_pMouse = nullptr;
  }
  if (m_pKeyboard) {
    m_pKeyboard->Unacquire();
    m_pKeyboard->Release();
    m_pKeyboard = nullptr;
  }
  if (m_pDI) m_pDI->Release();
  m_pDI = nullptr;
}

void DIWrapper::Update() {
  // A device that could not be created is not read; its creation failure
  // was already reported.
  std::memset(m_Keys, 0, sizeof m_Keys);
  if (m_pKeyboard) {
    HRESULT hr = m_pKeyboard->GetDeviceState(sizeof m_Keys, m_Keys);
    if (hr != DI_OK) {
      ReportFailure("Failed to Update the Keyboard", hr);
      std::memset(m_Keys, 0, sizeof m_Keys);  // a failed read leaves no keys down
    }
  }

  if (m_TextMode == 0) UpdateText();

  std::memset(&m_MouseState, 0, sizeof m_MouseState);
  if (!m_pMouse) return;
  HRESULT hr = m_pMouse->GetDeviceState(kMouseStateSize, &m_MouseState);
  if (hr != DI_OK) ReportFailure("Failed to Update the Mouse", hr);
  if (FAILED(hr)) {
    std::memset(&m_MouseState, 0, sizeof m_MouseState);
    HRESULT acquired = m_pMouse->Acquire();
    for (int tries = 1; acquired == DIERR_INPUTLOST && tries < kMaxReacquire; ++tries)
      acquired = m_pMouse->Acquire();
    if (acquired == DIERR_OTHERAPPHASPRIO || acquired == DIERR_NOTACQUIRED) return;
  }

  m_X = MoveAxis(m_X, m_MouseState.lX, m_Sensitivity);
  m_Y = MoveAxis(m_Y, m_MouseState.lY, m_Sensitivity);
  m_Z = MoveAxis(m_Z, m_MouseState.lZ, m_WheelSensitivity);

  if (m_X > m_MaxX)
    m_X = m_MaxX;
  else if (m_X < 0)
    m_X = 0;
  if (m_Y > m_MaxY)
    m_Y = m_MaxY;
  else if (m_Y < 0)
    m_Y = 0;
  if (m_Z > m_MaxZ)
    m_Z = m_MaxZ;
  else if (m_Z < m_MinZ)
    m_Z = m_MinZ;
}

bool DIWrapper::IsKeyDown(int code) const {
  if (code < 0 || code > 255) return false;
  return m_Keys[code] > 127;
}

bool DIWrapper::KeyReleased(int code) {
  if (code < 0 || code > 255) return false;
  if (IsKeyDown(code)) {
    m_KeyWasDown[code] = 1;
    return false;
  }
  if (m_KeyWasDown[code]) {
    m_KeyWasDown[code] = 0;
    return true;
  }
  return false;
}

bool DIWrapper::IsButtonDown(int button) const {
  if (button < 0 || button > 3) return false;
  return m_MouseState.rgbButtons[button] > 127;
}

bool DIWrapper::IsButtonUp(int button) const {
  if (button < 0 || button > 3) return false;
  return m_MouseState.rgbButtons[button] < 128;
}

bool DIWrapper::ClickedInRect(int left, int top, int right, int bottom, int button) const {
  return IsButtonDown(button) && InRect(left, top, right, bottom);
}

bool DIWrapper::InRect(int left, int top, int right, int bottom) const {
  return left < m_X && m_X < right && top < m_Y && m_Y < bottom;
}

void DIWrapper::ResetText(int mode) {
  std::memset(m_KeyWasDown, 0, sizeof m_KeyWasDown);
  std::memset(m_Text, 0, sizeof m_Text);
  m_TextState = 0;
  m_TextMode = mode;
}

void DIWrapper::UpdateText() {
  static constexpr BYTE kLetters[26] = {DIK_A, DIK_B, DIK_C, DIK_D, DIK_E, DIK_F, DIK_G, DIK_H, DIK_I,
                                        DIK_J, DIK_K, DIK_L, DIK_M, DIK_N, DIK_O, DIK_P, DIK_Q, DIK_R,
                                        DIK_S, DIK_T, DIK_U, DIK_V, DIK_W, DIK_X, DIK_Y, DIK_Z};
  static constexpr BYTE kDigits[10] = {DIK_1, DIK_2, DIK_3, DIK_4, DIK_5, DIK_6, DIK_7, DIK_8, DIK_9, DIK_0};
  static constexpr char kDigitChars[] = "1234567890";

  // Appends after the current end; with 1023 characters held the buffer is
  // full (the last byte keeps the terminator) and the character is dropped.
  auto append = [this](char c) {
    const void* end = std::memchr(m_Text, 0, kTextCapacity - 1);
    if (!end) return;
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(end) - m_Text);
    m_Text[len] = c;
    m_Text[len + 1] = '\0';
  };

  if (m_TextState == kTextFinished || KeyReleased(DIK_RETURN)) {
    m_TextState = kTextFinished;
    return;
  }
  if (m_TextState == kTextCancelled || KeyReleased(DIK_ESCAPE)) {
    m_TextState = kTextCancelled;
    std::memset(m_Text, 0, sizeof m_Text);
    return;
  }
  if (IsKeyDown(DIK_LSHIFT) || IsKeyDown(DIK_RSHIFT)) {
    for (int i = 0; i < 26; ++i)
      if (KeyReleased(kLetters[i])) append(static_cast<char>('A' + i));
    return;
  }
  for (int i = 0; i < 26; ++i)
    if (KeyReleased(kLetters[i])) append(static_cast<char>('a' + i));
  for (int i = 0; i < 10; ++i)
    if (KeyReleased(kDigits[i])) append(kDigitChars[i]);
}
