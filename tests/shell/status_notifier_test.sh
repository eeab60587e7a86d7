#!/usr/bin/env bash
# The real program on a StatusNotifier desktop: an X display with no XEmbed
# tray, a session bus with an item registry (the watcher) and a notification
# server, as KDE Plasma or GNOME with the AppIndicator extension give. The
# item has the theme icon's name and the seven menu items; the menu hides the
# window, Activate brings it back; when the watcher ends, the hidden window
# comes back; when a watcher comes back, the icon registers again and
# minimising hides to it. Needs Xvfb, xdotool, dbus-daemon and python3-dbus with
# python3-gi.
#
#   status_notifier_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")
desktop=(/usr/bin/python3 "$(dirname "$(realpath "$0")")/status_notifier_desktop.py")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
fail() { echo "$1"; cat "$work/kelvane.log"; exit 1; }

# A session bus of our own, and nothing else on it.
start_session_bus
start_xvfb
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
program_session "$program"
# The icon installed in hicolor as the package installs it.
mkdir -p "$work/share/icons/hicolor/scalable/apps"
cp /usr/share/icons/hicolor/index.theme "$work/share/icons/hicolor/"
cp "$(dirname "$(realpath "$0")")/../../shell/icons/kelvane.svg" \
  "$work/share/icons/hicolor/scalable/apps/com.example.kelvane.svg"
export XDG_DATA_DIRS="$work/share:/usr/share"

# The desktop first: Qt chooses the StatusNotifier item when a host is there.
# Each of its servers is up once it owns its name on the bus.
name_owned() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetNameOwner "string:$1"
}
watcher_ready() { name_owned org.kde.StatusNotifierWatcher; }
notifications_ready() { name_owned org.freedesktop.Notifications; }
start_until_ready watcher 30 watcher_ready "${desktop[@]}" watcher "$work/items"
watcher=$started_pid
start_until_ready notifications 30 notifications_ready "${desktop[@]}" notifications "$work/notifications"

QT_LOGGING_RULES="${KELVANE_TEST_LOGGING:-}" "$work/kelvane" > "$work/kelvane.log" 2>&1 &
kelvane=$!
pids+=($kelvane)
wait_for_main_window 60 "$kelvane" || { echo "the window never showed"; exit 1; }
wait_for 30 test -s "$work/items" || fail "the item never registered"
item=$(head -n 1 "$work/items")

icon=$("${desktop[@]}" icon-name "$item")
[ "$icon" = "com.example.kelvane" ] || fail "IconName is '$icon'"
menu=$("${desktop[@]}" menu "$item")
expected="显示主程序(_S) disabled
最小化显示(_M) enabled
与我们联系(_L) enabled
访问Ferrowind主页(_V) enabled
关于本软件(_A) enabled
打开号码文件夹(_R) enabled
退 出(_Exit) enabled"
[ "$menu" = "$expected" ] || fail "the menu is:
$menu"

"${desktop[@]}" click "$item" "最小化显示(_M)"
wait_for 60 main_window_hidden || fail "the menu did not hide the window"
"${desktop[@]}" activate "$item"
wait_for 60 main_window_shown || fail "Activate did not bring the window back"

# The watcher ends (the panel crashed) while the window is hidden.
"${desktop[@]}" click "$item" "最小化显示(_M)"
wait_for 60 main_window_hidden || fail "the menu did not hide the window"
gone=$(date +%s%N)
{ kill -9 "$watcher" && wait "$watcher"; } 2>/dev/null || true
wait_for 60 main_window_shown || fail "the window stayed hidden after the watcher went away"
back=$((($(date +%s%N) - gone) / 1000000))

# The panel is back: the icon registers with it again, and hides the window.
start_until_ready watcher-again 30 watcher_ready "${desktop[@]}" watcher "$work/items-again"
wait_for 30 test -s "$work/items-again" || fail "the item did not register with the new watcher"
item=$(head -n 1 "$work/items-again")
"${desktop[@]}" click "$item" "最小化显示(_M)"
wait_for 60 main_window_hidden || fail "the menu did not hide the window after the watcher came back"
"${desktop[@]}" activate "$item"
wait_for 60 main_window_shown || fail "Activate did not bring the window back after the watcher came back"
echo "ok: the window came back $back ms after the watcher went away"
