#include "log/log_file.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "platform/win32/win32.h"

LogFile* g_pLog = nullptr;

namespace {
char s_LastFileName[32] = "";
}

const char* LogFile::LastFileName() { return s_LastFileName; }

namespace {

constexpr const char* kErrorBanner = "***********************ERROR*************************";
constexpr const char* kFatalBanner = "FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL";

// asctime's 25-character form of a UTC time, newline included. The log is
// written from one thread only, so gmtime's shared result is safe to read.
void WriteTimeStamp(std::ofstream& out, std::time_t t) {
  std::tm tm{};
  if (const std::tm* utc = std::gmtime(&t)) tm = *utc;
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s %.2d %.2d:%.2d:%.2d %d\n", kDays[tm.tm_wday % 7],
                kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 1900 + tm.tm_year);
  out << text;
}

}  // namespace

LogFile::LogFile() : m_ErrorCount(0) {
  // One calendar time serves both the file name and the begin banner.
  const std::time_t t = std::time(nullptr);
  std::snprintf(m_FileName, sizeof m_FileName, "Log_%d.log", static_cast<int>(static_cast<std::int32_t>(t)));
  std::snprintf(s_LastFileName, sizeof s_LastFileName, "%s", m_FileName);
  m_File.open(m_FileName, std::ios::out | std::ios::app);
  m_File << std::endl;
  m_File << "------ Beginning Log at (GMT): ";
  WriteTimeStamp(m_File, t);
  m_File << "------ Filename: " << m_FileName << std::endl;
}

LogFile::~LogFile() {
  const std::time_t t = std::time(nullptr);
  m_File << std::endl;
  if (m_ErrorCount > 0)
    m_File << "------ ENDING WITH " << m_ErrorCount << " errors!" << std::endl;
  else
    m_File << "------ ENDING SUCCESSFULLY! \"And there was much rejoicing\"" << std::endl;
  m_File << "------ Ending Log at (GMT): ";
  WriteTimeStamp(m_File, t);
  m_File.close();
}

void LogFile::Write(const char* text) { m_File << std::endl << (text ? text : "") << std::flush; }

void LogFile::Banner(int level) {
  if (level == LOG_ERROR) {
    m_File << std::endl << kErrorBanner;
    ++m_ErrorCount;
  } else if (level == LOG_FATAL) {
    m_File << std::endl << kFatalBanner;
    ++m_ErrorCount;
  }
}

void LogFile::Report(int level, const char* message, const char* tag) {
  Banner(level);
  m_File << std::endl << "[" << (tag ? tag : "") << "]:  " << (message ? message : "") << std::flush;
  if (level == LOG_FATAL) PostQuitMessage(0);
}

void LogFile::Report(int level, std::int32_t value, const char* tag) {
  Banner(level);
  m_File << std::endl << "[" << (tag ? tag : "") << "]:  " << value << std::flush;
  if (level == LOG_FATAL) PostQuitMessage(0);
}
