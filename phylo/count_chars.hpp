#pragma once
// Count characters (non-negative integers): the generic family as `basic`, and extremes,
// sorting and modes in numeric order. Partitions are count arrays, sorted with array_sort.

#include <phylo/character_kind.hpp>

namespace phylo::count_chars {

using basic = character_kind<count_element>::basic;
using direction = basic::direction;
using size_error = basic::size_error;
using order = character_kind<count_element>::order;
inline constexpr order::max_fn max{};
inline constexpr order::min_fn min{};
inline constexpr order::array_sort_fn array_sort{};
inline constexpr order::modes_fn modes{};

} // namespace phylo::count_chars
