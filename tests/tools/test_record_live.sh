#!/bin/bash
# A live flight recorded and replayed. quorvel --record runs under Xvfb (no
# window manager: the picture covers the 1024 x 768 screen 1:1) and is flown
# with xdotool: the readout on (F1), a turn and tilt with the mouse, flying
# with the left button held, P tapped, a shot (F12), Escape. quorvel-run
# --input then replays the recording in a copy of the data folder, and the
# two runs must agree:
#   frames   the replay runs as many as the recording says the live run did;
#   picture  the live F12 shot, readout included (frame, frame rate on the
#            frame clock, camera position and heading, time of day, draws),
#            is byte for byte the replay's --hud shot of that frame;
#   log      the same but for the two banner lines with the wall-clock time.
# A second, short run, where another window (xlogo) takes the focus for a
# while (the viewer's mouse is lost, which its log says every frame) and
# SIGTERM ends it (a close, not Escape), must replay to the same frame and
# log too.
# Skips (77) without Xvfb, xdotool or xlogo.
# Usage: test_record_live.sh QUORVEL QUORVEL_RUN QUORVEL_MAKEDATA
set -u
viewer="$1"
run="$2"
makedata="$3"
. "$(dirname "$0")/../xvfb_start.sh"
live_needs Xvfb xdotool xlogo
pid="" xvfb="" logo=""
live_workdir record_live
fail() {
  echo "FAIL: $*"
  for f in live.err replay.err summary; do [ -s "$work/$f" ] && { echo "--- $f"; cat "$work/$f"; }; done
  exit 1
}

"$makedata" "$work/live" --seed 1 >/dev/null || fail "no data"
cp -r "$work/live" "$work/replay"  # before the live run's log and shot
cp -r "$work/live" "$work/live2"
cp -r "$work/live" "$work/replay2"
xvfb_start 1024x768 -br || fail "no X server"
export DISPLAY="$display"
unset SDL_VIDEODRIVER

# The last frame in the recording (each frame's lines are written as the
# next begins); frames take 100 ms to many times that on a busy machine, so
# the steps below wait for frames, not for time.
last_frame() { awk '$1 ~ /^[0-9]+$/ { f = $1 } END { print f + 0 }' "$1" 2>/dev/null; }
wait_frames() {  # FILE N: until N more frames are recorded (at most 60 s)
  local want=$(($(last_frame "$1") + $2)) end=$((SECONDS + 60))
  while [ "$(last_frame "$1")" -lt "$want" ]; do
    [ $SECONDS -lt $end ] || fail "the recording stopped at frame $(last_frame "$1")"
    kill -0 "$pid" 2>/dev/null || fail "the viewer ended early"
    sleep 0.1
  done
}
# DIR FILE: starts the viewer recording into FILE and waits for its loop.
start() {
  "$viewer" --record "$2" "$1" >"$work/live.out" 2>"$work/live.err" &
  pid=$!
  win=$(timeout 60 xdotool search --sync --name '^Quorvel$' | head -n 1)
  [ -n "$win" ] || fail "the window did not appear"
  xdotool windowfocus --sync "$win" 2>/dev/null
  wait_frames "$2" 3
}
ended() {  # the viewer ends by itself, successfully (at most 60 s)
  for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "the viewer did not end"
  wait "$pid"
  local rc=$?
  pid=""
  [ "$rc" -eq 0 ] || fail "the viewer's exit status $rc"
}
# LIVE REPLAY FILE [quorvel-run option...]: replays FILE in REPLAY; its
# frames and log must be the live run's.
replay() {
  local live="$1" dir="$2" file="$3"
  shift 3
  frames=$(sed -n 's/^# the run ended after \([0-9]*\) frames$/\1/p' "$file")
  [ -n "$frames" ] || fail "the recording does not end with its frame count: $(tail -n 2 "$file")"
  SDL_VIDEODRIVER=offscreen timeout 300 "$run" --dir "$dir" --input "$file" --frames $((frames + 50)) "$@" \
    >"$work/summary" 2>"$work/replay.err" || fail "the replay failed"
  [ "$(sed -n 's/^frames: //p' "$work/summary")" = "$frames" ] || fail "the live run had $frames frames"
  local logs=("$live"/Log_*.log)
  [ ${#logs[@]} -eq 1 ] && [ -f "$dir/$(basename "${logs[0]}")" ] || fail "no replay log named as ${logs[*]}"
  diff <(grep -v '^------ \(Beginning\|Ending\) Log at' "${logs[0]}") \
    <(grep -v '^------ \(Beginning\|Ending\) Log at' "$dir/$(basename "${logs[0]}")") >"$work/log.diff" ||
    fail "the logs differ: $(head -n 20 "$work/log.diff")"
}

rec="$work/flight.input"
start "$work/live" "$rec"
xdotool key F1
wait_frames "$rec" 2
xdotool mousemove_relative -- 90 -60  # turn right, tilt up
wait_frames "$rec" 2
xdotool mousedown 1
wait_frames "$rec" 8
xdotool mouseup 1
wait_frames "$rec" 2
xdotool key p
wait_frames "$rec" 3
xdotool key F12
for _ in $(seq 1 300); do ls "$work/live"/Shot_*.png >/dev/null 2>&1 && break; sleep 0.1; done
shot=$(ls "$work/live"/Shot_*.png 2>/dev/null | head -n 1)
[ -n "$shot" ] || fail "F12 wrote no shot"
xdotool key Escape
ended
for line in ' move ' ' button 0 down' ' key 0x19 down' ' key 0x01 down'; do
  grep -q -- "$line" "$rec" || fail "the recording has no '$line' line"
done
grep -q -e '^\[Painting\]' -e Painting -e "Couldn't find Patch" "$work/live"/Log_*.log ||
  fail "P did not paint"
shotframe=$((10#$(basename "$shot" | sed 's/^Shot_\([0-9]*\)_.*/\1/')))
# The replay also makes the video, at the recorded clock's mean rate (no
# --clock or --video-fps needed).
replay "$work/live" "$work/replay" "$rec" --hud --shot "$shotframe:$work/replay.png" --video "$work/replay.mkv"
cmp -s "$shot" "$work/replay.png" || fail "the live shot of frame $shotframe differs from the replay's"
[ -s "$work/replay.mkv" ] && grep -q "^video: $work/replay.mkv\$" "$work/summary" ||
  fail "the replay made no video"
echo "flight: $frames frames, the shot of frame $shotframe and the log the same live and replayed"
echo "  replay's last frame: $(sed -n 's/^readout: //p' "$work/summary")"

rec="$work/term.input"
start "$work/live2" "$rec"
xlogo -geometry 100x100+0+0 &
logo=$!
other=$(timeout 30 xdotool search --sync --class xlogo 2>/dev/null | head -n 1)
[ -n "$other" ] || fail "xlogo's window did not appear"
xdotool windowfocus --sync "$other"
wait_frames "$rec" 3
xdotool windowfocus --sync "$win"
wait_frames "$rec" 3
kill -TERM "$pid"
ended
for line in ' focus out$' ' focus in$' ' close$'; do
  grep -q -- "$line" "$rec" || fail "the recording has no '$line' line"
done
grep -q "Failed to Update the Mouse" "$work/live2"/Log_*.log || fail "the mouse was not lost"
replay "$work/live2" "$work/replay2" "$rec"
echo "focus away and back, SIGTERM: $frames frames and the log the same live and replayed"
