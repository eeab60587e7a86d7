#!/usr/bin/env bash
# The real program's main window, its frame included, opens inside a
# 1280x800 screen under a window manager (openbox) at the scales a desktop
# uses: 1, 1.5 and 2. At twice the scale the screen is 640x400 for the
# program, less than the window's designed 590x418 and a title bar.
#
#   window_fit_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"

start_xvfb 1280x800
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORM
program_session "$program"
openbox > /dev/null 2>&1 &
pids+=($!)
wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window' || { echo "openbox did not start"; exit 1; }

failed=0
for scale in 1 1.5 2; do
  QT_SCALE_FACTOR=$scale "$work/kelvane" > "$work/kelvane.log" 2>&1 &
  pid=$!
  wait_for 60 main_window_shown || { echo "scale $scale: the window never showed"; cat "$work/kelvane.log"; exit 1; }
  window=$(main_window_id) || { echo "scale $scale: the window could not be found"; exit 1; }
  # Once framed, the window keeps still.
  wait_for 10 sh -c "xprop -id $window _NET_FRAME_EXTENTS | grep -q '='"
  sleep 1
  # The client's place on the screen (xdotool counts the frame twice here).
  info=$(xwininfo -id "$window")
  X=$(awk '/Absolute upper-left X/ {print $NF}' <<< "$info")
  Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<< "$info")
  WIDTH=$(awk '/^ *Width:/ {print $NF}' <<< "$info")
  HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<< "$info")
  read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  x0=$((X - left)) y0=$((Y - top)) x1=$((X + WIDTH + right)) y1=$((Y + HEIGHT + bottom))
  echo "scale $scale: frame ${x0},${y0} to ${x1},${y1}"
  if [ "$x0" -lt 0 ] || [ "$y0" -lt 0 ] || [ "$x1" -gt 1280 ] || [ "$y1" -gt 800 ]; then
    echo "scale $scale: the window leaves the screen"
    failed=1
  fi
  kill -9 "$pid"
  wait "$pid" 2> /dev/null || true
  # The next start must not hand over to this one.
  wait_for 10 sh -c "! xdotool search --onlyvisible --name '主页'"
done
exit "$failed"
