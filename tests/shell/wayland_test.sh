#!/usr/bin/env bash
# A whole search through the real window and the real browser as a native
# Wayland client: a headless Weston compositor, no X display at all, and Qt
# told to use Wayland only (it stops rather than fall back to X).
#
#   wayland_test.sh PATH/TO/browser_tests
set -euo pipefail
tests=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
runtime="$work/runtime"
mkdir -m 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
weston_process() { exec weston --backend=headless-backend.so --socket=wayland-kelvane --idle-time=0; }
weston_ready() { test -S "$runtime/wayland-kelvane"; }
start_until_ready weston 30 weston_ready weston_process

# Qt 6.4's Wayland text input crashes drawing a text cursor when the
# compositor has no seat, which a headless one lacks: no input method here.
status=0
env -u DISPLAY WAYLAND_DISPLAY=wayland-kelvane QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
  KELVANE_TEST_VERDICT="$work/verdict" "$tests" --gtest_filter='SearchEndToEnd.TwoKeywordsRunToTheEnd' \
  > "$work/test.log" 2>&1 || status=$?
cat "$work/test.log"
[ "$status" -ne 0 ] || exit 0

# Qt 6.4's Wayland client may abort as a window goes, at the test's end or
# the program's: its frame-callback thread and the window's hiding both free
# one wl_callback, and libwayland stops at "wl_proxy_unref: Assertion
# `proxy->refcount > 0' failed" (in QWaylandWindow::reset). Qt's fix has the
# thread hand the callback over under the window's frame mutex:
# codereview.qt-project.org/c/qt/qtwayland/+/445585. So the verdict the test
# gives before its window goes decides, and an abort after a pass is let by
# only when it is that one and no sanitizer spoke. Drop this once the Qt in
# use has the fix (Qt 6.5 on; there `nm -DC libQt6WaylandClient.so.6 | grep
# handleFrameCallback` shows it taking the wl_callback*; Debian 12's 6.4.2
# lacks it).
if [ "$(cat "$work/verdict" 2> /dev/null)" = passed ] &&
  grep -q "wl_proxy_unref: Assertion \`proxy->refcount > 0' failed" "$work/test.log" &&
  ! grep -q -E "Sanitizer|runtime error" "$work/test.log"; then
  echo "ok: the search passed; the abort after it is Qt 6.4's Wayland client destroying a window"
  exit 0
fi
exit "$status"
