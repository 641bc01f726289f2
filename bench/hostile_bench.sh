#!/usr/bin/env bash
# Wall time and peak memory of labmix (Release) on oversized inputs, output to /dev/null:
#   - a table of 10,000,000 rows (taxon, tab, one of 200,000 skewed group names), -n 0 and -n 1;
#   - a table of two rows whose first field is 100 MB long, -n 0 and -n 1;
#   - a table of two rows of 10,000,001 fields each (10 MB of tabs per line), -p 1.
# The data is generated once under bench/data/ (about 300 MB in all).
#
#   bash bench/hostile_bench.sh          (ROWS=10000000, FIELD_MB=100 by default)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rows="${ROWS:-10000000}"
field_mb="${FIELD_MB:-100}"
data="$root/bench/data"
build="$root/build-hostile-rel"

source "$root/bench/common.sh"
ensure_time

mkdir -p "$data"
big="$data/table_${rows}.tsv"
if [[ ! -f "$big" ]]; then
    # Group sizes fall off like 1/rank, as in real classifications; the names are unique.
    awk -v n="$rows" 'BEGIN {
        srand(17);
        groups = int(n / 50); if (groups < 5) groups = 5;
        for (i = 0; i < n; i++) {
            g = int(exp(rand() * log(groups)));
            printf "Taxon_%09d_%x\tGroup%daceae\n", i, int(rand() * 65536), g;
        }
    }' >"$big.part"
    mv "$big.part" "$big"
fi
wide="$data/field_${field_mb}MB.tsv"
if [[ ! -f "$wide" ]]; then
    { head -c "$((field_mb * 1024 * 1024))" /dev/zero | tr '\0' 'w'; printf '\tx\nshort\ty\n'; } >"$wide.part"
    mv "$wide.part" "$wide"
fi

tabs="$data/tabs_10M_fields.tsv"
if [[ ! -f "$tabs" ]]; then
    line=$(head -c 10000000 /dev/zero | tr '\0' '\t')
    { printf '%s\n' "$line"; printf 'x%s\n' "$line"; } >"$tabs.part"
    mv "$tabs.part" "$tabs"
fi

labmix="$(build_labmix "$build")"

# One run under /usr/bin/time -v: prints wall seconds, CPU seconds (user + system), peak
# resident KB and the exit status. On a loaded machine the CPU time is the steadier figure.
measure() {
    local report status
    report=$(mktemp)
    status=0
    /usr/bin/time -v -o "$report" "$labmix" "$@" >/dev/null || status=$?
    awk -F': ' -v status="$status" '
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); wall = (n == 3) ? t[1] * 3600 + t[2] * 60 + t[3] : t[1] * 60 + t[2] }
        /User time/ { cpu += $2 }
        /System time/ { cpu += $2 }
        /Maximum resident set size/ { peak = $2 }
        END { printf "%10.2f %8.2f %12d %6d\n", wall, cpu, peak, status }' "$report"
    rm -f "$report"
}

printf '%-22s %6s %10s %8s %12s %6s\n' input option wall_s cpu_s peak_KB status
printf '%-22s\n' "$(basename "$big") ($(du -m "$big" | cut -f1) MB)"
for n in 0 1; do printf '%-22s %6s %s\n' "" "-n $n" "$(measure "$big" -n "$n" -s 1)"; done
printf '%-22s\n' "$(basename "$wide")"
for n in 0 1; do printf '%-22s %6s %s\n' "" "-n $n" "$(measure "$wide" -n "$n" -s 1)"; done
printf '%-22s\n' "$(basename "$tabs")"
printf '%-22s %6s %s\n' "" "-p 1" "$(measure "$tabs" -p 1)"
