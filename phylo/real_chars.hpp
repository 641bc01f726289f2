#pragma once
// Real-valued characters: the generic family as `basic`, and extremes and sorting in numeric
// order (no modes); not-a-numbers order after every number, so a maximum over one is nan and
// a minimum skips them. The transformations of real matrices are in <phylo/real_transform.hpp>.

#include <phylo/character_kind.hpp>

namespace phylo::real_chars {

using basic = character_kind<real_element>::basic;
using direction = basic::direction;
using size_error = basic::size_error;
using order = character_kind<real_element>::order;
inline constexpr order::max_fn max{};
inline constexpr order::min_fn min{};
inline constexpr order::array_sort_fn array_sort{};

} // namespace phylo::real_chars
