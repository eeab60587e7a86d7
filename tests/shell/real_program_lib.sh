# For the tests that run the real program, sourced by them: a work folder
# and background processes that go when the test ends however it ends,
# waiting for a condition, a virtual X display and a session bus of the
# test's own, and whether the main window shows on it.

work=$(mktemp -d)
pids=()
cleanup() {
  # A display that went away shows only as a client failing to connect.
  if [ "$?" -ne 0 ] && [ -n "${xvfb_pid:-}" ]; then
    kill -0 "$xvfb_pid" 2> /dev/null && echo "Xvfb still runs" || echo "Xvfb is gone"
    [ ! -s "$work/Xvfb.log" ] || { echo "Xvfb said:"; cat "$work/Xvfb.log"; }
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

# Starts what a test runs on (its display, tray, bus, compositor) and waits
# until READY succeeds; on a loaded machine such a program has been seen to
# end at once or never come up, with no fault of the program under test. It
# is then started again, up to 3 tries, each said in the output; the test's
# checks are never repeated. The output goes to $work/NAME.log, the process
# id to started_pid. COMMAND may be a function that ends in exec, so that
# started_pid is the program's own.
start_until_ready() {  # NAME SECONDS READY COMMAND...
  local name=$1 seconds=$2 ready=$3 try until status
  shift 3
  for try in 1 2 3; do
    "$@" > "$work/$name.log" 2>&1 &
    started_pid=$!
    pids+=($started_pid)
    until=$((SECONDS + seconds))
    until "$ready" > /dev/null 2>&1; do
      if ! kill -0 "$started_pid" 2> /dev/null; then
        status=0
        wait "$started_pid" 2> /dev/null || status=$?
        echo "$name ended with status $status before it came up (try $try of 3)"
        break
      fi
      if [ "$SECONDS" -ge "$until" ]; then
        echo "$name did not come up in $seconds s (try $try of 3)"
        { kill -9 "$started_pid" && wait "$started_pid"; } 2> /dev/null || true
        break
      fi
      sleep 0.2
    done
    kill -0 "$started_pid" 2> /dev/null && "$ready" > /dev/null 2>&1 && return 0
    [ ! -s "$work/$name.log" ] || { echo "$name said:"; cat "$work/$name.log"; }
    [ "$try" -eq 3 ] || echo "starting $name again"
  done
  echo "$name did not start"
  exit 1
}

xvfb_process() {  # [WIDTHxHEIGHT]
  exec Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp 3> "$work/display"
}
xvfb_ready() { test -s "$work/display"; }
start_xvfb() {  # [WIDTHxHEIGHT]: a display of our own, in DISPLAY
  start_until_ready Xvfb 30 xvfb_ready xvfb_process "${1:-1024x768}"
  xvfb_pid=$started_pid
  export DISPLAY=":$(cat "$work/display")"
}

# A session bus of the test's own, in DBUS_SESSION_BUS_ADDRESS, so that
# nothing else on the machine's bus is met.
session_bus_process() { exec dbus-daemon --session --nofork --nopidfile --print-address=3 3> "$work/bus"; }
session_bus_ready() { test -s "$work/bus"; }
start_session_bus() {
  start_until_ready dbus-daemon 30 session_bus_ready session_bus_process
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
  export DBUS_SESSION_BUS_ADDRESS
}

main_window_shown() { xdotool search --onlyvisible --name '主页' > /dev/null; }
main_window_hidden() { ! main_window_shown; }

# Waits for the main window of the program started as PID; when it does not
# show, says what became of the program (ended and how, or its threads'
# stacks while it still runs) and what it wrote, so that a rare failure can
# be read from one run's output.
wait_for_main_window() {  # SECONDS PID
  wait_for "$1" main_window_shown && return 0
  if kill -0 "$2" 2> /dev/null; then
    echo "the program still runs; its windows: $(xdotool search --pid "$2" 2> /dev/null | tr '\n' ' ')"
    ! command -v gdb > /dev/null ||
      gdb -p "$2" -batch -nx -ex 'thread apply all bt 12' 2> /dev/null | grep -E '^(Thread|#)'
  else
    local status=0
    wait "$2" 2> /dev/null || status=$?
    echo "the program ended with status $status"
  fi
  echo "it wrote:"
  cat "$work/kelvane.log"
  return 1
}

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
