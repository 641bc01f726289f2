#pragma once
// Real-valued characters: the generic family as `basic`, and extremes and sorting in numeric
// order (no modes). The transformations of real matrices are in <phylo/real_transform.hpp>.

#include <phylo/core.hpp>

#include <generics/generic_array_functions.hpp>
#include <generics/generic_float_functions.hpp>

namespace phylo::real_chars {

using basic = generics::generic_array_functions<real_element>;
using direction = basic::direction;
using size_error = basic::size_error;

using order = generics::generic_float_functions<real_element>;
// max / min: of two values, or of an array, a matrix or a whole vector (one element); with
// `per_row`, one per row of a vector (an array). Empty operands are the range error.
// Not-a-numbers order after every number: a maximum over one is nan, a minimum skips them.
inline constexpr order::max_fn max{};
inline constexpr order::min_fn min{};
inline constexpr order::array_sort_fn array_sort{}; // ascending, in place

} // namespace phylo::real_chars

extern template struct generics::generic_array_functions<phylo::real_element>;
extern template struct generics::generic_order_functions<phylo::real_element>;
extern template struct generics::generic_float_functions<phylo::real_element>;
