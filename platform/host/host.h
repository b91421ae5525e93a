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
  std::string path;  // PNG or JPEG file, as its extension says (ShotFormatOf)
};

// The file formats a shot is written in, chosen by the name's extension
// (either case): ".png" PNG, ".jpg" and ".jpeg" JPEG; anything else Unknown.
enum class ShotFormat { Unknown, Png, Jpeg };
ShotFormat ShotFormatOf(const std::string& path);

// From `frame` on, the virtual clock advances `ms` a frame.
struct ClockStep {
  int frame = 0;
  std::uint32_t ms = 0;
};

struct Config {
  bool scripted = false;       // offscreen driver and scripted input
  bool visible_window = true;  // a real window (live host, or quorvel-run --window)
  int clock_step_ms = 0;       // > 0: virtual clock advancing this much per frame
  // A virtual clock driven by a recorded run's script: its reading in frame 0
  // (>= 0; default 10000) and its steps, in frame order (before the first
  // one, clock_step_ms). Either one makes the clock virtual.
  long long clock_start = -1;
  std::vector<ClockStep> clock_steps;
  // The clock is read once as each loop iteration begins and keeps that
  // reading through the iteration, so that what the system sees in a frame
  // is one value a recording can hold (from frame 0 on).
  bool hold_clock = false;
  int max_frames = -1;       // >= 0: the window is closed after this many frames
  std::string input_script;  // scripted input file ("" = none)
  std::vector<Shot> shots;   // screenshots to take at Present
  long long epoch = -1;      // >= 0: the calendar time time() returns, seconds since 1970
  // The epoch holds for the start-up only, the real calendar time from frame
  // 0 on: a recorded run's start-up all sees the one time its script gives.
  bool epoch_until_loop = false;
  // Live host: > 0 x > 0 makes the window a normal, resizable one of this
  // size where the system asks for full screen (quorvel --window).
  int window_width = 0;
  int window_height = 0;
};

// Set before WinMain runs; Reset() returns everything to the live defaults
// and has the window layer forget its windows and messages.
void Configure(const Config& config);
const Config& GetConfig();
void Reset();

// Whether the configuration's clock is a virtual one (a step or a script's).
bool VirtualClock(const Config& config);

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

// Called as each loop iteration begins, after the clock is stepped or read
// and before the frame's events are pumped, with the frame index (the input
// recording's hook; null: none). Reset clears it.
void SetFrameStartHook(std::function<void(int frame)> hook);

// Called once, as the first loop iteration begins: the system's start-up is
// over by then, and a program can read back what it logged. Reset clears it.
void SetStartupOverHook(std::function<void()> hook);

// The millisecond clock behind timeGetTime: the test override if set, else the
// virtual clock if one is configured, else the time since boot; with
// Config::hold_clock, that clock as read when the loop iteration began.
std::uint32_t Milliseconds();

// The SDL window behind the one HWND (null when none exists). It is created
// with SDL_WINDOW_OPENGL so the graphics layer can attach a context.
SDL_Window* Window();
bool WindowHasFocus();

// The size in pixels of a window's drawable as the window system has it now,
// which is not always what was asked for (a full-screen request that no
// window manager honoured); 0 x 0 for no window.
void WindowPixelSize(SDL_Window* window, int& width, int& height);

// The keyboard of the whole display, whichever window (of any program) has
// the focus, as Linux input key codes (bit n % 8 of [n / 8] for code n):
// `held` the keys down now, `pressed` those that went down since the
// previous call, so that a key pressed and let go between two calls is seen.
// False where the window system offers no such state (Wayland, the offscreen
// driver, an X server with another key numbering).
bool GlobalKeyState(std::uint8_t held[32], std::uint8_t pressed[32]);

// Carries out the host's choice of window, each time events are pumped: a
// window the system made full screen covers the whole screen it is on, also
// where no window manager does it; with Config::window_width set it goes back
// to a normal window instead.
void PlaceWindow();

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
  // Of the frame in progress only, from the start of its loop iteration:
  // complete when it is presented (what the readout shows).
  std::uint64_t frame_draws = 0;
  std::uint64_t frame_triangles = 0;
};
Stats& GetStats();
void CountDraw(std::uint64_t triangles);
void CountSkippedDraw();

