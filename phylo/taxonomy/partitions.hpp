#pragma once
// Measures of partitions of a set of taxa. A partition is a count_array of group numbers, one
// per taxon; its length is the number of taxa n. Entropies use natural logarithms with
// p = c / n for a group (or a cell of the contingency table) of c taxa, summed in increasing
// order of group number (cells in row-major order), so results do not depend on how the
// counting is done. Pair counts are 64-bit, so any partition that fits an array is measured.

#include <phylo/core.hpp>

#include <cstdint>

namespace phylo::taxonomy {

struct single_measures {
    std::int32_t groups; // distinct group numbers
    std::int64_t pairs;  // unordered taxon pairs inside groups: sum of c(c-1)/2
    double entropy;      // -sum p ln p over the groups
};

struct joint_measures {
    std::int64_t pairs; // taxon pairs together in both partitions
    double entropy;     // -sum p ln p over the non-empty cells of the contingency table
};

// Groups, pairs and entropy of one partition; any group numbers (they need not be
// consecutive). The partition is not changed. An empty partition is the range error.
[[nodiscard]] single_measures partition_measures(const count_array& partition);

// Joint pairs and entropy of two partitions of the same taxa, read at the same indices. Group
// numbers must lie in 0 .. first_groups - 1 and 0 .. second_groups - 1 (the range error
// otherwise). Memory and time grow with the number of taxa, not with first_groups times
// second_groups. Unequal lengths are count_chars::size_error; empty partitions and
// differing bounds are the range error.
[[nodiscard]] joint_measures partitions_measures(const count_array& first,
                                                 const count_array& second,
                                                 std::int32_t first_groups,
                                                 std::int32_t second_groups);

// Compares every partition i of `first` with every partition j of `second`. Result row i (over
// the bounds of `first`) holds at 3j, 3j + 1, 3j + 2 (j counted from 0):
//   mutual information over joint entropy  (H(A) + H(B) - H(A,B)) / H(A,B)
//   Rand index                              1 + (2 P(A,B) - P(A) - P(B)) / N
//   adjusted Rand index                     (P(A,B) - E) / ((P(A) + P(B)) / 2 - E),
//                                           E = P(A) P(B) / N
// with N = n(n - 1)/2. The Rand indices are computed from their exact integer numerators and
// denominators, with one division at the end. Group numbers must run from 0 upwards (as
// to_group_numbers and slc_series give them).
// Not-a-number results, never errors: the first index when H(A,B) = 0 (both partitions one
// group), the adjusted Rand index when both partitions are one group, or both are all
// singletons (its denominator is exactly zero). Any non-negative entropy is accepted.
// Errors: an unaligned set, or a second set whose partitions differ in length from the first,
// is count_chars::size_error; an empty set, a null or empty partition, differing bounds, a group
// number out of range, or a single taxon (no pairs to compare) is the range error.
[[nodiscard]] real_vector partition_similarities(const count_vector& first,
                                                 const count_vector& second);

} // namespace phylo::taxonomy
