// The devices of a window that was closed, on the scripted host (a window
// needs SDL's offscreen driver, hence a test of its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/dinput8/dinput8.h"
#include "tests/platform/dinput8/dinput8_test_host.h"

namespace {

LRESULT CALLBACK ClosingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

}  // namespace

// A close is no loss of input: once the window the devices cooperate with is
// destroyed, reads succeed with nothing held and no motion, also where the
// window no longer counts as in the foreground (as a window that is gone
// does on the live host). Devices of no window read on (the other tests).
TEST(DirectInputDevice, AClosedWindowsDevicesReadIdle) {
  qv::test::ScriptedInput host("0 key 0x19 down\n0 button 0 down\n0 move 5 5\n1 move 5 5\n2 move 5 5\n",
                               false);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ClosingProc;
  wc.lpszClassName = "Quorvel closing window";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND hWnd =
      CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hWnd, nullptr);
  void* out = nullptr;
  ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr), DI_OK);
  auto* di = static_cast<IDirectInput8A*>(out);
  IDirectInputDevice8A *kb = nullptr, *mouse = nullptr;
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &kb, nullptr), DI_OK);
  ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
  EXPECT_EQ(kb->SetCooperativeLevel(hWnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  EXPECT_EQ(mouse->SetCooperativeLevel(hWnd, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  EXPECT_EQ(kb->Acquire(), DI_OK);
  EXPECT_EQ(mouse->Acquire(), DI_OK);
  BYTE keys[256];
  DIMOUSESTATE2 m;
  qv::test::ScriptedInput::NextFrame();
  ASSERT_EQ(kb->GetDeviceState(sizeof keys, keys), DI_OK);
  ASSERT_EQ(mouse->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(keys[0x19], 0x80);
  EXPECT_EQ(m.lX, 5);

  ASSERT_TRUE(DestroyWindow(hWnd));
  for (int foreground : {-1, 0}) {
    qv::dinput8::testing::SetForegroundOverride(foreground);
    qv::test::ScriptedInput::NextFrame();
    std::memset(keys, 0xFF, sizeof keys);
    std::memset(&m, 0xFF, sizeof m);
    EXPECT_EQ(kb->GetDeviceState(sizeof keys, keys), DI_OK) << foreground;
    EXPECT_EQ(mouse->GetDeviceState(sizeof m, &m), DI_OK) << foreground;
    EXPECT_EQ(std::count(keys, keys + 256, 0), 256) << foreground;
    const DIMOUSESTATE2 idle{};
    EXPECT_EQ(std::memcmp(&m, &idle, sizeof m), 0) << foreground;
  }
  mouse->Release();
  kb->Release();
  di->Release();
  UnregisterClassA(wc.lpszClassName, nullptr);
}
