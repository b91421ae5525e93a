// Command line and summary of quorvel-run, the system on the scripted host.
#pragma once

#include <string>
#include <vector>

#include "platform/host/host.h"

struct RunOptions {
  std::string dir = ".";
  bool hud = false;  // the readout over the picture, in shots and video
  qv::host::Config host;
  std::string video;  // --video FILE.mp4|.mkv ("" = none)
  int video_fps = 0;  // --video-fps N (0 = the virtual clock's rate)
};

// Parses the options; false with a message in *error for anything malformed.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options, std::string* error);

const char* RunUsage();

// The summary: one "name: value" a line. peak_rss_mb is peakRssMb, or when
// that is negative the process's peak resident size so far (in MiB).
std::string FormatSummary(const qv::host::Stats& stats, int exitCode, double wallMs,
                          const std::string& logName, double peakRssMb = -1.0);
