#!/bin/sh
# Runs the live-input probe under its own Xvfb server with real X events
# from xdotool. Skips (exit 77) when Xvfb or xdotool is missing.
probe="$1"
if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
  echo "SKIP: live input test needs Xvfb and xdotool (apt-get install xvfb xdotool)"
  exit 77
fi
[ -x "$probe" ] || { echo "probe program '$probe' not found"; exit 1; }

# A free display number: no lock file and no socket.
display=""
for n in $(seq 90 190); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT INT TERM
for _ in $(seq 1 50); do
  DISPLAY="$display" xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done

unset SDL_VIDEODRIVER
DISPLAY="$display" SDL_VIDEODRIVER=x11 "$probe"
