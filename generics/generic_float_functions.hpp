#pragma once
// Extremes and in-place heap sort for a floating-point element type. They are the order
// operations every ordered kind shares; reals have no `modes` (equal reals are rarely the
// point). The real-valued transformations live with the real kind itself.
//
// The order is the numeric one with every not-a-number after every number, whichever
// operand it is: `max(x, nan)` and `max(nan, x)` are nan, `min(x, nan)` and `min(nan, x)` are
// x. So the maximum of an array holding a not-a-number is nan, its minimum is its smallest
// number (nan only when it holds no number), and `array_sort` puts not-a-numbers last.

#include <generics/generic_enum_functions.hpp>

#include <type_traits>

namespace generics {

template <class Real>
struct generic_float_functions : generic_order_functions<Real> {
    static_assert(std::is_floating_point_v<Real>, "generic_float_functions needs a floating type");
};

} // namespace generics
