#!/usr/bin/env bash
# The real program on a real (virtual) X display with a standalone tray:
# the tray icon's menu hides the window, a left click on the icon brings it
# back; a second start hands over to the first and ends; the tray's end
# brings the hidden window back. Needs Xvfb, trayer and xdotool.
#
#   tray_xvfb_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"

# A display of our own; Qt then speaks XEmbed to trayer, not D-Bus.
start_xvfb
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORM
program_session "$program"

# The tray first: Qt looks for it when the icon is made.
trayer_process() {
  exec trayer --edge top --align left --widthtype request --height 24 --SetDockType false \
    --SetPartialStrut false --expand false
}
trayer_ready() { xdotool search --class trayer; }
start_until_ready trayer 30 trayer_ready trayer_process
trayer_pid=$started_pid

"$work/kelvane" > "$work/kelvane.log" 2>&1 &
kelvane=$!
pids+=($kelvane)
wait_for_main_window 60 "$kelvane" || { echo "the window never showed"; exit 1; }

# The program's windows named as the program: its icon, once trayer has
# taken it in, and its menu when open, a window of its own on the root.
program_window() {  # docked|menu
  local window parent
  for window in $(xdotool search --onlyvisible --pid "$kelvane" 2>/dev/null); do
    [ "$(xdotool getwindowname "$window" 2>/dev/null)" = kelvane ] || continue
    parent=$(xwininfo -children -id "$window" 2>/dev/null | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    case "$1" in
      menu) [ "$parent" = "$root" ] ;;
      docked) [ -n "$parent" ] && [ "$parent" != "$root" ] ;;
    esac && { echo "$window"; return 0; }
  done
  return 1
}
root=$(xwininfo -root | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
# A busy machine may take its time to dock the icon: clicks wait for it.
wait_for 30 program_window docked || { echo "the icon never reached the tray"; cat "$work/kelvane.log"; exit 1; }
# Where the icon is now: trayer lays its icons out again as they dock and
# grow to their size, so the place is read before each click, once the icon
# has its size.
icon_placed() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$(program_window docked)" 2> /dev/null)" || return 1
  [ "${WIDTH:-0}" -ge 8 ] && [ "${HEIGHT:-0}" -ge 8 ] || return 1
  icon_x=$((X + WIDTH / 2))
  icon_y=$((Y + HEIGHT / 2))
}
# Qt makes a second press of the same button within its double-click
# interval a double click, and its tray icon ignores a right double click:
# no menu would open. The interval is 400 ms here (no XSETTINGS manager on
# this display gives another), so a click of the same button waits until
# 600 ms have passed since the last one. Clicks are numbered in order and
# say what they are for, so that a failure names the click that failed.
double_click_gap_ms=600
declare -A last_click_ms=()
clicks=0
click=""
click_icon() {  # button what
  local now wait_ms
  clicks=$((clicks + 1))
  click="click $clicks ($([ "$1" = 3 ] && echo right || echo left), $2)"
  wait_for 20 icon_placed || { echo "$click: the icon has no place in the tray"; exit 1; }
  now=$(($(date +%s%N) / 1000000))
  wait_ms=$((${last_click_ms[$1]:-0} + double_click_gap_ms - now))
  [ "$wait_ms" -le 0 ] || sleep "$(printf '%d.%03d' $((wait_ms / 1000)) $((wait_ms % 1000)))"
  xdotool mousemove "$icon_x" "$icon_y" click "$1"
  last_click_ms[$1]=$(($(date +%s%N) / 1000000))
}

# Right click: the tray menu; "M" is "最小化显示(&M)", pressed once the menu
# is there. The key goes to the menu itself (a key typed before the menu has
# the keyboard would go to the window), and only its press: the menu acts on
# it and goes, so there is nothing left to release it on.
hide_by_tray_menu() {  # what for
  click_icon 3 "$1"
  wait_for 20 program_window menu || { echo "$click: a right click on the icon ($icon_x,$icon_y) did not open its menu"; cat "$work/kelvane.log"; exit 1; }
  xdotool keydown --window "$(program_window menu)" m 2> /dev/null
  wait_for 10 main_window_hidden || { echo "$click: the tray menu did not hide the window"; cat "$work/kelvane.log"; exit 1; }
}
hide_by_tray_menu "to hide the window"

# One left click on the icon brings the window back.
click_icon 1 "to bring the window back"
wait_for 20 main_window_shown || { echo "$click: a click on the tray icon did not bring the window back"; exit 1; }

# Started again while hidden in the tray: the second start hands over and
# ends with 0, and the first program's window shows.
hide_by_tray_menu "to hide before the second start"
status=0
timeout 60 "$work/kelvane" > "$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { echo "the second start ended with $status"; cat "$work/second.log"; exit 1; }
wait_for 10 main_window_shown || { echo "the second start did not bring the window back"; exit 1; }
[ "$(pgrep -c -f -x "$work/kelvane")" -eq 1 ] || { echo "two programs run"; exit 1; }

# The tray goes away (a panel that crashed) while the window is hidden in
# it: the window comes back on its own.
hide_by_tray_menu "to hide after the second start"
gone=$(date +%s%N)
{ kill -9 "$trayer_pid" && wait "$trayer_pid"; } 2>/dev/null || true
wait_for 10 main_window_shown || { echo "the window stayed hidden after the tray went away"; exit 1; }
echo "ok: the window came back $((($(date +%s%N) - gone) / 1000000)) ms after the tray went away"
