// The scripted host's input: a text script of timed key, button and mouse
// events, and what else a recorded live run needs to be replayed exactly.
// One entry a line, '#' starts a comment, frames count from 0:
//
//   <frame> key <code> down|up        code: DIK_ value, decimal or 0x hex
//   <frame> button <n> down|up        n: 0..7 (0 left, 1 right, 2 middle)
//   <frame> move <dx> <dy> [<dz>]     relative motion; dz is the wheel
//   <frame> focus out|in              the window leaves / regains the foreground
//   <frame> clock <ms>                from this frame on, each frame's clock is
//                                     ms later than the frame before it
//   <frame> close                     the window is closed in this frame, as
//                                     the window manager would
//   epoch <seconds>                   the calendar time the run sees
//   clock-start <ms>                  the clock's reading in frame 0
//
// The events of frame F are applied before that frame's input is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/host.h"

namespace qv::dinput8 {

struct ScriptEvent {
  enum class Kind : std::uint8_t { Key, Button, Move, Focus, Clock, Close, Epoch, ClockStart };
  int frame = 0;  // -1 for the lines of no frame (Epoch, ClockStart)
  Kind kind = Kind::Key;
  int code = 0;                         // DIK_ code (Key) or button number (Button)
  bool down = false;                    // Key, Button; Focus: true = in the foreground
  std::int32_t dx = 0, dy = 0, dz = 0;  // Move
  std::int64_t value = 0;               // Clock, ClockStart: milliseconds; Epoch: seconds
  int line = 0;                         // 1-based line of the script
};

struct ScriptError {
  int line = 0;
  std::string message;
};

// The largest values the lines take: the calendar time as --epoch takes it,
// clock readings and steps as timeGetTime's 32 bits.
constexpr std::int64_t kMaxScriptEpoch = 2147483647;
constexpr std::int64_t kMaxScriptClock = 4294967295;

// Parses a whole script. Good lines become events (sorted by frame, the
// lines of no frame first, script order kept within a frame); each malformed
// line, and a second epoch or clock-start line, is skipped and described in
// errors. Never throws on bad text.
std::vector<ScriptEvent> ParseInputScript(const std::string& text, std::vector<ScriptError>& errors);

// One event as the line that parses back to it (no comment, no line end).
std::string FormatScriptEvent(const ScriptEvent& event);

// Keyboard, mouse and foreground state driven by a parsed script. Lines
// that are not about the devices (clock, close, epoch) are passed over.
class ScriptPlayer {
 public:
  explicit ScriptPlayer(std::vector<ScriptEvent> events) : m_Events(std::move(events)) {}

  // Applies every event of frames up to and including frame that has not
  // been applied yet.
  void ApplyUpTo(int frame);

  const std::uint8_t* Keys() const { return m_Keys; }
  const std::uint8_t* Buttons() const { return m_Buttons; }
  bool Focus() const { return m_Focus; }
  // Motion gathered since the last call (each axis saturates at 32 bits).
  void TakeMotion(std::int32_t& dx, std::int32_t& dy, std::int32_t& dz);
  void DropMotion() { m_Dx = m_Dy = m_Dz = 0; }

 private:
  std::vector<ScriptEvent> m_Events;
  std::size_t m_Next = 0;
  std::uint8_t m_Keys[256] = {};
  std::uint8_t m_Buttons[8] = {};
  bool m_Focus = true;
  std::int64_t m_Dx = 0, m_Dy = 0, m_Dz = 0;
};

// Reads and parses the script file; problems go to standard error, one line
// each, with the file name and line number.
std::vector<ScriptEvent> LoadInputScript(const std::string& path);

// Puts what a script says about the run, beyond its devices, into the host's
// configuration: its epoch unless one is set already (the command line's
// wins); its clock (the clock-start and clock lines drive a virtual clock)
// unless a steady clock is set, which wins too; and its first close line as
// the frame limit, unless the limit set is sooner. Returns true when the
// script's clock was left unused for the steady one.
bool ConfigureHostFromScript(const std::vector<ScriptEvent>& events, qv::host::Config& config);

// The events the next scripted input backend plays, in place of loading
// Config::input_script: for a program that loaded the script itself (and
// reported its bad lines) before the run.
void UseLoadedScript(std::vector<ScriptEvent> events);

}  // namespace qv::dinput8
