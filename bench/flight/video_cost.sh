#!/usr/bin/env bash
# What writing the video costs the main flight: runs of the flight without
# and with --video, in pairs whose order alternates (so that the machine's
# drift falls on both sides alike), each from a fresh copy of the default
# data (seed 1). For each run: the processor time per frame (user + system,
# every thread: llvmpipe's and x264's included), the frame median, and for
# the video its size and video_ms_per_frame. At the end: the median extra
# processor time per frame the video takes against the median a frame takes
# without it.
# Usage: bench/flight/video_cost.sh [BUILD_DIR [PAIRS [FRAMES]]]   (defaults: build, 4, 396)
set -euo pipefail
build="${1:-build}"
pairs="${2:-4}"
frames="${3:-396}"
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}"
root=$(cd "$(dirname "$0")/../.." && pwd)
run="$build/tools/quorvel-run/quorvel-run"
makedata="$build/tools/quorvel-makedata/quorvel-makedata"
for program in "$run" "$makedata"; do
  [ -x "$program" ] || { echo "video_cost: $program not found; build first" >&2; exit 1; }
done
for n in "$pairs" "$frames"; do
  case "$n" in
  '' | *[!0-9]* | 0) echo "video_cost: PAIRS and FRAMES must be positive whole numbers" >&2; exit 1 ;;
  esac
done

work=$(mktemp -d /tmp/quorvel_video_cost_XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM
"$makedata" "$work/data" --seed 1 >/dev/null

# One run; prints "CPU_MS_PER_FRAME FRAME_MEDIAN_MS" and, with a video,
# " VIDEO_MS_PER_FRAME SIZE_BYTES". $1: "plain" or "video".
measure() {
  rm -rf "$work/run"
  cp -r "$work/data" "$work/run"
  local extra=()
  [ "$1" = video ] && extra=(--video "$work/run/flight.mp4")
  local TIMEFORMAT="%U %S" cpu
  cpu=$({ time "$run" --dir "$work/run" --clock 51 --input "$root/scripts/flight.input" --frames "$frames" \
    "${extra[@]}" >"$work/out" 2>/dev/null; } 2>&1)
  local done median
  done=$(sed -n 's/^frames: //p' "$work/out")
  median=$(sed -n 's/^frame_ms_median: //p' "$work/out")
  [ -n "$done" ] && [ "$done" -gt 0 ] || { echo "video_cost: a run made no frames" >&2; exit 1; }
  awk -v c="$cpu" -v n="$done" -v m="$median" 'BEGIN { split(c, t, " "); printf "%.1f %s", (t[1] + t[2]) * 1000 / n, m }'
  if [ "$1" = video ]; then
    printf " %s %s" "$(sed -n 's/^video_ms_per_frame: //p' "$work/out")" "$(stat -c %s "$work/run/flight.mp4")"
  fi
  echo
}

for i in $(seq 1 "$pairs"); do
  if [ $((i % 2)) -eq 1 ]; then
    read -r pc pm < <(measure plain)
    read -r vc vm vs size < <(measure video)
  else
    read -r vc vm vs size < <(measure video)
    read -r pc pm < <(measure plain)
  fi
  echo "pair $i: without video $pc ms processor a frame (median frame $pm ms); with video $vc ms" \
    "(median frame $vm ms, video_ms_per_frame $vs, $size bytes)"
  echo "$pc $vc" >>"$work/pairs"
done
awk '{ base[NR] = $1; extra[NR] = $2 - $1 }
  function median(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END { printf "median over %d pairs: a frame %.1f ms of processor time without video, the video %.1f ms more\n",
               NR, median(base, NR), median(extra, NR) }' "$work/pairs"
