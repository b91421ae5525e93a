// The host: configuration, frame counting, the SDL event pump, the clock and
// the figures behind the quorvel-run summary.
#include "platform/host/host.h"

#include <SDL.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>

namespace qv::host {
namespace {

constexpr std::uint32_t kVirtualClockStart = 10000;

struct HostState {
  Config config;
  int frameIndex = -1;
  Stats stats;
  std::uint32_t virtualTime = kVirtualClockStart;
  std::size_t nextClockStep = 0;         // the first of Config::clock_steps not yet in force
  const ClockStep* clockStep = nullptr;  // the one in force
  bool holding = false;                  // Config::hold_clock: `held` is this iteration's reading
  std::uint32_t held = 0;
  std::function<std::uint32_t()> clockOverride;
  std::function<void(int)> frameHook;
  std::function<void(int)> frameStartHook;
  std::map<int, EventListener> listeners;
  int nextListener = 1;
  bool focusKnown = false;
  bool focus = false;
  bool havePrevious = false;
  std::chrono::steady_clock::time_point previous;
  std::function<void()> startupOver;
  std::vector<bool> shotTried;          // per configured shot: its frame was presented
  std::vector<std::string> shotErrors;  // why a tried shot is not on disk
  FrameSink frameSink;
  bool sinkAskedToStop = false;  // the sink refused a frame; the window is to close
  bool sinkStopPosted = false;   // ... and its close request has gone out (once)
};

// The fixed calendar time, apart from HostState: time() may be called while
// statics are destroyed at exit (the log's end banner), so it must stay valid.
long long s_Epoch = -1;

HostState& H() {
  static HostState state;
  return state;
}

// Apart from HostState too: set once by the window layer, kept across Reset.
WindowHooks& Hooks() {
  static WindowHooks hooks;
  return hooks;
}

std::uint32_t BootMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const std::uint64_t ms =
      static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

// The clock as it reads now, whether or not the frame holds it.
std::uint32_t ReadClock(const HostState& h) {
  if (h.clockOverride) return h.clockOverride();
  if (VirtualClock(h.config)) return h.virtualTime;
  return BootMilliseconds();
}

// The presented picture read back at most once a frame, however many want
// it (F12, the shots of that frame, the video), and only if one does. A
// reading that fails, or gives fewer bytes than its size says, is a failure
// for every caller.
FrameReader ReadOnce(const FrameReader& reader) {
  struct Picture {
    bool read = false, ok = false;
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
  };
  auto picture = std::make_shared<Picture>();
  return [reader, picture](std::vector<std::uint8_t>& rgb, int& width, int& height) {
    Picture& p = *picture;
    if (!p.read) {
      p.read = true;
      p.ok = reader && reader(p.rgb, p.width, p.height) &&
             p.rgb.size() >= static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3u;
    }
    if (!p.ok) return false;
    rgb = p.rgb;
    width = p.width;
    height = p.height;
    return true;
  };
}

}  // namespace

void Configure(const Config& config) {
  H().config = config;
  H().nextClockStep = 0;
  H().clockStep = nullptr;
  if (config.clock_start >= 0) H().virtualTime = static_cast<std::uint32_t>(config.clock_start);
  s_Epoch = config.epoch;
  if (config.scripted) {
    // The offscreen driver gives a GL context with no display at all.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  }
}

const Config& GetConfig() { return H().config; }

bool VirtualClock(const Config& config) {
  return config.clock_step_ms > 0 || config.clock_start >= 0 || !config.clock_steps.empty();
}

void SetWindowHooks(const WindowHooks& hooks) { Hooks() = hooks; }

void Reset() {
  if (Hooks().reset) Hooks().reset();
  ResetReadout();
  H() = HostState{};
  s_Epoch = -1;
}

int FrameIndex() { return H().frameIndex; }

SDL_Window* Window() { return Hooks().first_window ? Hooks().first_window() : nullptr; }

bool WindowHasFocus() {
  if (H().config.scripted) return true;
  SDL_Window* w = Window();
  if (!w) return false;
  if (!H().focusKnown) {
    H().focus = (SDL_GetWindowFlags(w) & SDL_WINDOW_INPUT_FOCUS) != 0;
    H().focusKnown = true;
  }
  return H().focus;
}

void PumpEvents() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  PlaceWindow();
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (e.type == SDL_WINDOWEVENT) {
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        H().focus = true;
        H().focusKnown = true;
      } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        H().focus = false;
        H().focusKnown = true;
      }
    }
    if (Hooks().translate_event) Hooks().translate_event(e);
    // Listeners may remove themselves; iterate over a copy of the ids.
    std::vector<int> ids;
    for (auto& [id, fn] : H().listeners) ids.push_back(id);
    for (int id : ids) {
      auto it = H().listeners.find(id);
      if (it != H().listeners.end()) it->second(e);
    }
  }
}

int AddEventListener(EventListener listener) {
  const int id = H().nextListener++;
  H().listeners[id] = std::move(listener);
  return id;
}

void RemoveEventListener(int id) { H().listeners.erase(id); }

Stats& GetStats() { return H().stats; }

