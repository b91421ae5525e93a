// The system keyboard and mouse on the scripted host, and the key table.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <utility>

#include "platform/dinput8/dinput8.h"
#include "platform/dinput8/dinput8_keymap.h"
#include "tests/platform/dinput8/dinput8_test_host.h"

namespace {

using qv::test::ScriptedInput;

IDirectInputDevice8A* OpenDevice(IDirectInput8A* di, bool mouse) {
  IDirectInputDevice8A* dev = nullptr;
  EXPECT_EQ(di->CreateDevice(mouse ? GUID_SysMouse : GUID_SysKeyboard, &dev, nullptr), DI_OK);
  EXPECT_EQ(dev->SetDataFormat(mouse ? &c_dfDIMouse2 : &c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(dev->SetCooperativeLevel(
                nullptr, mouse ? DISCL_EXCLUSIVE | DISCL_FOREGROUND : DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
            DI_OK);
  EXPECT_EQ(dev->Acquire(), DI_OK);
  return dev;
}

}  // namespace

TEST(DirectInputDevice, RefusesMisuseWithoutTouchingState) {
  ScriptedInput host("", false);
  void* out = nullptr;
  EXPECT_EQ(DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, &out, nullptr),
            DIERR_OLDDIRECTINPUTVERSION);
  ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr), DI_OK);
  auto* di = static_cast<IDirectInput8A*>(out);
  IDirectInputDevice8A* kb = nullptr;
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &kb, nullptr), DI_OK);
  BYTE keys[256];
  EXPECT_EQ(kb->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIMouse2), DIERR_INVALIDPARAM);
  ASSERT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(kb->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_FOREGROUND), DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DIERR_UNSUPPORTED);
  ASSERT_EQ(kb->Acquire(), DI_OK);
  EXPECT_EQ(kb->GetDeviceState(255, keys), DIERR_INVALIDPARAM) << "size must match the format";
  EXPECT_EQ(kb->GetDeviceState(256, nullptr), DIERR_INVALIDPARAM);
  kb->Release();
  di->Release();
}

TEST(DirectInputDevice, ReadsTheScriptFrameByFrame) {
  ScriptedInput host(
      "0 key 0x19 down\n0 move 10 -4 120\n0 button 0 down\n"
      "2 key 0x19 up\n2 move 1 1\n2 move 2 2 -1\n2 button 0 up\n2 button 7 down\n"
      "3 move 5 0\n4 move 1 0\n4 key 1 down\n4 key 1 up\n5 move 2147483647 0\n5 move 2147483647 0\n",
      false);
  void* out = nullptr;
  DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr);
  auto* di = static_cast<IDirectInput8A*>(out);
  IDirectInputDevice8A* kb = OpenDevice(di, false);
  IDirectInputDevice8A* mouse = OpenDevice(di, true);
  BYTE keys[256];
  DIMOUSESTATE2 m;
  ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(keys[0x19], 0) << "nothing applies before frame 0";
  // The next frame, then both devices read (the mouse unless told not to).
  auto frame = [&](bool readMouse = true) {
    ScriptedInput::NextFrame();
    ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK);
    ASSERT_EQ(readMouse ? mouse->GetDeviceState(sizeof m, &m) : DI_OK, DI_OK);
  };

  frame();  // frame 0
  EXPECT_EQ(keys[0x19], 0x80);
  EXPECT_EQ(std::count(keys, keys + 256, 0), 255);
  EXPECT_EQ(m.lX, 10);
  EXPECT_EQ(m.lY, -4);
  EXPECT_EQ(m.lZ, 120);
  EXPECT_EQ(m.rgbButtons[0], 0x80);

  frame();  // frame 1: no events
  EXPECT_EQ(m.lX, 0) << "motion is relative to the previous read";
  EXPECT_EQ(m.rgbButtons[0], 0x80) << "buttons hold their state";

  frame();  // frame 2: motions of one frame add up
  EXPECT_EQ(keys[0x19], 0);
  EXPECT_EQ(m.lX, 3);
  EXPECT_EQ(m.lZ, -1);
  EXPECT_EQ(m.rgbButtons[0], 0);
  EXPECT_EQ(m.rgbButtons[7], 0x80);

  frame(false);  // frames 3 and 4: motion adds up until read
  frame();
  EXPECT_EQ(m.lX, 6);
  EXPECT_EQ(keys[1], 0) << "down and up in one frame leave the key up";
  frame();  // frame 5
  EXPECT_EQ(m.lX, 2147483647) << "summed motion saturates at 32 bits";
  mouse->Release();
  kb->Release();
  di->Release();
}

