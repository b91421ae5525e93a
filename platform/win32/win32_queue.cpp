// The message queue's storage and PostQuitMessage; the window layer
// (win32_window.cpp) posts to it and hands its messages out.
#include "platform/win32/win32_queue.h"

namespace qv::win32 {

MessageQueue& Queue() {
  static MessageQueue queue;
  return queue;
}

}  // namespace qv::win32

void PostQuitMessage(int exitCode) {
  qv::win32::Queue().quitPosted = true;
  qv::win32::Queue().quitCode = exitCode;
}
