// quorvel-run: the system on the scripted host (offscreen GL, scripted input,
// optional virtual clock), with a summary of the run on standard output.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/dinput8/dinput8_script.h"
#include "run_options.h"
#include "run_outputs.h"
#include "tools/cli/system_run.h"
#include "tools/cli/tool_cli.h"
#include "tools/readout/readout.h"

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
  std::vector<qv::dinput8::ScriptEvent> script;
  if (!options.host.input_script.empty()) {
    // Read once, before the run: a recorded script's epoch and clock
    // configure the host (the command line's --epoch and --clock win).
    script = qv::dinput8::LoadInputScript(options.host.input_script);
    if (qv::dinput8::ConfigureHostFromScript(script, options.host))
      std::fprintf(stderr, "%s: --clock %d is used, not the clock recorded in %s\n", program.name,
                   options.host.clock_step_ms, options.host.input_script.c_str());
    qv::dinput8::UseLoadedScript(script);
  }
  if (!options.video.empty() && options.video_fps == 0 && options.host.clock_step_ms == 0 &&
      options.host.clock_steps.empty())
    return qv::cli::BadUsage(program, "--video needs a frame rate: --clock MS, --video-fps N, or an input "
                                      "script with a recorded clock");
  qv::host::Configure(options.host);
  if (options.hud) {
    qv::readout::Install();
    qv::host::SetReadoutOn(true);
  }
  RunOutputs outputs;  // the video and the progress line
  if (!outputs.Start(options, script, &error)) {
    std::fprintf(stderr, "quorvel-run: %s\n", error.c_str());
    return 1;
  }

  qv::cli::SystemRun run(program.name);
  const auto start = std::chrono::steady_clock::now();
  int exitCode = run.Run();
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const bool outputsOk = outputs.Finish(&error);
  if (!outputsOk) {
    // The video could not be written whole: the run failed, whatever the viewer says.
    std::fprintf(stderr, "%s: %s\n", program.name, error.c_str());
    if (exitCode == 0) exitCode = qv::cli::kExitFailed;
  }
  if (!run.Ran()) return exitCode;

  // A shot asked for and not on disk is a failed run, whatever the viewer says.
  for (const std::string& failure : qv::host::ShotFailures()) {
    std::fprintf(stderr, "%s: %s\n", program.name, failure.c_str());
    if (exitCode == 0) exitCode = qv::cli::kExitFailed;
  }
  std::fputs(FormatSummary(qv::host::GetStats(), exitCode, wallMs, run.LogField()).c_str(), stdout);
  if (options.hud) std::printf("readout: %s\n", qv::host::LastReadoutText().c_str());
  std::fputs(outputs.SummaryLines().c_str(), stdout);
  std::fflush(stdout);
  return exitCode;
}