// Virtual clock control for tests: with a clock step configured, Milliseconds
// returns this value; it starts at 10000 ms and advances by the step per frame.
void SetVirtualTime(std::uint32_t ms);

// Test hook: replace the clock behind Milliseconds (null restores the default).
void SetClockOverride(std::function<std::uint32_t()> clock);

// Test hook: called at the start of each loop iteration with its frame index,
// before the frame's events are pumped (null: none). Reset clears it.
void SetFrameHook(std::function<void(int frame)> hook);

// Called by the graphics layer at each Present with a reader for the frame
// just presented, so that configured screenshots can be taken.
using FrameReader = std::function<bool(std::vector<std::uint8_t>& rgb, int& width, int& height)>;
void OnPresent(const FrameReader& reader);

// After the run: one sentence for each configured shot that is not on disk,
// saying why (the file could not be written, with the system's reason; the
// picture could not be read; the run ended before the shot's frame). Empty
// when every shot was written.
std::vector<std::string> ShotFailures();

// Write 8-bit RGB rows (top row first) as a PNG or a JPEG file; on failure
// false, with the reason (the C library's, where a file operation failed) in
// *error when it is not null.
bool WritePngRGB(const std::string& path, const std::uint8_t* rgb, int width, int height,
                 std::string* error = nullptr);
bool WriteJpegRGB(const std::string& path, const std::uint8_t* rgb, int width, int height,
                  std::string* error = nullptr);

// --- The readout over the picture (host_readout.cpp) ---
// One line of text that the programs put together (the host draws it without
// knowing what it says), over each presented frame while the readout is on,
// and under it a message line (where F12 saved a picture) that stays for two
// seconds of frame clock from the first frame that shows it, whether the
// readout is on or not. The text is drawn with SDL2_ttf in a monospaced font,
// light on an opaque dark box at the picture's top-left; with no font found
// it is said once and nothing is drawn.
using ReadoutSource = std::function<std::string()>;
// Called once per presented frame, whether the readout is shown or not (so
// that what it measures over time is up to date when it is switched on).
void SetReadoutSource(ReadoutSource source);
void SetReadoutOn(bool on);
bool ReadoutOn();
void ShowReadoutMessage(const std::string& text);
// The text of the last readout the source gave ("" before the first).
std::string LastReadoutText();
// Saves the next presented picture as "Shot_<frame>_<date>-<time>.png" (the
// local time) in the working directory, and says where in the message line,
// or why not (also on standard error).
void RequestShot();
// The live viewer's keys, as an event listener: F1 toggles the readout, F12
// requests a shot.
void EnableReadoutKeys();

// What the graphics layer draws over the frame it presents, before the window
// and the screenshots take it: RGBA rows, top row first, placed with its
// top-left corner at (x, y) from the picture's top-left.
struct OverlayImage {
  const std::uint8_t* rgba = nullptr;
  int width = 0, height = 0;
  int x = 0, y = 0;
};
// Once per Present; false when there is nothing to draw (the picture is then
// left exactly as the system drew it). The pixels stay valid until the next call.
bool FrameOverlay(OverlayImage& image);
// Called by OnPresent: the picture F12 asked for, if it did. The reader is
// OnPresent's, which has already checked the picture's size.
void SaveRequestedShot(const FrameReader& reader);
// Part of Reset(): readout off, no source, no keys, the font closed.
void ResetReadout();

// A consumer of every presented frame (quorvel-run's video and progress
// line). It is called after the frame's screenshots with the frame's index
// and the reader the screenshots read through, so the picture it reads is the
// one a screenshot of that frame holds; it reads only when it needs the
// picture. False ends the run: at the next loop iteration the window is
// closed as the frame limit closes it. Reset() removes the sink.
using FrameSink = std::function<bool(int frame, const FrameReader& reader)>;
void SetFrameSink(FrameSink sink);

}  // namespace qv::host
