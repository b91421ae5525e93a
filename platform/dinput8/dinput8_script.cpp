#include "platform/dinput8/dinput8_script.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace qv::dinput8 {
namespace {

// Splits a line (comment already cut off) into blank-separated words.
std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Parses a whole word as an integer within [lo, hi]. Decimal with an
// optional sign, or (when allowHex) 0x followed by hex digits.
bool ParseInt(const std::string& word, bool allowHex, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
    negative = word[i] == '-';
    ++i;
  }
  int base = 10;
  if (allowHex && word.size() - i > 2 && word[i] == '0' && (word[i + 1] == 'x' || word[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= word.size()) return false;
  std::int64_t value = 0;
  for (; i < word.size(); ++i) {
    char c = word[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value * base + digit;
    if (value > (std::int64_t{1} << 40)) return false;  // far outside any accepted range
  }
  if (negative) value = -value;
  if (value < lo || value > hi) return false;
  out = value;
  return true;
}

bool ParseUpDown(const std::string& word, bool& down) {
  if (word == "down")
    down = true;
  else if (word == "up")
    down = false;
  else
    return false;
  return true;
}

// A number of milliseconds or seconds for a clock or epoch line.
bool ParseTime(const std::string& word, std::int64_t max, const char* what, std::int64_t& out,
               std::string& why) {
  if (ParseInt(word, false, 0, max, out)) return true;
  why = std::string(what) + " '" + word + "' is not a whole number from 0 to " + std::to_string(max);
  return false;
}

// The lines of no frame: "epoch <seconds>" and "clock-start <ms>".
bool ParseRunLine(const std::vector<std::string>& w, ScriptEvent& ev, std::string& why) {
  const bool epoch = w[0] == "epoch";
  ev.frame = -1;
  ev.kind = epoch ? ScriptEvent::Kind::Epoch : ScriptEvent::Kind::ClockStart;
  if (w.size() != 2) {
    why = "expected '" + w[0] + (epoch ? " <seconds>'" : " <ms>'");
    return false;
  }
  return epoch ? ParseTime(w[1], kMaxScriptEpoch, "epoch", ev.value, why)
               : ParseTime(w[1], kMaxScriptClock, "clock-start", ev.value, why);
}

// Parses one line's words into an event; on failure fills why.
bool ParseLine(const std::vector<std::string>& w, ScriptEvent& ev, std::string& why) {
  if (w[0] == "epoch" || w[0] == "clock-start") return ParseRunLine(w, ev, why);
  std::int64_t v = 0;
  if (!ParseInt(w[0], false, 0, INT_MAX, v)) {
    why = "frame '" + w[0] + "' is not a whole number from 0";
    return false;
  }
  ev.frame = static_cast<int>(v);
  if (w.size() < 2) {
    why = "an event (key, button, move, focus, clock or close) must follow the frame";
    return false;
  }
  const std::string& kind = w[1];
  if (kind == "key" || kind == "button") {
    bool isKey = kind == "key";
    if (w.size() != 4) {
      why = "expected '" + kind + (isKey ? " <code>" : " <n>") + " down|up'";
      return false;
    }
    if (!ParseInt(w[2], true, 0, isKey ? 255 : 7, v)) {
      why = isKey ? "key code '" + w[2] + "' is not a number from 0 to 255 (0xFF)"
                  : "button '" + w[2] + "' is not a number from 0 to 7";
      return false;
    }
    ev.kind = isKey ? ScriptEvent::Kind::Key : ScriptEvent::Kind::Button;
    ev.code = static_cast<int>(v);
    if (!ParseUpDown(w[3], ev.down)) {
      why = "expected 'down' or 'up', found '" + w[3] + "'";
      return false;
    }
    return true;
  }
  if (kind == "move") {
    if (w.size() != 4 && w.size() != 5) {
      why = "expected 'move <dx> <dy> [<dz>]'";
      return false;
    }
    std::int32_t d[3] = {0, 0, 0};
    for (std::size_t k = 2; k < w.size(); ++k) {
      if (!ParseInt(w[k], false, INT32_MIN, INT32_MAX, v)) {
        why = "motion '" + w[k] + "' is not a signed 32-bit whole number";
        return false;
      }
      d[k - 2] = static_cast<std::int32_t>(v);
    }
    ev.kind = ScriptEvent::Kind::Move;
    ev.dx = d[0];
    ev.dy = d[1];
    ev.dz = d[2];
    return true;
  }
  if (kind == "focus") {
    ev.kind = ScriptEvent::Kind::Focus;
    if (w.size() == 3 && (w[2] == "in" || w[2] == "out")) {
      ev.down = w[2] == "in";
      return true;
    }
    why = "expected 'focus in' or 'focus out'";
    return false;
  }
  if (kind == "clock") {
    ev.kind = ScriptEvent::Kind::Clock;
    if (w.size() == 3) return ParseTime(w[2], kMaxScriptClock, "clock step", ev.value, why);
    why = "expected 'clock <ms>'";
    return false;
  }
  if (kind == "close") {
    ev.kind = ScriptEvent::Kind::Close;
    if (w.size() == 2) return true;
    why = "expected 'close' alone";
    return false;
  }
  why = "unknown event '" + kind + "' (expected key, button, move, focus, clock or close)";
  return false;
}

std::int32_t Saturate(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

std::vector<ScriptEvent> ParseInputScript(const std::string& text, std::vector<ScriptError>& errors) {
  std::vector<ScriptEvent> events;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  int epochLine = 0, clockStartLine = 0;  // where each was given, 0 = not yet
  while (std::getline(in, line)) {
    ++lineNo;
    std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::vector<std::string> words = SplitWords(line);
    if (words.empty()) continue;
    ScriptEvent ev;
    ev.line = lineNo;
    std::string why;
    if (!ParseLine(words, ev, why)) {
      errors.push_back({lineNo, why});
      continue;
    }
    // A run has one calendar time and one first reading of its clock.
    int* first = ev.kind == ScriptEvent::Kind::Epoch        ? &epochLine
                 : ev.kind == ScriptEvent::Kind::ClockStart ? &clockStartLine
                                                            : nullptr;
    if (first && *first != 0) {
      errors.push_back(
          {lineNo, "a second " + words[0] + " line (the first is line " + std::to_string(*first) + ")"});
      continue;
    }
    if (first) *first = lineNo;
    events.push_back(ev);
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
  return events;
}

std::string FormatScriptEvent(const ScriptEvent& e) {
  const std::string frame = std::to_string(e.frame) + " ";
  char code[8];
  switch (e.kind) {
    case ScriptEvent::Kind::Key:
      std::snprintf(code, sizeof code, "0x%02X", e.code & 0xFF);
      return frame + "key " + code + (e.down ? " down" : " up");
    case ScriptEvent::Kind::Button:
      return frame + "button " + std::to_string(e.code) + (e.down ? " down" : " up");
    case ScriptEvent::Kind::Move: {
      std::string line = frame + "move " + std::to_string(e.dx) + " " + std::to_string(e.dy);
      return e.dz != 0 ? line + " " + std::to_string(e.dz) : line;
    }
    case ScriptEvent::Kind::Focus: return frame + (e.down ? "focus in" : "focus out");
    case ScriptEvent::Kind::Clock: return frame + "clock " + std::to_string(e.value);
    case ScriptEvent::Kind::Close: return frame + "close";
    case ScriptEvent::Kind::Epoch: return "epoch " + std::to_string(e.value);
    case ScriptEvent::Kind::ClockStart: return "clock-start " + std::to_string(e.value);
  }
  return "";
}

void ScriptPlayer::ApplyUpTo(int frame) {
  while (m_Next < m_Events.size() && m_Events[m_Next].frame <= frame) {
    const ScriptEvent& ev = m_Events[m_Next++];
    switch (ev.kind) {
      case ScriptEvent::Kind::Key: m_Keys[ev.code & 0xFF] = ev.down ? 0x80 : 0x00; break;
      case ScriptEvent::Kind::Button: m_Buttons[ev.code & 7] = ev.down ? 0x80 : 0x00; break;
      case ScriptEvent::Kind::Move:
        // Sums stay far from 64-bit overflow: at most one 32-bit value per line.
        m_Dx += ev.dx;
        m_Dy += ev.dy;
        m_Dz += ev.dz;
        break;
      case ScriptEvent::Kind::Focus: m_Focus = ev.down; break;
      // The host's: the program puts them into its configuration.
      case ScriptEvent::Kind::Clock:
      case ScriptEvent::Kind::Close:
      case ScriptEvent::Kind::Epoch:
      case ScriptEvent::Kind::ClockStart: break;
    }
  }
}

void ScriptPlayer::TakeMotion(std::int32_t& dx, std::int32_t& dy, std::int32_t& dz) {
  dx = Saturate(m_Dx);
  dy = Saturate(m_Dy);
  dz = Saturate(m_Dz);
  DropMotion();
}

std::vector<ScriptEvent> LoadInputScript(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "input script '%s': cannot be opened; no scripted input\n", path.c_str());
    return {};
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::vector<ScriptError> errors;
  std::vector<ScriptEvent> events = ParseInputScript(text.str(), errors);
  for (const ScriptError& e : errors)
    std::fprintf(stderr, "input script '%s' line %d: %s; line skipped\n", path.c_str(), e.line,
                 e.message.c_str());
  return events;
}

bool ConfigureHostFromScript(const std::vector<ScriptEvent>& events, qv::host::Config& config) {
  bool scriptClock = false;
  std::vector<qv::host::ClockStep> steps;
  long long clockStart = -1;
  for (const ScriptEvent& e : events) {
    switch (e.kind) {
      case ScriptEvent::Kind::Epoch:
        if (config.epoch < 0) config.epoch = e.value;
        break;
      case ScriptEvent::Kind::ClockStart:
        clockStart = e.value;
        scriptClock = true;
        break;
      case ScriptEvent::Kind::Clock:
        steps.push_back({e.frame, static_cast<std::uint32_t>(e.value)});
        scriptClock = true;
        break;
      case ScriptEvent::Kind::Close: {
        // The run's frames are 0 to the close's: a frame limit closes in its last.
        const long long frames = static_cast<long long>(e.frame) + 1;
        if (frames <= INT_MAX && (config.max_frames < 0 || frames < config.max_frames))
          config.max_frames = static_cast<int>(frames);
        break;
      }
      case ScriptEvent::Kind::Key:
      case ScriptEvent::Kind::Button:
      case ScriptEvent::Kind::Move:
      case ScriptEvent::Kind::Focus: break;  // the devices'
    }
  }
  if (!scriptClock) return false;
  if (config.clock_step_ms > 0) return true;
  config.clock_start = clockStart;
  config.clock_steps = std::move(steps);
  return false;
}

}  // namespace qv::dinput8
