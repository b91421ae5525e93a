// Live host under a real X server: a visible window, a DIWrapper, and real
// key and mouse events sent with xdotool; the presented picture as the
// screen shows it. Run by input_live_test.sh, which starts Xvfb (and a window
// manager when asked); not a test of its own without a display.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "input/di_wrapper.h"
#include "log/log_file.h"
#include "platform/win32/win32.h"
#include "platform/d3d8/d3d8.h"
#include "platform/host/host.h"
#include "testing/temp_log.h"
#include "tools/headless/headless_device.h"
#include "view/camera.h"

namespace {

bool s_destroyed = false;  // the probe window got WM_DESTROY

LRESULT CALLBACK ProbeProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) s_destroyed = true;
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// Runs frames (one PeekMessageA and one Update each) until done() or the
// time is up; true when done() became true.
bool RunFramesUntil(DIWrapper& di, const std::function<bool()>& done, int timeoutMs = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    di.Update();
    if (done()) return true;
    usleep(10000);
  }
  return false;
}

// Runs frames for `ms` milliseconds.
void RunFrames(DIWrapper& di, int ms) {
  RunFramesUntil(
      di, [] { return false; }, ms);
}

// A visible pop-up window of class `name` titled `title`, on a freshly
// configured live host.
HWND ProbeWindow(const char* name, const char* title, int width, int height) {
  qv::host::Reset();
  qv::host::Configure(qv::host::Config{});  // live, visible
  s_destroyed = false;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ProbeProc;
  wc.lpszClassName = name;
  if (RegisterClassExA(&wc) == 0) return nullptr;
  return CreateWindowExA(0, name, title, WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                         nullptr, nullptr);
}

// A search walks the window tree; a window the window manager destroys
// meanwhile makes xdotool fail with BadWindow, so a failed command is tried
// again a few times. One that waits (--sync) for what never comes fails.
void Xdotool(const std::string& args) {
  const std::string command = "timeout 30 xdotool " + args;
  int status = -1;
  for (int attempt = 0; attempt < 5 && status != 0 && status != (124 << 8); ++attempt) {
    if (attempt > 0) usleep(100000);
    status = std::system(command.c_str());
  }
  ASSERT_EQ(status, 0) << command;
}

// Another program's window in front of ours: xlogo, started and given the
// focus; it ends with the object.
class OtherProgram {
 public:
  OtherProgram() {
    if (std::system("xlogo -geometry 200x200+900+0 & echo $! > xlogo.pid") != 0) return;
    std::ifstream("xlogo.pid") >> m_Pid;
    Focus();
  }
  ~OtherProgram() {
    if (m_Pid > 0) kill(m_Pid, SIGTERM);
  }
  static void Focus() { Xdotool("search --sync --class xlogo windowraise windowfocus --sync"); }
  int m_Pid = 0;
};

// The screen as a person sees it: 8-bit RGB rows from `import -window root`.
struct Screen {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  std::uint32_t At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return (std::uint32_t(rgb[i]) << 16) | (std::uint32_t(rgb[i + 1]) << 8) | rgb[i + 2];
  }
};
bool CaptureScreen(Screen& screen) {
  if (std::system("import -window root -depth 8 screen.ppm") != 0) return false;
  std::ifstream in("screen.ppm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> screen.width >> screen.height >> maxValue;
  in.get();
  if (magic != "P6" || maxValue != 255 || screen.width <= 0 || screen.height <= 0) return false;
  screen.rgb.resize(static_cast<std::size_t>(screen.width) * screen.height * 3);
  in.read(reinterpret_cast<char*>(screen.rgb.data()), static_cast<std::streamsize>(screen.rgb.size()));
  return static_cast<bool>(in);
}

class LiveInput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    m_Log = std::make_unique<qv::test::TempLog>();
    ASSERT_TRUE(m_Log->Ok());
    m_hWnd = ProbeWindow("Quorvel input probe", "quorvel-input-probe", 640, 480);
    ASSERT_NE(m_hWnd, nullptr);
    // The input object is made right after the window, as the program
    // does: the new window must get the focus without help.
    m_Input = new DIWrapper(&m_hWnd, &m_hInstance);
    m_Input->SetScreen(1024, 768);
  }
  void TearDown() override {
    delete m_Input;
    m_Input = nullptr;
    if (m_hWnd) DestroyWindow(m_hWnd);
    UnregisterClassA("Quorvel input probe", m_hInstance);
    m_Log.reset();
    qv::host::Reset();
  }

  std::string LogText() const { return m_Log->Text(); }

  std::unique_ptr<qv::test::TempLog> m_Log;  // also the working folder
  HWND m_hWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;
  DIWrapper* m_Input = nullptr;
};

}  // namespace

