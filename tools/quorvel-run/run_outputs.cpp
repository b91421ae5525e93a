#include "run_outputs.h"

#include <unistd.h>

#include <cstdio>

#include "platform/host/host.h"

bool RunOutputs::Start(const RunOptions& options, const std::vector<qv::dinput8::ScriptEvent>& script,
                       std::string* error) {
  const int total = KnownRunLength(options.host.max_frames, script);
  if (!options.video.empty()) {
    m_videoPath = options.video;
    const VideoRate rate =
        ChooseVideoRate(options.video_fps, options.host.clock_step_ms, options.host.clock_steps, total);
    m_video = VideoWriter::Open(options.video, rate, error);
    if (!m_video) return false;
    if (!m_video->Note().empty()) std::fprintf(stderr, "quorvel-run: %s\n", m_video->Note().c_str());
  }
  // The progress line is for a person watching a run that makes files; a
  // pipe or a log file gets nothing.
  const bool watched = (m_video || !options.host.shots.empty()) && ::isatty(STDERR_FILENO);
  m_progress = std::make_unique<ProgressLine>(watched && total > 0 ? stderr : nullptr, total);
  qv::host::SetFrameSink(
      [this](int frame, const qv::host::FrameReader& reader) { return Frame(frame, reader); });
  return true;
}

bool RunOutputs::Frame(int frame, const qv::host::FrameReader& reader) {
  const auto now = std::chrono::steady_clock::now();
  if (!m_started) {
    m_started = true;
    m_first = now;
  }
  bool ok = true;
  if (m_video) {
    int width = 0, height = 0;
    ok = reader && reader(m_rgb, width, height) &&
         m_rgb.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3u;
    m_readMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - now).count();
    if (!ok && m_error.empty())
      m_error = "could not read frame " + std::to_string(frame) + " for the video '" + m_videoPath + "'";
    ok = ok && m_video->Add(frame, m_rgb.data(), width, height);
  }
  m_progress->Frame(frame + 1, std::chrono::duration<double>(now - m_first).count());
  return ok;
}

bool RunOutputs::Finish(std::string* error) {
  qv::host::SetFrameSink(nullptr);
  if (m_progress) m_progress->End();
  if (!m_video) return true;
  const bool ok = m_video->Finish() && m_error.empty();
  if (!ok) *error = m_error.empty() ? m_video->Error() : m_error;
  return ok;
}

std::string RunOutputs::SummaryLines() const {
  if (!m_video || m_video->FramesWritten() == 0) return "";
  char text[64];
  std::snprintf(text, sizeof text, "video_ms_per_frame: %.3f\n",
                (m_readMs + m_video->EncodeMs()) / m_video->FramesWritten());
  return "video: " + m_videoPath + "\n" + text;
}
