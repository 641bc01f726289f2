#!/usr/bin/env bash
# CPU time and peak memory of labmix against the yardstick (../shared/bench/limit.c) on large
# tables, output to /dev/null, alternating the two programs run by run:
#   - L:     1,000,000 rows x 2 columns (table_L of gen_table.py), -n 0 and -n 10;
#   - 10Mx2: 10,000,000 rows x 2 (table_L ten times, taxon names kept unique), -n 0;
#   - 10Mx3: the same with a third, family-like column, -n 0 -p 3;
#   - wide:  20 lines of 1,000,000 empty fields, -n 0.
# Prints the median CPU seconds (user + system) and the largest peak resident size of RUNS
# runs of each, their ratios, and labmix's peak per input byte; then checks the memory
# limits: labmix's peak at most the yardstick's on every table, at most the input's size on
# 10Mx2 and at most 3 bytes per input byte on the wide table. Exits 1 when one is missed.
# The tables (about 700 MB) are generated once under bench/data/.
#
#   bash bench/big_tables.sh          (RUNS=3 by default; SHARED=../shared by default)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
shared="${SHARED:-$root/../shared}"
runs="${RUNS:-3}"
data="$root/bench/data"
build="$root/build-bench-tool"

source "$root/bench/common.sh"
ensure_time

ensure_tables
# The 10,000,000-row tables are table_L ten times over, each copy's taxon names made unique by
# a suffix (gen_table.py's own generator takes too long at this size); the three-column table
# adds a family-like column derived from the group name.
if [[ ! -f "$data/table_10M2.tsv" ]]; then
    for i in 0 1 2 3 4 5 6 7 8 9; do
        awk -v k="$i" -F'\t' '{ print $1 "_" k "\t" $2 }' "$data/table_L.tsv"
    done >"$data/table_10M2.tsv.part"
    mv "$data/table_10M2.tsv.part" "$data/table_10M2.tsv"
fi
if [[ ! -f "$data/table_10M3.tsv" ]]; then
    awk -F'\t' '{ print $1 "\t" $2 "\t" substr($2, 1, 4) "aceae" }' "$data/table_10M2.tsv" >"$data/table_10M3.tsv.part"
    mv "$data/table_10M3.tsv.part" "$data/table_10M3.tsv"
fi
if [[ ! -f "$data/wide_20x1M.tsv" ]]; then
    line=$(head -c 999999 /dev/zero | tr '\0' '\t')
    for ((i = 0; i < 20; i++)); do printf '%s\n' "$line"; done >"$data/wide_20x1M.tsv.part"
    mv "$data/wide_20x1M.tsv.part" "$data/wide_20x1M.tsv"
fi
cc -O2 -o "$data/limit" "$shared/bench/limit.c"
labmix="$(build_labmix "$build")"
limit="$data/limit"

# One run: prints CPU seconds and peak resident KB.
measure() {
    local report
    report=$(mktemp)
    /usr/bin/time -v -o "$report" "$@" >/dev/null
    awk -F': ' '/User time/ { cpu += $2 } /System time/ { cpu += $2 }
        /Maximum resident set size/ { peak = $2 } END { printf "%.3f %d\n", cpu, peak }' "$report"
    rm -f "$report"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

failed=0
printf '%-6s %-10s %8s %8s %6s %10s %10s %6s %8s\n' table options yard_s labmix_s ratio yard_KB labmix_KB ratio B/byte
check() { # name file options... ; sets globals of the last row
    local name="$1" file="$2"
    shift 2
    local yt=() lt=() yp=0 lp=0 t p
    for ((r = 0; r < runs; r++)); do
        read -r t p < <(measure "$limit" "$file" "$@" -s 1)
        yt+=("$t"); ((p > yp)) && yp=$p
        read -r t p < <(measure "$labmix" "$file" "$@" -s 1)
        lt+=("$t"); ((p > lp)) && lp=$p
    done
    local a b bytes
    a=$(printf '%s\n' "${yt[@]}" | median)
    b=$(printf '%s\n' "${lt[@]}" | median)
    bytes=$(stat -c %s "$file")
    printf '%-6s %-10s %8s %8s %6s %10d %10d %6s %8s\n' "$name" "$*" "$a" "$b" \
        "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')" "$yp" "$lp" \
        "$(awk -v a="$yp" -v b="$lp" 'BEGIN { printf "%.2f", b / a }')" \
        "$(awk -v b="$lp" -v n="$bytes" 'BEGIN { printf "%.2f", b * 1024 / n }')"
    if ((lp > yp)); then echo "  over the yardstick's peak" >&2; failed=1; fi
    last_peak=$lp
    last_bytes=$bytes
}
check L "$data/table_L.tsv" -n 0
check L "$data/table_L.tsv" -n 10
check 10Mx2 "$data/table_10M2.tsv" -n 0
if ((last_peak * 1024 > last_bytes)); then echo "  10Mx2: peak above the input's size" >&2; failed=1; fi
check 10Mx3 "$data/table_10M3.tsv" -n 0 -p 3
check wide "$data/wide_20x1M.tsv" -n 0
if ((last_peak * 1024 > 3 * last_bytes)); then echo "  wide: above 3 bytes per input byte" >&2; failed=1; fi
exit "$failed"