// The 1024 x 768 frame is shown whole: the full-screen window covers the
// screen, of any size, with or without a window manager to carry out the
// request, and the frame is scaled to it keeping 4:3 with black bars, centred. The frame is blue with a
// red top-left and a green bottom-right corner. First in the program: the
// full-screen request meets a fresh SDL, as the viewer's does.
TEST(LivePresent, TheWholeFrameFillsTheWindowLetterboxed) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  qv::test::TempLog log;  // also the working folder
  ASSERT_TRUE(log.Ok());
  HWND hWnd = ProbeWindow("Quorvel present probe", "quorvel-present-probe", 1024, 768);
  ASSERT_NE(hWnd, nullptr);
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DPRESENT_PARAMETERS pp = qv::headless::SystemPresentParameters();  // full screen
  pp.hDeviceWindow = hWnd;
  IDirect3DDevice8* dev = nullptr;
  ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                              &pp, &dev),
            D3D_OK);
  const D3DRECT topLeft = {0, 0, 64, 48}, bottomRight = {960, 720, 1024, 768};
  for (int i = 0; i < 40; ++i) {  // time for a window manager to act
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0);
    dev->Clear(1, &topLeft, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0);
    dev->Clear(1, &bottomRight, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    usleep(25000);
  }
  Screen screen;
  ASSERT_TRUE(CaptureScreen(screen));
  // The window's real place, as the X server has it.
  ASSERT_EQ(std::system("xdotool search --name quorvel-present-probe getwindowgeometry --shell > geometry"),
            0);
  int gx = -1, gy = -1, gw = 0, gh = 0;
  if (FILE* f = std::fopen("geometry", "r")) {
    EXPECT_EQ(std::fscanf(f, "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &gx, &gy, &gw, &gh), 4);
    std::fclose(f);
  }
  ASSERT_GT(gw, 0);
  std::printf("screen %dx%d, window %dx%d at %d,%d\n", screen.width, screen.height, gw, gh, gx, gy);
  EXPECT_EQ(std::vector<int>({gx, gy, gw, gh}), std::vector<int>({0, 0, screen.width, screen.height}))
      << "the full-screen window covers the screen, with or without a window manager";
  int dw = gw, dh = gw * 3 / 4;
  if (dh > gh) dh = gh, dw = gh * 4 / 3;
  const int dx = gx + (gw - dw) / 2, dy = gy + (gh - dh) / 2;
  // The picture is what is not black; its edges to within 2 pixels.
  int x0 = screen.width, y0 = screen.height, x1 = -1, y1 = -1;
  for (int y = 0; y < screen.height; ++y)
    for (int x = 0; x < screen.width; ++x)
      if (screen.At(x, y) != 0)
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  EXPECT_NEAR(x0, dx, 2);
  EXPECT_NEAR(y0, dy, 2);
  EXPECT_NEAR(x1 + 1, dx + dw, 2);
  EXPECT_NEAR(y1 + 1, dy + dh, 2);
  const int cx = dw / 16, cy = dh / 16;  // inside the corner squares
  EXPECT_EQ(screen.At(dx + cx / 2, dy + cy / 2), 0xFF0000u) << "top-left corner";
  EXPECT_EQ(screen.At(dx + dw - cx / 2, dy + dh - cy / 2), 0x00FF00u) << "bottom-right corner";
  EXPECT_EQ(screen.At(dx + dw / 2, dy + dh / 2), 0x0000FFu) << "middle";
  dev->Release();
  d3d->Release();
  DestroyWindow(hWnd);
  UnregisterClassA("Quorvel present probe", nullptr);
  qv::host::Reset();
}

TEST_F(LiveInput, RealMouseMovesTheCursorUntilAnotherWindowComesInFront) {
  DIWrapper& di = *m_Input;
  ASSERT_NE(m_Input->m_pKeyboard, nullptr);
  ASSERT_NE(m_Input->m_pMouse, nullptr);
  RunFrames(di, 300);  // the first frames settle focus; then nothing fails
  ASSERT_EQ(g_pLog->ErrorCount(), 0u) << LogText();
  const int x0 = di.GetX(), y0 = di.GetY();
  Xdotool("mousemove_relative -- 40 30");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.GetX() > x0 && di.GetY() > y0; }))
      << "cursor stayed at " << di.GetX() << "," << di.GetY();
  const int x1 = di.GetX();
  Xdotool("mousemove_relative -- -60 0");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.GetX() < x1; }));

  Xdotool("mousedown 1");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsButtonDown(0); }));
  Xdotool("mouseup 1");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsButtonUp(0); }));
  Xdotool("mousedown 3");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsButtonDown(1); })) << "X button 3 is the right button";
  Xdotool("mouseup 3");

  di.SetZ(50);
  Xdotool("click 4");  // wheel away from the user: one notch up
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.GetZ() == 74; })) << "wheel at " << di.GetZ();

  int x = 0;
  {
    OtherProgram xlogo;  // comes to the front
    ASSERT_GT(xlogo.m_Pid, 0);
    EXPECT_TRUE(RunFramesUntil(di, [&] { return !qv::host::WindowHasFocus(); }));
    x = di.GetX();
    Xdotool("keydown p");
    Xdotool("mousemove_relative -- 30 0");
    RunFrames(di, 300);
    Xdotool("keyup p");
    EXPECT_EQ(di.GetX(), x) << "the mouse is not ours while another window is in front";
    const std::string log = LogText();
    EXPECT_NE(log.find("Failed to Update the Mouse\n[<ERROR CODE>]:  -2147024866"), std::string::npos) << log;
    EXPECT_NE(log.find("Failed to Update the Mouse\n[<ERROR CODE>]:  -2147024884"), std::string::npos) << log;
    EXPECT_EQ(log.find("Keyboard"), std::string::npos) << "the keyboard reads on: " << log;
  }
  // Back in front: the mouse is re-acquired and moves the cursor again.
  Xdotool("search --sync --name quorvel-input-probe windowfocus --sync");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return qv::host::WindowHasFocus(); }));
  RunFrames(di, 100);
  Xdotool("mousemove_relative -- 30 0");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.GetX() > x; }));
}

