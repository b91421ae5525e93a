# Sourced by the live tests: what they share. xvfb_start starts an Xvfb server
# of its own and waits until it answers X requests. Xvfb picks a free display
# itself and writes its number once it is ready, so that live tests run side
# by side never share a server or race for a display number.
# Usage: xvfb_start SIZE [Xvfb option...]
# Sets $display (":N") and $xvfb (the server's process id); returns 1 when the
# server did not start. Needs Xvfb and xdotool.
xvfb_start() {
  xvfb_size="$1"
  shift
  xvfb_numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${xvfb_size}x24" "$@" -nolisten tcp 3>"$xvfb_numberfile" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 1 100); do [ -s "$xvfb_numberfile" ] && break; sleep 0.1; done
  display=":$(head -n 1 "$xvfb_numberfile")"
  rm -f "$xvfb_numberfile"
  if [ "$display" = ":" ]; then
    echo "Xvfb did not start"
    kill "$xvfb" 2>/dev/null
    return 1
  fi
  for _ in $(seq 1 50); do
    DISPLAY="$display" xdotool getmouselocation >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb on $display does not answer"
  return 1
}

# live_needs TOOL...: skips the test (exit 77, CTest's skip) naming the first
# tool that is missing.
live_needs() {
  for live_tool in "$@"; do
    if ! command -v "$live_tool" >/dev/null 2>&1; then
      echo "SKIP: needs $live_tool (scripts/setup.sh installs it)"
      exit 77
    fi
  done
}

# live_workdir NAME: sets $work to a new temporary folder; when the script
# ends, the processes in $pid, $logo, $wmpid and $xvfb (where set) are
# stopped and the folder is removed.
live_workdir() {
  work=$(mktemp -d "/tmp/quorvel_$1_XXXXXX")
  trap 'kill ${pid:-} ${logo:-} ${wmpid:-} ${xvfb:-} 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT INT TERM
}
