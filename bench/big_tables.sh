#!/usr/bin/env bash
# CPU time and peak memory of labmix against the yardstick (../shared/bench/limit.c) on large
# tables, output to /dev/null, alternating the two programs run by run:
#   - L:     1,000,000 rows x 2 columns (table_L of gen_table.py), -n 0 and -n 10;
#   - 10Mx2: 10,000,000 rows x 2, made by gen_table.py's generator, -n 0;
#   - 10Mx3: 10,000,000 rows x 3 (taxon, genus, family), -n 0 -p 3;
#   - wide:  20 lines of 1,000,000 empty fields, -n 0.
# Prints the median CPU seconds (user + system) and the largest peak resident size of RUNS
# runs of each, their ratios, and labmix's peak per input byte; then checks the memory
# limits: labmix's peak at most the yardstick's on every table, at most the input's size on
# 10Mx2 and at most 3 bytes per input byte on the wide table. Exits 1 when one is missed.
# The tables (about 650 MB) are generated once under bench/data/.
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

mkdir -p "$data"
[[ -f "$data/table_L.tsv" ]] || python3 "$shared/bench/gen_table.py" "$data"
make_table() { # kind rows seed file
    [[ -f "$4" ]] && return
    python3 - "$shared/bench" "$@" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
import gen_table
kind, rows, seed, path = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
(gen_table.two_col if kind == "2" else gen_table.three_col)(path + ".part", rows, seed)
PY
    mv "$4.part" "$4"
}
make_table 2 10000000 21 "$data/table_10M2.tsv"
make_table 3 10000000 22 "$data/table_10M3.tsv"
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
