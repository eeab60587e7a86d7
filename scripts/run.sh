#!/usr/bin/env bash
# Installs what is missing, builds Kelvane and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target kelvane

# Chromium refuses to start as root with its sandbox on; the program never
# turns it off itself.
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

# Without a desktop (a bare server, a container), the window opens on a
# virtual display instead.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting Kelvane on a virtual X display (Xvfb)."
  exec xvfb-run -a -s "-screen 0 1280x800x24" build/shell/kelvane "$@"
fi
exec build/shell/kelvane "$@"
