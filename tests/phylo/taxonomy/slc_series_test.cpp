#include <phylo/taxonomy/slc_series.hpp>

#include <phylo/count_chars.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

pairwise_distances pairs_of(std::vector<pairwise_distance> list) { return pairwise_distances(0, std::move(list)); }

count_vector series_of(index_type rows, index_type first, index_type last) {
    count_vector series(0, rows - 1);
    for (auto& row : series) row = std::make_unique<count_array>(first, last);
    return series;
}

std::vector<count_element> values(const count_array& a) { return {a.begin(), a.end()}; }

template <class Error, class Call>
void expect_error(Call call, const std::string& message) {
    try {
        call();
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

// Union-find reference: the partition at threshold t, groups numbered by first taxon.
std::vector<int> reference_groups(int n, const pairwise_distances& pairs, double t) {
    std::vector<int> parent(static_cast<std::size_t>(n));
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](int x) {
        while (parent[static_cast<std::size_t>(x)] != x) x = parent[static_cast<std::size_t>(x)];
        return x;
    };
    for (const auto& p : pairs)
        if (p.distance <= t) parent[static_cast<std::size_t>(find(p.first_taxon))] = find(p.second_taxon);
    std::vector<int> roots(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) roots[static_cast<std::size_t>(k)] = find(k);
    return roots;
}

} // namespace

TEST(SlcSeries, FourTaxonSeries) {
    const auto pairs = pairs_of({{1, 0, 1}, {2, 2, 3}, {3, 1, 2}});
    auto series = series_of(3, 0, 3);
    slc_series(pairs, 1, 1, series);
    EXPECT_EQ(values(*series[0]), (std::vector<count_element>{0, 0, 1, 2}));
    EXPECT_EQ(values(*series[1]), (std::vector<count_element>{0, 0, 1, 1}));
    EXPECT_EQ(values(*series[2]), (std::vector<count_element>{0, 0, 0, 0}));
}

TEST(SlcSeries, ClustersAreNumberedInOrderOfCreation) {
    auto series = series_of(1, 0, 3);
    slc_series(pairs_of({{1, 2, 3}, {2, 0, 1}}), 2, 1, series);
    EXPECT_EQ(values(*series[0]), (std::vector<count_element>{1, 1, 0, 0}));
}

TEST(SlcSeries, MergesCloseTheGapInClusterNumbers) {
    // Clusters 1 = {0, 1}, 2 = {2, 3}, 3 = {4, 5}, 4 = {6, 7}; then 1 and 3 merge, so 4 becomes 3.
    const auto pairs = pairs_of({{1, 0, 1}, {1, 2, 3}, {1, 4, 5}, {1, 6, 7}, {2, 1, 5}});
    auto series = series_of(2, 0, 8);
    slc_series(pairs, 1, 1, series);
    EXPECT_EQ(values(*series[0]), (std::vector<count_element>{0, 0, 1, 1, 2, 2, 3, 3, 4}));
    EXPECT_EQ(values(*series[1]), (std::vector<count_element>{0, 0, 1, 1, 0, 0, 2, 2, 3}));
}

TEST(SlcSeries, ThresholdsAndCursor) {
    const auto pairs = pairs_of({{0.5, 1, 2}, {1.0, 0, 3}, {4.0, 0, 1}});
    // Below the smallest distance: all singletons in taxon order.
    auto below = series_of(1, 0, 3);
    slc_series(pairs, 0.25, 1, below);
    EXPECT_EQ(values(*below[0]), (std::vector<count_element>{0, 1, 2, 3}));
    // A distance equal to the threshold is taken; a zero step repeats the partition.
    auto flat = series_of(3, 0, 3);
    slc_series(pairs, 1.0, 0.0, flat);
    for (index_type r = 0; r < 3; ++r) EXPECT_EQ(values(*flat[r]), (std::vector<count_element>{1, 0, 0, 1}));
    // Once the list is used up, further rows repeat the last partition.
    auto past = series_of(4, 0, 3);
    slc_series(pairs, 3.0, 1.0, past);
    EXPECT_EQ(values(*past[0]), (std::vector<count_element>{1, 0, 0, 1}));
    for (index_type r = 1; r < 4; ++r) EXPECT_EQ(values(*past[r]), (std::vector<count_element>{0, 0, 0, 0}));
    // Taxa indexed from 5.
    auto shifted = series_of(1, 5, 7);
    slc_series(pairs_of({{1, 6, 7}}), 1, 1, shifted);
    EXPECT_EQ(values(*shifted[0]), (std::vector<count_element>{1, 0, 0}));
}

