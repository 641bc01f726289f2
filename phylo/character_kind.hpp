#pragma once
// What every character kind provides, written once: the generic family of array, matrix and
// row-vector operations (`basic`, with its own `direction` and `size_error`) and the order
// operations (`order`: extremes and sorting, with `modes` for every kind but reals). Each
// kind's header names them in its namespace (<phylo/disc_chars.hpp>, ...):
//
//   basic::transpose(v), basic::apply(a, f), ...   the generic family
//   max(x, y), max(a | m | v), max(v, per_row)      likewise min; empty operands are the
//                                                   range error
//   array_sort(a)                                   ascending, in place
//   modes(a)                                        most frequent values, ascending

#include <phylo/core.hpp>

#include <generics/generic_array_functions.hpp>
#include <generics/generic_enum_functions.hpp>
#include <generics/generic_float_functions.hpp>

#include <string>
#include <type_traits>

namespace phylo {

template <class Element>
struct character_kind {
    using basic = generics::generic_array_functions<Element>;
    using order = std::conditional_t<std::is_floating_point_v<Element>,
                                     generics::generic_float_functions<Element>,
                                     generics::generic_enum_functions<Element>>;
};

} // namespace phylo

// The forms are compiled once, in instantiations.cpp.
extern template struct generics::generic_array_functions<phylo::disc_element>;
extern template struct generics::generic_array_functions<phylo::binary>;
extern template struct generics::generic_array_functions<phylo::count_element>;
extern template struct generics::generic_array_functions<phylo::real_element>;
extern template struct generics::generic_order_functions<phylo::disc_element>;
extern template struct generics::generic_order_functions<phylo::binary>;
extern template struct generics::generic_order_functions<phylo::count_element>;
extern template struct generics::generic_order_functions<phylo::real_element>;
extern template struct generics::generic_enum_functions<phylo::disc_element>;
extern template struct generics::generic_enum_functions<phylo::binary>;
extern template struct generics::generic_enum_functions<phylo::count_element>;
extern template struct generics::generic_float_functions<phylo::real_element>;
