// Test fixture support for the input layers: a scripted host with a script
// written into a fresh temporary folder (also the working directory, where
// the log file goes), frame stepping through the message queue, and a log.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/dinput8/dinput8_testing.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"
#include "testing/temp_log.h"

namespace qv::test {

class ScriptedInput {
 public:
  // script: the input script text; withLog: create g_pLog in the folder.
  explicit ScriptedInput(const std::string& script, bool withLog = true) : m_tmp(withLog) {
    m_tmp.WriteFile("input.txt", script);
    qv::host::Reset();
    qv::host::Config config;
    config.scripted = true;
    config.visible_window = false;
    config.input_script = m_tmp.Path("input.txt");
    qv::host::Configure(config);
    qv::dinput8::testing::FailNthCall(0, DI_OK);
    qv::dinput8::testing::SetForegroundOverride(-1);
  }
  ~ScriptedInput() {
    qv::dinput8::testing::FailNthCall(0, DI_OK);
    qv::dinput8::testing::SetForegroundOverride(-1);
    qv::host::Reset();
  }
  ScriptedInput(const ScriptedInput&) = delete;
  ScriptedInput& operator=(const ScriptedInput&) = delete;

  // Starts the next frame as the message loop does: one PeekMessageA.
  // Returns true when that call handed out WM_QUIT.
  static bool NextFrame() {
    MSG msg{};
    return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT;
  }

  std::string LogText() const { return m_tmp.Text(); }
  int LogCount(const std::string& needle) const { return m_tmp.Count(needle); }

 private:
  TempLog m_tmp;  // the working folder, with g_pLog there when asked for
};

}  // namespace qv::test
