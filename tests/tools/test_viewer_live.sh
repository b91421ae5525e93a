#!/bin/bash
# The viewer as a person runs it, under Xvfb (1024 x 768) and openbox:
#   quorvel --window 800x400: a framed window of that size, the picture 4:3
#     in it with black bars; resized to 500 x 600, the picture follows; closed
#     with Alt+F4 (the window manager's close), the run ends successfully;
#   quorvel (full screen) ended by SIGTERM: the run ends successfully too.
# "Successfully": exit status 0 and a log ending "ENDING SUCCESSFULLY".
# Usage: test_viewer_live.sh QUORVEL QUORVEL_MAKEDATA. Skips (exit 77) when
# a tool is missing.
set -u
quorvel="$1"
. "$(dirname "$0")/../xvfb_start.sh"
live_needs Xvfb xdotool openbox import convert xwininfo xprop
pid="" wmpid="" xvfb=""
live_workdir viewer_live
fail() {
  echo "FAIL: $*"
  exit 1
}

"$2" "$work/data" >/dev/null || fail "quorvel-makedata failed"
xvfb_start 1024x768 -br || fail "no X server"
export DISPLAY="$display"
unset SDL_VIDEODRIVER
openbox >/dev/null 2>&1 &
wmpid=$!
for _ in $(seq 1 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

# Starts the viewer with the options given; sets $pid and $win.
start() {
  rm -f "$work"/data/Log_*.log
  "$quorvel" "$@" "$work/data" >"$work/out" 2>&1 &
  pid=$!
  # A search fails when a window is destroyed while it walks the window tree.
  for _ in $(seq 1 300); do
    win=$(xdotool search --name '^Quorvel$' 2>/dev/null | head -n 1)
    [ -n "$win" ] && return 0
    sleep 0.2
  done
  fail "no window; $(cat "$work/out")"
}

# Waits until the window's inside is W x H and the picture in it (what is not
# black, found with a black border added) is the 4:3 frame scaled to fit and
# centred, to within 2 pixels.
picture_fits() {
  local w=$1 h=$2 dw=$1 dh=$(($1 * 3 / 4)) size box
  [ "$dh" -gt "$h" ] && dh=$h dw=$((h * 4 / 3))
  local want=($dw $dh $(((w - dw) / 2 + 1)) $(((h - dh) / 2 + 1)))
  for _ in $(seq 1 100); do
    size=$(xwininfo -id "$win" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    box=$(import -window "$win" ppm:- 2>/dev/null | convert - -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
    local got=(${box//[x+]/ }) ok=1
    for i in 0 1 2 3; do
      local d=$((${got[i]:-9999} - want[i]))
      [ "${d#-}" -le 2 ] || ok=0
    done
    [ "$ok" = 1 ] && [ "$size" = "${w}x$h" ] && return 0
    sleep 0.2
  done
  fail "window $size, picture ${box:-none} (border included), expected ${w}x$h and ${want[*]}"
}

# Waits for the viewer to end, which it must do successfully.
ended_successfully() {
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "$1: the viewer did not end"
  wait "$pid" || fail "$1: exit status $?; $(cat "$work/out")"
  pid=""
  local log=$(ls "$work"/data/Log_*.log)
  tail -n 2 "$log" | grep -q "ENDING SUCCESSFULLY" || fail "$1: the log ends $(grep -A1 ERROR "$log" | head -4)"
  echo "$1: ended successfully"
}

start --window 800x400
picture_fits 800 400
xdotool windowsize "$win" 500 600
picture_fits 500 600
xdotool windowfocus --sync "$win" key alt+F4
ended_successfully "window closed with Alt+F4"

start
sleep 2
kill -TERM "$pid"
ended_successfully "full screen, SIGTERM"
