#!/bin/bash
# Escape ends a whole run of the program, two ways:
#   scripted  quorvel-run --input: Escape pressed at frame 30 ends the run there
#   window    quorvel-run --window under Xvfb: a real Escape key press from
#             xdotool ends the run (skipped without Xvfb and xdotool)
# Usage: test_input_run.sh QUORVEL_RUN scripted|window
set -u
run="$1"
mode="$2"
[ -x "$run" ] || { echo "quorvel-run '$run' not found"; exit 1; }

. "$(dirname "$0")/../xvfb_start.sh"
live_workdir input_run
mkdir "$work/data"
# A complete data set, as small as the system allows: a flat heightmap (its
# size is fixed), one 2 x 2 texture on all four stages, black colour tables.
# A start-up that logged a failure would end with exit code 1.
printf 'PatchSize 16 Levels 4 VertexLimit 65536 Tex0 t.ppm Tex1 t.ppm Tex2 t.ppm Tex3 t.ppm\n' \
  >"$work/data/Readme.txt"
{ printf 'P6 2 2 255\n'; head -c 12 /dev/zero; } >"$work/data/t.ppm"
head -c 1048576 /dev/zero >"$work/data/HeightMap20.raw"
head -c 1080 /dev/zero >"$work/data/Diffuse.raw"
cp "$work/data/Diffuse.raw" "$work/data/Ambient.raw"

fail() { echo "FAIL: $*"; echo "--- summary"; cat "$work/summary" 2>/dev/null; exit 1; }
value() { sed -n "s/^$1: //p" "$work/summary"; }

case "$mode" in
scripted)
  printf '# Escape pressed at frame 30, let go at frame 31\n30 key 0x01 down\n31 key 0x01 up\n' \
    >"$work/escape.input"
  # --frames is the safety net: a run that ignores Escape ends at 300 frames.
  timeout 120 "$run" --dir "$work/data" --clock 16 --frames 300 --input "$work/escape.input" \
    >"$work/summary" 2>"$work/stderr"
  rc=$?
  [ "$rc" -eq 0 ] || fail "exit status $rc"
  [ "$(value exit_code)" = "0" ] || fail "summary exit_code is not 0"
  frames=$(value frames)
  [ -n "$frames" ] || fail "no frames line"
  # The frame that sees Escape posts the quit message; the loop takes it next.
  { [ "$frames" -ge 29 ] && [ "$frames" -le 33 ]; } || fail "frames $frames, expected about 31"
  log=$(value log)
  grep -q "DIWrapper" "$log" && fail "input errors in the log: $(grep -A1 DIWrapper "$log")"
  echo "scripted Escape ended the run after $frames frames"
  ;;
window)
  if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
    echo "SKIP: needs Xvfb and xdotool (apt-get install xvfb xdotool)"
    exit 77
  fi
  xvfb_start 1280x1024 || fail "no X server"
  export DISPLAY="$display"
  unset SDL_VIDEODRIVER
  xdotool mousemove 512 384

  # A run that ignores Escape ends at 100000 frames (or the timeout).
  timeout 120 "$run" --dir "$work/data" --window --frames 100000 >"$work/summary" 2>"$work/stderr" &
  pid=$!
  win=$(timeout 30 xdotool search --sync --name '^Quorvel$' | head -n 1)
  [ -n "$win" ] || fail "the window did not appear"
  xdotool windowfocus --sync "$win" 2>/dev/null
  sleep 2
  kill -0 "$pid" 2>/dev/null || fail "the run ended before Escape was pressed"
  xdotool key --delay 200 Escape
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "the run did not end after Escape"
  wait "$pid"
  rc=$?
  pid=""
  [ "$rc" -eq 0 ] || fail "exit status $rc; stderr: $(tail -5 "$work/stderr")"
  [ "$(value exit_code)" = "0" ] || fail "summary exit_code is not 0"
  frames=$(value frames)
  [ "${frames:-100000}" -lt 100000 ] || fail "the run went to its frame limit"
  log=$(value log)
  grep -q "DIWrapper" "$log" && fail "input errors in the log: $(grep -A1 DIWrapper "$log")"
  echo "Escape from xdotool ended the window run after $frames frames"
  ;;
*)
  echo "usage: $0 QUORVEL_RUN scripted|window"
  exit 2
  ;;
esac
