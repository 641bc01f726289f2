#include <phylo/permutation/strata.hpp>

#include <generics/generic_random_sorting.hpp>

#include "../../test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using generics::bounded_array;
using phylo::permutation::strata;

namespace {

using random_numbers = generics::generic_random_sorting<bounded_array<std::uint32_t>>;
using tally = std::map<std::string, int>;

} // namespace

// Nine rows in three interleaved strata: A = rows 0, 4, 7 (labels a, b, c), B = rows 1, 5
// (d, e), C = rows 2, 3, 6, 8 (f, g, h, i). Over 60,000 reshuffles every order of A is
// equally likely, the orders of A and B are independent, and no label ever leaves its
// stratum. With 5 degrees of freedom chi-square exceeds 20.5 with probability 0.001, with
// 11 it exceeds 31.3.
TEST(Strata, EachStratumTakesEveryOrderUniformlyAndIndependentlyAndKeepsItsLabels) {
    const std::vector<std::uint32_t> stratum_of_row = {0, 1, 2, 2, 0, 1, 2, 0, 2};
    const std::vector<std::vector<generics::index_type>> rows_of = {
        {0, 4, 7}, {1, 5}, {2, 3, 6, 8}};
    const strata s(stratum_of_row, 3);
    EXPECT_EQ(s.count(), 3u);
    bounded_array<std::uint32_t> labels(0, {0, 3, 5, 6, 1, 4, 7, 2, 8});
    random_numbers random;
    random.reset(20261207);
    tally a_orders, joint;
    const std::vector<std::string> members = {"abc", "de", "fghi"};
    for (int k = 0; k < 60000; ++k) {
        s.shuffle(labels, [&random](std::uint32_t n) { return random.below(n); });
        // The labels of each stratum, in row order, as letters ('a' + label).
        std::vector<std::string> orders(3);
        for (std::size_t t = 0; t < 3; ++t) {
            for (const auto r : rows_of[t])
                orders[t] += static_cast<char>('a' + labels.unchecked(r));
            auto sorted = orders[t];
            std::ranges::sort(sorted);
            ASSERT_EQ(sorted, members[t]) << "a label left stratum " << t << " at reshuffle " << k;
        }
        ++a_orders[orders[0]];
        ++joint[orders[0] + orders[1]];
    }
    EXPECT_EQ(a_orders.size(), 6u);
    EXPECT_LT(test_support::chi_square(a_orders, 6), 20.5);
    EXPECT_EQ(joint.size(), 12u);
    EXPECT_LT(test_support::chi_square(joint, 12), 31.3);
}

TEST(Strata, MisfitsAreRangeErrors) {
    test_support::expect_error<generics::range_error>(
        [] {
            strata(std::vector<std::uint32_t>{0, 2}, 2);
        },
        "stratum 2 of 2");
    const strata s(std::vector<std::uint32_t>{0, 1, 0}, 2);
    bounded_array<std::uint32_t> two(0, {7, 8});
    test_support::expect_error<generics::range_error>(
        [&] { s.shuffle(two, [](std::uint32_t) { return 0u; }); }, "2 labels for 3 rows of strata");
    EXPECT_EQ(two, bounded_array<std::uint32_t>(0, {7, 8}));
}
