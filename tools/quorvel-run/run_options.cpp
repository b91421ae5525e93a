#include "run_options.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "run_video.h"

namespace {

bool ParseInt(const std::string& text, int minimum, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < minimum || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  // Nearest rank.
  const std::size_t rank = static_cast<std::size_t>(p * static_cast<double>(values.size()) + 0.999999);
  const std::size_t index = std::min(values.size() - 1, rank > 0 ? rank - 1 : 0);
  return values[index];
}

}  // namespace

const char* RunUsage() {
  return "usage: quorvel-run [--dir DIR] [--frames N] [--clock MS] [--input FILE]\n"
         "                   [--shot FRAME:FILE]... [--window] [--epoch SECONDS] [--hud]\n"
         "                   [--video FILE.mp4|FILE.mkv [--video-fps N]]\n"
         "The viewer on the scripted host (offscreen, input from a script); prints a\n"
         "summary of the run. Exit code 0; 1 when the viewer's start-up failed (one\n"
         "line names the cause and the log) or a shot or the video could not be\n"
         "written; 2 for a wrong command line.\n"
         "  --dir DIR         the data folder the viewer runs in (default .)\n"
         "  --frames N        close the window after N frames, as a user would\n"
         "  --clock MS        a virtual clock that advances MS milliseconds a frame\n"
         "                    (default: the real clock, or an input script's)\n"
         "  --input FILE      input script: one event a line, \"<frame> key <code> down|up\",\n"
         "                    \"<frame> button <n> down|up\", \"<frame> move <dx> <dy> [<dz>]\";\n"
         "                    one from quorvel --record also gives the clock, the epoch\n"
         "                    and the last frame, and replays that run exactly\n"
         "  --shot FRAME:FILE save the picture of frame FRAME (from 0, below --frames)\n"
         "                    as PNG (FILE.png) or JPEG (FILE.jpg, FILE.jpeg); repeatable\n"
         "  --window          a live window instead of the offscreen one\n"
         "  --epoch SECONDS   the calendar time the viewer sees, in seconds since\n"
         "                    1970-01-01 UTC (the paint seed, the log's name and\n"
         "                    banners; default: an input script's); with --clock and\n"
         "                    --input a run repeats exactly\n"
         "  --hud             the readout (frame, fps, frame time, camera, time of day,\n"
         "                    draws) over the picture, in shots and video; its last\n"
         "                    text ends the summary as \"readout: ...\"\n"
         "  --video FILE      encode every frame into FILE as it is made: H.264 in MP4\n"
         "                    (.mp4) or Matroska (.mkv), at the virtual clock's rate\n"
         "                    (--clock 51: 1000/51 frames a second)\n"
         "  --video-fps N     the video's frame rate instead (needed without --clock\n"
         "                    or an input script with a recorded clock)\n"
         "  -h, --help        show this text\n"
         "While a run of known length (--frames, or a script that presses Escape)\n"
         "writes a video or shots, a progress line shows on standard error when it\n"
         "is a terminal.\n";
}

bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options, std::string* error) {
  RunOptions o;
  o.host.scripted = true;
  o.host.visible_window = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--dir") {
      if (!value(&v)) return false;
      o.dir = v;
    } else if (a == "--frames") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 1, &o.host.max_frames)) {
        *error = "--frames needs a whole number of at least 1, not '" + v + "'";
        return false;
      }
    } else if (a == "--clock") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 1, &o.host.clock_step_ms)) {
        *error = "--clock needs a whole number of milliseconds of at least 1, not '" + v + "'";
        return false;
      }
    } else if (a == "--input") {
      if (!value(&v)) return false;
      o.host.input_script = v;
    } else if (a == "--shot") {
      if (!value(&v)) return false;
      const std::size_t colon = v.find(':');
      qv::host::Shot shot;
      if (colon == std::string::npos || colon + 1 >= v.size() ||
          !ParseInt(v.substr(0, colon), 0, &shot.frame)) {
        *error = "--shot needs FRAME:FILE.png or FRAME:FILE.jpg, not '" + v + "'";
        return false;
      }
      shot.path = v.substr(colon + 1);
      if (qv::host::ShotFormatOf(shot.path) == qv::host::ShotFormat::Unknown) {
        *error = "--shot " + v + ": a shot is written as PNG (.png) or JPEG (.jpg, .jpeg)";
        return false;
      }
      o.host.shots.push_back(shot);
    } else if (a == "--epoch") {
      if (!value(&v)) return false;
      int seconds = 0;
      if (!ParseInt(v, 0, &seconds)) {
        *error = "--epoch needs whole seconds from 0 to 2147483647, not '" + v + "'";
        return false;
      }
      o.host.epoch = seconds;
    } else if (a == "--hud") {
      o.hud = true;
    } else if (a == "--video") {
      if (!value(&v)) return false;
      if (!VideoContainerFor(v)) {
        *error = "--video needs a file ending in .mp4 or .mkv, not '" + v + "'";
        return false;
      }
      o.video = v;
    } else if (a == "--video-fps") {
      if (!value(&v)) return false;
      if (!ParseInt(v, 1, &o.video_fps) || o.video_fps > 1000) {
        *error = "--video-fps needs a whole number from 1 to 1000, not '" + v + "'";
        return false;
      }
    } else if (a == "--window") {
      o.host.scripted = false;
      o.host.visible_window = true;
    } else {
      *error = "unknown option '" + a + "'";
      return false;
    }
  }
  // The run ends after frames 0 to N-1: a later shot would never be taken.
  for (const qv::host::Shot& shot : o.host.shots) {
    if (o.host.max_frames > 0 && shot.frame >= o.host.max_frames) {
      *error = "--shot " + std::to_string(shot.frame) + ":" + shot.path + ": the run has frames 0 to " +
               std::to_string(o.host.max_frames - 1) + " (--frames " + std::to_string(o.host.max_frames) +
               ")";
      return false;
    }
  }
  if (!o.host.input_script.empty()) {
    // A folder opens for reading too, but reads nothing.
    std::error_code ec;
    errno = std::filesystem::is_directory(o.host.input_script, ec) ? EISDIR : 0;
    std::FILE* script = errno == 0 ? std::fopen(o.host.input_script.c_str(), "r") : nullptr;
    if (!script) {
      *error = "--input " + o.host.input_script + ": " + std::strerror(errno);
      return false;
    }
    std::fclose(script);
  }
  if (o.video_fps > 0 && o.video.empty()) {
    *error = "--video-fps goes with --video";
    return false;
  }
  // An input script may carry a recorded clock: that case is settled once
  // the script is read.
  if (!o.video.empty() && o.video_fps == 0 && o.host.clock_step_ms == 0 && o.host.input_script.empty()) {
    *error = "--video needs a frame rate: --clock MS or --video-fps N";
    return false;
  }
  *options = o;
  return true;
}

std::string FormatSummary(const qv::host::Stats& stats, int exitCode, double wallMs,
                          const std::string& logName, double peakRssMb) {
  if (peakRssMb < 0) {
    // The kernel's own peak of the resident set so far, in KiB on Linux.
    struct rusage usage {};
    peakRssMb = ::getrusage(RUSAGE_SELF, &usage) == 0 ? static_cast<double>(usage.ru_maxrss) / 1024.0 : 0.0;
  }
  const double frames = static_cast<double>(stats.frames);
  char text[1024];
  std::snprintf(
      text, sizeof text,
      "frames: %llu\nexit_code: %d\nwall_ms: %.1f\nframe_ms_median: %.3f\n"
      "frame_ms_p95: %.3f\ndraws_per_frame: %.1f\ntriangles_per_frame: %.1f\n"
      "draws_skipped_per_frame: %.1f\npeak_rss_mb: %.1f\nlog: %s\n",
      static_cast<unsigned long long>(stats.frames), exitCode, wallMs, Percentile(stats.frame_ms, 0.5),
      Percentile(stats.frame_ms, 0.95), frames > 0 ? static_cast<double>(stats.draws) / frames : 0.0,
      frames > 0 ? static_cast<double>(stats.triangles) / frames : 0.0,
      frames > 0 ? static_cast<double>(stats.draws_skipped) / frames : 0.0, peakRssMb, logName.c_str());
  return text;
}
