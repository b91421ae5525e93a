// SDL scancodes to DirectInput key codes (DIK_ values).
#pragma once

#include "platform/dinput8/dinput8.h"

namespace qv::dinput8 {

// The DIK_ code of an SDL scancode; 0 for keys the keyboard device does not report.
BYTE DikFromScancode(int scancode);

}  // namespace qv::dinput8
