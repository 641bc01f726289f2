#!/usr/bin/env bash
# The distance-based tests against vegan and scikit-bio on the same generated matrices, in the
# same run, and labmix's throughput and peak memory. labmix is timed as a whole process, reading
# included; the peers print the seconds of the test alone, after reading, so the ratios lean
# towards the peers.
#
#   bash bench/distance_compare.sh [speed] [throughput] [memory]      (default: all three)
#
#   speed       1,000 taxa in 4 groups and 10 strata, 999 reshuffles, seed 1: each test of
#               labmix (default threads and --threads 1) against vegan's (peers.R) and
#               scikit-bio's (peers_skbio.py), seconds, ratios, statistics and p-values
#   throughput  PERMANOVA of 5,000 taxa x 9,999 reshuffles, --threads 1 and default:
#               pair-permutations per second per thread, n(n - 1)/2 x reshuffles / s / threads
#   memory      peak resident memory of labmix's PERMANOVA of 1,000 taxa, 999 and 99,999
#               reshuffles
#
# TAXA and RESHUFFLES change the speed part's 1,000 and 999 (a quick check: TAXA=200 RESHUFFLES=99).
# The data come from ../shared/bench/distance/gen.py (SHARED names another shared folder).
# LABMIX names the labmix binary to time; by default a Release labmix is built in build-bench/.
# The peers need r-cran-vegan and python3-skbio (Debian 12); peak memory needs /usr/bin/time
# (Debian's time), or else comes from Python's getrusage.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/bench/common.sh"
shared="${SHARED:-$root/../shared}"
peers="$shared/bench/distance"

parts=("$@")
((${#parts[@]})) || parts=(speed throughput memory)
for part in "${parts[@]}"; do
    case "$part" in
    speed | throughput | memory) ;;
    all) parts=(speed throughput memory) ;;
    *)
        echo "usage: bash bench/distance_compare.sh [speed] [throughput] [memory] (unknown part '$part')" >&2
        exit 2
        ;;
    esac
done
[[ -f "$peers/gen.py" ]] || {
    echo "$peers/gen.py: not found (set SHARED to the shared folder)" >&2
    exit 1
}

labmix="${LABMIX:-$(build_labmix "$root/build-bench")}"
# labmix's default is one thread per online processor.
cores="$(getconf _NPROCESSORS_ONLN)"
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT
python=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3)

# gen.py's matrices of N taxa in 4 groups and S strata, once, in $data/N_S; prints the folder.
dataset() {
    local dir="$data/$1_$2"
    [[ -f "$dir/groups.tsv" ]] || "${python[@]}" "$peers/gen.py" "$1" 4 "$2" 0.15 "$dir" 1 >&2
    echo "$dir"
}

# Runs a command with its output in $data/out and sets `wall` (seconds) and `peak` (KB). Without
# /usr/bin/time, Python's getrusage gives the peak, and the wall time is taken inside Python so
# that its start-up is not counted; that peak is never below the Python process's own size,
# which the child holds until it starts the command.
measure() {
    local start end
    if [[ -x /usr/bin/time ]]; then
        start=$(date +%s%N)
        /usr/bin/time -f %M -o "$data/peak" "$@" >"$data/out" 2>"$data/err" || failed "$@"
        end=$(date +%s%N)
        wall=$(awk -v ns="$((end - start))" 'BEGIN { printf "%.3f", ns / 1e9 }')
        peak=$(tail -n 1 "$data/peak")
    else
        "${python[@]}" -c 'import resource, subprocess, sys, time
start = time.perf_counter()
status = subprocess.call(sys.argv[2:])
wall = time.perf_counter() - start
with open(sys.argv[1], "w") as f:
    print(f"{wall:.3f} {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}", file=f)
sys.exit(status)' "$data/peak" "$@" >"$data/out" 2>"$data/err" || failed "$@"
        read -r wall peak <"$data/peak"
    fi
}
failed() {
    echo "failed: $*" >&2
    cat "$data/err" >&2
    exit 1
}
die() {
    echo "$*" >&2
    exit 1
}

# The column named $2 of statistic $1's line in labmix's report $data/out.
report() {
    awk -F '\t' -v s="$1" -v c="$2" 'NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
        $1 == s && col[c] { print $col[c]; found = 1 } END { exit !found }' "$data/out" ||
        die "labmix's report has no $2 of $1: $(head -c 2000 "$data/out")"
}

# a / b to 3 significant digits, "-" when either is missing.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "-" || b == "-" || b == 0) ? "-" : sprintf("%.3g", a / b) }'; }

# A statistic to 10 significant digits, "-" as it stands.
digits() { awk -v x="$1" 'BEGIN { print x == "-" ? x : sprintf("%.10g", x) }'; }

# The largest relative difference between the statistic $1 and the others given.
spread() {
    awk -v x="$1" 'BEGIN { m = -1; for (i = 2; i < ARGC; i++) if (ARGV[i] != "-") {
        d = (x - ARGV[i]) / (ARGV[i] == 0 ? 1 : ARGV[i]); d = d < 0 ? -d : d; if (d > m) m = d }
        print m < 0 ? "-" : sprintf("%.1e", m) }' "$@"
}

# The statistic, p-value and seconds of test $2 in a peer's output $1; "- - -" when $2 is "-".
peer() {
    [[ "$2" != - ]] || {
        echo - - -
        return
    }
    awk -F '\t' -v n="$2" '$1 == n { print $2, $3, $4; found = 1 } END { exit !found }' "$1" ||
        die "$1: no line for $2"
}

