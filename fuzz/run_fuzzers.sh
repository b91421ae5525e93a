#!/usr/bin/env bash
# Builds every libFuzzer harness (fuzz/fuzz_NAME.cpp) with clang in build-fuzz
# and runs each for a bounded time on a copy of its seed corpus
# (fuzz/corpus/NAME/). Exits nonzero when a harness reports a finding or the
# build fails.
#   QUORVEL_FUZZ_SECONDS  time per harness (default 30)
#   QUORVEL_FUZZ_BUILD    build folder (default <repo>/build-fuzz)
#   QUORVEL_FUZZ_JOBS     parallel build jobs (default 2)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVEL_FUZZ_BUILD:-$root/build-fuzz}
seconds=${QUORVEL_FUZZ_SECONDS:-30}
jobs=${QUORVEL_FUZZ_JOBS:-2}
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_FUZZ=ON -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF \
  -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" >/dev/null

names=()
for source in "$root"/fuzz/fuzz_*.cpp; do
  [ -e "$source" ] || continue
  names+=("$(basename "$source" .cpp)")
done
if [ ${#names[@]} -eq 0 ]; then
  echo "run_fuzzers: no harnesses" >&2
  exit 1
fi
cmake --build "$build" -j"$jobs" --target "${names[@]}"

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
status=0
for target in "${names[@]}"; do
  name=${target#fuzz_}
  work=$(mktemp -d)
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp -r "$root/fuzz/corpus/$name/." "$work/"
  fi
  dict=()
  if [ -f "$root/fuzz/$name.dict" ]; then
    dict=(-dict="$root/fuzz/$name.dict")
  fi
  echo "run_fuzzers: $target for ${seconds}s"
  if ! "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work"; then
    echo "run_fuzzers: $target reported a finding (see $artifacts)" >&2
    status=1
  fi
  rm -rf "$work"
done
exit $status
