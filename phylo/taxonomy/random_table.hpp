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
// groups of the other side. Each hypergeometric draw is an exact inversion that starts at
// the mode and walks outwards, so it costs about its standard deviation in steps.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace phylo::taxonomy {

// ln k! for k = 0 .. n: exact products while they fit a double, then Stirling's series with
// four terms, whose error is below 1e-16 of the value from k = 19 on.
[[nodiscard]] std::vector<double> log_factorials(std::int64_t n);

// One draw from the hypergeometric distribution: how many of `draws` taxa taken without
// replacement from `population` taxa, `successes` of them marked, are marked. `log_factorial`
// holds ln k! for k = 0 .. population at least. Takes no uniform when only one value is
// possible, else one. Requires 0 <= successes, draws <= population.
template <class Uniform>
std::int64_t hypergeometric(std::int64_t population, std::int64_t successes, std::int64_t draws,
                            const double *log_factorial, Uniform &&uniform);

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
    void add_draw(Uniform &&uniform, std::span<std::uint32_t> counts,
                  std::vector<std::int64_t> &left) const;

    // Draws one table into `counts`, replacing what was there.
    template <class Uniform>
    void draw(Uniform &&uniform, std::span<std::uint32_t> counts,
              std::vector<std::int64_t> &left) const {
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

template <class Uniform>
std::int64_t hypergeometric(std::int64_t population, std::int64_t successes, std::int64_t draws,
                            const double *log_factorial, Uniform &&uniform) {
    const std::int64_t failures = population - successes;
    const std::int64_t lo = draws > failures ? draws - failures : 0;
    const std::int64_t hi = draws < successes ? draws : successes;
    if (lo >= hi) return lo;
    const double *lf = log_factorial;
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

template <class Uniform>
void random_table_sampler::add_draw(Uniform &&uniform, std::span<std::uint32_t> counts,
                                    std::vector<std::int64_t> &left) const {
    const auto &outer = by_rows_ ? rows_ : columns_;
    const auto &inner = by_rows_ ? columns_ : rows_;
    // Where cell (outer i, inner j) lies in the row-major counts.
    const std::size_t outer_stride = by_rows_ ? columns_.size() : 1;
    const std::size_t inner_stride = by_rows_ ? 1 : columns_.size();
    left.assign(inner.begin(), inner.end());
    std::int64_t population = 0;
    for (const auto c : inner)
        population += c;
    const double *lf = log_factorial_.data();
    std::uint32_t *row = counts.data();
    const std::size_t last = inner.size() - 1;
    for (std::size_t i = 0; i < outer.size(); ++i, row += outer_stride) {
        std::int64_t wanted = outer[i];
        std::int64_t pool = population; // taxa left in groups j.. of the inner side
        population -= wanted;
        for (std::size_t j = 0; wanted > 0; ++j) {
            const std::int64_t here = left[j];
            const std::int64_t x =
                j == last ? wanted : hypergeometric(pool, here, wanted, lf, uniform);
            row[j * inner_stride] += static_cast<std::uint32_t>(x);
            left[j] = here - x;
            wanted -= x;
            pool -= here;
        }
    }
}

} // namespace phylo::taxonomy
