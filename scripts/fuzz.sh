#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#       Explores: each target (all by default) for SECONDS (300), starting
#       from its seed corpus and from what earlier runs kept in
#       build-fuzz/corpus/TARGET.
#   scripts/fuzz.sh --check
#       The short, repeatable run scripts/test.sh makes: a fixed number of
#       inputs per target from a fixed seed, from the seed corpus alone.
#
# A crash, a hang (10 s), a leak, a sanitizer report or a broken property
# stops that target and leaves its input in build-fuzz/findings/; the script
# then fails. docs/fuzzing.md says what to do with a finding.
set -euo pipefail
cd "$(dirname "$0")/.."

# The check's inputs per target: a few seconds each here. The merge's
# target runs two merges per input, each with the radix sort's fixed tables.
check_runs() {
  case $1 in
    sorted_lines) echo 4000 ;;
    page_text | progress_file) echo 100000 ;;
    *) echo 200000 ;;
  esac
}

mode=explore
seconds=300
if [ "${1:-}" = --check ]; then
  mode=check
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKELVANE_FUZZ=ON -DKELVANE_GUI=OFF -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF >/dev/null
cmake --build build-fuzz --target kelvane_fuzzers -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/*_fuzzer.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_fuzzer}")
  done
fi

# The sanitizers' options come from here, not from whatever the caller had
# set for the ordinary test builds.
unset ASAN_OPTIONS LSAN_OPTIONS
export UBSAN_OPTIONS=print_stacktrace=1

findings=build-fuzz/findings
mkdir -p "$findings"
failed=()
for target in "${targets[@]}"; do
  fuzzer=build-fuzz/tests/fuzz/${target}_fuzzer
  if [ ! -x "$fuzzer" ]; then
    echo "$target: not built here (the configure step says why)"
    continue
  fi
  options=(-timeout=10 -rss_limit_mb=2048 "-artifact_prefix=$findings/$target-")
  [ ! -f "tests/fuzz/$target.dict" ] || options+=("-dict=tests/fuzz/$target.dict")
  if [ $mode = check ]; then
    # New inputs go to a scratch folder that starts empty every time.
    work=build-fuzz/check-corpus/$target
    rm -rf "$work"
    options+=("-runs=$(check_runs "$target")" -seed=1)
  else
    work=build-fuzz/corpus/$target
    options+=("-max_total_time=$seconds")
  fi
  mkdir -p "$work"
  log=build-fuzz/fuzz-$target.log
  start=$SECONDS
  if "$fuzzer" "${options[@]}" "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "$target: $(grep -Eo 'Done [0-9]+ runs' "$log" | tail -n 1), $((SECONDS - start)) s"
  else
    echo "$target: FINDING (log: $log)"
    grep -E 'ERROR|SUMMARY|property broken|Test unit written|runtime error' "$log" | head -n 20
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Findings in: ${failed[*]}; inputs in $findings/"
  exit 1
fi
