// A DIWrapper on the scripted host, shared by the input tests.
#pragma once

#include <string>

#include "input/di_wrapper.h"
#include "tests/platform/dinput8/dinput8_test_host.h"

namespace input_test {

struct Input {
  // failNth > 0: DirectInput call number failNth, counted from the wrapper's
  // construction, is refused with `code`.
  explicit Input(const std::string& script, int failNth = 0, HRESULT code = E_FAIL, bool withLog = true)
      : host(script, withLog),
        armed(failNth > 0 && (qv::dinput8::testing::FailNthCall(failNth, code), true)) {}
  qv::test::ScriptedInput host;
  bool armed;
  HWND hWnd = nullptr;
  HINSTANCE hInstance = nullptr;
  DIWrapper di{&hWnd, &hInstance};
  // The host's next frame, then the wrapper's read, n times.
  void Frames(int n = 1) {
    for (int i = 0; i < n; ++i) {
      qv::test::ScriptedInput::NextFrame();
      di.Update();
    }
  }
};

}  // namespace input_test
