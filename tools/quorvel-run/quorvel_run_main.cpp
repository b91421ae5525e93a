// quorvel-run: the system on the scripted host (offscreen GL, scripted input,
// optional virtual clock), with a summary of the run on standard output.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "log/log_file.h"
#include "run_options.h"
#include "run_outputs.h"
#include "tools/cli/tool_cli.h"

int main(int argc, char** argv) {
  const qv::cli::Program program = {"quorvel-run", RunUsage()};
  if (qv::cli::WantsHelp(argc, argv)) return qv::cli::PrintHelp(program);
  const std::vector<std::string> args(argv + 1, argv + argc);
  RunOptions options;
  std::string error;
  if (!ParseRunOptions(args, &options, &error)) return qv::cli::BadUsage(program, error);
  // Files named on the command line are relative to where the run started,
  // not to the data folder the system runs in.
  char startDir[4096];
  if (!::getcwd(startDir, sizeof startDir)) startDir[0] = '\0';
  auto absolute = [&](std::string& path) {
    if (!path.empty() && path[0] != '/' && startDir[0]) path = std::string(startDir) + "/" + path;
  };
  absolute(options.host.input_script);
  for (qv::host::Shot& shot : options.host.shots) absolute(shot.path);
  absolute(options.video);
  if (::chdir(options.dir.c_str()) != 0) {
    std::fprintf(stderr, "quorvel-run: cannot enter '%s': %s\n", options.dir.c_str(), std::strerror(errno));
    return 2;
  }
  qv::host::Configure(options.host);
  RunOutputs outputs;  // the video and the progress line
  if (!outputs.Start(options, &error)) {
    std::fprintf(stderr, "quorvel-run: %s\n", error.c_str());
    return 1;
  }

  const auto start = std::chrono::steady_clock::now();
  char commandLine[] = "";
  const int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const bool outputsOk = outputs.Finish(&error);

  char runDir[4096];
  std::string logPath = LogFile::LastFileName();
  if (::getcwd(runDir, sizeof runDir)) logPath = std::string(runDir) + "/" + logPath;
  std::fputs(FormatSummary(qv::host::GetStats(), exitCode, wallMs, logPath).c_str(), stdout);
  std::fputs(outputs.SummaryLines().c_str(), stdout);
  std::fflush(stdout);
  if (!outputsOk) {
    std::fprintf(stderr, "quorvel-run: %s\n", error.c_str());
    return 1;
  }
  return exitCode;
}
