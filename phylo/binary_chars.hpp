#pragma once
// Binary characters: the generic family as `basic`, and extremes, sorting and modes in the
// order PRESENCE < ABSENCE < UNKNOWN.

#include <phylo/core.hpp>

#include <generics/generic_array_functions.hpp>
#include <generics/generic_enum_functions.hpp>

namespace phylo::binary_chars {

using basic = generics::generic_array_functions<binary>;
using direction = basic::direction;
using size_error = basic::size_error;

using order = generics::generic_enum_functions<binary>;
// max / min: of two values, or of an array, a matrix or a whole vector (one element); with
// `per_row`, one per row of a vector (an array). Empty operands are the range error.
inline constexpr order::max_fn max{};
inline constexpr order::min_fn min{};
inline constexpr order::array_sort_fn array_sort{}; // ascending, in place
inline constexpr order::modes_fn modes{};           // most frequent values, ascending

} // namespace phylo::binary_chars

extern template struct generics::generic_array_functions<phylo::binary>;
extern template struct generics::generic_order_functions<phylo::binary>;
extern template struct generics::generic_enum_functions<phylo::binary>;
