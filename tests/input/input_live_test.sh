#!/bin/sh
# Runs the live-input probe under its own Xvfb server (screen size $2,
# default 1280x1024) with real X events from xdotool; with $3 = openbox,
# under that window manager ("-" or nothing: none). Arguments after the
# third go to the probe. Skips (exit 77) when a tool is missing.
probe="$1"
size="${2:-1280x1024}"
wm="${3:--}"
[ "$wm" = "-" ] && wm=""
[ $# -gt 3 ] && shift 3 || set --
. "$(dirname "$0")/../xvfb_start.sh"
live_needs Xvfb xdotool xlogo xprop import $wm
[ -x "$probe" ] || { echo "probe program '$probe' not found"; exit 1; }

wmpid=""
xvfb=""
trap 'kill $wmpid $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT INT TERM
# -br: a black root window, so that the picture's edges can be found.
xvfb_start "$size" -br || exit 1
if [ -n "$wm" ]; then
  DISPLAY="$display" "$wm" >/dev/null 2>&1 &
  wmpid=$!
  # The window manager has taken over once it names itself on the root window.
  for _ in $(seq 1 100); do
    DISPLAY="$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
fi

unset SDL_VIDEODRIVER
DISPLAY="$display" SDL_VIDEODRIVER=x11 "$probe" "$@"
