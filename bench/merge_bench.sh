#!/usr/bin/env bash
# The merge side by side with GNU sort, on the same files in one run:
#   kelvane-merge OUT FILES...          (locale zh_CN.UTF-8)
#   LC_ALL=C sort -u FILES...
#   LC_ALL=zh_CN.UTF-8 sort -f -u FILES...
# Wall time and peak memory from /usr/bin/time; each command runs RUNS times
# and the best wall time counts.
#
#   cmake --build build --target kelvane-merge make_merge_data
#   bench/merge_bench.sh [BUILD=build] [WORKDIR=/tmp/kelvane-merge-bench] [RUNS=3]
set -euo pipefail
build=${1:-build}
work=${2:-/tmp/kelvane-merge-bench}
runs=${3:-3}
merge=$(realpath "$build/shell/kelvane-merge")
make=$(realpath "$build/bench/make_merge_data")

# GNU sort needs the locale itself to sort in it.
if ! locale -a | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "generating the zh_CN.UTF-8 locale" >&2
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

measure() {  # label command...: prints "label seconds peak-KB"
  local label=$1 best="" kb=""
  shift
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null
    read -r s k < "$work/time"
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$s; kb=$k; fi
  done
  printf '%-28s %8s s %10s KB\n' "$label" "$best" "$kb"
}

run_set() {  # name files lines
  local dir=$work/$1
  mkdir -p "$dir"
  [ -f "$dir/data0.txt" ] || "$make" "$dir" "$2" "$3"
  local bytes
  bytes=$(cat "$dir"/data*.txt | wc -c)
  echo "== $1: $2 files x $3 lines, $bytes bytes"
  (cd "$dir" &&
    measure "kelvane-merge" env LC_ALL=zh_CN.UTF-8 "$merge" "$work/out.txt" data*.txt &&
    measure "LC_ALL=C sort -u" env LC_ALL=C sort -u -o "$work/sorted.txt" data*.txt &&
    { [ "$1" != large ] || measure "zh_CN.UTF-8 sort -f -u" env LC_ALL=zh_CN.UTF-8 sort -f -u -o "$work/sorted.txt" data*.txt; })
  # Same lines, same order: numbers sort the same in both.
  LC_ALL=C sort -u "$dir"/data*.txt | cmp - "$work/out.txt" && echo "outputs identical"
}

mkdir -p "$work"
run_set large 10 1000000
run_set small 10 10000
