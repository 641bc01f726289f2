#pragma once
// Discrete character data coded as presence / absence: every state is looked up in a
// caller-supplied table from characters to `binary` values.

#include <phylo/core.hpp>

#include <generics/generic_enum_translation.hpp>

namespace phylo::disc_to_binary {

using translation = generics::generic_enum_translation<disc_element, binary>;

// `binary` values indexed by a contiguous range of characters (in character code order, for
// example '-' .. 'z'). Entries are set by assignment (`table['a'] = binary::PRESENCE`) or all
// at once by a fill value; there are no defaults.
using binary_translator = translation::table;

// Each translates element by element in index order; a state outside the table's range, or
// one whose entry was never set, is the range error and no result is returned.
[[nodiscard]] binary_array translate(const disc_array& a, const binary_translator& table);
[[nodiscard]] binary_matrix translate(const disc_matrix& m, const binary_translator& table);
// New rows with the bounds of the source rows; a null row is the range error.
[[nodiscard]] binary_vector translate(const disc_vector& v, const binary_translator& table);

} // namespace phylo::disc_to_binary

extern template struct generics::generic_enum_translation<phylo::disc_element, phylo::binary>;