speed() {
    local dir pairs groups row test vegan skbio args table n="${TAXA:-1000}" b="${RESHUFFLES:-999}"
    dir="$(dataset "$n" 10)"
    echo "== speed: $n taxa, 4 groups, 10 strata, $b reshuffles, seed 1; labmix whole process," \
        "the peers the test alone (${cores} cores)"
    # Each peer once over all its tests: name, statistic, p-value, seconds.
    echo "running vegan ..." >&2
    measure Rscript "$peers/peers.R" "$dir" "$b" \
        permanova,permanova_strata,anosim,permdisp,permdisp_centroid,mantel,mantel_spearman
    cp "$data/out" "$data/vegan"
    echo "running scikit-bio ..." >&2
    measure "${python[@]}" "$peers/peers_skbio.py" "$dir" "$b" permanova,anosim,permdisp,mantel
    cp "$data/out" "$data/skbio"

    pairs=(--distances "$dir/d1.phy" --distances "$dir/d2.phy")
    groups=(--distances "$dir/d1.phy" --header --fixed taxon --permute group)
    printf '%-17s %8s %8s %8s %8s %7s %7s %8s %8s | %-16s %-16s %-16s %7s | %6s %6s %6s\n' \
        test labmix lm_t1 vegan skbio vg/lm sk/lm vg/lm_t1 sk/lm_t1 stat_labmix stat_vegan \
        stat_skbio rel_dif p_lm p_vg p_sk
    # row: the row's name, labmix's test, the peers' names ("-": none), the data's options.
    for row in "permanova permanova permanova permanova groups" \
        "permanova_strata permanova permanova_strata - strata" \
        "anosim anosim anosim anosim groups" "permdisp permdisp permdisp permdisp groups" \
        "permdisp_centroid permdisp_centroid permdisp_centroid - groups" \
        "mantel mantel mantel mantel pairs" "mantel_spearman mantel_spearman mantel_spearman - pairs"; do
        read -r name test vegan skbio args <<<"$row"
        table=()
        case "$args" in
        groups) args=("${groups[@]}") ;;
        strata) args=("${groups[@]}" --strata stratum) ;;
        pairs) args=("${pairs[@]}") ;;
        esac
        args+=(--test "$test" -n "$b" -s 1)
        [[ "$test" == mantel* ]] || table=("$dir/groups.tsv")
        measure "$labmix" "${args[@]}" --threads 1 "${table[@]}"
        local t1="$wall"
        measure "$labmix" "${args[@]}" "${table[@]}"
        local tn="$wall" stat p
        stat="$(report "$test" observed)"
        p="$(report "$test" p_value)"
        # The peers' lines: statistic, p-value, seconds ("-" when the peer has no such test).
        local line v s
        line="$(peer "$data/vegan" "$vegan")"
        read -r -a v <<<"$line"
        line="$(peer "$data/skbio" "$skbio")"
        read -r -a s <<<"$line"
        printf '%-17s %8s %8s %8s %8s %7s %7s %8s %8s | %-16s %-16s %-16s %7s | %6s %6s %6s\n' \
            "$name" "$tn" "$t1" "${v[2]}" "${s[2]}" "$(ratio "${v[2]}" "$tn")" "$(ratio "${s[2]}" "$tn")" \
            "$(ratio "${v[2]}" "$t1")" "$(ratio "${s[2]}" "$t1")" "$(digits "$stat")" \
            "$(digits "${v[0]}")" "$(digits "${s[0]}")" \
            "$(spread "$stat" "${v[0]}" "${s[0]}")" "$p" "${v[1]}" "${s[1]}"
    done
    echo "(lm: labmix, default threads; lm_t1: --threads 1; vg: vegan; sk: scikit-bio; rel_dif: the" \
        "largest relative difference of the peers' statistics from labmix's)"
}

throughput() {
    local dir n=5000 b=9999 setup threads
    dir="$(dataset "$n" 1)"
    echo "== throughput: PERMANOVA, $n taxa x $b reshuffles, seed 1 (${cores} cores)"
    local common=(--distances "$dir/d1.phy" --header --fixed taxon --permute group --test permanova -s 1)
    measure "$labmix" "${common[@]}" -n 1 --threads 1 "$dir/groups.tsv"
    setup="$wall"
    echo "reading and set-up (-n 1): $setup s"
    printf '%-10s %9s %22s %22s\n' threads seconds pair_perms_per_s_thread "the same less set-up"
    for threads in 1 default; do
        if [[ "$threads" == 1 ]]; then
            measure "$labmix" "${common[@]}" -n "$b" --threads 1 "$dir/groups.tsv"
        else
            threads="$cores"
            measure "$labmix" "${common[@]}" -n "$b" "$dir/groups.tsv"
        fi
        awk -v n="$n" -v b="$b" -v s="$wall" -v u="$setup" -v t="$threads" 'BEGIN {
            w = n * (n - 1) / 2 * b / t
            printf "%-10s %9.3f %22.3g %22s\n", t, s, w / s, (s > u ? sprintf("%.3g", w / (s - u)) : "-") }'
    done
}

memory() {
    local dir b
    dir="$(dataset 1000 10)"
    echo "== memory: labmix PERMANOVA, 1,000 taxa (the matrix alone: 8 MB), default threads"
    if [[ ! -x /usr/bin/time ]]; then
        measure true
        echo "(no /usr/bin/time: peaks from Python's getrusage, which cannot tell those below $peak KB)"
    fi
    printf '%-12s %9s %10s\n' reshuffles seconds peak_KB
    for b in 999 99999; do
        measure "$labmix" --distances "$dir/d1.phy" --header --fixed taxon --permute group \
            --test permanova -n "$b" -s 1 "$dir/groups.tsv"
        printf '%-12s %9s %10s\n' "$b" "$wall" "$peak"
    done
}

for part in "${parts[@]}"; do
    "$part"
done
