#!/usr/bin/env bash
# The merge beside what bounds it and what a user would run instead, on the
# same files in one run:
#   cat FILES > OUT                                   (reading and writing the bytes)
#   kelvane-merge OUT FILES...                        (locale zh_CN.GBK)
#   LC_ALL=C sort -u FILES...
#   LC_ALL=zh_CN.GBK sort -f -u FILES...
# on four data sets (make_merge_data): numbers of 130 MB and 620 MB, mixed
# GBK text of 123 MB and 10 million short Chinese words; then the 620 MB
# numbers, the mixed text and the words again beyond memory
# (kelvane-merge --memory 16M, 32M and 64M, BUDGET_RUNS times, default 1),
# whose output must be the same bytes and whose peak at most 12 MB over the
# budget.
#
# Wall time (to the millisecond) around /usr/bin/time, which tells the peak
# resident memory. cat and
# kelvane-merge run RUNS times and the best wall time counts, with that run's
# memory; GNU sort runs SORT_RUNS times (default 1: it is slow). At the end,
# the aims and whether they were met. BEFORE=path/to/an/older/kelvane-merge
# adds its figures. The data stays in WORKDIR for the next run.
#
#   cmake --build build --target kelvane-merge make_merge_data
#   bench/merge_bench.sh [BUILD=build] [WORKDIR=/tmp/kelvane-merge-bench] [RUNS=3]
set -euo pipefail
build=${1:-build}
work=${2:-/tmp/kelvane-merge-bench}
runs=${3:-3}
sort_runs=${SORT_RUNS:-1}
budget_runs=${BUDGET_RUNS:-1}
merge=$(realpath "$build/cli/kelvane-merge")
make=$(realpath "$build/bench/make_merge_data")
before=${BEFORE:+$(realpath "$BEFORE")}

# GNU sort needs the locale itself to sort in it.
if ! locale -a | grep -qix 'zh_CN\.gbk'; then
  echo "generating the zh_CN.GBK locale" >&2
  localedef -i zh_CN -f GBK zh_CN.GBK
fi

mkdir -p "$work"
results=$work/results
: > "$results"

measure() {  # set label times command...: best wall time and its peak memory
  local set=$1 label=$2 times=$3 best="" kb=""
  shift 3
  for _ in $(seq "$times"); do
    local start end s k
    start=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$work/time" "$@" > /dev/null
    end=$(date +%s%N)
    s=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    read -r k < "$work/time"
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$s; kb=$k; fi
  done
  echo "$set|$label|$best|$kb" >> "$results"
}

make_set() {  # name kind files lines
  local dir=$work/$1
  mkdir -p "$dir"
  [ -f "$dir/data0.txt" ] || "$make" "--$2" "$dir" "$3" "$4"
}

run_set() {  # name
  local dir=$work/$1
  cd "$dir"
  measure "$1" "cat > file" "$runs" sh -c "cat data*.txt > '$work/cat.txt'"
  [ -z "$before" ] || measure "$1" "kelvane-merge (before)" "$runs" env LC_ALL=zh_CN.GBK "$before" "$work/before.txt" data*.txt
  measure "$1" "kelvane-merge" "$runs" env LC_ALL=zh_CN.GBK "$merge" "$work/$1.out" data*.txt
  measure "$1" "LC_ALL=C sort -u" "$sort_runs" env LC_ALL=C sort -u -o "$work/sorted.txt" data*.txt
  measure "$1" "zh_CN.GBK sort -f -u" "$sort_runs" env LC_ALL=zh_CN.GBK sort -f -u -o "$work/sorted.txt" data*.txt
  cd - > /dev/null
}

