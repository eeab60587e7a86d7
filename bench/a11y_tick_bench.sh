#!/usr/bin/env bash
# The window thread's CPU per page as screen-reader users run the program:
# the real window and browser on an X display (Xvfb, Qt's xcb platform), a
# private session bus with the accessibility bus and registry on it, Qt's
# AT-SPI bridge on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1) and a listener
# registered for a screen reader's events (a11y_listener.py), whose counts
# show that events flow. Qt's bridge sends only the events some client has
# registered for.
#
#   bench/a11y_tick_bench.sh BUILD [BUILD...]
#
# Each BUILD is a build folder with bench/window_bench built; the runs
# alternate between them for each page size, so that several builds are
# compared in one run. Environment:
#   SIZES="20 1024 5120"   page sizes in KB
#   PAGES="30 20 8"        pages measured at each size (after 3 to warm up)
#   INTERVALS="1 1 4"      the run's interval at each size, in seconds: a
#                          5 MB page still loading when the tick reads it
#                          can answer with no text, which ends the run
#   ROUNDS=1               rounds over the builds (the order is reversed
#                          every other round)
#   LISTENER_ASK=1         the listener also asks each event's source for
#                          its name and role
#   KELVANE_BENCH_WRAP="perf record -g -o FILE --"  runs window_bench under it
#
# Needs xvfb, dbus, at-spi2-core and python3-pyatspi. Figures and the build
# of an older tree to compare with: docs/benchmarks.md.
set -euo pipefail
here=$(dirname "$(realpath "$0")")

if [ "${1:-}" = --session ]; then
  # Inside the display and the session bus: one window_bench run.
  shift
  bench=$1 kb=$2 pages=$3 seconds=$4 counts=$5
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      > /dev/null 2>&1 && break
    sleep 0.1
  done
  ready=$(mktemp -u)
  ask=()
  [ -n "${LISTENER_ASK:-}" ] && ask=(--ask)
  /usr/bin/python3 "$here/a11y_listener.py" "$counts" "$ready" "${ask[@]}" &
  listener=$!
  for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
  [ -e "$ready" ] || { echo "the accessibility listener did not start" >&2; exit 1; }
  rc=0
  # shellcheck disable=SC2086  # the wrapper is words
  QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ${KELVANE_BENCH_WRAP:-} \
    "$bench" ticks "$kb" "$pages" "$seconds" || rc=$?
  sleep 0.5  # the last events reach the listener
  kill -TERM "$listener"
  wait "$listener" || true
  kill -TERM "$launcher" 2> /dev/null || true
  wait "$launcher" 2> /dev/null || true
  rm -f "$ready"
  exit "$rc"
fi

[ $# -ge 1 ] || { sed -n '2,27p' "$0"; exit 2; }
builds=("$@")
read -r -a sizes <<< "${SIZES:-20 1024 5120}"
read -r -a pages <<< "${PAGES:-30 20 8}"
read -r -a intervals <<< "${INTERVALS:-1 1 4}"
rounds=${ROUNDS:-1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "size, interval | build | tick CPU ms (median, p90) | page CPU ms (median, p90) | AT-SPI events a page"
for round in $(seq "$rounds"); do
  order=("${builds[@]}")
  if [ $((round % 2)) -eq 0 ]; then
    order=()
    for ((i = ${#builds[@]} - 1; i >= 0; i--)); do order+=("${builds[i]}"); done
  fi
  for i in "${!sizes[@]}"; do
    kb=${sizes[i]} n=${pages[i]:-${pages[-1]}} seconds=${intervals[i]:-${intervals[-1]}}
    for build in "${order[@]}"; do
      log="$out/run.txt" counts="$out/counts.txt"
      rm -f "$counts"
      xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
        dbus-run-session -- "$0" --session "$(realpath "$build/bench/window_bench")" "$kb" "$n" "$seconds" "$counts" \
        > "$log" 2> "$out/err.txt" || { cat "$log" "$out/err.txt" >&2; exit 1; }
      # "  window thread CPU ms: tick median A (p90 B, mean C); page median D (p90 E, mean F)"
      figures=$(sed -n 's/.*tick median \([0-9.]*\) (p90 \([0-9.]*\),.*page median \([0-9.]*\) (p90 \([0-9.]*\),.*/\1, \2 | \3, \4/p' "$log")
      events=$(awk '$2 == "all" { print $1 }' "$counts" 2> /dev/null || echo 0)
      # The events of the warm-up pages and the start are in the count too.
      echo "$kb KB, $seconds s | $build | $figures | $(awk -v e="${events:-0}" -v p="$((n + 3))" 'BEGIN { printf "%.0f", e / p }')"
      if [ -n "${VERBOSE:-}" ]; then
        cat "$log"
        cat "$counts" 2> /dev/null || true
      fi
    done
  done
done
