#pragma once
// Restricted reshuffles (--strata): the rows fall into strata by their label in one column,
// and a reshuffle puts the labels of each stratum into a uniformly random order of their
// own, among that stratum's rows only.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace phylo::permutation {

class strata {
public:
    // `stratum_of_row` holds the stratum number (0 .. count - 1) of every row.
    strata(std::span<const std::uint32_t> stratum_of_row, std::size_t count);

    [[nodiscard]] std::size_t rows() const noexcept { return rows_.size(); }
    [[nodiscard]] std::size_t count() const noexcept { return starts_.size() - 1; }

    // Reshuffles `labels` (one per row) in place: a Fisher-Yates shuffle within each stratum,
    // the strata taken in the order of their numbers, each drawing from `below(n)` (a uniform
    // draw in 0 .. n - 1). With one stratum this is the draw for draw the shuffle of the
    // whole array that generic_random_sorting makes. Labels of another length than the rows
    // are the range error, and nothing is changed.
    template <class T, class Below>
    void shuffle(generics::bounded_array<T>& labels, Below&& below) const {
        if (static_cast<std::size_t>(labels.length()) != rows_.size())
            throw generics::range_error(std::to_string(labels.length()) + " labels for " +
                                        std::to_string(rows_.size()) + " rows of strata");
        T* a = labels.data();
        const std::uint32_t* rows = rows_.data();
        using std::swap;
        // A stratum's rows lie anywhere in the column, so both slots of an exchange are
        // usually cache misses: offsets are drawn a batch ahead (in the same order as one at a
        // time), both slots of each exchange prefetched, then the batch is exchanged.
        constexpr std::uint32_t batch = 32;
        std::uint32_t j[batch];
        for (std::size_t s = 0; s + 1 < starts_.size(); ++s) {
            const std::uint32_t* in = rows + starts_[s];
            for (auto i = starts_[s + 1] - starts_[s]; i > 1;) {
                const std::uint32_t n = std::min(batch, i - 1);
                for (std::uint32_t k = 0; k < n; ++k) {
                    j[k] = below(i - k);
                    prefetch(a + in[j[k]]);
                    prefetch(a + in[i - 1 - k]);
                }
                for (std::uint32_t k = 0; k < n; ++k) swap(a[in[i - 1 - k]], a[in[j[k]]]);
                i -= n;
            }
        }
    }

private:
    static void prefetch([[maybe_unused]] const void* p) noexcept {
#if defined(__GNUC__)
        __builtin_prefetch(p, 1);
#endif
    }

    std::vector<std::uint32_t> rows_;   // row numbers, stratum by stratum, each in row order
    std::vector<std::uint32_t> starts_; // where each stratum begins in rows_, then the end
};

} // namespace phylo::permutation