void CountDraw(std::uint64_t triangles) {
  H().stats.draws += 1;
  H().stats.triangles += triangles;
  H().stats.frame_draws += 1;
  H().stats.frame_triangles += triangles;
}

void CountSkippedDraw() { H().stats.draws_skipped += 1; }

void SetVirtualTime(std::uint32_t ms) { H().virtualTime = ms; }

void SetClockOverride(std::function<std::uint32_t()> clock) { H().clockOverride = std::move(clock); }

void SetFrameHook(std::function<void(int frame)> hook) { H().frameHook = std::move(hook); }

void SetFrameStartHook(std::function<void(int frame)> hook) { H().frameStartHook = std::move(hook); }

bool BeginLoopIteration() {
  HostState& h = H();
  ++h.frameIndex;
  if (h.frameIndex == 0 && h.startupOver) h.startupOver();
  h.stats.frame_draws = 0;
  h.stats.frame_triangles = 0;
  const auto now = std::chrono::steady_clock::now();
  if (h.havePrevious) {
    h.stats.frame_ms.push_back(std::chrono::duration<double, std::milli>(now - h.previous).count());
    h.stats.frames = h.stats.frame_ms.size();
  }
  h.previous = now;
  h.havePrevious = true;
  const Config& c = h.config;
  if (VirtualClock(c) && h.frameIndex > 0) {
    while (h.nextClockStep < c.clock_steps.size() && c.clock_steps[h.nextClockStep].frame <= h.frameIndex)
      h.clockStep = &c.clock_steps[h.nextClockStep++];
    // Unsigned: the clock wraps at 2^32 as timeGetTime does.
    h.virtualTime += h.clockStep ? h.clockStep->ms : static_cast<std::uint32_t>(c.clock_step_ms);
  }
  if (c.hold_clock) {
    h.held = ReadClock(h);
    h.holding = true;
  }
  if (h.frameIndex == 0 && c.epoch_until_loop) s_Epoch = -1;
  if (h.frameHook) h.frameHook(h.frameIndex);
  if (h.frameStartHook) h.frameStartHook(h.frameIndex);
  if (h.sinkAskedToStop && !h.sinkStopPosted) {
    h.sinkStopPosted = true;
    return true;
  }
  // The close request comes one iteration early: the loop still runs this
  // frame before it takes the quit message.
  if (h.config.max_frames < 0) return false;
  const int closeAt = h.config.max_frames > 0 ? h.config.max_frames - 1 : 0;
  return h.frameIndex == closeAt;
}

std::uint32_t Milliseconds() {
  HostState& h = H();
  return h.holding ? h.held : ReadClock(h);
}

void SetStartupOverHook(std::function<void()> hook) { H().startupOver = std::move(hook); }

ShotFormat ShotFormatOf(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return ShotFormat::Unknown;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "png") return ShotFormat::Png;
  if (ext == "jpg" || ext == "jpeg") return ShotFormat::Jpeg;
  return ShotFormat::Unknown;
}

void OnPresent(const FrameReader& presented) {
  const FrameReader reader = ReadOnce(presented);
  SaveRequestedShot(reader);
  HostState& h = H();
  const std::vector<Shot>& shots = h.config.shots;
  h.shotTried.resize(shots.size(), false);
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const Shot& shot = shots[i];
    if (shot.frame != h.frameIndex) continue;
    h.shotTried[i] = true;
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    if (!reader(rgb, width, height)) {
      h.shotErrors.push_back("cannot read the picture of frame " + std::to_string(shot.frame) + " for " +
                             shot.path);
      continue;
    }
    std::string error;
    const bool written = ShotFormatOf(shot.path) == ShotFormat::Jpeg
                             ? WriteJpegRGB(shot.path, rgb.data(), width, height, &error)
                             : WritePngRGB(shot.path, rgb.data(), width, height, &error);
    if (!written) h.shotErrors.push_back("cannot write " + shot.path + ": " + error);
  }
  if (H().frameSink && !H().frameSink(H().frameIndex, reader)) H().sinkAskedToStop = true;
}

std::vector<std::string> ShotFailures() {
  const HostState& h = H();
  std::vector<std::string> failures = h.shotErrors;
  for (std::size_t i = 0; i < h.config.shots.size(); ++i) {
    if (i < h.shotTried.size() && h.shotTried[i]) continue;
    const Shot& shot = h.config.shots[i];
    // Frames as the summary counts them: the loop iterations that ran one.
    const int frames = h.frameIndex > 0 ? h.frameIndex : 0;
    failures.push_back("no picture for " + shot.path + ": frame " + std::to_string(shot.frame) +
                       " was not presented (the run ended after " + std::to_string(frames) + " frames)");
  }
  return failures;
}

void SetFrameSink(FrameSink sink) { H().frameSink = std::move(sink); }

}  // namespace qv::host

// The system takes the calendar time from the C library's time() (the paint
// seed, the log file's name and banners). This definition stands in front of
// the C library's for the whole program, so that a scripted run can fix it.
extern "C" std::time_t time(std::time_t* out) noexcept {
  std::time_t now = static_cast<std::time_t>(qv::host::s_Epoch);
  if (qv::host::s_Epoch < 0) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    now = ts.tv_sec;
  }
  if (out) *out = now;
  return now;
}
