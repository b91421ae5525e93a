// Live host under a real X server: a visible window, a DIWrapper, and real
// key and mouse events sent with xdotool. Run by input_live_test.sh, which
// starts Xvfb; not a test of its own without a display.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <SDL.h>

#include "input/di_wrapper.h"
#include "log/log_file.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_host.h"
#include "testing/temp_log.h"

namespace {

std::string s_self;  // this program's path

LRESULT CALLBACK ProbeProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
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

void Xdotool(const std::string& args) {
  const std::string command = "xdotool " + args;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class LiveInput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    qv::host::Reset();
    qv::host::Config config;  // live, visible
    qv::host::Configure(config);
    m_Log = std::make_unique<qv::test::TempLog>();
    ASSERT_TRUE(m_Log->Ok());

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = "Quorvel input probe";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    m_hWnd = CreateWindowExA(0, wc.lpszClassName, "quorvel-input-probe", WS_POPUP | WS_VISIBLE, 0, 0,
                             640, 480, nullptr, nullptr, m_hInstance, nullptr);
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

TEST_F(LiveInput, OpensBothDevicesWithoutErrors) {
  ASSERT_NE(m_Input->m_pKeyboard, nullptr);
  ASSERT_NE(m_Input->m_pMouse, nullptr);
  // The first frames settle focus; then nothing fails.
  RunFramesUntil(*m_Input, [] { return false; }, 300);
  EXPECT_EQ(g_pLog->ErrorCount(), 0u) << LogText();
}

TEST_F(LiveInput, RealKeyPressesReachIsKeyDownAndKeyReleased) {
  DIWrapper& di = *m_Input;
  Xdotool("keydown p");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsKeyDown(DIK_P) && !di.KeyReleased(DIK_P); }));
  Xdotool("keyup p");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.KeyReleased(DIK_P); }));
  EXPECT_FALSE(di.IsKeyDown(DIK_P));

  Xdotool("keydown Escape");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsKeyDown(DIK_ESCAPE); }));
  Xdotool("keyup Escape");
  Xdotool("keydown Left");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.IsKeyDown(DIK_LEFT) && !di.IsKeyDown(DIK_ESCAPE); }));
  Xdotool("keyup Left");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return !di.IsKeyDown(DIK_LEFT); }));
}

TEST_F(LiveInput, RealMouseMotionButtonsAndWheelMoveTheCursor) {
  DIWrapper& di = *m_Input;
  RunFramesUntil(di, [] { return false; }, 200);
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
}

TEST_F(LiveInput, AnotherWindowInFrontTakesTheMouseButNotTheKeyboard) {
  DIWrapper& di = *m_Input;
  RunFramesUntil(di, [] { return false; }, 200);
  ASSERT_EQ(g_pLog->ErrorCount(), 0u) << LogText();
  // Another program's window comes to the front: this probe, started again.
  const std::string other = s_self + " --other-window & echo $! > other.pid";
  ASSERT_EQ(std::system(other.c_str()), 0);
  int otherPid = 0;
  std::ifstream(m_Log->Path("other.pid")) >> otherPid;
  ASSERT_GT(otherPid, 0);
  Xdotool("search --sync --name quorvel-input-other windowfocus --sync");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return !qv::host::WindowHasFocus(); }));
  const int x = di.GetX();
  Xdotool("keydown p");
  Xdotool("mousemove_relative -- 30 0");
  RunFramesUntil(di, [] { return false; }, 300);
  Xdotool("keyup p");
  EXPECT_EQ(di.GetX(), x) << "the mouse is not ours while another window is in front";
  const std::string log = LogText();
  EXPECT_NE(log.find("Failed to Update the Mouse\n[<ERROR CODE>]:  -2147024866"), std::string::npos) << log;
  EXPECT_NE(log.find("Failed to Update the Mouse\n[<ERROR CODE>]:  -2147024884"), std::string::npos) << log;
  EXPECT_EQ(log.find("Keyboard"), std::string::npos) << "the keyboard reads on: " << log;

  // Back in front: the mouse is re-acquired and moves the cursor again.
  kill(otherPid, SIGTERM);  // SDL turns it into a quit event
  Xdotool("search --sync --name quorvel-input-probe windowfocus --sync");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return qv::host::WindowHasFocus(); }));
  RunFramesUntil(di, [] { return false; }, 100);
  Xdotool("mousemove_relative -- 30 0");
  EXPECT_TRUE(RunFramesUntil(di, [&] { return di.GetX() > x; }));
}

// "--other-window": be another program with a window of its own, shown
// until it is closed (or 20 seconds pass).
int main(int argc, char** argv) {
  s_self = std::filesystem::absolute(argv[0]).string();  // the tests change folder
  if (argc > 1 && std::string(argv[1]) == "--other-window") {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* w = SDL_CreateWindow("quorvel-input-other", 700, 0, 200, 200, SDL_WINDOW_SHOWN);
    for (int i = 0; w && i < 2000; ++i) {
      SDL_Event e;
      bool quit = false;
      while (SDL_PollEvent(&e)) quit = quit || e.type == SDL_QUIT;
      if (quit) break;
      SDL_Delay(10);
    }
    SDL_Quit();
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
