#include <phylo/sets/char_sets.hpp>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

namespace {

std::string bounds(index_type first, index_type last) {
    return std::to_string(first) + " .. " + std::to_string(last);
}

} // namespace

squared submatrix(const squared& x, const hashed_taxa& taxa) {
    const real_matrix& m = x.matrix;
    const index_type n = x.last - x.first + 1;
    if (m.rows() != m.cols())
        throw real_chars::basic::size_error("submatrix: the matrix is " + std::to_string(m.rows()) +
                                            " x " + std::to_string(m.cols()) + ", not square");
    if (m.rows() != n)
        throw real_chars::basic::size_error("submatrix: " + std::to_string(m.rows()) +
                                            " matrix rows for " + std::to_string(n) + " taxa");
    if (x.labels.length() != n || (n > 0 && x.labels.first() != x.first))
        throw range_error("submatrix: labels " + bounds(x.labels.first(), x.labels.last()) +
                          " for the taxa " + bounds(x.first, x.last));
    if (n > 0 && (m.row_first() != x.first || m.col_first() != x.first))
        throw range_error("submatrix: matrix bounds " + bounds(m.row_first(), m.row_last()) + ", " +
                          bounds(m.col_first(), m.col_last()) + " for the taxa " +
                          bounds(x.first, x.last));

    // Offsets of the kept taxa, in the order of x.
    std::vector<std::size_t> kept;
    kept.reserve(static_cast<std::size_t>(n));
    for (index_type i = 0; i < n; ++i)
        if (taxa.contains(x.labels.unchecked(x.first + i)))
            kept.push_back(static_cast<std::size_t>(i));

    const auto k = static_cast<index_type>(kept.size());
    squared result(x.first, x.first + k - 1);
    const std::size_t width = static_cast<std::size_t>(n);
    const real_element* from = m.data();
    real_element* to = result.matrix.data();
    for (std::size_t r = 0; r < kept.size(); ++r) {
        result.labels.unchecked(x.first + static_cast<index_type>(r)) =
            x.labels.unchecked(x.first + static_cast<index_type>(kept[r]));
        const real_element* row = from + kept[r] * width;
        for (std::size_t c = 0; c < kept.size(); ++c) *to++ = row[kept[c]];
    }
    return result;
}

} // namespace phylo::sets
