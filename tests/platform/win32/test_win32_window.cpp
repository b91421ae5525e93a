// The window and its message queue, on SDL's offscreen driver.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/host/host.h"

namespace {

std::vector<UINT> s_seen;  // messages that reached the window procedure

LRESULT TestProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  s_seen.push_back(message);
  switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_KEYDOWN: return 0;
    default: return DefWindowProcA(hWnd, message, wParam, lParam);
  }
}

ATOM RegisterTestClass(const char* name) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = TestProc;
  wc.lpszClassName = name;
  return RegisterClassExA(&wc);
}

void PushKey(Uint32 type, SDL_Keycode sym, SDL_Scancode sc, Uint16 mod = 0, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = sc;
  e.key.keysym.mod = mod;
  e.key.repeat = repeat;
  SDL_PushEvent(&e);
}

void ConfigureHiddenScripted() {
  qv::host::Config config;
  config.scripted = true;
  config.visible_window = false;
  qv::host::Configure(config);
}

std::vector<UINT> Messages(const std::vector<MSG>& taken) {
  std::vector<UINT> m;
  for (const MSG& msg : taken) m.push_back(msg.message);
  return m;
}

// SIGTERM and SIGINT, even before the window exists, become a close request
// at the next message pump instead of ending the process. Run in a child
// process, first in this program, so that nothing has started SDL before.
TEST(Win32Signals, TermAndIntBecomeACloseRequest) {
  for (int sig : {SIGTERM, SIGINT}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ConfigureHiddenScripted();
      if (!RegisterTestClass("signal class")) _exit(2);
      raise(sig);
      if (!CreateWindowExA(0, "signal class", "test", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr,
                           nullptr))
        _exit(3);
      MSG msg;
      bool closed = false;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) {
        closed |= msg.message == WM_CLOSE;
        DispatchMessageA(&msg);
      }
      _exit(closed && msg.message == WM_QUIT ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << sig << " status " << status;
  }
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::host::Reset();
    ConfigureHiddenScripted();
    s_seen.clear();
    ASSERT_NE(RegisterTestClass("test class"), 0);
    hWnd = CreateWindowExA(0, "test class", "test", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr, nullptr,
                           nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
  }
  void TearDown() override { qv::host::Reset(); }

  // Takes every message the loop would take now, dispatching each.
  std::vector<MSG> Drain() {
    std::vector<MSG> taken;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      taken.push_back(msg);
      if (msg.message == WM_QUIT) break;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return taken;
  }

  HWND hWnd = nullptr;
};

