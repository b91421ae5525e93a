// The DirectInput object and the system keyboard and mouse on the scripted
// host: argument checks, acquisition, reads, foreground loss, the test seam.
#include <gtest/gtest.h>

#include "platform/dinput8/dinput8.h"
#include "platform/dinput8/dinput8_keymap.h"
#include "tests/platform/dinput8/dinput8_test_host.h"

#include <SDL.h>

namespace {

using qv::test::ScriptedInput;

IDirectInput8A* CreateDI() {
  void* out = nullptr;
  EXPECT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr), DI_OK);
  return static_cast<IDirectInput8A*>(out);
}

// A device set up as the input object sets it up.
IDirectInputDevice8A* OpenDevice(IDirectInput8A* di, bool mouse) {
  IDirectInputDevice8A* dev = nullptr;
  EXPECT_EQ(di->CreateDevice(mouse ? GUID_SysMouse : GUID_SysKeyboard, &dev, nullptr), DI_OK);
  if (!dev) return nullptr;
  EXPECT_EQ(dev->SetDataFormat(mouse ? &c_dfDIMouse2 : &c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(dev->SetCooperativeLevel(nullptr, mouse ? DISCL_EXCLUSIVE | DISCL_FOREGROUND
                                                    : DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
            DI_OK);
  EXPECT_EQ(dev->Acquire(), DI_OK);
  return dev;
}

}  // namespace

TEST(DirectInputCreate, RefusesBadArguments) {
  ScriptedInput host("", false);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, &out, nullptr),
            DIERR_OLDDIRECTINPUTVERSION);
  EXPECT_EQ(out, nullptr) << "a failed create leaves no object behind";
  EXPECT_EQ(DirectInput8Create(nullptr, 0x0900, IID_IDirectInput8A, &out, nullptr),
            DIERR_BETADIRECTINPUTVERSION);
  EXPECT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, GUID_SysMouse, &out, nullptr),
            DIERR_NOINTERFACE);
  EXPECT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, nullptr, nullptr),
            DIERR_INVALIDPARAM);

  IDirectInput8A* di = CreateDI();
  ASSERT_NE(di, nullptr);
  IDirectInputDevice8A* dev = reinterpret_cast<IDirectInputDevice8A*>(1);
  EXPECT_EQ(di->CreateDevice(IID_IDirectInput8A, &dev, nullptr), DIERR_DEVICENOTREG);
  EXPECT_EQ(dev, nullptr);
  EXPECT_EQ(di->CreateDevice(GUID_SysMouse, nullptr, nullptr), DIERR_INVALIDPARAM);
  EXPECT_EQ(di->Release(), 0u);
}

TEST(DirectInputDevice, SetUpRulesAndStateSizes) {
  ScriptedInput host("", false);
  IDirectInput8A* di = CreateDI();
  IDirectInputDevice8A* kb = nullptr;
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &kb, nullptr), DI_OK);
  BYTE keys[256];
  EXPECT_EQ(kb->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
  EXPECT_EQ(kb->GetDeviceState(256, keys), DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIMouse2), DIERR_INVALIDPARAM) << "a mouse format on the keyboard";
  EXPECT_EQ(kb->SetDataFormat(nullptr), DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(kb->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
  // Exactly one of each flag pair; nobody owns the keyboard in the background.
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_FOREGROUND), DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
            DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND | 0x100),
            DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DIERR_UNSUPPORTED);
  EXPECT_EQ(kb->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  EXPECT_EQ(kb->Acquire(), DI_OK);
  EXPECT_EQ(kb->Acquire(), DI_NOEFFECT);
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
  EXPECT_EQ(kb->GetDeviceState(255, keys), DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->GetDeviceState(256, nullptr), DIERR_INVALIDPARAM);
  EXPECT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(kb->Unacquire(), DI_OK);
  EXPECT_EQ(kb->Unacquire(), DI_NOEFFECT);
  EXPECT_EQ(kb->GetDeviceState(256, keys), DIERR_NOTACQUIRED);

  IDirectInputDevice8A* mouse = OpenDevice(di, true);
  DIMOUSESTATE2 state;
  EXPECT_EQ(mouse->GetDeviceState(sizeof(DIMOUSESTATE), &state), DIERR_INVALIDPARAM)
      << "the size must match the data format";
  EXPECT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  mouse->Release();
  kb->Release();
  di->Release();
}

