// Test seams of the DirectInput layer. Only tests call these.
#pragma once

#include "platform/dinput8/dinput8.h"

namespace qv::dinput8::testing {

// The n-th DirectInput call from now (1 = the next one) returns hr instead of
// doing its work; out-pointers it would fill are set to null. n <= 0 clears a
// pending failure. Counted calls: DirectInput8Create, CreateDevice,
// SetDataFormat, SetCooperativeLevel, Acquire, Unacquire, GetDeviceState.
void FailNthCall(int n, HRESULT hr);

// Whether the window counts as in the foreground: -1 asks the host (the
// default), 0 forces the background, 1 the foreground.
void SetForegroundOverride(int foreground);

}  // namespace qv::dinput8::testing
