#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: in an optimised
# build, then the Debian package made from it, in a build without Qt (the
# engine and tools alone), and under AddressSanitizer and
# UndefinedBehaviorSanitizer; last, a short run of the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Chromium's sandbox refuses to start as root.
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
# The Debian package from that build (no second build): lintian, its files,
# its programs run from the unpacked package.
tests/packaging/package_test.sh build

# The engine and the data tools build and pass without Qt at all.
cmake -S . -B build-nogui -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVANE_GUI=OFF -DKELVANE_BENCH=OFF
cmake --build build-nogui -j "$jobs"
ctest --test-dir build-nogui --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVANE_SANITIZE=ON -DKELVANE_BENCH=OFF
cmake --build build-sanitize -j "$jobs"
# Chromium inside Qt WebEngine frees some objects with a mismatched size; that
# check is off, every other one stays on. Its and fontconfig's leaks at exit
# are listed in tests/sanitizers/lsan.supp.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:new_delete_type_mismatch=0
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# Every parser of outside bytes under libFuzzer (clang, build-fuzz): a fixed
# number of inputs per target from the seed corpora, under a minute here. A
# crash, hang, leak or sanitizer report fails the script. scripts/fuzz.sh
# SECONDS explores longer; docs/fuzzing.md.
scripts/fuzz.sh --check
