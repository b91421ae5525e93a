// Recording live reads as a script: what each frame's block holds, that the
// script replays the same reads and clock, and files that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/dinput8/dinput8_record.h"
#include "platform/dinput8/dinput8_script.h"
#include "platform/host/host.h"

namespace {

// A window the host sees while `s_windowOpen` holds (the window layer's hook).
bool s_windowOpen = false;
SDL_Window* FakeWindow() { return s_windowOpen ? reinterpret_cast<SDL_Window*>(&s_windowOpen) : nullptr; }

class InputRecording : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::host::Reset();
    qv::host::SetWindowHooks({FakeWindow, nullptr, nullptr});
    s_windowOpen = true;
    qv::host::Config config;
    config.epoch = 1000000000;  // what the recording takes as the start-up's time
    qv::host::Configure(config);
    qv::host::SetClockOverride([this] { return m_clock; });
  }
  void TearDown() override { qv::host::Reset(); }

  std::string Path(const char* name) const { return ::testing::TempDir() + "/" + name; }

  std::uint32_t m_clock = 0;
};

std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// Frames as the live devices read them; the window closes in the last one.
struct Frame {
  std::uint32_t clock;
  std::vector<int> keys;  // DIK_ codes down
  LONG dx, dy, dz;
  std::vector<int> buttons;  // buttons down
  bool focus;
  bool read;  // whether the devices were read at all
};

TEST_F(InputRecording, WritesWhatEachFrameReadAndReplaysTheSame) {
  const Frame frames[] = {
      {4294967290u, {0x19}, 3, -2, 0, {0}, true, true},
      {4, {0x19, 0x01}, 0, 0, 0, {0}, false, true},  // the clock wrapped: a step of 10
      {14, {}, 0, 0, -120, {}, false, true},         // the same step: no clock line
      {104, {0x19}, 0, 0, 0, {}, true, false},       // nothing read; the window closes
  };
  const std::string path = Path("recorded.input");
  std::string error;
  ASSERT_TRUE(qv::dinput8::StartRecording(path, &error)) << error;
  EXPECT_EQ(std::time(nullptr), 1000000000);
  BYTE startupKeys[256] = {};
  startupKeys[0x1C] = 0x80;
  qv::dinput8::RecordKeys(startupKeys);  // before frame 0: not a frame's read
  for (int f = 0; f < 4; ++f) {
    m_clock = frames[f].clock;
    qv::host::BeginLoopIteration();
    m_clock += 5;  // the clock runs on; the frame holds its reading
    EXPECT_EQ(qv::host::Milliseconds(), frames[f].clock);
    if (f == 0) {
      EXPECT_GT(std::time(nullptr), 1700000000) << "the epoch holds for the start-up only";
    }
    if (!frames[f].read) continue;
    BYTE keys[256] = {}, buttons[8] = {};
    for (int k : frames[f].keys) keys[k] = 0x80;
    for (int b : frames[f].buttons) buttons[b] = 0x80;
    qv::dinput8::RecordKeys(keys);
    qv::dinput8::RecordMouse(frames[f].dx, frames[f].dy, frames[f].dz, buttons);
    qv::dinput8::RecordFocus(frames[f].focus);
  }
  s_windowOpen = false;
  qv::host::BeginLoopIteration();  // the iteration that takes the quit message
  ASSERT_TRUE(qv::dinput8::FinishRecording());

  const std::string text = ReadFile(path);
  const std::size_t body = text.find("epoch ");
  ASSERT_NE(body, std::string::npos) << text;
  EXPECT_EQ(text.substr(body),
            "epoch 1000000000\n"
            "clock-start 4294967290\n"
            "0 key 0x19 down  # P\n"
            "0 move 3 -2\n"
            "0 button 0 down  # left\n"
            "1 clock 10\n"
            "1 key 0x01 down  # Escape\n"
            "1 focus out\n"
            "2 key 0x01 up  # Escape\n"
            "2 key 0x19 up  # P\n"
            "2 move 0 0 -120\n"
            "2 button 0 up  # left\n"
            "3 clock 90\n"
            "3 close\n"
            "# the run ended after 4 frames\n");

  // The replay's clock reads what the live one did (across its wrap, and
  // through frame 2, which has no clock line); the script configures it.
  std::vector<qv::dinput8::ScriptError> errors;
  const std::vector<qv::dinput8::ScriptEvent> events = qv::dinput8::ParseInputScript(text, errors);
  ASSERT_TRUE(errors.empty()) << errors[0].message;
  qv::host::Reset();
  qv::host::Config config;
  qv::dinput8::ConfigureHostFromScript(events, config);
  EXPECT_EQ(std::make_pair(config.epoch, config.max_frames), std::make_pair(1000000000LL, 4));
  qv::host::Configure(config);
  for (int f = 0; f < 4; ++f) {
    qv::host::BeginLoopIteration();
    EXPECT_EQ(qv::host::Milliseconds(), frames[f].clock) << f;
  }
}

// A file that cannot be created or written is refused before the run; one
// that fails during the run is said once, and the recording then fails.
TEST_F(InputRecording, AFileThatCannotBeWrittenIsSaidOnce) {
  std::string error;
  EXPECT_FALSE(qv::dinput8::StartRecording("/dev/full", &error));
  EXPECT_EQ(error, "cannot write the recording /dev/full: No space left on device");
  EXPECT_TRUE(qv::dinput8::FinishRecording()) << "no recording runs";

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  std::signal(SIGPIPE, SIG_IGN);
  const std::string path = "/proc/self/fd/" + std::to_string(pipeFds[1]);
  ASSERT_TRUE(qv::dinput8::StartRecording(path, &error)) << error;
  ::testing::internal::CaptureStderr();
  for (int f = 0; f < 5; ++f) {
    if (f == 2) ::close(pipeFds[0]);  // nobody reads from frame 1's block on
    m_clock += 10;
    qv::host::BeginLoopIteration();
    const BYTE buttons[8] = {};
    qv::dinput8::RecordMouse(1, 0, 0, buttons);
  }
  EXPECT_FALSE(qv::dinput8::FinishRecording());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "recording '" + path + "': cannot be written (Broken pipe); frames from 1 on are not in it\n");
  ::close(pipeFds[1]);
}

}  // namespace
