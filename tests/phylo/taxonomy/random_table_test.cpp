// Random tables with fixed margins: the hypergeometric draw against its exact distribution,
// and whole tables against the exact permutation distribution of a small table.

#include <phylo/taxonomy/random_table.hpp>

#include <generics/errors.hpp>

#include "../../test_support.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <span>
#include <tuple>
#include <vector>

using namespace phylo::taxonomy;
using test_support::expect_error;

namespace {

// Pearson's X^2 of observed counts against expected probabilities, over outcomes expected at
// least 5 times (the rest pooled), and its degrees of freedom.
template <class Key>
std::pair<double, int> goodness_of_fit(const std::map<Key, std::int64_t>& seen,
                                       const std::map<Key, double>& probability, double draws) {
    for (const auto& [key, count] : seen)
        EXPECT_TRUE(probability.count(key)) << "an impossible outcome was drawn";
    double x2 = 0, pooled_expected = 0, pooled_seen = 0;
    int classes = 0;
    const auto add = [&](double got, double expected) {
        x2 += (got - expected) * (got - expected) / expected;
        ++classes;
    };
    for (const auto& [key, p] : probability) {
        const auto it = seen.find(key);
        const double got = it == seen.end() ? 0.0 : static_cast<double>(it->second);
        if (p * draws >= 5) {
            add(got, p * draws);
        } else {
            pooled_expected += p * draws;
            pooled_seen += got;
        }
    }
    if (pooled_expected > 0) add(pooled_seen, pooled_expected);
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
            EXPECT_TRUE(seen.size() == 1 && seen.begin()->first == exact.begin()->first) << N;
        } else {
            const auto [x2, df] = goodness_of_fit(seen, exact, draws);
            EXPECT_LT(x2, chi2_limit(df)) << N << " " << K << " " << m;
        }
    }
}

TEST(RandomTable, KeepsTheMarginsAndFollowsThePermutationDistribution) {
    // A 3 x 2 table of 9 taxa (and, transposed, 2 x 3) against the exact permutation
    // distribution: the column groups of the taxa in each of their distinct orders, all
    // equally likely, beside the row groups in a fixed order.
    for (const bool transposed : {false, true}) {
        std::vector<std::int64_t> rows{4, 3, 2}, columns{5, 4};
        if (transposed) std::swap(rows, columns);
        const random_table_sampler sampler(rows, columns);
        std::vector<std::size_t> row_of, column_of;
        for (std::size_t i = 0; i < rows.size(); ++i) row_of.insert(row_of.end(), rows[i], i);
        for (std::size_t j = 0; j < columns.size(); ++j)
            column_of.insert(column_of.end(), columns[j], j);
        std::map<std::vector<std::uint32_t>, double> exact;
        double orders = 0;
        do {
            std::vector<std::uint32_t> table(sampler.cells(), 0);
            for (std::size_t t = 0; t < 9; ++t) ++table[row_of[t] * columns.size() + column_of[t]];
            exact[table] += 1;
            ++orders;
        } while (std::next_permutation(column_of.begin(), column_of.end()));
        for (auto& [table, p] : exact) p /= orders;

        std::mt19937_64 random(11);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        const auto next = [&] { return uniform(random); };
        std::map<std::vector<std::uint32_t>, std::int64_t> seen;
        std::vector<std::uint32_t> counts(sampler.cells(), 99); // replaced, not added to
        std::vector<std::int64_t> left;
        for (int k = 0; k < 60000; ++k) {
            sampler.draw(next, counts, left);
            ++seen[counts];
        }
        const auto [x2, df] = goodness_of_fit(seen, exact, 60000);
        EXPECT_LT(x2, chi2_limit(df)) << transposed;
    }
}

TEST(RandomTable, TablesDrawnTogetherAreTheTablesDrawnOneByOne) {
    // Each of the tables drawn at once is the one its own generator gives alone, added to what
    // its counts held. Groups of 40,000 send some variates to the ratio method, groups of 3 to
    // inversion; the groups of 1 and 3 are placed after a varying number of draws, so the
    // tables leave their rows at different points.
    const std::vector<std::int64_t> rows{40000, 3, 40000, 17, 1};
    const std::vector<std::int64_t> columns{60000, 20000, 11, 10};
    for (const bool transposed : {false, true}) {
        const random_table_sampler sampler(transposed ? columns : rows,
                                           transposed ? rows : columns);
        std::array<std::mt19937_64, 3> alone{std::mt19937_64(1), std::mt19937_64(2),
                                             std::mt19937_64(3)};
        auto together = alone;
        std::array<std::vector<std::uint32_t>, 3> expected, got;
        std::vector<std::int64_t> left;
        std::array<std::vector<std::int64_t>, 3> lefts;
        const auto uniform_of = [](std::mt19937_64& random) {
            return [&random] { return std::generate_canonical<double, 53>(random); };
        };
        for (std::size_t t = 0; t < 3; ++t) {
            expected[t].assign(sampler.cells(), static_cast<std::uint32_t>(t));
            got[t] = expected[t];
            sampler.add_draw(uniform_of(alone[t]), expected[t], left);
        }
        std::array uniforms{uniform_of(together[0]), uniform_of(together[1]),
                            uniform_of(together[2])};
        const std::array<std::span<std::uint32_t>, 3> tables{got[0], got[1], got[2]};
        sampler.add_draws(std::span(uniforms), tables, std::span(lefts));
        EXPECT_EQ(got, expected) << transposed;
        EXPECT_EQ(together, alone) << "each generator is used as far as alone";
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
