#!/usr/bin/env bash
# The real program started by an ordinary user on an X display prints
# nothing on the terminal while it starts and its browser comes up, nor as
# it ends: no browser set-up report, no routine Chromium lines.
#
#   quiet_start_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
chmod 755 "$work"
cp "$program" "$work/kelvane"
chmod 755 "$work/kelvane"

start_xvfb

# An ordinary user, as a desktop session starts the program.
as_user=()
mkdir -m 700 "$work/home"
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chown 65534:65534 "$work/home"
fi
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
  DISPLAY="$DISPLAY" LANG=C.UTF-8 ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
  "$work/kelvane" > "$work/out" 2>&1 &
pid=$!  # setpriv and env hand their process on to the program
pids+=($pid)

# The start is over once the window shows and the browser draws: its page
# process runs with its compositor, and the program's own GPU thread and
# display compositor run. Threads are told by their names.
thread_names() { cat /proc/"$1"/task/*/comm 2> /dev/null; }
descendants() {
  local child
  for child in $(pgrep -P "$1"); do
    echo "$child"
    descendants "$child"
  done
}
page_process_runs() {
  local child
  for child in $(descendants "$pid"); do
    thread_names "$child" | grep -qx Compositor && return 0
  done
  return 1
}
browser_draws() {
  thread_names "$pid" | grep -qx Chrome_InProcGp && thread_names "$pid" | grep -qx VizCompositorTh
}
started() { main_window_shown && page_process_runs && browser_draws; }
if ! wait_for 90 started; then
  kill -0 "$pid" 2> /dev/null || { echo "the program ended by itself"; cat "$work/out"; exit 1; }
  main_window_shown || echo "the window did not show in 90 s"
  page_process_runs || echo "no page process in 90 s"
  browser_draws || echo "the browser's GPU thread and display compositor did not run in 90 s"
  cat "$work/out"
  exit 1
fi

kill -TERM "$pid" 2> /dev/null || { echo "the program ended by itself"; cat "$work/out"; exit 1; }
status=0
wait "$pid" || status=$?
[ "$status" -eq 143 ] || { echo "SIGTERM ended it with $status"; cat "$work/out"; exit 1; }
[ ! -s "$work/out" ] || { echo "the program printed:"; cat "$work/out"; exit 1; }
echo "ok"
