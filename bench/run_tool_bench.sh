#!/usr/bin/env bash
# Times labmix end to end against the yardstick (../shared/bench/limit.c) in the same run, on
# the tables S (1,000 rows, -n 10000), M (100,000 rows, -n 100) and L (1,000,000 rows, -n 10),
# output to /dev/null; prints the median of RUNS runs of each and their ratio, then the peak
# memory of both on L.
#
#   bash bench/run_tool_bench.sh          (RUNS=7 by default; SHARED=../shared by default)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
shared="${SHARED:-$root/../shared}"
runs="${RUNS:-7}"
data="$root/bench/data"
build="$root/build-bench-tool"

source "$root/bench/common.sh"
ensure_time

ensure_tables
cc -O2 -o "$data/limit" "$shared/bench/limit.c"

labmix="$(build_labmix "$build")"
limit="$data/limit"

printf '%-5s %-7s %12s %12s %8s\n' table reshuff yardstick_s labmix_s ratio
for run in "S 10000" "M 100" "L 10"; do
    read -r size count <<<"$run"
    table="$data/table_$size.tsv"
    limit_times=()
    labmix_times=()
    # Alternate the two programs so that both see the same load.
    for ((r = 0; r < runs; r++)); do
        limit_times+=("$(seconds "$limit" "$table" -n "$count" -s 1)")
        labmix_times+=("$(seconds "$labmix" "$table" -n "$count" -s 1)")
    done
    a=$(printf '%s\n' "${limit_times[@]}" | median)
    b=$(printf '%s\n' "${labmix_times[@]}" | median)
    printf '%-5s %-7s %12s %12s %8s\n' "$size" "$count" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')"
done

peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'; }
a=$(peak "$limit" "$data/table_L.tsv" -n 10 -s 1)
b=$(peak "$labmix" "$data/table_L.tsv" -n 10 -s 1)
printf 'peak memory on L: yardstick %d KB, labmix %d KB, ratio %s\n' "$a" "$b" \
    "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')"
