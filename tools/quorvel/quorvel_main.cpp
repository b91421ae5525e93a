// quorvel [DIR]: the viewer on the live host (an SDL window with the real
// keyboard, mouse and clock), run in DIR, the folder that holds the data
// files. The system itself reads no command line: it reads its files from,
// and writes its log into, the working directory. --window is the host's
// choice of window, made before the system runs; --record writes what the
// input devices and the clock gave the system as a script for quorvel-run.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/dinput8/dinput8_record.h"
#include "platform/host/host.h"
#include "tools/cli/system_run.h"
#include "tools/cli/tool_cli.h"
#include "tools/readout/readout.h"

namespace {

const qv::cli::Program kProgram = {
    "quorvel",
    "usage: quorvel [--window [WxH]] [--record FILE] [DIR]\n"
    "The terrain viewer in a window. DIR is the folder that holds the data files\n"
    "(\"Readme.txt\", \"HeightMap20.raw\", ...; see quorvel-makedata); the viewer runs\n"
    "in it and writes its log file there. Default: the working directory.\n"
    "Mouse turns, left/right buttons fly forward/back, arrow keys slide, P paints,\n"
    "Escape quits.\n"
    "F1 shows or hides a readout (frame, fps, frame time, camera, time of day, draws);\n"
    "F12 saves the picture as Shot_<frame>_<date>-<time>.png in DIR.\n"
    "  --window [WxH]  a normal, resizable window of W x H pixels (default\n"
    "                  1024x768) instead of full screen; the picture keeps its\n"
    "                  shape in it, with black bars\n"
    "  --record FILE   write the run's input and clock to FILE as it goes, an\n"
    "                  input script that \"quorvel-run --input FILE\" replays\n"
    "                  exactly (in a copy of DIR: the replay writes the same log)\n"
    "  -h, --help      show this text\n"};

constexpr int kMaxWindowSide = 16384;

// Reads a window size "WxH" (digits, 'x', digits); false for an argument of
// another form (a data folder; one named like a size is written ./WxH). A
// side outside 1..kMaxWindowSide reads as 0.
bool ReadWindowSize(const char* arg, int& width, int& height) {
  if (!std::isdigit(static_cast<unsigned char>(arg[0]))) return false;
  char* end = nullptr;
  const long w = std::strtol(arg, &end, 10);
  if (*end != 'x' || !std::isdigit(static_cast<unsigned char>(end[1]))) return false;
  const long h = std::strtol(end + 1, &end, 10);
  if (*end != '\0') return false;
  auto side = [](long v) { return v >= 1 && v <= kMaxWindowSide ? static_cast<int>(v) : 0; };
  width = side(w);
  height = side(h);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qv::cli::WantsHelp(argc, argv)) return qv::cli::PrintHelp(kProgram);
  const char* dir = nullptr;
  std::string record;
  qv::host::Config host;  // live, full screen as the system asks
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--record") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0')
        return qv::cli::BadUsage(kProgram, "--record needs a file name");
      record = argv[++i];
      continue;
    }
    if (std::strcmp(argv[i], "--window") == 0) {
      host.window_width = 1024;
      host.window_height = 768;
      if (i + 1 < argc && ReadWindowSize(argv[i + 1], host.window_width, host.window_height)) {
        ++i;
        if (host.window_width == 0 || host.window_height == 0)
          return qv::cli::BadUsage(
              kProgram, std::string("--window needs a size from 1x1 to 16384x16384, not '") + argv[i] + "'");
      }
      continue;
    }
    if (qv::cli::IsOption(argv[i]))
      return qv::cli::BadUsage(kProgram, std::string("unknown option '") + argv[i] + "'");
    if (dir)
      return qv::cli::BadUsage(kProgram, std::string("one data folder only, not also '") + argv[i] + "'");
    dir = argv[i];
  }
  // The recording is named from where the program started, not from DIR.
  char startDir[4096];
  if (!record.empty() && record[0] != '/' && ::getcwd(startDir, sizeof startDir))
    record = std::string(startDir) + "/" + record;
  if (dir && ::chdir(dir) != 0) {
    std::fprintf(stderr, "quorvel: cannot enter '%s': %s\n", dir, std::strerror(errno));
    return qv::cli::kExitBadUsage;
  }
  qv::host::Configure(host);
  std::string error;
  if (!record.empty() && !qv::dinput8::StartRecording(record, &error)) {
    std::fprintf(stderr, "quorvel: %s\n", error.c_str());
    return qv::cli::kExitFailed;
  }
  // F1 and F12 are the host's: the viewer's own input does not change.
  qv::readout::Install();
  qv::host::EnableReadoutKeys();
  qv::cli::SystemRun run(kProgram.name);
  int exitCode = run.Run();
  const bool recorded = qv::dinput8::FinishRecording();
  if (!recorded && exitCode == 0) exitCode = qv::cli::kExitFailed;
  return exitCode;
}
