#include <phylo/permutation/distance_family.hpp>

#include <phylo/permutation/random.hpp>

#include <gtest/gtest.h>

#include <phylo/permutation/report.hpp>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using namespace phylo;
using namespace phylo::permutation;

namespace {

// 24 taxa on a line, in groups 0, 1, 2 by i % 3, the groups apart.
real_matrix line_distances(std::size_t n = 24) {
    const auto last = static_cast<index_type>(n) - 1;
    real_matrix d(0, last, 0, last);
    for (index_type i = 0; i <= last; ++i)
        for (index_type j = 0; j <= last; ++j)
            d(i, j) = std::abs((i % 3) * 2.0 + i * 0.1 - (j % 3) * 2.0 - j * 0.1) +
                      (i == j ? 0.0 : 0.01 * ((i * j) % 5));
    return d;
}

count_array codes(std::vector<count_element> v) { return count_array(0, std::move(v)); }

count_array by(std::size_t n, int (*f)(int)) {
    std::vector<count_element> v;
    for (int i = 0; i < static_cast<int>(n); ++i) v.push_back(f(i));
    return codes(std::move(v));
}

} // namespace

// Reshuffle k permutes the taxa's groups by the Fisher-Yates shuffle drawn from stream k (the
// contingency family's label shuffle), whatever the threads and however the range is cut.
TEST(DistanceFamily, ReshuffleKIsStreamKsShuffleOnAnyThreads) {
    const auto d = line_distances();
    const auto groups = by(24, [](int i) { return i % 3; });
    const groups_test test(d, groups, {}, {statistic::permanova, statistic::permanova_r2});
    const distance::permanova_null direct(d, groups);
    const auto values = null_values(test, 11, 1, 70, 1);
    for (const std::int64_t k : {1, 33, 70}) {
        std::vector<std::uint32_t> shuffled;
        for (const auto g : groups.span()) shuffled.push_back(static_cast<std::uint32_t>(g));
        stream_random random(stream_seed(11, k));
        for (auto i = static_cast<std::uint32_t>(shuffled.size()); i > 1; --i)
            std::swap(shuffled[i - 1], shuffled[random.below(i)]);
        std::vector<double> f(1), r2(1);
        direct.values(shuffled, f, r2);
        EXPECT_EQ(values[static_cast<std::size_t>(k - 1) * 2], f[0]) << k;
        EXPECT_EQ(values[static_cast<std::size_t>(k - 1) * 2 + 1], r2[0]) << k;
    }
    EXPECT_EQ(null_values(test, 11, 1, 70, 3), values);
    const auto piece = null_values(test, 11, 33, 40, 2);
    EXPECT_EQ(piece, std::vector<double>(values.begin() + 64, values.begin() + 80));
    EXPECT_EQ(test.observed(), (std::vector<double>{direct.observed(), direct.observed_r2()}));
}

// A reshuffle moves taxa only within their stratum: strata that each hold one group (groups
// test) or one taxon (Mantel) leave every reshuffle the data as given.
TEST(DistanceFamily, StrataBoundTheReshuffles) {
    const auto d = line_distances();
    const auto groups = by(24, [](int i) { return i / 8; });
    const groups_test test(d, groups, groups, {statistic::anosim, statistic::permdisp});
    const auto observed = test.observed();
    const auto values = null_values(test, 3, 1, 20, 2);
    for (std::size_t k = 0; k < 20; ++k) {
        EXPECT_EQ(values[2 * k], observed[0]);
        EXPECT_NEAR(values[2 * k + 1], 0.0, 1e-20); // the residuals' F, their own grouping
    }
    auto e = line_distances();
    for (index_type i = 0; i < 24; ++i) e(i, (i + 1) % 24) = e((i + 1) % 24, i) = 3.0;
    const mantel_test mantel(d, e, by(24, [](int i) { return i; }),
                             {statistic::mantel, statistic::mantel_spearman});
    const auto r = mantel.observed();
    for (const auto x : null_values(mantel, 3, 1, 10, 1)) EXPECT_TRUE(x == r[0] || x == r[1]);
}

