// Command line and summary of quorvel-run, the system on the scripted host.
#pragma once

#include <string>
#include <vector>

#include "platform/host/host.h"

struct RunOptions {
  std::string dir = ".";
  bool hud = false;  // the readout over the picture, in shots and video
  qv::host::Config host;
};

// Parses the options; false with a message in *error for anything malformed.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options, std::string* error);

const char* RunUsage();

// The summary: one "name: value" a line.
std::string FormatSummary(const qv::host::Stats& stats, int exitCode, double wallMs,
                          const std::string& logName);
