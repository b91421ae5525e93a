#!/bin/sh
# Runs the live-input probe under its own Xvfb server (screen size $2,
# default 1280x1024) with real X events from xdotool; with $3 = openbox,
# under that window manager. Skips (exit 77) when a tool is missing.
probe="$1"
size="${2:-1280x1024}"
wm="$3"
for tool in Xvfb xdotool xlogo xprop import $wm; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: live input test needs $tool (apt-get install xvfb xdotool x11-apps x11-utils imagemagick openbox)"
    exit 77
  fi
done
[ -x "$probe" ] || { echo "probe program '$probe' not found"; exit 1; }

# Xvfb picks a free display itself and writes its number once it is ready,
# so that live tests run side by side never share a server.
numberfile=$(mktemp)
# -br: a black root window, so that the picture's edges can be found.
Xvfb -displayfd 3 -screen 0 "${size}x24" -br -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$numberfile" ] && break; sleep 0.1; done
display=":$(head -n 1 "$numberfile")"
rm -f "$numberfile"
[ "$display" != ":" ] || { echo "Xvfb did not start"; kill $xvfb 2>/dev/null; exit 1; }
wmpid=""
trap 'kill $wmpid $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT INT TERM
for _ in $(seq 1 50); do
  DISPLAY="$display" xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done
if [ -n "$wm" ]; then
  DISPLAY="$display" "$wm" >/dev/null 2>&1 &
  wmpid=$!
  export QV_LIVE_WM="$wm"
  # The window manager has taken over once it names itself on the root window.
  for _ in $(seq 1 100); do
    DISPLAY="$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
fi

unset SDL_VIDEODRIVER
DISPLAY="$display" SDL_VIDEODRIVER=x11 "$probe"
