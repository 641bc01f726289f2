#include <phylo/disc_to_binary.hpp>

template struct generics::generic_enum_translation<phylo::disc_element, phylo::binary>;

namespace phylo::disc_to_binary {

binary_array translate(const disc_array& a, const binary_translator& table) {
    return translation::translate(a, table);
}

binary_matrix translate(const disc_matrix& m, const binary_translator& table) {
    return translation::translate(m, table);
}

binary_vector translate(const disc_vector& v, const binary_translator& table) {
    return translation::translate(v, table);
}

} // namespace phylo::disc_to_binary
