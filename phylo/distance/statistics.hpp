#pragma once
// The observed statistics of the distance-based tests of association: does a grouping of the
// taxa explain their distances (PERMANOVA, ANOSIM, PERMDISP), do two distance matrices agree
// (Mantel)?
//
//     const squared d = read::get(file, read::dist_input_format::TAB_SEPARATED);
//     const count_array habitat = ...;                 // group numbers 0 .. a - 1, row order
//     const double f = distance::permanova(d.matrix, habitat);
//
// Each function measures one statistic; <phylo/distance/null_values.hpp> defines them in full
// and gives them under many reshuffles at once, for permutation tests. The inputs: a square
// matrix whose upper triangle (i < j) is read, values finite; group numbers 0 .. a - 1, each
// used, one per row in row order (taxonomy::group_numbers and column_groups give them). Errors:
// a matrix that is not square or a grouping of another length is real_chars::size_error, a
// value that is not finite the data error (naming the pair), group numbers that are negative
// or skip one the range error.
//
// The values equal R's vegan 2.6 to about 1e-12 relative: adonis2(d ~ g) (F, R2), anosim(d, g)
// (R), anova(betadisper(d, g, type)) (F; 1e-5 for the spatial median, which vegan finds by
// BFGS), mantel(a, b, method) (r). Where a statistic is 0/0 (one group, no pair within a
// group, a constant matrix) it is not a number.

#include <phylo/core.hpp>
#include <phylo/distance/null_values.hpp>

namespace phylo::distance {

// Anderson's pseudo-F of a one-way PERMANOVA, and its R^2.
[[nodiscard]] double permanova(const real_matrix& distances, const count_array& groups);
[[nodiscard]] double permanova_r2(const real_matrix& distances, const count_array& groups);
// Clarke's ANOSIM R.
[[nodiscard]] double anosim(const real_matrix& distances, const count_array& groups);
// The F of PERMDISP from each taxon's distance to its group's spatial median, or centroid.
[[nodiscard]] double permdisp(const real_matrix& distances, const count_array& groups);
[[nodiscard]] double permdisp_centroid(const real_matrix& distances, const count_array& groups);
// The Mantel correlation of two matrices of the same taxa in the same order: Pearson's, or
// Spearman's (of the ranks of the distances).
[[nodiscard]] double mantel(const real_matrix& first, const real_matrix& second);
[[nodiscard]] double mantel_spearman(const real_matrix& first, const real_matrix& second);

} // namespace phylo::distance
