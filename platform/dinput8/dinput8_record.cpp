#include "platform/dinput8/dinput8_record.h"

#include <SDL.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/dinput8/dinput8_keymap.h"
#include "platform/dinput8/dinput8_script.h"
#include "platform/host/host.h"

namespace qv::dinput8 {
namespace {

constexpr const char* kHead =
    "# A live run, recorded: what the keyboard and mouse gave in each frame and\n"
    "# the clock it saw. \"quorvel-run --input FILE\" replays it exactly; run it\n"
    "# in a copy of the data folder, or it adds to this run's log (named after\n"
    "# the epoch). Lines may be edited: see \"Input scripts\" in the README.\n";

// The name a person knows a key by, from SDL's names of the scancodes that
// map to it ("" for none).
std::string KeyName(int dik) {
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc)
    if (DikFromScancode(sc) == dik) return SDL_GetScancodeName(static_cast<SDL_Scancode>(sc));
  return "";
}

constexpr const char* kButtonNames[8] = {"left", "right", "middle", "back", "forward", "", "", ""};

class Recorder {
 public:
  Recorder(std::FILE* file, std::string path) : m_File(file), m_Path(std::move(path)) {}
  ~Recorder() {
    if (m_File) std::fclose(m_File);
  }

  // Writes and flushes; on the first failure says so, and writes no more.
  void Write(const std::string& text) {
    if (m_Failed || text.empty()) return;
    if (std::fputs(text.c_str(), m_File) >= 0 && std::fflush(m_File) == 0) return;
    m_Failed = true;
    std::fprintf(stderr, "recording '%s': cannot be written (%s); frames from %d on are not in it\n",
                 m_Path.c_str(), std::strerror(errno), m_Frame);
  }

  // The loop iteration of `frame` begins: the one before it ran a whole
  // frame, so its block is complete.
  void FrameStart(int frame) {
    if (m_Frame >= 0) {
      // The window went during that frame: closed by the window manager, or
      // a signal (an Escape ends the loop without closing it).
      if (m_HadWindow && !qv::host::Window()) Add({m_Frame, ScriptEvent::Kind::Close});
      Write(m_Block);
    }
    m_HadWindow = qv::host::Window() != nullptr;
    m_Block.clear();
    m_Reads = false;
    m_Frame = frame;
    // The clock as the frame holds it (Config::hold_clock); unsigned steps
    // carry the clock's wrap at 2^32.
    const std::uint32_t now = qv::host::Milliseconds();
    ScriptEvent e{frame};
    if (frame == 0) {
      e.frame = -1;
      e.kind = ScriptEvent::Kind::ClockStart;
      e.value = now;
      Add(e);
    } else if (!m_HaveStep || now - m_Clock != m_Step) {
      m_Step = now - m_Clock;
      m_HaveStep = true;
      e.kind = ScriptEvent::Kind::Clock;
      e.value = m_Step;
      Add(e);
    }
    m_Clock = now;
  }

  void Keys(const BYTE keys[256]) {
    if (!InFrame()) return;
    for (int code = 0; code < 256; ++code) {
      if ((keys[code] & 0x80) == (m_Keys[code] & 0x80)) continue;
      m_Keys[code] = keys[code] & 0x80;
      ScriptEvent e{m_Frame, ScriptEvent::Kind::Key, code, m_Keys[code] != 0};
      Add(e, KeyName(code));
    }
  }

  void Mouse(LONG dx, LONG dy, LONG dz, const BYTE buttons[8]) {
    if (!InFrame()) return;
    if (dx != 0 || dy != 0 || dz != 0) {
      ScriptEvent e{m_Frame, ScriptEvent::Kind::Move};
      e.dx = dx;
      e.dy = dy;
      e.dz = dz;
      Add(e);
    }
    for (int n = 0; n < 8; ++n) {
      if ((buttons[n] & 0x80) == (m_Buttons[n] & 0x80)) continue;
      m_Buttons[n] = buttons[n] & 0x80;
      Add({m_Frame, ScriptEvent::Kind::Button, n, m_Buttons[n] != 0}, kButtonNames[n]);
    }
  }

  void Focus(bool foreground) {
    if (!InFrame() || foreground == m_Focus) return;
    m_Focus = foreground;
    ScriptEvent e{m_Frame, ScriptEvent::Kind::Focus};
    e.down = foreground;
    Add(e);
  }

  // The iteration in progress took the quit message and ran no frame (its
  // block holds only its clock), unless a device was read in it: the loop
  // then ended in the middle of a frame.
  bool Finish() {
    if (m_Frame >= 0 && m_Reads) {
      Write(m_Block);
      ++m_Frame;
    }
    const int frames = m_Frame > 0 ? m_Frame : 0;
    Write("# the run ended after " + std::to_string(frames) + " frames\n");
    const bool closed = std::fclose(m_File) == 0;
    m_File = nullptr;
    if (!closed && !m_Failed)
      std::fprintf(stderr, "recording '%s': cannot be written (%s)\n", m_Path.c_str(), std::strerror(errno));
    return closed && !m_Failed;
  }

 private:
  bool InFrame() {
    if (qv::host::FrameIndex() != m_Frame || m_Frame < 0) return false;
    m_Reads = true;
    return true;
  }

  void Add(const ScriptEvent& e, const std::string& note = "") {
    m_Block += FormatScriptEvent(e);
    if (!note.empty()) m_Block += "  # " + note;
    m_Block += '\n';
  }

  std::FILE* m_File;
  std::string m_Path;
  bool m_Failed = false;
  int m_Frame = -1;      // the frame whose block is being gathered
  std::string m_Block;   // its lines
  bool m_Reads = false;  // a device was read in it
  bool m_HadWindow = false;
  std::uint32_t m_Clock = 0;  // the previous frame's reading
  std::uint32_t m_Step = 0;   // the step of the last clock line
  bool m_HaveStep = false;
  // The state as the script leaves it (the player's starts the same).
  std::uint8_t m_Keys[256] = {};
  std::uint8_t m_Buttons[8] = {};
  bool m_Focus = true;
};

std::unique_ptr<Recorder> s_recorder;

}  // namespace

bool StartRecording(const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "we");
  if (!file) {
    *error = "cannot create the recording " + path + ": " + std::strerror(errno);
    return false;
  }
  qv::host::Config config = qv::host::GetConfig();
  config.epoch = std::time(nullptr);
  config.epoch_until_loop = true;
  config.hold_clock = true;
  const std::string head = std::string(kHead) + "epoch " + std::to_string(config.epoch) + "\n";
  if (std::fputs(head.c_str(), file) < 0 || std::fflush(file) != 0) {
    *error = "cannot write the recording " + path + ": " + std::strerror(errno);
    std::fclose(file);
    return false;
  }
  qv::host::Configure(config);
  s_recorder = std::make_unique<Recorder>(file, path);
  qv::host::SetFrameStartHook([](int frame) { s_recorder->FrameStart(frame); });
  return true;
}

bool FinishRecording() {
  if (!s_recorder) return true;
  qv::host::SetFrameStartHook(nullptr);
  const bool written = s_recorder->Finish();
  s_recorder.reset();
  return written;
}

void RecordKeys(const BYTE keys[256]) {
  if (s_recorder) s_recorder->Keys(keys);
}

void RecordMouse(LONG dx, LONG dy, LONG dz, const BYTE buttons[8]) {
  if (s_recorder) s_recorder->Mouse(dx, dy, dz, buttons);
}

void RecordFocus(bool foreground) {
  if (s_recorder) s_recorder->Focus(foreground);
}

}  // namespace qv::dinput8
