#!/usr/bin/env bash
# Times labmix's restricted reshuffles and its long and wide tables against plain runs in the
# same run, output to /dev/null, median of RUNS runs each, alternating the two:
#   - --strata on L3 (table_L of ../shared/bench/gen_table.py, 1,000,000 rows, with a third
#     column of 1,000 interleaved strata), -n 10, against the same run without --strata;
#   - --format long and --format wide against listings for the same bytes of output: listings
#     of table_L with -n 10 and table_S with -n 10000, the tables with the reshuffle count that
#     writes about as many bytes.
#
#   bash bench/formats_bench.sh          (RUNS=7 by default; SHARED=../shared by default)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
shared="${SHARED:-$root/../shared}"
runs="${RUNS:-7}"
data="$root/bench/data"
build="$root/build-bench-tool"

source "$root/bench/common.sh"

ensure_tables
# Stratum k of row r is (7919 r) mod 1000: every stratum's rows are spread over the table.
[[ -f "$data/table_L3.tsv" ]] ||
    awk -F'\t' '{ print $0 "\tS" (NR * 7919 % 1000) }' "$data/table_L.tsv" >"$data/table_L3.tsv"

labmix="$(build_labmix "$build")"

bytes() { "$@" | wc -c; }

# compare NAME "BASE ARGS" "OTHER ARGS": medians of both, the ratio other / base, and the bytes
# each writes.
compare() {
    local name="$1" base=($2) other=($3) a_times=() b_times=()
    for ((r = 0; r < runs; r++)); do
        a_times+=("$(seconds "$labmix" "${base[@]}")")
        b_times+=("$(seconds "$labmix" "${other[@]}")")
    done
    local a b
    a=$(printf '%s\n' "${a_times[@]}" | median)
    b=$(printf '%s\n' "${b_times[@]}" | median)
    printf '%-30s %9s %9s %7s %12s %12s\n' "$name" "$a" "$b" \
        "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')" \
        "$(bytes "$labmix" "${base[@]}")" "$(bytes "$labmix" "${other[@]}")"
}

# The reshuffle count that makes TABLE in FORMAT write about as many bytes as the listings of
# TABLE with N reshuffles (the tables' lines are shorter or longer than the listings').
matched() {
    local table="$1" n="$2" format="$3" listings one
    listings=$(bytes "$labmix" "$table" -n "$n" -s 1)
    one=$(bytes "$labmix" "$table" -n "$n" -s 1 --format "$format")
    awk -v l="$listings" -v o="$one" -v n="$n" 'BEGIN { printf "%d", (n + 1) * l / o - 0.5 }'
}

printf '%-30s %9s %9s %7s %12s %12s\n' case base_s other_s ratio base_bytes other_bytes
L="$data/table_L.tsv"
S="$data/table_S.tsv"
L3="$data/table_L3.tsv"
compare "L3 -n 10, --strata 3" "$L3 -n 10 -s 1" "$L3 -n 10 -s 1 --strata 3"
for run in "L 10" "S 10000"; do
    read -r size n <<<"$run"
    table="$data/table_$size.tsv"
    for format in long wide; do
        m=$(matched "$table" "$n" "$format")
        compare "$size -n $n, $format -n $m" "$table -n $n -s 1" "$table -n $m -s 1 --format $format"
    done
done
