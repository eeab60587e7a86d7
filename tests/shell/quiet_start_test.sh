#!/usr/bin/env bash
# The real program started by an ordinary user on an X display prints
# nothing on the terminal in its first 15 seconds: no browser set-up report,
# no routine Chromium lines.
#
#   quiet_start_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
chmod 755 "$work"
cp "$program" "$work/kelvane"
chmod 755 "$work/kelvane"

start_xvfb

# An ordinary user, as a desktop session starts the program.
as_user=()
mkdir -m 700 "$work/home"
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chown 65534:65534 "$work/home"
fi
status=0
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
  DISPLAY="$DISPLAY" LANG=C.UTF-8 ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
  timeout 15 "$work/kelvane" > "$work/out" 2>&1 || status=$?
# timeout ends it with SIGTERM: 124 when it was still running.
[ "$status" -eq 124 ] || { echo "the program ended by itself with $status"; cat "$work/out"; exit 1; }
[ ! -s "$work/out" ] || { echo "the start printed:"; cat "$work/out"; exit 1; }
echo "ok"
