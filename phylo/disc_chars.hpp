#pragma once
// Discrete characters (one state symbol per element): the generic family as `basic`, and
// extremes, sorting and modes by character code.

#include <phylo/character_kind.hpp>

namespace phylo::disc_chars {

using basic = character_kind<disc_element>::basic;
using direction = basic::direction;
using size_error = basic::size_error;
using order = character_kind<disc_element>::order;
inline constexpr order::max_fn max{};
inline constexpr order::min_fn min{};
inline constexpr order::array_sort_fn array_sort{};
inline constexpr order::modes_fn modes{};

} // namespace phylo::disc_chars