make_set numbers130 numbers 10 1000000
make_set numbers620 numbers 10 4770000
make_set mixed mixed 10 1000000
make_set words words 10 1000000
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for set in numbers130 numbers620 mixed words; do run_set "$set"; done
: > "$work/same"
for set in numbers620 mixed words; do
  cd "$work/$set"
  for size in 16M 32M 64M; do
    measure "$set" "kelvane-merge --memory $size" "$budget_runs" env LC_ALL=zh_CN.GBK "$merge" --memory "$size" "$work/beyond.out" data*.txt
    same=no
    cmp -s "$work/$set.out" "$work/beyond.out" && same=yes
    echo "$set|$size|$same" >> "$work/same"
  done
  cd - > /dev/null
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
sorted_same=no
LC_ALL=C sort -u "$work"/numbers130/data*.txt | cmp -s - "$work/numbers130.out" && sorted_same=yes

# The report: figures per set, then the ratios against the aims.
awk -F'|' -v work="$work" -v sorted_same="$sorted_same" '
  FILENAME ~ /same$/ { same[$1 "|" $2] = $3; next }
  function bytes(set,   cmd, b) {
    if (!(set in size)) { cmd = "cat " work "/" set "/data*.txt | wc -c"; cmd | getline b; close(cmd); size[set] = b }
    return size[set]
  }
  function check(what, ok) { printf "  %-62s %s\n", what, ok ? "met" : "MISSED"; missed += !ok }
  { t[$1 "|" $2] = $3; kb[$1 "|" $2] = $4; if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } rows[$1] = rows[$1] "|" $2 }
  END {
    for (i = 1; i <= n; i++) {
      set = order[i]; b = bytes(set)
      printf "\n== %s: %d bytes\n", set, b
      printf "  %-28s %9s %12s %10s\n", "command", "wall", "peak KB", "B/B"
      split(substr(rows[set], 2), labels, "|")
      for (j = 1; j in labels; j++) {
        k = set "|" labels[j]
        printf "  %-28s %8.3fs %12d %10.2f\n", labels[j], t[k], kb[k], kb[k] * 1024 / b
      }
    }
    print "\n== ratios"
    for (i = 1; i <= n; i++) {
      set = order[i]; m = t[set "|kelvane-merge"]
      printf "  %-11s merge/cat %5.2f   merge/C-sort %5.2f   zh-sort/merge %6.2f   %.2f B/B\n", set,
        m / t[set "|cat > file"], m / t[set "|LC_ALL=C sort -u"], t[set "|zh_CN.GBK sort -f -u"] / m,
        kb[set "|kelvane-merge"] * 1024 / bytes(set)
    }
    print "\n== aims"
    for (s = 1; s <= 2; s++) {
      set = s == 1 ? "numbers130" : "numbers620"
      check(set ": at most 3 x the time of cat > file", t[set "|kelvane-merge"] <= 3 * t[set "|cat > file"])
      check(set ": at most 1.5 bytes of peak memory per input byte", kb[set "|kelvane-merge"] * 1024 <= 1.5 * bytes(set))
    }
    check("mixed: at least 5 x faster than zh_CN.GBK sort -f -u", t["mixed|zh_CN.GBK sort -f -u"] >= 5 * t["mixed|kelvane-merge"])
    check("mixed: at most 3 bytes of peak memory per input byte", kb["mixed|kelvane-merge"] * 1024 <= 3 * bytes("mixed"))
    check("words: at most 4 bytes of peak memory per input byte", kb["words|kelvane-merge"] * 1024 <= 4 * bytes("words"))
    for (s = 1; s <= 3; s++) {
      set = s == 1 ? "numbers620" : s == 2 ? "mixed" : "words"
      for (m = 16; m <= 64; m *= 2) {
        k = set "|kelvane-merge --memory " m "M"
        check(set " --memory " m "M: peak at most 12 MB over the budget", kb[k] <= (m + 12) * 1024)
        check(set " --memory " m "M: the same bytes as in memory", same[set "|" m "M"] == "yes")
      }
    }
    check("numbers130: the same bytes as LC_ALL=C sort -u", sorted_same == "yes")
    exit missed != 0
  }' "$work/same" "$results"
