// The host: configuration, frame counting, the SDL event pump, the clock and
// the figures behind the quorvel-run summary.
#include "platform/host/host.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <map>

namespace qv::host {
namespace {

constexpr std::uint32_t kVirtualClockStart = 10000;

struct HostState {
  Config config;
  int frameIndex = -1;
  Stats stats;
  std::uint32_t virtualTime = kVirtualClockStart;
  std::function<std::uint32_t()> clockOverride;
  std::map<int, EventListener> listeners;
  int nextListener = 1;
  bool focusKnown = false;
  bool focus = false;
  bool havePrevious = false;
  std::chrono::steady_clock::time_point previous;
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

}  // namespace

void Configure(const Config& config) {
  H().config = config;
  s_Epoch = config.epoch;
  if (config.scripted) {
    // The offscreen driver gives a GL context with no display at all.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  }
}

const Config& GetConfig() { return H().config; }

void SetWindowHooks(const WindowHooks& hooks) { Hooks() = hooks; }

void Reset() {
  if (Hooks().reset) Hooks().reset();
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
}

void CountSkippedDraw() { H().stats.draws_skipped += 1; }

void SetVirtualTime(std::uint32_t ms) { H().virtualTime = ms; }

void SetClockOverride(std::function<std::uint32_t()> clock) { H().clockOverride = std::move(clock); }

bool BeginLoopIteration() {
  HostState& h = H();
  ++h.frameIndex;
  const auto now = std::chrono::steady_clock::now();
  if (h.havePrevious) {
    h.stats.frame_ms.push_back(std::chrono::duration<double, std::milli>(now - h.previous).count());
    h.stats.frames = h.stats.frame_ms.size();
  }
  h.previous = now;
  h.havePrevious = true;
  if (h.config.clock_step_ms > 0 && h.frameIndex > 0)
    h.virtualTime += static_cast<std::uint32_t>(h.config.clock_step_ms);
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
  if (h.clockOverride) return h.clockOverride();
  if (h.config.clock_step_ms > 0) return h.virtualTime;
  return BootMilliseconds();
}

void OnPresent(const FrameReader& reader) {
  for (const Shot& shot : H().config.shots) {
    if (shot.frame != H().frameIndex) continue;
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    if (!reader || !reader(rgb, width, height) ||
        rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3u) {
      std::fprintf(stderr, "quorvel: could not read frame %d for %s\n", shot.frame, shot.path.c_str());
      continue;
    }
    if (!WritePngRGB(shot.path, rgb.data(), width, height))
      std::fprintf(stderr, "quorvel: could not write %s\n", shot.path.c_str());
  }
  if (H().frameSink && !H().frameSink(H().frameIndex, reader)) H().sinkAskedToStop = true;
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
