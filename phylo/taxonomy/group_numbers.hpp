#pragma once
// From group names to group numbers, and from a distance matrix to the list of taxon pairs
// sorted by distance: the two inputs of the partition measures and of single linkage.

#include <phylo/core.hpp>
#include <phylo/taxonomy/group_names.hpp>

#include <cstdint>

namespace phylo::taxonomy {

// One group number per taxon under each classification of `table`, aligned with `labels`.
// table[table.first()] is the name row (taxon names); every later row is one classification.
// Result row i (table.first() + 1 .. table.last()) is a count_array over the range of `labels`:
// element k is the group of labels[k] in row i, groups numbered from the row's first index in
// order of first occurrence along the row (exact, case-sensitive names).
// Errors: group_names::size_error when a row's length differs from the name row's or the name
// row's from the labels'; the range error for an empty table, a null row, a row whose bounds
// differ from the name row's, two equal labels ("attempt to insert key already in map"), a name
// that is not a label, and a name that occurs twice in the name row.
[[nodiscard]] count_vector to_group_numbers(const taxon_labels& labels,
                                            const group_name_vector& table);

// Group numbers of a list of group names, over its index range: equal names (exact,
// case-sensitive) get equal numbers, numbered from 0 in order of first occurrence.
[[nodiscard]] count_array group_numbers(const taxon_labels& names);

// The group numbers of field `column` of every row of a table as `get` reads it (one row per
// taxon), numbered as group_numbers does, over the table's row range; no field is copied.
//     const count_array families = column_groups(get(file, '\t', "t.tsv"), 1);
// A null row or a row without that field is the range error.
[[nodiscard]] count_array column_groups(const group_name_vector& table, index_type column);

// Taxa first_taxon < second_taxon at distance `distance`.
struct pairwise_distance {
    double distance;
    std::int32_t first_taxon;
    std::int32_t second_taxon;
};

using pairwise_distances = generics::bounded_array<pairwise_distance>;

// Every pair i < j of the upper triangle of a square matrix (rows and columns over the same
// range), indexed from 0 and sorted by increasing distance; the diagonal and the lower
// triangle are not read. Equal distances come in no particular order, and pairs whose
// distance is not a number come last. A non-square matrix is real_chars::size_error; more
// pairs than an array can index is the range error.
[[nodiscard]] pairwise_distances squared_to_pairwise(const real_matrix& matrix);

} // namespace phylo::taxonomy
