#include "run_progress.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kEscape = 0x01;  // DIK_ESCAPE
constexpr double kRedrawSeconds = 0.25;

}  // namespace

int KnownRunLength(int maxFrames, const std::vector<qv::dinput8::ScriptEvent>& script) {
  int length = maxFrames > 0 ? maxFrames : 0;
  for (const qv::dinput8::ScriptEvent& e : script) {
    if (e.kind != qv::dinput8::ScriptEvent::Kind::Key || e.code != kEscape || !e.down) continue;
    // Events are in frame order: the first press ends the run.
    length = length > 0 ? std::min(length, e.frame + 1) : e.frame + 1;
    break;
  }
  return length;
}

std::string FormatProgress(int done, int total, double fps) {
  char text[96];
  int n = std::snprintf(text, sizeof text, "frame %d/%d", done, total);
  if (fps > 0.0) {
    const long left = std::lround(std::max(0, total - done) / fps);
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  %.1f fps  %ld:%02ld left", fps,
                  left / 60, left % 60);
  }
  return text;
}

ProgressLine::ProgressLine(std::FILE* out, int total) : m_out(total > 0 ? out : nullptr), m_total(total) {}

void ProgressLine::Frame(int done, double seconds) {
  if (!m_out) return;
  if (done < m_total && m_lastDrawn >= 0.0 && seconds - m_lastDrawn < kRedrawSeconds) return;
  m_lastDrawn = seconds;
  const std::string text = FormatProgress(done, m_total, seconds > 0.0 ? (done - 1) / seconds : 0.0);
  // Blanks over whatever a longer earlier line left behind.
  std::fprintf(m_out, "\r%s%*s", text.c_str(),
               static_cast<int>(m_width > text.size() ? m_width - text.size() : 0), "");
  m_width = std::max(m_width, text.size());
  std::fflush(m_out);
}

void ProgressLine::End() {
  if (m_out && m_lastDrawn >= 0.0) std::fputc('\n', m_out);
  m_out = nullptr;
}
