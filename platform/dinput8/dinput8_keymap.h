// SDL scancodes to DirectInput key codes (DIK_ values).
#pragma once

#include "platform/dinput8/dinput8.h"

namespace qv::dinput8 {

// The DIK_ code of an SDL scancode; 0 for keys the keyboard device does not report.
BYTE DikFromScancode(int scancode);
// The DIK_ code of a Linux input key code (an X key code less 8); 0 likewise.
BYTE DikFromLinuxKey(int code);

}  // namespace qv::dinput8
