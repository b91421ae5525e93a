// The log file's layout, counting and quit request.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "platform/win32/win32.h"
#include "testing/run_util.h"
#include "testing/temp_log.h"

namespace {

using qv::test::Lines;

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.Ok());
    MSG msg;  // drop any quit request left by another test
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  qv::test::TempDir dir_;  // the working directory, where logs are written
};

const std::regex kStamp(
    R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d \d\d:\d\d:\d\d \d{4})");

TEST_F(LogFileTest, GoldenLayoutOfARunWithErrors) {
  const std::time_t before = std::time(nullptr);
  auto* log = new LogFile();
  const std::string name = log->FileName();
  log->Write("Winmain");
  log->Report(LOG_INFO, "Skymaps loaded", "");
  log->Report(LOG_INFO, -5, "x");
  log->Report(3, "level three", "odd");
  log->Report(LOG_ERROR, "Could not read ReadMe file", "Game Initialize()");
  log->Report(LOG_FATAL, "Error game initialization", "Winmain");
  log->Write("after the fatal report");
  log->Report(LOG_INFO, "two\nlines", "t");
  log->Write("Winmain");
  EXPECT_EQ(log->ErrorCount(), 2u);
  delete log;

  const std::time_t after = std::time(nullptr);
  bool nameMatches = false;
  for (std::time_t t = before; t <= after; ++t)
    nameMatches |= name == "Log_" + std::to_string(static_cast<long long>(t)) + ".log";
  EXPECT_TRUE(nameMatches) << name;

  const std::vector<std::string> lines = Lines(name);
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[0], "");
  EXPECT_TRUE(std::regex_match(lines[1].substr(31), kStamp)) << lines[1];
  EXPECT_EQ(lines[1].substr(0, 31), "------ Beginning Log at (GMT): ");
  EXPECT_EQ(lines[2], "------ Filename: " + name);
  const std::vector<std::string> body(lines.begin() + 3, lines.begin() + 17);
  EXPECT_EQ(body, (std::vector<std::string>{
                      "", "Winmain", "[]:  Skymaps loaded", "[x]:  -5", "[odd]:  level three",
                      "***********************ERROR*************************",  // 53 characters
                      "[Game Initialize()]:  Could not read ReadMe file",
                      "FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL",
                      "[Winmain]:  Error game initialization", "after the fatal report", "[t]:  two", "lines",
                      "Winmain", "------ ENDING WITH 2 errors!"}));
  EXPECT_EQ(lines[17].substr(0, 28), "------ Ending Log at (GMT): ");
  EXPECT_TRUE(std::regex_match(lines[17].substr(28), kStamp)) << lines[17];
}

TEST_F(LogFileTest, FatalPostsQuitAndReturns) {
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  {
    LogFile log;
    log.Report(LOG_ERROR, "an error", "t");
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "an error does not quit";
    log.Report(LOG_FATAL, 1, "t");
  }
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 0u);
}

// Each entry is on disk as soon as it is written; a run without errors ends
// with the success line; a second run in the same second appends.
TEST_F(LogFileTest, FlushPerEntrySuccessLineAndTwoRunsInOneSecond) {
  std::string first, second;
  // Retry in the rare case the second changes between the two runs.
  for (int attempt = 0; attempt < 5 && (first.empty() || first != second); ++attempt) {
    for (std::string* name : {&first, &second}) {
      LogFile log;
      *name = log.FileName();
      log.Report(LOG_INFO, 2147483647, name == &first ? "first" : "second");
      EXPECT_TRUE(
          qv::test::Has(Lines(*name), name == &first ? "[first]:  2147483647" : "[second]:  2147483647"));
    }
  }
  ASSERT_EQ(first, second);
  std::ostringstream all;
  all << std::ifstream(first).rdbuf();
  const std::string text = all.str();
  const std::size_t firstEnd = text.find("\n------ ENDING SUCCESSFULLY! \"And there was much rejoicing\"\n");
  const std::size_t secondBegin = text.find("------ Beginning Log", firstEnd);
  ASSERT_NE(firstEnd, std::string::npos) << text;
  ASSERT_NE(secondBegin, std::string::npos) << text;
  EXPECT_NE(text.find("[second]:  2147483647", secondBegin), std::string::npos);
}

TEST_F(LogFileTest, UnwritableFileIsSilentButStillCounts) {
  // A folder with the log's name makes the file impossible to open.
  const std::time_t t = std::time(nullptr);
  for (std::time_t s = t; s <= t + 2; ++s)
    ASSERT_EQ(mkdir(("Log_" + std::to_string(static_cast<long long>(s)) + ".log").c_str(), 0700), 0);
  LogFile log;
  log.Report(LOG_ERROR, "lost", "t");
  log.Write("lost too");
  EXPECT_EQ(log.ErrorCount(), 1u);
}

}  // namespace
