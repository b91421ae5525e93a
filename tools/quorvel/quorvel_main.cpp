// quorvel [DIR]: the viewer on the live host (an SDL window with the real
// keyboard, mouse and clock), run in DIR, the folder that holds the data
// files. The system itself reads no command line: it reads its files from,
// and writes its log into, the working directory.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/host/host.h"
#include "tools/cli/system_run.h"
#include "tools/cli/tool_cli.h"
#include "tools/readout/readout.h"

namespace {

const qv::cli::Program kProgram = {
    "quorvel",
    "usage: quorvel [DIR]\n"
    "The terrain viewer in a window. DIR is the folder that holds the data files\n"
    "(\"Readme.txt\", \"HeightMap20.raw\", ...; see quorvel-makedata); the viewer runs\n"
    "in it and writes its log file there. Default: the working directory.\n"
    "Mouse turns, left/right buttons fly forward/back, arrow keys slide, P paints,\n"
    "Escape quits.\n"
    "F1 shows or hides a readout (frame, fps, frame time, camera, time of day, draws);\n"
    "F12 saves the picture as Shot_<frame>_<date>-<time>.png in DIR.\n"
    "  -h, --help  show this text\n"};

}  // namespace

int main(int argc, char** argv) {
  if (qv::cli::WantsHelp(argc, argv)) return qv::cli::PrintHelp(kProgram);
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (qv::cli::IsOption(argv[i]))
      return qv::cli::BadUsage(kProgram, std::string("unknown option '") + argv[i] + "'");
    if (dir)
      return qv::cli::BadUsage(kProgram, std::string("one data folder only, not also '") + argv[i] + "'");
    dir = argv[i];
  }
  if (dir && ::chdir(dir) != 0) {
    std::fprintf(stderr, "quorvel: cannot enter '%s': %s\n", dir, std::strerror(errno));
    return qv::cli::kExitBadUsage;
  }
  // F1 and F12 are the host's: the viewer's own input does not change.
  qv::readout::Install();
  qv::host::EnableReadoutKeys();
  return qv::cli::SystemRun(kProgram.name).Run();
}
