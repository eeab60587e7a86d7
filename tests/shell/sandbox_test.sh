#!/usr/bin/env bash
# The real program and the browser's sandbox: as root without the user's
# say-so it stops at once with a message; as an ordinary user its browser
# processes run sandboxed (in a user namespace of their own, none started
# with --no-sandbox).
#
#   sandbox_test.sh PATH/TO/kelvane
set -euo pipefail
program=$(realpath "$1")

source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
chmod 755 "$work"
cp "$program" "$work/kelvane"
chmod 755 "$work/kelvane"

if [ "$(id -u)" -eq 0 ]; then
  status=0
  env -u QTWEBENGINE_DISABLE_SANDBOX -u QTWEBENGINE_CHROMIUM_FLAGS QT_QPA_PLATFORM=offscreen \
    timeout 30 "$work/kelvane" > "$work/root.out" 2> "$work/root.err" || status=$?
  [ "$status" -eq 1 ] || { echo "as root it did not stop (status $status)"; exit 1; }
  grep -q "QTWEBENGINE_DISABLE_SANDBOX=1" "$work/root.err" || { echo "no message:"; cat "$work/root.err"; exit 1; }
  # An ordinary user for the rest.
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  as_user=()
fi

mkdir "$work/home"
[ "$(id -u)" -ne 0 ] || chown 65534:65534 "$work/home"
chmod 700 "$work/home"
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
  QT_QPA_PLATFORM=offscreen "$work/kelvane" > "$work/user.log" 2>&1 &
pids+=($!)

# The program's own process: the one running the copy (not setpriv or env);
# its browser processes are its descendants.
main_pid() { pgrep -f -x "$work/kelvane" | head -n 1; }
descendants() {
  local child
  for child in $(pgrep -P "$1"); do
    echo "$child"
    descendants "$child"
  done
}
sandboxed() {
  local main child
  main=$(main_pid) || return 1
  [ -n "$main" ] || return 1
  for child in $(descendants "$main"); do
    [ -r "/proc/$child/cmdline" ] || continue
    if tr '\0' ' ' < "/proc/$child/cmdline" | grep -q -- "--no-sandbox"; then
      echo "a browser process runs without the sandbox"; exit 1
    fi
    [ "$(readlink "/proc/$child/ns/user")" != "$(readlink "/proc/$main/ns/user")" ] && return 0
  done
  return 1
}
for _ in $(seq 1 150); do
  sandboxed && { echo "ok"; exit 0; }
  sleep 0.2
done
echo "no sandboxed browser process within 30 s"
cat "$work/user.log"
exit 1
