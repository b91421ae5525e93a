// Scoped temporary folders for tests. TempDir makes a fresh folder under
// /tmp and makes it the working directory until it goes out of scope, when
// the previous one is restored and the folder removed. TempLog adds a log
// file there that g_pLog points at meanwhile (the system writes its log into
// the working directory), and reads it back.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "log/log_file.h"

namespace qv::test {

class TempDir {
 public:
  TempDir() {
    std::error_code ec;
    m_previous = std::filesystem::current_path(ec);
    char pattern[] = "/tmp/quorvel_test_XXXXXX";
    if (!mkdtemp(pattern)) return;
    m_dir = pattern;
    std::filesystem::current_path(m_dir, ec);
    if (ec) {
      std::filesystem::remove_all(m_dir, ec);
      m_dir.clear();
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_previous.empty()) std::filesystem::current_path(m_previous, ec);
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool Ok() const { return !m_dir.empty(); }
  const std::string& Dir() const { return m_dir; }
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path m_previous;
  std::string m_dir;
};

class TempLog {
 public:
  // makeLog false: the folder alone, for runs that must do without a log.
  explicit TempLog(bool makeLog = true) {
    if (!m_dir.Ok() || !makeLog) return;
    m_saved = g_pLog;
    m_log = new LogFile();
    g_pLog = m_log;
    m_path = m_dir.Path(m_log->FileName());
  }
  ~TempLog() {
    if (!m_log) return;
    if (g_pLog == m_log) g_pLog = m_saved;
    delete m_log;
  }
  TempLog(const TempLog&) = delete;
  TempLog& operator=(const TempLog&) = delete;

  bool Ok() const { return m_log != nullptr; }
  const std::string& Dir() const { return m_dir.Dir(); }
  std::string Path(const std::string& name) const { return m_dir.Path(name); }
  void WriteFile(const std::string& name, const std::string& bytes) const { m_dir.WriteFile(name, bytes); }

  // The whole file as written so far; empty without a log.
  std::string Text() const {
    if (m_path.empty()) return "";
    std::ifstream in(m_path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Its lines, without the empty ones and the begin and end banners.
  std::vector<std::string> Lines() const {
    std::istringstream in(Text());
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line.rfind("------", 0) != 0) out.push_back(line);
    return out;
  }
  // How often `needle` occurs in the text.
  int Count(const std::string& needle) const {
    const std::string text = Text();
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }

 private:
  TempDir m_dir;  // first: made before the log, removed after it
  LogFile* m_log = nullptr;
  LogFile* m_saved = nullptr;
  std::string m_path;
};

}  // namespace qv::test
