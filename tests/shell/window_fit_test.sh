#!/usr/bin/env bash
# The real program's main window on a 1280x800 screen under a window manager
# (openbox), beside a panel docked along the bottom edge (trayer, with a
# strut), read by a screen reader (pyatspi) on the AT-SPI bus. At the scales
# and font sizes of the table below its frame lies inside the screen's
# available area (above the panel); where the screen has room, every toolbar
# button shows (none behind the extension arrow) and the status line's
# welcome text is whole; the program is one frame on the accessibility bus.
# A remembered geometry larger than the screen is clamped to it, and hiding
# the window to the tray remembers the geometry it has.
#
#   window_fit_test.sh PATH/TO/kelvane
set -euo pipefail
# A session bus of our own: the accessibility bus is found through it.
if [ -z "${KELVANE_OWN_SESSION_BUS:-}" ]; then
  KELVANE_OWN_SESSION_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

source "$here/real_program_lib.sh"

# Under load a display, the window manager, the panel or the accessibility
# bus has been seen not to start, or to end at once: each is started again,
# a few times, saying so. The checks themselves run once.
start_again() {  # what start ready
  local try
  for try in 1 2 3; do
    [ "$try" -eq 1 ] || echo "$1 did not start; starting it again (try $try)"
    "$2"
    wait_for 20 "$3" && sleep 0.5 && "$3" && return 0
  done
  echo "$1 did not start"
  exit 1
}

# The display, with its screen in a file that the check reads its pixels from.
start_display() {
  [ -z "${xvfb_pid:-}" ] || kill -9 "$xvfb_pid" 2> /dev/null || true
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -fbdir "$work" -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
  xvfb_pid=$!
  pids+=($xvfb_pid)
}
display_ready() { [ -s "$work/display" ] && DISPLAY=":$(cat "$work/display")" xdpyinfo > /dev/null 2>&1; }
start_again Xvfb start_display display_ready
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM AT_SPI_BUS_ADDRESS NO_AT_BRIDGE GTK_MODULES
program_session "$program"

openbox_pid=""
start_openbox() {
  [ -z "$openbox_pid" ] || kill -9 "$openbox_pid" 2> /dev/null || true
  openbox > "$work/openbox.log" 2>&1 &
  openbox_pid=$!
  pids+=($openbox_pid)
}
openbox_ready() { kill -0 "$openbox_pid" 2> /dev/null && xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window; }
start_again openbox start_openbox openbox_ready

# The panel, as a desktop's: docked, its strut taken out of the work area.
trayer_pid=""
start_trayer() {
  [ -z "$trayer_pid" ] || kill -9 "$trayer_pid" 2> /dev/null || true
  trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
    --SetPartialStrut true > "$work/trayer.log" 2>&1 &
  trayer_pid=$!
  pids+=($trayer_pid)
}
# The work area "x y width height", once the strut is in it.
work_area() { xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4; }
trayer_ready() { kill -0 "$trayer_pid" 2> /dev/null && ! panel_gone; }
panel_gone() { [ "$(work_area | cut -d' ' -f4)" -eq 800 ]; }
start_again trayer start_trayer trayer_ready
read -r ax ay aw ah <<< "$(work_area)"
echo "available area: ${aw}x${ah} at ${ax},${ay}"

# The accessibility bus's own daemon outlives its launcher when that is
# killed: it goes with the test's folder all the same.
trap 'status=$?; pkill -9 -f "$work/runtime/at-spi" 2> /dev/null; (exit $status); cleanup' EXIT
start_a11y_bus() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately > "$work/at-spi.log" 2>&1 &
  pids+=($!)
}
a11y_bus_ready() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.a11y.Bus | grep -q "boolean true"
}
start_again "the accessibility bus" start_a11y_bus a11y_bus_ready

# The main window's frame on the screen, "x0 y0 x1 y1", and its own
# rectangle, "x y width height", once the window manager has framed it. The
# whole measure is made again from the window's name until it holds: Qt
# replaces the main window's native window while it starts (the browser's
# view wants another kind of surface).
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
  echo "$X $Y $WIDTH $HEIGHT $window" > "$work/client"
}

