#!/bin/sh
# The main flight's frame median with draw skipping against the median
# without, measured in pairs of runs on one machine. The two runs of a pair
# follow each other, and the order alternates from pair to pair, so that the
# machine's drift between runs falls on both sides alike. Each run starts
# from a fresh copy of the default data (seed 1).
# Usage: bench/flight/skip_ratio.sh [BUILD_DIR [PAIRS]]   (defaults: build, 8)
set -eu
build="${1:-build}"
pairs="${2:-8}"
# Headless unless the caller chose a video driver.
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}"
root=$(cd "$(dirname "$0")/../.." && pwd)
run="$build/tools/quorvel-run/quorvel-run"
makedata="$build/tools/quorvel-makedata/quorvel-makedata"
for program in "$run" "$makedata"; do
  [ -x "$program" ] || { echo "skip_ratio: $program not found; build first" >&2; exit 1; }
done
case "$pairs" in
'' | *[!0-9]* | 0) echo "skip_ratio: PAIRS must be a positive whole number" >&2; exit 1 ;;
esac

work=$(mktemp -d /tmp/quorvel_skip_ratio_XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM
"$makedata" "$work/data" --seed 1 >/dev/null

# One run of the flight; prints its frame median. $1: "skip" or "noskip".
median() {
  rm -rf "$work/run"
  cp -r "$work/data" "$work/run"
  # The device skips unless the variable is exactly 1.
  flag=0
  [ "$1" = noskip ] && flag=1
  QUORVEL_NO_DRAW_SKIP=$flag "$run" --dir "$work/run" --clock 51 --input "$root/scripts/flight.input" >"$work/out"
  value=$(sed -n 's/^frame_ms_median: //p' "$work/out")
  [ -n "$value" ] || { echo "skip_ratio: a run printed no frame median" >&2; exit 1; }
  echo "$value"
}

i=1
while [ "$i" -le "$pairs" ]; do
  if [ $((i % 2)) -eq 1 ]; then
    skip=$(median skip)
    noskip=$(median noskip)
  else
    noskip=$(median noskip)
    skip=$(median skip)
  fi
  ratio=$(awk -v a="$skip" -v b="$noskip" 'BEGIN { printf "%.3f", a / b }')
  echo "pair $i: skipping $skip ms, not skipping $noskip ms, ratio $ratio"
  echo "$ratio" >>"$work/ratios"
  i=$((i + 1))
done
sort -n "$work/ratios" | awk '{ r[NR] = $1 }
  END { m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
        printf "median ratio of %d pairs: %.3f (lowest %.3f, highest %.3f)\n", NR, m, r[1], r[NR] }'
