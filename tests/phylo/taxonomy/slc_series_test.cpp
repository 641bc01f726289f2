#include <phylo/taxonomy/slc_series.hpp>

#include <phylo/count_chars.hpp>

#include "../../test_support.hpp"

#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <set>
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

// The rows of a series over taxa 0 .. taxa - 1 filled from `pairs`, a digit a taxon.
std::vector<std::string> run(std::vector<pairwise_distance> pairs, double start, double step,
                             std::size_t rows, std::size_t taxa) {
    auto series = series_of(static_cast<index_type>(rows), 0, static_cast<index_type>(taxa) - 1);
    slc_series(pairwise_distances(0, std::move(pairs)), start, step, series);
    std::vector<std::string> result;
    for (const auto& r : series) {
        result.emplace_back();
        for (const auto g : *r) result.back() += static_cast<char>('0' + g);
    }
    return result;
}

} // namespace

TEST(SlcSeries, WorkedSeries) {
    const std::vector<pairwise_distance> abc = {{0.5, 1, 2}, {1.0, 0, 3}, {4.0, 0, 1}};
    const struct {
        std::vector<pairwise_distance> pairs;
        double start, step;
        std::vector<std::string> rows;
    } cases[] = {
        {{{1, 0, 1}, {2, 2, 3}, {3, 1, 2}}, 1, 1, {"0012", "0011", "0000"}},
        // Numbers follow creation: {2, 3} is formed before {0, 1}, so it is group 0.
        {{{1, 2, 3}, {2, 0, 1}}, 2, 1, {"1100"}},
        // Clusters 1 .. 4 of two taxa, taxon 8 alone; 3 merges into 1, and 4 becomes 3 to close
        // the gap.
        {{{1, 0, 1}, {1, 2, 3}, {1, 4, 5}, {1, 6, 7}, {2, 1, 5}}, 1, 1, {"001122334", "001100223"}},
        {abc, 0.25, 1, {"0123"}}, // below every distance
        // Equal to the threshold is taken; a zero step repeats the partition.
        {abc, 1.0, 0.0, {"1001", "1001"}},
        // Once the list is used up, further rows repeat the last partition.
        {abc, 3.0, 1.0, {"1001", "0000", "0000"}},
        // A taxon paired with itself is no cluster, before or after it joins one.
        {{{1, 2, 2}, {1, 0, 1}, {2, 3, 3}, {3, 2, 3}}, 1, 1, {"0012", "0012", "0011"}},
        // The scan stops at a distance that is not a number.
        {{{1, 0, 1}, {std::nan(""), 2, 3}}, 1, 1, {"0012", "0012"}}};
    for (const auto& c : cases)
        EXPECT_EQ(run(c.pairs, c.start, c.step, c.rows.size(), c.rows[0].size()), c.rows);
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
    const pairwise_distances pairs(0, {{1, 0, 1}}), outside(0, {{1, 0, 1}, {2, 2, 9}});
    auto none = count_vector(0, -1), short_row = series_of(2, 0, 3), null_row = series_of(2, 0, 3),
         series = series_of(2, 0, 3);
    short_row[1] = std::make_unique<count_array>(0, 2);
    null_row[1].reset();
    expect_error<count_chars::size_error>([&] { slc_series(pairs, 0, 1, short_row); },
                                          "row 1 of the series has 3 taxa, not 4");
    const std::pair<std::function<void()>, const char*> range_errors[] = {
        {[&] { slc_series(pairs, 0, 1, none); }, "the series has no rows to fill"},
        {[&] { slc_series(pairs, 0, 1, null_row); }, "row 1 of the series is null"},
        {[&] { slc_series(pairs, std::nan(""), 1, series); },
         "the start threshold is nan; it must be non-negative"},
        // A falling threshold would leave later rows coarser than their threshold allows.
        {[&] { slc_series(pairs, 5, -1, series); },
         "the threshold step is -1.000000; it must be non-negative"},
        // A pair outside the taxa fails when it is reached; earlier rows stay written.
        {[&] { slc_series(outside, 1, 1, series); },
         "pair 1 names taxon 9, outside the taxa 0 .. 3"},
    };
    for (const auto& [f, message] : range_errors) expect_error<range_error>(f, message);
    EXPECT_EQ(row(series[0]->begin(), series[0]->end()), (row{0, 0, 1, 2}));
}
