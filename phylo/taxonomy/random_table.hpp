#pragma once
// Random contingency tables with fixed margins: the table of a fixed partition against a
// uniformly random relabelling of another, drawn directly instead of by permuting n labels
// (as R's r2dtable draws them).
//
//     const random_table_sampler sampler(table.row_sums, table.column_sums);
//     std::vector<std::uint32_t> counts(sampler.cells());
//     sampler.draw(uniform, counts); // uniform() returns doubles in [0, 1)
//
// Every table with these margins comes with its probability under the permutation
// distribution, n! / (n! prod n_ij!) * prod a_i! prod b_j!. The table is drawn sequentially:
// each group of the partition with more groups takes its taxa from those the earlier groups
// left, one multivariate hypergeometric draw, itself a run of hypergeometric draws over the
// groups of the other side. Each hypergeometric draw is exact: by inversion from the mode
// outwards when its spread is small, by Stadlober's ratio-of-uniforms method otherwise.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace phylo::taxonomy {

// ln k! for k = 0 .. n: exact products while they fit a double, then Stirling's series with
// four terms, whose error is below 1e-16 of the value from k = 19 on.
[[nodiscard]] std::vector<double> log_factorials(std::int64_t n);

// One draw from the hypergeometric distribution: how many of `draws` taxa taken without
// replacement from `population` taxa, `successes` of them marked, are marked. `log_factorial`
// holds ln k! for k = 0 .. population at least. Takes no uniform when only one value is
// possible. A small spread (variance below 30) is drawn by exact inversion from the mode (one
// uniform), a larger one by the ratio-of-uniforms method of Stadlober (two uniforms a trial).
// Requires 0 <= successes, draws <= population.
template <class Uniform>
std::int64_t hypergeometric(std::int64_t population, std::int64_t successes, std::int64_t draws,
                            const double* log_factorial, Uniform&& uniform);

class random_table_sampler {
public:
    // For tables with these row and column sums (each at least 1, both adding up to the same
    // n); anything else is the range error.
    random_table_sampler(std::span<const std::int64_t> row_sums,
                         std::span<const std::int64_t> column_sums);

    [[nodiscard]] std::size_t rows() const noexcept { return rows_.size(); }
    [[nodiscard]] std::size_t columns() const noexcept { return columns_.size(); }
    [[nodiscard]] std::size_t cells() const noexcept { return rows_.size() * columns_.size(); }

    // Adds one random table to `counts` (row-major, rows() x columns()); `left` is scratch
    // space that keeps its capacity from call to call. A sum of draws of the tables of
    // several strata is the table of a reshuffle within the strata.
    template <class Uniform>
    void add_draw(Uniform&& uniform, std::span<std::uint32_t> counts,
                  std::vector<std::int64_t>& left) const {
        using one_uniform = std::remove_reference_t<Uniform>;
        const std::array<std::span<std::uint32_t>, 1> one{counts};
        add_draws(std::span<one_uniform, 1>(&uniform, 1), one,
                  std::span<std::vector<std::int64_t>, 1>(&left, 1));
    }

    // Adds table t to counts[t] with uniforms[t], for N tables at once: each the table that
    // add_draw gives with that generator, in less time than N calls, as the processor overlaps
    // the draws of different tables (each draw waits on the one before it in its table).
    //
    //     std::array<std::span<std::uint32_t>, 2> tables{first, second};
    //     sampler.add_draws(std::span(uniforms), tables, std::span(scratch)); // 2 of each
    template <class Uniform, std::size_t N>
    void add_draws(std::span<Uniform, N> uniforms,
                   const std::array<std::span<std::uint32_t>, N>& counts,
                   std::span<std::vector<std::int64_t>, N> left) const;

