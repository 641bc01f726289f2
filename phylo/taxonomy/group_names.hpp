#pragma once
// Group-name tables as data: a table is a row vector of `taxon_labels`, one row per taxon,
// one field per classification, and `group_names` is the generic family of array, matrix
// and row-vector operations provided for strings.

#include <phylo/core.hpp>

#include <generics/generic_array_functions.hpp>

#include <memory>
#include <string>

namespace phylo::taxonomy {

// The group-name form of the generic operations (transpose, extract, apply, ...), with its
// own `group_names::direction` and `group_names::size_error`.
using group_names = generics::generic_array_functions<std::string>;

using group_name_access = group_names::array_access; // one owned row, or null
using group_name_vector = group_names::vector;       // a table: rows indexed from 0
using group_name_matrix = group_names::matrix;       // its rectangular form

} // namespace phylo::taxonomy

extern template struct generics::generic_array_functions<std::string>;
