#include <generics/generic_random_sorting.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <string>
#include <vector>

using generics::bounded_array;
using generics::generic_random_sorting;
using generics::range_error;

namespace {

using labels = bounded_array<std::string>;
using sorting = generic_random_sorting<labels>;

labels make_labels(generics::index_type first, std::vector<std::string> values) {
    return labels(first, std::move(values));
}

// Chi-square statistic of `counts` against equal expectations.
double chi_square(const std::vector<int>& counts) {
    const double total = std::accumulate(counts.begin(), counts.end(), 0.0);
    const double expected = total / static_cast<double>(counts.size());
    double chi = 0;
    for (int c : counts) chi += (c - expected) * (c - expected) / expected;
    return chi;
}

// Position of the order of a, b, c (as the first letters of the labels) among the six orders.
int order_of(const labels& l) {
    std::string key;
    for (const auto& s : l) key += s;
    static const std::array<std::string, 6> orders = {"abc", "acb", "bac", "bca", "cab", "cba"};
    return static_cast<int>(std::find(orders.begin(), orders.end(), key) - orders.begin());
}

} // namespace

// With 5 degrees of freedom, chi-square above 20.5 has probability 0.001 under uniformity;
// the old run of exchanges along the sorted slots gives about 6 * 60000 here.
TEST(GenericRandomSorting, ThreeLabelsTakeAllSixOrdersUniformly) {
    sorting s;
    s.reset(20240601);
    auto l = make_labels(0, {"a", "b", "c"});
    s.set_sorter(0, 2);
    std::vector<int> orders(6, 0);
    std::vector<int> steps(6, 0); // the order each reshuffle applies to the one before it
    int previous = order_of(l);
    static const int compose[6][6] = {
        // compose[p][q]: index of order q read through order p (both as permutations of abc)
        {0, 1, 2, 3, 4, 5}, {1, 0, 4, 5, 2, 3}, {2, 3, 0, 1, 5, 4},
        {3, 2, 5, 4, 0, 1}, {4, 5, 1, 0, 3, 2}, {5, 4, 3, 2, 1, 0}};
    for (int k = 0; k < 60000; ++k) {
        s.sort_random(l);
        const int now = order_of(l);
        ASSERT_LT(now, 6) << "labels lost or duplicated";
        ++orders[static_cast<std::size_t>(now)];
        // The step q with compose[previous][q] == now.
        for (int q = 0; q < 6; ++q)
            if (compose[previous][q] == now) ++steps[static_cast<std::size_t>(q)];
        previous = now;
    }
    EXPECT_LT(chi_square(orders), 20.5);
    EXPECT_LT(chi_square(steps), 20.5);
    EXPECT_EQ(std::accumulate(steps.begin(), steps.end(), 0), 60000);
}

TEST(GenericRandomSorting, TwoLabelsTakeBothOrders) {
    sorting s;
    s.reset(7);
    auto l = make_labels(0, {"x", "y"});
    s.set_sorter(0, 1);
    std::vector<int> counts(2, 0);
    int swaps = 0;
    std::string before = l[0];
    for (int k = 0; k < 20000; ++k) {
        s.sort_random(l);
        ++counts[l[0] == "x" ? 0 : 1];
        if (l[0] != before) ++swaps;
        before = l[0];
    }
    // One degree of freedom: 10.8 has probability 0.001.
    EXPECT_LT(chi_square(counts), 10.8);
    EXPECT_LT(chi_square({swaps, 20000 - swaps}), 10.8);
}

// Pins the sequence: a seed must give the same reshuffles in every build and every version.
TEST(GenericRandomSorting, SeedFixesTheSequence) {
    generic_random_sorting<bounded_array<int>> s;
    s.reset(42);
    bounded_array<int> a(1, 10);
    std::iota(a.begin(), a.end(), 1);
    s.set_sorter(1, 10);
    s.sort_random(a);
    s.sort_random(a);
    const std::vector<int> got(a.begin(), a.end());
    EXPECT_EQ(got, (std::vector<int>{10, 5, 8, 4, 3, 2, 6, 1, 9, 7}));

    // The same seed again gives the same result; reset also drops the spare half word.
    generic_random_sorting<bounded_array<int>> t;
    t.reset(42);
    bounded_array<int> b(1, 10);
    std::iota(b.begin(), b.end(), 1);
    t.set_sorter(1, 10);
    t.sort_random(b);
    t.reset(42);
    std::iota(b.begin(), b.end(), 1);
    t.sort_random(b);
    t.sort_random(b);
    EXPECT_EQ(b, a);
}

TEST(GenericRandomSorting, EmptyAndSingleRanges) {
    sorting s;
    labels empty;
    s.set_sorter(0, -1);
    EXPECT_NO_THROW(s.sort_random(empty));
    EXPECT_TRUE(empty.empty());
    auto one = make_labels(4, {"only"});
    s.set_sorter(4, 4);
    s.sort_random(one);
    EXPECT_EQ(one[4], "only");
}

TEST(GenericRandomSorting, MisuseIsTheRangeErrorAndChangesNothing) {
    sorting s;
    auto l = make_labels(0, {"a", "b", "c"});
    try {
        s.sort_random(l);
        FAIL() << "no sorter";
    } catch (const range_error& e) {
        EXPECT_STREQ(e.message(), "sort_random called before set_sorter");
    }
    s.set_sorter(0, 3);
    try {
        s.sort_random(l);
        FAIL() << "other bounds";
    } catch (const range_error& e) {
        EXPECT_STREQ(e.message(), "labels 0 .. 2 do not match the sorter 0 .. 3");
    }
    auto shifted = make_labels(1, {"a", "b", "c"});
    s.set_sorter(0, 2);
    EXPECT_THROW(s.sort_random(shifted), range_error);
    EXPECT_EQ(shifted, make_labels(1, {"a", "b", "c"}));
    // A negative first on a non-empty range leaves no sorter behind.
    EXPECT_THROW(s.set_sorter(-1, 2), range_error);
    EXPECT_FALSE(s.has_sorter());
    EXPECT_THROW(s.sort_random(l), range_error);
}
