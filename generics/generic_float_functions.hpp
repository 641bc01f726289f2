#pragma once
// Extremes and in-place heap sort for a floating-point element type. They are the order
// operations every ordered kind shares; reals have no `modes` (equal reals are rarely the
// point). The real-valued transformations live with the real kind itself.
//
// Comparisons are the plain floating-point ones: a not-a-number never compares greater, so
// `max(x, nan)` is nan and `max(nan, x)` is x. The heap sort stays in bounds whatever the
// values are, not-a-numbers included; only their place in the result is then unspecified.

#include <generics/generic_enum_functions.hpp>

#include <type_traits>

namespace generics {

template <class Real>
struct generic_float_functions : generic_order_functions<Real> {
    static_assert(std::is_floating_point_v<Real>, "generic_float_functions needs a floating type");
};

} // namespace generics
