// The devices of a window that was closed, on the scripted host (a window
// needs SDL's offscreen driver, hence a test of its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/dinput8/dinput8.h"
#include "tests/platform/dinput8/dinput8_test_host.h"

// A close is no loss of input: once the window the devices cooperate with is
// destroyed, reads succeed with nothing held and no motion, also where the
// window no longer counts as in the foreground (as a window that is gone
// does on the live host). Devices of no window read on (the other tests).
TEST(DirectInputDevice, AClosedWindowsDevicesReadIdle) {
  qv::test::ScriptedInput host("0 key 0x19 down\n0 button 0 down\n0 move 5 5\n1 move 5 5\n2 move 5 5\n",
                               false);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Quorvel closing window";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND hWnd =
      CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr, nullptr, nullptr);
  void* di = nullptr;
  ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &di, nullptr), DI_OK);
  IDirectInputDevice8A* devices[2] = {};  // keyboard, mouse
  const DWORD levels[2] = {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, DISCL_EXCLUSIVE | DISCL_FOREGROUND};
  const DWORD sizes[2] = {256, sizeof(DIMOUSESTATE2)};
  BYTE data[2][256];
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(static_cast<IDirectInput8A*>(di)->CreateDevice(i ? GUID_SysMouse : GUID_SysKeyboard,
                                                             &devices[i], nullptr),
              DI_OK);
    EXPECT_EQ(devices[i]->SetDataFormat(i ? &c_dfDIMouse2 : &c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(devices[i]->SetCooperativeLevel(hWnd, levels[i]), DI_OK);
    EXPECT_EQ(devices[i]->Acquire(), DI_OK);
  }
  auto nextFrame = [&] {
    qv::test::ScriptedInput::NextFrame();
    for (int i = 0; i < 2; ++i) {
      std::memset(data[i], 0xFF, sizeof data[i]);
      EXPECT_EQ(devices[i]->GetDeviceState(sizes[i], data[i]), DI_OK) << i;
    }
  };
  nextFrame();
  EXPECT_EQ(data[0][0x19], 0x80);
  EXPECT_EQ(data[1][0], 5) << "lX";
  ASSERT_TRUE(DestroyWindow(hWnd));
  for (int foreground : {-1, 0}) {
    qv::dinput8::testing::SetForegroundOverride(foreground);
    nextFrame();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(std::count(data[i], data[i] + sizes[i], 0), sizes[i]) << foreground;
  }
  for (IDirectInputDevice8A* device : devices) device->Release();
  static_cast<IDirectInput8A*>(di)->Release();
  UnregisterClassA(wc.lpszClassName, nullptr);
}