    // Draws one table into `counts`, replacing what was there.
    template <class Uniform>
    void draw(Uniform&& uniform, std::span<std::uint32_t> counts,
              std::vector<std::int64_t>& left) const {
        std::fill(counts.begin(), counts.end(), 0u);
        add_draw(uniform, counts, left);
    }

private:
    std::vector<std::int64_t> rows_;
    std::vector<std::int64_t> columns_;
    std::vector<double> log_factorial_;
    bool by_rows_; // the outer loop runs over the rows (they are the more numerous side)
};

// Implementation.

namespace detail {

// Exact inversion from the mode outwards: about 1.6 standard deviations of steps.
template <class Uniform>
std::int64_t hypergeometric_inversion(std::int64_t population, std::int64_t successes,
                                      std::int64_t draws, const double* log_factorial,
                                      Uniform&& uniform) {
    const std::int64_t failures = population - successes;
    const std::int64_t lo = draws > failures ? draws - failures : 0;
    const std::int64_t hi = draws < successes ? draws : successes;
    if (lo >= hi) return lo;
    const double* lf = log_factorial;
    // The mode, and its probability from the factorials.
    std::int64_t mode = (draws + 1) * (successes + 1) / (population + 2);
    mode = mode < lo ? lo : (mode > hi ? hi : mode);
    const auto log_p = [lf, population, successes, failures, draws](std::int64_t x) {
        return lf[successes] - lf[x] - lf[successes - x] + lf[failures] - lf[draws - x] -
               lf[failures - draws + x] - lf[population] + lf[draws] + lf[population - draws];
    };
    double u = uniform();
    const double p_mode = std::exp(log_p(mode));
    u -= p_mode;
    if (u <= 0) return mode;
    // Outwards from the mode, one step up and one down in turn, each probability from its
    // neighbour's: P(x + 1) / P(x) = (K - x)(m - x) / ((x + 1)(N - K - m + x + 1)).
    std::int64_t up = mode;
    std::int64_t down = mode;
    double p_up = p_mode;
    double p_down = p_mode;
    const double k = static_cast<double>(successes);
    const double m = static_cast<double>(draws);
    const double rest = static_cast<double>(failures - draws);
    while (up < hi || down > lo) {
        if (up < hi) {
            const double x = static_cast<double>(up);
            p_up *= (k - x) * (m - x) / ((x + 1) * (rest + x + 1));
            ++up;
            u -= p_up;
            if (u <= 0) return up;
        }
        if (down > lo) {
            const double x = static_cast<double>(down);
            p_down *= x * (rest + x) / ((k - x + 1) * (m - x + 1));
            --down;
            u -= p_down;
            if (u <= 0) return down;
        }
    }
    return mode; // rounding left u a hair above the total: the likeliest value
}

// Stadlober's ratio-of-uniforms method (HRUA, as numpy draws it), with ln k! from the table:
// about 1.3 trials of two uniforms whatever the spread.
template <class Uniform>
std::int64_t hypergeometric_ratio(std::int64_t population, std::int64_t successes,
                                  std::int64_t draws, const double* log_factorial,
                                  Uniform&& uniform) {
    constexpr double d1 = 1.7155277699214135; // 2 sqrt(2 / e)
    constexpr double d2 = 0.8989161620588988; // 3 - 2 sqrt(3 / e)
    const std::int64_t failures = population - successes;
    const std::int64_t fewer = std::min(successes, failures);
    const std::int64_t more = std::max(successes, failures);
    const std::int64_t m = std::min(draws, population - draws);
    const double n = static_cast<double>(population);
    const double d4 = static_cast<double>(fewer) / n;
    const double d5 = 1.0 - d4;
    const double d6 = static_cast<double>(m) * d4 + 0.5;
    const double d7 = std::sqrt(
        static_cast<double>(population - m) * static_cast<double>(draws) * d4 * d5 / (n - 1) + 0.5);
    const double d8 = d1 * d7 + d2;
    const auto d9 = static_cast<std::int64_t>(static_cast<double>(m + 1) *
                                              static_cast<double>(fewer + 1) / (n + 2));
    const double* lf = log_factorial;
    const auto log_weight = [lf, fewer, more, m](std::int64_t z) {
        return lf[z] + lf[fewer - z] + lf[m - z] + lf[more - m + z];
    };
    const double d10 = log_weight(d9);
    const double d11 =
        std::min(static_cast<double>(std::min(m, fewer)) + 1.0, std::floor(d6 + 16 * d7));
    std::int64_t z = 0;
    for (;;) {
        const double x = uniform();
        const double y = uniform();
        const double w = d6 + d8 * (y - 0.5) / x;
        if (w < 0.0 || w >= d11) continue;
        z = static_cast<std::int64_t>(w);
        const double t = d10 - log_weight(z);
        if (x * (4.0 - x) - 3.0 <= t) break;
        if (x * (x - t) >= 1.0) continue;
        if (x > 0.0 && 2.0 * std::log(x) <= t) break;
    }
    if (successes > failures) z = m - z;
    if (m < draws) z = successes - z;
    return z;
}

} // namespace detail

