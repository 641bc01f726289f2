#!/bin/sh
# Writes the small example of exact tests into FOLDER (default: the folder of this script), from
# species.tsv beside this script and species_traits.phy in FOLDER: the first three species of
# the matrix in each of the habitats mountain, desert and wetland, in the matrix's order;
#   few_species.tsv         species, order and habitat, under a header line;
#   few_species_traits.phy  their trait distances, as species_traits.phy holds them (a PHYLIP
#                           lower triangle with relaxed names).
#     sh examples/make_few_species.sh [FOLDER]
set -e
here=$(dirname "$0")
out=${1:-$here}
awk -v table="$out/few_species.tsv" -v traits="$out/few_species_traits.phy" '
FNR == 1 { file++ }
file == 1 { split($0, f, "\t"); order[f[1]] = f[3]; habitat[f[1]] = f[4]; next }
FNR == 1 { next }
{
    name = $1
    h = habitat[name]
    if ((h == "mountain" || h == "desert" || h == "wetland") && taken[h] < 3) {
        taken[h]++
        pick[++n] = FNR - 1
        label[n] = name
        line[n] = $0
    }
    row[FNR - 1] = $0
}
END {
    print "species\torder\thabitat" > table
    print n > traits
    for (a = 1; a <= n; a++) {
        print label[a] "\t" order[label[a]] "\t" habitat[label[a]] > table
        split(line[a], d, " ")
        text = label[a]
        for (b = 1; b < a; b++) text = text " " d[pick[b] + 1]
        print text > traits
    }
}' "$here/species.tsv" "$out/species_traits.phy"