// The keyboard is read in front and in the background: behind another program's window a
// held Escape is seen (the viewer quits on it), and a P held while the focus
// moves away is not taken as released (the viewer paints on release) until
// it is.
// clang-format off
TEST_F(LiveInput, KeysAreReadBehindAnotherProgramsWindow) {
  DIWrapper& di = *m_Input;
  Xdotool("keydown Left");  // first in front
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsKeyDown(DIK_LEFT); }));
  Xdotool("keyup Left");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return !di.IsKeyDown(DIK_LEFT); }));
  Xdotool("keydown p");
  ASSERT_TRUE(RunFramesUntil(di, [&] { return di.IsKeyDown(DIK_P) && !di.KeyReleased(DIK_P); }));
  bool releasedEarly = false;
  auto watchP = [&] { releasedEarly = releasedEarly || di.KeyReleased(DIK_P); };
  OtherProgram xlogo;
  ASSERT_GT(xlogo.m_Pid, 0);
  EXPECT_TRUE(RunFramesUntil(di, [&] { watchP(); return !qv::host::WindowHasFocus(); }));
  RunFramesUntil(di, [&] { watchP(); return false; }, 300);
  EXPECT_FALSE(releasedEarly) << "P was read as released while it was held";
  Xdotool("keyup p");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.KeyReleased(DIK_P); }));

  ASSERT_FALSE(qv::host::WindowHasFocus()) << "xlogo has the focus";
  Xdotool("keydown Escape");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsKeyDown(DIK_ESCAPE); })) << "Escape behind xlogo";
  Xdotool("keyup Escape");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return !di.IsKeyDown(DIK_ESCAPE); }));
}
// clang-format on

