// Preloaded into quorvel-run by tests that compare two whole runs: the
// calendar time, and with it the paint seed, stands still, so both runs paint
// the same strokes.
#include <ctime>

extern "C" std::time_t time(std::time_t* out) {
  constexpr std::time_t kFixed = 1700000000;
  if (out) *out = kFixed;
  return kFixed;
}
