// What quorvel-run does with each frame the run presents, besides the
// screenshots the host takes: the video (--video) and the progress line.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "run_options.h"
#include "run_progress.h"
#include "run_video.h"

class RunOutputs {
 public:
  // Opens the video file and hands the host a sink for every presented
  // frame; false with a one-line *error when the video cannot be written.
  // Paths in options are taken as they are (make them absolute first);
  // script is the run's input script, read once by the caller (its length
  // and a recorded clock set the progress line's total and the video's rate).
  bool Start(const RunOptions& options, const std::vector<qv::dinput8::ScriptEvent>& script,
             std::string* error);
  // Ends the progress line and the video; false with *error when writing
  // the video failed at any point.
  bool Finish(std::string* error);
  // Summary lines for the video, empty without one: "video: PATH" and
  // "video_ms_per_frame: MS", the time the run spent per frame reading the
  // picture back and in the encoder and muxer (work the encoder does on its
  // own threads meanwhile is not in it).
  std::string SummaryLines() const;

 private:
  bool Frame(int frame, const qv::host::FrameReader& reader);

  std::string m_videoPath;
  std::unique_ptr<VideoWriter> m_video;
  double m_readMs = 0.0;  // reading the pictures back for the video
  std::string m_error;    // a picture that could not be read
  std::vector<std::uint8_t> m_rgb;
  std::unique_ptr<ProgressLine> m_progress;
  bool m_started = false;
  std::chrono::steady_clock::time_point m_first;
};
