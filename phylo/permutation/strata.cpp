#include <phylo/permutation/strata.hpp>

namespace phylo::permutation {

strata::strata(std::span<const std::uint32_t> stratum_of_row, std::size_t count)
    : rows_(stratum_of_row.size()), starts_(count + 1, 0) {
    // A counting sort, stable so that every stratum lists its rows in row order.
    for (const std::uint32_t s : stratum_of_row) {
        if (s >= count)
            throw generics::range_error("stratum " + std::to_string(s) + " of " +
                                        std::to_string(count));
        ++starts_[s + 1];
    }
    for (std::size_t s = 1; s <= count; ++s) starts_[s] += starts_[s - 1];
    std::vector<std::uint32_t> next(starts_.begin(), starts_.end() - 1);
    for (std::size_t row = 0; row < stratum_of_row.size(); ++row)
        rows_[next[stratum_of_row[row]]++] = static_cast<std::uint32_t>(row);
}

} // namespace phylo::permutation
