#include <phylo/taxonomy/slc_series.hpp>

#include <phylo/count_chars.hpp>

#include "../../test_support.hpp"

#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace phylo;
using namespace phylo::taxonomy;

namespace {

using test_support::expect_error;

using row = std::vector<count_element>;

count_vector series_of(index_type rows, index_type first, index_type last) {
    count_vector series(0, rows - 1);
    for (auto& r : series) r = std::make_unique<count_array>(first, last);
    return series;
}

// The rows of a series over taxa 0 .. taxa - 1 filled from `pairs`.
std::vector<row> run(std::vector<pairwise_distance> pairs, double start, double step,
                     index_type rows, index_type taxa) {
    auto series = series_of(rows, 0, taxa - 1);
    slc_series(pairwise_distances(0, std::move(pairs)), start, step, series);
    std::vector<row> result;
    for (const auto& r : series) result.emplace_back(r->begin(), r->end());
    return result;
}

} // namespace

TEST(SlcSeries, WorkedSeries) {
    const std::vector<pairwise_distance> abc = {{0.5, 1, 2}, {1.0, 0, 3}, {4.0, 0, 1}};
    const struct {
        std::vector<pairwise_distance> pairs;
        double start, step;
        index_type taxa;
        std::vector<row> rows;
    } cases[] = {
        {{{1, 0, 1}, {2, 2, 3}, {3, 1, 2}}, 1, 1, 4, {{0, 0, 1, 2}, {0, 0, 1, 1}, {0, 0, 0, 0}}},
        // Numbers follow creation: {2, 3} is formed before {0, 1}, so it is group 0.
        {{{1, 2, 3}, {2, 0, 1}}, 2, 1, 4, {{1, 1, 0, 0}}},
        // Clusters 1 .. 4 of two taxa, taxon 8 alone; 3 merges into 1, and 4 becomes 3 to close the
        // gap.
        {{{1, 0, 1}, {1, 2, 3}, {1, 4, 5}, {1, 6, 7}, {2, 1, 5}},
         1,
         1,
         9,
         {{0, 0, 1, 1, 2, 2, 3, 3, 4}, {0, 0, 1, 1, 0, 0, 2, 2, 3}}},
        {abc, 0.25, 1, 4, {{0, 1, 2, 3}}}, // below every distance
        // Equal to the threshold is taken; a zero step repeats the partition.
        {abc, 1.0, 0.0, 4, {{1, 0, 0, 1}, {1, 0, 0, 1}}},
        // Once the list is used up, further rows repeat the last partition.
        {abc, 3.0, 1.0, 4, {{1, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
        // A taxon paired with itself is no cluster, before or after it joins one.
        {{{1, 2, 2}, {1, 0, 1}, {2, 3, 3}, {3, 2, 3}},
         1,
         1,
         4,
         {{0, 0, 1, 2}, {0, 0, 1, 2}, {0, 0, 1, 1}}},
        // The scan stops at a distance that is not a number.
        {{{1, 0, 1}, {std::nan(""), 2, 3}}, 1, 1, 4, {{0, 0, 1, 2}, {0, 0, 1, 2}}}};
    for (const auto& c : cases)
        EXPECT_EQ(run(c.pairs, c.start, c.step, static_cast<index_type>(c.rows.size()), c.taxa),
                  c.rows);
    auto shifted = series_of(1, 5, 7); // taxa indexed from 5
    slc_series(pairwise_distances(0, {{1, 6, 7}}), 1, 1, shifted);
    EXPECT_EQ(row(shifted[0]->begin(), shifted[0]->end()), (row{1, 0, 0}));
}

TEST(SlcSeries, AgreesWithUnionFindOnRandomDistances) {
    std::mt19937 random(17);
    const int n = 60;
    real_matrix m(0, n - 1, 0, n - 1);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j)
            m(i, j) = std::uniform_int_distribution<int>(0, 400)(random) / 4.0;
    const auto pairs = squared_to_pairwise(m);
    auto series = series_of(40, 0, n - 1);
    slc_series(pairs, 0.0, 0.25, series);
    std::vector<int> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](int x) {
        while (parent[static_cast<std::size_t>(x)] != x) x = parent[static_cast<std::size_t>(x)];
        return x;
    };
    auto p = pairs.begin();
    for (index_type r = 0; r < 40; ++r) {
        for (; p != pairs.end() && p->distance <= 0.25 * r; ++p)
            parent[static_cast<std::size_t>(find(p->first_taxon))] = find(p->second_taxon);
        const auto& groups = *series[r];
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                ASSERT_EQ(groups[i] == groups[j], find(i) == find(j))
                    << "row " << r << ", taxa " << i << " and " << j;
        // Every number 0 .. groups - 1 is used, as the partition measures require.
        const std::set<count_element> used(groups.begin(), groups.end());
        ASSERT_EQ(*used.rbegin(), static_cast<count_element>(used.size()) - 1) << "row " << r;
    }
}

TEST(SlcSeries, Errors) {
    const pairwise_distances pairs(0, {{1, 0, 1}});
    auto series = count_vector(0, -1);
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, series); },
                              "the series has no rows to fill");
    series = series_of(2, 0, 3);
    series[1] = std::make_unique<count_array>(0, 2);
    expect_error<count_chars::size_error>([&] { slc_series(pairs, 0, 1, series); },
                                          "row 1 of the series has 3 taxa, not 4");
    series[1].reset();
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, series); },
                              "row 1 of the series is null");
    series = series_of(2, 0, 3);
    expect_error<range_error>([&] { slc_series(pairs, std::nan(""), 1, series); },
                              "the start threshold is nan; it must be non-negative");
    // A falling threshold would leave later rows coarser than their threshold allows.
    expect_error<range_error>([&] { slc_series(pairs, 5, -1, series); },
                              "the threshold step is -1.000000; it must be non-negative");
    // A pair outside the taxa fails when it is reached; earlier rows stay written.
    expect_error<range_error>(
        [&] {
            slc_series(pairwise_distances(0, {{1, 0, 1}, {2, 2, 9}}), 1, 1, series);
        },
        "pair 1 names taxon 9, outside the taxa 0 .. 3");
    EXPECT_EQ(row(series[0]->begin(), series[0]->end()), (row{0, 0, 1, 2}));
}
