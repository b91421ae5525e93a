// The harnesses' invariant check: a broken one stops the fuzzer as a crash
// would, with the input saved.
#pragma once

inline void Check(bool ok) {
  if (!ok) __builtin_trap();
}
