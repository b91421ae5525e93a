// Running the system from a program (quorvel, quorvel-run): WinMain in the
// working directory, and what the run shows beyond the system's exit code.
//
// The system ends every run with the quit message's 0, a start-up that failed
// included; what went wrong is only in its log. So the program reads back the
// part of the log file this run appended (the file is appended to: runs in
// the same second, or with the same fixed calendar time, share it) as the
// start-up ends, and a start-up that logged a failure makes the process exit
// code 1, with one line on standard error naming the cause and the log. The
// log itself is left exactly as the system wrote it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qv::cli {

constexpr int kExitFailed = 1;

// A failure entry of the system's log: the entry after an ERROR or FATAL
// banner ("[tag]:  message"), or the untagged, uncounted line the texture
// loading writes when a texture file does not load.
struct LogFailure {
  std::string tag;      // empty for the untagged line
  std::string message;  // the entry's first line, without the tag
  bool tagged = false;
};

// The first failure entry in a piece of log text; false when there is none.
bool FirstLogFailure(const std::string& logText, LogFailure* failure);

// The data file behind a failure, as far as the working directory tells:
// the step's fixed file (the heightmap, "Readme.txt"), the first of the four
// textures "Readme.txt" names that does not read as an image, the first
// colour table that cannot be opened; a note when "Readme.txt" names no
// texture; "" for a step that reads no file.
std::string FailedFileNote(const LogFailure& failure);

// "[tag] message (note)", or "message (note)" for an untagged line; no
// parentheses without a note.
std::string DescribeFailure(const LogFailure& failure, const std::string& note);

class SystemRun {
 public:
  // `program` prefixes every line written to standard error.
  explicit SystemRun(const char* program) : m_program(program) {}

  // Runs WinMain in the working directory on the host as configured and
  // returns the process exit code: the system's, or 1 when the start-up
  // failed. A live window that cannot be opened (no X display) is one line
  // and 1 without running the system at all.
  int Run();

  // Whether the system ran (false: no window could be opened).
  bool Ran() const { return m_ran; }
  // The log file's full path, or why there is none ("none: ..."), for the
  // quorvel-run summary.
  std::string LogField() const;

 private:
  bool OpenWindowSystem() const;
  void StartupOver();

  const char* m_program;
  bool m_ran = false;
  bool m_startupChecked = false;
  bool m_startupFailed = false;
  bool m_logWritten = false;
  std::string m_logPath;
  std::string m_logProblem;                          // why nothing was written to the log
  std::map<std::string, std::uintmax_t> m_logSizes;  // the logs already in the folder
};

}  // namespace qv::cli
