#!/usr/bin/env bash
# Makes the Debian package build/kelvane_<version>_<arch>.deb: installs what
# is missing, builds the two programs and the files installed beside them in
# build (the folder run.sh and test.sh use), then runs CPack there. Install
# it with
#
#   sudo apt-get install ./build/kelvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target kelvane kelvane-merge kelvane_packaging_files
cd build
rm -f kelvane_*.deb
cpack -G DEB
