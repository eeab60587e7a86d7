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
# A window manager that runs: on a loaded machine openbox has been seen to
# end at once ("Failed to open the display") on a display that clients
# reach a moment later; it is then started again.
openbox_pid=""
openbox_runs() { [ -n "$openbox_pid" ] && kill -0 "$openbox_pid" 2> /dev/null; }
openbox_ready() { openbox_runs && xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window; }
ensure_openbox() {
  local try
  for try in 1 2 3; do
    if ! openbox_runs; then
      openbox > "$work/openbox.log" 2>&1 &
      openbox_pid=$!
      pids+=($openbox_pid)
    fi
    wait_for 10 openbox_ready && sleep 0.5 && openbox_runs && return 0
  done
  echo "openbox did not start:"
  cat "$work/openbox.log"
  exit 1
}
ensure_openbox

# The main window's frame on the screen, "x0 y0 x1 y1", once the window
# manager has framed it. Every step may meet a window that has just gone: a
# search walks every window, and Qt may replace the main window's native
# window while it starts (the browser's view wants another kind of surface).
# So the whole measure is made again from the window's name until it holds.
measure_frame() {
  local window extents info X Y WIDTH HEIGHT left right top bottom
  window=$(xdotool search --onlyvisible --name '主页' 2> /dev/null | head -n 1) && [ -n "$window" ] || return 1
  extents=$(xprop -id "$window" _NET_FRAME_EXTENTS 2> /dev/null) && [[ $extents == *=* ]] || return 1
  # The client's place on the screen (xdotool counts the frame twice here).
  info=$(xwininfo -id "$window" 2> /dev/null) || return 1
  X=$(awk '/Absolute upper-left X/ {print $NF}' <<< "$info")
  Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<< "$info")
  WIDTH=$(awk '/^ *Width:/ {print $NF}' <<< "$info")
  HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<< "$info")
  read -r left right top bottom <<< "$(sed 's/.*= //; s/,//g' <<< "$extents")"
  echo "$((X - left)) $((Y - top)) $((X + WIDTH + right)) $((Y + HEIGHT + bottom))" > "$work/frame"
}

failed=0
for scale in 1 1.5 2; do
  ensure_openbox
  QT_SCALE_FACTOR=$scale "$work/kelvane" > "$work/kelvane.log" 2>&1 &
  pid=$!
  wait_for 60 main_window_shown || { echo "scale $scale: the window never showed"; cat "$work/kelvane.log"; exit 1; }
  # Once framed, the window keeps still: measured again a second later.
  wait_for 20 measure_frame && sleep 1 && wait_for 10 measure_frame || {
    echo "scale $scale: the window was never framed"
    openbox_runs || { echo "openbox is gone:"; cat "$work/openbox.log"; }
    xprop -root _NET_SUPPORTING_WM_CHECK
    for window in $(xdotool search --name '主页' 2> /dev/null); do
      xwininfo -id "$window" | grep -E 'Window id|Map State|Override'
      xprop -id "$window" _NET_FRAME_EXTENTS WM_STATE
    done
    cat "$work/kelvane.log"
    exit 1
  }
  read -r x0 y0 x1 y1 < "$work/frame"
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
