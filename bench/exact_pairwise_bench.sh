#!/usr/bin/env bash
# Pairwise and exact tests, timed as whole processes on this machine, in one run:
#   pairwise  PERMANOVA of 1,000 taxa in 10 groups (45 pairs), 999 reshuffles: labmix --pairwise
#             against one whole test of the 1,000 taxa (the target: at most 3 times as long),
#             and against scikit-bio's permanova run pair by pair (QIIME 2's pairwise way;
#             bench/pairwise_skbio.py, the loop alone, after reading)
#   exact     chi2 of a 2 x 3 table of 40 taxa by --exact (every table of the margins, weighted),
#             beside R's fisher.test of the same table (its own exact test, another statistic)
#
#   bash bench/exact_pairwise_bench.sh [pairwise] [exact]                (default: both)
#
# The matrices come from ../shared/bench/distance/gen.py (SHARED names another shared folder);
# LABMIX names the labmix binary (default: a Release build in build-bench/). Medians of RUNS
# (default 5) runs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/bench/common.sh"
shared="${SHARED:-$root/../shared}"
parts=("$@")
((${#parts[@]})) || parts=(pairwise exact)
labmix="${LABMIX:-$(build_labmix "$root/build-bench")}"
runs="${RUNS:-5}"
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT
python=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3)

# The median wall seconds of RUNS runs of a command (output thrown away).
median_seconds() {
    local times=() start end
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || {
            echo "failed: $*" >&2
            exit 1
        }
        end=$(date +%s%N)
        times+=("$(awk -v ns="$((end - start))" 'BEGIN { printf "%.4f", ns / 1e9 }')")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3g", a / b }'; }

for part in "${parts[@]}"; do
    case "$part" in
    pairwise)
        "${python[@]}" "$shared/bench/distance/gen.py" 1000 10 1 0.15 "$data/m" 1 >/dev/null
        test=(--distances "$data/m/d1.phy" --test permanova --header --fixed taxon --permute group
            -s 1 "$data/m/groups.tsv")
        whole=$(median_seconds "$labmix" "${test[@]}")
        pairwise=$(median_seconds "$labmix" "${test[@]}" --pairwise)
        one=$(median_seconds "$labmix" "${test[@]}" --pairwise --threads 1)
        read -r skbio pairs < <("${python[@]}" "$root/bench/pairwise_skbio.py" "$data/m/d1.phy" \
            "$data/m/groups.tsv" 999)
        echo "pairwise PERMANOVA, 1,000 taxa, 10 groups ($pairs pairs), 999 reshuffles (seconds)"
        echo "  labmix whole test            $whole"
        echo "  labmix --pairwise            $pairwise   ($(ratio "$pairwise" "$whole") x the whole test)"
        echo "  labmix --pairwise, 1 thread  $one"
        echo "  scikit-bio pair by pair      $skbio   (scikit-bio / labmix: $(ratio "$skbio" "$pairwise") x)"
        ;;
    exact)
        awk 'BEGIN { print "taxon\tsex\tsite"; for (i = 0; i < 40; i++)
            print "t" i "\t" (i % 3 && i > 9 ? "f" : "m") "\t" (i < 14 ? "A" : i < 27 ? "B" : "C") }' \
            >"$data/t40.tsv"
        exact=$(median_seconds "$labmix" --header --fixed sex --permute site --test chi2 --exact \
            "$data/t40.tsv")
        "$labmix" --header --fixed sex --permute site --test chi2 --exact "$data/t40.tsv" >"$data/r"
        read -r fisher fisher_p < <(Rscript -e 't <- read.delim(commandArgs(TRUE)[1]); x <- table(t$sex, t$site)
            s <- proc.time()[[3]]; p <- fisher.test(x)$p.value; cat(proc.time()[[3]] - s, p, "\n")' \
            "$data/t40.tsv")
        echo "exact chi2, 2 x 3 table of 40 taxa (seconds, whole process)"
        echo "  labmix --exact               $exact   (tables walked: $(awk -F '\t' 'NR == 2 { print $5 }' "$data/r"), p = $(awk -F '\t' 'NR == 2 { print $7 }' "$data/r"))"
        echo "  R fisher.test, in R          $fisher   (p = $fisher_p)"
        ;;
    *)
        echo "usage: bash bench/exact_pairwise_bench.sh [pairwise] [exact] (unknown part '$part')" >&2
        exit 2
        ;;
    esac
done
