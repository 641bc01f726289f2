#!/bin/sh
# Writes two distance matrices over the first 60 species of examples/species.tsv into FOLDER
# (default: the folder of this script, next to species.tsv):
#   species_traits.phy  trait distances, a PHYLIP lower triangle with relaxed names (the first
#                       line the count, the diagonal not written);
#   species_ranges.tsv  distances between the species' range centres in 1,000 km, a
#                       tab-separated square under a header line of the names (empty corner).
# The values are made up; the structure is built in. Each species has four traits on one scale,
# drawn around the centre of its habitat with a smaller pull towards the centre of its family, so
# species of one habitat are closer in traits. A range centre is drawn around its habitat's
# region and shifted by the species' first two traits (alike species live in like places), so
# near ranges go with near traits. Distances are Euclidean, with 4 decimals. The near-normal
# deviates are sums of six uniform ones from Park and Miller's minimal standard generator, whose
# products stay exact in awk's doubles, so every awk writes the same files:
#     sh examples/make_species_distances.sh [FOLDER]
set -e
here=$(dirname "$0")
out=${1:-$here}
awk -F '\t' -v traits="$out/species_traits.phy" -v ranges="$out/species_ranges.tsv" '
NR == 1 { next }
NR <= 61 {
    n++
    name[n] = $1
    if (!($2 in family)) family[$2] = ++families
    if (!($4 in habitat)) habitat[$4] = ++habitats
    f[n] = family[$2]
    h[n] = habitat[$4]
}
END {
    x = 20250301
    scale = sqrt(2)
    # centres: four traits per habitat and per family, a map region per habitat
    for (i = 1; i <= habitats; i++) {
        for (k = 1; k <= 4; k++) hc[i, k] = 0.9 * normal()
        for (k = 1; k <= 2; k++) region[i, k] = normal()
    }
    for (i = 1; i <= families; i++) for (k = 1; k <= 4; k++) fc[i, k] = 0.6 * normal()
    for (i = 1; i <= n; i++) {
        for (k = 1; k <= 4; k++) t[i, k] = hc[h[i], k] + fc[f[i], k] + normal()
        for (k = 1; k <= 2; k++) r[i, k] = region[h[i], k] + t[i, k] + 0.8 * normal()
    }
    print n > traits
    for (i = 1; i <= n; i++) {
        line = name[i]
        for (j = 1; j < i; j++) line = line " " sprintf("%.4f", distance(t, i, j, 4))
        print line > traits
    }
    line = ""
    for (i = 1; i <= n; i++) line = line "\t" name[i]
    print line > ranges
    for (i = 1; i <= n; i++) {
        line = name[i]
        for (j = 1; j <= n; j++) line = line "\t" sprintf("%.4f", distance(r, i, j, 2))
        print line > ranges
    }
}
function uniform() { x = (x * 16807) % 2147483647; return x / 2147483647 }
function normal(s, m) { s = 0; for (m = 0; m < 6; m++) s += uniform(); return (s - 3) * scale }
function distance(p, i, j, dims, s, k, d) {
    s = 0
    for (k = 1; k <= dims; k++) {
        d = p[i, k] - p[j, k]
        s += d * d
    }
    return sqrt(s)
}' "$here/species.tsv"
