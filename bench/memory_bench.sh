#!/usr/bin/env bash
# The window's memory over a long run as its users run it: the real window
# and browser on an X display (Xvfb, Qt's xcb platform) with a session bus
# and the accessibility bus, once with accessibility off and once on (as when
# a screen reader or another assistive tool runs), against the benchmark's
# local stand-in search engine at the shortest interval (1 s).
#
#   bench/memory_bench.sh [BUILD=build] [PAGES=2000] [KB=20]
#
# Needs xvfb, dbus and at-spi2-core (Debian packages). About 35 minutes a
# run for 2,000 pages; both runs go side by side. Figures in docs/benchmarks.md.
set -euo pipefail
build=${1:-build}
pages=${2:-2000}
kb=${3:-20}
bench=$(realpath "$build/bench/window_bench")
out=$(mktemp -d)

run() {
  local a11y=$1
  local extra=()
  [ "$a11y" = on ] && extra=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
  xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
    dbus-run-session -- env QT_QPA_PLATFORM=xcb "${extra[@]}" "$bench" memory "$pages" "$kb" \
    > "$out/$a11y.txt" 2> "$out/$a11y.err"
}
run off &
off=$!
run on &
on=$!
wait "$off" "$on"
for a11y in off on; do
  echo "== accessibility $a11y"
  cat "$out/$a11y.txt"
done
rm -rf "$out"