# What a screen reader finds: one frame, the toolbar's buttons showing or
# behind the extension arrow, and whether the status line's welcome text
# ends inside its panel (its last columns of pixels are the panel's own
# colour, and the panel holds text). Prints what is wrong, if anything.
check_reader() {  # scale every-button-shows
  /usr/bin/python3 - "$here" "$kelvane" "$1" "$2" "$work/Xvfb_screen0" << 'EOF'
import collections, struct, sys, time
sys.path.insert(0, sys.argv[1])
import pyatspi, screen_reader_view as reader

pid, scale, every, screen = int(sys.argv[2]), float(sys.argv[3]), sys.argv[4] == "yes", sys.argv[5]
window, until = None, time.monotonic() + 40
while window is None and time.monotonic() < until:
    try:
        if reader.look(pid, "主页", [])[0] is not None:
            window = reader.main_window(reader.applications(pid), "主页")
    except Exception:  # an application that does not answer yet
        pass
    if window is None:
        time.sleep(0.5)
if window is None:
    sys.exit("the window or its page is not on the accessibility bus")
if len(reader.frames(pid)) != 1:
    print("frames in the program:", reader.frames(pid))
showing = {b.name: b.getState().contains(pyatspi.STATE_SHOWING) for b in reader.toolbar_buttons(window)}
hidden = [name for name, shown in showing.items() if name and not shown]
print("buttons showing:", " ".join(name for name, shown in showing.items() if name and shown))
if every and hidden:
    print("behind the extension arrow:", hidden)
if hidden and not showing.get(""):
    print("hidden buttons and no extension arrow:", hidden)
if not every:
    sys.exit(0)

# The screen's pixels (an XWD file): the welcome text's panel, inside its
# frame, once the text is drawn in it.
line = [p for p in reader.find(window, pyatspi.ROLE_STATUS_BAR) if p.name.startswith("欢迎")]
if not line:
    sys.exit("no welcome text in the status bar")
box = line[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
x0, y0 = int(box.x * scale) + 3, int(box.y * scale) + 3
x1, y1 = int((box.x + box.width) * scale) - 3, int((box.y + box.height) * scale) - 3


def ink_columns():
    data = open(screen, "rb").read()
    order = ">" if struct.unpack(">I", data[:4])[0] < 4096 else "<"
    head = struct.unpack(order + "25I", data[:100])
    start, bytes_per_line = head[0] + 12 * head[19], head[12]
    rows = [start + y * bytes_per_line for y in range(y0, y1)]
    pixels = [[data[row + 4 * x:row + 4 * x + 3] for x in range(x0, x1)] for row in rows]
    panel = collections.Counter(p for row in pixels for p in row).most_common(1)[0][0]
    return [x0 + i for i in range(x1 - x0) if any(row[i] != panel for row in pixels)]


ink, until = [], time.monotonic() + 20
while not ink and time.monotonic() < until:
    ink = ink_columns() or time.sleep(0.5) or []
if not ink:
    print("the status line shows no text")
elif ink[-1] >= x1 - 3:
    print("the welcome text is cut: its panel ends at %d, the text runs to %d" % (x1, ink[-1]))
EOF
}

failed=0
fail() { echo "$1"; failed=1; }
# what | scale | font size (dots per inch) | remembered geometry | the panel docks | every button shows
while IFS='|' read -r what scale dpi remembered panel every <&4; do
  read -r what <<< "$what"
  read -r scale dpi remembered panel every <<< "$scale $dpi $remembered $panel $every"
  kill -0 "$openbox_pid" 2> /dev/null || start_again openbox start_openbox openbox_ready
  if [ "$panel" = later ]; then
    kill -9 "$trayer_pid"
    wait_for 20 panel_gone || { echo "the panel's strut stayed"; exit 1; }
  fi
  rm -f "$work/kelvane.conf"
  [ "$remembered" = - ] || printf '[MainWindow]\ngeometry=%s\nmaximized=false\n' "$remembered" > "$work/kelvane.conf"
  environment=(QT_SCALE_FACTOR="$scale" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
  # Fonts alone: Qt 6 otherwise takes a font size for a scale.
  [ "$dpi" = - ] || environment+=(QT_FONT_DPI="$dpi" QT_ENABLE_HIGHDPI_SCALING=0)
  env "${environment[@]}" "$work/kelvane" > "$work/kelvane.log" 2>&1 &
  kelvane=$!
  wait_for_main_window 60 "$kelvane" || { echo "$what: the window never showed"; exit 1; }
  # A desktop that starts its panel with its programs: it docks after the window shows.
  if [ "$panel" = later ]; then
    wait_for 20 measure_frame || { echo "$what: the window was never framed"; exit 1; }
    start_again trayer start_trayer trayer_ready
  fi
  # Once framed, the window keeps still: measured again a second later.
  wait_for 20 measure_frame && sleep 1 && wait_for 10 measure_frame || {
    echo "$what: the window was never framed"
    cat "$work/kelvane.log"
    exit 1
  }
  read -r x0 y0 x1 y1 < "$work/frame"
  echo "$what: frame ${x0},${y0} to ${x1},${y1}"
  if [ "$x0" -lt "$ax" ] || [ "$y0" -lt "$ay" ] || [ "$x1" -gt $((ax + aw)) ] || [ "$y1" -gt $((ay + ah)) ]; then
    fail "$what: the window leaves the available area"
  fi
  check_reader "$scale" "$every" > "$work/reader.out" 2>&1 || echo "the reader ended with status $?" >> "$work/reader.out"
  cat "$work/reader.out"
  grep -q '^buttons showing' "$work/reader.out" && ! grep -qv '^buttons showing' "$work/reader.out" ||
    fail "$what: as a screen reader finds it, above"

  if [ "$remembered" != - ]; then
    # Clamped, not replaced by the starting size: nearly the whole area.
    [ $((x1 - x0)) -gt $((aw * 9 / 10)) ] && [ $((y1 - y0)) -gt $((ah * 9 / 10)) ] ||
      fail "$what: the remembered geometry was not used"
    # Hidden to the tray: the geometry it has is remembered (at scale 1 Qt's
    # pixels are the screen's).
    read -r cx cy cw ch window < "$work/client"
    xdotool windowminimize "$window"
    wait_for 20 grep -q "geometry=$cx,$cy,$cw,$ch" "$work/kelvane.conf" ||
      fail "$what: hidden to the tray, the window's ${cw}x${ch} at ${cx},${cy} was not remembered: $(cat "$work/kelvane.conf")"
  fi
  kill -9 "$kelvane" 2> /dev/null || fail "$what: the program ended: $(cat "$work/kelvane.log")"
  wait "$kelvane" 2> /dev/null || true
  # The next start must not hand over to this one.
  wait_for 10 sh -c "! xdotool search --onlyvisible --name '主页'"
done 4<< 'ROWS'
scale 1                          | 1   | -   | -                  | first | yes
scale 1.5                        | 1.5 | -   | -                  | first | yes
scale 2                          | 2   | -   | -                  | first | no
scale 2, the panel docking later | 2   | -   | -                  | later | no
fonts half as large again        | 1   | 144 | -                  | first | yes
a remembered size too large      | 1   | -   | -100,-50,3000,2000 | first | yes
ROWS
exit "$failed"
