#pragma once
// Binary characters: the generic family as `basic`, and extremes, sorting and modes in the
// order PRESENCE < ABSENCE < UNKNOWN.

#include <phylo/character_kind.hpp>

namespace phylo::binary_chars {

using basic = character_kind<binary>::basic;
using direction = basic::direction;
using size_error = basic::size_error;
using order = character_kind<binary>::order;
inline constexpr order::max_fn max{};
inline constexpr order::min_fn min{};
inline constexpr order::array_sort_fn array_sort{};
inline constexpr order::modes_fn modes{};

} // namespace phylo::binary_chars
