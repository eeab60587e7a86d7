# For the tests that run the real program, sourced by them: a work folder
# and background processes that go when the test ends however it ends,
# waiting for a condition, a virtual X display of the test's own, and
# whether the main window shows on it.

work=$(mktemp -d)
pids=()
cleanup() {
  # A display that went away shows only as a client failing to connect.
  if [ "$?" -ne 0 ] && [ -n "${xvfb_pid:-}" ]; then
    kill -0 "$xvfb_pid" 2> /dev/null && echo "Xvfb still runs" || echo "Xvfb is gone"
    [ ! -s "$work/xvfb.log" ] || { echo "Xvfb said:"; cat "$work/xvfb.log"; }
  fi
  for pid in "${pids[@]}"; do { kill -9 "$pid" && wait "$pid"; } 2>/dev/null || true; done
  # A copy of the program started through setpriv or env is not in pids.
  pkill -9 -f "$work/kelvane" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # seconds command...: until the command succeeds
  local until=$((SECONDS + $1))
  shift
  until "$@" > /dev/null 2>&1; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.2
  done
}

start_xvfb() {  # [WIDTHxHEIGHT]: a display of our own, in DISPLAY
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
  xvfb_pid=$!
  pids+=($xvfb_pid)
  wait_for 30 test -s "$work/display" || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(cat "$work/display")"
}

main_window_shown() { xdotool search --onlyvisible --name '主页' > /dev/null; }
main_window_hidden() { ! main_window_shown; }

# What every start of the real program here needs: a runtime folder of the
# test's own (the single-instance socket goes there), Chromium's sandbox off
# only as root (it refuses to start as root with it on), and a copy of the
# program at $work/kelvane, in a folder of its own so that its progress file
# is its own.
program_session() {  # PROGRAM
  export XDG_RUNTIME_DIR="$work/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  [ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
  cp "$1" "$work/kelvane"
}