// Frames slowed to about ten a second, one message taken per frame as the
// viewer's loop does, and a key held for three seconds (the X server repeats
// it about 25 times a second): a close request is still taken within two
// frames, since the repeats wait as one message.
TEST_F(LiveInput, HeldKeyRepeatsDoNotDelayACloseRequest) {
  int frame = 0;
  int keyDowns = 0;
  LPARAM repeats = 0;
  auto slowFrame = [&] {
    MSG msg{};
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_KEYDOWN && msg.wParam == VK_RIGHT) ++keyDowns, repeats += msg.lParam & 0xFFFF;
      DispatchMessageA(&msg);
    }
    m_Input->Update();
    usleep(100000);
    ++frame;
  };
  Xdotool("keydown Right");
  while (frame < 30) slowFrame();
  const int closeAt = frame;
  kill(getpid(), SIGTERM);  // a close request: SDL makes it a quit event
  while (!s_destroyed && frame < closeAt + 100) slowFrame();
  Xdotool("keyup Right");
  EXPECT_TRUE(s_destroyed);
  EXPECT_LE(frame - closeAt, 2) << "the close request waited " << frame - closeAt << " frames";
  EXPECT_GT(repeats, keyDowns) << "the held key was repeated, and the repeats were counted";
}

// The viewer itself, with taps that fall between two of its frames: the frame
// hook runs each xdotool command to its end before the frame pumps its events
// and reads its input, so the press and the release both happen while the
// viewer waits, as they do at a few frames a second. A tap reads as held in
// one read: a quick click moves the camera in exactly one frame; a 10 ms P
// tap paints once, in front and behind another program's window; a 10 ms
// Escape tap behind it ends the run.
TEST(LiveViewer, TapsBetweenTwoFramesAreSeen) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  qv::test::TempDir dir;
  ASSERT_EQ(std::system(QUORVEL_MAKEDATA_BIN " . > /dev/null"), 0);
  qv::host::Reset();
  qv::host::Configure(qv::host::Config{});
  const char* steps[] = {"click 1", "keydown p sleep 0.01 keyup p", nullptr, "keydown p sleep 0.01 keyup p",
                         "keydown Escape sleep 0.01 keyup Escape"};
  std::unique_ptr<OtherProgram> xlogo;
  std::vector<float> cameraZ;  // at the start of each frame
  int step = 0, escapeFrame = -1;
  bool focusAtEscape = true;
  qv::host::SetFrameHook([&](int frame) {
    float x = 0, y = 0, z = 0;
    g_Camera.GetPosition(&x, &y, &z);
    cameraZ.push_back(z);
    if (escapeFrame >= 0 && frame == escapeFrame + 10) kill(getpid(), SIGTERM);  // a lost tap: close
    if (frame < 6 || frame % 3 != 0 || step >= static_cast<int>(std::size(steps))) return;
    if (steps[step])
      Xdotool(steps[step]);
    else
      xlogo = std::make_unique<OtherProgram>();  // takes the focus
    if (++step == static_cast<int>(std::size(steps))) {
      escapeFrame = frame;
      focusAtEscape = qv::host::WindowHasFocus();
    }
  });
  char commandLine[] = "";
  EXPECT_EQ(WinMain(nullptr, nullptr, commandLine, SW_SHOWNORMAL), 0);
  const int lastFrame = qv::host::FrameIndex();
  qv::host::Reset();
  ASSERT_GE(escapeFrame, 0);
  EXPECT_FALSE(focusAtEscape) << "xlogo has the focus";
  EXPECT_LE(lastFrame, escapeFrame + 2) << "the Escape tap did not end the run";
  int moves = 0;
  for (std::size_t f = 1; f < cameraZ.size(); ++f) moves += cameraZ[f] != cameraZ[f - 1];
  EXPECT_EQ(moves, 1) << "frames in which the click moved the camera";
  std::ifstream in(LogFile::LastFileName());
  int paints = 0;
  for (std::string line; std::getline(in, line);)
    paints +=
        line.find("Painting") != std::string::npos || line.find("Couldn't find Patch") != std::string::npos;
  EXPECT_EQ(paints, 2) << "two P taps, each painting once";
}