TEST(DirectInputDevice, ReadsTheScriptFrameByFrame) {
  ScriptedInput host(
      "0 key 0x19 down\n"
      "0 move 10 -4 120\n"
      "0 button 0 down\n"
      "2 key 0x19 up\n"
      "2 move 1 1\n"
      "2 move 2 2 -1\n"
      "2 button 0 up\n"
      "2 button 7 down\n",
      false);
  IDirectInput8A* di = CreateDI();
  IDirectInputDevice8A* kb = OpenDevice(di, false);
  IDirectInputDevice8A* mouse = OpenDevice(di, true);
  BYTE keys[256];
  DIMOUSESTATE2 m;

  // Before the first frame nothing is applied.
  ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(keys[0x19], 0);

  ScriptedInput::NextFrame();  // frame 0
  ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  ASSERT_EQ(mouse->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(keys[0x19], 0x80);
  for (int i = 0; i < 256; ++i)
    if (i != 0x19) {
      ASSERT_EQ(keys[i], 0) << i;
    }
  EXPECT_EQ(m.lX, 10);
  EXPECT_EQ(m.lY, -4);
  EXPECT_EQ(m.lZ, 120);
  EXPECT_EQ(m.rgbButtons[0], 0x80);

  ScriptedInput::NextFrame();  // frame 1: no events
  ASSERT_EQ(mouse->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(m.lX, 0) << "motion is relative to the previous read";
  EXPECT_EQ(m.lZ, 0);
  EXPECT_EQ(m.rgbButtons[0], 0x80) << "buttons hold their state";

  ScriptedInput::NextFrame();  // frame 2
  ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  ASSERT_EQ(mouse->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(keys[0x19], 0);
  EXPECT_EQ(m.lX, 3);
  EXPECT_EQ(m.lY, 3);
  EXPECT_EQ(m.lZ, -1);
  EXPECT_EQ(m.rgbButtons[0], 0);
  EXPECT_EQ(m.rgbButtons[7], 0x80);

  // The four-button format reads the same device.
  mouse->Unacquire();
  ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  DIMOUSESTATE small;
  EXPECT_EQ(mouse->GetDeviceState(sizeof small, &small), DI_OK);

  mouse->Release();
  kb->Release();
  di->Release();
}

TEST(DirectInputDevice, ForegroundMouseIsLostInTheBackgroundAndTheKeyboardIsNot) {
  ScriptedInput host("0 key 0x01 down\n1 move 5 5\n", false);
  IDirectInput8A* di = CreateDI();
  IDirectInputDevice8A* kb = OpenDevice(di, false);
  IDirectInputDevice8A* mouse = OpenDevice(di, true);
  BYTE keys[256];
  DIMOUSESTATE2 m;

  qv::dinput8::testing::SetForegroundOverride(0);
  ScriptedInput::NextFrame();
  EXPECT_EQ(mouse->GetDeviceState(sizeof m, &m), DIERR_INPUTLOST);
  EXPECT_EQ(mouse->GetDeviceState(sizeof m, &m), DIERR_NOTACQUIRED);
  EXPECT_EQ(mouse->Acquire(), DIERR_OTHERAPPHASPRIO);
  ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK) << "the background keyboard keeps reading";
  EXPECT_EQ(keys[0x01], 0x80);

  ScriptedInput::NextFrame();  // frame 1's motion happens while the mouse is away
  EXPECT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  qv::dinput8::testing::SetForegroundOverride(1);
  EXPECT_EQ(mouse->Acquire(), DI_OK);
  ASSERT_EQ(mouse->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(m.lX, 0) << "motion before acquisition is not reported";

  mouse->Release();
  kb->Release();
  di->Release();
}

TEST(DirectInputDevice, TestSeamFailsExactlyTheChosenCall) {
  ScriptedInput host("", false);
  IDirectInput8A* di = CreateDI();
  IDirectInputDevice8A* kb = nullptr;
  qv::dinput8::testing::FailNthCall(2, DIERR_INPUTLOST);
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &kb, nullptr), DI_OK);  // call 1
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DIERR_INPUTLOST);       // call 2 fails
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK) << "only once";
  qv::dinput8::testing::FailNthCall(1, E_FAIL);
  IDirectInputDevice8A* mouse = reinterpret_cast<IDirectInputDevice8A*>(1);
  EXPECT_EQ(di->CreateDevice(GUID_SysMouse, &mouse, nullptr), E_FAIL);
  EXPECT_EQ(mouse, nullptr);
  kb->Release();
  di->Release();
}

TEST(DirectInputKeyMap, KeysTheProgramUsesMapToTheirCodes) {
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_ESCAPE), DIK_ESCAPE);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_P), DIK_P);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_LEFT), DIK_LEFT);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_RIGHT), DIK_RIGHT);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_RETURN), DIK_RETURN);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_KP_ENTER), DIK_NUMPADENTER);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_RSHIFT), DIK_RSHIFT);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(qv::dinput8::DikFromScancode(-1), 0);
  EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_NUM_SCANCODES), 0);
  // Every letter lands on the code of its DIK_ name: the rows of a US
  // keyboard, not alphabetical order.
  const char* rows = "QWERTYUIOPASDFGHJKLZXCVBNM";
  const BYTE codes[] = {DIK_Q, DIK_W, DIK_E, DIK_R, DIK_T, DIK_Y, DIK_U, DIK_I, DIK_O,
                        DIK_P, DIK_A, DIK_S, DIK_D, DIK_F, DIK_G, DIK_H, DIK_J, DIK_K,
                        DIK_L, DIK_Z, DIK_X, DIK_C, DIK_V, DIK_B, DIK_N, DIK_M};
  for (int i = 0; i < 26; ++i)
    EXPECT_EQ(qv::dinput8::DikFromScancode(SDL_SCANCODE_A + (rows[i] - 'A')), codes[i]) << rows[i];
}
