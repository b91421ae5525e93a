// Command line and summary of quorvel-run, the system on the scripted host.
#pragma once

#include <string>
#include <vector>

#include "platform/host/host.h"

struct RunOptions {
  std::string dir = ".";
  qv::host::Config host;
  std::string video;  // --video FILE.mp4|.mkv ("" = none)
  int video_fps = 0;  // --video-fps N (0 = the virtual clock's rate)
};

// Parses the options; false with a message in *error for anything malformed.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options, std::string* error);

const char* RunUsage();

// The summary: one "name: value" a line.
std::string FormatSummary(const qv::host::Stats& stats, int exitCode, double wallMs,
                          const std::string& logName);
