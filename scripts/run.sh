#!/usr/bin/env bash
# Installs what is missing, builds Kelvane and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

# Until the window lands, the program is the engine's console demo: a whole
# search against made-up pages, printed step by step.
exec build/harvest/demo/kelvane-demo "$@"
