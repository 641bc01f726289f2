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

using row = std::vector<count_element>;

pairwise_distances pairs_of(std::vector<pairwise_distance> list) { return pairwise_distances(0, std::move(list)); }

count_vector series_of(index_type rows, index_type first, index_type last) {
    count_vector series(0, rows - 1);
    for (auto& r : series) r = std::make_unique<count_array>(first, last);
    return series;
}

// The rows of a series filled from `pairs`.
std::vector<row> run(const pairwise_distances& pairs, double start, double step, index_type rows, index_type taxa) {
    auto series = series_of(rows, 0, taxa - 1);
    slc_series(pairs, start, step, series);
    std::vector<row> result;
    for (const auto& r : series) result.emplace_back(r->begin(), r->end());
    return result;
}

template <class Error, class Call>
void expect_error(Call call, const std::string& message) {
    try {
        call();
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(SlcSeries, FourTaxonSeries) {
    EXPECT_EQ(run(pairs_of({{1, 0, 1}, {2, 2, 3}, {3, 1, 2}}), 1, 1, 3, 4),
              (std::vector<row>{{0, 0, 1, 2}, {0, 0, 1, 1}, {0, 0, 0, 0}}));
}

TEST(SlcSeries, ClusterNumbersFollowCreationAndCloseGapsOnMerges) {
    // {2, 3} is formed before {0, 1}, so it is group 0.
    EXPECT_EQ(run(pairs_of({{1, 2, 3}, {2, 0, 1}}), 2, 1, 1, 4), (std::vector<row>{{1, 1, 0, 0}}));
    // Clusters 1 .. 4 of two taxa each, taxon 8 alone; then 3 merges into 1 and 4 becomes 3.
    EXPECT_EQ(run(pairs_of({{1, 0, 1}, {1, 2, 3}, {1, 4, 5}, {1, 6, 7}, {2, 1, 5}}), 1, 1, 2, 9),
              (std::vector<row>{{0, 0, 1, 1, 2, 2, 3, 3, 4}, {0, 0, 1, 1, 0, 0, 2, 2, 3}}));
}

TEST(SlcSeries, ThresholdsAndCursor) {
    const auto pairs = pairs_of({{0.5, 1, 2}, {1.0, 0, 3}, {4.0, 0, 1}});
    EXPECT_EQ(run(pairs, 0.25, 1, 1, 4), (std::vector<row>{{0, 1, 2, 3}})); // below every distance
    // Equal to the threshold is taken; a zero step repeats the partition.
    EXPECT_EQ(run(pairs, 1.0, 0.0, 2, 4), (std::vector<row>{{1, 0, 0, 1}, {1, 0, 0, 1}}));
    // Once the list is used up, further rows repeat the last partition.
    EXPECT_EQ(run(pairs, 3.0, 1.0, 3, 4), (std::vector<row>{{1, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}}));
    // Taxa indexed from 5.
    auto shifted = series_of(1, 5, 7);
    slc_series(pairs_of({{1, 6, 7}}), 1, 1, shifted);
    EXPECT_EQ(row(shifted[0]->begin(), shifted[0]->end()), (row{1, 0, 0}));
}

TEST(SlcSeries, AgreesWithUnionFindOnRandomDistances) {
    std::mt19937 random(17);
    const int n = 60;
    real_matrix m(0, n - 1, 0, n - 1);
    for (index_type i = 0; i < n; ++i)
        for (index_type j = 0; j < n; ++j) m(i, j) = std::uniform_int_distribution<int>(0, 400)(random) / 4.0;
    const auto pairs = squared_to_pairwise(m);
    const auto rows = run(pairs, 0.0, 0.25, 40, n);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<int> parent(n);
        std::iota(parent.begin(), parent.end(), 0);
        const auto find = [&](int x) {
            while (parent[static_cast<std::size_t>(x)] != x) x = parent[static_cast<std::size_t>(x)];
            return x;
        };
        for (const auto& p : pairs)
            if (p.distance <= 0.25 * static_cast<double>(r)) parent[static_cast<std::size_t>(find(p.first_taxon))] = find(p.second_taxon);
        const auto& groups = rows[r];
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                ASSERT_EQ(groups[static_cast<std::size_t>(i)] == groups[static_cast<std::size_t>(j)], find(i) == find(j))
                    << "row " << r << ", taxa " << i << " and " << j;
        // Every number 0 .. groups - 1 is used, as the partition measures require.
        const auto top = *std::max_element(groups.begin(), groups.end());
        for (count_element g = 0; g <= top; ++g) ASSERT_NE(std::find(groups.begin(), groups.end(), g), groups.end());
    }
}

TEST(SlcSeries, Errors) {
    const auto pairs = pairs_of({{1, 0, 1}});
    auto empty = count_vector(0, -1);
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, empty); }, "the series has no rows to fill");
    auto series = series_of(2, 0, 3);
    series[1] = std::make_unique<count_array>(0, 2);
    expect_error<count_chars::size_error>([&] { slc_series(pairs, 0, 1, series); }, "row 1 of the series has 3 taxa, not 4");
    series[1].reset();
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, series); }, "row 1 of the series is null");
    series[1] = std::make_unique<count_array>(1, 4);
    expect_error<range_error>([&] { slc_series(pairs, 0, 1, series); }, "row 1 of the series starts at index 1, not 0");
    series = series_of(2, 0, 3);
    expect_error<range_error>([&] { slc_series(pairs, -1, 1, series); }, "the start threshold is -1.000000; it must be non-negative");
    expect_error<range_error>([&] { slc_series(pairs, std::nan(""), 1, series); }, "the start threshold is nan; it must be non-negative");
    // A falling threshold would leave later rows coarser than their threshold allows.
    expect_error<range_error>([&] { slc_series(pairs, 5, -1, series); }, "the threshold step is -1.000000; it must be non-negative");
    // A pair outside the taxa fails when it is reached; earlier rows stay written.
    expect_error<range_error>([&] { slc_series(pairs_of({{1, 0, 1}, {2, 2, 9}}), 1, 1, series); },
                              "pair 1 names taxon 9, outside the taxa 0 .. 3");
    EXPECT_EQ(row(series[0]->begin(), series[0]->end()), (row{0, 0, 1, 2}));
}
