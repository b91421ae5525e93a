#!/bin/bash
# The live viewer's readout keys under Xvfb, pressed with xdotool: F1 shows
# the readout (a dark box with light text at the picture's top-left, where
# the viewer's first frames show sky) and F1 again hides it; F12 writes a
# 1024 x 768 PNG named by frame and time into the data folder, and the box
# shows where for two seconds although the readout is off.
# Skips (77) without Xvfb, xdotool, xwd or ImageMagick.
# Usage: test_readout_live.sh QUORVEL QUORVEL_MAKEDATA
set -u
viewer="$1"
makedata="$2"
. "$(dirname "$0")/../xvfb_start.sh"
live_needs Xvfb xdotool xwd convert identify
live_workdir readout_live
fail() { echo "FAIL: $*"; echo "--- stderr"; cat "$work/stderr" 2>/dev/null; exit 1; }

"$makedata" "$work/data" --seed 1 >/dev/null || fail "no data"
# No window manager on a screen of the picture's size: the picture covers it 1:1.
xvfb_start 1024x768 -br || fail "no X server"
export DISPLAY="$display"
unset SDL_VIDEODRIVER

# The box is there when a strip of its top padding is dark and the band of
# the text below has light pixels; the sky there is neither.
box_in() {
  local pad text
  pad=$(convert "xwd:$1" -crop 300x3+9+9 +repage -colorspace gray -format '%[fx:maxima]' info:)
  text=$(convert "xwd:$1" -crop 300x14+13+13 +repage -colorspace gray -format '%[fx:maxima]' info:)
  awk -v p="$pad" -v t="$text" 'BEGIN { exit !(p < 0.25 && t > 0.7) }'
}
box_shown() { xwd -root -silent >"$work/screen.xwd" && box_in "$work/screen.xwd"; }
# Waits up to $2 seconds for the box to be shown ($1 = 0) or gone ($1 = 1).
wait_box() {
  local end=$((SECONDS + $2))
  while [ $SECONDS -lt $end ]; do
    box_shown
    [ $? -eq "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
# Whether the box shows in any of the captures of the screen taken as fast
# as they come for $1 seconds: a message may be up for only two seconds, on
# a machine where looking at a capture takes most of one.
box_seen_within() {
  local end=$((SECONDS + $1)) n=0 i
  while [ $SECONDS -lt $end ]; do
    xwd -root -silent >"$work/burst$n.xwd" || return 1
    n=$((n + 1))
  done
  for ((i = 0; i < n; i++)); do box_in "$work/burst$i.xwd" && return 0; done
  return 1
}

"$viewer" "$work/data" >"$work/stdout" 2>"$work/stderr" &
pid=$!
win=$(timeout 60 xdotool search --sync --name '^Quorvel$' | head -n 1)
[ -n "$win" ] || fail "the window did not appear"
xdotool windowfocus --sync "$win" 2>/dev/null
sleep 3
kill -0 "$pid" 2>/dev/null || fail "the viewer ended early"
box_shown && fail "the readout is shown before F1"

xdotool key F1
wait_box 0 10 || fail "F1 did not show the readout"
xdotool key F1
wait_box 1 10 || fail "F1 again did not hide the readout"
ls "$work/data"/Shot_* >/dev/null 2>&1 && fail "a shot before F12"

xdotool key F12
for _ in $(seq 1 50); do ls "$work/data"/Shot_*.png >/dev/null 2>&1 && break; sleep 0.1; done
shots=("$work/data"/Shot_*.png)
[ -f "${shots[0]}" ] || fail "F12 wrote no Shot_*.png"
[ ${#shots[@]} -eq 1 ] || fail "F12 wrote ${#shots[@]} files"
box_seen_within 6 || fail "no message after F12"
[[ "$(basename "${shots[0]}")" =~ ^Shot_[0-9]{6}_[0-9]{8}-[0-9]{6}\.png$ ]] ||
  fail "the shot's name: $(basename "${shots[0]}")"
[ "$(identify -format '%m %w %h' "${shots[0]}" 2>&1)" = "PNG 1024 768" ] ||
  fail "the shot is not a 1024 x 768 PNG: $(identify "${shots[0]}" 2>&1)"
wait_box 1 10 || fail "the message stayed"

xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the viewer did not end after Escape"
wait "$pid"
rc=$?
pid=""
[ "$rc" -eq 0 ] || fail "exit status $rc"
grep -q "could not save" "$work/stderr" && fail "a failed shot"
echo "F1 showed and hid the readout; F12 wrote $(basename "${shots[0]}") and said so"
exit 0