TEST(SlcSeries, AgreesWithUnionFindOnRandomDistances) {
    std::mt19937 random(17);
    const int n = 60;
    real_matrix m(0, n - 1, 0, n - 1);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j) m(i, j) = std::uniform_int_distribution<int>(0, 400)(random) / 4.0;
    const auto pairs = squared_to_pairwise(m);
    auto series = series_of(40, 0, n - 1);
    slc_series(pairs, 0.0, 0.25, series);
    double t = 0.0;
    for (index_type r = 0; r < 40; ++r, t += 0.25) {
        const auto expected = reference_groups(n, pairs, t);
        const auto& row = *series[r];
        count_element groups = 0;
        for (index_type i = 0; i < n; ++i) {
            groups = std::max(groups, row[i] + 1);
            for (index_type j = 0; j < n; ++j)
                ASSERT_EQ(row[i] == row[j], expected[static_cast<std::size_t>(i)] == expected[static_cast<std::size_t>(j)])
                    << "row " << r << ", taxa " << i << " and " << j;
        }
        // Numbers 0 .. groups - 1 are all used, so the partition measures accept the row.
        std::vector<bool> used(static_cast<std::size_t>(groups), false);
        for (const auto g : row) used[static_cast<std::size_t>(g)] = true;
        EXPECT_EQ(std::count(used.begin(), used.end(), false), 0) << "row " << r;
    }
}

TEST(SlcSeries, Errors) {
    const auto pairs = pairs_of({{1, 0, 1}});
    auto empty = count_vector(0, -1);
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, empty); }, "the series has no rows to fill");
    auto unaligned = series_of(2, 0, 3);
    unaligned[1] = std::make_unique<count_array>(0, 2);
    expect_error<count_chars::size_error>([&] { slc_series(pairs, 0, 1, unaligned); },
                                          "row 1 of the series has 3 taxa, not 4");
    auto with_null = series_of(2, 0, 3);
    with_null[1].reset();
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, with_null); }, "row 1 of the series is null");
    auto shifted = series_of(2, 0, 3);
    shifted[1] = std::make_unique<count_array>(1, 4);
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, shifted); },
                              "row 1 of the series starts at index 1, not 0");
    auto series = series_of(2, 0, 3);
    expect_error<range_error>([&] { slc_series(pairs, -1, 1, series); },
                              "the threshold of row 0 is -1.000000; thresholds must be non-negative");
    expect_error<range_error>([&] { slc_series(pairs, std::nan(""), 1, series); },
                              "the threshold of row 0 is nan; thresholds must be non-negative");
    // Falling thresholds would leave later rows coarser than their threshold allows.
    expect_error<range_error>([&] { slc_series(pairs, 5, -1, series); },
                              "the threshold step is -1.000000; it must be non-negative");
    // A pair outside the taxa fails when reached; rows before it stay written.
    auto partly = series_of(2, 0, 3);
    expect_error<range_error>([&] { slc_series(pairs_of({{1, 0, 1}, {2, 2, 9}}), 1, 1, partly); },
                              "pair 1 names taxon 9, outside the taxa 0 .. 3");
    EXPECT_EQ(values(*partly[0]), (std::vector<count_element>{0, 0, 1, 2}));
}
