#pragma once
// Single-linkage clustering at a series of increasing thresholds: at threshold t two taxa share
// a group exactly when a chain of pairs, each at distance at most t, joins them.

#include <phylo/core.hpp>
#include <phylo/taxonomy/group_numbers.hpp>

namespace phylo::taxonomy {

// Fills every row r of `series` (the caller allocates the rows over the taxon index range) with
// the partition at threshold start + step + ... + step (r additions). `pairs` is sorted by
// increasing distance (squared_to_pairwise) and is scanned once over the whole series.
// In each row, clusters of two or more taxa come first, numbered 0 .. c - 1 in the order in
// which they were formed (a merge keeps the lower number and closes the gap), then the taxa
// outside any cluster in increasing taxon order, so groups run from 0 upwards. A pair of a
// taxon with itself joins nothing and leaves the rows as they would be without it. The scan
// stops at a distance that is not a number (squared_to_pairwise puts those pairs last).
// Errors: an unaligned series is count_chars::size_error; an empty series, a null row, rows with
// differing bounds, or a start or step that is negative or not a number is the range error; in
// all these cases nothing is written. A taxon of a pair outside the rows' range is the range
// error too, raised when the pair is reached (rows already written stay).
void slc_series(const pairwise_distances& pairs, double start, double step, count_vector& series);

} // namespace phylo::taxonomy
