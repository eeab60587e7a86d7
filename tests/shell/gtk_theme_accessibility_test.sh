#!/usr/bin/env bash
# The real program under Qt's GTK 3 platform theme with accessibility on, as
# many GNOME desktops run it: on Xvfb, with a session bus of its own and the
# AT-SPI bus and registry on it, its window shows, a screen reader (pyatspi)
# finds the main window and its toolbar's buttons, and the program keeps
# running. The program is one application there: GTK's own accessibility
# bridge, which the theme loads beside Qt's, would make it two, and a screen
# reader that takes GTK's finds no window. Needs Xvfb, xdotool, dbus-run-session,
# at-spi2-core, qt6-gtk-platformtheme and python3-pyatspi.
#
#   gtk_theme_accessibility_test.sh PATH/TO/kelvane
set -euo pipefail
# A session bus of our own: the accessibility bus is found through it.
if [ -z "${KELVANE_OWN_SESSION_BUS:-}" ]; then
  KELVANE_OWN_SESSION_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
program=$(realpath "$1")
reader=(/usr/bin/python3 "$(dirname "$(realpath "$0")")/screen_reader_view.py")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
fail() { echo "$1"; cat "$work/kelvane.log"; exit 1; }

start_xvfb
# Whatever the caller's desktop had: this test's display and buses only, and
# no word from the caller on GTK's bridge.
unset WAYLAND_DISPLAY QT_QPA_PLATFORM AT_SPI_BUS_ADDRESS NO_AT_BRIDGE GTK_MODULES
program_session "$program"

# The accessibility bus's own daemon outlives its launcher when that is
# killed: it goes with the test's folder all the same.
trap 'status=$?; pkill -9 -f "$work/runtime/at-spi" 2> /dev/null; (exit $status); cleanup' EXIT
# The accessibility bus, as a desktop session starts it; the registry comes
# when the first client asks for it. Asked without starting it, so that
# D-Bus does not start a second one.
/usr/libexec/at-spi-bus-launcher --launch-immediately > "$work/at-spi.log" 2>&1 &
pids+=($!)
a11y_bus_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.a11y.Bus | grep -q "boolean true"
}
wait_for 30 a11y_bus_up || { echo "no accessibility bus"; cat "$work/at-spi.log"; exit 1; }

QT_QPA_PLATFORMTHEME=gtk3 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/kelvane" > "$work/kelvane.log" 2>&1 &
kelvane=$!
pids+=($kelvane)
wait_for_main_window 60 "$kelvane" || { echo "the window never showed"; exit 1; }
# The theme is in use (a missing plugin would make this test pass on Qt's
# own theme, proving nothing).
grep -q libgtk-3 "/proc/$kelvane/maps" || fail "the GTK 3 theme did not load"

"${reader[@]}" 40 "$kelvane" 主页 导入 搜索 终止 保存 进程 合并 主页 关于 退出 > "$work/reader.out" 2>&1 ||
  fail "a screen reader (40 s): $(cat "$work/reader.out")"
sleep 1
kill -0 "$kelvane" 2>/dev/null || fail "the program ended"
echo "ok: the toolbar over AT-SPI:" $(cat "$work/reader.out")