TEST_F(Win32Window, ClassAndWindowBasics) {
  EXPECT_EQ(RegisterTestClass("test class"), 0) << "a class is registered once";
  EXPECT_EQ(
      CreateWindowExA(0, "no such class", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(s_seen.front(), WM_CREATE);
  EXPECT_NE(qv::host::Window(), nullptr);
  int w = 0, h = 0;
  SDL_GetWindowSize(qv::host::Window(), &w, &h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(1024, 768));
  EXPECT_TRUE(IsWindow(hWnd));
  EXPECT_FALSE(UnregisterClassA("test class", nullptr)) << "a class with a window stays";
  EXPECT_TRUE(DestroyWindow(hWnd));
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_TRUE(UnregisterClassA("test class", nullptr));
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
}

TEST_F(Win32Window, QuitComesAfterMessagesAlreadyPosted) {
  PostMessageA(hWnd, WM_USER + 1, 0, 0);
  PostMessageA(hWnd, WM_USER + 2, 0, 0);
  PostQuitMessage(7);
  PostMessageA(hWnd, WM_USER + 3, 0, 0);
  const std::vector<MSG> taken = Drain();
  EXPECT_EQ(Messages(taken), (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_QUIT}));
  EXPECT_EQ(taken.back().wParam, 7u);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit message is taken once";
}

TEST_F(Win32Window, CloseRequestDestroysTheWindow) {
  // A window-manager close arrives as an SDL window event.
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  e.window.windowID = SDL_GetWindowID(qv::host::Window());
  SDL_PushEvent(&e);
  const std::vector<MSG> taken = Drain();
  EXPECT_EQ(Messages(taken), (std::vector<UINT>{WM_CLOSE, WM_QUIT}));
  EXPECT_EQ(taken.back().wParam, 0u);
  EXPECT_NE(std::find(s_seen.begin(), s_seen.end(), WM_DESTROY), s_seen.end());
  EXPECT_FALSE(IsWindow(hWnd));
}

// F4 alone stops at the window procedure; with Alt the default procedure
// turns it into a close.
TEST_F(Win32Window, AltF4GoesThroughTheDefaultProcedure) {
  PushKey(SDL_KEYDOWN, SDLK_F4, SDL_SCANCODE_F4);
  EXPECT_EQ(Messages(Drain()), std::vector<UINT>{WM_KEYDOWN});
  EXPECT_TRUE(IsWindow(hWnd)) << "F4 without Alt closes nothing";
  s_seen.clear();
  PushKey(SDL_KEYDOWN, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT);
  const std::vector<MSG> taken = Drain();
  ASSERT_GE(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, WM_SYSKEYDOWN);
  EXPECT_EQ(taken[0].wParam, VK_F4);
  EXPECT_EQ(taken.back().message, WM_QUIT);
  EXPECT_EQ(s_seen, (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
}

// Auto-repeats of a held key wait as one key-down whose repeat count grows;
// a release ends that press, and the close request keeps its place.
TEST_F(Win32Window, KeyRepeatsMergeIntoOnePendingKeyDown) {
  // A press (or release) followed by `repeats` auto-repeats of the same key.
  auto key = [](Uint32 type, SDL_Keycode sym, SDL_Scancode sc, bool press, int repeats) {
    for (int i = press ? 0 : 1; i <= repeats; ++i) PushKey(type, sym, sc, 0, i > 0);
  };
  key(SDL_KEYDOWN, SDLK_RIGHT, SDL_SCANCODE_RIGHT, true, 50);
  key(SDL_KEYDOWN, SDLK_p, SDL_SCANCODE_P, true, 0);
  key(SDL_KEYDOWN, SDLK_RIGHT, SDL_SCANCODE_RIGHT, false, 2);  // still held behind the P
  key(SDL_KEYUP, SDLK_RIGHT, SDL_SCANCODE_RIGHT, true, 0);
  key(SDL_KEYDOWN, SDLK_RIGHT, SDL_SCANCODE_RIGHT, true, 2);  // pressed again
  SDL_Event close{};
  close.type = SDL_QUIT;
  SDL_PushEvent(&close);
  const std::vector<MSG> taken = Drain();
  struct Want {
    UINT message;
    WPARAM key;
    LPARAM count;
  } want[] = {{WM_KEYDOWN, VK_RIGHT, 53}, {WM_KEYDOWN, 'P', 1}, {WM_KEYUP, VK_RIGHT, 1},
              {WM_KEYDOWN, VK_RIGHT, 3},  {WM_CLOSE, 0, 0},     {WM_QUIT, 0, 0}};
  ASSERT_EQ(taken.size(), std::size(want));
  for (std::size_t i = 0; i < taken.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(taken[i].message, want[i].message);
    EXPECT_EQ(taken[i].wParam, want[i].key);
    if (want[i].count) {
      EXPECT_EQ(taken[i].lParam & 0xFFFF, want[i].count);
    }
  }
  EXPECT_EQ(taken[0].lParam & (1 << 30), 0) << "the first press was not down before";
}

TEST_F(Win32Window, FrameLimitClosesTheWindowInTime) {
  qv::host::Config config = qv::host::GetConfig();
  config.max_frames = 3;
  config.clock_step_ms = 20;
  qv::host::Configure(config);
  int frames = 0;
  std::vector<DWORD> clock;
  MSG msg;
  for (;;) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) break;
      DispatchMessageA(&msg);
    }
    clock.push_back(timeGetTime());
    ++frames;
    ASSERT_LT(frames, 100) << "the loop never ended";
  }
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(qv::host::GetStats().frames, 3u);
  EXPECT_EQ(clock, (std::vector<DWORD>{10000, 10020, 10040}));
}

}  // namespace