TEST(DistanceFamily, OneGroupIsUndefinedAndStatisticsOfAnotherFamilyAreRefused) {
    const auto d = line_distances(5);
    const groups_test one(d, codes({0, 0, 0, 0, 0}), {}, {statistic::permanova});
    EXPECT_FALSE(one.defined());
    EXPECT_TRUE(std::isnan(one.observed()[0]));
    EXPECT_TRUE(std::isnan(null_values(one, 1, 1, 3, 1)[2]));
    EXPECT_THROW(groups_test(d, codes({0, 1, 0, 1, 0}), {}, {statistic::mantel}), statistics_error);
    EXPECT_THROW(mantel_test(d, d, {}, {statistic::chi2}), statistics_error);
}

// --exact walks every distinct assignment of the groups (within strata) and every order of the
// second matrix's taxa: the p-values of brute force over all orders of the taxa; a Monte Carlo
// p-value lies within its error of them.
TEST(DistanceFamily, ExactPValuesAreThoseOfEveryOrderOfTheTaxa) {
    const auto d = line_distances(8);
    const auto groups = codes({0, 1, 0, 1, 1, 2, 2, 0});
    const auto strata = codes({0, 0, 0, 0, 1, 1, 1, 1});
    const auto other = line_distances(9); // its first 8 taxa, rows and columns out of step
    real_matrix e(0, 7, 0, 7);
    for (index_type i = 0; i < 8; ++i)
        for (index_type j = 0; j < 8; ++j) e(i, j) = other((i + 3) % 8, (j + 3) % 8);
    // The p-value of brute force over all orders (kept when each taxon stays in its stratum).
    const auto brute = [](bool within, auto&& value_of_order, double observed) {
        std::vector<std::uint32_t> order = {0, 1, 2, 3, 4, 5, 6, 7};
        double at_least = 0, all = 0;
        do {
            if (within && !std::all_of(order.begin(), order.end(),
                                       [&](auto p) { return (p < 4) == (order[p] < 4); }))
                continue;
            at_least += at_least_observed(value_of_order(order), observed) ? 1 : 0;
            all += 1;
        } while (std::next_permutation(order.begin(), order.end()));
        return at_least / all;
    };
    const auto p_of = [](const distance_family& test, std::size_t k) {
        const auto values = null_values(test, 0, 1, test.arrangements(), 2);
        null_accumulator a(test.observed()[k], test_method::exact);
        const std::size_t width = test.width();
        for (std::size_t j = 0; j < values.size(); j += width) a.add(values[j + k], 1.0);
        return a.summary().p_value;
    };
    const distance::permanova_null permanova(d, groups);
    const distance::anosim_null anosim(d, groups);
    const groups_test test(d, groups, strata, {statistic::permanova, statistic::anosim},
                           test_method::exact);
    EXPECT_EQ(test.arrangements(), 72); // 4! / (2! 2!) * 4! / 2!
    const auto grouped = [&](const std::vector<std::uint32_t>& order, bool f) {
        std::vector<std::uint32_t> g;
        for (const auto p : order) g.push_back(static_cast<std::uint32_t>(groups.data()[p]));
        std::vector<double> x(1), r2(1);
        if (f)
            permanova.values(g, x, r2);
        else
            anosim.values(g, x);
        return x[0];
    };
    const double exact = p_of(test, 0);
    EXPECT_NEAR(exact,
                brute(
                    true, [&](const auto& o) { return grouped(o, true); }, permanova.observed()),
                1e-12);
    EXPECT_NEAR(p_of(test, 1),
                brute(
                    true, [&](const auto& o) { return grouped(o, false); }, anosim.observed()),
                1e-12);
    const groups_test random(d, groups, strata, {statistic::permanova});
    const auto s = summarize(random.observed()[0], null_values(random, 5, 1, 20000, 2), 1, 0);
    EXPECT_LE(std::abs(static_cast<double>(*s.at_least) / 20000 - exact),
              4 * std::sqrt(exact * (1 - exact) / 20000) + 1e-12);

    const mantel_test mantel(d, e, {}, {statistic::mantel}, test_method::exact);
    EXPECT_EQ(mantel.arrangements(), 40320);
    const distance::mantel_null direct(d, e, distance::correlation::pearson);
    EXPECT_NEAR(p_of(mantel, 0),
                brute(
                    false,
                    [&](const auto& o) {
                        std::vector<double> r(1);
                        direct.values(o, r);
                        return r[0];
                    },
                    direct.observed()),
                1e-12);
}
