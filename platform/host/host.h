// The host behind the platform layers: either live (an SDL2 window, real
// keyboard and mouse, the real clock) or scripted (SDL2's offscreen video
// driver, input from a script, optionally a virtual clock). The programs in
// tools/ configure it before they call WinMain; the system never sees it.
// The host knows nothing of the Win32 layer: the window layer calls in, and
// the host reaches the windows only through the hooks that layer sets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct SDL_Window;
union SDL_Event;

namespace qv::host {

struct Shot {
  int frame;         // frame index (from 0) whose presented picture is saved
  std::string path;  // PNG file
};

struct Config {
  bool scripted = false;       // offscreen driver and scripted input
  bool visible_window = true;  // a real window (live host, or quorvel-run --window)
  int clock_step_ms = 0;       // > 0: virtual clock advancing this much per frame
  int max_frames = -1;         // >= 0: the window is closed after this many frames
  std::string input_script;    // scripted input file ("" = none)
  std::vector<Shot> shots;     // screenshots to take at Present
  long long epoch = -1;        // >= 0: the calendar time time() returns, seconds since 1970
};

// Set before WinMain runs; Reset() returns everything to the live defaults
// and has the window layer forget its windows and messages.
void Configure(const Config& config);
const Config& GetConfig();
void Reset();

// Frame index of the loop iteration in progress (from 0); -1 before the first
// PeekMessageA. The message loop runs exactly one frame per PeekMessageA call.
int FrameIndex();

// What the window layer lends the host: the windows and their message queue
// stay there. It sets the hooks once, when it is linked into the program; a
// program without it has no window, and the unset hooks say so.
struct WindowHooks {
  SDL_Window* (*first_window)() = nullptr;              // the SDL window of the first live window
  void (*translate_event)(const SDL_Event&) = nullptr;  // an SDL event into window messages
  void (*reset)() = nullptr;                            // forget every window and message
};
void SetWindowHooks(const WindowHooks& hooks);

// Called by the message pump at the start of each loop iteration: the frame
// index advances, the virtual clock steps and frame times are recorded. True
// when the configured frame limit asks for the window to be closed now, in
// time for the loop to run exactly that many frames.
bool BeginLoopIteration();

// The millisecond clock behind timeGetTime: the test override if set, else the
// virtual clock if a step is configured, else the time since boot.
std::uint32_t Milliseconds();

// The SDL window behind the one HWND (null when none exists). It is created
// with SDL_WINDOW_OPENGL so the graphics layer can attach a context.
SDL_Window* Window();
bool WindowHasFocus();

// The size in pixels of a window's drawable as the window system has it now,
// which is not always what was asked for (a full-screen request that no
// window manager honoured); 0 x 0 for no window.
void WindowPixelSize(SDL_Window* window, int& width, int& height);

// The keys held on the whole display, whichever window (of any program) has
// the focus, as Linux input key codes: bit n % 8 of keys[n / 8] for code n.
// False where the window system offers no such state (Wayland, the offscreen
// driver, an X server with another key numbering).
bool GlobalKeyState(std::uint8_t keys[32]);

// Polls SDL events: window events become window messages (through the window
// layer's hook), and every event is handed to the listeners (the input layer
// keeps its device state this way).
void PumpEvents();
using EventListener = std::function<void(const SDL_Event&)>;
int AddEventListener(EventListener listener);
void RemoveEventListener(int id);

// Per-frame figures gathered for the quorvel-run summary. The graphics layer
// adds its draws and triangles; the message loop records frame times.
struct Stats {
  std::uint64_t frames = 0;
  std::uint64_t draws = 0;
  std::uint64_t triangles = 0;
  std::uint64_t draws_skipped = 0;  // counted draws that GL was spared
  std::vector<double> frame_ms;     // wall time between consecutive frames
};
Stats& GetStats();
void CountDraw(std::uint64_t triangles);
void CountSkippedDraw();

// Virtual clock control for tests: with a clock step configured, Milliseconds
// returns this value; it starts at 10000 ms and advances by the step per frame.
void SetVirtualTime(std::uint32_t ms);

// Test hook: replace the clock behind Milliseconds (null restores the default).
void SetClockOverride(std::function<std::uint32_t()> clock);

// Called by the graphics layer at each Present with a reader for the frame
// just presented, so that configured screenshots can be taken.
using FrameReader = std::function<bool(std::vector<std::uint8_t>& rgb, int& width, int& height)>;
void OnPresent(const FrameReader& reader);

// A consumer of every presented frame (quorvel-run's video and progress
// line). It is called after the frame's screenshots with the frame's index
// and the reader the screenshots read through, so the picture it reads is the
// one a screenshot of that frame holds; it reads only when it needs the
// picture. False ends the run: at the next loop iteration the window is
// closed as the frame limit closes it. Reset() removes the sink.
using FrameSink = std::function<bool(int frame, const FrameReader& reader)>;
void SetFrameSink(FrameSink sink);

// Writes 8-bit RGB rows (top row first) as a PNG file; false on failure.
bool WritePngRGB(const std::string& path, const std::uint8_t* rgb, int width, int height);

}  // namespace qv::host
