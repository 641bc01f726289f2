// Random tables with fixed margins: the hypergeometric draw against its exact distribution,
// and whole tables against the exact permutation distribution of a small table.

#include <phylo/taxonomy/random_table.hpp>

#include <generics/errors.hpp>

#include "../../test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <vector>

using namespace phylo::taxonomy;
using test_support::expect_error;

namespace {

// Pearson's X^2 of observed counts against expected probabilities, over outcomes expected at
// least 5 times (the rest pooled), and its degrees of freedom.
template <class Key>
std::pair<double, int> goodness_of_fit(const std::map<Key, std::int64_t>& seen,
                                       const std::map<Key, double>& probability,
                                       std::int64_t draws) {
    double x2 = 0, pooled_expected = 0, pooled_seen = 0;
    int classes = 0;
    for (const auto& [key, p] : probability) {
        const double expected = p * static_cast<double>(draws);
        const auto it = seen.find(key);
        const double got = it == seen.end() ? 0.0 : static_cast<double>(it->second);
        if (expected < 5) {
            pooled_expected += expected;
            pooled_seen += got;
            continue;
        }
        x2 += (got - expected) * (got - expected) / expected;
        ++classes;
    }
    if (pooled_expected > 0) {
        x2 += (pooled_seen - pooled_expected) * (pooled_seen - pooled_expected) / pooled_expected;
        ++classes;
    }
    for (const auto& [key, count] : seen)
        EXPECT_TRUE(probability.count(key)) << "an impossible outcome was drawn";
    return {x2, classes - 1};
}

// The 0.999 quantile of chi-square with df degrees of freedom (Wilson-Hilferty).
double chi2_limit(int df) {
    const double d = df, z = 3.09;
    return d * std::pow(1 - 2 / (9 * d) + z * std::sqrt(2 / (9 * d)), 3);
}

} // namespace

TEST(Hypergeometric, MatchesTheExactDistribution) {
    // (population, successes, draws): small and larger spreads, a mode at either end, more
    // draws than failures, and single possible values.
    const std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>> cases{
        {20, 7, 5},         {100, 10, 30},      {1000, 500, 400},  {50, 45, 40},
        {30, 2, 29},        {12, 12, 5},        {12, 0, 5},        {100000, 10000, 1000},
        {2000, 1000, 1000}, {4000, 3000, 2500}, {5000, 4900, 300}, {3000, 200, 2900},
        {12, 5, 12},        {9, 4, 0}};
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const auto next = [&] { return uniform(random); };
    for (const auto& [N, K, m] : cases) {
        const auto lf = log_factorials(N);
        std::map<std::int64_t, double> exact;
        for (std::int64_t x = 0; x <= std::min(K, m); ++x)
            if (m - x <= N - K)
                exact[x] = std::exp(lf[K] - lf[x] - lf[K - x] + lf[N - K] - lf[m - x] -
                                    lf[N - K - m + x] - lf[N] + lf[m] + lf[N - m]);
        std::map<std::int64_t, std::int64_t> seen;
        constexpr std::int64_t draws = 40000;
        for (std::int64_t i = 0; i < draws; ++i) ++seen[hypergeometric(N, K, m, lf.data(), next)];
        if (exact.size() == 1) {
            EXPECT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen.begin()->first, exact.begin()->first);
            continue;
        }
        const auto [x2, df] = goodness_of_fit(seen, exact, draws);
        EXPECT_LT(x2, chi2_limit(df)) << N << " " << K << " " << m;
    }
}

TEST(RandomTable, KeepsTheMarginsAndFollowsThePermutationDistribution) {
    // A 3 x 2 table of 9 taxa, as a table (and, transposed, 2 x 3): every table against the
    // probability prod a_i! prod b_j! / (n! prod n_ij!) by enumeration.
    for (const bool transposed : {false, true}) {
        std::vector<std::int64_t> rows{4, 3, 2};
        std::vector<std::int64_t> columns{5, 4};
        if (transposed) std::swap(rows, columns);
        const random_table_sampler sampler(rows, columns);
        const auto lf = log_factorials(9);
        std::map<std::vector<std::uint32_t>, double> exact;
        // Every table with these margins: choose the cells of all but the last row and column.
        std::vector<std::uint32_t> t(sampler.cells());
        const auto R = rows.size(), C = columns.size();
        const auto fill = [&](auto&& self, std::size_t cell) -> void {
            if (cell == (R - 1) * (C - 1)) {
                std::vector<std::uint32_t> full = t;
                double log_p = -lf[9];
                for (const auto a : rows) log_p += lf[a];
                for (const auto b : columns) log_p += lf[b];
                for (std::size_t i = 0; i + 1 < R; ++i) {
                    std::int64_t sum = 0;
                    for (std::size_t j = 0; j + 1 < C; ++j) sum += full[i * C + j];
                    if (sum > rows[i]) return;
                    full[i * C + C - 1] = static_cast<std::uint32_t>(rows[i] - sum);
                }
                for (std::size_t j = 0; j < C; ++j) {
                    std::int64_t sum = 0;
                    for (std::size_t i = 0; i + 1 < R; ++i) sum += full[i * C + j];
                    if (sum > columns[j]) return;
                    full[(R - 1) * C + j] = static_cast<std::uint32_t>(columns[j] - sum);
                }
                std::int64_t last_row = 0;
                for (std::size_t j = 0; j < C; ++j) last_row += full[(R - 1) * C + j];
                if (last_row != rows[R - 1]) return;
                for (const auto c : full) log_p -= lf[c];
                exact[full] = std::exp(log_p);
                return;
            }
            const std::size_t i = cell / (C - 1), j = cell % (C - 1);
            for (std::int64_t c = 0; c <= std::min(rows[i], columns[j]); ++c) {
                t[i * C + j] = static_cast<std::uint32_t>(c);
                self(self, cell + 1);
            }
        };
        fill(fill, 0);
        double total = 0;
        for (const auto& [table, p] : exact) total += p;
        EXPECT_NEAR(total, 1.0, 1e-12);

        std::mt19937_64 random(11);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        const auto next = [&] { return uniform(random); };
        std::map<std::vector<std::uint32_t>, std::int64_t> seen;
        std::vector<std::uint32_t> counts(sampler.cells(), 99);
        std::vector<std::int64_t> left;
        constexpr std::int64_t draws = 60000;
        for (std::int64_t k = 0; k < draws; ++k) {
            sampler.draw(next, counts, left);
            ++seen[counts];
        }
        const auto [x2, df] = goodness_of_fit(seen, exact, draws);
        EXPECT_LT(x2, chi2_limit(df)) << transposed;
    }
}

TEST(RandomTable, RefusesMarginsThatDoNotMakeATable) {
    using generics::range_error;
    const std::vector<std::int64_t> three{1, 2}, four{2, 2}, zero{0, 3};
    expect_error<range_error>([&] { (void)random_table_sampler(three, four); },
                              "random tables need margins of the same total, not 3 and 4 taxa");
    expect_error<range_error>([&] { (void)random_table_sampler(zero, three); },
                              "a random table cannot have a group of 0 taxa");
    expect_error<range_error>([&] { (void)random_table_sampler({}, {}); },
                              "random tables need margins of the same total");
}