// Focus lines take the window out of the foreground and back, as the live
// host's focus does: the foreground mouse is lost (its read says so once)
// and cannot be acquired while out; the background keyboard reads on.
TEST(DirectInputDevice, FocusLinesTakeTheMouseAwayAndBack) {
  ScriptedInput host("1 focus out\n3 focus in\n4 move 7 0\n", false);
  void* out = nullptr;
  DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr);
  auto* di = static_cast<IDirectInput8A*>(out);
  IDirectInputDevice8A* kb = OpenDevice(di, false);
  IDirectInputDevice8A* mouse = OpenDevice(di, true);
  BYTE keys[256];
  DIMOUSESTATE2 m{};
  const HRESULT reads[] = {DI_OK, DIERR_INPUTLOST, DIERR_NOTACQUIRED, DIERR_NOTACQUIRED, DI_OK};
  const HRESULT acquires[] = {DI_NOEFFECT, DIERR_OTHERAPPHASPRIO, DIERR_OTHERAPPHASPRIO, DI_OK, DI_NOEFFECT};
  for (int frame = 0; frame < 5; ++frame) {
    ScriptedInput::NextFrame();
    EXPECT_EQ(kb->GetDeviceState(256, keys), DI_OK) << frame;
    EXPECT_EQ(mouse->GetDeviceState(sizeof m, &m), reads[frame]) << frame;
    EXPECT_EQ(mouse->Acquire(), acquires[frame]) << frame;
  }
  EXPECT_EQ(m.lX, 7);
  mouse->Release();
  kb->Release();
  di->Release();
}

TEST(DirectInputKeyMap, KeysMapToTheCodesOfTheirNames) {
  using qv::dinput8::DikFromScancode;
  const std::pair<SDL_Scancode, BYTE> named[] = {
      {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_LEFT, DIK_LEFT},
      {SDL_SCANCODE_RIGHT, DIK_RIGHT},   {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
      {SDL_SCANCODE_UNKNOWN, 0},         {SDL_NUM_SCANCODES, 0}};
  for (const auto& [sc, dik] : named) EXPECT_EQ(DikFromScancode(sc), dik) << sc;
  // Letter codes follow the rows of the keyboard, not the alphabet.
  const char* rows = "QWERTYUIOPASDFGHJKLZXCVBNM";
  const BYTE codes[] = {DIK_Q, DIK_W, DIK_E, DIK_R, DIK_T, DIK_Y, DIK_U, DIK_I, DIK_O,
                        DIK_P, DIK_A, DIK_S, DIK_D, DIK_F, DIK_G, DIK_H, DIK_J, DIK_K,
                        DIK_L, DIK_Z, DIK_X, DIK_C, DIK_V, DIK_B, DIK_N, DIK_M};
  for (int i = 0; i < 26; ++i)
    EXPECT_EQ(DikFromScancode(SDL_SCANCODE_A + (rows[i] - 'A')), codes[i]) << rows[i];
  // Linux key codes (the X server's key codes less 8) reach the same keys;
  // the extended keys are numbered apart from their scan codes.
  const std::pair<int, BYTE> linuxKeys[] = {
      {1, DIK_ESCAPE}, {25, DIK_P}, {88, DIK_F12}, {97, DIK_RCONTROL}, {103, DIK_UP}, {106, DIK_RIGHT},
      {127, DIK_APPS}, {0, 0},      {84, 0},       {101, 0},           {255, 0},      {-1, 0}};
  for (const auto& [code, dik] : linuxKeys) EXPECT_EQ(qv::dinput8::DikFromLinuxKey(code), dik) << code;
}
