// DIWrapper: the program's one input object. Reads the system keyboard and
// mouse through DirectInput 8 once per frame and answers key, button and
// cursor questions; it can also collect a line of typed text.
#pragma once

#include "platform/dinput8/dinput8.h"

class DIWrapper {
 public:
  DIWrapper(HWND* phWnd, HINSTANCE* phInstance);
  ~DIWrapper();
  DIWrapper(const DIWrapper&) = delete;
  DIWrapper& operator=(const DIWrapper&) = delete;

  void Update();

  int GetX() const { return m_X; }
  int GetY() const { return m_Y; }
  int GetZ() const { return m_Z; }
  void SetX(int x) { m_X = x; }
  void SetY(int y) { m_Y = y; }
  void SetZ(int z) { m_Z = z; }

  bool IsKeyDown(int code) const;
  bool KeyReleased(int code);
  bool IsButtonDown(int button) const;
  bool IsButtonUp(int button) const;
  bool ClickedInRect(int left, int top, int right, int bottom, int button) const;
  bool InRect(int left, int top, int right, int bottom) const;

  // Screen size; the cursor goes to its centre (halves by arithmetic shift).
  void SetScreen(int width, int height) {
    m_MaxX = width;
    m_MaxY = height;
    m_X = width >> 1;
    m_Y = height >> 1;
  }
  void SetSensitivity(float s) { m_Sensitivity = s; }
  void SetWheelRange(int minimum, int maximum) {
    m_MinZ = minimum;
    m_MaxZ = maximum;
  }
  void SetWheelSensitivity(float s) { m_WheelSensitivity = s; }

  // Typed text.
  void ResetText(int mode);
  const char* GetText() const { return m_Text; }
  unsigned char GetTextState() const { return m_TextState; }
  void UpdateText();

  IDirectInput8A* m_pDI;
  IDirectInputDevice8A* m_pKeyboard;
  IDirectInputDevice8A* m_pMouse;
  unsigned char m_Keys[256];
  DIMOUSESTATE2 m_MouseState;
  int m_X, m_Y;
  int m_Z;
  int m_MaxX, m_MaxY;
  int m_MinZ, m_MaxZ;
  float m_Sensitivity;
  float m_WheelSensitivity;
  char m_Text[1024];
  unsigned char m_TextState;
  int m_TextMode;
  unsigned char m_KeyWasDown[256];
};
