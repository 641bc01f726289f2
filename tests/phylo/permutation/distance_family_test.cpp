#include <phylo/permutation/distance_family.hpp>

#include <phylo/permutation/random.hpp>

#include <gtest/gtest.h>

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
