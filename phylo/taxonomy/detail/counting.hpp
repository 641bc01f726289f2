#pragma once
// Counting shared by the partition measures and the partition comparison (not installed):
// the entropy sum, the pair counts and the walk over the non-empty cells of a contingency
// table. One implementation of each, so that every operation that reports the same quantity
// gives the same bits.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace phylo::taxonomy::detail {

__extension__ using int128 = __int128;

// c ln c (0 for c = 0).
inline double x_log_x(std::int64_t c) {
    const double x = static_cast<double>(c);
    return c == 0 ? 0.0 : x * std::log(x);
}

// Accumulates the entropy -sum p ln p, p = c / n, as (n ln n - sum c ln c) / n: the form in
// which the mutual information is measured, so that a partition compared with itself has
// exactly its own entropy as mutual information (an NMI of exactly 1), where summing p ln p
// drifts by an ulp a term (1e-11 of ln n over a million singletons). Terms for small counts are
// remembered: with many groups most counts are small and repeat, and a remembered term is the
// same double as a recomputed one, so the sum does not depend on it.
class entropy_sum {
public:
    explicit entropy_sum(std::int64_t n)
        : n_(n), memo_(static_cast<std::size_t>(std::min<std::int64_t>(n, 4096)) + 1, unset) {}

    void add(std::int64_t c) {
        const auto k = static_cast<std::size_t>(c);
        if (k < memo_.size()) {
            if (memo_[k] == unset) memo_[k] = x_log_x(c);
            sum_ += memo_[k];
        } else {
            sum_ += x_log_x(c);
        }
    }
    [[nodiscard]] double value() const noexcept {
        if (n_ < 1) return 0.0;
        return std::max(0.0, (x_log_x(n_) - sum_) / static_cast<double>(n_));
    }

private:
    static constexpr double unset = -1.0; // c ln c is never negative
    std::int64_t n_;
    std::vector<double> memo_;
    double sum_ = 0.0;
};

inline std::int64_t pairs_in(std::int64_t c) noexcept { return c * (c - 1) / 2; }

// Above this many cells per taxon a dense table costs more than sorting the taxa.
inline bool table_fits(std::int64_t cells, std::int64_t n) noexcept {
    return cells <= 2 * n + 4096;
}

// Calls visit(row, column, c) for each non-empty cell of the contingency table of a and b
// (group numbers 0 .. na - 1 and 0 .. nb - 1), in row-major order, building no more of the
// table than the data need: a dense table when it is small, else two stable counting passes,
// else a sort of the pairs.
template <class RowGroup, class ColumnGroup, class Visit>
void walk_cells(const RowGroup* a, const ColumnGroup* b, std::int64_t n, std::int64_t na,
                std::int64_t nb, Visit&& visit) {
    const auto size = static_cast<std::size_t>(n);
    const auto row_of = [a](std::size_t k) { return static_cast<std::int64_t>(a[k]); };
    const auto column_of = [b](std::size_t k) { return static_cast<std::int64_t>(b[k]); };
    if (table_fits(na * nb, n)) {
        std::vector<std::uint32_t> table(static_cast<std::size_t>(na * nb), 0);
        for (std::size_t k = 0; k < size; ++k)
            ++table[static_cast<std::size_t>(row_of(k) * nb + column_of(k))];
        std::size_t cell = 0;
        for (std::int64_t r = 0; r < na; ++r)
            for (std::int64_t c = 0; c < nb; ++c, ++cell)
                if (table[cell] != 0) visit(r, c, std::int64_t{table[cell]});
        return;
    }
    if (table_fits(na + nb, n)) {
        // Two stable counting passes, by column then by row, give the taxa in row-major order.
        auto by_column = std::vector<std::uint32_t>(size);
        auto ordered = std::vector<std::uint32_t>(size);
        std::vector<std::uint32_t> start(static_cast<std::size_t>(std::max(na, nb)) + 1, 0);
        for (std::size_t k = 0; k < size; ++k) ++start[static_cast<std::size_t>(column_of(k)) + 1];
        for (std::size_t g = 1; g < start.size(); ++g) start[g] += start[g - 1];
        for (std::size_t k = 0; k < size; ++k)
            by_column[start[static_cast<std::size_t>(column_of(k))]++] =
                static_cast<std::uint32_t>(k);
        std::fill(start.begin(), start.end(), 0);
        for (std::size_t k = 0; k < size; ++k) ++start[static_cast<std::size_t>(row_of(k)) + 1];
        for (std::size_t g = 1; g < start.size(); ++g) start[g] += start[g - 1];
        for (const auto k : by_column) ordered[start[static_cast<std::size_t>(row_of(k))]++] = k;
        std::size_t run = 0;
        for (std::size_t r = 1; r <= size; ++r) {
            if (r == size || row_of(ordered[r]) != row_of(ordered[run]) ||
                column_of(ordered[r]) != column_of(ordered[run])) {
                visit(row_of(ordered[run]), column_of(ordered[run]),
                      static_cast<std::int64_t>(r - run));
                run = r;
            }
        }
        return;
    }
    std::vector<std::uint64_t> keys(size);
    for (std::size_t k = 0; k < size; ++k)
        keys[k] =
            static_cast<std::uint64_t>(row_of(k)) << 32 | static_cast<std::uint32_t>(column_of(k));
    std::sort(keys.begin(), keys.end());
    std::size_t run = 0;
    for (std::size_t r = 1; r <= size; ++r) {
        if (r == size || keys[r] != keys[run]) {
            visit(static_cast<std::int64_t>(keys[run] >> 32),
                  static_cast<std::int64_t>(keys[run] & 0xffffffffU),
                  static_cast<std::int64_t>(r - run));
            run = r;
        }
    }
}

// The Rand index and the adjusted Rand index of two partitions of n taxa with P(A), P(B) and
// P(A,B) pairs together, from exact 128-bit numerators and denominators with one division each.
// The adjusted index is 0/0, not a number, when both partitions are one group or both are all
// singletons; the Rand index is 0/0 for n < 2.
struct rand_indices {
    double rand;
    double adjusted;
};

inline rand_indices rand_from_pairs(std::int64_t n, std::int64_t first_pairs,
                                    std::int64_t second_pairs, std::int64_t joint_pairs) noexcept {
    const int128 pairs = int128{n} * (n - 1) / 2;
    const int128 pa = first_pairs;
    const int128 pb = second_pairs;
    const int128 pab = joint_pairs;
    // Rand: 1 + (2 P(A,B) - P(A) - P(B)) / N. Adjusted Rand with numerator and denominator
    // multiplied by 2N: (2N P(A,B) - 2 P(A) P(B)) / (N (P(A) + P(B)) - 2 P(A) P(B)).
    const int128 rand_numerator = pairs + 2 * pab - pa - pb;
    const int128 adjusted_numerator = 2 * pairs * pab - 2 * pa * pb;
    const int128 adjusted_denominator = pairs * (pa + pb) - 2 * pa * pb;
    return {static_cast<double>(rand_numerator) / static_cast<double>(pairs),
            static_cast<double>(adjusted_numerator) / static_cast<double>(adjusted_denominator)};
}

} // namespace phylo::taxonomy::detail
