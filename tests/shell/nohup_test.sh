#!/usr/bin/env bash
# The real program started with nohup lives through its terminal's hang-up
# (SIGHUP, which nohup ignores for it), and still ends at once on SIGTERM
# with status 128 + 15.
#
#   nohup_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
start_xvfb
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORM
program_session "$program"

nohup "$work/kelvane" > "$work/kelvane.log" 2>&1 &
pid=$!
pids+=($pid)
wait_for_main_window 60 "$pid" || { echo "the window never showed"; exit 1; }
kill -HUP "$pid"
# The program's loop has run since the hang-up: a second start of the same
# copy is answered by it, hands over and ends with 0. A hang-up it had taken
# as an end would have been read in that loop before the second start's
# request.
status=0
timeout 60 "$work/kelvane" > "$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { echo "the second start after SIGHUP ended with $status"; cat "$work/second.log"; exit 1; }
kill -0 "$pid" 2> /dev/null || { echo "SIGHUP ended the program"; cat "$work/kelvane.log"; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 143 ] || { echo "SIGTERM ended it with $status"; exit 1; }
echo "ok"
