#pragma once
// Single-linkage groups straight from a distance matrix, at one threshold or a series of them,
// numbered as slc_series numbers them (clusters of two or more taxa first, in the order they
// form, then the other taxa in increasing order).
//
//     const count_array groups = single_linkage(distances.matrix, 0.05);

#include <phylo/core.hpp>
#include <phylo/taxonomy/group_numbers.hpp>

namespace phylo::taxonomy {

// The partition at `threshold` of the taxa first .. last, from pairs sorted by distance
// (squared_to_pairwise). Errors as slc_series, and the range error for an empty taxon range.
[[nodiscard]] count_array single_linkage(const pairwise_distances& pairs, index_type first,
                                         index_type last, double threshold);
// Checks that a square matrix is one of distances: no value is NaN, and m(i, j) and m(j, i)
// agree within 1e-9 of the larger (as SciPy's squareform asks). Otherwise the range error naming
// the two taxa (by `labels` when given, else by index) and the values.
void check_distances(const real_matrix& distances, const taxon_labels* labels = nullptr);
// The partition at `threshold` of the taxa of a square distance matrix (over its index range),
// checked by check_distances: single linkage reads one triangle, and NaN would be no link.
[[nodiscard]] count_array single_linkage(const real_matrix& distances, double threshold);
// `count` partitions of the taxa of a square distance matrix, row r (0 .. count - 1) at
// threshold start + step + ... + step (r additions), as slc_series gives them, checked by
// check_distances. A count below 1 is the range error.
[[nodiscard]] count_vector single_linkage_series(const real_matrix& distances, double start,
                                                 double step, index_type count);

} // namespace phylo::taxonomy
