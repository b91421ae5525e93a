// Test fixture support for the input layers: a scripted host with a script
// written into a fresh temporary folder (also the working directory, where
// the log file goes), frame stepping through the message queue, and a log.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "log/log_file.h"
#include "platform/dinput8/dinput8_testing.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_host.h"

namespace qv::test {

class ScriptedInput {
 public:
  // script: the input script text; withLog: create g_pLog in the folder.
  explicit ScriptedInput(const std::string& script, bool withLog = true)
      : m_Previous(std::filesystem::current_path()) {
    char pattern[] = "/tmp/quorvel_input_XXXXXX";
    m_Dir = mkdtemp(pattern);
    std::filesystem::current_path(m_Dir);
    std::ofstream(m_Dir / "input.txt", std::ios::binary) << script;
    qv::host::Reset();
    qv::host::Config config;
    config.scripted = true;
    config.visible_window = false;
    config.input_script = (m_Dir / "input.txt").string();
    qv::host::Configure(config);
    qv::dinput8::testing::FailNthCall(0, DI_OK);
    qv::dinput8::testing::SetForegroundOverride(-1);
    if (withLog) g_pLog = new LogFile();
  }
  ~ScriptedInput() {
    if (g_pLog) {
      delete g_pLog;
      g_pLog = nullptr;
    }
    qv::dinput8::testing::FailNthCall(0, DI_OK);
    qv::dinput8::testing::SetForegroundOverride(-1);
    qv::host::Reset();
    std::filesystem::current_path(m_Previous);
    std::filesystem::remove_all(m_Dir);
  }
  ScriptedInput(const ScriptedInput&) = delete;
  ScriptedInput& operator=(const ScriptedInput&) = delete;

  // Starts the next frame as the message loop does: one PeekMessageA.
  // Returns true when that call handed out WM_QUIT.
  static bool NextFrame() {
    MSG msg{};
    return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT;
  }

  std::string LogText() const {
    std::stringstream s;
    if (g_pLog) s << std::ifstream(m_Dir / g_pLog->FileName()).rdbuf();
    return s.str();
  }
  int LogCount(const std::string& needle) const {
    std::string text = LogText();
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }

 private:
  std::filesystem::path m_Previous;
  std::filesystem::path m_Dir;
};

}  // namespace qv::test
