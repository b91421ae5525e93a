// The thread's message queue, apart from the windows that read it: posted
// messages first, then WM_QUIT once PostQuitMessage was called, then input
// derived from SDL events. It needs no window system, so a program that only
// asks to quit (the log does on a fatal error) links none.
#pragma once

#include <deque>

#include "platform/win32/win32.h"

namespace qv::win32 {

struct MessageQueue {
  std::deque<MSG> posted;
  std::deque<MSG> input;
  bool quitPosted = false;
  int quitCode = 0;
};

MessageQueue& Queue();

}  // namespace qv::win32
