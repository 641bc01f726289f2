#!/usr/bin/env bash
# The permutation test against its peers, on the same tables in the same run: R's chisq.test
# with simulated p-values (random tables with fixed margins), numpy's bincount chi-square and
# numpy with scikit-learn's adjusted_rand_score (permutations). Whole processes, reading
# included; wall seconds and peak memory from /usr/bin/time.
#
#   bash bench/permtest_compare.sh [PEERS_DIR] [quick]
#
# PEERS_DIR holds gen.py, anchor_chisq.R and anchor_numpy.py (default ../shared/bench/permtest).
# Needs r-base-core, python3-numpy, python3-pandas and python3-sklearn. "quick" leaves out the
# slow scikit-learn run on 100,000 taxa. With LABMIX_BASELINE set to another labmix binary (an
# earlier version, say), its chi2 and six-statistic runs are timed in the same run too.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/bench/common.sh"
peers="${1:-$root/../shared/bench/permtest}"
mode="${2:-full}"
ensure_time
labmix="$(build_labmix "$root/build-bench")"
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT
/usr/bin/python3 "$peers/gen.py" 100000 "$data/m.tsv"
/usr/bin/python3 "$peers/gen.py" 1000000 "$data/l.tsv"

# Runs a command quietly and prints "label: seconds s, peak KB".
timed() {
    local label="$1"
    shift
    /usr/bin/time -f "%e %M" -o "$data/time" "$@" >"$data/out" 2>"$data/err" || {
        cat "$data/err" >&2
        return 1
    }
    read -r seconds kb <"$data/time"
    printf '%-58s %7.2f s %9d KB\n' "$label" "$seconds" "$kb"
}
python_peer=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 "$peers/anchor_numpy.py")
cols=(--header -f 2 -p 3)

echo "== 100,000 taxa, family (1,000) x habitat (10), 999 reshuffles"
timed "R chisq.test(simulate.p.value = TRUE, B = 999)" Rscript "$peers/anchor_chisq.R" "$data/m.tsv" 999
timed "numpy chi2, 999 permutations" "${python_peer[@]}" "$data/m.tsv" 999 chi2
timed "labmix --test chi2" "$labmix" "${cols[@]}" --test chi2 -n 999 -s 1 "$data/m.tsv"
timed "labmix --test chi2 --threads 1" "$labmix" "${cols[@]}" --test chi2 -n 999 -s 1 --threads 1 "$data/m.tsv"
if [[ -n "${LABMIX_BASELINE:-}" ]]; then
    timed "baseline labmix --test chi2" "$LABMIX_BASELINE" "${cols[@]}" --test chi2 -n 999 -s 1 "$data/m.tsv"
fi
timed "labmix --test ari" "$labmix" "${cols[@]}" --test ari -n 999 -s 1 "$data/m.tsv"
if [[ "$mode" != quick ]]; then
    timed "numpy + scikit-learn adjusted_rand_score, 999 permutations" "${python_peer[@]}" "$data/m.tsv" 999 ari
fi

echo "== 1,000,000 taxa, 9,999 reshuffles"
timed "R chisq.test(simulate.p.value = TRUE, B = 9999)" Rscript "$peers/anchor_chisq.R" "$data/l.tsv" 9999
timed "labmix --test chi2,g,mi,nmi,ari,rand" "$labmix" "${cols[@]}" --test chi2,g,mi,nmi,ari,rand -n 9999 -s 1 "$data/l.tsv"
if [[ -n "${LABMIX_BASELINE:-}" ]]; then
    timed "baseline labmix --test chi2,g,mi,nmi,ari,rand" "$LABMIX_BASELINE" "${cols[@]}" --test chi2,g,mi,nmi,ari,rand -n 9999 -s 1 "$data/l.tsv"
fi
timed "labmix --test chi2,g,mi,nmi,ari,rand -n 1 (reading and set-up)" "$labmix" "${cols[@]}" --test chi2,g,mi,nmi,ari,rand -n 1 -s 1 "$data/l.tsv"
timed "labmix -f 2 -p 3 -n 0 (the listing road, for memory)" "$labmix" -f 2 -p 3 -n 0 "$data/l.tsv"
