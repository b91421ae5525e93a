// The scripted host's input: a text script of timed key, button and mouse
// events. One event a line, '#' starts a comment, frames count from 0:
//
//   <frame> key <code> down|up        code: DIK_ value, decimal or 0x hex
//   <frame> button <n> down|up        n: 0..7 (0 left, 1 right, 2 middle)
//   <frame> move <dx> <dy> [<dz>]     relative motion; dz is the wheel
//
// The events of frame F are applied before that frame's input is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::dinput8 {

struct ScriptEvent {
  enum class Kind : std::uint8_t { Key, Button, Move };
  int frame = 0;
  Kind kind = Kind::Key;
  int code = 0;                         // DIK_ code (Key) or button number (Button)
  bool down = false;                    // Key, Button
  std::int32_t dx = 0, dy = 0, dz = 0;  // Move
  int line = 0;                         // 1-based line of the script
};

struct ScriptError {
  int line = 0;
  std::string message;
};

// Parses a whole script. Good lines become events (sorted by frame, script
// order kept within a frame); each malformed line is skipped and described in
// errors. Never throws on bad text.
std::vector<ScriptEvent> ParseInputScript(const std::string& text, std::vector<ScriptError>& errors);

// Keyboard and mouse state driven by a parsed script.
class ScriptPlayer {
 public:
  explicit ScriptPlayer(std::vector<ScriptEvent> events) : m_Events(std::move(events)) {}

  // Applies every event of frames up to and including frame that has not
  // been applied yet.
  void ApplyUpTo(int frame);

  const std::uint8_t* Keys() const { return m_Keys; }
  const std::uint8_t* Buttons() const { return m_Buttons; }
  // Motion gathered since the last call (each axis saturates at 32 bits).
  void TakeMotion(std::int32_t& dx, std::int32_t& dy, std::int32_t& dz);
  void DropMotion() { m_Dx = m_Dy = m_Dz = 0; }

 private:
  std::vector<ScriptEvent> m_Events;
  std::size_t m_Next = 0;
  std::uint8_t m_Keys[256] = {};
  std::uint8_t m_Buttons[8] = {};
  std::int64_t m_Dx = 0, m_Dy = 0, m_Dz = 0;
};

// Reads and parses the script file; problems go to standard error, one line
// each, with the file name and line number.
std::vector<ScriptEvent> LoadInputScript(const std::string& path);

}  // namespace qv::dinput8