template <class Uniform>
std::int64_t hypergeometric(std::int64_t population, std::int64_t successes, std::int64_t draws,
                            const double* log_factorial, Uniform&& uniform) {
    const std::int64_t failures = population - successes;
    const std::int64_t lo = draws > failures ? draws - failures : 0;
    const std::int64_t hi = draws < successes ? draws : successes;
    if (lo >= hi) return lo;
    // The inversion's steps grow with the standard deviation, the ratio method's trials do not:
    // the ratio method from a variance m K F (N - m) / (N^2 (N - 1)) of 30 on (compared
    // without dividing, as this runs for every cell of every table).
    const double nd = static_cast<double>(population);
    if (static_cast<double>(draws) * static_cast<double>(successes) *
            static_cast<double>(failures) * static_cast<double>(population - draws) >=
        30.0 * nd * nd * (nd - 1))
        return detail::hypergeometric_ratio(population, successes, draws, log_factorial, uniform);
    return detail::hypergeometric_inversion(population, successes, draws, log_factorial, uniform);
}

template <class Uniform, std::size_t N>
void random_table_sampler::add_draws(std::span<Uniform, N> uniforms,
                                     const std::array<std::span<std::uint32_t>, N>& counts,
                                     std::span<std::vector<std::int64_t>, N> left) const {
    const auto& outer = by_rows_ ? rows_ : columns_;
    const auto& inner = by_rows_ ? columns_ : rows_;
    // Where cell (outer i, inner j) lies in the row-major counts.
    const std::size_t outer_stride = by_rows_ ? columns_.size() : 1;
    const std::size_t inner_stride = by_rows_ ? 1 : columns_.size();
    for (auto& l : left) l.assign(inner.begin(), inner.end());
    std::int64_t population = 0;
    for (const auto c : inner) population += c;
    const double* lf = log_factorial_.data();
    const std::size_t last = inner.size() - 1;
    for (std::size_t i = 0; i < outer.size(); ++i) {
        std::array<std::int64_t, N> wanted;
        wanted.fill(outer[i]);
        std::array<std::int64_t, N> pool; // taxa left in groups j.. of the inner side
        pool.fill(population);
        population -= outer[i];
        for (std::size_t j = 0;; ++j) {
            bool placed = true;
            for (std::size_t t = 0; t < N; ++t) {
                if (wanted[t] == 0) continue;
                placed = false;
                const std::int64_t here = left[t][j];
                const std::int64_t x =
                    j == last ? wanted[t]
                              : hypergeometric(pool[t], here, wanted[t], lf, uniforms[t]);
                counts[t][i * outer_stride + j * inner_stride] += static_cast<std::uint32_t>(x);
                left[t][j] = here - x;
                wanted[t] -= x;
                pool[t] -= here;
            }
            if (placed) break;
        }
    }
}

} // namespace phylo::taxonomy
