// The one place where every provided form of the generic units is compiled: the four
// character kinds and the group names. Headers declare them `extern template`, so the code
// is generated here once and every build proves that all five forms compile.

#include <phylo/character_kind.hpp>
#include <phylo/taxonomy/group_names.hpp>

template struct generics::generic_array_functions<phylo::disc_element>;
template struct generics::generic_order_functions<phylo::disc_element>;
template struct generics::generic_enum_functions<phylo::disc_element>;

template struct generics::generic_array_functions<phylo::binary>;
template struct generics::generic_order_functions<phylo::binary>;
template struct generics::generic_enum_functions<phylo::binary>;

template struct generics::generic_array_functions<phylo::count_element>;
template struct generics::generic_order_functions<phylo::count_element>;
template struct generics::generic_enum_functions<phylo::count_element>;

template struct generics::generic_array_functions<phylo::real_element>;
template struct generics::generic_order_functions<phylo::real_element>;
template struct generics::generic_float_functions<phylo::real_element>;

template struct generics::generic_array_functions<std::string>;
