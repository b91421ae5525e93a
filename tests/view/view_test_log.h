// Runs a test with g_pLog writing into a fresh temporary folder and reads the
// log's lines back.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log/log_file.h"

namespace qv::test {

class TempLog {
 public:
  TempLog() {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) m_oldDir = cwd;
    char pattern[] = "/tmp/qv_view_logXXXXXX";
    if (mkdtemp(pattern)) m_dir = pattern;
    if (!m_dir.empty() && chdir(m_dir.c_str()) == 0) {
      m_saved = g_pLog;
      m_log = new LogFile();
      g_pLog = m_log;
      m_path = m_dir + "/" + m_log->FileName();
    }
  }
  ~TempLog() {
    if (m_log) {
      g_pLog = m_saved;
      delete m_log;
    }
    if (!m_path.empty()) std::remove(m_path.c_str());
    if (!m_dir.empty()) rmdir(m_dir.c_str());
    if (!m_oldDir.empty() && chdir(m_oldDir.c_str()) != 0) std::abort();
  }
  TempLog(const TempLog&) = delete;
  TempLog& operator=(const TempLog&) = delete;

  bool Ok() const { return m_log != nullptr; }
  const std::string& Dir() const { return m_dir; }

  // The lines written after the begin banner.
  std::vector<std::string> Lines() const {
    std::ifstream in(m_path);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line.rfind("------", 0) == 0) continue;
      out.push_back(line);
    }
    return out;
  }

 private:
  std::string m_oldDir, m_dir, m_path;
  LogFile* m_log = nullptr;
  LogFile* m_saved = nullptr;
};

}  // namespace qv::test
