// A log file for one test, written in a fresh temporary folder that is also
// the working directory while the test runs (data files go there too).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "log/log_file.h"

namespace qv::test {

class ScopedLog {
 public:
  ScopedLog() : m_Previous(std::filesystem::current_path()) {
    char pattern[] = "/tmp/quorvel_lighting_XXXXXX";
    m_Dir = mkdtemp(pattern);
    std::filesystem::current_path(m_Dir);
    g_pLog = new LogFile();
  }
  ~ScopedLog() {
    delete g_pLog;
    g_pLog = nullptr;
    std::filesystem::current_path(m_Previous);
    std::filesystem::remove_all(m_Dir);
  }

  std::string Text() const {
    std::ifstream in(m_Dir / g_pLog->FileName());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int Count(const std::string& needle) const {
    std::string text = Text();
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }
  void WriteFile(const char* name, const std::string& bytes) const {
    std::ofstream(m_Dir / name, std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path m_Previous;
  std::filesystem::path m_Dir;
};

}  // namespace qv::test
