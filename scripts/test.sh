#!/usr/bin/env bash
# Sets everything up and runs every test: the full suite through CTest, the
# tests that need no GL context again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzzers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
JOBS=${JOBS:-$(nproc)}
export SDL_VIDEODRIVER=offscreen

echo "== tests"
ctest --test-dir build --output-on-failure -j"$JOBS" --timeout 600

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (no GL context)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON -DQUORVEL_NOGL_ONLY=ON \
  -DQUORVEL_BENCH=OFF
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS" -L cpu --timeout 600

if [ -x fuzz/run_fuzzers.sh ]; then
  echo "== fuzzers"
  fuzz/run_fuzzers.sh
fi
echo "== all tests passed"
