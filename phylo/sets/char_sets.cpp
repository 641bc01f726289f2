#include <phylo/sets/char_sets.hpp>

#include <array>
#include <functional>
#include <string_view>

namespace phylo::sets {

std::size_t c_set_hash::operator()(const character_set& set) const noexcept {
    // At most 256 members: spelled out on the stack, never on the heap.
    std::array<char, 256> members{};
    std::size_t n = 0;
    for (unsigned code = 0; code < 256; ++code) {
        const char c = static_cast<char>(code);
        if (set.contains(c)) members[n++] = c;
    }
    return std::hash<std::string_view>{}(std::string_view(members.data(), n));
}

} // namespace phylo::sets
