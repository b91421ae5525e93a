// The run's log file: one human-readable file per run, "Log_<seconds>.log",
// reached through g_pLog. Every entry starts with a line end and is flushed.
#pragma once

#include <cstdint>
#include <fstream>

constexpr int LOG_INFO = 0;
constexpr int LOG_ERROR = 1;
constexpr int LOG_FATAL = 2;

class LogFile {
 public:
  LogFile();
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // One untagged line.
  void Write(const char* text);
  // "[" tag "]:  " message; LOG_ERROR and LOG_FATAL add a banner and are
  // counted, LOG_FATAL also posts the quit message and returns.
  void Report(int level, const char* message, const char* tag);
  void Report(int level, std::int32_t value, const char* tag);

  std::uint32_t ErrorCount() const { return m_ErrorCount; }
  const char* FileName() const { return m_FileName; }
  // Name of the file the most recently constructed log writes to ("" before any).
  static const char* LastFileName();

 private:
  void Banner(int level);

  std::ofstream m_File;
  std::uint32_t m_ErrorCount;
  char m_FileName[32];
};

extern LogFile* g_pLog;
